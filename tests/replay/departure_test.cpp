// A replay that departs from its recording stops at the first difference:
// one line on standard error with the file, the trace line and what
// differs, the shut-down still run, status 5 whatever the run's own.
#include "replay_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <regex>

namespace replaytest {
namespace {

const std::string kProg = VORNDIAG_SIM;

class Departure : public ::testing::Test {
protected:
  // A recording of `args` on the default rig, as lines.
  std::vector<std::string> recorded(const std::vector<std::string> &args) {
    const std::string trace = scratch_.file("recorded.trace");
    const RunResult run = record(scratch_, {args, "", "", {}, {}}, trace);
    EXPECT_EQ(run.exit_status, args.size() > 2 ? 1 : 0) << run.err;
    recorded_out_ = run.out;
    return lines_of(vorn::test::read_file(trace));
  }
  std::string written(const std::vector<std::string> &lines) {
    const std::string path = scratch_.file("edited" + std::to_string(++edits_) + ".trace");
    std::ofstream(path) << joined(lines);
    return path;
  }
  // The index of the `nth` line (from 0) that begins with `prefix`.
  static std::size_t nth_line(const std::vector<std::string> &lines, const std::string &prefix,
                              int nth) {
    for (std::size_t i = 0; i < lines.size(); ++i)
      if (lines[i].starts_with(prefix) && nth-- == 0)
        return i;
    ADD_FAILURE() << "no line " << prefix;
    return 0;
  }

  // Writes of the EPP address and data registers: the bus operations.
  static std::vector<std::string> last_bus_writes(const std::vector<std::string> &lines,
                                                  std::size_t n) {
    std::vector<std::string> writes;
    for (const std::string &line : lines)
      if (line.starts_with("W 3 ") || line.starts_with("W 4 "))
        writes.push_back(line);
    writes.erase(writes.begin(),
                 writes.end() - static_cast<std::ptrdiff_t>(std::min(n, writes.size())));
    return writes;
  }

  Scratch scratch_;
  std::string recorded_out_;
  int edits_ = 0;
};

TEST_F(Departure, OtherArgumentsDepartAtTheRunLine) {
  const std::vector<std::string> lines = recorded({"378", "bus"});
  const std::string trace = written(lines);
  const RunResult run = replay(trace, {"378", "pos"});
  EXPECT_EQ(run.exit_status, 5);
  EXPECT_EQ(run.err,
            kProg + ": " + trace + ":1: recorded run: vorndiag-sim 378 bus, this run: 378 pos\n");
}

// A trace without its run line (an older recording) still departs, at the
// first access the other test makes differently.
TEST_F(Departure, OtherTestDepartsAtItsFirstDifferentAccess) {
  std::vector<std::string> lines = recorded({"378", "bus"});
  lines.erase(lines.begin());
  const std::string trace = written(lines);
  const RunResult run = replay(trace, {"378", "commtest"});
  EXPECT_EQ(run.exit_status, 5);
  std::smatch m;
  ASSERT_TRUE(std::regex_match(run.err, m,
                               std::regex(".*: .*:(\\d+): recorded ([RW] \\d [0-9a-f]{2}), "
                                          "this run (read R \\d|wrote W \\d [0-9a-f]{2})\n")))
      << run.err;
  const std::size_t line = std::stoul(m[1]);
  ASSERT_LE(line, lines.size());
  EXPECT_EQ(lines[line - 1], m[2]);
  EXPECT_GT(line, 30u) << "the start-up is the same for both";
}

TEST_F(Departure, AChangedWriteDepartsThereAndTheShutDownStillRuns) {
  std::vector<std::string> lines = recorded({"378", "bus"});
  const std::size_t at = nth_line(lines, "W 3 ", 10);
  const std::string was = lines[at];
  lines[at] = was.substr(0, 4) + (was.substr(4) == "00" ? "01" : "00");
  const std::string trace = written(lines);
  const std::string again = scratch_.file("again.trace");
  const RunResult run = replay(trace, {"378", "bus"}, "", {{"VORN_TRACE", again}});
  EXPECT_EQ(run.exit_status, 5);
  EXPECT_EQ(run.err, kProg + ": " + trace + ":" + std::to_string(at + 1) + ": recorded " +
                         lines[at] + ", this run wrote " + was + "\n");
  // Its reads answered 0xFF from the departure on (so timeouts are cleared
  // on the way), the shut-down's bus writes as recorded.
  EXPECT_EQ(last_bus_writes(lines_of(vorn::test::read_file(again)), 4), last_bus_writes(lines, 4));
}

TEST_F(Departure, ARecordingCutShortEndsTheReplayWhereItEnds) {
  std::vector<std::string> lines = recorded({"378", "bus"});
  lines.resize(60);
  const std::string trace = written(lines);
  const RunResult run = replay(trace, {"378", "bus"});
  EXPECT_EQ(run.exit_status, 5);
  EXPECT_TRUE(run.err.starts_with(kProg + ": " + trace + ":61: the recording has ended, this run "))
      << run.err;
}

TEST_F(Departure, LinesTheRunNeverReachedAreADeparture) {
  std::vector<std::string> lines = recorded({"378", "bus"});
  lines.push_back("R 1 00");
  const std::string trace = written(lines);
  const RunResult run = replay(trace, {"378", "bus"});
  EXPECT_EQ(run.exit_status, 5);
  EXPECT_EQ(run.out, recorded_out_) << "everything before it replayed";
  EXPECT_EQ(run.err, kProg + ": " + trace + ":" + std::to_string(lines.size()) +
                         ": recorded R 1 00, this run ended\n");
}

TEST_F(Departure, ALineThatIsNoTraceLineIsOne) {
  std::vector<std::string> lines = recorded({"378", "bus"});
  lines[10] = "W 2";
  const std::string trace = written(lines);
  const RunResult run = replay(trace, {"378", "bus"});
  EXPECT_EQ(run.exit_status, 5);
  EXPECT_TRUE(run.err.starts_with(kProg + ": " + trace +
                                  ":11: cannot read the recording (not a trace line), this run "))
      << run.err;
}

// The bad axis exits with 1 after the start-up; a departure in the start-up
// makes it 5.
TEST_F(Departure, ItsStatusWinsOverTheRunsOwn) {
  std::vector<std::string> lines = recorded({"378", "index", "7"});
  const std::size_t at = nth_line(lines, "W 4 ", 3);
  lines[at] = "W 4 ee";
  const RunResult run = replay(written(lines), {"378", "index", "7"});
  EXPECT_EQ(run.exit_status, 5) << run.err;
}

// The run note keeps every argument as it was given: one that is empty,
// holds blanks, line ends or other bytes replays; one that differs only
// there departs at the note. (A note of plain words reads as an older note
// too, which dropped trailing blanks: an empty argument added to it is not
// told.)
struct ArgumentsCase {
  const char *name;
  std::vector<std::string> recorded, replayed;
  int status;
};

const ArgumentsCase kArguments[] = {
    {"EmptyLast", {"378", "bus", ""}, {"378", "bus", ""}, 0},
    {"TrailingBlank", {"378", "bus", "x "}, {"378", "bus", "x "}, 0},
    {"EveryEscape",
     {"378", "bus", "a\nb\r\t\"c\\ \x01\xc3\xa9"},
     {"378", "bus", "a\nb\r\t\"c\\ \x01\xc3\xa9"},
     0},
    {"EmptyDropped", {"378", "bus", ""}, {"378", "bus"}, 5},
    {"BlankDropped", {"378", "bus", "x "}, {"378", "bus", "x"}, 5},
    {"Split", {"378", "bus", "a b"}, {"378", "bus", "a", "b"}, 5},
};

class RunNote : public testing::TestWithParam<ArgumentsCase> {};

TEST_P(RunNote, ReplaysExactlyTheArgumentsRecorded) {
  const ArgumentsCase &c = GetParam();
  Scratch scratch;
  const std::string trace = scratch.file("recorded.trace");
  ASSERT_EQ(record(scratch, {c.recorded, "", "", {}, {}}, trace).exit_status, 0);
  const RunResult run = replay(trace, c.replayed);
  EXPECT_EQ(run.exit_status, c.status) << run.err;
}

INSTANTIATE_TEST_SUITE_P(Replay, RunNote, testing::ValuesIn(kArguments),
                         [](const auto &info) { return std::string(info.param.name); });

// Notes written before arguments were quoted joined them with one blank,
// trailing blanks dropped: they replay as they were written.
TEST_F(Departure, AnOlderRunNoteStillReplays) {
  std::vector<std::string> lines = recorded({"378", "bus"});
  for (const auto &[note, args] : std::vector<std::pair<std::string, std::vector<std::string>>>{
           {"# run: vorndiag-sim 378 bus a b", {"378", "bus", "a b"}},
           {"# run: vorndiag-sim 378 bus", {"378", "bus", " "}},
           {"# run: \"my sim\" 378 bus a\"b\\", {"378", "bus", "a\"b\\"}}}) {
    SCOPED_TRACE(note);
    lines[0] = note;
    const RunResult run = replay(written(lines), args);
    EXPECT_EQ(run.exit_status, 0) << run.err;
  }
}

} // namespace
} // namespace replaytest
