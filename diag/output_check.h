// Whether standard output reached its reader: checked last, after the
// shut-down, so that a failed output never leaves the motors running.
#ifndef VORNDIAG_OUTPUT_CHECK_H
#define VORNDIAG_OUTPUT_CHECK_H

namespace vorndiag {

// Flushes standard output. If some of it could not be written, says so in
// one line on standard error and turns a normal end (0) into kExitOutput;
// other statuses keep their meaning. Output lost because its reader went
// away (SIGPIPE) is what the reader asked for: no line, status kept.
int checked_exit_status(int status, const char *prog);

} // namespace vorndiag

#endif
