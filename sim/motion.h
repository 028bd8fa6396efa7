// Counting and pulse generation: an encoder counter with its index pulses,
// and the two sources that move it (a rate channel, outside motion).
#ifndef VORNSIM_MOTION_H
#define VORNSIM_MOTION_H

#include <cstdint>

namespace vorn::sim {

// One 24-bit counter. The index pulse comes whenever the count, read as a
// signed 24-bit value, reaches a multiple of the index period.
struct EncoderAxis {
  std::uint32_t count = 0;   // 24 bits
  std::uint32_t latched = 0; // 24 bits
  bool held = false;         // loading the preset: counting stopped

  // Moves by `steps` counts (negative = down). Returns true if at least one
  // index pulse came; with `reset_at_index` each pulse loads `preset`.
  bool move(std::int64_t steps, std::uint32_t period, bool reset_at_index, std::uint32_t preset);
};

// A rate generator channel: a pulse every (count + 2) ticks while running.
struct RateChannel {
  std::uint32_t count = 0; // 24 bits
  std::uint64_t phase = 0; // ticks since the last pulse

  // Pulses in the next `ticks` ticks.
  std::uint64_t pulses(std::uint64_t ticks);
};

// Motion from outside the board set at a steady speed.
struct SteadyMotion {
  std::int32_t counts_per_second = 0;
  std::uint64_t acc = 0; // ticks x counts, below kTicksPerSecond

  std::int64_t counts(std::uint64_t ticks);
};

std::int32_t signed24(std::uint32_t value);

} // namespace vorn::sim

#endif
