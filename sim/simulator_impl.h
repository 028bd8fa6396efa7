// The parallel port in front of the board set: its five registers, the EPP
// cycles they run, the trace, and the tallies for the exit report.
#ifndef VORNSIM_SIMULATOR_IMPL_H
#define VORNSIM_SIMULATOR_IMPL_H

#include "access_log.h"
#include "board_map.h"
#include "board_set.h"
#include "sim_clock.h"
#include "ticks.h"
#include "trace_time.h"
#include "vornsim.hpp"

#include <array>
#include <cstdint>
#include <cstdio>

namespace vorn::sim {

// A seeded source of bit flips, the same on every platform.
class FlipSource {
public:
  FlipSource(std::uint64_t seed, double probability) : state_(seed), probability_(probability) {}
  // The mask to XOR into one read byte; 0 for most reads.
  std::uint8_t next_mask();

private:
  std::uint64_t next();
  std::uint64_t state_;
  double probability_;
};

class SimulatorImpl {
public:
  explicit SimulatorImpl(Rig rig);

  std::uint8_t read(Reg reg);
  void write(Reg reg, std::uint8_t value);
  int open(std::uint32_t first);
  // An access to a port outside the five registers: counted, reaches nothing.
  void outside(std::uint16_t port);
  // Brings motion up to the clock's time.
  void sync();

  Rig rig;
  BoardSet boards;
  SimClock clock;
  AccessLog log;
  FlipSource flips;
  std::array<std::uint64_t, kAxes + 1> flips_by_axis{}; // [kAxes]: elsewhere
  std::uint32_t base = 0;
  std::uint8_t control = map::kCtrlForward;
  std::uint8_t status = 0x00;
  std::uint8_t selected = 0;
  std::uint8_t driven = 0;     // last byte the PC put on the data lines
  std::uint8_t data_latch = 0; // base+0
  std::uint64_t accesses = 0;
  std::uint64_t synced = 0; // ticks the motion has reached
  bool refused = false;
  bool opened = false;   // a granted open() since the last release()
  bool released = false; // given back after an open: motion commanded now is dropped
  std::FILE *exit_report = nullptr;
  // The clock's time for the port traces, without moving anything.
  trace::Clock trace_clock{
      [](void *self) { return static_cast<SimulatorImpl *>(self)->clock.now() / kTicksPerUs; },
      this};

private:
  // Counts the access and moves time.
  void begin();
  void end();
  std::uint8_t data_read();
  void data_write(std::uint8_t value);
  bool reverse() const;
};

} // namespace vorn::sim

#endif
