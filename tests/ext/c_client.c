/* A C client of the public headers, built as strict C99: a C++-only
 * construct in a header fails the compile, a missing C linkage the link. */
#include "extintf.h"
#include "vorn.h"

#include "c_client.h"

/* Every ext entry point with the prototype a C motion controller expects;
 * an incompatible declaration is a compile error under -pedantic-errors. */
static int (*const no_args[])(void) = {extMotQuit, extRateNum,      extEncoderNum,
                                       extDioQuit, extDioMaxInputs, extDioMaxOutputs,
                                       extAioQuit, extAioMaxInputs, extAioMaxOutputs};
static int (*const with_text[])(const char *) = {extMotInit, extDioInit, extAioInit};
static int (*const int_int[])(int, int) = {extAmpEnable, extDioWrite};
static int (*const int_flag[])(int, int *) = {extEncoderReadLatch,
                                              extEncoderReadLevel,
                                              extMaxLimitSwitchRead,
                                              extMinLimitSwitchRead,
                                              extHomeSwitchRead,
                                              extAmpFault,
                                              extDioRead,
                                              extDioCheck};
static int (*const int_double[])(int, double) = {extRateWrite, extAioWrite};
static int (*const int_doubles[])(int, double *) = {extRateWriteAll, extEncoderRead,
                                                    extEncoderReadAll, extAioRead, extAioCheck};
static int (*const one_int)(int) = extEncoderResetIndex;
static int (*const one_unsigned)(unsigned int) = extEncoderSetIndexModel;
static int (*const byte_out[])(int, unsigned char *) = {extDioByteRead, extDioByteCheck};
static int (*const short_out[])(int, unsigned short *) = {extDioShortRead, extDioShortCheck};
static int (*const word_out[])(int, unsigned int *) = {extDioWordRead, extDioWordCheck};
static int (*const byte_in)(int, unsigned char) = extDioByteWrite;
static int (*const short_in)(int, unsigned short) = extDioShortWrite;
static int (*const word_in)(int, unsigned int) = extDioWordWrite;

/* Keeps every table referenced: the check is the compile itself. */
const void *const c_client_prototypes[] = {
    no_args,       with_text, int_int,   int_flag, int_double, int_doubles, &one_int,
    &one_unsigned, byte_out,  short_out, word_out, &byte_in,   &short_in,   &word_in};

void c_client_switches(int axis, int states[3]) {
  int i;
  for (i = 0; i < 3; ++i)
    int_flag[2 + i](axis, &states[i]);
}

uint32_t c_client_base_addr(void) { return vorn_base_addr; }

int32_t c_client_count(uint8_t b0, uint8_t b1, uint8_t b2, uint8_t b3) {
  LONGBYTE lb;
  lb.Byte[0] = b0;
  lb.Byte[1] = b1;
  lb.Byte[2] = b2;
  lb.Byte[3] = b3;
  return vornLongbyteCount(&lb);
}
