// What the encoder board answers and what one latched read of it looks like
// on the port.
#ifndef VORN_TEST_ENCODER_BUS_H
#define VORN_TEST_ENCODER_BUS_H

#include "recording_port.h"

#include <array>
#include <cstdint>

namespace vorn::test {

using RawCounts = std::array<std::uint32_t, 4>; // 24-bit counter values

// The twelve bytes of a count read: encoders 0 to 3, low byte first.
inline std::vector<std::uint8_t> count_bytes(const RawCounts &raw) {
  std::vector<std::uint8_t> bytes;
  for (std::uint32_t r : raw)
    for (int shift = 0; shift < 24; shift += 8)
      bytes.push_back(static_cast<std::uint8_t>(r >> shift));
  return bytes;
}

inline void script_counts(RecordingPort &port, const RawCounts &raw) {
  port.script(4, count_bytes(raw));
}

// Latch strobe, selection of 0x00, reverse direction, twelve data reads.
inline std::vector<Access> latched_count_read(const RawCounts &raw) {
  std::vector<Access> reads = {{'W', 2, 0x24}};
  for (std::uint8_t b : count_bytes(raw))
    reads.push_back({'R', 4, b});
  return concat({sel_wrt(0x04, 0x20), sel_wrt(0x04, 0x20), sel_wrt(0x04, 0x20), sel_wrt(0x04, 0x00),
                 sel_addr(0x00), reads});
}

inline std::array<double, 4> read_counts(RecordingPort &port, const RawCounts &raw) {
  script_counts(port, raw);
  std::array<double, 4> counts{};
  vornEncoderReadAll(4, counts.data());
  return counts;
}

} // namespace vorn::test

#endif
