#include "bus_watch.h"

#include "board_map.h"
#include "output_check.h"

#include "vorn.h"

#include <array>
#include <bit>
#include <chrono>
#include <cstdio>

namespace vorndiag {

namespace {

using namespace vorn::map;
using Clock = std::chrono::steady_clock;

constexpr long long kDeadCycles = 8;
constexpr Clock::duration kLineEvery = std::chrono::seconds(1);
constexpr int kFullLookEvery = 64;

struct Watched {
  long long cycles = 0;
  long long unanswered = 0;
  long long unanswered_run = 0; // in a row, up to the last look
  long long answered_run = 0;
  bool dead = false; // as last told
  bool told = false;
  Clock::time_point told_at{};
};
std::array<Watched, kBlockCount> blocks;
const char *program = "vorndiag";
bool watching = false;
int passes_to_full_look = 0;
std::uint32_t talked_to = 0; // blocks with cycles, one bit each

// The account tells only totals: a look in which the block both answered
// and did not breaks both runs, as the order is unknown.
void count(Watched &w, long long cycles, long long unanswered) {
  if (unanswered == cycles) {
    w.unanswered_run += cycles;
    w.answered_run = 0;
  } else if (unanswered == 0) {
    w.answered_run += cycles;
    w.unanswered_run = 0;
  } else {
    w.unanswered_run = w.answered_run = 0;
  }
}

void say(std::uint32_t block, bool dead) {
  const unsigned first = block * kBlockSize;
  const char *board = block_board(block);
  char line[300];
  std::snprintf(line, sizeof line, "%s: block %u (bus addresses 0x%02x to 0x%02x%s%s) %s\n",
                program, block, first, first + kBlockSize - 1, board != nullptr ? ", " : "",
                board != nullptr ? board : "", dead ? "stopped answering" : "answers again");
  tell(line);
}

} // namespace

void start_bus_watch(const char *prog) {
  blocks = {};
  program = prog;
  watching = true;
  passes_to_full_look = 0;
  talked_to = 0;
}

void watch_bus() {
  if (!watching)
    return;
  // commtest asks thousands of times a second: every pass looks at the
  // blocks the test talks to, and only every few passes at all sixteen.
  const bool all_blocks = --passes_to_full_look <= 0;
  if (all_blocks)
    passes_to_full_look = kFullLookEvery;
  for (std::uint32_t left = all_blocks ? ~0u : talked_to; left != 0; left &= left - 1) {
    const auto block = static_cast<std::uint32_t>(std::countr_zero(left));
    if (block >= kBlockCount)
      break;
    Watched &w = blocks[block];
    long long cycles = 0;
    long long unanswered = 0;
    if (vornBusAccount(static_cast<int>(block), &cycles, &unanswered) != 0 || cycles == w.cycles)
      continue;
    count(w, cycles - w.cycles, unanswered - w.unanswered);
    w.cycles = cycles;
    w.unanswered = unanswered;
    talked_to |= 1u << block;
    const bool dead = w.dead ? w.answered_run < kDeadCycles : w.unanswered_run >= kDeadCycles;
    if (dead == w.dead)
      continue;
    const Clock::time_point now = Clock::now();
    if (w.told && now - w.told_at < kLineEvery)
      continue;
    say(block, dead);
    w.dead = dead;
    w.told = true;
    w.told_at = now;
  }
}

} // namespace vorndiag
