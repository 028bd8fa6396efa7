// Time and keys in a recording: the lines typed at the prompts are in the
// trace where they were read, and a replay answers the prompts from there
// whatever its own input; the time marks follow the simulator's clock,
// through its own trace and through the library's.
#include "replay_run.h"
#include "trace_io.h"
#include "trace_time.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

namespace replaytest {
namespace {

struct Typed {
  const char *name;
  std::vector<std::string> args;
  const char *input;
  std::vector<std::string> keys; // the key notes the trace must hold, in order
};

const Typed kTyped[] = {
    {"RateAnswersThenEnd",
     {"378", "rate"},
     "1\n2.5\n-1.25\n",
     {"# key line 1", "# key line 2.5", "# key line -1.25", "# key end"}},
    {"RateLastLineWithoutItsEnd",
     {"378", "rate"},
     "3\n-4",
     {"# key line 3", "# key part -4", "# key end"}},
    {"DioEmptyLineAndHex", {"378", "dio"}, "1\n0x55\n\n", {"# key line 1", "# key line 0x55"}},
    {"SpindleAnswers", {"378", "spindle"}, "50\n-20\nq\n", {"# key line 50", "# key line -20"}},
};

class TypedAnswers : public ::testing::TestWithParam<Typed> {};

TEST_P(TypedAnswers, AreInTheTraceAndReplayWithoutAnyInput) {
  const Typed &t = GetParam();
  Scratch scratch;
  const std::string trace = scratch.file("typed.trace");
  const RunResult recorded = record(scratch, {t.args, "", t.input, {}, {}}, trace);
  ASSERT_FALSE(recorded.timed_out);
  std::vector<std::string> keys;
  for (const std::string &line : lines_of(vorn::test::read_file(trace)))
    if (line.starts_with("# key "))
      keys.push_back(line);
  keys.resize(std::min(keys.size(), t.keys.size()));
  EXPECT_EQ(keys, t.keys);

  for (const char *input : {"", "7\n7\n7\n7\n7\n"}) {
    SCOPED_TRACE(std::string("replayed with input ") + input);
    const RunResult replayed = replay(trace, t.args, input);
    EXPECT_EQ(replayed.exit_status, recorded.exit_status) << replayed.err;
    EXPECT_EQ(replayed.out, recorded.out);
  }
}

INSTANTIATE_TEST_SUITE_P(Runs, TypedAnswers, ::testing::ValuesIn(kTyped),
                         [](const auto &info) { return std::string(info.param.name); });

// A trace with time marks records every line read: a read it has no key
// for is a departure, not a wait for a keyboard the replay does not have.
TEST(TypedAnswers, AKeyMissingFromATimedTraceDepartsThere) {
  Scratch scratch;
  const std::string trace = scratch.file("typed.trace");
  const std::vector<std::string> args = {"378", "rate"};
  record(scratch, {args, "", "1\n2\n", {}, {}}, trace);
  std::vector<std::string> lines = lines_of(vorn::test::read_file(trace));
  const auto key = std::find(lines.begin(), lines.end(), "# key line 2");
  ASSERT_NE(key, lines.end());
  const std::size_t line_number = static_cast<std::size_t>(key - lines.begin()) + 1;
  lines.erase(key);
  const std::string edited = scratch.file("edited.trace");
  std::ofstream(edited) << joined(lines);

  const RunResult replayed = replay(edited, args, "2\n");
  EXPECT_FALSE(replayed.timed_out);
  EXPECT_EQ(replayed.exit_status, 5);
  EXPECT_NE(replayed.err.find(edited + ":" + std::to_string(line_number) + ": "), std::string::npos)
      << replayed.err;
}

// The sum of a trace's time marks, and its accesses.
std::pair<std::uint64_t, std::uint64_t> time_and_accesses(const std::string &path) {
  vorn::trace::Input in;
  EXPECT_TRUE(in.open(path)) << path;
  std::uint64_t us = 0;
  std::uint64_t accesses = 0;
  for (std::string_view text; in.next(text);) {
    const vorn::trace::Line line = vorn::trace::parse_line(text);
    std::uint64_t step = 0;
    if (line.kind == vorn::trace::Line::Kind::access)
      ++accesses;
    else if (line.kind == vorn::trace::Line::Kind::note &&
             vorn::trace::parse_time_mark(line.note, step))
      us += step;
  }
  return {us, accesses};
}

// On a virtual clock of 1 ms an access, the run takes seconds of its time
// and a few milliseconds of anybody's: the marks show which they follow.
TEST(TimeMarks, FollowTheSimulatorsVirtualClockInEitherTrace) {
  for (const char *variable : {"VORNSIM_TRACE", "VORN_TRACE"}) {
    SCOPED_TRACE(variable);
    Scratch scratch;
    const std::string trace = scratch.file("timed.trace.gz");
    Recording r{{"378", "bus"}, "access_time_us = 1000\n", "", {}, {{variable, trace}}};
    const RunResult run = record(scratch, r, "");
    ASSERT_EQ(run.exit_status, 0) << run.err;
    const auto [us, accesses] = time_and_accesses(trace);
    ASSERT_GT(accesses, 20u);
    // Each access moves the clock before it is traced; the last mark may
    // leave out the time since it.
    EXPECT_LE(us, accesses * 1000);
    EXPECT_GE(us + 1000, accesses * 1000);
  }
}

} // namespace
} // namespace replaytest
