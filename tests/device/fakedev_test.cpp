// The fourteen tests end to end through the kernel-device backend
// (vorndiag-fakedev) against the simulator as the port (vorndiag-sim), on
// the same rig: the same standard output and exit status, and the device
// given back at every way out.
#include "run_tool.h"
#include "scratch_dir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <unistd.h>

namespace {

using vorn::test::RunResult;
using vorn::test::RunSettings;
using vorn::test::Step;

const char *const kMovingAxis1 = "access_time_us = 10\n[encoders]\nvelocity = [0, 1000000, 0, 0]\n";
const char *const kDioRig = "[digital_inputs]\nin0 = 0xff\nin1 = 0x5a\n";

struct Case {
  const char *name;
  std::vector<std::string> args;
  std::string rig;
  std::string input;
  std::vector<Step> steps;
};

// Tests with no bus traffic per pass are stopped by the clock instead.
std::vector<Step> stop_soon() {
  return {vorn::test::signal_after(SIGINT, vorn::test::milliseconds(300))};
}

const Case kCases[] = {
    {"Bus", {"378", "bus"}, "", "", {}},
    {"BusEmpty", {"378", "bus"}, "[boards]\n", "", {}},
    {"Pos", {"378", "pos"}, "interrupt_after = 150\n", "", {}},
    {"Servo", {"378", "servo"}, "interrupt_after = 300\n", "", {}},
    {"Servof", {"378", "servof"}, "interrupt_after = 3000\n", "", {}},
    {"Index",
     {"378", "index", "1"},
     std::string("interrupt_after = 4000\n") + kMovingAxis1,
     "",
     {}},
    {"Latch",
     {"378", "latch", "1"},
     std::string("interrupt_after = 4000\n") + kMovingAxis1,
     "",
     {}},
    {"Indexres",
     {"378", "indexres", "1"},
     std::string("interrupt_after = 6000\n") + kMovingAxis1,
     "",
     {}},
    {"Commtest", {"378", "commtest"}, "interrupt_after = 86050\n", "", {}},
    {"CommtestEmpty", {"378", "commtest"}, "interrupt_after = 9000\n[boards]\n", "", {}},
    {"CommtestNoisy",
     {"378", "commtest"},
     "interrupt_after = 90000\n[faults]\nseed = 2024\nflip_probability = 0.001\n",
     "",
     {}},
    {"Diocontinuous",
     {"378", "diocontinuous"},
     "interrupt_after = 20000\n[digital_inputs]\nin0 = 0xa5\nin1 = 0x00\n",
     "",
     {}},
    {"Rate", {"378", "rate"}, "", "1\n1.5\n", {}},
    {"RateEmpty", {"378", "rate"}, "[boards]\n", "0\n-3\n", {}},
    {"Dio", {"378", "dio"}, kDioRig, "1\n0x3f\n", {}},
    {"Spindle", {"378", "spindle"}, "interrupt_after = 3000\n", "100\n-100\n0\n", {}},
    {"SpindleRamp", {"378", "spindle"}, "interrupt_after = 3000\n", "-999\n", {}},
    {"Limit", {"378", "limit"}, "", "", stop_soon()},
    {"Home", {"378", "home"}, "", "", stop_soon()},
    {"AxisOutOfRange", {"378", "index", "7"}, "", "", {}},
};

void PrintTo(const Case &c, std::ostream *os) { *os << c.name; }

struct Runs {
  RunResult sim;
  RunResult device;
  std::string calls; // the fake's counts at the last close of the device
};

// The program's name, which the syntax lines print, as one word.
std::string named(std::string out, const std::string &program) {
  for (std::size_t at; (at = out.find(program)) != std::string::npos;)
    out.replace(at, program.size(), "vorndiag");
  return out;
}

Runs run_both(const Case &c, std::vector<std::string> device_args = {}) {
  vorn::test::ScratchDir files;
  std::ofstream(files.file("rig.toml")) << "clock = \"virtual\"\n" << c.rig << "\n";
  RunSettings how;
  how.args = c.args;
  how.input = c.input;
  how.steps = c.steps;
  how.env = {{"VORNSIM_RIG", files.file("rig.toml")}};
  Runs runs;
  runs.sim = vorn::test::run_tool(VORNDIAG_SIM, how);
  runs.sim.out = named(runs.sim.out, VORNDIAG_SIM);
  if (!device_args.empty())
    how.args = device_args;
  how.env.push_back({"VORN_FAKEDEV_CALLS", files.file("calls")});
  runs.device = vorn::test::run_tool(VORNDIAG_FAKEDEV, how);
  runs.device.out = named(runs.device.out, VORNDIAG_FAKEDEV);
  runs.calls = vorn::test::read_file(files.file("calls"));
  return runs;
}

long calls_of(const std::string &calls, const std::string &kind) {
  std::smatch m;
  if (!std::regex_search(calls, m, std::regex("(^|, )" + kind + " (\\d+)")))
    return 0;
  return std::stol(m[2]);
}

void expect_released(const std::string &calls) {
  ASSERT_FALSE(calls.empty()) << "the device was never closed";
  EXPECT_GT(calls_of(calls, "PPCLAIM"), 0) << calls;
  EXPECT_EQ(calls_of(calls, "PPRELEASE"), calls_of(calls, "PPCLAIM")) << calls;
  EXPECT_NE(calls.find("\nclaimed 0\nopen files 0\n"), std::string::npos) << calls;
}

class EndToEnd : public testing::TestWithParam<Case> {};

TEST_P(EndToEnd, SameOutputAsOnTheSimulatorAndDeviceGivenBack) {
  const Case &c = GetParam();
  const Runs runs = run_both(c);
  ASSERT_FALSE(runs.sim.timed_out);
  ASSERT_FALSE(runs.device.timed_out);
  EXPECT_EQ(runs.device.out, runs.sim.out);
  EXPECT_EQ(runs.device.exit_status, runs.sim.exit_status) << runs.device.err;
  EXPECT_GT(runs.sim.out.size(), std::string("io addr = 378\n").size());
  expect_released(runs.calls);
}

INSTANTIATE_TEST_SUITE_P(Fakedev, EndToEnd, testing::ValuesIn(kCases),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(EndToEnd, DevicePathInPlaceOfTheAddress) {
  const Runs runs = run_both({"Bus", {"378", "bus"}, "", "", {}}, {"/dev/parport0", "bus"});
  EXPECT_EQ(runs.device.out, runs.sim.out);
  EXPECT_EQ(runs.device.exit_status, 0);
  expect_released(runs.calls);
}

} // namespace
