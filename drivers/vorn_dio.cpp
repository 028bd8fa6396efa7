// Switch, amplifier and digital I/O driver.
#include "board_map.h"
#include "vorn.h"

using namespace vorn::map;

extern "C" {

int DIOInit(void) { return 0; }
int DIOQuit(void) { return 0; }

} // extern "C"
