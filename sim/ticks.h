// The simulator's time unit: one period of the rate generators' 10 MHz
// clock, so pulse timing is exact integer arithmetic.
#ifndef VORNSIM_TICKS_H
#define VORNSIM_TICKS_H

#include <cstdint>

namespace vorn::sim {

inline constexpr std::uint64_t kTicksPerSecond = 10'000'000;
inline constexpr std::uint64_t kTicksPerUs = 10;
inline constexpr std::uint32_t kCountMask = 0xFFFFFF; // 24-bit counters

} // namespace vorn::sim

#endif
