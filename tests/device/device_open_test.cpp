// Taking and giving back the kernel's device over the fake: the exclusive
// claim, the refusals and their explanations, the automatic choice between
// device and raw, and the list of the PC's ports.
#include "bus.h"
#include "fake_ppdev.h"
#include "port_list.h"
#include "vorn.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

using vorn::test::Call;
using vorn::test::FakePpdev;
using vorn::test::Node;

class DeviceOpen : public testing::Test {
protected:
  DeviceOpen() { kernel.install(); }
  ~DeviceOpen() override {
    vornMotQuit();
    kernel.uninstall();
  }

  int init(const char *choice = nullptr) {
    errno = 0;
    const int result = vornMotInit(choice);
    err = errno;
    return result;
  }
  std::string problem() const { return vornPortProblem(); }
  std::string backend() const { return vorn::port_backend().name(); }

  vorn::sim::Simulator boards;
  FakePpdev kernel{boards};
  int err = 0;
};

TEST_F(DeviceOpen, ClaimsExclusivelyRightAfterOpening) {
  ASSERT_EQ(init(), 0) << problem();
  EXPECT_EQ(backend(), "device");
  const auto &h = kernel.history();
  const auto excl = std::find(h.begin(), h.end(), Call::ppexcl);
  ASSERT_NE(excl, h.end());
  ASSERT_NE(excl, h.begin());
  EXPECT_EQ(excl[-1], Call::open);
  ASSERT_NE(excl + 1, h.end());
  EXPECT_EQ(excl[1], Call::ppclaim);
  EXPECT_TRUE(kernel.claimed());
  EXPECT_EQ(kernel.calls()[Call::ppexcl], 1u);
  EXPECT_EQ(kernel.calls()[Call::ppclaim], 1u);
}

TEST_F(DeviceOpen, QuitReleasesAndCloses) {
  ASSERT_EQ(init(), 0) << problem();
  const vorn::test::CallCounts before = kernel.calls();
  vornMotQuit();
  const vorn::test::CallCounts made = kernel.calls() - before;
  EXPECT_EQ(made[Call::pprelease], 1u);
  EXPECT_EQ(made[Call::close], 1u);
  EXPECT_EQ(kernel.history().back(), Call::close);
  EXPECT_FALSE(kernel.claimed());
  EXPECT_EQ(kernel.open_files(), 0);
  vornMotQuit();
  EXPECT_EQ(kernel.calls()[Call::pprelease], 1u) << "a second quit releases nothing more";
}

TEST_F(DeviceOpen, BusyPortIsEbusyWithTheReason) {
  kernel.set_node(Node::busy);
  EXPECT_EQ(init(), -1);
  EXPECT_EQ(err, EBUSY);
  EXPECT_NE(problem().find("/dev/parport0 is busy"), std::string::npos) << problem();
  EXPECT_EQ(kernel.open_files(), 0) << "the refused device is closed again";
}

TEST_F(DeviceOpen, NoAccessNamesTheDeviceAndGroupLp) {
  kernel.set_node(Node::denied);
  EXPECT_EQ(init("/dev/parport0"), -1);
  EXPECT_EQ(err, EACCES);
  EXPECT_NE(problem().find("cannot open /dev/parport0"), std::string::npos) << problem();
  EXPECT_NE(problem().find("group lp"), std::string::npos) << problem();
}

TEST_F(DeviceOpen, NoDeviceNodeHintsAtTheDriver) {
  kernel.set_node(Node::absent);
  EXPECT_EQ(init("device"), -1);
  EXPECT_EQ(err, ENOENT);
  EXPECT_NE(problem().find("modprobe ppdev"), std::string::npos) << problem();
}

// The fake holds the raw port's lock for another program, so a raw choice
// shows itself by that refusal before any register is touched.
TEST_F(DeviceOpen, AutomaticChoiceIsRawWithoutAKernelPortAtTheBase) {
  for (auto listed : {std::optional<std::uint32_t>{0x278}, std::optional<std::uint32_t>{}}) {
    kernel.list_port(listed);
    EXPECT_EQ(init(), -1);
    EXPECT_EQ(backend(), "raw");
    EXPECT_EQ(err, EBUSY);
    EXPECT_NE(problem().find("/run/lock/vorn-port-378.lock"), std::string::npos) << problem();
    EXPECT_EQ(kernel.calls()[Call::ppclaim], 0u);
  }
}

TEST_F(DeviceOpen, PortInfoListsTheKernelPort) {
  vorn_port_info info{};
  ASSERT_EQ(vornPortInfo(0, &info), 0);
  EXPECT_EQ(info.base, 0x378u);
  EXPECT_STREQ(info.device, "/dev/parport0");
  EXPECT_STREQ(info.modes, "PCSPP,TRISTATE,EPP");
  EXPECT_EQ(info.usable, 1);
  EXPECT_EQ(vornPortInfo(1, &info), -1);
  kernel.set_node(Node::denied);
  ASSERT_EQ(vornPortInfo(0, &info), 0);
  EXPECT_EQ(info.usable, 0);
  EXPECT_EQ(kernel.open_files(), 0);
  kernel.list_port(std::nullopt);
  EXPECT_EQ(vornPortInfo(0, &info), -1);
}

std::string port_list() {
  testing::internal::CaptureStdout();
  vorndiag::print_port_list();
  std::fflush(stdout);
  return testing::internal::GetCapturedStdout();
}

struct ListedPort {
  const char *name;
  bool epp;
  Node node;
  const char *line;
};

const ListedPort kListedPorts[] = {
    {"Usable", true, Node::usable,
     "  378    /dev/parport0  PCSPP,TRISTATE,EPP           EPP, usable\n"},
    {"NoAccess", true, Node::denied,
     "  378    /dev/parport0  PCSPP,TRISTATE,EPP           EPP, no access (the user is not in "
     "group lp?)\n"},
    {"NoEpp", false, Node::usable,
     "  378    /dev/parport0  PCSPP,TRISTATE               no EPP (set the port to EPP or "
     "ECP+EPP in the firmware setup), usable\n"},
};

class HelpScreen : public DeviceOpen, public testing::WithParamInterface<ListedPort> {};

TEST_P(HelpScreen, ListsThePortWithWhetherItHasEpp) {
  const ListedPort &p = GetParam();
  kernel.set_hardware({p.epp, true});
  kernel.set_node(p.node);
  EXPECT_EQ(port_list(), std::string("parallel ports of this PC:\n") + p.line);
}

INSTANTIATE_TEST_SUITE_P(Device, HelpScreen, testing::ValuesIn(kListedPorts),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
