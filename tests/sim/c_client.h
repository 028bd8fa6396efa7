/* A motion-controller client of the simulator written in C. */
#ifndef VORNSIM_TEST_C_CLIENT_H
#define VORNSIM_TEST_C_CLIENT_H

#ifdef __cplusplus
extern "C" {
#endif

/* Installs the rig at `rig_path` (NULL: default), starts the board set and
 * drives rate channel 0 up for `us` microseconds of simulated time. Returns
 * encoder 0's count then, or -1 if the rig was refused. */
long c_client_run(const char *rig_path, unsigned long us);

/* Digital input 0 as the driver reads it after writing `value` to output 0. */
int c_client_loopback(int value);

#ifdef __cplusplus
}
#endif

#endif
