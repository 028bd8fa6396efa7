// EPP bus primitives. Each primitive is a fixed sequence of port accesses:
// no waits, no retries.
#include "board_map.h"
#include "port_access.h"
#include "vorn.h"

using namespace vorn::map;

namespace {

constexpr auto &in = vorn::port_in;
constexpr auto &out = vorn::port_out;

std::uint8_t low_byte(std::uint32_t v) { return static_cast<std::uint8_t>(v & 0xFF); }

// Forward direction keeping every other control bit, then the address cycle.
void select_keeping_control(uint32_t port) {
  out(kPortControl, static_cast<std::uint8_t>(in(kPortControl) & ~kCtrlDirection));
  out(kPortEppAddr, low_byte(port));
}

} // namespace

extern "C" {

int ClrTimeout(void) {
  if ((in(kPortStatus)&kStatusTimeout) == 0)
    return 0;
  std::uint8_t r = in(kPortStatus);
  out(kPortStatus, static_cast<std::uint8_t>(r | kStatusTimeout));
  r = in(kPortStatus);
  return (r & kStatusTimeout) == 0 ? 1 : 0;
}

void SelAddr(uint32_t port) {
  ClrTimeout();
  out(kPortControl, kCtrlForward);
  out(kPortEppAddr, low_byte(port));
}

void WriteData(uint8_t byte) {
  out(kPortEppData, byte);
  ClrTimeout();
}

void WriteData16(uint16_t word) {
  out(kPortEppData, low_byte(word));
  out(kPortEppData, low_byte(word >> 8));
}

uint16_t ReadData(void) {
  out(kPortControl, kCtrlReverse);
  return in(kPortEppData);
}

uint16_t SelRead(uint32_t port) {
  ClrTimeout();
  select_keeping_control(port);
  out(kPortControl, static_cast<std::uint8_t>(in(kPortControl) | kCtrlDirection));
  return in(kPortEppData);
}

// No timeout check after the byte, unlike WriteData.
void SelWrt(uint32_t port, uint8_t byte) {
  SelAddr(port);
  out(kPortEppData, byte);
}

void SelWrt16(uint32_t port, uint16_t word) {
  ClrTimeout();
  select_keeping_control(port);
  WriteData16(word);
}

void BusReset(void) {
  out(kPortControl, kCtrlReset);
  out(kPortControl, kCtrlForward);
}

} // extern "C"
