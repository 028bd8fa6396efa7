// The three switch reads of the ext interface report fixed states for any
// axis, valid or not, and never reach the boards or print.
#include "extintf.h"
#include "recording_port.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

struct SwitchRead {
  const char *name;
  int (*read)(int, int *);
  int state;
};

constexpr SwitchRead kSwitches[] = {
    {"extMaxLimitSwitchRead", extMaxLimitSwitchRead, 0},
    {"extMinLimitSwitchRead", extMinLimitSwitchRead, 0},
    {"extHomeSwitchRead", extHomeSwitchRead, 1},
};

constexpr int kAxes[] = {0, 1, 2, 3, 4, 99, -1, INT_MIN, INT_MAX};

TEST(ExtSwitches, FixedStateForAnyAxisWithoutBusTraffic) {
  vorn::test::RecordingPort port;
  for (const SwitchRead &s : kSwitches) {
    for (int axis : kAxes) {
      SCOPED_TRACE(std::string(s.name) + " axis " + std::to_string(axis));
      for (int before : {7, -5, 1 - s.state}) {
        int flag = before;
        testing::internal::CaptureStdout();
        EXPECT_EQ(s.read(axis, &flag), 0);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
        EXPECT_EQ(flag, s.state);
      }
    }
  }
  EXPECT_TRUE(port.accesses().empty()) << vorn::test::to_string(port.accesses());
}

} // namespace
