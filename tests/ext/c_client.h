/* What the C client offers the C++ tests. */
#ifndef VORN_TEST_C_CLIENT_H
#define VORN_TEST_C_CLIENT_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

extern const void *const c_client_prototypes[];
/* The three ext switch reads, called from C: max limit, min limit, home. */
void c_client_switches(int axis, int states[3]);
uint32_t c_client_base_addr(void);
/* A count assembled from C through LONGBYTE and vornLongbyteCount. */
int32_t c_client_count(uint8_t b0, uint8_t b1, uint8_t b2, uint8_t b3);

#ifdef __cplusplus
}
#endif

#endif
