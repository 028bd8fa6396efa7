// EPP bus primitives. Each primitive is a fixed sequence of port accesses:
// no waits, no retries.
#include "board_map.h"
#include "bus_account.h"
#include "port_access.h"
#include "vorn.h"

#include <array>

using namespace vorn::map;

namespace {

constexpr auto &in = vorn::port_in;
constexpr auto &out = vorn::port_out;

std::uint8_t low_byte(std::uint32_t v) { return static_cast<std::uint8_t>(v & 0xFF); }

std::array<vorn::BlockTally, kBlockCount> tallies;
std::uint64_t unanswered_all = 0;
std::uint32_t selected_block = 0;
bool cycle_open = false; // a cycle since the last timeout check

void selected(uint32_t port) {
  selected_block = low_byte(port) / kBlockSize;
  cycle_open = true;
}

void checked(bool timed_out) {
  if (!cycle_open)
    return;
  cycle_open = false;
  ++tallies[selected_block].cycles;
  if (timed_out) {
    ++tallies[selected_block].unanswered;
    ++unanswered_all;
  }
}

// Forward direction keeping every other control bit, then the address cycle.
void select_keeping_control(uint32_t port) {
  out(kPortControl, static_cast<std::uint8_t>(in(kPortControl) & ~kCtrlDirection));
  out(kPortEppAddr, low_byte(port));
  selected(port);
}

} // namespace

vorn::BlockTally vorn::block_tally(std::uint32_t block) {
  return block < kBlockCount ? tallies[block] : BlockTally{};
}

std::uint64_t vorn::unanswered_total() { return unanswered_all; }

void vorn::reset_bus_account() {
  tallies = {};
  unanswered_all = 0;
  cycle_open = false;
}

extern "C" {

int ClrTimeout(void) {
  const bool timed_out = (in(kPortStatus)&kStatusTimeout) != 0;
  checked(timed_out);
  if (!timed_out)
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
  selected(port);
}

void WriteData(uint8_t byte) {
  out(kPortEppData, byte);
  cycle_open = true;
  ClrTimeout();
}

void WriteData16(uint16_t word) {
  out(kPortEppData, low_byte(word));
  out(kPortEppData, low_byte(word >> 8));
  cycle_open = true;
}

uint16_t ReadData(void) {
  out(kPortControl, kCtrlReverse);
  cycle_open = true;
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
