// Ctrl-\ (SIGQUIT) and Ctrl-Z (SIGTSTP) while the drivers are up: neither
// kills nor suspends the tool with a rate channel running. SIGQUIT ends the
// run as SIGTERM does, SIGTSTP as Ctrl-C does; both shut down, status 0.
#include "sim_run.h"

#include <gtest/gtest.h>

#include <csignal>
#include <string>

namespace {

using namespace diagtest;
using namespace std::chrono_literals;

const char *name_of(int sig) { return sig == SIGQUIT ? "Sigquit" : "Sigtstp"; }

class QuitOrSuspend : public testing::TestWithParam<int> {};

TEST_P(QuitOrSuspend, ServoPassCompletesThenShutDown) {
  SimRun run =
      run_sim({{"378", "servo"}, "", "", {vorn::test::signal_on_output(GetParam(), "CtlByt")}});
  EXPECT_EQ(run.result.steps_done, 1u);
  EXPECT_FALSE(run.result.timed_out) << "suspended";
  EXPECT_EQ(run.result.term_signal, 0);
  EXPECT_EQ(run.result.exit_status, 0);
  ASSERT_TRUE(run.shut_down) << "no shut-down at the end of the trace";
  EXPECT_GT(run.body.size(), 0u);
  EXPECT_EQ(run.body.size() % 36, 0u) << "a pass was cut short";
}

// Axis 1 runs at 2.5 V when the signal comes at the next volts prompt.
// Both end the wait at once: the line typed afterwards is never applied,
// the test says nothing more and the shut-down stops the channel.
TEST_P(QuitOrSuspend, RateWithAChannelRunning) {
  const int sig = GetParam();
  SimRun run =
      run_sim({{"378", "rate"},
               "",
               "1\n2.5\n",
               {vorn::test::signal_when_reading(sig), vorn::test::write_input_after("0\n", 200ms),
                vorn::test::close_input_after(0ms)},
               true});
  EXPECT_FALSE(run.result.timed_out) << "suspended";
  EXPECT_EQ(run.result.term_signal, 0);
  EXPECT_EQ(run.result.exit_status, 0);
  ASSERT_TRUE(run.shut_down) << "no shut-down at the end of the trace";
  const std::string running = "volts=2.500000\n";
  ASSERT_NE(run.result.out.find(running), std::string::npos) << run.result.out;
  EXPECT_TRUE(run.result.out.ends_with("writing to rate ctrl reg at 0x1c\nRATE(1)volts? "))
      << run.result.out;
}

INSTANTIATE_TEST_SUITE_P(Reliability, QuitOrSuspend, testing::Values(SIGQUIT, SIGTSTP),
                         [](const auto &info) { return std::string(name_of(info.param)); });

} // namespace
