// The exact port accesses of every bus primitive, with and without a pending
// EPP timeout.
#include "recording_port.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

using vorn::test::Access;
using vorn::test::RecordingPort;

// What ClrTimeout does when status bit 0 is set on the first read and the
// second read shows 0x80: it still writes 0x81, then reads once more.
const std::vector<Access> kPendingTimeout = {
    {'R', 1, 0x01}, {'R', 1, 0x80}, {'W', 1, 0x81}, {'R', 1, 0x00}};
const std::vector<Access> kClean = {{'R', 1, 0x00}};

struct PrimitiveCase {
  const char *name;
  std::function<void()> call;
  std::vector<Access> after_clear; // accesses after a leading timeout check
  bool clears_first;               // the primitive starts with ClrTimeout
};

std::vector<PrimitiveCase> cases() {
  return {
      {"SelAddr(0x10F)", [] { SelAddr(0x10F); }, {{'W', 2, 0x04}, {'W', 3, 0x0F}}, true},
      {"SelWrt(0x1C,0x5A)",
       [] { SelWrt(0x1C, 0x5A); },
       {{'W', 2, 0x04}, {'W', 3, 0x1C}, {'W', 4, 0x5A}},
       true},
      {"SelRead(0x0C)",
       [] { SelRead(0x0C); },
       {{'R', 2, 0x2C},
        {'W', 2, 0x0C},
        {'W', 3, 0x0C},
        {'R', 2, 0x2C},
        {'W', 2, 0x2C},
        {'R', 4, 0xAB}},
       true},
      {"SelWrt16(0x20,0x1234)",
       [] { SelWrt16(0x20, 0x1234); },
       {{'R', 2, 0x2C}, {'W', 2, 0x0C}, {'W', 3, 0x20}, {'W', 4, 0x34}, {'W', 4, 0x12}},
       true},
      {"ReadData", [] { ReadData(); }, {{'W', 2, 0x24}, {'R', 4, 0xAB}}, false},
      {"WriteData16(0x1234)", [] { WriteData16(0x1234); }, {{'W', 4, 0x34}, {'W', 4, 0x12}}, false},
      {"BusReset", [] { BusReset(); }, {{'W', 2, 0x00}, {'W', 2, 0x04}}, false},
  };
}

class Primitives : public ::testing::TestWithParam<bool> {};

TEST_P(Primitives, MakeExactlyTheirPortAccesses) {
  const bool pending = GetParam();
  for (const PrimitiveCase &c : cases()) {
    RecordingPort port;
    port.script(2, {0x2C}); // control register reads: a non-default value
    port.script(4, {0xAB});
    if (pending)
      port.script(1, {0x01, 0x80, 0x00});
    c.call();
    std::vector<Access> expected;
    if (c.clears_first)
      expected = pending ? kPendingTimeout : kClean;
    expected.insert(expected.end(), c.after_clear.begin(), c.after_clear.end());
    EXPECT_EQ(to_string(port.accesses()), to_string(expected)) << c.name;
  }
}

INSTANTIATE_TEST_SUITE_P(Timeout, Primitives, ::testing::Bool(),
                         [](const auto &info) { return info.param ? "pending" : "clean"; });

TEST(WriteData, WritesFirstThenClearsTheTimeout) {
  RecordingPort port;
  port.script(1, {0x01, 0x01, 0x00});
  WriteData(0x7E);
  std::vector<Access> expected = {
      {'W', 4, 0x7E}, {'R', 1, 0x01}, {'R', 1, 0x01}, {'W', 1, 0x01}, {'R', 1, 0x00}};
  EXPECT_EQ(to_string(port.accesses()), to_string(expected));
}

TEST(ClrTimeout, ReportsWhetherTheFlagCleared) {
  struct Row {
    std::vector<std::uint8_t> status;
    int result;
    std::size_t accesses;
  } rows[] = {
      {{0x00}, 0, 1},             // nothing pending: one read only
      {{0x01, 0x01, 0x00}, 1, 4}, // cleared
      {{0x01, 0x01, 0x01}, 0, 4}, // still set after the write
  };
  for (const Row &row : rows) {
    RecordingPort port;
    port.script(1, row.status);
    EXPECT_EQ(ClrTimeout(), row.result);
    EXPECT_EQ(port.accesses().size(), row.accesses);
  }
}

TEST(ReadData, ReturnsTheByteZeroExtended) {
  RecordingPort port;
  port.script(4, {0xAB});
  EXPECT_EQ(ReadData(), 0x00AB);
}

TEST(BaseAddress, IsReadAfreshAtEveryCall) {
  RecordingPort port(0x278);
  ASSERT_EQ(InitializeParPort(), 0);
  SelWrt(0x03, 0x00);
  vorn_base_addr = 0x279; // one port up: the control register is now 0x27B
  BusReset();
  vorn_base_addr = 0x378; // outside the port opened at 0x278: reaches nothing
  BusReset();
  const auto &log = port.accesses();
  ASSERT_EQ(log.size(), 6u);
  EXPECT_EQ(log[2].offset, 3);
  EXPECT_EQ(log[4].offset, 3);
  EXPECT_EQ(log[5].offset, 3);
}

} // namespace
