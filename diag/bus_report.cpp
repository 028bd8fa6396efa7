#include "bus_report.h"

#include "board_map.h"
#include "frame.h"

#include "vorn.h"

#include <cstdarg>
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

[[gnu::format(printf, 2, 3)]] void add(std::string &lines, const char *format, ...) {
  char line[400];
  std::va_list args;
  va_start(args, format);
  std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  lines += line;
}

constexpr char kCheckHint[] =
    "check the cable, the boards' power, and that the port is in EPP mode";

void add_unanswered(std::string &lines, std::uint32_t block, const Tally &t, const char *prog) {
  const unsigned first = block * kBlockSize;
  const char *board = block_board(block);
  add(lines,
      "%s: no board answered at block %u (bus addresses 0x%02x to 0x%02x%s%s): "
      "%lld of %lld cycles: %s\n",
      prog, block, first, first + kBlockSize - 1, board != nullptr ? ", " : "",
      board != nullptr ? board : "", t.unanswered, t.cycles, kCheckHint);
}

bool report_blocks(std::string &lines, const char *prog) {
  bool any = false;
  for (std::uint32_t block = 0; block < kBlockCount; ++block)
    if (const Tally t = tally(block); t.unanswered > 0) {
      add_unanswered(lines, block, t, prog);
      any = true;
    }
  return any;
}

bool report_whole_bus(std::string &lines, const char *prog) {
  Tally all;
  for (std::uint32_t block = 0; block < kBlockCount; ++block) {
    const Tally t = tally(block);
    all.cycles += t.cycles;
    all.unanswered += t.unanswered;
  }
  if (all.cycles == 0 || all.answered() > 0)
    return false;
  add(lines,
      "%s: no board answered at any block (bus addresses 0x00 to 0x%02x): "
      "%lld of %lld cycles: %s\n",
      prog, kLastAddr, all.unanswered, all.cycles, kCheckHint);
  return true;
}

} // namespace

BusReport bus_report(BlockAccount account, bool stop_taken, const char *prog) {
  BusReport report;
  std::string &lines = report.lines;
  bool unanswered = false;
  if (account == BlockAccount::every_block)
    unanswered = report_blocks(lines, prog);
  else if (account == BlockAccount::any_block)
    unanswered = report_whole_bus(lines, prog);
  report.status = unanswered ? kExitUnanswered : 0;
  if (stop_taken)
    return report;
  // No rate generator at all: nothing was running that the stop could miss.
  if (tally(kRateBlock).answered() + tally(kRateBlock + 1).answered() == 0) {
    if (account == BlockAccount::own) // check's own line says so
      return report;
    add(lines, "%s: no rate generator answered during this run: no stop to take\n", prog);
    return report;
  }
  add(lines,
      "%s: WARNING: the rate generator did not take the stop: the axes may still be "
      "moving; switch the drives off\n",
      prog);
  report.status = kExitStopNotTaken;
  return report;
}

} // namespace vorndiag
