// Rate commands move the simulated encoders, and the encoder driver follows
// them as continuous 32-bit counts.
#include "param_name.h"
#include "vorn.h"
#include "vornsim.hpp"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using vorn::sim::Simulator;

constexpr std::uint64_t kSecondUs = 1000000;
constexpr double kPreset = 517; // what start-up loads into every counter

vorn::sim::Rig rig_with_sign(int sign) {
  vorn::sim::Rig rig = vorn::sim::default_rig();
  rig.clock = vorn::sim::Clock::virtual_time;
  for (auto &w : rig.wiring)
    w.sign = sign;
  return rig;
}

double count_of(int encoder) {
  double c = 0;
  vornEncoderRead(encoder, &c);
  return c;
}

// The driver prints a report of every rate write; these tests do not need it.
void rate(int channel, double volts) {
  ::testing::internal::CaptureStdout();
  vornRateWrite(channel, volts);
  ::testing::internal::GetCapturedStdout();
}

struct MotionCase {
  int sign;
  double volts;
  double moved; // counts after one second
};
void PrintTo(const MotionCase &c, std::ostream *os) {
  *os << "wiring " << c.sign << ", " << c.volts << " V";
}

class OneSecond : public ::testing::TestWithParam<MotionCase> {};

// 10 V is 20,000 pulses per second (count 498: 10 MHz / 500); with positive
// wiring a pulse counts up only when the direction bit is set.
TEST_P(OneSecond, MovesTheEncoderTwentyThousandCountsTheWiredWay) {
  const MotionCase c = GetParam();
  Simulator sim(rig_with_sign(c.sign));
  sim.install();
  ASSERT_EQ(vornMotInit(nullptr), 0);
  ASSERT_EQ(count_of(0), kPreset);
  rate(0, c.volts);
  sim.advance_us(kSecondUs);
  rate(0, 0.0);
  EXPECT_NEAR(count_of(0) - kPreset, c.moved, 1.0);
  EXPECT_EQ(count_of(1), kPreset) << "only channel 0 ran";
}

INSTANTIATE_TEST_SUITE_P(Wiring, OneSecond,
                         ::testing::Values(MotionCase{1, 10.0, -20000}, MotionCase{1, -10.0, 20000},
                                           MotionCase{-1, 10.0, 20000},
                                           MotionCase{-1, -10.0, -20000}),
                         vorn::test::PrintedName());

// Down through zero into the 24-bit counter's top end and back up again,
// read every 0.1 s: each step is 2,000 counts, none of them a wrap of 2^24,
// and below zero the count is the board's 24-bit value less 2^24.
TEST(AcrossTheWrap, CountsStayContinuousBothWays) {
  Simulator sim(rig_with_sign(1));
  sim.install();
  ASSERT_EQ(vornMotInit(nullptr), 0);
  double last = count_of(0);
  ASSERT_EQ(last, kPreset);
  double lowest = last;
  const struct {
    double volts;
    double step;
    int reads;
  } legs[] = {{10.0, -2000, 10}, {-10.0, 2000, 20}};
  for (const auto &leg : legs) {
    rate(0, leg.volts);
    for (int i = 0; i < leg.reads; ++i) {
      sim.advance_us(kSecondUs / 10);
      const double now = count_of(0);
      const double board = sim.latched(0);
      EXPECT_NEAR(now - last, leg.step, 2.0) << leg.volts << " V, read " << i;
      EXPECT_EQ(now, now < 0 ? board - 16777216.0 : board) << leg.volts << " V, read " << i;
      last = now;
      lowest = std::min(lowest, now);
    }
  }
  EXPECT_LT(lowest, -19000.0);
  EXPECT_GT(last, 20000.0);
}

} // namespace
