// An encoder that moves a quarter of the 24-bit range between two reads:
// the count extension must follow every wrap exactly up to that limit, and
// beyond it loses whole turns of 16,777,216 counts.
#include "output_shape.h"
#include "sim_run.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace diagtest;
using namespace reliability;

constexpr long kQuarter = 4194304; // 2^22
constexpr long kRange = 16777216;  // 2^24
// A pos pass costs 32 port accesses on a clean bus, so the latches of two
// passes lie 32 x access_time_us apart.
constexpr long kAccessesPerPass = 32;

struct RangeCase {
  const char *name;
  long velocity;       // counts per second
  long access_time_us; // velocity x 32 x access time = the move per pass
  long move;
  bool exact;
};

void PrintTo(const RangeCase &c, std::ostream *os) { *os << c.name; }

const RangeCase kCases[] = {
    {"AtTheLimit", 6553600, 20000, kQuarter, true},
    {"JustBelow", 6553500, 20000, 4194240, true},
    {"Downwards", -6553600, 20000, -kQuarter, true},
    {"BeyondTheLimit", 8192000, 20000, kQuarter + kQuarter / 4, false},
};

class QuarterRange : public testing::TestWithParam<RangeCase> {};

TEST_P(QuarterRange, CountExtension) {
  const RangeCase &c = GetParam();
  ASSERT_EQ(c.velocity * c.access_time_us / 1000000 * kAccessesPerPass, c.move);
  const std::string rig = "access_time_us = " + std::to_string(c.access_time_us) +
                          "\ninterrupt_after = 1600\n[encoders]\nvelocity = [" +
                          std::to_string(c.velocity) + ", 0, 0, 0]\n";
  SimRun run = run_sim({{"378", "pos"}, rig, "", {}});
  EXPECT_EQ(run.result.exit_status, 0);
  ASSERT_TRUE(run.shut_down);

  const std::vector<std::string> passes = split(after(run.result.out, kStartLines), '\r');
  ASSERT_GE(passes.size(), 40u);
  long turns_lost = 0;
  for (std::size_t i = 1; i < passes.size(); ++i) {
    const long moved = counts_of(passes[i])[0] - counts_of(passes[i - 1])[0];
    if (c.exact)
      ASSERT_EQ(moved, c.move) << "pass " << i << ": " << passes[i - 1] << " -> " << passes[i];
    else if (moved != c.move)
      turns_lost += (moved == c.move - kRange) ? 1 : 1000;
    EXPECT_EQ(counts_of(passes[i])[1], 517) << "an axis at rest";
  }
  if (c.exact)
    EXPECT_GE(std::labs(counts_of(passes.back())[0]), 8 * kRange) << "too few wraps to tell";
  else
    EXPECT_GE(turns_lost, 1) << "no turn lost beyond the limit";
  EXPECT_LT(turns_lost, 1000) << "a jump other than a lost turn";
}

INSTANTIATE_TEST_SUITE_P(Reliability, QuarterRange, testing::ValuesIn(kCases),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
