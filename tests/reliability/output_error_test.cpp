// Standard output that cannot be written: the run still shuts the drivers
// down, then says so on standard error, and ends with status 3 instead of
// 0. A run that failed already keeps its own status.
#include "bus_ops.h"
#include "run_tool.h"
#include "scratch_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/wait.h>

namespace {

using namespace diagtest;

const std::vector<std::string> kShutdown = {"sel 1c", "wr 00", "wr c8", "wr c8"};

struct ShellRun {
  int status = -1;
  std::string err;
  std::vector<std::string> ops;
};

// `redirect` is the shell's redirection of standard output.
ShellRun run_redirected(const std::string &args, const std::string &rig,
                        const std::string &redirect) {
  const vorn::test::ScratchDir dir;
  const std::string rig_path = dir.file("rig.toml"), trace = dir.file("port.trace"),
                    err = dir.file("err");
  std::ofstream(rig_path) << "clock = \"virtual\"\n" << rig;
  const std::string command = "VORNSIM_RIG=" + rig_path + " VORNSIM_TRACE=" + trace + " " +
                              VORNDIAG_SIM + " " + args + " </dev/null " + redirect + " 2>" + err;
  const int raw = std::system(command.c_str());
  ShellRun run;
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  run.err = vorn::test::read_file(err);
  run.ops = bus_ops(parse_trace(vorn::test::read_file(trace)));
  return run;
}

bool ends_with_shutdown(const std::vector<std::string> &ops) {
  return ops.size() >= kShutdown.size() &&
         std::equal(kShutdown.rbegin(), kShutdown.rend(), ops.rbegin());
}

struct ErrorCase {
  const char *name;
  const char *args;
  const char *rig;
  const char *redirect;
  const char *reason;
};

void PrintTo(const ErrorCase &c, std::ostream *os) { *os << c.name; }

const ErrorCase kErrors[] = {
    // Less than a buffer: only the flush at the end fails.
    {"BusToFullDevice", "378 bus", "", ">/dev/full", ": No space left on device"},
    // Many buffers: the writes fail while the loop runs.
    {"ServofToFullDevice", "378 servof", "interrupt_after = 20000\n", ">/dev/full",
     ": No space left on device"},
    // Open for reading only: every write fails.
    {"BusToReadOnlyOutput", "378 bus", "", "1</dev/null", ": Bad file descriptor"},
    // Closed: the trace file must not become standard output.
    {"BusToClosedOutput", "378 bus", "", ">&-", ": Bad file descriptor"},
};

class OutputError : public testing::TestWithParam<ErrorCase> {};

TEST_P(OutputError, ShutDownThenStatusThree) {
  const ErrorCase &c = GetParam();
  ShellRun run = run_redirected(c.args, c.rig, c.redirect);
  EXPECT_EQ(run.status, 3);
  EXPECT_EQ(run.err,
            std::string(VORNDIAG_SIM) + ": standard output could not be written" + c.reason + "\n");
  EXPECT_TRUE(ends_with_shutdown(run.ops)) << "no shut-down at the end of the trace";
}

INSTANTIATE_TEST_SUITE_P(Reliability, OutputError, testing::ValuesIn(kErrors),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(OutputError, WrittenOutputIsStatusZero) {
  ShellRun run = run_redirected("378 bus", "", ">/dev/null");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_TRUE(ends_with_shutdown(run.ops));
}

// The syntax error is what the caller needs to know first.
TEST(OutputError, FailedRunKeepsItsStatus) {
  ShellRun run = run_redirected("378 nosuchtest", "", ">/dev/full");
  EXPECT_EQ(run.status, 255);
  EXPECT_EQ(run.err, std::string(VORNDIAG_SIM) +
                         ": standard output could not be written: No space left on device\n");
  EXPECT_TRUE(run.ops.empty()) << "no port access on a syntax error";
}

} // namespace
