// Encoder entry points: the port accesses of a count read, how many counts
// they hand out, the index bits and the interrupt period codes.
#include "encoder_bus.h"
#include "param_name.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <functional>

namespace {

using vorn::test::Access;
using vorn::test::concat;
using vorn::test::latched_count_read;
using vorn::test::RawCounts;
using vorn::test::read_counts;
using vorn::test::RecordingPort;
using vorn::test::script_counts;
using vorn::test::sel_wrt;

const RawCounts kRaw = {0x030201, 0x060504, 0x090807, 0x0C0B0A};

TEST(EncoderReadAll, LatchesThenReadsTwelveBytesStraightFromTheDataRegister) {
  RecordingPort port(0x278);
  script_counts(port, kRaw);
  double counts[4];
  EXPECT_EQ(vornEncoderReadAll(4, counts), 0);
  EXPECT_EQ(port.accesses(), latched_count_read(kRaw)) << to_string(port.accesses());
  EXPECT_EQ(counts[0], 0x030201);
  EXPECT_EQ(counts[3], 0x0C0B0A);
}

// Which entries of `counts` a call writes: counts for the first min(max, 4),
// zero beyond, and nothing at all for max <= 0; the board is read every time.
struct MaxCase {
  int max;
  int counted, zeroed;
};
void PrintTo(const MaxCase &c, std::ostream *os) { *os << "max " << c.max; }
class ReadAllMax : public ::testing::TestWithParam<MaxCase> {};

TEST_P(ReadAllMax, FillsOnlyTheAskedEntries) {
  const MaxCase c = GetParam();
  constexpr double kUntouched = -99.5;
  RecordingPort port;
  script_counts(port, kRaw);
  double counts[8];
  std::fill(std::begin(counts), std::end(counts), kUntouched);
  EXPECT_EQ(vornEncoderReadAll(c.max, counts), 0);
  EXPECT_EQ(port.accesses(), latched_count_read(kRaw));
  for (int t = 0; t < 8; ++t) {
    const double expected = t < c.counted              ? double(kRaw[t])
                            : t < c.counted + c.zeroed ? 0.0
                                                       : kUntouched;
    EXPECT_EQ(counts[t], expected) << "entry " << t;
  }
}

INSTANTIATE_TEST_SUITE_P(Table, ReadAllMax,
                         ::testing::Values(MaxCase{-3, 0, 0}, MaxCase{0, 0, 0}, MaxCase{2, 2, 0},
                                           MaxCase{4, 4, 0}, MaxCase{6, 4, 2}),
                         vorn::test::PrintedName());

// A read that hands out no counts still moves every encoder's extension.
TEST(EncoderReadAll, UpdatesAllExtensionsWhateverMax) {
  RecordingPort port;
  script_counts(port, {0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF});
  double none[1] = {7.0};
  vornEncoderReadAll(0, none);
  EXPECT_EQ(none[0], 7.0);
  const auto counts = read_counts(port, {0x7FFFFF, 0x7FFFFF, 0x7FFFFF, 0x7FFFFF});
  for (double c : counts)
    EXPECT_EQ(c, -8388609.0);
}

TEST(EncoderRead, StoresTheAskedEncodersCountAfterAFullRead) {
  for (int enc = 0; enc < 4; ++enc) {
    RecordingPort port;
    script_counts(port, kRaw);
    double c = -1;
    EXPECT_EQ(vornEncoderRead(enc, &c), 0);
    EXPECT_EQ(c, double(kRaw[enc]));
    EXPECT_EQ(port.accesses(), latched_count_read(kRaw));
  }
}

TEST(EncoderRead, BadNumberGivesZeroWithoutBusTraffic) {
  for (int enc : {4, -1, INT_MAX, INT_MIN}) {
    RecordingPort port;
    double c = 3.0;
    EXPECT_EQ(vornEncoderRead(enc, &c), 0);
    EXPECT_EQ(c, 0.0) << enc;
    EXPECT_TRUE(port.accesses().empty()) << enc;
  }
}

// SelRead(0x0C) with the control register reading 0x00.
std::vector<Access> index_sense_read(std::uint8_t value) {
  return {{'R', 1, 0}, {'R', 2, 0},    {'W', 2, 0x00}, {'W', 3, 0x0C},
          {'R', 2, 0}, {'W', 2, 0x20}, {'R', 4, value}};
}

struct IndexCase {
  int encoder;
  std::uint8_t sense;
  int result, flag; // flag stays at its sentinel when refused
};
void PrintTo(const IndexCase &c, std::ostream *os) {
  *os << "encoder " << c.encoder << " sense 0x" << std::hex << int{c.sense};
}
constexpr int kSentinel = 42;
const IndexCase kIndexCases[] = {
    {2, 0x04, 0, 1},
    {2, 0xFB, 0, 0},
    {0, 0x01, 0, 1},
    {0, 0xFE, 0, 0},
    {3, 0x08, 0, 1},
    {3, 0xF7, 0, 0},
    {4, 0x10, 0, 1},
    {4, 0xEF, 0, 0},
    {5, 0xFF, -1, kSentinel},
    {-1, 0xFF, -1, kSentinel},
    {INT_MIN, 0xFF, -1, kSentinel},
};

// The three entry points that read the index sense register; only the first
// two hand the caller a flag.
struct IndexEntry {
  const char *name;
  std::function<int(int, int *)> call;
  bool reports_flag;
};
void PrintTo(const IndexEntry &e, std::ostream *os) { *os << e.name; }
const IndexEntry kIndexEntries[] = {
    {"ReadLatch", vornEncoderReadLatch, true},
    {"ReadLevel", vornEncoderReadLevel, true},
    {"ResetIndex", [](int e, int *) { return vornEncoderResetIndex(e); }, false},
};

class IndexBits : public ::testing::TestWithParam<std::tuple<IndexCase, IndexEntry>> {};

TEST_P(IndexBits, TestTheEncodersBitOfTheSenseRegister) {
  const auto [c, entry] = GetParam();
  RecordingPort port;
  port.script(4, {c.sense});
  int flag = kSentinel;
  EXPECT_EQ(entry.call(c.encoder, &flag), c.result);
  EXPECT_EQ(flag, entry.reports_flag ? c.flag : kSentinel);
  const auto expected = c.result == 0 ? index_sense_read(c.sense) : std::vector<Access>{};
  EXPECT_EQ(port.accesses(), expected) << to_string(port.accesses());
}

INSTANTIATE_TEST_SUITE_P(Table, IndexBits,
                         ::testing::Combine(::testing::ValuesIn(kIndexCases),
                                            ::testing::ValuesIn(kIndexEntries)),
                         vorn::test::PrintedName());

// All four bits from one read of the register; bit 4 and up belong to no
// encoder and stay out.
TEST(EncoderIndexAll, HandsOutTheFourEncoderBitsOfOneRead) {
  const std::pair<std::uint8_t, unsigned> table[] = {
      {0x00, 0x0}, {0x01, 0x1}, {0x0A, 0xA}, {0x0F, 0xF}, {0xF0, 0x0}, {0xFF, 0xF}, {0x18, 0x8},
  };
  for (const auto &[sense, bits] : table) {
    RecordingPort port;
    port.script(4, {sense});
    unsigned got = 99;
    EXPECT_EQ(vornEncoderIndexAll(&got), 0);
    EXPECT_EQ(got, bits) << int{sense};
    EXPECT_EQ(port.accesses(), index_sense_read(sense)) << to_string(port.accesses());
  }
}

TEST(SelectInterruptPeriod, WritesTheCodeOfAKnownPeriodOnly) {
  const std::pair<long, int> table[] = {
      {500, 0x0B},  {1000, 0x16},  {2000, 0x00},   {3000, 0x10},    {4000, 0x10},
      {5000, 0x10}, {10000, 0x10}, {100000, 0x10}, {1000000, 0x10}, {750, -1},
      {0, -1},      {-500, -1},    {499, -1},      {LONG_MAX, -1},
  };
  for (const auto &[period, code] : table) {
    RecordingPort port;
    SelectInterruptPeriod(period);
    const auto expected =
        code < 0 ? std::vector<Access>{} : sel_wrt(0x04, static_cast<std::uint8_t>(code));
    EXPECT_EQ(port.accesses(), expected) << period;
  }
}

} // namespace
