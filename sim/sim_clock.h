// Simulated time: real time since start, or a count of port accesses.
#ifndef VORNSIM_SIM_CLOCK_H
#define VORNSIM_SIM_CLOCK_H

#include "vornsim.hpp"

#include <chrono>
#include <cstdint>

namespace vorn::sim {

class SimClock {
public:
  SimClock(Clock kind, std::uint32_t access_time_us);
  // Ticks since start, advances included.
  std::uint64_t now();
  void on_access();
  void advance(std::uint64_t ticks) { extra_ += ticks; }

private:
  Clock kind_;
  std::uint64_t access_ticks_;
  std::uint64_t extra_ = 0; // virtual time, or what advance() added to real time
  std::chrono::steady_clock::time_point start_;
};

} // namespace vorn::sim

#endif
