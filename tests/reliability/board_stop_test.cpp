// A board that stops answering in the middle of a run: the run goes on, the
// values it prints show the dead board from the first pass that read it,
// and the end sequence still runs.
#include "output_shape.h"
#include "sim_run.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <string>

namespace {

using namespace diagtest;
using namespace reliability;
using Counts = std::array<long, 4>;

// The counts each pass read off the wire: twelve data reads, three bytes
// per axis, low byte first, as signed 24-bit values (the count extension
// gives the same near zero). `dead` counts the passes read wholly after the
// stop, `torn` those read across it.
struct WirePasses {
  std::vector<Counts> counts;
  int dead = 0;
  int torn = 0;
};

WirePasses wire_passes(const std::vector<vorn::test::Access> &trace, std::uint64_t stop_after) {
  WirePasses wire;
  Counts counts{};
  int reads = 0;
  bool first_dead = false;
  for (std::size_t i = 0; i < trace.size(); ++i) {
    if (trace[i].kind != 'R' || trace[i].offset != 4)
      continue;
    const bool dead = i + 1 > stop_after; // the trace holds access i + 1
    if (reads == 0) {
      counts = {};
      first_dead = dead;
    }
    counts[reads / 3] |= long{trace[i].value} << (8 * (reads % 3));
    if (++reads < 12)
      continue;
    reads = 0;
    for (long &c : counts)
      c = c & 0x800000 ? c - 0x1000000 : c;
    wire.counts.push_back(counts);
    wire.dead += first_dead && dead;
    wire.torn += first_dead != dead;
  }
  return wire;
}

// pos: one count line per pass, ended by a carriage return.
std::vector<std::string> pos_passes(const std::string &out) {
  return split(after(out, kStartLines), '\r');
}

// servo: the line of counts and commands; the rate driver's lines follow.
std::vector<std::string> servo_passes(const std::string &out) {
  std::vector<std::string> passes;
  for (const std::string &line : split(after(out, kStartLines), '\n'))
    if (line.rfind(" rate_gen", 0) != 0)
      passes.push_back(line);
  return passes;
}

struct StopCase {
  const char *name;
  const char *test;
  int block;
  std::uint64_t stop_after;
  std::uint64_t interrupt_after;
  std::vector<std::string> (*passes)(const std::string &out);
  bool encoder_dead; // the passes after the stop read 0xff
  const char *rig = "";
};

void PrintTo(const StopCase &c, std::ostream *os) { *os << c.name; }

// 32 port accesses a pos pass, 78 a servo pass; the stops fall between the
// reads of two passes.
const StopCase kCases[] = {
    {"PosEncoderBoard", "pos", 0, 600, 1200, pos_passes, true},
    {"ServoEncoderBoard", "servo", 0, 1500, 3000, servo_passes, true},
    // The rate generator board dies: its channels run on at their last
    // rates, and the counts keep moving at that pace while the tool goes on
    // commanding (slow accesses, so that a pass sees pulses).
    {"ServoRateBoard", "servo", 1, 1500, 3000, servo_passes, false, "access_time_us = 100\n"},
};

class BoardStops : public testing::TestWithParam<StopCase> {};

TEST_P(BoardStops, ValuesShowItAndTheEndSequenceRuns) {
  const StopCase &c = GetParam();
  const std::string rig = std::string(c.rig) +
                          "interrupt_after = " + std::to_string(c.interrupt_after) +
                          "\n[[faults.board_stops]]\nblock = " + std::to_string(c.block) +
                          "\nafter = " + std::to_string(c.stop_after) + "\n";
  SimRun run = run_sim({{"378", c.test}, rig, "", {}});
  // The rate board's death leaves the stop untaken; the encoder board's is
  // a block that did not answer.
  EXPECT_EQ(run.result.exit_status, c.block == 1 ? kExitStopNotTaken : kExitUnanswered)
      << run.result.err;
  EXPECT_NE(run.result.err.find("no board answered at block " + std::to_string(c.block) + " "),
            std::string::npos)
      << run.result.err;
  EXPECT_EQ(run.result.err.find("did not take the stop") != std::string::npos, c.block == 1)
      << run.result.err;
  ASSERT_TRUE(run.shut_down) << "the end sequence did not run";

  const WirePasses wire = wire_passes(run.accesses, c.stop_after);
  ASSERT_EQ(wire.torn, 0) << "choose a stop between two passes";
  std::vector<Counts> printed;
  for (const std::string &pass : c.passes(run.result.out))
    printed.push_back(counts_of(pass));
  EXPECT_EQ(printed, wire.counts);
  ASSERT_GE(wire.counts.size(), 4u);
  if (c.encoder_dead) {
    EXPECT_GE(wire.dead, 2);
    EXPECT_LT(static_cast<std::size_t>(wire.dead), wire.counts.size());
    EXPECT_EQ(wire.counts.back(), (Counts{-1, -1, -1, -1}));
  } else {
    EXPECT_NE(wire.counts.back(), wire.counts[wire.counts.size() - 2]) << "the counts stood still";
    EXPECT_NE(run.result.err.find("no board answered: write to bus address 0x1c"),
              std::string::npos)
        << run.result.err;
  }
}

INSTANTIATE_TEST_SUITE_P(Reliability, BoardStops, testing::ValuesIn(kCases),
                         [](const auto &info) { return std::string(info.param.name); });

// servo without encoder answers: every command falls to -0.001 V, below the
// run threshold, so each pass after the stop writes direction bits only.
TEST(BoardStopsServo, MotorsStopWhenTheEncoderBoardDies) {
  SimRun run = run_sim({{"378", "servo"},
                        "interrupt_after = 3000\n[[faults.board_stops]]\nblock = 0\nafter = 1500\n",
                        "",
                        {}});
  ASSERT_TRUE(run.shut_down);
  std::vector<std::string> controls;
  for (std::size_t i = 0; i + 1 < run.body.size(); ++i)
    if (run.body[i] == "sel 1c")
      controls.push_back(run.body[i + 1]);
  ASSERT_GE(controls.size(), 4u);
  EXPECT_EQ(controls.front(), "wr aa"); // all four running towards zero
  EXPECT_EQ(controls.back(), "wr 55");
  const std::vector<std::string> passes = servo_passes(run.result.out);
  EXPECT_EQ(passes.back(), "        -1.0         -1.0         -1.0         -1.0    "
                           "     -0.00      -0.00      -0.00      -0.00 ");
}

// commtest: from the cycle that reads the dead board on, every axis of
// every cycle is reported as ff ff ff, and the summary counts them.
TEST(BoardStopsCommtest, EveryCycleAfterTheStopReportsAllAxes) {
  SimRun run = run_sim({{"378", "commtest"},
                        "interrupt_after = 130000\n[[faults.board_stops]]\nblock = 0\n"
                        "after = 50000\n",
                        "",
                        {}});
  EXPECT_EQ(run.result.exit_status, kExitUnanswered);
  ASSERT_TRUE(run.shut_down);
  long first = 0, last = 0, reports = 0, errors_at_1000 = -1;
  const std::vector<std::string> lines = split(after(run.result.out, kStartLines), '\n');
  for (std::size_t i = 0; i < lines.size(); ++i) {
    long cycle = 0, errors = 0;
    int axis = 0;
    if (std::sscanf(lines[i].c_str(), " %ld test cycles, %ld errors", &cycle, &errors) == 2) {
      if (cycle == 1000)
        errors_at_1000 = errors;
      continue;
    }
    ASSERT_EQ(std::sscanf(lines[i].c_str(), " test cycle %ld, axis %d", &cycle, &axis), 2)
        << lines[i];
    ASSERT_LT(i + 1, lines.size());
    ++i;
    // The first dead cycle may have read some bytes before the stop.
    if (first == 0) {
      first = cycle;
    } else {
      EXPECT_EQ(lines[i].substr(0, 11), " ff ff ff /") << "cycle " << cycle;
      EXPECT_EQ(cycle * 4 + axis, last + 1) << "an axis went unreported";
    }
    last = cycle * 4 + axis;
    ++reports;
  }
  ASSERT_GT(first, 100) << "the board died too early";
  ASSERT_LT(first, 1000);
  EXPECT_EQ(last % 4, 3) << "the last cycle ends with axis 3";
  // The first dead cycle may have read some axes before the stop.
  EXPECT_EQ(errors_at_1000, reports - (last / 4 - 999) * 4);
}

} // namespace
