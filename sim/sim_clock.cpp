#include "sim_clock.h"

#include "ticks.h"

namespace vorn::sim {

SimClock::SimClock(Clock kind, std::uint32_t access_time_us)
    : kind_(kind), access_ticks_(std::uint64_t{access_time_us} * kTicksPerUs),
      start_(std::chrono::steady_clock::now()) {}

std::uint64_t SimClock::now() {
  if (kind_ == Clock::virtual_time)
    return extra_;
  using Tick = std::chrono::duration<std::int64_t, std::ratio<1, kTicksPerSecond>>;
  auto real = std::chrono::duration_cast<Tick>(std::chrono::steady_clock::now() - start_);
  return static_cast<std::uint64_t>(real.count()) + extra_;
}

void SimClock::on_access() {
  if (kind_ == Clock::virtual_time)
    extra_ += access_ticks_;
}

} // namespace vorn::sim
