// Compares two port traces access by access, the way cmp compares bytes:
// where they first part, then which bus cycles differ. Note lines are not
// accesses and are not compared; a report of differing traces says whether
// their notes differ too.
#ifndef VORNSIM_TRACE_DIFF_H
#define VORNSIM_TRACE_DIFF_H

#include "trace_io.h"

#include <ostream>

namespace vorn::sim {

// 0 when the accesses are the same (nothing is printed), 1 when they differ
// (the report on `out`), 2 when a trace cannot be read or has a line that
// is not a trace line (named on `err`).
int diff_traces(trace::Input &a, trace::Input &b, std::ostream &out, std::ostream &err);

} // namespace vorn::sim

#endif
