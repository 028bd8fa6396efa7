// The looping tests and the bus map end to end, each stopped by the rig's
// scripted Ctrl-C: standard output against golden files, bus traffic in
// whole passes.
#include "sim_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

namespace {

using namespace diagtest;
using Ops = std::vector<std::string>;

// Motion on axis 1 that crosses index pulses within a few dozen passes.
const char *const kMovingAxis1 = "access_time_us = 10\n"
                                 "[encoders]\nvelocity = [0, 1000000, 0, 0]\n";

struct LoopCase {
  const char *name;
  std::vector<std::string> args;
  std::string rig;
  const char *golden;
  std::size_t prologue_ops; // bus operations before the first pass
  std::size_t pass_ops;     // bus operations per pass
};

const LoopCase kLoops[] = {
    {"Pos", {"378", "pos"}, "interrupt_after = 150\n", "pos.out", 0, 21},
    {"Servo", {"378", "servo"}, "interrupt_after = 300\n", "servo.out", 0, 36},
    {"Servof", {"378", "servof"}, "interrupt_after = 300\n", "servof.out", 0, 36},
    {"Index",
     {"378", "index", "1"},
     std::string("interrupt_after = 400\n") + kMovingAxis1,
     "index.out",
     2,
     2},
    // The latch flag is the same register bit as the level.
    {"Latch",
     {"378", "latch", "1"},
     std::string("interrupt_after = 400\n") + kMovingAxis1,
     "index.out",
     2,
     2},
    {"Indexres",
     {"378", "indexres", "1"},
     std::string("interrupt_after = 600\n") + kMovingAxis1,
     "indexres.out",
     6,
     21},
    {"CommtestSummary", {"378", "commtest"}, "interrupt_after = 86050\n", "commtest.out", 0, 41},
};

void PrintTo(const LoopCase &c, std::ostream *os) { *os << c.name; }

class Loop : public testing::TestWithParam<LoopCase> {};

TEST_P(Loop, OutputAndWholePasses) {
  const LoopCase &c = GetParam();
  SimRun run = run_sim({c.args, c.rig, "", {}});
  EXPECT_EQ(run.result.exit_status, 0);
  EXPECT_EQ(run.result.out, golden(c.golden));
  ASSERT_TRUE(run.shut_down);
  ASSERT_GT(run.body.size(), c.prologue_ops);
  EXPECT_EQ((run.body.size() - c.prologue_ops) % c.pass_ops, 0u) << "a pass was cut short";
}

INSTANTIATE_TEST_SUITE_P(Sim, Loop, testing::ValuesIn(kLoops),
                         [](const auto &info) { return std::string(info.param.name); });

struct MapCase {
  const char *name;
  std::string rig;
  const char *golden;
};

const MapCase kMaps[] = {
    {"DefaultRig", "", "bus_default.out"},
    {"RategenAtBlocks0And2", "[boards]\n0 = 0x42\n2 = 0x4a\n5 = 0x07\n6 = 0x5c\n",
     "bus_rategen_0_2.out"},
    {"RategenAtBlock15", "[boards]\n0 = 0x11\n15 = 0x43\n", "bus_rategen_15.out"},
    {"EmptyBus", "[boards]\n", "bus_empty.out"},
};

void PrintTo(const MapCase &c, std::ostream *os) { *os << c.name; }

class BusMap : public testing::TestWithParam<MapCase> {};

// One probe, a selection and a read, per line printed.
TEST_P(BusMap, Lines) {
  const MapCase &c = GetParam();
  SimRun run = run_sim({{"378", "bus"}, c.rig, "", {}});
  EXPECT_EQ(run.result.exit_status, c.golden == std::string("bus_empty.out") ? kExitUnanswered : 0);
  EXPECT_EQ(run.result.out, golden(c.golden));
  ASSERT_TRUE(run.shut_down);
  const auto lines = std::count(run.result.out.begin(), run.result.out.end(), '\n') - 4;
  EXPECT_EQ(run.body.size(), 2u * static_cast<std::size_t>(lines));
}

INSTANTIATE_TEST_SUITE_P(Sim, BusMap, testing::ValuesIn(kMaps),
                         [](const auto &info) { return std::string(info.param.name); });

// Sweeps are separated by carriage returns; the pattern steps on every
// 501st sweep, and digital output 0 gets the pattern with bit 7 set.
TEST(Diocontinuous, PatternStepsEvery501Sweeps) {
  SimRun run = run_sim({{"378", "diocontinuous"},
                        "interrupt_after = 86000\n[digital_inputs]\nin0 = 0xa5\nin1 = 0x00\n",
                        "",
                        {}});
  EXPECT_EQ(run.result.exit_status, 0);
  const std::string head = std::string(kStartLines) + "  DIO 0 inputs        DIO 1 inputs\n" +
                           " 7 6 5 4 3 2 1 0     7 6 5 4 3 2 1 0\n";
  ASSERT_EQ(run.result.out.substr(0, head.size()), head);
  std::vector<std::string> sweeps;
  std::string rest = run.result.out.substr(head.size());
  ASSERT_FALSE(rest.empty()) << "no sweep after the heading";
  ASSERT_EQ(rest.back(), '\r');
  for (std::size_t at = 0, end; (end = rest.find('\r', at)) != std::string::npos; at = end + 1)
    sweeps.push_back(rest.substr(at, end - at));
  const std::string bits = " 1 0 1 0 0 1 0 1     0 0 0 0 0 0 0 0";
  const char *const kPatterns[] = {"1",  "3",  "7",  "f",  "1f", "3f", "7f", "ff", "fe",
                                   "fc", "f8", "f0", "e0", "c0", "80", "0",  "1"};
  ASSERT_GE(sweeps.size(), 17u * 501u);
  for (std::size_t s = 0; s < sweeps.size(); ++s) {
    const std::size_t step = (s + 1) / 501;
    const bool stepping = (s + 1) % 501 == 0;
    ASSERT_EQ(sweeps[s], stepping ? bits + "  output " + kPatterns[step - 1] : bits)
        << "sweep " << s + 1;
  }

  // Bus: five idle writes and 0x26, then per sweep two reads, and per step
  // one write of digital output 0.
  ASSERT_TRUE(run.shut_down);
  Ops prologue(run.body.begin(), run.body.begin() + 12);
  EXPECT_EQ(prologue, (Ops{"sel 1f", "wr 80", "sel 1f", "wr 80", "sel 1f", "wr 80", "sel 1f",
                           "wr 80", "sel 1f", "wr 80", "sel 26", "wr 01"}));
  Ops outputs;
  for (std::size_t i = 12; i + 1 < run.body.size(); ++i)
    if (run.body[i] == "sel 1f")
      outputs.push_back(run.body[i + 1]);
  const Ops expected = {"wr 81", "wr 83", "wr 87", "wr 8f", "wr 9f", "wr bf",
                        "wr ff", "wr ff", "wr fe", "wr fc", "wr f8", "wr f0",
                        "wr e0", "wr c0", "wr 80", "wr 80", "wr 81"};
  ASSERT_GE(outputs.size(), expected.size());
  EXPECT_EQ(Ops(outputs.begin(), outputs.begin() + 17), expected);
  EXPECT_EQ(run.body.size(), 12 + 4 * sweeps.size() + 2 * outputs.size());
}

// On the noisy rig every mismatch is reported as two lines, and each
// summary counts the axes reported before it.
TEST(Commtest, NoisyRigMismatchReports) {
  SimRun run =
      run_sim({{"378", "commtest"},
               "interrupt_after = 260000\n[faults]\nseed = 2024\nflip_probability = 0.001\n",
               "",
               {}});
  EXPECT_EQ(run.result.exit_status, kExitCommErrors);
  const std::regex report(kCommtestReport);
  const std::regex summary(kCommtestSummary);
  std::string rest = run.result.out.substr(std::string(kStartLines).size());
  long reports = 0;
  int summaries = 0;
  std::smatch m;
  while (!rest.empty()) {
    if (std::regex_search(rest, m, report, std::regex_constants::match_continuous)) {
      int differing_bits = 0;
      for (int i = 0; i < 3; ++i)
        differing_bits +=
            __builtin_popcount(std::stoi(m[3 + i], nullptr, 16) ^ std::stoi(m[6 + i], nullptr, 16));
      EXPECT_GE(differing_bits, 1) << m[0];
      ++reports;
    } else if (std::regex_search(rest, m, summary, std::regex_constants::match_continuous)) {
      ++summaries;
      EXPECT_EQ(std::stol(m[1]), summaries * 1000L);
      EXPECT_EQ(std::stol(m[2]), reports);
    } else {
      FAIL() << "unexpected text: " << rest.substr(0, 80);
    }
    rest = m.suffix();
  }
  EXPECT_EQ(summaries, 3);
  EXPECT_GT(reports, 0);
}

} // namespace
