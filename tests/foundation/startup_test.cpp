// The bus traffic of driver start-up and shut-down, and the refusal path.
#include "backends.h"
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
                 write_data(0x00), sel_wrt(0x03, 0xF0), sel_wrt(0x03, 0xF0), sel_wrt(0x03, 0x00)});
}

struct LifecycleCase {
  const char *name;
  int (*call)();
  std::vector<Access> traffic;
};

int mot_init() { return vornMotInit(nullptr); }
int mot_init_with_string() { return vornMotInit("auto"); }
int ext_init() { return extMotInit(nullptr); }
int rate_init() { return RateInit(); }
int rate_quit() { return RateQuit(); }

TEST(Lifecycle, BusTrafficAndResults) {
  const std::vector<Access> startup = concat({rate_reset(), encoder_startup()});
  const LifecycleCase cases[] = {
      {"vornMotInit(NULL)", mot_init, startup},
      {"vornMotInit(\"auto\")", mot_init_with_string, startup},
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

TEST(Lifecycle, StartUpOpensThePortAtTheBaseAndShutDownReleasesIt) {
  RecordingPort port(0x2F8);
  vornMotInit(nullptr);
  EXPECT_EQ(port.opens(), 1);
  EXPECT_EQ(port.opened_base(), 0x2F8u);
  EXPECT_EQ(port.releases(), 1) << "whatever was held before is given back first";
  vornMotQuit();
  EXPECT_EQ(port.releases(), 2);
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

TEST(RawPort, RefusesRangesPastTheLastPort) {
  vorn::PortBackend &raw = *vorn::find_backend("raw");
  EXPECT_EQ(raw.open(0xFFFC), EINVAL);
  EXPECT_EQ(raw.open(0xFFFFFFFF), EINVAL);
}

TEST(RawPort, UngrantedAccessesAreDroppedNotFatal) {
  // this machine grants no port access, so nothing here may fault
  vorn::PortBackend &raw = *vorn::find_backend("raw");
  EXPECT_EQ(raw.read(vorn::Reg::epp_data), 0xFF);
  raw.write(vorn::Reg::control, 0x04);
}

} // namespace
