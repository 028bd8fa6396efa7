// The kernel path's cost: system calls per operation on the kernel-device
// backend, over the fake kernel driver with the default board set behind
// it, pinned next to the operation's register accesses and held at or
// below them.
#include "fake_ppdev.h"
#include "operations.h"
#include "stdout_to_null.h"
#include "vorn.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace {

using vorn::test::Call;
using vorn::test::CallCounts;

struct Pin {
  const char *operation;
  const char *calls; // by kind
  std::uint64_t total;
};

// Each selection costs a PPSETMODE to address cycles and its first data
// cycle one back; a control write that changes neither the lines nor (yet)
// the direction costs nothing, and so does a status read right after a
// transfer that went through (docs/performance.md).
const Pin kPins[] = {
    {"vornEncoderReadAll", "read 1, write 9, PPSETMODE 10, PPDATADIR 2", 22},
    {"vornRateWriteAll", "write 15, PPSETMODE 4, PPRSTATUS 1", 20},
    {"servof_pass", "read 1, write 24, PPSETMODE 14, PPDATADIR 2, PPRSTATUS 1", 42},
    {"commtest_cycle", "read 12, write 29, PPSETMODE 26, PPDATADIR 2, PPRSTATUS 1", 70},
};

const vorn::measure::Operation &operation(const char *name) {
  for (const auto &op : vorn::measure::operations())
    if (std::strcmp(op.name, name) == 0)
      return op;
  throw std::invalid_argument(name);
}

vorn::sim::Rig virtual_rig() {
  vorn::sim::Rig rig = vorn::sim::default_rig();
  rig.clock = vorn::sim::Clock::virtual_time;
  return rig;
}

// The default board set behind the fake kernel driver, the drivers started
// with VORN_EPP_FAST as given (nullptr: unset).
struct DeviceRun {
  explicit DeviceRun(const char *fast = nullptr) {
    if (fast != nullptr)
      setenv("VORN_EPP_FAST", fast, 1);
    kernel.install();
    init = vornMotInit(nullptr);
    unsetenv("VORN_EPP_FAST");
  }
  ~DeviceRun() {
    vornMotQuit();
    kernel.uninstall();
  }
  DeviceRun(const DeviceRun &) = delete;
  DeviceRun &operator=(const DeviceRun &) = delete;

  vorn::measure::StdoutToNull quiet;
  vorn::sim::Simulator boards{virtual_rig()};
  vorn::test::FakePpdev kernel{boards};
  int init = -1;
};

void PrintTo(const Pin &p, std::ostream *os) { *os << p.operation; }

class DeviceCost : public testing::TestWithParam<Pin> {};

// The second run is the one a loop repeats: the first may still set the
// mode and direction the previous operation left otherwise.
TEST_P(DeviceCost, SystemCallsPerOperation) {
  const Pin &pin = GetParam();
  const vorn::measure::Operation &op = operation(pin.operation);
  DeviceRun run;
  ASSERT_EQ(run.init, 0) << vornPortProblem();
  op.run();
  const CallCounts before = run.kernel.calls();
  op.run();
  const CallCounts made = run.kernel.calls() - before;
  EXPECT_EQ(made.to_string(), pin.calls);
  EXPECT_EQ(made.total(), pin.total);
  EXPECT_LE(made.total(), op.accesses) << made.to_string();
  EXPECT_EQ(run.kernel.idle_ioctls(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Kernel, DeviceCost, testing::ValuesIn(kPins),
                         [](const auto &info) { return std::string(info.param.operation); });

struct PortPin {
  const char *operation;
  std::uint64_t fast;     // register accesses the kernel makes with fast count reads
  std::uint64_t not_fast; // and with VORN_EPP_FAST=0
};

// At the port, parport_pc checks the status after every EPP cycle; a fast
// transfer checks it once, and reads the twelve count bytes as three
// 32-bit words (docs/performance.md).
const PortPin kPortPins[] = {
    {"vornEncoderReadAll", 24, 44},
    {"vornRateWriteAll", 31, 31},
    {"servof_pass", 55, 75},
    {"commtest_cycle", 85, 85},
};

std::uint64_t port_accesses(const vorn::measure::Operation &op, const char *fast) {
  DeviceRun run(fast);
  EXPECT_EQ(run.init, 0) << vornPortProblem();
  op.run();
  const std::uint64_t before = run.kernel.port_accesses();
  op.run();
  return run.kernel.port_accesses() - before;
}

void PrintTo(const PortPin &p, std::ostream *os) { *os << p.operation; }

class PortCost : public testing::TestWithParam<PortPin> {};

TEST_P(PortCost, KernelAccessesAtThePort) {
  const PortPin &pin = GetParam();
  const vorn::measure::Operation &op = operation(pin.operation);
  EXPECT_EQ(port_accesses(op, nullptr), pin.fast);
  EXPECT_EQ(port_accesses(op, "0"), pin.not_fast);
}

INSTANTIATE_TEST_SUITE_P(Kernel, PortCost, testing::ValuesIn(kPortPins),
                         [](const auto &info) { return std::string(info.param.operation); });

} // namespace
