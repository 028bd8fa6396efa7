// vorndiag-sim and vorntrace as programs: settings from the environment, the
// trace however the run ends, rig errors, and repeatable runs.
#include "recording_port.h"
#include "run_tool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <regex>
#include <string>
#include <unistd.h>

namespace vorn::sim {
namespace {

using namespace vorn::test;

const std::string kRigs = VORNSIM_RIGS_DIR;

class ToolTest : public ::testing::Test {
protected:
  ToolTest() {
    char tmpl[] = "/tmp/vornsim-test-XXXXXX";
    dir_ = ::mkdtemp(tmpl) ? tmpl : "/tmp";
  }
  ~ToolTest() override {
    for (const std::string &f : files_)
      std::remove(f.c_str());
    ::rmdir(dir_.c_str());
  }
  std::string file(const std::string &name) {
    files_.push_back(dir_ + "/" + name);
    return files_.back();
  }
  std::string rig(const std::string &text) {
    std::string path = file("rig" + std::to_string(files_.size()) + ".toml");
    std::ofstream(path) << text;
    return path;
  }
  RunResult sim(std::vector<std::string> args, const std::string &rig_path,
                const std::string &trace_path, std::vector<Step> steps = {}) {
    RunSettings how;
    how.args = std::move(args);
    if (!rig_path.empty())
      how.env.push_back({"VORNSIM_RIG", rig_path});
    if (!trace_path.empty())
      how.env.push_back({"VORNSIM_TRACE", trace_path});
    how.steps = std::move(steps);
    return run_tool(VORNDIAG_SIM, how);
  }

  std::string dir_;
  std::vector<std::string> files_;
};

std::string startup() {
  return to_string(
      concat({sel_wrt(0x1C, 0x00), write_data(0xC8), write_data(0xC8), sel_wrt(0x03, 0x00),
              sel_wrt(0x04, 0x10), sel_wrt(0x00, 0x05), write_data(0x02), write_data(0x00),
              sel_wrt(0x03, 0xF0), sel_wrt(0x03, 0xF0), sel_wrt(0x03, 0x00)}));
}

std::string shutdown() {
  return to_string(concat({sel_wrt(0x1C, 0x00), write_data(0xC8), write_data(0xC8)}));
}

// A trace file's first line: the command that wrote it.
std::string run_line(const std::string &args) { return "# run: vorndiag-sim " + args + "\n"; }

// A trace file without its time marks, for the accesses and notes alone.
std::string untimed(const std::string &path) {
  static const std::regex mark("# t \\+[0-9]+\n");
  return std::regex_replace(read_file(path), mark, "");
}

bool starts_with(const std::string &s, const std::string &p) { return s.rfind(p, 0) == 0; }
bool ends_with(const std::string &s, const std::string &p) {
  return s.size() >= p.size() && s.compare(s.size() - p.size(), p.size(), p) == 0;
}

TEST_F(ToolTest, BusRunTracesStartUpAndShutDownAndMapsTheDefaultBoards) {
  const std::string trace = file("t.trace");
  RunResult r = sim({"378", "bus"}, "", trace);
  ASSERT_EQ(r.exit_status, 0) << r.err;
  const std::string t = untimed(trace);
  EXPECT_TRUE(starts_with(t, run_line("378 bus") + startup())) << t;
  EXPECT_TRUE(ends_with(t, shutdown())) << t;
  EXPECT_TRUE(std::regex_match(t, std::regex("# run: .*\n([RW] [0-4] [0-9a-f]{2}\n)+")));
  EXPECT_NE(r.out.find("   0        Encoder          1\n"
                       "   1        Rategen Board    2\n"
                       "   3        No Board        ff\n"
                       "   4        DIO              1\n"
                       "   5        No Board        ff\n"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(r.err, "");
}

TEST_F(ToolTest, RigErrorStopsBeforeTheToolPrintsAnything) {
  const std::string path = rig("clock = \"virtual\"\nclok = 1\n");
  const std::string trace = file("t.trace");
  RunResult r = sim({"378", "bus"}, path, trace);
  EXPECT_EQ(r.exit_status, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, path + ":2: unknown key 'clok'\n");

  r = sim({"378", "bus"}, dir_ + "/missing.toml", "");
  EXPECT_EQ(r.exit_status, 2);
  EXPECT_EQ(r.err, dir_ + "/missing.toml: cannot read rig file: No such file or directory\n");

  r = sim({"378", "bus"}, dir_, "");
  EXPECT_EQ(r.exit_status, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, dir_ + ": cannot read rig file: Is a directory\n");

  for (const char *nothing : {"", "# only a comment\n\n"}) {
    const std::string empty = rig(nothing);
    r = sim({"378", "bus"}, empty, "");
    EXPECT_EQ(r.exit_status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, empty + ": rig file sets nothing: no key in it\n");
  }
}

TEST_F(ToolTest, RefusedAccessIsReportedByTheTool) {
  const std::string trace = file("t.trace");
  std::ofstream(trace) << run_line("378 bus");
  RunResult r = sim({"378", "pos"}, rig("refuse_access = \"EPERM\"\n"), trace);
  EXPECT_EQ(r.exit_status, 2);
  EXPECT_NE(r.out.find("cannot access I/O ports 0x378 to 0x37c: Operation not permitted"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(read_file(trace), run_line("378 bus")) << "a refused run leaves the trace as it was";
}

// The trace is complete whichever way the run ends.
TEST_F(ToolTest, TraceIsCompleteAfterExitCtrlCAndScriptedInterrupt) {
  const std::string t1 = file("axis.trace");
  RunResult r = sim({"378", "index", "7"}, "", t1);
  EXPECT_EQ(r.exit_status, 1);
  EXPECT_EQ(untimed(t1), run_line("378 index 7") + startup());

  const std::string t2 = file("ctrlc.trace");
  r = sim({"378", "pos"}, "", t2, {signal_on_output(SIGINT, "+517.000")});
  EXPECT_EQ(r.exit_status, 0) << r.err;
  EXPECT_TRUE(ends_with(untimed(t2), "# stop SIGINT\n" + shutdown()));

  const std::string t3 = file("scripted.trace");
  r = sim({"378", "servof"}, rig("clock = \"virtual\"\ninterrupt_after = 3000\n"), t3);
  EXPECT_EQ(r.exit_status, 0) << r.err;
  const std::string t = untimed(t3);
  EXPECT_TRUE(ends_with(t, "# stop SIGINT\n" + shutdown()));
  const auto lines = std::count(t.begin(), t.end(), '\n');
  EXPECT_GE(lines, 3000);
  EXPECT_LT(lines, 3200) << "the pass under way ends the loop";
}

TEST_F(ToolTest, VirtualClockRunsAreByteIdentical) {
  const std::string path = rig("clock = \"virtual\"\ninterrupt_after = 20000\n"
                               "[faults]\nflip_probability = 0.01\n");
  for (const char *test : {"servof", "commtest"}) {
    SCOPED_TRACE(test);
    const std::string t1 = file(std::string(test) + "1.trace");
    const std::string t2 = file(std::string(test) + "2.trace");
    RunResult a = sim({"378", test}, path, t1);
    RunResult b = sim({"378", test}, path, t2);
    EXPECT_EQ(a.exit_status, std::string(test) == "commtest" ? 8 : 0); // read back wrong
    EXPECT_EQ(a.exit_status, b.exit_status);
    EXPECT_EQ(a.out, b.out);
    EXPECT_EQ(a.err, b.err);
    const std::string ta = read_file(t1);
    EXPECT_EQ(ta, read_file(t2));
    EXPECT_GT(ta.size(), 20000u * 7 - 1);
  }
}

// Each flipped count byte spoils one axis of one cycle; the communication
// test reports every spoiled axis, so with no two flips on one axis in one
// cycle (this seed) the counts agree.
TEST_F(ToolTest, CommtestErrorsMatchTheInjectedFlips) {
  const std::string path = rig("clock = \"virtual\"\ninterrupt_after = 200000\n[faults]\nseed = 7\n"
                               "flip_probability = 0.002\n");
  RunResult r = sim({"378", "commtest"}, path, "");
  ASSERT_EQ(r.exit_status, 8); // cycles read back wrong
  int reported[4] = {};
  std::regex report(" test cycle \\d+, axis (\\d) was / should be");
  for (std::sregex_iterator i(r.out.begin(), r.out.end(), report), e; i != e; ++i)
    ++reported[std::stoi((*i)[1])];
  std::smatch m;
  ASSERT_TRUE(std::regex_search(r.err, m,
                                std::regex("injected bit flips: axis 0: (\\d+), axis 1: (\\d+), "
                                           "axis 2: (\\d+), axis 3: (\\d+)")))
      << r.err;
  int total = 0;
  for (int axis = 0; axis < 4; ++axis) {
    EXPECT_EQ(reported[axis], std::stoi(m[axis + 1])) << "axis " << axis;
    total += reported[axis];
  }
  EXPECT_GT(total, 10);
}

TEST_F(ToolTest, EmptyBusListsUnansweredCyclesOnStandardError) {
  RunResult r = sim({"378", "bus"}, kRigs + "/empty.toml", "");
  EXPECT_EQ(r.exit_status, 6); // no block answered
  EXPECT_NE(r.err.find("vornsim: no board answered: write to bus address 0x1c (2 times)\n"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(r.out.find("vornsim"), std::string::npos);
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 2 + 2 + 16) << r.out;
}

TEST_F(ToolTest, VorntraceDecodesATrace) {
  const std::string trace = file("t.trace");
  sim({"378", "bus"}, "", trace);
  RunResult r = run_tool(VORNTRACE, RunSettings{{trace}, {}, "", false, {}, milliseconds{20000}});
  EXPECT_EQ(r.exit_status, 0);
  r.out = std::regex_replace(r.out, std::regex("-- at [0-9]+\\.[0-9]{6} s\n"), "");
  EXPECT_TRUE(starts_with(
      r.out, "-- run: vorndiag-sim 378 bus\nselect 0x1c\nwrite 0x00 to 0x1c\nwrite 0xc8 to 0x1d\n"))
      << r.out;
  EXPECT_NE(r.out.find("select 0x3f\ndirection reverse\nread 0x3f -> 0xff\ntimeout pending\n"
                       "timeout cleared\n"),
            std::string::npos);
}

} // namespace
} // namespace vorn::sim
