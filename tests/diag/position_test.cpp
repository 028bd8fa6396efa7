// pos, servo, servof and indexres in-process, on scripted encoder counts.
#include "inproc.h"

#include "frame.h"
#include "param_name.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

namespace {

using namespace diagtest;

constexpr const char *Z = "         +0.000";

struct Outcome {
  std::string out;
  std::vector<std::string> ops;
};

// Runs `test` over `passes` count reads, then stops it.
Outcome run_counts(vorndiag::TestFn test, const std::vector<Counts> &passes, int axis = 0) {
  StopAfterReads port(12 * passes.size());
  port.script(4, count_reads(passes));
  StdoutCapture capture;
  test({"vorndiag", axis});
  return {capture.take(), bus_ops(port.accesses())};
}

long occurrences(const std::vector<std::string> &ops, const std::string &op) {
  return std::count(ops.begin(), ops.end(), op);
}

TEST(Pos, NewLineOnlyAfterAJumpOfMoreThan1000Counts) {
  Outcome run = run_counts(vorndiag::test_pos, {{0, 0, 0, 0},
                                                {1000, 0, 0, 0},        // exactly 1000: same line
                                                {2001, 0, 0, 0},        // 1001: new line
                                                {2001, -1500, 0, 1200}, // two axes: one line end
                                                {2001, -1500, 123, 1200}});
  EXPECT_EQ(run.out, count_line({Z, Z, Z, Z}) + count_line({"      +1000.000", Z, Z, Z}) + "\n" +
                         count_line({"      +2001.000", Z, Z, Z}) + "\n" +
                         count_line({"      +2001.000", "      -1500.000", Z, "      +1200.000"}) +
                         count_line({"      +2001.000", "      -1500.000", "       +123.000",
                                     "      +1200.000"}));
  EXPECT_EQ(occurrences(run.ops, "wr 20"), 3 * 5); // one latch strobe per pass
}

TEST(Pos, FirstPassComparesWithZero) {
  EXPECT_EQ(run_counts(vorndiag::test_pos, {{0, 0, 0, -1001}}).out,
            "\n" + count_line({Z, Z, Z, "      -1001.000"}));
  EXPECT_EQ(run_counts(vorndiag::test_pos, {{0, 1000, 0, 0}}).out,
            count_line({Z, "      +1000.000", Z, Z}));
}

TEST(Pos, NoPassOnceStopped) {
  vorn::test::RecordingPort port;
  vorndiag::done = 1;
  StdoutCapture capture;
  vorndiag::test_pos({"vorndiag", 0});
  EXPECT_EQ(capture.take(), "");
  EXPECT_TRUE(port.accesses().empty());
}

TEST(Servo, PrintsCountsAndCommandsAndDrivesTheRateGenerators) {
  Outcome run = run_counts(vorndiag::test_servo, {{-2500, 2, 1, 0}});
  // -2500 is a jump from the zeroed previous counts.
  const std::string own = "\n     -2500.0         +2.0         +1.0         +0.0 "
                          "        -2.50      +0.00      +0.00      +0.00 \n";
  ASSERT_EQ(run.out.substr(0, own.size()), own);
  // The rate driver's four channel reports follow the test's own line.
  std::string rest = run.out.substr(own.size());
  EXPECT_EQ(rest.rfind(" rate_gen channel 0 count 1998 CtlByt 3", 0), 0u) << rest;
  EXPECT_EQ(std::count(rest.begin(), rest.end(), '\n'), 4);
  // -2.5 V is 1998 (0x0007ce) running backwards; 2 counts run, 1 does not.
  auto at = std::find(run.ops.begin(), run.ops.end(), "sel 10");
  ASSERT_LT(at + 3, run.ops.end());
  EXPECT_EQ(std::vector<std::string>(at + 1, at + 4),
            (std::vector<std::string>{"wr ce", "wr 07", "wr 00"}));
  EXPECT_EQ(tail(run.ops, run.ops.size() - 2), (std::vector<std::string>{"sel 1c", "wr 0b"}));
}

TEST(Servo, JumpGivesAnEmptyLineBeforeThePass) {
  Outcome run = run_counts(vorndiag::test_servo, {{0, 0, 0, 0}, {0, 0, 1001, 0}});
  const std::string second = "\n        +0.0         +0.0      +1001.0         +0.0 ";
  EXPECT_NE(run.out.find("Count ff ff ff \n" + second), std::string::npos) << run.out;
}

TEST(Servof, DrivesEveryPassSilently) {
  Outcome run =
      run_counts(vorndiag::test_servof, {{0, 0, 0, 0}, {4000, 0, 0, 0}, {4000, 0, 0, -4000}});
  // Only the rate driver speaks: four channel reports per pass.
  std::istringstream lines(run.out);
  int reports = 0;
  for (std::string line; std::getline(lines, line); ++reports)
    EXPECT_EQ(line.rfind(" rate_gen channel ", 0), 0u) << line;
  EXPECT_EQ(reports, 12);
  EXPECT_EQ(occurrences(run.ops, "sel 1c"), 3);
  EXPECT_EQ(tail(run.ops, run.ops.size() - 1), std::vector<std::string>{"wr c2"});
}

struct IndexresCase {
  int axis;
  const char *bit_text;
  const char *bit_op;
};

void PrintTo(const IndexresCase &c, std::ostream *os) { *os << "axis " << c.axis; }
class Indexres : public testing::TestWithParam<IndexresCase> {};

TEST_P(Indexres, ArmsTheAxisThenShowsTheResetAsANewLine) {
  const IndexresCase &c = GetParam();
  Outcome run = run_counts(vorndiag::test_indexres,
                           {{999, 0, 0, -12},
                            {1999, 0, 0, -12}, // 1000: same line
                            {0, 0, 0, -12}},   // reset at the index
                           c.axis);
  EXPECT_EQ(run.out, std::string("setting index set reg (0x05) to ") + c.bit_text + "\n" +
                         count_line({"       +999.000", Z, Z, "        -12.000"}) +
                         count_line({"      +1999.000", Z, Z, "        -12.000"}) + "\n" +
                         count_line({Z, Z, Z, "        -12.000"}));
  std::vector<std::string> arming(run.ops.begin(), run.ops.begin() + 6);
  EXPECT_EQ(arming,
            (std::vector<std::string>{"sel 00", "wr 00", "wr 00", "wr 00", "sel 0d", c.bit_op}));
}

INSTANTIATE_TEST_SUITE_P(Axes, Indexres,
                         testing::Values(IndexresCase{0, "1", "wr 01"},
                                         IndexresCase{2, "4", "wr 04"},
                                         IndexresCase{3, "8", "wr 08"}),
                         vorn::test::PrintedName());

} // namespace
