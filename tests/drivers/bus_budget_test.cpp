// The servo loop's bus cost: one count read and one rate write of all four
// channels, on a port with no timeout pending.
#include "encoder_bus.h"

#include <gtest/gtest.h>

namespace {

TEST(ServoCycle, TakesSixtyThreePortAccesses) {
  vorn::test::RecordingPort port;
  vorn::test::script_counts(port, {1, 2, 3, 4});
  double counts[4];
  vornEncoderReadAll(4, counts);
  EXPECT_EQ(port.accesses().size(), 32u) << "latch 16, selection and direction 4, reads 12";
  double volts[4] = {1.0, -1.0, 0.0, 12.0};
  ::testing::internal::CaptureStdout();
  vornRateWriteAll(4, volts);
  ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(port.accesses().size(), 63u) << "selection 3, twelve data writes 24, control 4";
}

} // namespace
