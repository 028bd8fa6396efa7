// Forked runs of the embed tests. A trace of a start-up and shut-down,
// written in a process of its own (a process has one library trace and one
// simulator), with a child forked and ended in between when asked: what a
// forked child writes of its parent's trace shows as lines the run alone
// does not have.
#ifndef VORN_TEST_FORKED_TRACE_H
#define VORN_TEST_FORKED_TRACE_H

#include <functional>
#include <string>
#include <vector>

namespace vorn::test {

// How the run shuts its drivers down before it exits: itself, in an atexit
// handler registered before its start-up, or not at all.
enum class RunEnd { shut_down, in_atexit_handler, none };

// `start` puts the boards and the trace to `path` in place and starts the
// drivers: false when it could not. The trace's lines but its time marks
// (which follow the wall clock here: the accesses are what counts).
std::vector<std::string> forked_trace(const std::string &path, bool fork_child,
                                      bool (*start)(const std::string &path),
                                      RunEnd end = RunEnd::shut_down);

// A child forked and ended in the middle of the run leaves the trace as
// the run alone writes it.
void expect_child_writes_none(const std::string &path, bool (*start)(const std::string &path));

// Whether `check` holds when run in a child forked now.
bool holds_in_forked_child(const std::function<bool()> &check);

} // namespace vorn::test

#endif
