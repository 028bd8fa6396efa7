// Rate generator driver: counts from volts, the bytes and control byte on the
// bus, and the printed reports.
#include "param_name.h"
#include "recording_port.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <limits>

namespace {

using vorn::test::Access;
using vorn::test::concat;
using vorn::test::RecordingPort;
using vorn::test::sel_addr;
using vorn::test::sel_wrt;
using vorn::test::write_data;

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Selection, the given data bytes one by one, then the control register.
std::vector<Access> rate_write(std::uint8_t addr, const std::vector<std::uint8_t> &bytes,
                               std::uint8_t ctrl) {
  std::vector<Access> out = sel_addr(addr);
  for (std::uint8_t b : bytes)
    out = concat({out, write_data(b)});
  return concat({out, sel_wrt(0x1C, ctrl)});
}

struct CountCase {
  double volts;
  long count;
  std::uint8_t ctrl; // control byte when written to channel 0
};
void PrintTo(const CountCase &c, std::ostream *os) { *os << c.volts << " V"; }
const CountCase kCounts[] = {
    {0.0, 0xFFFFFF, 0},          {-0.0, 0xFFFFFF, 0},     {0.0003, 16666664, 0},
    {0.001, 4999998, 0},         {-0.001, 4999998, 0x01}, {0.0011, 4545452, 0x02},
    {1.0, 4998, 0x02},           {5.0, 998, 0x02},        {10.0, 498, 0x02},
    {-10.0, 498, 0x03},          {12.4, 401, 0x02},       {12.44, 400, 0x02},
    {20.0, 400, 0x02},           {kInf, 400, 0x02},       {-kInf, 400, 0x03},
    {DBL_MAX, 400, 0x02},        {0.0001, 0xFFFFFF, 0},   {1e-17, 0xFFFFFF, 0},
    {DBL_TRUE_MIN, 0xFFFFFF, 0}, {kNaN, 0xFFFFFF, 0},     {-kNaN, 0xFFFFFF, 0},
};

class Counts : public ::testing::TestWithParam<CountCase> {};

TEST_P(Counts, ConvertAndReachChannelZero) {
  const CountCase c = GetParam();
  EXPECT_EQ(VoltToCounts(c.volts), c.count);
  RecordingPort port;
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(vornRateWrite(0, c.volts), 0);
  ::testing::internal::GetCapturedStdout();
  const std::vector<std::uint8_t> bytes = {static_cast<std::uint8_t>(c.count),
                                           static_cast<std::uint8_t>(c.count >> 8),
                                           static_cast<std::uint8_t>(c.count >> 16)};
  EXPECT_EQ(port.accesses(), rate_write(0x10, bytes, c.ctrl)) << to_string(port.accesses());
}

INSTANTIATE_TEST_SUITE_P(Table, Counts, ::testing::ValuesIn(kCounts), vorn::test::PrintedName());

struct ChannelCase {
  int channel;
  double volts;
  std::uint8_t addr;
  std::vector<std::uint8_t> bytes;
  std::uint8_t ctrl;
  const char *report;
};
void PrintTo(const ChannelCase &c, std::ostream *os) {
  *os << "channel " << c.channel << ", " << c.volts << " V";
}
const ChannelCase kChannels[] = {
    {0,
     10.0,
     0x10,
     {0xF2, 0x01, 0x00},
     0x02,
     "Writing to rate gen at addr 0x10\n"
     " rate_gen channel 0 count 498 CtlByt 2    Count  0  1 f2 \n"
     "writing to rate ctrl reg at 0x1c\n"},
    {1,
     -10.0,
     0x13,
     {0xF2, 0x01, 0x00},
     0x0C,
     "Writing to rate gen at addr 0x13\n"
     " rate_gen channel 1 count 498 CtlByt c    Count  0  1 f2 \n"
     "writing to rate ctrl reg at 0x1c\n"},
    {2,
     0.001,
     0x16,
     {0x3E, 0x4B, 0x4C},
     0x00,
     "Writing to rate gen at addr 0x16\n"
     " rate_gen channel 2 count 4999998 CtlByt 0    Count 4c 4b 3e \n"
     "writing to rate ctrl reg at 0x1c\n"},
    {2,
     0.0,
     0x16,
     {0xFF, 0xFF, 0xFF},
     0x00,
     "Writing to rate gen at addr 0x16\n"
     " rate_gen channel 2 count 16777215 CtlByt 0    Count ff ff ff \n"
     "writing to rate ctrl reg at 0x1c\n"},
    {3,
     -0.5,
     0x19,
     {0x0E, 0x27, 0x00},
     0xC0,
     "Writing to rate gen at addr 0x19\n"
     " rate_gen channel 3 count 9998 CtlByt c0    Count  0 27  e \n"
     "writing to rate ctrl reg at 0x1c\n"},
};

class OneChannel : public ::testing::TestWithParam<ChannelCase> {};

TEST_P(OneChannel, WritesCountAndOnlyItsOwnControlBits) {
  const ChannelCase &c = GetParam();
  RecordingPort port;
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(vornRateWrite(c.channel, c.volts), 0);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), c.report);
  EXPECT_EQ(port.accesses(), rate_write(c.addr, c.bytes, c.ctrl)) << to_string(port.accesses());
}

INSTANTIATE_TEST_SUITE_P(Table, OneChannel, ::testing::ValuesIn(kChannels),
                         vorn::test::PrintedName());

TEST(RateWrite, BadChannelIsRefusedSilently) {
  for (int channel : {4, -1, INT_MAX, INT_MIN}) {
    RecordingPort port;
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(vornRateWrite(channel, 1.0), -1) << channel;
    EXPECT_EQ(RawRate(channel, 1.0), -1) << channel;
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    EXPECT_TRUE(port.accesses().empty()) << channel;
  }
}

struct AllCase {
  const char *name;
  int max;
  std::vector<double> volts; // exactly what the call may read
  std::vector<std::uint8_t> bytes;
  std::uint8_t ctrl;
  const char *report;
};
void PrintTo(const AllCase &c, std::ostream *os) { *os << c.name; }
const AllCase kAll[] = {
    {"Four",
     4,
     {10.0, -5.0, 0.0, 0.0005},
     {0xF2, 0x01, 0x00, 0xE6, 0x03, 0x00, 0xFF, 0xFF, 0xFF, 0x7E, 0x96, 0x98},
     0x0E,
     " rate_gen channel 0 count 498 CtlByt 2    Count  0  1 f2 \n"
     " rate_gen channel 1 count 998 CtlByt e    Count  0  3 e6 \n"
     " rate_gen channel 2 count 16777215 CtlByt e    Count ff ff ff \n"
     " rate_gen channel 3 count 9999998 CtlByt e    Count 98 96 7e \n"},
    {"SixReadsFour",
     6,
     {1.0, 2.5, -20.0, -0.0005},
     {0x86, 0x13, 0x00, 0xCE, 0x07, 0x00, 0x90, 0x01, 0x00, 0x7E, 0x96, 0x98},
     0x7A,
     " rate_gen channel 0 count 4998 CtlByt 2    Count  0 13 86 \n"
     " rate_gen channel 1 count 1998 CtlByt a    Count  0  7 ce \n"
     " rate_gen channel 2 count 400 CtlByt 3a    Count  0  1 90 \n"
     " rate_gen channel 3 count 9999998 CtlByt 7a    Count 98 96 7e \n"},
    {"TwoClearsTheOthers",
     2,
     {-1.0, 5.0},
     {0x86, 0x13, 0x00, 0xE6, 0x03, 0x00},
     0x0B,
     " rate_gen channel 0 count 4998 CtlByt 3    Count  0 13 86 \n"
     " rate_gen channel 1 count 998 CtlByt b    Count  0  3 e6 \n"},
    {"Zero", 0, {}, {}, 0x00, ""},
    {"Negative", -2, {}, {}, 0x00, ""},
};

class AllChannels : public ::testing::TestWithParam<AllCase> {};

TEST_P(AllChannels, WriteInOneRunThenTheControlByte) {
  const AllCase &c = GetParam();
  std::vector<double> volts = c.volts; // heap block of this size: an over-read is caught
  RecordingPort port;
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(vornRateWriteAll(c.max, volts.data()), 0);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), c.report);
  EXPECT_EQ(port.accesses(), rate_write(0x10, c.bytes, c.ctrl)) << to_string(port.accesses());
}

INSTANTIATE_TEST_SUITE_P(Table, AllChannels, ::testing::ValuesIn(kAll),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
