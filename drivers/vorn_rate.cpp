// Rate generator driver: volts to pulse-rate counts, written per channel.
#include "board_map.h"
#include "vorn.h"

using namespace vorn::map;

extern "C" {

// Stops every channel; 0x1D and 0x1E follow the control register in one run.
int16_t RateInit(void) {
  SelWrt(kRateControl, kRateStopAll);
  WriteData(kRateAuxValue);
  WriteData(kRateAuxValue);
  return 0;
}

int16_t RateQuit(void) { return RateInit(); }

} // extern "C"
