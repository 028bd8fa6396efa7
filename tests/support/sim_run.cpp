#include "sim_run.h"

#include "bus_ops.h"
#include "scratch_dir.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>

namespace diagtest {

const char *const kStartLines = "io addr = 378\nparport addr 0x378 \n";

const std::vector<std::string> kSpindleStop = {"sel 0f", "wr 00", "sel 1f", "wr 80"};

bool cut_spindle_stop(std::vector<std::string> &ops) {
  if (ops.size() < kSpindleStop.size() ||
      !std::equal(kSpindleStop.begin(), kSpindleStop.end(), ops.end() - 4))
    return false;
  ops.resize(ops.size() - kSpindleStop.size());
  return true;
}
const char *const kCommtestReport = " test cycle (\\d+), axis ([0-3]) was / should be \n"
                                    " ([ 0-9a-f]{2}) ([ 0-9a-f]{2}) ([ 0-9a-f]{2}) / "
                                    "([ 0-9a-f]{2}) ([ 0-9a-f]{2}) ([ 0-9a-f]{2}) \n";
const char *const kCommtestSummary = " (\\d+) test cycles, (\\d+) errors\n";

namespace {

const std::vector<std::string> kStartup = {"sel 1c", "wr 00", "wr c8",  "wr c8", "sel 03", "wr 00",
                                           "sel 04", "wr 10", "sel 00", "wr 05", "wr 02",  "wr 00",
                                           "sel 03", "wr f0", "sel 03", "wr f0", "sel 03", "wr 00"};
const std::vector<std::string> kShutdown = {"sel 1c", "wr 00", "wr c8", "wr c8"};

bool begins_with(const std::vector<std::string> &ops, const std::vector<std::string> &head) {
  return ops.size() >= head.size() && std::equal(head.begin(), head.end(), ops.begin());
}

bool ends_with(const std::vector<std::string> &ops, const std::vector<std::string> &last) {
  return ops.size() >= last.size() && std::equal(last.rbegin(), last.rend(), ops.rbegin());
}

} // namespace

SimRun run_sim(const SimCase &c) {
  vorn::test::ScratchDir dir;
  const std::string rig = dir.file("rig.toml");
  const std::string trace = dir.file("port.trace");
  std::ofstream(rig) << "clock = \"virtual\"\n" << c.rig << "\n";

  vorn::test::RunSettings how;
  how.args = c.args;
  how.env = {{"VORNSIM_RIG", rig}, {"VORNSIM_TRACE", trace}};
  how.input = c.input;
  how.keep_input_open = c.keep_input_open;
  how.steps = c.steps;

  SimRun run;
  run.result = vorn::test::run_tool(VORNDIAG_SIM, how);
  run.accesses = parse_trace(vorn::test::read_file(trace));
  run.ops = bus_ops(run.accesses);
  run.started = begins_with(run.ops, kStartup);
  run.shut_down = run.started && run.ops.size() >= kStartup.size() + kShutdown.size() &&
                  ends_with(run.ops, kShutdown);
  if (run.shut_down)
    run.body.assign(run.ops.begin() + static_cast<std::ptrdiff_t>(kStartup.size()),
                    run.ops.end() - static_cast<std::ptrdiff_t>(kShutdown.size()));
  return run;
}

std::string golden(const std::string &name) {
  return vorn::test::read_file(std::string(DIAG_GOLDEN_DIR) + "/" + name);
}

} // namespace diagtest
