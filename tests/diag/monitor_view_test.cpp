// monitor's figures from sample sequences: counts per second, index pulses
// and counts per turn, the marks on blocks and input bits, and the boards
// that stopped answering.
#include "monitor_view.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using vorndiag::BlockCount;
using vorndiag::BlockLive;
using vorndiag::MonitorSample;
using vorndiag::MonitorView;

constexpr double kStep = 0.05; // the monitor's refresh

// A bus where blocks 0, 1 and 4 answer, as the default board set's.
MonitorSample sample(double t, long long cycles_each = 100) {
  MonitorSample s;
  s.seconds = t;
  for (int b = 0; b < vorndiag::kMonitorBlocks; ++b) {
    const bool board = b == 0 || b == 1 || b == 4;
    s.blocks[b] = {cycles_each, board ? 0 : cycles_each};
  }
  return s;
}

vorndiag::BoardIds ids() {
  vorndiag::BoardIds i;
  i.fill(0xFF);
  i[0] = 0x11;
  return i;
}

// Encoders moving steadily, refreshed every kStep for `seconds`.
MonitorView run_motion(const double (&velocity)[4], double seconds) {
  MonitorView view = vorndiag::start_view(ids(), sample(0));
  for (double t = kStep; t <= seconds + 1e-9; t += kStep) {
    MonitorSample s = sample(t);
    for (int n = 0; n < 4; ++n)
      s.counts[n] = std::round(velocity[n] * t);
    vorndiag::update_view(view, s);
  }
  return view;
}

TEST(MonitorView, CountsPerSecondFollowTheMotionOverTheLastSecond) {
  const double velocity[4] = {1000, -4000, 0, 250000};
  for (double seconds : {0.5, 1.0, 3.0}) {
    const MonitorView view = run_motion(velocity, seconds);
    for (int n = 0; n < 4; ++n) {
      EXPECT_NEAR(view.encoders[n].per_second, velocity[n], std::fabs(velocity[n]) * 0.01 + 1)
          << "encoder " << n << " after " << seconds << " s";
      EXPECT_NEAR(vorndiag::shown_count(view.encoders[n]), velocity[n] * seconds, 1);
    }
  }
}

// A speed change shows within about a second, not averaged over the run.
TEST(MonitorView, CountsPerSecondForgetOlderMotion) {
  MonitorView view = vorndiag::start_view(ids(), sample(0));
  double count = 0;
  for (double t = kStep; t <= 5.0 + 1e-9; t += kStep) {
    count += (t <= 3.0 ? 4000 : 0) * kStep;
    MonitorSample s = sample(t);
    s.counts[0] = count;
    vorndiag::update_view(view, s);
  }
  EXPECT_NEAR(view.encoders[0].per_second, 0, 1);
}

struct PulseCase {
  const char *name;
  std::vector<int> pulse_at; // refresh numbers whose read has encoder 0's bit set
  bool encoder_board_answers;
  long long pulses;
  double per_turn; // -1: none yet
};

TEST(MonitorView, IndexPulsesAndCountsBetweenTheLastTwo) {
  const PulseCase cases[] = {
      {"none", {}, true, 0, -1},
      {"one", {10}, true, 1, -1},
      {"two", {10, 50}, true, 2, 40 * 100},
      {"three, the last two count", {10, 50, 70}, true, 3, 20 * 100},
      {"a dead bus reads all ones", {10, 50, 70}, false, 0, -1},
  };
  for (const PulseCase &c : cases) {
    SCOPED_TRACE(c.name);
    MonitorView view = vorndiag::start_view(ids(), sample(0));
    for (int i = 1; i <= 80; ++i) {
      MonitorSample s = sample(i * kStep, 100 + i);
      if (!c.encoder_board_answers)
        s.blocks[0] = {100 + i, 100 + i};
      s.counts[0] = -100.0 * i; // downward: counts per turn are a size
      for (int at : c.pulse_at)
        if (at == i)
          s.index_bits = 0x1;
      s.index_bits |= c.encoder_board_answers ? 0 : 0xF;
      vorndiag::update_view(view, s);
    }
    EXPECT_EQ(view.encoders[0].pulses, c.pulses);
    EXPECT_EQ(view.encoders[0].per_turn, c.per_turn);
    EXPECT_EQ(view.encoders[1].pulses, 0); // its bit was never set
  }
}

// Each block's mark follows its cycles since the last refresh; a block
// with none keeps the mark it had.
TEST(MonitorView, BlockMarkFollowsTheCyclesSinceTheLastRefresh) {
  struct Step {
    BlockCount added;
    BlockLive expected;
  };
  const Step steps[] = {
      {{0, 0}, BlockLive::answers},  {{10, 10}, BlockLive::silent}, {{0, 0}, BlockLive::silent},
      {{10, 3}, BlockLive::answers}, {{5, 0}, BlockLive::answers},  {{1, 1}, BlockLive::silent},
  };
  MonitorSample s = sample(0);
  MonitorView view = vorndiag::start_view(ids(), s);
  EXPECT_EQ(view.live[0], BlockLive::answers);
  EXPECT_EQ(view.live[2], BlockLive::silent);
  for (const Step &step : steps) {
    s.seconds += kStep;
    s.blocks[0].cycles += step.added.cycles;
    s.blocks[0].unanswered += step.added.unanswered;
    vorndiag::update_view(view, s);
    EXPECT_EQ(view.live[0], step.expected) << step.added.cycles << " " << step.added.unanswered;
  }
  MonitorSample none = sample(0, 0);
  EXPECT_EQ(vorndiag::start_view(ids(), none).live[3], BlockLive::unknown);
}

TEST(MonitorView, ChangedInputBitsAreMarkedForOneSecond) {
  MonitorSample s = sample(0);
  s.inputs = {0x0F, 0x00};
  MonitorView view = vorndiag::start_view(ids(), s);
  s.seconds = 1.0;
  s.inputs = {0x0E, 0x80};
  vorndiag::update_view(view, s);
  const struct {
    double at;
    bool marked;
  } times[] = {{1.0, true}, {1.9, true}, {2.1, false}};
  for (const auto &t : times) {
    s.seconds = t.at;
    vorndiag::update_view(view, s);
    for (int bit = 0; bit < 8; ++bit) {
      EXPECT_EQ(vorndiag::bit_changed_lately(view, 0, bit), bit == 0 && t.marked) << t.at;
      EXPECT_EQ(vorndiag::bit_changed_lately(view, 1, bit), bit == 7 && t.marked) << t.at;
    }
  }
  EXPECT_EQ(view.inputs[0], 0x0E);
}

TEST(MonitorView, ZeroMovesTheDisplayOnly) {
  const double velocity[4] = {1000, -4000, 0, 0};
  MonitorView view = run_motion(velocity, 1.0);
  vorndiag::zero_positions(view);
  for (int n = 0; n < 4; ++n)
    EXPECT_EQ(vorndiag::shown_count(view.encoders[n]), 0);
  MonitorSample s = sample(1.05);
  s.counts = {1050, -4200, 0, 0};
  vorndiag::update_view(view, s);
  EXPECT_EQ(vorndiag::shown_count(view.encoders[0]), 50);
  EXPECT_EQ(vorndiag::shown_count(view.encoders[1]), -200);
  EXPECT_NEAR(view.encoders[0].per_second, 1000, 10);
}

// As bus counts it: a block empty at the start is no fault; a board that
// answered then and later left cycles unanswered is.
TEST(MonitorView, BoardsThatStoppedAnsweringAreTold) {
  const struct {
    const char *name;
    int block;
    BlockCount end;
    bool told;
  } cases[] = {
      {"answering throughout", 0, {500, 0}, false},
      {"stopped", 4, {300, 200}, true},
      {"stopped on one cycle", 1, {101, 1}, true},
      {"empty from the start", 3, {400, 400}, false},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    MonitorView view = vorndiag::start_view(ids(), sample(0));
    MonitorSample s = sample(1);
    s.blocks[c.block] = c.end;
    vorndiag::update_view(view, s);
    const std::string lines = vorndiag::stopped_board_lines(view, "vorndiag");
    EXPECT_EQ(!lines.empty(), c.told) << lines;
    if (c.told) {
      EXPECT_NE(lines.find("block " + std::to_string(c.block)), std::string::npos) << lines;
    }
  }
}

} // namespace
