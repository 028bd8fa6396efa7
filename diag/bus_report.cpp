#include "bus_report.h"

#include "board_map.h"
#include "frame.h"

#include "vorn.h"

#include <cstdio>

namespace vorndiag {

namespace {

using namespace vorn::map;

struct Tally {
  long long cycles = 0;
  long long unanswered = 0;
  long long answered() const { return cycles - unanswered; }
};

Tally tally(std::uint32_t block) {
  Tally t;
  vornBusAccount(static_cast<int>(block), &t.cycles, &t.unanswered);
  return t;
}

constexpr char kCheckHint[] =
    "check the cable, the boards' power, and that the port is in EPP mode";

void print_unanswered(std::uint32_t block, const Tally &t, const char *prog) {
  const unsigned first = block * kBlockSize;
  const char *board = block_board(block);
  std::fprintf(stderr, "%s: no board answered at block %u (bus addresses 0x%02x to 0x%02x%s%s): "
                       "%lld of %lld cycles: %s\n",
               prog, block, first, first + kBlockSize - 1, board != nullptr ? ", " : "",
               board != nullptr ? board : "", t.unanswered, t.cycles, kCheckHint);
}

bool report_blocks(const char *prog) {
  bool any = false;
  for (std::uint32_t block = 0; block < kBlockCount; ++block)
    if (const Tally t = tally(block); t.unanswered > 0) {
      print_unanswered(block, t, prog);
      any = true;
    }
  return any;
}

bool report_whole_bus(const char *prog) {
  Tally all;
  for (std::uint32_t block = 0; block < kBlockCount; ++block) {
    const Tally t = tally(block);
    all.cycles += t.cycles;
    all.unanswered += t.unanswered;
  }
  if (all.cycles == 0 || all.answered() > 0)
    return false;
  std::fprintf(stderr, "%s: no board answered at any block (bus addresses 0x00 to 0x%02x): "
                       "%lld of %lld cycles: %s\n",
               prog, kLastAddr, all.unanswered, all.cycles, kCheckHint);
  return true;
}

} // namespace

int bus_report_status(BlockAccount account, bool stop_taken, const char *prog) {
  if (account == BlockAccount::own)
    return 0;
  const bool unanswered =
      account == BlockAccount::every_block ? report_blocks(prog) : report_whole_bus(prog);
  if (stop_taken)
    return unanswered ? kExitUnanswered : 0;
  // No rate generator at all: nothing was running that the stop could miss.
  if (tally(kRateBlock).answered() + tally(kRateBlock + 1).answered() == 0) {
    std::fprintf(stderr, "%s: no rate generator answered during this run: no stop to take\n",
                 prog);
    return unanswered ? kExitUnanswered : 0;
  }
  std::fprintf(stderr,
               "%s: WARNING: the rate generator did not take the stop: the axes may still be "
               "moving; switch the drives off\n",
               prog);
  return kExitStopNotTaken;
}

} // namespace vorndiag
