// The port choice over the fake kernel driver, one case per row of the table
// in docs/port-access.md: which backend each choice takes, what it refuses
// and why, and how the way taken is recorded and shown.
#include "bus.h"
#include "fake_ppdev.h"
#include "run_tool.h"
#include "scratch_dir.h"
#include "vorn.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <optional>

namespace {

using vorn::test::FakePpdev;
using vorn::test::Node;

constexpr std::optional<std::uint32_t> kListed = 0x378;
constexpr std::optional<std::uint32_t> kNotListed = std::nullopt;

// The fake's raw port never reaches the registers: its lock file is held by
// another program, and a claim of a busy device fails. So raw shows as a
// refusal with EBUSY from the raw backend.
struct ChoiceCase {
  const char *name;
  const char *vorn_port; // nullptr: unset
  const char *choice;    // to vornMotInit
  std::optional<std::uint32_t> listed;
  Node node;
  int err;
  const char *backend; // "": none chosen
  const char *seen;    // the way shown when granted, else in the problem
};

const ChoiceCase kCases[] = {
    // automatic: an address (none given to vornMotInit), NULL, "auto"
    {"NullIsTheKernelsDevice", nullptr, nullptr, kListed, Node::usable, 0, "device",
     "device /dev/parport0"},
    {"AutoIsTheKernelsDevice", nullptr, "auto", kListed, Node::usable, 0, "device",
     "device /dev/parport0"},
    {"AutoWithoutAKernelPortIsRaw", nullptr, "auto", kNotListed, Node::usable, EBUSY, "raw",
     "/run/lock/vorn-port-378.lock"},
    {"AutoWithoutTheDeviceNodeIsRaw", nullptr, nullptr, kListed, Node::absent, EBUSY, "raw",
     "/run/lock/vorn-port-378.lock"},
    // a device path
    // the kernel's port at another address: the path, not the address, decides
    {"DevicePathIsThatDevice", nullptr, "/dev/parport0", 0x278, Node::usable, 0, "device",
     "device /dev/parport0"},
    {"DevNullIsNoParallelPort", nullptr, "/dev/null", kListed, Node::usable, ENODEV, "",
     "/dev/null is not a parallel port: character device 1:3"},
    {"RegularFileIsNoParallelPort", nullptr, "/etc/passwd", kListed, Node::usable, ENODEV, "",
     "/etc/passwd is not a parallel port: a file"},
    {"MissingDevicePathHintsAtTheDriver", nullptr, "/dev/parport7", kListed, Node::usable, ENOENT,
     "device", "cannot open /dev/parport7"},
    // device
    {"DeviceIsTheKernelsDevice", nullptr, "device", kListed, Node::usable, 0, "device",
     "device /dev/parport0"},
    {"DeviceWithoutTheNodeIsNoFallbackToRaw", nullptr, "device", kListed, Node::absent, ENOENT,
     "device", "modprobe ppdev"},
    {"DeviceWithoutAKernelPortIsRefused", nullptr, "device", kNotListed, Node::usable, ENODEV, "",
     "the kernel has no parallel port at 0x378"},
    // raw
    {"RawEvenWhereTheKernelHasThePort", nullptr, "raw", kListed, Node::busy, EBUSY, "raw",
     "another program holds /dev/parport0"},
    // VORN_PORT when vornMotInit is given nothing; the string given wins
    {"VornPortRaw", "raw", nullptr, kListed, Node::busy, EBUSY, "raw",
     "another program holds /dev/parport0"},
    {"VornPortDeviceForAnEmptyString", "device", "", kListed, Node::absent, ENOENT, "device",
     "modprobe ppdev"},
    {"VornPortUnderTheGivenString", "device", "raw", kListed, Node::busy, EBUSY, "raw",
     "another program holds /dev/parport0"},
    {"EmptyVornPortIsAutomatic", "", nullptr, kListed, Node::usable, 0, "device",
     "device /dev/parport0"},
    // anything else is refused, naming what is accepted
    {"TypoIsRefused", nullptr, "rwa", kListed, Node::usable, EINVAL, "",
     "unknown port choice \"rwa\"; accepted: auto (or none), raw, device, or a device path"},
    {"CapitalsAreRefused", nullptr, "RAW", kListed, Node::usable, EINVAL, "",
     "unknown port choice \"RAW\""},
    {"UnknownVornPortIsRefused", "bogus", nullptr, kListed, Node::usable, EINVAL, "",
     "unknown port choice \"bogus\" in VORN_PORT"},
    {"RelativePathIsRefused", nullptr, "parport0", kListed, Node::usable, EINVAL, "",
     "unknown port choice \"parport0\""},
};

class PortChoice : public testing::TestWithParam<ChoiceCase> {
protected:
  PortChoice() {
    vorn_base_addr = 0x378;
    setenv("VORN_VERBOSE", "1", 1);
    kernel.install();
  }
  ~PortChoice() override {
    vornMotQuit();
    kernel.uninstall();
    unsetenv("VORN_PORT");
    unsetenv("VORN_VERBOSE");
    vorn_base_addr = 0x378;
  }

  vorn::sim::Simulator boards;
  FakePpdev kernel{boards};
};

TEST_P(PortChoice, TakesTheBackendOfItsRow) {
  const ChoiceCase &c = GetParam();
  kernel.list_port(c.listed);
  kernel.set_node(c.node);
  if (c.vorn_port != nullptr)
    setenv("VORN_PORT", c.vorn_port, 1);
  testing::internal::CaptureStderr();
  errno = 0;
  const int result = vornMotInit(c.choice);
  const int err = errno;
  const std::string shown = testing::internal::GetCapturedStderr();
  const std::string problem = vornPortProblem();
  EXPECT_EQ(result, c.err == 0 ? 0 : -1) << problem;
  if (c.err != 0) {
    EXPECT_EQ(err, c.err) << problem;
  }
  if (*c.backend != '\0') {
    EXPECT_STREQ(vorn::port_backend().name(), c.backend) << problem;
  }
  if (c.err == 0) {
    EXPECT_EQ(shown, std::string("vorn: port reached through ") + c.seen + "\n");
    EXPECT_TRUE(kernel.claimed());
  } else {
    EXPECT_NE(problem.find(c.seen), std::string::npos) << problem;
    EXPECT_EQ(shown, "");
  }
  if (c.err == EINVAL || c.err == ENODEV) {
    EXPECT_EQ(kernel.calls()[vorn::test::Call::ppclaim], 0u) << "refused before any claim";
  }
}

INSTANTIATE_TEST_SUITE_P(EveryRow, PortChoice, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<ChoiceCase> &info) {
                           return std::string(info.param.name);
                         });

// A backend put in place (the simulator, a replay) is no way of reaching the
// PC's port, but a typo in the choice is refused in front of it as well.
TEST(PortChoiceInFrontOfABackend, UnknownChoiceIsRefusedAndNothingIsNamed) {
  vorn::sim::Simulator boards;
  boards.install();
  setenv("VORN_VERBOSE", "1", 1);
  EXPECT_EQ(vornMotInit("rwa"), -1);
  EXPECT_EQ(errno, EINVAL);
  testing::internal::CaptureStderr();
  EXPECT_EQ(vornMotInit("raw"), 0) << vornPortProblem();
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  vornMotQuit();
  unsetenv("VORN_VERBOSE");
  boards.uninstall();
}

// The way taken, as a technician asks for it and as the trace keeps it:
// vorndiag through the fake driver, in a child of its own.
TEST(PortWay, ShownOnRequestAndNotedInTheTrace) {
  vorn::test::ScratchDir scratch;
  const std::string trace = scratch.file("bus.trace");
  for (const char *verbose : {"1", "0", ""}) {
    vorn::test::RunSettings how;
    how.args = {"378", "bus"};
    how.env = {{"VORN_VERBOSE", verbose},
               {"VORN_TRACE", trace},
               {"VORN_PORT", "device"},
               {"VORN_FAKEDEV_OWN_CHOICE", "1"}};
    const vorn::test::RunResult r = vorn::test::run_tool(VORNDIAG_FAKEDEV, how);
    EXPECT_EQ(r.exit_status, 0) << r.out << r.err;
    const bool shown =
        r.err.find("vorn: port reached through device /dev/parport0\n") != std::string::npos;
    EXPECT_EQ(shown, std::string(verbose) == "1") << "VORN_VERBOSE=" << verbose << ": " << r.err;
    const std::string text = vorn::test::read_file(trace);
    const std::size_t second_line = text.find('\n') + 1;
    EXPECT_EQ(text.substr(second_line, text.find('\n', second_line) - second_line),
              "# port: device /dev/parport0");
  }
}

} // namespace
