// The external motion interface: a thin adapter over the vorn entry points.
// It adds no checks, prints nothing and keeps no state.
#include "extintf.h"
#include "vorn.h"

namespace {

// A motion controller on this interface sees no limit ever reached and the
// home switch always made, whatever the axis; the boards are not asked.
constexpr int kLimitClear = 0;
constexpr int kHomeMade = 1;

int fixed_switch(int *flag, int state) {
  *flag = state;
  return 0;
}

} // namespace

extern "C" {

int extMotInit(const char *stuff) { return vornMotInit(stuff); }
int extMotQuit(void) { return vornMotQuit(); }
int extBusAccount(int block, long long *cycles, long long *unanswered) {
  return vornBusAccount(block, cycles, unanswered);
}

int extRateNum(void) { return vornRateNum(); }
int extRateWrite(int dac, double volts) { return vornRateWrite(dac, volts); }
int extRateWriteAll(int max, double *volts) { return vornRateWriteAll(max, volts); }

int extEncoderSetIndexModel(unsigned int model) { return vornEncoderSetIndexModel(model); }
int extEncoderNum(void) { return vornEncoderNum(); }
int extEncoderRead(int encoder, double *counts) { return vornEncoderRead(encoder, counts); }
int extEncoderReadAll(int max, double *counts) { return vornEncoderReadAll(max, counts); }
int extEncoderResetIndex(int encoder) { return vornEncoderResetIndex(encoder); }
int extEncoderReadLatch(int encoder, int *flag) { return vornEncoderReadLatch(encoder, flag); }
int extEncoderReadLevel(int encoder, int *flag) { return vornEncoderReadLevel(encoder, flag); }

int extMaxLimitSwitchRead(int, int *flag) { return fixed_switch(flag, kLimitClear); }
int extMinLimitSwitchRead(int, int *flag) { return fixed_switch(flag, kLimitClear); }
int extHomeSwitchRead(int, int *flag) { return fixed_switch(flag, kHomeMade); }

int extAmpEnable(int axis, int enable) { return vornAmpEnable(axis, enable); }
int extAmpFault(int axis, int *fault) { return vornAmpFault(axis, fault); }

int extDioInit(const char *stuff) { return vornDioInit(stuff); }
int extDioQuit(void) { return vornDioQuit(); }
int extDioMaxInputs(void) { return vornDioMaxInputs(); }
int extDioMaxOutputs(void) { return vornDioMaxOutputs(); }
int extDioRead(int index, int *value) { return vornDioRead(index, value); }
int extDioWrite(int index, int value) { return vornDioWrite(index, value); }
int extDioCheck(int index, int *value) { return vornDioCheck(index, value); }
int extDioByteRead(int index, unsigned char *byte) { return vornDioByteRead(index, byte); }
int extDioShortRead(int index, unsigned short *sh) { return vornDioShortRead(index, sh); }
int extDioWordRead(int index, unsigned int *word) { return vornDioWordRead(index, word); }
int extDioByteWrite(int index, unsigned char byte) { return vornDioByteWrite(index, byte); }
int extDioShortWrite(int index, unsigned short sh) { return vornDioShortWrite(index, sh); }
int extDioWordWrite(int index, unsigned int word) { return vornDioWordWrite(index, word); }
int extDioByteCheck(int index, unsigned char *byte) { return vornDioByteCheck(index, byte); }
int extDioShortCheck(int index, unsigned short *sh) { return vornDioShortCheck(index, sh); }
int extDioWordCheck(int index, unsigned int *word) { return vornDioWordCheck(index, word); }

int extAioInit(const char *stuff) { return vornAioInit(stuff); }
int extAioQuit(void) { return vornAioQuit(); }
int extAioMaxInputs(void) { return vornAioMaxInputs(); }
int extAioMaxOutputs(void) { return vornAioMaxOutputs(); }
int extAioRead(int index, double *volts) { return vornAioRead(index, volts); }
int extAioWrite(int index, double volts) { return vornAioWrite(index, volts); }
int extAioCheck(int index, double *volts) { return vornAioCheck(index, volts); }

} // extern "C"
