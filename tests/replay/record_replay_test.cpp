// Runs recorded on the simulator and replayed with VORNSIM_REPLAY end with
// the recorded status and the same standard output, however they ended:
// to the end, by a scripted or a real stop signal, a keyboard wait cut
// short, a bad axis. And VORN_TRACE's file: refused before any access when
// it cannot be opened, reported after the shut-down when a write fails.
#include "recording_port.h"
#include "replay_run.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <cstring>

namespace replaytest {
namespace {

using namespace std::chrono_literals;

struct RoundTrip {
  const char *name;
  Recording recording;
  const char *event; // a note the trace must have, or nullptr
};

const RoundTrip kRoundTrips[] = {
    {"Bus", {{"378", "bus"}, "", "", {}, {}}, nullptr},
    {"PosScriptedCtrlC", {{"378", "pos"}, "interrupt_after = 3000\n", "", {}, {}}, "# stop SIGINT"},
    {"NoisyCommtest",
     {{"378", "commtest"},
      "interrupt_after = 60000\n[faults]\nflip_probability = 0.01\n",
      "",
      {},
      {}},
     "# stop SIGINT"},
    {"LatchTerm",
     {{"378", "latch", "0"}, "", "", {vorn::test::signal_after(SIGTERM, 200ms)}, {}},
     "# stop SIGTERM"},
    {"RateAnswers", {{"378", "rate"}, "", "1\n2.5\n-1.25\nq\n", {}, {}}, nullptr},
    {"DioAnswers", {{"378", "dio"}, "", "1\n0x55\n\n", {}, {}}, nullptr},
    {"BadAxis", {{"378", "index", "7"}, "", "", {}, {}}, nullptr},
    // gzip, through the library's own trace
    {"CompressedServof",
     {{"378", "servof"}, "interrupt_after = 5000\n", "", {}, {{"VORN_TRACE", "@.gz"}}},
     "# stop SIGINT"},
};

class RecordAndReplay : public ::testing::TestWithParam<RoundTrip> {};

TEST_P(RecordAndReplay, EndsWithTheRecordedStatusAndOutput) {
  Scratch scratch;
  Recording r = GetParam().recording;
  std::string trace = scratch.file("port.trace");
  for (auto &[name, value] : r.env)
    if (value == "@.gz")
      value = trace = scratch.file("port.trace.gz");
  const RunResult recorded = record(scratch, r, r.env.empty() ? trace : "");
  ASSERT_FALSE(recorded.timed_out);
  const std::string text = vorn::test::read_file(trace);
  if (GetParam().event != nullptr) {
    if (trace.ends_with(".gz"))
      EXPECT_EQ(text.substr(0, 2), "\x1f\x8b") << "written compressed";
    else
      EXPECT_NE(text.find(std::string("\n") + GetParam().event + "\n"), std::string::npos);
  }

  const RunResult replayed = replay(trace, r.args, r.input);
  EXPECT_EQ(replayed.exit_status, recorded.exit_status);
  EXPECT_EQ(replayed.out, recorded.out);
  // The tool's own lines come back; the simulator's do not.
  std::string tool_err;
  for (const std::string &line : lines_of(recorded.err))
    if (!line.starts_with("vornsim: "))
      tool_err += line + "\n";
  EXPECT_EQ(replayed.err, tool_err);
}

INSTANTIATE_TEST_SUITE_P(Runs, RecordAndReplay, ::testing::ValuesIn(kRoundTrips),
                         [](const auto &info) { return std::string(info.param.name); });

// SIGTERM at the prompt cuts the keyboard wait; the replay, given the same
// input and none after it, cuts the wait at the same prompt.
TEST(RecordAndReplayKeyboard, ACutWaitIsReplayedAtTheSamePrompt) {
  Scratch scratch;
  const std::string trace = scratch.file("port.trace");
  // The input stays open: the cut, not its end, stops the answers.
  Recording r{{"378", "rate"}, "", "1\n2.5\n", {vorn::test::signal_when_reading(SIGTERM)}, {}};
  r.steps[0].when_output = "volts=2.5";
  r.keep_input_open = true;
  const RunResult recorded = record(scratch, r, trace);
  ASSERT_EQ(recorded.exit_status, 0) << recorded.err;
  EXPECT_NE(vorn::test::read_file(trace).find("\n# keyboard cut SIGTERM\n"), std::string::npos)
      << recorded.out;

  const RunResult replayed = replay(trace, r.args, r.input);
  EXPECT_EQ(replayed.exit_status, 0) << replayed.err;
  EXPECT_EQ(replayed.out, recorded.out);
}

// A signal at a prompt of a replay that its recording did not have: the
// replay reads on, as its recording did, whichever signal it is. (A trace
// without keys, as older tools wrote: a replay reads the keyboard then.)
class ReplayAtAPrompt : public ::testing::TestWithParam<int> {};

TEST_P(ReplayAtAPrompt, FollowsTheRecordingWhateverTheSignal) {
  Scratch scratch;
  const std::string trace = scratch.file("port.trace");
  const Recording r{{"378", "rate"}, "", "1\n2.5\n-1.25\nq\n", {}, {}};
  const RunResult recorded = record(scratch, r, trace);
  ASSERT_EQ(recorded.exit_status, 0) << recorded.err;

  vorn::test::RunSettings how;
  how.args = r.args;
  how.env = {{"VORNSIM_REPLAY", as_older_trace(scratch, trace)}};
  how.input = "1\n2.5\n";
  how.keep_input_open = true;
  how.steps = {vorn::test::signal_when_reading(GetParam()),
               vorn::test::write_input_after("-1.25\nq\n", 100ms),
               vorn::test::close_input_after(0ms)};
  how.steps[0].when_output = "volts=2.5";
  const RunResult replayed = vorn::test::run_tool(VORNDIAG_SIM, how);
  EXPECT_EQ(replayed.steps_done, 3u);
  EXPECT_EQ(replayed.exit_status, 0) << replayed.err;
  EXPECT_EQ(replayed.out, recorded.out);
}

INSTANTIATE_TEST_SUITE_P(Signals, ReplayAtAPrompt,
                         ::testing::Values(SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGINT),
                         [](const auto &info) { return std::string(sigabbrev_np(info.param)); });

// The run note of a program whose name has a blank and a quote still tells
// the replay where the arguments begin.
TEST(RecordAndReplayRunNote, AProgramNameWithABlankAndAQuote) {
  Scratch scratch;
  const std::string folder = scratch.file("my tools");
  ASSERT_EQ(
      std::system(
          ("mkdir '" + folder + "' && cp " VORNDIAG_SIM " '" + folder + "/vorn \"sim'").c_str()),
      0);
  const std::string program = folder + "/vorn \"sim";
  const std::string trace = scratch.file("port.trace");
  vorn::test::RunSettings how;
  how.args = {"378", "bus"};
  how.env = {{"VORNSIM_TRACE", trace}};
  const RunResult recorded = vorn::test::run_tool(program, how);
  ASSERT_EQ(recorded.exit_status, 0) << recorded.err;
  how.env = {{"VORNSIM_REPLAY", trace}};
  const RunResult replayed = vorn::test::run_tool(program, how);
  EXPECT_EQ(replayed.exit_status, 0) << replayed.err;
  EXPECT_EQ(replayed.out, recorded.out);
}

TEST(TraceFile, OneThatCannotBeOpenedIsRefusedBeforeAnyAccess) {
  Scratch scratch;
  const std::string sim_trace = scratch.file("sim.trace");
  const std::string missing = scratch.file("no-such-folder") + "/port.trace";
  Recording r{{"378", "pos"}, "", "", {}, {{"VORN_TRACE", missing}}};
  const RunResult run = record(scratch, r, sim_trace);
  EXPECT_EQ(run.exit_status, 2);
  EXPECT_NE(run.out.find("cannot write trace file " + missing + ": No such file or directory\n"),
            std::string::npos)
      << run.out;
  EXPECT_EQ(run.out.find("cannot access I/O ports"), std::string::npos) << run.out;
  EXPECT_EQ(vorn::test::read_file(sim_trace), "") << "no note, no port access";
}

std::string shut_down_lines() {
  using namespace vorn::test;
  return to_string(concat({sel_wrt(0x1C, 0x00), write_data(0xC8), write_data(0xC8)}));
}

// /dev/full takes the file and fails every write: the run goes on to its
// shut-down, then says so once, with status 4 in place of 0 only.
TEST(TraceFile, AFailedWriteIsReportedAfterTheShutDown) {
  Scratch scratch;
  const std::string sim_trace = scratch.file("sim.trace");
  const RunResult plain = record(scratch, {{"378", "bus"}, "", "", {}, {}}, "");
  Recording r{{"378", "bus"}, "", "", {}, {{"VORN_TRACE", "/dev/full"}}};
  const RunResult full = record(scratch, r, sim_trace);
  EXPECT_EQ(full.exit_status, 4);
  EXPECT_EQ(full.err, std::string(VORNDIAG_SIM) +
                          ": cannot write trace file /dev/full: No space left on device\n");
  EXPECT_EQ(full.out, plain.out);
  EXPECT_TRUE(vorn::test::read_file(sim_trace).ends_with(shut_down_lines()));

  r.args = {"378", "index", "7"};
  EXPECT_EQ(record(scratch, r, "").exit_status, 1) << "the run's own failure is kept";
}

} // namespace
} // namespace replaytest
