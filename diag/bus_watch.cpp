#include "bus_watch.h"

#include "board_map.h"
#include "output_check.h"

#include "vorn.h"

#include <array>
#include <chrono>
#include <cstdio>

namespace vorndiag {

namespace {

using namespace vorn::map;
using Clock = std::chrono::steady_clock;

constexpr long long kDeadCycles = 8;
constexpr Clock::duration kLineEvery = std::chrono::seconds(1);

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
}

void watch_bus() {
  if (!watching)
    return;
  const Clock::time_point now = Clock::now();
  for (std::uint32_t block = 0; block < kBlockCount; ++block) {
    Watched &w = blocks[block];
    long long cycles = 0;
    long long unanswered = 0;
    if (vornBusAccount(static_cast<int>(block), &cycles, &unanswered) != 0 || cycles == w.cycles)
      continue;
    count(w, cycles - w.cycles, unanswered - w.unanswered);
    w.cycles = cycles;
    w.unanswered = unanswered;
    const bool dead = w.dead ? w.answered_run < kDeadCycles : w.unanswered_run >= kDeadCycles;
    if (dead == w.dead || (w.told && now - w.told_at < kLineEvery))
      continue;
    say(block, dead);
    w.dead = dead;
    w.told = true;
    w.told_at = now;
  }
}

} // namespace vorndiag
