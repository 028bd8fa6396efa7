// vorndiag-sim runs that record a trace and runs that replay one, each in a
// scratch folder of its own.
#ifndef VORN_TEST_REPLAY_RUN_H
#define VORN_TEST_REPLAY_RUN_H

#include "run_tool.h"
#include "scratch_dir.h"

#include <string>
#include <vector>

namespace replaytest {

using vorn::test::RunResult;
using vorn::test::Step;

using Scratch = vorn::test::ScratchDir;

struct Recording {
  std::vector<std::string> args;
  std::string rig; // TOML added to a virtual clock
  std::string input;
  std::vector<Step> steps;
  std::vector<std::pair<std::string, std::string>> env; // VORN_TRACE and the like
  bool keep_input_open = false;
};

// Records with VORNSIM_TRACE=trace (unless trace is empty).
RunResult record(Scratch &scratch, const Recording &r, const std::string &trace);
// Replays `trace` with VORNSIM_REPLAY; `env` adds to it.
RunResult replay(const std::string &trace, const std::vector<std::string> &args,
                 const std::string &input = "",
                 std::vector<std::pair<std::string, std::string>> env = {});

// A copy of the plain `trace` as a tool that kept no time nor keys wrote
// it, so that its replay reads standard input.
std::string as_older_trace(Scratch &scratch, const std::string &trace);

// The lines of a text, each without its line end.
std::vector<std::string> lines_of(const std::string &text);
std::string joined(const std::vector<std::string> &lines);

} // namespace replaytest

#endif
