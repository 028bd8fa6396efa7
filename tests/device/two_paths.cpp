#include "two_paths.h"

#include "board_map.h"
#include "vorn.h"

#include <cstdio>

namespace vorn::test {

namespace {

// The port's interrupt enable, which the kernel's claim sets and no ioctl
// clears: not a line the boards see.
constexpr std::uint8_t kCtrlInterrupt = 0x10;

} // namespace

std::string board_state(sim::Simulator &boards) {
  char text[512];
  std::snprintf(text, sizeof text,
                "selected %02x control %02x status %02x preset %06x encoder control %02x "
                "latch %02x index set %02x spindle %02x rate control %02x 1d %02x 1e %02x "
                "26 %02x out %02x %02x unanswered %llu slips %llu unmapped %llu",
                boards.selected(), boards.control() & ~kCtrlInterrupt,
                boards.status() & ~map::kStatusTimeout, boards.preset(), boards.encoder_control(),
                boards.latch_register(), boards.index_set(), boards.spindle(),
                boards.rate_control(), boards.reg1d(), boards.reg1e(), boards.reg26(),
                boards.dig_out(0), boards.dig_out(1),
                static_cast<unsigned long long>(boards.unanswered_cycles()),
                static_cast<unsigned long long>(boards.protocol_errors()),
                static_cast<unsigned long long>(boards.unmapped_accesses()));
  std::string state = text;
  for (int n = 0; n < sim::kAxes; ++n) {
    std::snprintf(text, sizeof text, " axis %d: count %06x latched %06x rate %06x", n,
                  boards.counter(n), boards.latched(n), boards.rate_count(n));
    state += text;
  }
  return state;
}

sim::Rig still_rig(sim::Rig rig) {
  rig.clock = sim::Clock::virtual_time;
  rig.access_time_us = 0;
  return rig;
}

TwoPaths::TwoPaths(const sim::Rig &rig, PortHardware hardware)
    : direct_boards(rig), device_boards(rig) {
  kernel.set_hardware(hardware);
  kernel.install();
  device_init = vornMotInit(nullptr);
  direct_init = direct([] { return vornMotInit(nullptr); });
}

TwoPaths::~TwoPaths() {
  vornMotQuit();
  kernel.uninstall();
}

} // namespace vorn::test
