// Encoder driver: four 24-bit counters extended to 32 bits, and index bits.
#include "board_map.h"
#include "vorn.h"

using namespace vorn::map;

extern "C" {

int EncoderInit(void) {
  SelWrt(kEncControl, kEncCounting);
  SelWrt(kEncLatch, kStartupPeriodCode);
  // preset 517, low byte first; the bus address advances after each byte
  SelWrt(kEncPreset, 0x05);
  WriteData(0x02);
  WriteData(0x00);
  SelWrt(kEncControl, kEncLoadPreset);
  SelWrt(kEncControl, kEncLoadPreset);
  SelWrt(kEncControl, kEncCounting);
  return 0;
}

int EncoderQuit(void) { return 0; }

} // extern "C"
