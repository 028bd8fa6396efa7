// One board set twice: a simulator that is the port itself, and one behind
// the fake kernel driver, reached through the kernel-device backend. Both
// have the drivers started (vornMotInit) and then take the same operations,
// so that what the library sees and what the boards are left with can be
// compared.
#ifndef VORN_TEST_TWO_PATHS_H
#define VORN_TEST_TWO_PATHS_H

#include "fake_ppdev.h"
#include "vornsim.hpp"

#include <string>

namespace vorn::test {

// Everything a primitive can leave on the boards and the port, but the
// status register's timeout bit, which the kernel keeps clear, and the
// control register's interrupt enable, which is no line.
std::string board_state(sim::Simulator &boards);

// A virtual-clock rig with no access time: the device path's extra
// register accesses then cost no simulated time.
sim::Rig still_rig(sim::Rig rig = sim::default_rig());

class TwoPaths {
public:
  explicit TwoPaths(const sim::Rig &rig = still_rig(), PortHardware hardware = {});
  ~TwoPaths();
  TwoPaths(const TwoPaths &) = delete;
  TwoPaths &operator=(const TwoPaths &) = delete;

  // `op` on the simulator as the port; it must return a value.
  template <class Op> auto direct(Op op) {
    direct_boards.install();
    auto result = op();
    direct_boards.uninstall();
    return result;
  }
  // `op` through the kernel-device backend and the fake.
  template <class Op> auto device(Op op) { return op(); }

  sim::Simulator direct_boards;
  sim::Simulator device_boards;
  FakePpdev kernel{device_boards};
  int direct_init = -1;
  int device_init = -1;
};

} // namespace vorn::test

#endif
