// Whether standard output reached its reader: checked last, after the
// shut-down, so that a failed output never leaves the motors running.
#ifndef VORNDIAG_OUTPUT_CHECK_H
#define VORNDIAG_OUTPUT_CHECK_H

#include <string>

namespace vorndiag {

// Standard output through a writer that gives way to a stop signal (see
// stop_signals.h) and keeps the reason of a failed write. Before the first
// output; once per process.
void give_way_on_stdout();

// A line (with its end) for standard error while the run goes on: written
// as standard output is, giving way to a stop; what is held goes out first
// at the end.
void tell(const std::string &line);

// Writes out standard error's held lines, then standard output, what a stop
// held back included; a live line left open by a carriage return is ended
// when standard output is a terminal. If some of it
// could not be written, says so in one line on standard error with the
// reason, and turns a normal end (0) into kExitOutput; other statuses keep
// their meaning. Output lost because its reader went
// away (SIGPIPE) is what the reader asked for: no line, status kept.
//
// Then ends the port's run: closes the port traces and asks a replay how
// it went, with one line on standard error for a problem. A replay that
// departed from its recording gives kExitReplay whatever the status was (the
// run after the departure saw made-up answers); a trace not written
// completely gives kExitTrace in place of 0 and kExitOutput (the file the
// user asked to keep is the graver loss); other statuses are kept.
int checked_exit_status(int status, const char *prog);

} // namespace vorndiag

#endif
