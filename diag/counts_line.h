// The live line of four encoder counts shared by pos, servo and indexres.
#ifndef VORNDIAG_COUNTS_LINE_H
#define VORNDIAG_COUNTS_LINE_H

#include "frame.h"

namespace vorndiag {

using Counts = double[kAxes];

// Starts a new screen line, once, when any axis moved by more than 1000
// counts since `oldpos`; then `oldpos` takes the current counts.
void mark_jump(const Counts &pos, Counts &oldpos);

// One pass of the live line: read the counts, mark a jump, print the four
// counts and return the cursor, flush, pause.
void live_counts_pass(Counts &pos, Counts &oldpos);

} // namespace vorndiag

#endif
