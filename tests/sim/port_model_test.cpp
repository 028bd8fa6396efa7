// The parallel port in front of the boards: status, control, EPP address and
// data registers, direction errors, the access request and the exit report.
#include "sim_fixture.h"

#include "board_map.h"
#include "vorn.h"

#include <cerrno>
#include <cstdio>
#include <string>

namespace vorn::sim::test {
namespace {

using namespace vorn::map;

constexpr std::uint8_t kEmptyBlockId = 0x3F; // block 3 has no board by default

TEST_F(SimTest, UnansweredDataCycleSetsTimeoutUntilStatusWrittenWithBitZero) {
  EXPECT_EQ(rd(kPortStatus), 0x00);
  EXPECT_EQ(read_at(kEmptyBlockId), 0xFF);
  EXPECT_EQ(rd(kPortStatus), kStatusTimeout);
  wr(kPortStatus, 0x00);
  EXPECT_EQ(rd(kPortStatus), kStatusTimeout) << "only a one in bit 0 clears it";
  wr(kPortStatus, 0x81);
  EXPECT_EQ(rd(kPortStatus), 0x00);

  write_at(kEmptyBlockId - 1, 0x12);
  EXPECT_EQ(rd(kPortStatus), kStatusTimeout) << "writes time out too";
  EXPECT_EQ(ClrTimeout(), 1);
  EXPECT_EQ(sim->unanswered_cycles(), 1u) << "the ID probe is not counted";
}

// A port driver's probe for a bidirectional port (the kernel's TRISTATE
// mode, without which it never reverses the lines for an EPP read): the
// data register reads back the latch driven forward, the floating lines
// reversed.
TEST_F(SimTest, DataRegisterReadsTheFloatingLinesWhenReversed) {
  wr(kPortData, 0x55);
  EXPECT_EQ(rd(kPortData), 0x55);
  wr(kPortControl, kCtrlReverse);
  EXPECT_EQ(rd(kPortData), 0xFF);
  wr(kPortData, 0xAA);
  EXPECT_EQ(rd(kPortData), 0xFF);
  wr(kPortControl, kCtrlForward);
  EXPECT_EQ(rd(kPortData), 0xAA);
}

TEST_F(SimTest, AnsweredCyclesAndAddressCyclesLeaveTimeoutClear) {
  write_at(kRateControl, 0x00);
  read_at(kDigIn0);
  select(kEmptyBlockId);
  EXPECT_EQ(rd(kPortStatus), 0x00);
}

TEST_F(SimTest, EveryDataCycleAdvancesTheAddressModulo256) {
  select(0xFE);
  put(0x00);
  EXPECT_EQ(sim->selected(), 0xFF);
  EXPECT_EQ(get(), 0xFF);
  EXPECT_EQ(sim->selected(), 0x00) << "wraps round";
  select(kEncPreset);
  put(0x01);
  put(0x02);
  put(0x03);
  EXPECT_EQ(sim->preset(), 0x030201u);
  EXPECT_EQ(sim->selected(), kEncControl);
}

TEST_F(SimTest, ForwardReadReturnsWhatThePcDroveAndIsAProtocolError) {
  select(kEncBoardId);
  EXPECT_EQ(rd(kPortEppData), kEncBoardId) << "the address byte is still on the lines";
  EXPECT_EQ(sim->protocol_errors(), 1u);
  EXPECT_EQ(sim->selected(), kEncBoardId + 1) << "the boards still saw a cycle";
}

TEST_F(SimTest, ReverseWriteReachesNoBoard) {
  select(kDigOut0);
  wr(kPortControl, kCtrlReverse);
  wr(kPortEppData, 0x55);
  EXPECT_EQ(sim->dig_out(0), 0x00);
  EXPECT_EQ(sim->selected(), kDigOut0);
  EXPECT_EQ(sim->protocol_errors(), 1u);
}

TEST_F(SimTest, AddressCycleInReverseSelectsNothing) {
  select(kDigIn0);
  wr(kPortControl, kCtrlReverse);
  wr(kPortEppAddr, kDigOut1);
  EXPECT_EQ(sim->selected(), kDigIn0);
  EXPECT_EQ(sim->protocol_errors(), 1u);
}

TEST_F(SimTest, ControlReadsBackAndKeepsDirectionForSelRead) {
  wr(kPortControl, 0x2C);
  EXPECT_EQ(rd(kPortControl), 0x2C);
  sim->set_dig_in(0, 0xA5);
  EXPECT_EQ(SelRead(kDigIn0), 0xA5);
  EXPECT_EQ(sim->control(), 0x2C);
  EXPECT_EQ(sim->protocol_errors(), 0u);
}

TEST_F(SimTest, ResetPulseStopsRateChannelsAndClearsIndexSet) {
  write_at(kRateControl, 0xAA);
  write_at(kEncIndexSet, 0x0F);
  BusReset();
  EXPECT_EQ(sim->rate_control(), 0x00);
  EXPECT_EQ(sim->index_set(), 0x00);
  EXPECT_EQ(sim->control(), kCtrlForward);
}

TEST_F(SimTest, PortsAreDecodedFromTheRequestedBase) {
  vorn_base_addr = 0x278;
  ASSERT_EQ(InitializeParPort(), 0);
  EXPECT_EQ(sim->base(), 0x278u);
  SelWrt(kDigOut1, 0x66);
  EXPECT_EQ(sim->dig_out(1), 0x66);
  EXPECT_EQ(sim->unmapped_accesses(), 0u);
  EXPECT_EQ(sim->read(kBase + kPortStatus), 0xFF) << "0x379 is outside 0x278..0x27c now";
  EXPECT_EQ(sim->unmapped_accesses(), 1u);
}

TEST_F(SimTest, EppAddressReadIsARegisterTheBoardSetLacks) {
  EXPECT_EQ(rd(kPortEppAddr), 0xFF);
  EXPECT_EQ(sim->unmapped_accesses(), 1u);
}

TEST_F(SimTest, RefusedRequestMakesStartUpFailWithoutPortAccess) {
  Rig rig = virtual_rig();
  rig.refuse_access = EACCES;
  sim.reset();
  Simulator refusing(rig);
  refusing.install();
  errno = 0;
  EXPECT_EQ(vornMotInit(nullptr), -1);
  EXPECT_EQ(errno, EACCES);
  EXPECT_EQ(refusing.accesses(), 0u);
  SelWrt(kRateControl, 0);
  EXPECT_EQ(refusing.protocol_errors(), 4u) << "every access after a refusal";
}

TEST_F(SimTest, ReportListsEachSlipWithItsCount) {
  select(kEncBoardId);
  rd(kPortEppData);
  rd(kPortEppData);
  write_at(0x05, 0x00);
  write_at(kEmptyBlockId - 1, 0x00);
  std::FILE *out = std::tmpfile();
  ASSERT_NE(out, nullptr);
  sim->report(out);
  std::rewind(out);
  char buf[512] = {};
  std::string text(buf, std::fread(buf, 1, sizeof buf - 1, out));
  std::fclose(out);
  EXPECT_EQ(text,
            "vornsim: protocol error: data read in forward direction at bus address 0x0f (1 time)\n"
            "vornsim: protocol error: data read in forward direction at bus address 0x10 (1 time)\n"
            "vornsim: no such register: read of bus address 0x10 (1 time)\n"
            "vornsim: no such register: write to bus address 0x05 (1 time)\n"
            "vornsim: no board answered: write to bus address 0x3e (1 time)\n");
}

TEST_F(SimTest, AccessesAndVirtualTimeCountTogether) {
  const std::uint64_t t0 = sim->now_us();
  const std::uint64_t n0 = sim->accesses();
  SelWrt(kRateControl, 0);
  EXPECT_EQ(sim->accesses() - n0, 4u);
  EXPECT_EQ(sim->now_us() - t0, 4u);
  sim->advance_us(250);
  EXPECT_EQ(sim->now_us() - t0, 254u);
}

} // namespace
} // namespace vorn::sim::test
