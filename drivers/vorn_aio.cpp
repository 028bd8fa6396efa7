// Analog I/O: no analog board is served, so every entry point is a
// placeholder that reports success and leaves its output parameter alone.
#include "vorn.h"

extern "C" {

int vornAioInit(const char *) { return 0; }
int vornAioQuit(void) { return 0; }
int vornAioMaxInputs(void) { return 0; }
int vornAioMaxOutputs(void) { return 0; }
int vornAioRead(int, double *) { return 0; }
int vornAioWrite(int, double) { return 0; }
int vornAioCheck(int, double *) { return 0; }

} // extern "C"
