// The C interface, used from a C translation unit.
#include "c_client.h"
#include "vornsim.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

namespace {

class CApi : public ::testing::Test {
protected:
  // The rate driver reports every write on standard output.
  void SetUp() override { ASSERT_NE(std::freopen("/dev/null", "w", stdout), nullptr); }
};

TEST_F(CApi, DefaultRigDrivesTheEncoderFromTheRateChannel) {
  EXPECT_EQ(vornsim_counter(0), -1) << "nothing installed yet";
  // -5 V: direction bit set, counting up, 10000 pulses per second, for
  // 100 ms of simulated time and whatever real time passes meanwhile.
  const long count = c_client_run(nullptr, 100000);
  EXPECT_GE(count, 1000 + 1000 - 1);
  EXPECT_LE(count, 1000 + 1000 + 500);
  EXPECT_GE(vornsim_now_us(), 100000u);
  EXPECT_EQ(c_client_loopback(0x181), 0x81);
  EXPECT_EQ(vornsim_dig_out(0), 0x81);
  vornsim_set_dig_in(0, 0x3C);
  EXPECT_EQ(c_client_loopback(0x00), 0x3C);
}

TEST_F(CApi, RigErrorIsPrintedAndRefused) {
  const char *path = "c_api_bad_rig.toml";
  std::ofstream(path) << "clock = \"slow\"\n";
  testing::internal::CaptureStderr();
  EXPECT_EQ(c_client_run(path, 0), -1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "c_api_bad_rig.toml:1: 'clock' must be \"wall\" or \"virtual\"\n");
  std::remove(path);
}

} // namespace
