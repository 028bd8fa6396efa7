// How the port in use was reached, as vornPortWay() tells a front end: the
// way by the port's name, and the kernel's port at the base, asked only for
// the PC's own ways, with its modes.
#include "bus.h"
#include "fake_ppdev.h"
#include "vorn.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <optional>
#include <string>

namespace {

// A started port that answers nothing, by the name of a way.
class Named final : public vorn::PortBackend {
public:
  explicit Named(const char *name) : name_(name) {}
  const char *name() const override { return name_; }
  int open(std::uint32_t) override { return 0; }
  std::uint8_t read(vorn::Reg) override { return 0xFF; }
  void write(vorn::Reg, std::uint8_t) override {}

private:
  const char *name_;
};

struct WayCase {
  const char *name;
  const char *port;
  std::uint32_t base;                  // vorn_base_addr
  std::optional<std::uint32_t> listed; // the kernel's port
  bool epp;
  int way;
  int is_listed;
  const char *device;
  const char *modes;
  int epp_seen;
};

const WayCase kWays[] = {
    {"Raw", "raw", 0x378, 0x378, true, VORN_WAY_RAW, 1, "/dev/parport0", "PCSPP,TRISTATE,EPP", 1},
    {"RawWithoutEpp", "raw", 0x378, 0x378, false, VORN_WAY_RAW, 1, "/dev/parport0",
     "PCSPP,TRISTATE", 0},
    {"RawUnlisted", "raw", 0x378, std::nullopt, true, VORN_WAY_RAW, 0, "", "", -1},
    {"Device", "device", 0x278, 0x278, true, VORN_WAY_DEVICE, 1, "/dev/parport0",
     "PCSPP,TRISTATE,EPP", 1},
    {"DeviceListedElsewhere", "device", 0x378, 0x278, true, VORN_WAY_DEVICE, 0, "", "", -1},
    {"SimulatorAsksNoKernel", "sim", 0x378, 0x378, true, VORN_WAY_OTHER, 0, "", "", -1},
};

class PortWayCall : public testing::TestWithParam<WayCase> {
protected:
  PortWayCall() { kernel.install(); }
  ~PortWayCall() override {
    kernel.uninstall();
    vorn_base_addr = 0x378;
  }
  vorn::sim::Simulator boards;
  vorn::test::FakePpdev kernel{boards};
};

TEST_P(PortWayCall, TellsTheWayAndTheKernelsPort) {
  const WayCase &c = GetParam();
  kernel.list_port(c.listed);
  kernel.set_hardware({c.epp, true});
  vorn_base_addr = c.base;
  Named port(c.port);
  vorn::ScopedBackend in_place(port);
  vorn_port_way way;
  ASSERT_EQ(vornPortWay(&way), 0);
  EXPECT_EQ(way.way, c.way);
  EXPECT_STREQ(way.name, c.port);
  EXPECT_EQ(way.base, c.base);
  EXPECT_EQ(way.listed, c.is_listed);
  EXPECT_STREQ(way.device, c.device);
  EXPECT_STREQ(way.modes, c.modes);
  EXPECT_EQ(way.epp, c.epp_seen);
}

INSTANTIATE_TEST_SUITE_P(EveryWay, PortWayCall, testing::ValuesIn(kWays),
                         [](const testing::TestParamInfo<WayCase> &info) {
                           return std::string(info.param.name);
                         });

TEST(PortWayCallRefused, NoPortStartedGivesTheRefusalsErrno) {
  Named port("device");
  vorn::ScopedBackend in_place(port);
  vorn_port_way way;
  ASSERT_EQ(vornPortWay(&way), 0) << "a port put in place stands for a started one";
  setenv("VORN_PORT", "bogus", 1);
  EXPECT_EQ(vornMotInit(nullptr), -1);
  unsetenv("VORN_PORT");
  errno = 0;
  EXPECT_EQ(vornPortWay(&way), -1);
  EXPECT_EQ(errno, EINVAL) << "the refusal's errno, as every driver call";
}

} // namespace
