// The account of the bus transfers each block answered, kept by the
// primitives from the timeout flag they read anyway: not one port access
// is added for it.
#ifndef VORN_BUS_ACCOUNT_H
#define VORN_BUS_ACCOUNT_H

#include <cstdint>

namespace vorn {

// A cycle here is one selection or data write and the cycles after it up to
// the next timeout check: the flag tells no finer than that. It is counted
// for the block of the bus address last selected.
struct BlockTally {
  std::uint64_t cycles = 0;
  std::uint64_t unanswered = 0; // the timeout flag was set at its check
};

// Since the last reset (the start-up); a block past the last reads empty.
BlockTally block_tally(std::uint32_t block);
// Unanswered cycles of all blocks together.
std::uint64_t unanswered_total();
void reset_bus_account();

} // namespace vorn

#endif
