// What the kernel does with the device around the transfers, over the
// fake: the lines after the claim and at the release, the note on a port
// without EPP hardware, the kernel's fast transfers, a failing device and
// the two meanings of ENXIO.
#include "board_map.h"
#include "bus.h"
#include "fake_ppdev.h"
#include "two_paths.h"
#include "vorn.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

namespace {

using namespace vorn::map;
using vorn::test::board_state;
using vorn::test::Call;
using vorn::test::FakePpdev;
using vorn::test::Node;
using vorn::test::PortHardware;

class Kernel : public testing::Test {
protected:
  ~Kernel() override {
    vornMotQuit();
    kernel.uninstall();
  }
  void init(PortHardware hardware = {}) {
    kernel.set_hardware(hardware);
    kernel.install();
    ASSERT_EQ(vornMotInit(nullptr), 0) << vornPortProblem();
  }

  vorn::sim::Simulator boards{vorn::test::still_rig()};
  FakePpdev kernel{boards};
};

struct LastCycle {
  const char *name;
  void (*run)();
};

// The kernel negotiates at close from whichever mode the port was left in.
const LastCycle kLastCycles[] = {
    {"None", [] {}},
    {"Address", [] { SelAddr(kDigOut0); }},
    {"DataRead", [] { SelRead(kEncBoardId); }},
    {"DataWrite", [] { SelWrt(kDigOut0, 0x3C); }},
    {"Unanswered", [] { SelRead(block_id_addr(5)); }},
};

class Release : public Kernel, public testing::WithParamInterface<LastCycle> {};

TEST_P(Release, MovesNoLine) {
  init();
  GetParam().run();
  const std::uint8_t control = boards.control();
  const std::uint64_t resets = kernel.resets();
  vorn::port_backend().release();
  EXPECT_EQ(kernel.open_files(), 0);
  EXPECT_EQ(kernel.terminations(), 0u);
  EXPECT_EQ(kernel.resets(), resets);
  EXPECT_EQ(boards.control(), control);
}

INSTANTIATE_TEST_SUITE_P(Device, Release, testing::ValuesIn(kLastCycles),
                         [](const auto &info) { return std::string(info.param.name); });

// A dio output survives the end of a run, as on the raw path.
TEST(ReleaseAtQuit, LeavesTheBoardsAsTheRawPathDoes) {
  vorn::test::TwoPaths paths;
  const auto run = [] {
    SelWrt(kDigOut0, 0x3C);
    return vornMotQuit();
  };
  paths.direct(run);
  paths.device(run);
  EXPECT_EQ(board_state(paths.device_boards), board_state(paths.direct_boards));
  EXPECT_EQ(paths.device_boards.dig_out(0), 0x3C);
  EXPECT_EQ(paths.kernel.terminations(), 0u);
}

class Claim : public Kernel, public testing::WithParamInterface<bool> {};

// parport_pc's claim leaves nSelectIn, the address strobe, asserted.
TEST_P(Claim, LinesIdleRightAfterIt) {
  const bool irq = GetParam();
  init({true, irq});
  vorn::PortBackend &port = vorn::port_backend();
  port.release();
  ASSERT_EQ(port.open(0x378), 0);
  EXPECT_EQ(boards.control() & 0x0F, kCtrlForward);
  EXPECT_EQ(boards.control() & 0x10, irq ? 0x10 : 0) << "the kernel's interrupt enable stays";
  EXPECT_EQ(port.read(vorn::Reg::control), kCtrlForward);
}

INSTANTIATE_TEST_SUITE_P(Device, Claim, testing::Bool(),
                         [](const auto &info) { return info.param ? "Irq" : "NoIrq"; });

int occurrences(const std::string &text, const std::string &part) {
  int n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
    ++n;
  return n;
}

class Modes : public Kernel, public testing::WithParamInterface<bool> {};

TEST_P(Modes, NoEppHardwareSaidOnceWithTheFix) {
  const bool epp = GetParam();
  testing::internal::CaptureStderr();
  init({epp, true});
  vornMotQuit();
  ASSERT_EQ(vornMotInit(nullptr), 0);
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_EQ(occurrences(said, "set the port to EPP or ECP+EPP in the firmware setup"), epp ? 0 : 1)
      << said;
}

INSTANTIATE_TEST_SUITE_P(Device, Modes, testing::Bool(),
                         [](const auto &info) { return info.param ? "Epp" : "NoEpp"; });

struct FastCase {
  const char *name;
  bool epp;
  const char *setting; // VORN_EPP_FAST
  bool fast;
};

const FastCase kFastCases[] = {
    {"EppHardware", true, nullptr, true},
    {"TurnedOff", true, "0", false},
    {"TurnedOn", true, "1", true},
    {"NoEppHardware", false, nullptr, false},
};

class FastReads : public Kernel, public testing::WithParamInterface<FastCase> {};

// The count read's twelve cycles: with the kernel's fast transfers three
// 32-bit reads and one status check, else a read and a check for each.
TEST_P(FastReads, OnlyWhereTheKernelHasEppHardwareAndNotTurnedOff) {
  const FastCase &c = GetParam();
  if (c.setting != nullptr)
    setenv("VORN_EPP_FAST", c.setting, 1);
  testing::internal::CaptureStderr();
  init({c.epp, true});
  testing::internal::GetCapturedStderr();
  unsetenv("VORN_EPP_FAST");
  LONGBYTE counts[kEncoderCount];
  EncReadAll(counts);
  const std::uint64_t before = kernel.port_accesses();
  EncReadAll(counts);
  const std::uint64_t made = kernel.port_accesses() - before;
  const std::uint64_t per_cycle = c.epp ? 2 : 5;
  const std::uint64_t count_read = c.fast ? 3 + 1 : 12 * per_cycle;
  // Around it: the address cycle, and the direction there and back.
  EXPECT_EQ(made, 2 + per_cycle + count_read) << kernel.calls().to_string();
}

INSTANTIATE_TEST_SUITE_P(Device, FastReads, testing::ValuesIn(kFastCases),
                         [](const auto &info) { return std::string(info.param.name); });

struct Failure {
  const char *name;
  Call call;
  int err;
  void (*run)();
  const char *said;
  int errno_after; // what the entry points give from then on
};

void count_read() {
  LONGBYTE counts[kEncoderCount];
  EncReadAll(counts);
}

const Failure kFailures[] = {
    {"ReadEinval", Call::read, EINVAL, count_read, "read() failed: Invalid argument", EIO},
    {"ReadEfault", Call::read, EFAULT, count_read, "read() failed: Bad address", EIO},
    {"ReadEioOneByte", Call::read, EIO, [] { SelRead(kEncBoardId); },
     "read() failed: Input/output error", EIO},
    {"WriteEio", Call::write, EIO, [] { SelWrt(kDigOut0, 1); }, "write() failed", EIO},
    {"StatusEnodev", Call::pprstatus, ENODEV,
     [] {
       SelRead(block_id_addr(5));
       ClrTimeout();
     },
     "PPRSTATUS failed", ENODEV},
    {"ModeEinval", Call::ppsetmode, EINVAL, [] { SelAddr(kDigOut0); }, "PPSETMODE failed", EIO},
    {"ControlEio", Call::ppwcontrol, EIO, [] { vorn::port_out(vorn::Reg::control, kCtrlReset); },
     "PPWCONTROL failed", EIO},
};

class DeviceFails : public Kernel, public testing::WithParamInterface<Failure> {};

// Not a cycle no board answered: the bus is failed, the process goes on.
// No further call reaches the device; the shut-down sends no stop, gives
// the device back and says so; a new start-up begins afresh.
TEST_P(DeviceFails, FailsTheBusNotTheProcess) {
  const Failure &f = GetParam();
  init();
  kernel.fail_next(f.call, f.err);
  f.run();
  EXPECT_EQ(vornPortFailed(), 1);
  EXPECT_NE(std::string(vornPortProblem()).find(std::string("/dev/parport0: ") + f.said),
            std::string::npos)
      << vornPortProblem();
  const std::uint64_t calls = kernel.calls().total();
  errno = 0;
  double counts = 0;
  EXPECT_EQ(vornEncoderRead(0, &counts), -1);
  EXPECT_EQ(errno, f.errno_after);
  EXPECT_EQ(SelRead(kEncBoardId), 0xFF);
  EXPECT_EQ(kernel.calls().total(), calls);
  EXPECT_EQ(vornMotQuit(), -1);
  EXPECT_EQ(errno, f.errno_after);
  EXPECT_FALSE(kernel.claimed());
  EXPECT_EQ(kernel.open_files(), 0);
  ASSERT_EQ(vornMotInit(nullptr), 0) << vornPortProblem();
  EXPECT_EQ(vornPortFailed(), 0);
  EXPECT_EQ(vornEncoderRead(0, &counts), 0);
  EXPECT_EQ(counts, 517.0);
}

INSTANTIATE_TEST_SUITE_P(Device, DeviceFails, testing::ValuesIn(kFailures),
                         [](const auto &info) { return std::string(info.param.name); });

struct Refusal {
  const char *name;
  Node node;
  std::optional<std::uint32_t> listed;
  const char *holder;
  int err;
  const char *said;
};

// ENXIO from the claim, as the kernel's list of ports explains it.
const Refusal kRefusals[] = {
    {"Registered", Node::busy, 0x378, "", EBUSY,
     "/dev/parport0 is busy: another program or driver"},
    {"HeldByLp", Node::busy, 0x378, "lp0", EBUSY,
     "/dev/parport0 is busy: the kernel's driver lp0 has the port"},
    {"HeldByAProgram", Node::busy, 0x378, "ppdev0", EBUSY,
     "/dev/parport0 is busy: another program (through ppdev0) has the port"},
    {"NoPortBehind", Node::usable, std::nullopt, "", ENODEV,
     "cannot claim /dev/parport0: No such device (the kernel has no port behind this device"},
};

class Enxio : public Kernel, public testing::WithParamInterface<Refusal> {};

TEST_P(Enxio, ToldApartByTheKernelsPortList) {
  const Refusal &r = GetParam();
  kernel.set_node(r.node);
  kernel.list_port(r.listed);
  kernel.set_holder(r.holder);
  kernel.install();
  errno = 0;
  EXPECT_EQ(vornMotInit("/dev/parport0"), -1);
  EXPECT_EQ(errno, r.err);
  EXPECT_NE(std::string(vornPortProblem()).find(r.said), std::string::npos) << vornPortProblem();
  EXPECT_EQ(kernel.open_files(), 0);
}

INSTANTIATE_TEST_SUITE_P(Device, Enxio, testing::ValuesIn(kRefusals),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
