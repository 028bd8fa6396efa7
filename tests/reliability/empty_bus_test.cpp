// An empty bus: no board answers anywhere, every data cycle times out and
// every read gives 0xff. Each of the fourteen tests must still run, show
// what it read, clear every timeout the prescribed way and end with the
// shut-down writes.
#include "output_shape.h"
#include "sim_run.h"
#include "timeout_clearing.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

using namespace diagtest;
using namespace reliability;
using namespace std::chrono_literals;

const std::string kEmptyBus = "[boards]\n";

std::string times(int n, const std::string &text) {
  std::string all;
  for (int i = 0; i < n; ++i)
    all += text;
  return all;
}

// Counts of 0xffffff, sign-extended: -1 on every axis.
const std::string kCountsLine = times(4, "         -1.000\t") + "\r";
// A command of -0.001 V stays below the run threshold: direction bits only.
const std::string kRateLines = " rate_gen channel 0 count 4999998 CtlByt 1    Count 4c 4b 3e \n"
                               " rate_gen channel 1 count 4999998 CtlByt 5    Count 4c 4b 3e \n"
                               " rate_gen channel 2 count 4999998 CtlByt 15    Count 4c 4b 3e \n"
                               " rate_gen channel 3 count 4999998 CtlByt 55    Count 4c 4b 3e \n";
const std::string kSpindlePrompt = "value[+/- 0..255]? (-999  for continuous ramp)";

struct EmptyCase {
  const char *name;
  std::vector<std::string> args;
  std::string input;
  std::string stop;    // rig line that ends a loop
  std::string prefix;  // after the start lines
  std::string unit;    // then one or more of these; empty: nothing more
  bool ctrl_c = false; // stopped from outside
};

void PrintTo(const EmptyCase &c, std::ostream *os) { *os << c.name; }

const EmptyCase kCases[] = {
    {"Pos", {"378", "pos"}, "", "interrupt_after = 2000\n", "", kCountsLine},
    {"Servo",
     {"378", "servo"},
     "",
     "interrupt_after = 2000\n",
     "",
     times(4, "        -1.0 ") + "   " + times(4, "     -0.00 ") + "\n" + kRateLines},
    {"Servof", {"378", "servof"}, "", "interrupt_after = 2000\n", "", kRateLines},
    // No bus traffic while they loop: stopped from outside.
    {"Limit", {"378", "limit"}, "", "", "", "", true},
    {"Home", {"378", "home"}, "", "", "", "", true},
    {"Index", {"378", "index", "0"}, "", "interrupt_after = 2000\n", "", "1 "},
    {"Latch", {"378", "latch", "3"}, "", "interrupt_after = 2000\n", "", "1 "},
    {"Indexres",
     {"378", "indexres", "2"},
     "",
     "interrupt_after = 2000\n",
     "setting index set reg (0x05) to 4\n",
     kCountsLine},
    {"Rate",
     {"378", "rate"},
     "1\n2.5\n",
     "",
     "Axis? RATE(1)volts? volts=2.500000\nWriting to rate gen at addr 0x13\n"
     " rate_gen channel 1 count 1998 CtlByt 8    Count  0  7 ce \n"
     "writing to rate ctrl reg at 0x1c\nRATE(1)volts? got null in dac\n",
     ""},
    {"SpindleRamp",
     {"378", "spindle"},
     "100\n-999\n",
     "interrupt_after = 3000\n",
     kSpindlePrompt + kSpindlePrompt,
     ""},
    {"Dio",
     {"378", "dio"},
     "1\n5\n",
     "",
     "dio \nDigital In 0 = 255,  Digital In 1 = 255,  Estop In = 255\n"
     "Enter 1 to do outputvalue to output ?sending 5\n",
     ""},
    // Stopped well before the 501st sweep steps the output.
    {"Diocontinuous",
     {"378", "diocontinuous"},
     "",
     "interrupt_after = 2000\n",
     "  DIO 0 inputs        DIO 1 inputs\n 7 6 5 4 3 2 1 0     7 6 5 4 3 2 1 0\n",
     " 1 1 1 1 1 1 1 1     1 1 1 1 1 1 1 1\r"},
    {"Bus", {"378", "bus"}, "", "", after(golden("bus_empty.out"), kStartLines), ""},
};

class EmptyBus : public testing::TestWithParam<EmptyCase> {};

TEST_P(EmptyBus, RunsShowsFfClearsTimeoutsAndShutsDown) {
  const EmptyCase &c = GetParam();
  std::vector<vorn::test::Step> steps;
  if (c.ctrl_c)
    steps.push_back(vorn::test::signal_after(SIGINT, 200ms));
  SimRun run = run_sim({c.args, c.stop + kEmptyBus, c.input, steps});
  EXPECT_EQ(run.result.exit_status, kExitUnanswered) << run.result.err;
  EXPECT_NE(run.result.err.find(c.args[1] == "bus"
                                    ? "no board answered at any block (bus addresses 0x00 to 0xff)"
                                    : "no board answered at block 0 (bus addresses 0x00 to 0x0f, "
                                      "the encoder board)"),
            std::string::npos)
      << run.result.err;
  EXPECT_NE(run.result.err.find("no rate generator answered during this run"), std::string::npos);
  EXPECT_FALSE(run.result.timed_out);
  ASSERT_TRUE(run.shut_down) << "no start-up or no shut-down in the trace";

  const std::string rest = after(after(run.result.out, kStartLines), c.prefix);
  EXPECT_GE(copies(rest, c.unit), 1u) << "output after the expected head: " << rest.substr(0, 300);

  const ClearingCheck check = check_timeout_clearing(run.accesses);
  EXPECT_EQ(check.fault, "");
  // Start-up alone leaves timeouts behind; every one is cleared.
  EXPECT_GE(check.clearings, 10u);
}

INSTANTIATE_TEST_SUITE_P(Reliability, EmptyBus, testing::ValuesIn(kCases),
                         [](const auto &info) { return std::string(info.param.name); });

// Every cycle reads ff ff ff on all four axes: four reports a cycle, and a
// summary that counts them.
TEST(EmptyBusCommtest, EveryAxisOfEveryCycleReported) {
  SimRun run = run_sim({{"378", "commtest"}, "interrupt_after = 130000\n" + kEmptyBus, "", {}});
  EXPECT_EQ(run.result.exit_status, kExitUnanswered);
  ASSERT_TRUE(run.shut_down);
  EXPECT_EQ(check_timeout_clearing(run.accesses).fault, "");

  std::string rest = after(run.result.out, kStartLines);
  long cycle = 0;
  char expected[96];
  for (std::size_t at = 0; at < rest.size();) {
    ++cycle;
    if (cycle % 1000 == 0) {
      std::snprintf(expected, sizeof expected, " %ld test cycles, %ld errors\n", cycle,
                    4 * (cycle - 1));
      ASSERT_EQ(rest.compare(at, std::strlen(expected), expected), 0) << "cycle " << cycle;
      at += std::strlen(expected);
    }
    for (int axis = 0; axis < 4; ++axis) {
      std::snprintf(expected, sizeof expected,
                    " test cycle %ld, axis %d was / should be \n ff ff ff / ", cycle, axis);
      ASSERT_EQ(rest.compare(at, std::strlen(expected), expected), 0)
          << "cycle " << cycle << " axis " << axis << ": " << rest.substr(at, 80);
      at = rest.find('\n', at + std::strlen(expected));
      ASSERT_NE(at, std::string::npos);
      ++at;
    }
  }
  EXPECT_GT(cycle, 1000);
}

} // namespace
