// The driver library's own account of the bus: every unanswered cycle
// counted at the block it went to, the shut-down's stop checked, and no
// call that reaches the bus let through before a start-up or after a
// refused one.
#include "extintf.h"
#include "vorn.h"
#include "vornsim.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <optional>

namespace {

using vorn::sim::Rig;
using vorn::sim::Simulator;

Rig rig_with(std::array<std::optional<std::uint8_t>, vorn::sim::kBlocks> boards) {
  Rig rig = vorn::sim::default_rig();
  rig.clock = vorn::sim::Clock::virtual_time;
  rig.boards = boards;
  return rig;
}

struct Tally {
  long long cycles = -1;
  long long unanswered = -1;
};

Tally tally(int block) {
  Tally t;
  EXPECT_EQ(extBusAccount(block, &t.cycles, &t.unanswered), 0);
  return t;
}

constexpr std::uint8_t kEncoder = 0x11, kRate = 0x42, kDio = 0x31;

struct AccountCase {
  const char *name;
  std::array<std::optional<std::uint8_t>, vorn::sim::kBlocks> boards;
  std::function<void()> run; // between start-up and shut-down
  Tally at[3];               // expected at blocks 0, 1 and 4 after the shut-down
  int quit;                  // what the shut-down returns
};
void PrintTo(const AccountCase &c, std::ostream *os) { *os << c.name; }

// A cycle ends at the next timeout check. Start-up: 2 at block 1 (the
// stop's selection and first byte, then the second byte), 6 at block 0 and
// its last selection still open. Shut-down: 2 more at block 1, after its
// selection has closed what was open. A latch and read of all counts: 4
// latch selections and the read's selection, each closing the one before.
const AccountCase kCases[] = {
    {"AllBoards",
     {kEncoder, kRate, std::nullopt, std::nullopt, kDio},
     [] {
       double counts[4];
       vornEncoderReadAll(4, counts);
       vornDioWrite(1, 0x55);
     },
     {{12, 0}, {4, 0}, {1, 0}},
     0},
    {"EmptyBus", {}, [] {}, {{7, 7}, {4, 4}, {0, 0}}, -1},
    {"NoRateBoard",
     {kEncoder, std::nullopt, std::nullopt, std::nullopt, kDio},
     [] {
       double counts[4];
       vornEncoderReadAll(4, counts);
     },
     {{12, 0}, {4, 4}, {0, 0}},
     -1},
    // The DIO board's write goes to block 4, the digital output 0 write to
    // the rate generator's block.
    {"NoDioBoard",
     {kEncoder, kRate, std::nullopt, std::nullopt, std::nullopt},
     [] {
       vornDioWrite(1, 0x55);
       vornDioWrite(0, 0x80);
     },
     {{7, 0}, {5, 0}, {1, 1}},
     0},
};

class Account : public ::testing::TestWithParam<AccountCase> {};

TEST_P(Account, CountsEachBlockAndChecksTheStop) {
  const AccountCase &c = GetParam();
  Simulator boards(rig_with(c.boards));
  boards.install();
  ASSERT_EQ(extMotInit(nullptr), 0) << "an empty bus is no refusal";
  c.run();
  errno = 0;
  EXPECT_EQ(extMotQuit(), c.quit);
  if (c.quit != 0) {
    EXPECT_EQ(errno, EIO);
  }
  const int blocks[3] = {0, 1, 4};
  for (int i = 0; i < 3; ++i) {
    const Tally t = tally(blocks[i]);
    EXPECT_EQ(t.cycles, c.at[i].cycles) << "block " << blocks[i];
    EXPECT_EQ(t.unanswered, c.at[i].unanswered) << "block " << blocks[i];
  }
  for (int block : {2, 3, 5, 15})
    EXPECT_EQ(tally(block).cycles, 0) << "block " << block;
  long long cycles = 0, unanswered = 0;
  EXPECT_EQ(extBusAccount(16, &cycles, &unanswered), -1);
  EXPECT_EQ(extBusAccount(-1, &cycles, &unanswered), -1);
  boards.uninstall();
}

INSTANTIATE_TEST_SUITE_P(Blocks, Account, ::testing::ValuesIn(kCases),
                         [](const auto &info) { return std::string(info.param.name); });

// A board that stops answering halfway: only the cycles after the stop are
// unanswered, and the shut-down's stop is not taken.
TEST(Account, RateBoardThatStopsLeavesTheStopUntaken) {
  Rig rig = rig_with({kEncoder, kRate, std::nullopt, std::nullopt, kDio});
  rig.board_stops.push_back({1, 200});
  Simulator boards(rig);
  boards.install();
  ASSERT_EQ(vornMotInit(nullptr), 0);
  vornRateReportTo(nullptr);
  double volts[4] = {1, 1, 1, 1};
  while (boards.accesses() < 400)
    vornRateWriteAll(4, volts);
  errno = 0;
  EXPECT_EQ(vornMotQuit(), -1);
  EXPECT_EQ(errno, EIO);
  const Tally t = tally(1);
  EXPECT_GT(t.unanswered, 0);
  EXPECT_LT(t.unanswered, t.cycles) << "the cycles before the stop were answered";
  vornRateReportTo(stdout);
  boards.uninstall();
}

// Every call that reaches the bus, through the ext interface.
const std::pair<const char *, std::function<int()>> kBusCalls[] = {
    {"extRateWrite", [] { return extRateWrite(0, 1.0); }},
    {"extRateWriteAll",
     [] {
       double volts[4] = {1, 1, 1, 1};
       return extRateWriteAll(4, volts);
     }},
    {"extEncoderRead",
     [] {
       double counts = 0;
       return extEncoderRead(0, &counts);
     }},
    {"extEncoderReadAll",
     [] {
       double counts[4];
       return extEncoderReadAll(4, counts);
     }},
    {"extEncoderResetIndex", [] { return extEncoderResetIndex(0); }},
    {"extEncoderReadLatch",
     [] {
       int flag = 0;
       return extEncoderReadLatch(0, &flag);
     }},
    {"extEncoderReadLevel",
     [] {
       int flag = 0;
       return extEncoderReadLevel(0, &flag);
     }},
    {"extDioRead",
     [] {
       int value = 0;
       return extDioRead(0, &value);
     }},
    {"extDioWrite", [] { return extDioWrite(0, 0x80); }},
    {"EncoderInit", [] { return EncoderInit(); }},
    {"EncoderLatch", [] { return EncoderLatch(); }},
    {"EncReadAll",
     [] {
       LONGBYTE lb[4];
       return EncReadAll(lb);
     }},
    {"RateInit", [] { return static_cast<int>(RateInit()); }},
    {"RawRate", [] { return RawRate(1, 2.0); }},
    {"extMotQuit", [] { return extMotQuit(); }},
};

struct NotReadyCase {
  const char *name;
  int refuse;   // the start-up's refusal; 0: started and shut down again
  int expected; // errno
};
void PrintTo(const NotReadyCase &c, std::ostream *os) { *os << c.name; }

class NotReady : public ::testing::TestWithParam<NotReadyCase> {};

TEST_P(NotReady, EveryBusCallRefusesWithoutAnAccess) {
  const NotReadyCase &c = GetParam();
  Rig rig = rig_with({kEncoder, kRate, std::nullopt, std::nullopt, kDio});
  rig.refuse_access = c.refuse;
  Simulator boards(rig);
  boards.install();
  if (c.refuse != 0) {
    ASSERT_EQ(extMotInit(nullptr), -1);
  } else {
    ASSERT_EQ(extMotInit(nullptr), 0);
    ASSERT_EQ(extMotQuit(), 0);
  }
  const std::uint64_t before = boards.accesses();
  ::testing::internal::CaptureStdout();
  for (const auto &[name, call] : kBusCalls) {
    errno = 0;
    EXPECT_EQ(call(), -1) << name;
    EXPECT_EQ(errno, c.expected) << name;
  }
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "") << "a rate report for no write";
  EXPECT_EQ(boards.accesses(), before);
  boards.uninstall();
}

INSTANTIATE_TEST_SUITE_P(Library, NotReady,
                         ::testing::Values(NotReadyCase{"Refused", EPERM, EPERM},
                                           NotReadyCase{"Busy", EBUSY, EBUSY},
                                           NotReadyCase{"AfterQuit", 0, ENODEV}),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
