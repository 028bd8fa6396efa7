// EPP bus primitives. Each primitive is a fixed sequence of port accesses:
// no waits, no retries. They take no lock: a sequence of them is the
// caller's unit.
#include "board_map.h"
#include "bus.h"
#include "vorn.h"

using namespace vorn::map;

namespace {

using vorn::current_bus;
using vorn::Reg;

// One primitive's view of the default bus: its port and its account.
struct Bus {
  vorn::Bus &state;
  vorn::PortView port;
  Bus() : state(current_bus()), port(state) {}
};

std::uint8_t in(const Bus &bus, Reg reg) { return bus.port.in(reg); }
void out(const Bus &bus, Reg reg, std::uint8_t value) { bus.port.out(reg, value); }

std::uint8_t low_byte(std::uint32_t v) { return static_cast<std::uint8_t>(v & 0xFF); }

void selected(Bus &bus, uint32_t port) {
  bus.state.selected_block = low_byte(port) / kBlockSize;
  bus.state.cycle_open = true;
}

void checked(Bus &bus, bool timed_out) {
  vorn::Bus &state = bus.state;
  if (!state.cycle_open)
    return;
  state.cycle_open = false;
  ++state.tallies[state.selected_block].cycles;
  if (timed_out) {
    ++state.tallies[state.selected_block].unanswered;
    ++state.unanswered_all;
  }
}

int clear_timeout(Bus &bus) {
  const bool timed_out = (in(bus, Reg::status) & kStatusTimeout) != 0;
  checked(bus, timed_out);
  if (!timed_out)
    return 0;
  std::uint8_t r = in(bus, Reg::status);
  out(bus, Reg::status, static_cast<std::uint8_t>(r | kStatusTimeout));
  r = in(bus, Reg::status);
  return (r & kStatusTimeout) == 0 ? 1 : 0;
}

void select_addr(Bus &bus, uint32_t port) {
  clear_timeout(bus);
  out(bus, Reg::control, kCtrlForward);
  out(bus, Reg::epp_addr, low_byte(port));
  selected(bus, port);
}

// Forward direction keeping every other control bit, then the address cycle.
void select_keeping_control(Bus &bus, uint32_t port) {
  out(bus, Reg::control, static_cast<std::uint8_t>(in(bus, Reg::control) & ~kCtrlDirection));
  out(bus, Reg::epp_addr, low_byte(port));
  selected(bus, port);
}

void write_data16(Bus &bus, uint16_t word) {
  out(bus, Reg::epp_data, low_byte(word));
  out(bus, Reg::epp_data, low_byte(word >> 8));
  bus.state.cycle_open = true;
}

} // namespace

extern "C" {

int ClrTimeout(void) {
  Bus bus;
  return clear_timeout(bus);
}

void SelAddr(uint32_t port) {
  Bus bus;
  select_addr(bus, port);
}

void WriteData(uint8_t byte) {
  Bus bus;
  out(bus, Reg::epp_data, byte);
  bus.state.cycle_open = true;
  clear_timeout(bus);
}

void WriteData16(uint16_t word) {
  Bus bus;
  write_data16(bus, word);
}

uint16_t ReadData(void) {
  Bus bus;
  out(bus, Reg::control, kCtrlReverse);
  bus.state.cycle_open = true;
  return in(bus, Reg::epp_data);
}

uint16_t SelRead(uint32_t port) {
  Bus bus;
  clear_timeout(bus);
  select_keeping_control(bus, port);
  out(bus, Reg::control, static_cast<std::uint8_t>(in(bus, Reg::control) | kCtrlDirection));
  return in(bus, Reg::epp_data);
}

// No timeout check after the byte, unlike WriteData.
void SelWrt(uint32_t port, uint8_t byte) {
  Bus bus;
  select_addr(bus, port);
  out(bus, Reg::epp_data, byte);
}

void SelWrt16(uint32_t port, uint16_t word) {
  Bus bus;
  clear_timeout(bus);
  select_keeping_control(bus, port);
  write_data16(bus, word);
}

void BusReset(void) {
  Bus bus;
  out(bus, Reg::control, kCtrlReset);
  out(bus, Reg::control, kCtrlForward);
}

} // extern "C"
