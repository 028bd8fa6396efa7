// Motion: rate channels pulse at 10 MHz / (count + 2) and drive their
// encoders through the wiring; index pulses at multiples of the period.
#include "sim_fixture.h"

#include "board_map.h"
#include "vorn.h"

#include <cmath>
#include <cstdio>

namespace vorn::sim::test {
namespace {

using namespace vorn::map;

constexpr std::uint8_t run_bit(int ch) { return static_cast<std::uint8_t>(2u << (2 * ch)); }
constexpr std::uint8_t up_bit(int ch) { return static_cast<std::uint8_t>(1u << (2 * ch)); }

class MotionTest : public SimTest {
protected:
  void set_rate(int ch, std::uint32_t count) {
    SelAddr(rate_channel_addr(ch));
    WriteData(static_cast<std::uint8_t>(count));
    WriteData(static_cast<std::uint8_t>(count >> 8));
    WriteData(static_cast<std::uint8_t>(count >> 16));
  }
  // Counts moved by `ch`'s encoder in `us` microseconds with control `ctrl`.
  std::int32_t moved(int ch, std::uint8_t ctrl, std::uint64_t us) {
    sim->set_counter(ch, 0x400000);
    SelWrt(kRateControl, ctrl);
    const std::uint32_t from = sim->counter(ch);
    sim->advance_us(us);
    return static_cast<std::int32_t>(sim->counter(ch)) - static_cast<std::int32_t>(from);
  }
};

TEST_F(MotionTest, PulseRateFollowsTheCountWithinOneCountPerSecond) {
  for (std::uint32_t count : {0u, 400u, 998u, 9998u, 123456u, 0xFFFFFFu}) {
    SCOPED_TRACE(count);
    set_rate(1, count);
    const double expected = 10'000'000.0 / (count + 2.0);
    const std::int32_t n = moved(1, run_bit(1) | up_bit(1), 1'000'000);
    EXPECT_LE(std::fabs(n - expected), 1.0);
    SelWrt(kRateControl, 0);
  }
}

TEST_F(MotionTest, DirectionBitClearCountsDownSetCountsUp) {
  set_rate(3, 9998); // 1000 pulses per second
  EXPECT_EQ(moved(3, run_bit(3), 100'000), -100);
  EXPECT_EQ(moved(3, run_bit(3) | up_bit(3), 100'000), 100);
  EXPECT_EQ(moved(3, up_bit(3), 100'000), 0) << "no run bit, no pulses";
}

TEST_F(MotionTest, WiringSetsSignScaleAndConnection) {
  Rig rig = virtual_rig();
  rig.wiring[0].sign = -1;
  rig.wiring[1].counts_per_pulse = 4;
  rig.wiring[2].enabled = false;
  start(rig);
  for (int ch = 0; ch < 3; ++ch)
    set_rate(ch, 9998);
  EXPECT_EQ(moved(0, run_bit(0) | up_bit(0), 10'000), -10);
  EXPECT_EQ(moved(1, run_bit(1) | up_bit(1), 10'000), 40);
  EXPECT_EQ(moved(2, run_bit(2) | up_bit(2), 10'000), 0);
}

TEST_F(MotionTest, IndexPulseWhenACountReachesAMultipleOfThePeriod) {
  Rig rig = virtual_rig();
  rig.index_period = 500;
  rig.velocity = {1000, -1000, 0, 0}; // a count per millisecond
  start(rig);
  sim->set_counter(0, 1490);
  sim->set_counter(1, 10);
  sim->advance_us(9'000);
  EXPECT_EQ(sim->index_sense(), 0x00) << "1499 and 1 reached no multiple";
  sim->advance_us(2'000);
  EXPECT_EQ(sim->index_sense(), 0x03) << "1500 and 0 did";
  EXPECT_EQ(sim->counter(1), 0xFFFFFFu) << "-1 in 24 bits";
}

// Leaving a multiple is no pulse, in either direction: the next one comes a
// whole period on.
TEST_F(MotionTest, MoveStartingOnAMultipleReachesOnlyTheNextOne) {
  Rig rig = virtual_rig();
  rig.index_period = 500;
  rig.velocity = {1000, -1000, 0, 0};
  start(rig);
  sim->set_counter(0, 1000);
  sim->set_counter(1, 1000);
  sim->advance_us(1'000);
  EXPECT_EQ(sim->index_sense(), 0x00) << "1001 and 999";
  sim->advance_us(498'000);
  EXPECT_EQ(sim->index_sense(), 0x00) << "1499 and 501";
  sim->advance_us(1'000);
  EXPECT_EQ(sim->index_sense(), 0x03) << "1500 and 500";
}

TEST_F(MotionTest, IndexSetLoadsThePresetAtTheIndexPulse) {
  Rig rig = virtual_rig();
  rig.velocity = {1000, 1000, 0, 0};
  start(rig);
  SelWrt(kEncPreset, 0x00);
  WriteData(0x00);
  WriteData(0x00);
  SelWrt(kEncIndexSet, 0x01);
  sim->set_counter(0, 1995);
  sim->set_counter(1, 1995);
  sim->advance_us(10'000);
  EXPECT_EQ(sim->counter(0), 5u) << "2000 became the preset 0, then 5 more counts";
  EXPECT_EQ(sim->counter(1), 2005u) << "not armed";
  EXPECT_EQ(sim->index_sense(), 0x03);
  sim->advance_us(4'000'000);
  EXPECT_EQ(sim->counter(0), 5u) << "4000 counts later: two more resets";
}

// The servo test's loop (1 V per 1000 counts, 2000 pulses per second per
// volt) pulls every axis to zero with the default wiring and runs away with
// the opposite sign.
TEST_F(MotionTest, ServoLoopIsStableWithTheDefaultWiring) {
  std::FILE *saved = std::freopen("/dev/null", "w", stdout); // the rate reports
  ASSERT_NE(saved, nullptr);
  auto settle = [&](int sign) {
    Rig rig = virtual_rig();
    for (Wiring &w : rig.wiring)
      w.sign = sign;
    start(rig);
    vornMotInit(nullptr);
    double pos[4] = {};
    for (int pass = 0; pass < 500; ++pass) {
      vornEncoderReadAll(4, pos);
      double volts[4];
      for (int i = 0; i < 4; ++i)
        volts[i] = pos[i] / 1000.0;
      vornRateWriteAll(4, volts);
      sim->advance_us(10'000);
    }
    vornEncoderReadAll(4, pos);
    return pos[0];
  };
  EXPECT_LE(std::fabs(settle(1)), 1.0);
  EXPECT_GT(settle(-1), 517.0 * 10);
}

} // namespace
} // namespace vorn::sim::test
