// The kernel-device backend against the simulator as the port: every bus
// primitive gives the library the same values and leaves the boards in the
// same state, the timeout bit included, and the backend makes no ioctl
// that changes nothing.
#include "board_map.h"
#include "bus.h"
#include "loop_passes.h"
#include "stdout_to_null.h"
#include "two_paths.h"
#include "vorn.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

namespace {

using namespace vorn::map;
using vorn::test::board_state;
using vorn::test::still_rig;
using vorn::test::TwoPaths;
using Bytes = std::vector<unsigned>;

std::uint8_t status_seen() { return vorn::port_in(vorn::Reg::status); }

struct PrimitiveCase {
  const char *name;
  Bytes (*run)();
};

// Each returns what the library got, and the status it then sees.
const PrimitiveCase kPrimitives[] = {
    {"SelAddr",
     [] {
       SelAddr(kRateControl);
       return Bytes{status_seen()};
     }},
    {"SelReadId",
     [] {
       return Bytes{SelRead(kEncBoardId), status_seen()};
     }},
    {"SelReadEmptyBlock",
     [] {
       return Bytes{SelRead(block_id_addr(3)), status_seen()};
     }},
    {"SelWrt",
     [] {
       SelWrt(kRateControl, 0x05);
       return Bytes{status_seen()};
     }},
    {"SelWrtEmptyBlock",
     [] {
       SelWrt(0x30, 0x05);
       return Bytes{status_seen()};
     }},
    {"SelWrt16",
     [] {
       SelWrt16(kRateCount, 0x1234);
       return Bytes{status_seen()};
     }},
    {"WriteData",
     [] {
       SelAddr(kDigOut0);
       WriteData(0x3C);
       return Bytes{status_seen()};
     }},
    {"WriteDataEmptyBlock",
     [] {
       SelAddr(0x32);
       WriteData(0x3C);
       return Bytes{status_seen()};
     }},
    {"WriteData16",
     [] {
       SelAddr(kEncPreset);
       WriteData16(0xBEEF);
       return Bytes{status_seen()};
     }},
    {"ReadData",
     [] {
       SelAddr(kDioBoardId);
       return Bytes{ReadData(), status_seen()};
     }},
    {"ClrTimeoutAfterEmptyRead",
     [] {
       SelRead(0x33);
       return Bytes{status_seen(), unsigned(ClrTimeout()), status_seen()};
     }},
    {"ClrTimeoutClean",
     [] {
       return Bytes{unsigned(ClrTimeout()), status_seen()};
     }},
    {"BusReset",
     [] {
       SelWrt(kRateControl, 0x0F);
       BusReset();
       return Bytes{status_seen()};
     }},
    {"EncReadAll",
     [] {
       LONGBYTE counts[kEncoderCount];
       EncoderLatch();
       EncReadAll(counts);
       Bytes got{status_seen()};
       for (const LONGBYTE &c : counts)
         got.insert(got.end(), c.Byte, c.Byte + 4);
       return got;
     }},
    // The kernel stops the transfer at the first cycle of block 3; the
    // rest is read on past it.
    {"BulkReadIntoEmptyBlock",
     [] {
       SelAddr(block_id_addr(2) - 1);
       vorn::port_out(vorn::Reg::control, kCtrlReverse);
       std::uint8_t bytes[5];
       vorn::port_in_many(bytes, sizeof bytes);
       Bytes got(bytes, bytes + sizeof bytes);
       got.push_back(status_seen());
       return got;
     }},
    // Across every block, more than one read() of the kernel's can move.
    {"BulkReadPastTheKernelBuffer",
     [] {
       SelAddr(0);
       vorn::port_out(vorn::Reg::control, kCtrlReverse);
       std::vector<std::uint8_t> bytes(2101);
       vorn::port_in_many(bytes.data(), bytes.size());
       Bytes got(bytes.begin(), bytes.end());
       got.push_back(status_seen());
       return got;
     }},
};

struct RigCase {
  const char *name;
  vorn::sim::Rig rig;
};

vorn::sim::Rig counting_rig() {
  vorn::sim::Rig rig = still_rig();
  rig.counters = {0x123456, 0xFFFFFE, 0x000001, 0x800000};
  return rig;
}

vorn::sim::Rig empty_rig() {
  vorn::sim::Rig rig = still_rig();
  rig.boards = {};
  return rig;
}

// A board in every block, so that a long transfer goes through whole.
vorn::sim::Rig full_rig() {
  vorn::sim::Rig rig = counting_rig();
  rig.boards.fill(0x31);
  return rig;
}

const RigCase kRigs[] = {
    {"DefaultRig", counting_rig()}, {"EmptyBus", empty_rig()}, {"FullBus", full_rig()}};

// The kernel's ways to the port: EPP hardware with its fast transfers and
// without them, and the software emulation of a port with none.
struct PortCase {
  const char *name;
  vorn::test::PortHardware hardware;
  const char *fast; // VORN_EPP_FAST
};

const PortCase kPorts[] = {{"Fast", {true, true}, nullptr},
                           {"NotFast", {true, true}, "0"},
                           {"NoEpp", {false, false}, nullptr}};

// VORN_EPP_FAST as the case sets it, for as long as this lives.
class FastSetting {
public:
  explicit FastSetting(const char *value) {
    if (value != nullptr)
      setenv("VORN_EPP_FAST", value, 1);
  }
  ~FastSetting() { unsetenv("VORN_EPP_FAST"); }
  FastSetting(const FastSetting &) = delete;
  FastSetting &operator=(const FastSetting &) = delete;
};

class Primitive : public testing::TestWithParam<std::tuple<PrimitiveCase, RigCase, PortCase>> {};

TEST_P(Primitive, SameValuesAndBoardState) {
  const auto &[op, rig, port] = GetParam();
  const FastSetting fast(port.fast);
  testing::internal::CaptureStderr(); // the note on a port without EPP
  TwoPaths paths(rig.rig, port.hardware);
  testing::internal::GetCapturedStderr();
  ASSERT_EQ(paths.device_init, paths.direct_init);
  ASSERT_EQ(board_state(paths.device_boards), board_state(paths.direct_boards)) << "start-up";
  const Bytes direct = paths.direct(op.run);
  const Bytes device = paths.device(op.run);
  EXPECT_EQ(device, direct);
  EXPECT_EQ(board_state(paths.device_boards), board_state(paths.direct_boards));
  EXPECT_EQ(paths.kernel.idle_ioctls(), 0u) << paths.kernel.calls().to_string();
}

INSTANTIATE_TEST_SUITE_P(Device, Primitive,
                         testing::Combine(testing::ValuesIn(kPrimitives), testing::ValuesIn(kRigs),
                                          testing::ValuesIn(kPorts)),
                         [](const auto &info) {
                           return std::string(std::get<0>(info.param).name) + "_" +
                                  std::get<1>(info.param).name + "_" + std::get<2>(info.param).name;
                         });

// The backend's own timeout bit stays set through status writes without
// bit 0 and clears with the first one that has it, as the port's does.
TEST(TimeoutBit, SetByAShortTransferClearedAsOnThePort) {
  TwoPaths paths(empty_rig());
  const auto steps = [] {
    Bytes seen;
    SelAddr(0x40);
    seen.push_back(status_seen());
    vorn::port_out(vorn::Reg::control, kCtrlReverse);
    vorn::port_in(vorn::Reg::epp_data);
    seen.push_back(status_seen());
    vorn::port_out(vorn::Reg::status, 0x00);
    seen.push_back(status_seen());
    vorn::port_out(vorn::Reg::status, 0xFE);
    seen.push_back(status_seen());
    vorn::port_out(vorn::Reg::status, kStatusTimeout);
    seen.push_back(status_seen());
    return seen;
  };
  const Bytes direct = paths.direct(steps);
  EXPECT_EQ(direct, (Bytes{0, 1, 1, 1, 0})); // else the comparison below proves nothing
  EXPECT_EQ(paths.device(steps), direct);
}

struct CommtestRun {
  long long cycles;
  long long errors;
  bool operator==(const CommtestRun &) const = default;
};

CommtestRun commtest_cycles(int count) {
  vorn::measure::StdoutToNull quiet;
  std::srand(1); // both paths draw the same patterns
  vorndiag::CommtestState state;
  for (int i = 0; i < count; ++i)
    vorndiag::commtest_cycle(state);
  return {state.cycles, state.errors};
}

vorn::sim::Rig noisy_rig() {
  vorn::sim::Rig rig = still_rig();
  rig.seed = 77;
  rig.flip_probability = 0.01;
  return rig;
}

// commtest's mismatch count rests on what ClrTimeout and the reads give.
TEST(Commtest, SameErrorCountsOnEmptyAndNoisyRigs) {
  for (const vorn::sim::Rig &rig : {empty_rig(), noisy_rig(), still_rig()}) {
    TwoPaths paths(rig);
    const CommtestRun direct = paths.direct([] { return commtest_cycles(300); });
    const CommtestRun device = paths.device([] { return commtest_cycles(300); });
    EXPECT_EQ(device.errors, direct.errors) << "flips " << rig.flip_probability;
    EXPECT_EQ(device.cycles, direct.cycles);
    EXPECT_EQ(board_state(paths.device_boards), board_state(paths.direct_boards));
    EXPECT_EQ(paths.kernel.idle_ioctls(), 0u);
  }
}

TEST(Commtest, RigsGiveTheErrorsExpected) {
  TwoPaths empty(empty_rig());
  EXPECT_EQ(empty.device([] { return commtest_cycles(10); }).errors, 40);
  TwoPaths clean;
  EXPECT_EQ(clean.device([] { return commtest_cycles(10); }).errors, 0);
}

} // namespace
