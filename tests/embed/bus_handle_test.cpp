// Two ports in one process: the default bus and a bus of vornBusNew(),
// each on boards of its own, chosen per thread.
#include "extintf.h"
#include "fake_ppdev.h"
#include "forked_trace.h"
#include "virtual_boards.h"
#include "vorn.h"
#include "vornsim.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

using vorn::test::FakePpdev;
using vorn::test::holds_in_forked_child;
using vorn::test::kRunBits;
using vorn::test::virtual_rig;

// Not vorn_base_addr's: an access addressed by the default bus's base
// would miss this port.
constexpr std::uint32_t kSecondBase = 0x278;

// The default bus on boards put in place; a bus of its own on other boards
// behind the kernel's /dev/parport0.
class TwoBuses : public testing::Test {
protected:
  void SetUp() override {
    vornRateReportTo(nullptr);
    first_boards.install();
    ASSERT_EQ(extMotInit(nullptr), 0) << vornPortProblem();
    kernel.list_port(kSecondBase);
    kernel.install();
    second = vornBusNew(vorn_base_addr);
    ASSERT_NE(second, nullptr);
    ASSERT_EQ(vornBusUse(second), nullptr);
    vornRateReportTo(nullptr);
    ASSERT_EQ(extMotInit("/dev/parport0"), 0) << vornPortProblem();
    ASSERT_EQ(vornBusUse(nullptr), second);
  }
  void TearDown() override {
    vornBusUse(nullptr);
    vornBusFree(second);
    kernel.uninstall();
    extMotQuit();
    vornRateReportTo(stdout);
  }

  // The default bus's boards took the output `dio` alone, the second's
  // the rate alone.
  void expect_apart(std::uint8_t dio) const {
    EXPECT_EQ(first_boards.dig_out(0), dio);
    EXPECT_NE(second_boards.dig_out(0), dio);
    EXPECT_EQ(first_boards.rate_control() & kRunBits, 0);
    EXPECT_NE(second_boards.rate_control() & kRunBits, 0);
  }

  vorn::sim::Simulator first_boards{virtual_rig()};
  vorn::sim::Simulator second_boards{virtual_rig()};
  FakePpdev kernel{second_boards};
  vorn_bus *second = nullptr;
};

TEST_F(TwoBuses, EachDrivesItsOwnBoards) {
  first_boards.set_counter(0, 1000);
  second_boards.set_counter(0, 2000);
  double counts = 0;
  ASSERT_EQ(extEncoderRead(0, &counts), 0);
  EXPECT_EQ(counts, 1000.0);
  ASSERT_EQ(extDioWrite(0, 0x5A), 0);

  vornBusUse(second);
  ASSERT_EQ(extEncoderRead(0, &counts), 0);
  EXPECT_EQ(counts, 2000.0);
  ASSERT_EQ(extRateWrite(0, 5.0), 0);
  vornBusUse(nullptr);
  expect_apart(0x5A);
}

// Freeing a started bus never leaves an axis running.
TEST_F(TwoBuses, FreeingABusStopsItsAxesAndGivesItsPortBack) {
  vornBusUse(second);
  ASSERT_EQ(extRateWrite(0, 5.0), 0);
  ASSERT_NE(second_boards.rate_control() & kRunBits, 0);
  EXPECT_EQ(vornBusFree(second), 0);
  second = nullptr;
  EXPECT_EQ(second_boards.rate_control() & kRunBits, 0);
  EXPECT_FALSE(kernel.claimed());
  // The thread's choice falls back to the default bus.
  double counts = 0;
  first_boards.set_counter(0, 1000);
  ASSERT_EQ(extEncoderRead(0, &counts), 0);
  EXPECT_EQ(counts, 1000.0);
}

// A thread's choice is its own: one thread's writes on the second bus and
// another's on the default bus land on their own boards only.
TEST_F(TwoBuses, ThreadsKeepTheirOwnChoice) {
  constexpr int kWrites = 2000;
  std::thread on_second([this] {
    vornBusUse(second);
    for (int i = 0; i < kWrites; ++i)
      extRateWrite(1, 5.0);
  });
  std::thread on_default([] {
    for (int i = 0; i < kWrites; ++i)
      extDioWrite(0, 0xFF);
  });
  on_second.join();
  on_default.join();
  expect_apart(0xFF);
}

// A forked child leaves both ports to its parent.
TEST_F(TwoBuses, AForkedChildLeavesBothPorts) {
  vornBusUse(second);
  ASSERT_EQ(extRateWrite(0, 5.0), 0);
  EXPECT_TRUE(holds_in_forked_child([] {
    errno = 0;
    const bool second_refused = extRateWrite(0, 0.0) == -1 && errno == EBUSY;
    vornBusUse(nullptr);
    errno = 0;
    return second_refused && extDioWrite(0, 0xFF) == -1 && errno == EBUSY;
  })) << "a child's call was not refused";
  EXPECT_TRUE(kernel.claimed());
  EXPECT_NE(second_boards.rate_control() & kRunBits, 0);
  EXPECT_EQ(extMotQuit(), 0);
  EXPECT_EQ(second_boards.rate_control() & kRunBits, 0);
}

// VORN_PORT and VORN_TRACE are the default bus's: what they name refuses
// its start-up, while a bus of its own without a choice takes the kernel's
// port at its base.
struct DefaultSetting {
  const char *name;
  const char *value;
  int err; // the default bus's refusal
};

const DefaultSetting kDefaultSettings[] = {
    {"VORN_PORT", "bogus", EINVAL},
    {"VORN_TRACE", "/nonexistent/trace", ENOENT},
};

class BusOfItsOwnSetting : public testing::TestWithParam<DefaultSetting> {};

TEST_P(BusOfItsOwnSetting, IsTheDefaultBussAlone) {
  vorn::sim::Simulator boards{virtual_rig()};
  FakePpdev kernel{boards};
  kernel.list_port(kSecondBase);
  kernel.install();
  setenv(GetParam().name, GetParam().value, 1);
  errno = 0;
  EXPECT_EQ(extMotInit(nullptr), -1);
  EXPECT_EQ(errno, GetParam().err);
  vorn_bus *const bus = vornBusNew(kSecondBase);
  ASSERT_NE(bus, nullptr);
  vornBusUse(bus);
  EXPECT_EQ(extMotInit(nullptr), 0) << vornPortProblem();
  EXPECT_TRUE(kernel.claimed());
  vornBusUse(nullptr);
  EXPECT_EQ(vornBusFree(bus), 0);
  EXPECT_FALSE(kernel.claimed());
  unsetenv(GetParam().name);
  kernel.uninstall();
}

INSTANTIATE_TEST_SUITE_P(Embed, BusOfItsOwnSetting, testing::ValuesIn(kDefaultSettings),
                         [](const auto &info) { return std::string(info.param.name); });

// Boards put in place while a thread has a bus of its own chosen are that
// bus's port; the default bus stays without one.
TEST(BusOfItsOwn, TakesTheBoardsPutInPlaceWhileChosen) {
  vorn_bus *const bus = vornBusNew(kSecondBase);
  ASSERT_NE(bus, nullptr);
  vornBusUse(bus);
  vornRateReportTo(nullptr);
  {
    vorn::sim::Simulator boards{virtual_rig()};
    boards.install();
    ASSERT_EQ(extMotInit(nullptr), 0) << vornPortProblem();
    ASSERT_EQ(extRateWrite(0, 5.0), 0);
    EXPECT_NE(boards.rate_control() & kRunBits, 0);
    EXPECT_EQ(boards.base(), kSecondBase);
    vornBusUse(nullptr);
    const std::uint64_t accesses = boards.accesses();
    EXPECT_EQ(extRateWrite(0, 5.0), -1);
    EXPECT_EQ(boards.accesses(), accesses);
    vornBusUse(bus);
    EXPECT_EQ(extMotQuit(), 0);
    EXPECT_EQ(boards.rate_control() & kRunBits, 0);
  }
  EXPECT_EQ(vornBusFree(bus), 0);
}

// Boards put in place on a bus may be taken away after it was freed: the
// bus goes with them (a use after free here is the sanitizers' to report).
TEST(BusOfItsOwn, FreedUnderItsBoardsStopsThemAndOutlivesThem) {
  vorn_bus *const bus = vornBusNew(kSecondBase);
  ASSERT_NE(bus, nullptr);
  vornBusUse(bus);
  vornRateReportTo(nullptr);
  auto boards = std::make_unique<vorn::sim::Simulator>(virtual_rig());
  boards->install();
  ASSERT_EQ(extMotInit(nullptr), 0) << vornPortProblem();
  ASSERT_EQ(extRateWrite(0, 5.0), 0);
  EXPECT_EQ(vornBusFree(bus), 0);
  EXPECT_EQ(boards->rate_control() & kRunBits, 0);
  // The calling thread is back on the default bus, which these boards
  // never were.
  const std::uint64_t accesses = boards->accesses();
  double counts = 0;
  EXPECT_EQ(extEncoderRead(0, &counts), -1);
  EXPECT_EQ(boards->accesses(), accesses);
  boards.reset();
}

} // namespace
