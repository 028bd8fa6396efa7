// What the run's bus account says, told after the shut-down.
#ifndef VORNDIAG_BUS_REPORT_H
#define VORNDIAG_BUS_REPORT_H

namespace vorndiag {

enum class BlockAccount {
  every_block, // a block the run talked to did not answer: a line and a status
  any_block,   // bus: empty blocks are its report; fails only if none answered
  own,         // check: its lines are the report
};

// One line on standard error per block that did not answer (or for the
// whole bus), and a line on the shut-down's stop when it was not taken;
// then the status: kExitStopNotTaken, kExitUnanswered, or 0.
int bus_report_status(BlockAccount account, bool stop_taken, const char *prog);

} // namespace vorndiag

#endif
