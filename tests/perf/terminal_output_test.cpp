// servof's reports are fully buffered on every output: on a terminal, a run
// ended by Ctrl-C still delivers every report, the same bytes in the same
// order as through a pipe.
#include "run_tool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <poll.h>
#include <pty.h>
#include <string>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr int kPasses = 50;
constexpr int kStartupAccesses = 36; // rate generator reset, encoder start-up
constexpr int kPassAccesses = 63;

struct TerminalRun {
  std::string out;
  int exit_status = -1;
};

// The tool on the slave side of a raw pseudo-terminal (no line-end
// translation), everything it writes read from the master side.
TerminalRun run_on_terminal(const std::string &rig_path) {
  termios raw{};
  cfmakeraw(&raw);
  int master = -1;
  const pid_t pid = forkpty(&master, nullptr, &raw, nullptr);
  if (pid == 0) {
    setenv("VORNSIM_RIG", rig_path.c_str(), 1);
    execl(VORNDIAG_SIM, VORNDIAG_SIM, "378", "servof", static_cast<char *>(nullptr));
    _exit(127);
  }
  TerminalRun run;
  if (pid < 0)
    return run;
  char chunk[4096];
  pollfd pfd{master, POLLIN, 0};
  while (poll(&pfd, 1, 20000) > 0) {
    const ssize_t n = read(master, chunk, sizeof chunk);
    if (n > 0)
      run.out.append(chunk, static_cast<std::size_t>(n));
    else if (n == 0 || errno != EINTR)
      break; // EIO once the tool has closed the terminal
  }
  int status = 0;
  if (waitpid(pid, &status, WNOHANG) == 0) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
  }
  close(master);
  run.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

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
  const TerminalRun terminal = run_on_terminal(rig_path);
  unlink(rig_path);

  EXPECT_EQ(piped.exit_status, 0);
  EXPECT_EQ(terminal.exit_status, 0);
  EXPECT_EQ(std::count(piped.out.begin(), piped.out.end(), '\n'), 2 + 4 * kPasses)
      << "two start lines, then four reports per pass";
  EXPECT_EQ(terminal.out, piped.out);
}

} // namespace
