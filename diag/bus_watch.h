// Told while a looping test runs: a block the test talks to that stops
// answering, and that answers again.
#ifndef VORNDIAG_BUS_WATCH_H
#define VORNDIAG_BUS_WATCH_H

namespace vorndiag {

// Looks at the bus account (no port access): a block with kDeadCycles
// unanswered cycles in a row gets a line on standard error, and one when
// it has as many answered in a row; at most one line a block a second.
void watch_bus();
// A new run: no block told yet; `prog` begins each line. Until it is
// called, watch_bus() tells nothing.
void start_bus_watch(const char *prog);

} // namespace vorndiag

#endif
