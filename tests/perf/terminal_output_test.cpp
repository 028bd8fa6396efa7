// servof's reports are fully buffered on every output: on a terminal, a run
// ended by Ctrl-C still delivers every report, the same bytes in the same
// order as through a pipe.
#include "run_tool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <unistd.h>

namespace {

constexpr int kPasses = 50;
constexpr int kStartupAccesses = 36; // rate generator reset, encoder start-up
constexpr int kPassAccesses = 63;

TEST(ServofOnTerminal, InterruptedRunDeliversEveryReport) {
  char rig_path[] = "/tmp/vorn-perf-rig-XXXXXX";
  const int fd = mkstemp(rig_path);
  ASSERT_GE(fd, 0);
  const std::string rig = "clock = \"virtual\"\ninterrupt_after = " +
                          std::to_string(kStartupAccesses + kPasses * kPassAccesses) + "\n";
  ASSERT_EQ(write(fd, rig.data(), rig.size()), static_cast<ssize_t>(rig.size()));
  close(fd);

  vorn::test::RunSettings how;
  how.args = {"378", "servof"};
  how.env = {{"VORNSIM_RIG", rig_path}};
  const vorn::test::RunResult piped = vorn::test::run_tool(VORNDIAG_SIM, how);
  how.output_on_terminal = true;
  const vorn::test::RunResult terminal = vorn::test::run_tool(VORNDIAG_SIM, how);
  unlink(rig_path);

  EXPECT_EQ(piped.exit_status, 0);
  EXPECT_EQ(terminal.exit_status, 0);
  EXPECT_EQ(std::count(piped.out.begin(), piped.out.end(), '\n'), 2 + 4 * kPasses)
      << "two start lines, then four reports per pass";
  EXPECT_EQ(terminal.out, piped.out);
}

} // namespace
