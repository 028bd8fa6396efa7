// vorndiag-sim runs for the end-to-end cases: a rig written for the run, the
// port trace read back as bus operations, the start-up and shut-down
// sequences checked and cut off.
#ifndef VORNDIAG_TEST_SIM_RUN_H
#define VORNDIAG_TEST_SIM_RUN_H

#include "recording_port.h"
#include "run_tool.h"

#include <string>
#include <vector>

namespace diagtest {

// Every run uses the default board set on the virtual clock, with `rig`
// (TOML) added.
struct SimCase {
  std::vector<std::string> args;
  std::string rig;
  std::string input;
  std::vector<vorn::test::Step> steps;
  bool keep_input_open = false;
};

struct SimRun {
  vorn::test::RunResult result;
  std::vector<vorn::test::Access> accesses; // the whole port trace
  std::vector<std::string> ops;             // every bus operation of the run
  std::vector<std::string> body;            // without the start-up and shut-down
  bool started = false;                     // the trace begins with the start-up
  bool shut_down = false;                   // and ends with the shut-down
};

SimRun run_sim(const SimCase &c);

// The expected text of golden/<name>, and the file's path for messages.
std::string golden(const std::string &name);

// "io addr = 378\nparport addr 0x378 \n": what every run on 0x378 begins with.
extern const char *const kStartLines;

// The statuses of a run that found a fault (vorndiag(1), EXIT STATUS).
inline constexpr int kExitUnanswered = 6;
inline constexpr int kExitStopNotTaken = 7;
inline constexpr int kExitCommErrors = 8;
inline constexpr int kExitCheckFailed = 9;
inline constexpr int kExitCheckIncomplete = 11;

// What spindle writes at every end, before the shut-down: the speed 0,
// then digital output 0 idle.
extern const std::vector<std::string> kSpindleStop;
// Whether `ops` end with kSpindleStop; if they do, it is cut off.
bool cut_spindle_stop(std::vector<std::string> &ops);

// Patterns of commtest's lines: a mismatch report (cycle, axis, the three
// bytes read, the three written) and the summary (cycles, errors).
extern const char *const kCommtestReport;
extern const char *const kCommtestSummary;

} // namespace diagtest

#endif
