// The simulated boards the embedding tests drive.
#ifndef VORN_TEST_VIRTUAL_BOARDS_H
#define VORN_TEST_VIRTUAL_BOARDS_H

#include "vornsim.hpp"

#include <cstdint>

namespace vorn::test {

inline constexpr std::uint8_t kRunBits = 0xAA; // the run bit of every channel

// Time runs with the accesses only, 50 us each: a rate left running for a
// few of them moves its axis.
inline sim::Rig virtual_rig() {
  sim::Rig rig;
  rig.clock = sim::Clock::virtual_time;
  rig.access_time_us = 50;
  return rig;
}

} // namespace vorn::test

#endif
