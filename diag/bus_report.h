// What the run's bus account says, told after the shut-down.
#ifndef VORNDIAG_BUS_REPORT_H
#define VORNDIAG_BUS_REPORT_H

#include <string>

namespace vorndiag {

enum class BlockAccount {
  every_block, // a block the run talked to did not answer: a line and a status
  any_block,   // bus: empty blocks are its report; fails only if none answered
  own,         // check: its lines are the report, but for the stop's warning
};

struct BusReport {
  std::string lines; // for standard error, each ending in a line end
  int status = 0;    // kExitStopNotTaken, kExitUnanswered, or 0
};

// One line per block that did not answer (or for the whole bus), and one on
// the shut-down's stop when it was not taken.
BusReport bus_report(BlockAccount account, bool stop_taken, const char *prog);

} // namespace vorndiag

#endif
