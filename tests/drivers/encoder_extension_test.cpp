// Extension of the 24-bit counters to continuous 32-bit counts.
#include "encoder_bus.h"
#include "param_name.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {

using vorn::test::RawCounts;
using vorn::test::read_counts;
using vorn::test::RecordingPort;

constexpr std::uint32_t kQuiet = 0x800000; // mid-range: never seen as a wrap

// Reads `raw` on encoder `enc` while the other three sit at kQuiet.
double read_one(RecordingPort &port, int enc, std::uint32_t raw) {
  RawCounts all = {kQuiet, kQuiet, kQuiet, kQuiet};
  all[enc] = raw;
  const auto counts = read_counts(port, all);
  for (int i = 0; i < 4; ++i)
    if (i != enc) {
      EXPECT_EQ(counts[i], double{kQuiet}) << "encoder " << i;
    }
  return counts[enc];
}

// Quarters of count byte 2; a wrap is seen only between the top and bottom.
struct QuarterPair {
  int from, to;
  int high_step; // change of the software high byte
};
const QuarterPair kQuarterPairs[] = {
    {0, 0, 0}, {0, 1, 0}, {0, 2, 0}, {0, 3, -1}, {1, 0, 0}, {1, 1, 0}, {1, 2, 0}, {1, 3, 0},
    {2, 0, 0}, {2, 1, 0}, {2, 2, 0}, {2, 3, 0},  {3, 0, 1}, {3, 1, 0}, {3, 2, 0}, {3, 3, 0},
};
void PrintTo(const QuarterPair &p, std::ostream *os) {
  *os << "quarter " << p.from << " to " << p.to;
}

class QuarterPairs : public ::testing::TestWithParam<std::tuple<QuarterPair, int>> {};

// Both ends of each quarter, on every encoder; the step shows as the change
// of the 32-bit count between the two reads, modulo 2^32.
TEST_P(QuarterPairs, StepTheHighByteOnlyAcrossTopAndBottom) {
  const auto [pair, enc] = GetParam();
  RecordingPort port;
  for (std::uint32_t from_end : {0x00u, 0x3Fu})
    for (std::uint32_t to_end : {0x00u, 0x3Fu}) {
      const std::uint32_t from = (pair.from * 0x40u + from_end) << 16 | 0x1234;
      const std::uint32_t to = (pair.to * 0x40u + to_end) << 16 | 0x5678;
      const auto before = static_cast<std::int64_t>(read_one(port, enc, from));
      const auto after = static_cast<std::int64_t>(read_one(port, enc, to));
      const std::uint32_t expected = to - from + (static_cast<std::uint32_t>(pair.high_step) << 24);
      EXPECT_EQ(static_cast<std::uint32_t>(after - before), expected)
          << std::hex << "from 0x" << from << " to 0x" << to;
    }
}

INSTANTIATE_TEST_SUITE_P(EveryPair, QuarterPairs,
                         ::testing::Combine(::testing::ValuesIn(kQuarterPairs),
                                            ::testing::Range(0, 4)),
                         [](const auto &info) {
                           return vorn::test::name_of_text(
                                      testing::PrintToString(std::get<0>(info.param))) +
                                  "_encoder_" + std::to_string(std::get<1>(info.param));
                         });

// Readings from process start (the extension bytes start at 0).
struct Run {
  const char *name;
  std::vector<std::uint32_t> raw;
  std::vector<double> counts;
};
void PrintTo(const Run &r, std::ostream *os) { *os << r.name; }
const Run kRuns[] = {
    {"UpwardWrap", {0x800000, 0xFFFFFF, 0x000001}, {8388608, 16777215, 16777217}},
    {"DownwardWrap", {5, 16777200}, {5, -16}},
    {"MiddleToBottomIsNoWrap", {0xBF0000, 0x000000}, {12517376, 0}},
    {"TopToMiddleIsNoWrap", {0xC00000, 0x400000}, {-4194304, -12582912}},
    {"BottomEdgeToTopEdge", {0x3F0000, 0xC00000}, {4128768, -4194304}},
    {"FirstReadInTopQuarterIsNegative", {12582912}, {-4194304}},
    {"FirstReadBelowTopQuarterIsPositive", {12582911}, {12582911}},
    {"HighByteWrapsFromFFToZero", {0xFFFFFF, 0}, {-1, 0}},
    {"HighByteWrapsFromZeroToFF", {0x000000, 0xFFFFFE}, {0, -2}},
};

class Runs : public ::testing::TestWithParam<std::tuple<Run, int>> {};

TEST_P(Runs, GiveTheseCounts) {
  const auto [run, enc] = GetParam();
  RecordingPort port;
  for (std::size_t i = 0; i < run.raw.size(); ++i)
    EXPECT_EQ(read_one(port, enc, run.raw[i]), run.counts[i]) << "read " << i;
}

INSTANTIATE_TEST_SUITE_P(FromStart, Runs,
                         ::testing::Combine(::testing::ValuesIn(kRuns), ::testing::Range(0, 4)),
                         [](const auto &info) {
                           return std::string(std::get<0>(info.param).name) + "_enc" +
                                  std::to_string(std::get<1>(info.param));
                         });

} // namespace
