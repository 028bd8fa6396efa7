// The external motion interface: a thin adapter over the vorn entry points.
#include "extintf.h"
#include "vorn.h"

extern "C" {

int extMotInit(const char *stuff) { return vornMotInit(stuff); }
int extMotQuit(void) { return vornMotQuit(); }

} // extern "C"
