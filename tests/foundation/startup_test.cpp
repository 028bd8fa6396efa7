// The bus traffic of driver start-up and shut-down, and the refusal path.
#include "recording_port.h"

#include "extintf.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace {

using namespace vorn::test;

std::vector<Access> rate_reset() {
  return concat({sel_wrt(0x1C, 0x00), write_data(0xC8), write_data(0xC8)});
}

std::vector<Access> encoder_startup() {
  return concat({sel_wrt(0x03, 0x00), sel_wrt(0x04, 0x10), sel_wrt(0x00, 0x05), write_data(0x02),
                 write_data(0x00), sel_wrt(0x03, 0xF0), sel_wrt(0x03, 0xF0),
                 sel_wrt(0x03, 0x00)});
}

struct LifecycleCase {
  const char *name;
  int (*call)();
  std::vector<Access> traffic;
};

int mot_init() { return vornMotInit(nullptr); }
int mot_init_with_string() { return vornMotInit("anything"); }
int ext_init() { return extMotInit(nullptr); }
int rate_init() { return RateInit(); }
int rate_quit() { return RateQuit(); }

TEST(Lifecycle, BusTrafficAndResults) {
  const std::vector<Access> startup = concat({rate_reset(), encoder_startup()});
  const LifecycleCase cases[] = {
      {"vornMotInit(NULL)", mot_init, startup},
      {"vornMotInit(\"anything\")", mot_init_with_string, startup},
      {"extMotInit(NULL)", ext_init, startup},
      {"vornMotQuit", vornMotQuit, rate_reset()},
      {"extMotQuit", extMotQuit, rate_reset()},
      {"RateInit", rate_init, rate_reset()},
      {"RateQuit", rate_quit, rate_reset()},
      {"EncoderInit", EncoderInit, encoder_startup()},
      {"EncoderQuit", EncoderQuit, {}},
      {"DIOInit", DIOInit, {}},
      {"DIOQuit", DIOQuit, {}},
  };
  for (const LifecycleCase &c : cases) {
    RecordingPort port;
    EXPECT_EQ(c.call(), 0) << c.name;
    EXPECT_EQ(to_string(port.accesses()), to_string(c.traffic)) << c.name;
  }
}

TEST(Lifecycle, StartUpRequestsTheFivePortsAtTheBase) {
  RecordingPort port(0x2F8);
  vornMotInit(nullptr);
  EXPECT_EQ(port.requests(), 1);
  EXPECT_EQ(port.requested_first(), 0x2F8u);
  EXPECT_EQ(port.requested_count(), 5u);
}

TEST(Lifecycle, RefusedAccessMakesNoPortAccessAndSetsErrno) {
  for (int err : {EPERM, ENOSYS, EINVAL}) {
    RecordingPort port;
    port.refuse_access(err);
    errno = 0;
    EXPECT_EQ(extMotInit(nullptr), -1);
    EXPECT_EQ(errno, err);
    EXPECT_TRUE(port.accesses().empty());
  }
}

TEST(HardwarePort, RefusesRangesPastTheLastPort) {
  EXPECT_EQ(vorn::hardware_port().request(0xFFFC, 5), EINVAL);
  EXPECT_EQ(vorn::hardware_port().request(0xFFFFFFFF, 5), EINVAL);
}

TEST(HardwarePort, UngrantedAccessesAreDroppedNotFatal) {
  // this machine grants no port access, so nothing here may fault
  EXPECT_EQ(vorn::hardware_port().read(0x37C), 0xFF);
  vorn::hardware_port().write(0x37A, 0x04);
}

} // namespace
