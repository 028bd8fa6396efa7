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

using Readback = unsigned[4][vorn::map::kCountBytes]; // per axis, lowest byte first

// The four counts latched and read back, bytes as the bus gave them.
void latch_and_read(Readback &got);

// One write, latch and read-back cycle of the encoder counters.
struct CommCycle {
  unsigned pattern[vorn::map::kCountBytes];
  Readback got;
};
// The pattern drawn and loaded into the counters, counting again.
void comm_load(CommCycle &c);
// comm_load(), then latch_and_read() into c.got.
void comm_transfer(CommCycle &c);

// comm_transfer(): the number of axes that read back wrong, each reported
// on standard output when `report`.
int comm_cycle(long long cycle, bool report);

} // namespace vorndiag

#endif
