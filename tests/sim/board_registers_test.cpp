// Every register of the board address map as the simulated boards serve it.
#include "sim_fixture.h"

#include "board_map.h"
#include "vorn.h"

#include <functional>

namespace vorn::sim::test {
namespace {

using namespace vorn::map;

// A write and a read at one address reach different registers.
struct SharedAddress {
  std::uint8_t addr;
  std::uint8_t written;
  std::function<std::uint8_t(Simulator &)> write_register;
  std::uint8_t read_back; // what a read at the address gives afterwards
};

TEST_F(SimTest, ReadAndWriteAtOneAddressReachDifferentRegisters) {
  const SharedAddress cases[] = {
      {kEncPreset, 0x77, [](Simulator &s) { return static_cast<std::uint8_t>(s.preset()); }, 0x00},
      {kEncIndexSet, 0x04, [](Simulator &s) { return s.index_set(); }, 0x00},
      {kSpindleSpeed, 0xC3, [](Simulator &s) { return s.spindle(); }, 0x11},
      {kDigOut0, 0x81, [](Simulator &s) { return s.dig_out(0); }, 0x42},
  };
  for (const SharedAddress &c : cases) {
    SCOPED_TRACE(c.addr);
    write_at(c.addr, c.written);
    EXPECT_EQ(c.write_register(*sim), c.written);
    sim->set_dig_in(0, 0x00); // keeps 0x0D from echoing output 0
    EXPECT_EQ(read_at(c.addr), c.read_back);
  }
}

TEST_F(SimTest, WriteOnlyRegistersKeepWhatWasWritten) {
  SelWrt(kRateControl, 0x00);
  WriteData(0xC8);
  WriteData(0xC9);
  SelWrt(kReg26, 0x01);
  SelWrt(kDigOut1, 0x5A);
  EXPECT_EQ(sim->reg1d(), 0xC8);
  EXPECT_EQ(sim->reg1e(), 0xC9);
  EXPECT_EQ(sim->reg26(), 0x01);
  EXPECT_EQ(sim->dig_out(1), 0x5A);
  EXPECT_EQ(sim->unmapped_accesses() + sim->unanswered_cycles(), 0u);
}

TEST_F(SimTest, RateCountsPerChannelAndInOneRun) {
  SelAddr(rate_channel_addr(2));
  WriteData(0x34);
  WriteData(0x12);
  WriteData(0x05);
  EXPECT_EQ(sim->rate_count(2), 0x051234u);
  SelAddr(kRateCount);
  for (int i = 0; i < 12; ++i)
    WriteData(static_cast<std::uint8_t>(i + 1));
  EXPECT_EQ(sim->rate_count(0), 0x030201u);
  EXPECT_EQ(sim->rate_count(3), 0x0C0B0Au);
  SelWrt(kRateControl, 0x8E);
  EXPECT_EQ(sim->rate_control(), 0x8E);
}

// The communication test's load: the preset written while 0xF0 holds the
// counters reaches all four, and the latch captures them.
TEST_F(SimTest, PresetUnderF0LoadsEveryCounterAndLatchCapturesThem) {
  SelWrt(kEncControl, kEncLoadPreset);
  SelWrt(kEncControl, kEncLoadPreset);
  SelWrt(kEncPreset, 0xA1);
  WriteData(0xB2);
  WriteData(0xC3);
  SelWrt(kEncControl, kEncCounting);
  for (int n = 0; n < 4; ++n)
    EXPECT_EQ(sim->counter(n), 0xC3B2A1u);
  EXPECT_EQ(sim->latched(0), 0u) << "not captured before the strobe";
  EncoderLatch();
  SelAddr(kEncCount);
  for (int n = 0; n < 4; ++n) {
    EXPECT_EQ(ReadData(), 0xA1);
    EXPECT_EQ(ReadData(), 0xB2);
    EXPECT_EQ(ReadData(), 0xC3);
  }
}

TEST_F(SimTest, LatchedCountsStayUntilTheNextStrobe) {
  sim->set_counter(1, 1000);
  EncoderLatch();
  sim->set_counter(1, 2000);
  EXPECT_EQ(sim->latched(1), 1000u);
  SelWrt(kEncLatch, kLatchStrobe);
  EXPECT_EQ(sim->latched(1), 2000u);
  EXPECT_EQ(sim->latch_register(), kLatchStrobe);
}

TEST_F(SimTest, CountersHeldAtThePresetDoNotCount) {
  SelWrt(kEncControl, 0x10); // bit 4: counter 0 only
  SelWrt(kRateCount, 0x00);
  WriteData(0x00);
  WriteData(0x00);
  SelWrt(kRateControl, 0x0A); // channels 0 and 1 run down
  sim->advance_us(1000);
  EXPECT_EQ(sim->counter(0), sim->preset());
  EXPECT_NE(sim->counter(1), 0u);
}

TEST_F(SimTest, IndexSenseIsClearedByReadingIt) {
  sim->set_counter(2, 1999);
  SelWrt(rate_channel_addr(2), 0x00);
  SelWrt(kRateControl, 0x30); // channel 2 up
  sim->advance_us(10);
  EXPECT_EQ(SelRead(kEncIndexSense), 0x04);
  EXPECT_EQ(SelRead(kEncIndexSense), 0x00);
}

TEST_F(SimTest, DigitalInputsFollowOutputsUnlessFixed) {
  vornDioWrite(0, 0x81);
  vornDioWrite(1, 0x07);
  EXPECT_EQ(read_at(kDigIn0), 0x81);
  EXPECT_EQ(read_at(kDigIn1), 0x07);
  sim->set_dig_in(1, 0xA5);
  EXPECT_EQ(read_at(kDigIn1), 0xA5);
  sim->loop_back_dig_in(1);
  EXPECT_EQ(read_at(kDigIn1), 0x07);

  Rig rig = virtual_rig();
  rig.digital_inputs[0] = 0x3C;
  start(rig);
  vornDioWrite(0, 0x81);
  EXPECT_EQ(read_at(kDigIn0), 0x3C);
}

// Toggled bits flip once per period of simulated time, over a fixed input
// and a looped-back one alike.
TEST_F(SimTest, ToggledInputBitsFlipEveryPeriod) {
  Rig rig = virtual_rig();
  rig.digital_inputs[0] = 0x3C;
  rig.toggle_bits = {0x01, 0x80};
  rig.toggle_ms = 2;
  start(rig);
  vornDioWrite(1, 0x07);
  const std::pair<std::uint8_t, std::uint8_t> periods[] = {
      {0x3C, 0x07}, {0x3D, 0x87}, {0x3C, 0x07}, {0x3D, 0x87}};
  for (const auto &[in0, in1] : periods) {
    EXPECT_EQ(read_at(kDigIn0), in0);
    EXPECT_EQ(read_at(kDigIn1), in1);
    sim->advance_us(2000);
  }
}

TEST_F(SimTest, DefaultBoardSetIdBytes) {
  for (std::uint32_t block = 0; block < kBlockCount; ++block) {
    SCOPED_TRACE(block);
    ClrTimeout();
    const std::uint8_t id = read_at(static_cast<std::uint8_t>(block_id_addr(block)));
    const bool timed_out = rd(kPortStatus) & kStatusTimeout;
    if (block == 0)
      EXPECT_EQ(id, 0x11);
    else if (block == 1)
      EXPECT_EQ(id, 0x42);
    else if (block == 4)
      EXPECT_EQ(id, 0x31);
    else if (block == 2)
      EXPECT_FALSE(timed_out) << "the rate generator's second block answers";
    else
      EXPECT_TRUE(id == 0xFF && timed_out);
  }
}

TEST_F(SimTest, AddressesWithoutARegisterAreCountedNotTimedOut) {
  write_at(0x05, 0x00);
  EXPECT_EQ(read_at(kRateCount), 0x00);
  EXPECT_EQ(rd(kPortStatus), 0x00);
  EXPECT_EQ(sim->unmapped_accesses(), 2u);
}

TEST_F(SimTest, OneBlockIdLeavesTheNextBlockEmpty) {
  Rig rig = virtual_rig();
  rig.boards[1] = 0x31; // not a rate generator: block 2 has nobody
  start(rig);
  SelWrt(kReg26, 0x01);
  EXPECT_EQ(sim->reg26(), 0x00);
  EXPECT_EQ(rd(kPortStatus), kStatusTimeout);
}

TEST_F(SimTest, BoardStopsAnsweringAfterItsAccessCount) {
  Rig rig = virtual_rig();
  rig.board_stops.push_back({4, 100});
  start(rig);
  while (sim->accesses() < 90)
    SelWrt(kDigOut1, 0x01);
  EXPECT_EQ(sim->dig_out(1), 0x01);
  while (sim->accesses() < 100)
    rd(kPortStatus);
  SelWrt(kDigOut1, 0x02);
  EXPECT_EQ(sim->dig_out(1), 0x01);
  EXPECT_EQ(read_at(kDioBoardId), 0xFF);
  EXPECT_EQ(read_at(kEncBoardId), 0x11) << "the other boards go on";
}

} // namespace
} // namespace vorn::sim::test
