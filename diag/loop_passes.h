// One pass of each looping test that runs flat out, callable on its own so
// that its cost can be measured apart from the loop around it.
#ifndef VORNDIAG_LOOP_PASSES_H
#define VORNDIAG_LOOP_PASSES_H

#include "counts_line.h"

namespace vorndiag {

// servof: the four counts read and fed back as count / 1000 volts.
void servof_pass(Counts &pos, Counts &dacval);

// commtest: what lives from cycle to cycle. The counters are 64-bit so that
// a run of days never wraps them; the text is the same as with int up to
// 2147483647.
struct CommtestState {
  long long cycles = 0;
  long long errors = 0;
};

// One write, latch and read-back cycle of commtest, its reports included.
void commtest_cycle(CommtestState &state);

} // namespace vorndiag

#endif
