// The bus map's probe and the communication cycle, shared by bus, commtest
// and check.
#ifndef VORNDIAG_BUS_PROBE_H
#define VORNDIAG_BUS_PROBE_H

#include "board_map.h"

#include <array>

namespace vorndiag {

inline constexpr int kNotProbed = -1;
using BoardIds = std::array<int, vorn::map::kBlockCount>;

// The ID byte of every block; kNotProbed for the block after a rate
// generator, which belongs to it.
BoardIds probe_boards();

// One write, latch and read-back cycle of the encoder counters: the number
// of axes that read back wrong, each reported on standard output when
// `report`.
int comm_cycle(long long cycle, bool report);

} // namespace vorndiag

#endif
