// Switch, amplifier and digital I/O driver. Only the digital byte read and
// write reach the bus; every other entry point is a placeholder that leaves
// its output parameter as the caller set it.
#include "board_map.h"
#include "bus.h"
#include "vorn.h"

using namespace vorn::map;

extern "C" {

int DIOInit(void) { return 0; }
int DIOQuit(void) { return 0; }

// Another index has no register: it would reach whatever bus address the
// previous transfer left selected.
constexpr int kDioIndexes = 3;

int vornDioRead(int index, int *value) {
  if (index < 0 || index >= kDioIndexes)
    return -1;
  const vorn::BusCall call;
  if (!call.ready())
    return -1;
  SelAddr(index == 0 ? kDigIn0 : kDigIn1);
  const int read = ReadData();
  if (call.end(0) != 0)
    return -1;
  *value = read;
  return 0;
}

// Only the low byte of `value` goes out.
int vornDioWrite(int index, int value) {
  if (index < 0 || index >= kDioIndexes)
    return -1;
  const vorn::BusCall call;
  if (!call.ready())
    return -1;
  SelAddr(index == 1 ? kDigOut1 : kDigOut0);
  WriteData(static_cast<std::uint8_t>(value & 0xFF));
  return call.end(0);
}

int vornMaxLimitSwitchRead(int, int *) { return 0; }
int vornMinLimitSwitchRead(int, int *) { return 0; }
int vornHomeSwitchRead(int, int *) { return 0; }
int vornAmpEnable(int, int) { return 0; }
int vornAmpFault(int, int *) { return 0; }
int vornDioInit(const char *) { return 0; }
int vornDioQuit(void) { return 0; }
int vornDioMaxInputs(void) { return 0; }
int vornDioMaxOutputs(void) { return 0; }
int vornDioCheck(int, int *) { return 0; }
int vornDioByteRead(int, unsigned char *) { return 0; }
int vornDioShortRead(int, unsigned short *) { return 0; }
int vornDioWordRead(int, unsigned int *) { return 0; }
int vornDioByteWrite(int, unsigned char) { return 0; }
int vornDioShortWrite(int, unsigned short) { return 0; }
int vornDioWordWrite(int, unsigned int) { return 0; }
int vornDioByteCheck(int, unsigned char *) { return 0; }
int vornDioShortCheck(int, unsigned short *) { return 0; }
int vornDioWordCheck(int, unsigned int *) { return 0; }

} // extern "C"
