#include "motion.h"

#include "ticks.h"

namespace vorn::sim {

std::int32_t signed24(std::uint32_t value) {
  value &= kCountMask;
  return value & 0x800000u ? static_cast<std::int32_t>(value) - 0x1000000
                           : static_cast<std::int32_t>(value);
}

namespace {

std::uint32_t wrap24(std::int64_t value) { return static_cast<std::uint32_t>(value) & kCountMask; }

// Counts from `c` to the next multiple of `period` in direction `dir`.
std::int64_t to_next_multiple(std::int64_t c, std::int64_t period, int dir) {
  std::int64_t r = c % period;
  if (r < 0)
    r += period;
  if (dir > 0)
    return period - r;
  return r == 0 ? period : r;
}

} // namespace

bool EncoderAxis::move(std::int64_t steps, std::uint32_t period, bool reset_at_index,
                       std::uint32_t preset) {
  if (held || steps == 0)
    return false;
  const int dir = steps > 0 ? 1 : -1;
  std::int64_t left = steps > 0 ? steps : -steps;
  const std::int64_t c = signed24(count);
  const std::int64_t dist = to_next_multiple(c, period, dir);
  if (dist > left || !reset_at_index) {
    count = wrap24(c + dir * left);
    return dist <= left;
  }
  // Every index pulse loads the preset, so after the first one the counter
  // goes round the same cycle from the preset to its next multiple.
  const std::int64_t p = signed24(preset);
  left = (left - dist) % to_next_multiple(p, period, dir);
  count = wrap24(p + dir * left);
  return true;
}

std::uint64_t RateChannel::pulses(std::uint64_t ticks) {
  const std::uint64_t period = std::uint64_t{count} + 2;
  phase += ticks;
  std::uint64_t n = phase / period;
  phase %= period;
  return n;
}

std::int64_t SteadyMotion::counts(std::uint64_t ticks) {
  if (counts_per_second == 0)
    return 0;
  std::uint64_t speed =
      counts_per_second > 0 ? counts_per_second : -std::int64_t{counts_per_second};
  // Chunks keep ticks x speed (speed below 2^24) inside 64 bits.
  std::uint64_t n = 0;
  constexpr std::uint64_t kChunk = std::uint64_t{1} << 36;
  while (ticks > 0) {
    std::uint64_t step = ticks < kChunk ? ticks : kChunk;
    ticks -= step;
    acc += step * speed;
    n += acc / kTicksPerSecond;
    acc %= kTicksPerSecond;
  }
  return counts_per_second > 0 ? static_cast<std::int64_t>(n) : -static_cast<std::int64_t>(n);
}

} // namespace vorn::sim
