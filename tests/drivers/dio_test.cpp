// Digital byte read and write by index, and the placeholders that must leave
// their callers' variables alone.
#include "param_name.h"
#include "recording_port.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

using vorn::test::Access;
using vorn::test::concat;
using vorn::test::RecordingPort;
using vorn::test::sel_addr;
using vorn::test::write_data;

constexpr int kNoSelection = -1; // an index with no register: refused

std::vector<Access> selection(int addr) {
  return addr == kNoSelection ? std::vector<Access>{} : sel_addr(static_cast<std::uint8_t>(addr));
}

struct ReadCase {
  int index;
  int addr;
  std::uint8_t byte;
};
void PrintTo(const ReadCase &c, std::ostream *os) { *os << "index " << c.index; }
class DioRead : public ::testing::TestWithParam<ReadCase> {};

TEST_P(DioRead, SelectsByIndexAndStoresTheByteZeroExtended) {
  const ReadCase c = GetParam();
  RecordingPort port;
  port.script(4, {c.byte});
  int value = -12345;
  const bool refused = c.addr == kNoSelection;
  EXPECT_EQ(vornDioRead(c.index, &value), refused ? -1 : 0);
  EXPECT_EQ(value, refused ? -12345 : c.byte);
  const std::vector<Access> data = {{'W', 2, 0x24}, {'R', 4, c.byte}};
  EXPECT_EQ(port.accesses(), refused ? std::vector<Access>{} : concat({selection(c.addr), data}))
      << to_string(port.accesses());
}

INSTANTIATE_TEST_SUITE_P(Table, DioRead,
                         ::testing::Values(ReadCase{0, 0x0D, 0xAB}, ReadCase{1, 0x0E, 0xFF},
                                           ReadCase{2, 0x0E, 0x00}, ReadCase{3, kNoSelection, 0x80},
                                           ReadCase{5, kNoSelection, 0x5A},
                                           ReadCase{-1, kNoSelection, 0x01}),
                         vorn::test::PrintedName());

struct WriteCase {
  int index;
  int value;
  int addr;
  std::uint8_t byte;
};
void PrintTo(const WriteCase &c, std::ostream *os) {
  *os << "index " << c.index << " value 0x" << std::hex << c.value;
}
class DioWrite : public ::testing::TestWithParam<WriteCase> {};

TEST_P(DioWrite, SelectsByIndexAndWritesTheLowByte) {
  const WriteCase c = GetParam();
  RecordingPort port;
  const bool refused = c.addr == kNoSelection;
  EXPECT_EQ(vornDioWrite(c.index, c.value), refused ? -1 : 0);
  EXPECT_EQ(port.accesses(),
            refused ? std::vector<Access>{} : concat({selection(c.addr), write_data(c.byte)}))
      << to_string(port.accesses());
}

INSTANTIATE_TEST_SUITE_P(Table, DioWrite,
                         ::testing::Values(WriteCase{0, 0x181, 0x1F, 0x81},
                                           WriteCase{2, 0x80, 0x1F, 0x80},
                                           WriteCase{1, 7, 0x41, 0x07},
                                           WriteCase{1, 0x1A5, 0x41, 0xA5},
                                           WriteCase{5, 0x1A5, kNoSelection, 0xA5},
                                           WriteCase{-1, -1, kNoSelection, 0xFF},
                                           WriteCase{3, 0x100, kNoSelection, 0x00}),
                         vorn::test::PrintedName());

// Each call with its output parameters holding odd values: the result must be
// 0, the values unchanged and the port untouched.
TEST(Placeholders, ReturnZeroAndLeaveOutputsAlone) {
  int flag = 5;
  unsigned char byte = 0xA7;
  unsigned short sh = 0xBEEF;
  unsigned int word = 0xDEADBEEF;
  double volts = -3.25;
  const std::pair<const char *, std::function<int()>> calls[] = {
      {"MaxLimitSwitchRead", [&] { return vornMaxLimitSwitchRead(0, &flag); }},
      {"MinLimitSwitchRead", [&] { return vornMinLimitSwitchRead(1, &flag); }},
      {"HomeSwitchRead", [&] { return vornHomeSwitchRead(2, &flag); }},
      {"AmpEnable", [] { return vornAmpEnable(0, 1); }},
      {"AmpFault", [&] { return vornAmpFault(3, &flag); }},
      {"DioInit", [] { return vornDioInit("x"); }},
      {"DioQuit", [] { return vornDioQuit(); }},
      {"DioMaxInputs", [] { return vornDioMaxInputs(); }},
      {"DioMaxOutputs", [] { return vornDioMaxOutputs(); }},
      {"DioCheck", [&] { return vornDioCheck(0, &flag); }},
      {"DioByteRead", [&] { return vornDioByteRead(0, &byte); }},
      {"DioShortRead", [&] { return vornDioShortRead(0, &sh); }},
      {"DioWordRead", [&] { return vornDioWordRead(0, &word); }},
      {"DioByteWrite", [] { return vornDioByteWrite(0, 0x12); }},
      {"DioShortWrite", [] { return vornDioShortWrite(0, 0x1234); }},
      {"DioWordWrite", [] { return vornDioWordWrite(0, 0x12345678); }},
      {"DioByteCheck", [&] { return vornDioByteCheck(1, &byte); }},
      {"DioShortCheck", [&] { return vornDioShortCheck(1, &sh); }},
      {"DioWordCheck", [&] { return vornDioWordCheck(1, &word); }},
      {"AioInit", [] { return vornAioInit(nullptr); }},
      {"AioQuit", [] { return vornAioQuit(); }},
      {"AioMaxInputs", [] { return vornAioMaxInputs(); }},
      {"AioMaxOutputs", [] { return vornAioMaxOutputs(); }},
      {"AioRead", [&] { return vornAioRead(0, &volts); }},
      {"AioWrite", [] { return vornAioWrite(0, 5.0); }},
      {"AioCheck", [&] { return vornAioCheck(0, &volts); }},
  };
  RecordingPort port;
  for (const auto &[name, call] : calls) {
    EXPECT_EQ(call(), 0) << name;
    EXPECT_EQ(flag, 5) << name;
    EXPECT_EQ(byte, 0xA7) << name;
    EXPECT_EQ(sh, 0xBEEF) << name;
    EXPECT_EQ(word, 0xDEADBEEFu) << name;
    EXPECT_EQ(volts, -3.25) << name;
  }
  EXPECT_TRUE(port.accesses().empty());
}

} // namespace
