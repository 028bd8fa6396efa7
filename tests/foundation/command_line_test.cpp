// The command line of the built tool (which on this machine is refused port
// access), and the paths past the start sequence run in-process against the
// recording port.
#include "recording_port.h"
#include "run_tool.h"

#include "frame.h"
#include "vorndiag.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace vorn::test;

struct Outcome {
  std::string out;
  int status;
};

std::string slurp(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// The words of `args` as arguments; '' is an empty one.
std::vector<std::string> split_args(const std::string &args) {
  std::vector<std::string> words;
  std::istringstream in(args);
  for (std::string word; in >> word;)
    words.push_back(word == "''" ? "" : word);
  return words;
}

// Runs the built vorndiag with `args` appended, standard input closed.
Outcome run_tool(const std::string &args) {
  RunSettings how;
  how.args = split_args(args);
  const RunResult run = vorn::test::run_tool(VORNDIAG_BIN, how);
  return {run.out, run.exit_status};
}

const char *const kHelp = "test name       Function\n"
                          "bus     reports all boards by address, type and version\n"
                          "pos     continuously reports encoder position\n"
                          "rate     tests rate generators, in pulse/second units\n"
                          "limit   tests limit switch sensing\n"
                          "home    tests home switch sensing\n"
                          "index   reports sensing of encoder index channel\n"
                          "latch   tests encoder latch function\n"
                          "servo   simulates a servo loop, reports position on screen\n"
                          "servof  same as above, no screen report, faster\n"
                          "dio     test DIO board function interactively\n"
                          "diocontinuous  tests DIO input and output continuously\n"
                          "commtest  continuously tests encoder communication on IEEE-1284 bus\n"
                          "diotest   continuously tests DIO communication\n"
                          "indexres  tests reset of encoder count on index pulse\n"
                          "spindle  tests output to spindle speed control\n"
                          "  exit all looping tests with ctrl/c\n"
                          "check [cycles]  go/no-go test of the port, the bus, encoder "
                          "communication and the stop\n"
                          "monitor  live full-screen view of encoders, inputs and the bus "
                          "(read-only, q ends)\n"
                          // this machine has no parallel port
                          "no parallel port known to the kernel (its driver: sudo modprobe "
                          "parport_pc ppdev)\n";

struct CommandCase {
  const char *args;
  const char *expected; // %s stands for the program name
  int status;
};

std::string with_prog(const char *text) {
  std::string s(text);
  for (std::size_t at; (at = s.find("%s")) != std::string::npos;)
    s.replace(at, 2, VORNDIAG_BIN);
  return s;
}

// This machine has no parallel port and refuses raw access (ENOSYS).
std::string refused(const std::string &first, const std::string &last) {
  return "parport addr 0x" + first + " \ncannot access I/O ports 0x" + first + " to 0x" + last +
         ": Function not implemented\nno parallel port at 0x" + first +
         " is known to the kernel; raw access to the registers needs root and is refused under "
         "kernel lockdown (Secure Boot)\nto go through the kernel's driver instead, without "
         "root: sudo modprobe parport_pc ppdev, and add the user to group lp\n";
}
const std::string kRefused378 = refused("378", "37c");
const char kName[] = "syntax: %s {limit | home | index <axis> | latch <axis>}\n";
const char kIndex[] =
    "syntax: %s {pos | dac | limit | home | index <axis> | latch <axis>}| servo{f} | dio | bus\n";
const char kLatch[] = "syntax: %s {pos | dac | limit | home | index <axis> | latch <axis>}\n";
const char kCheck[] = "syntax: %s <I/O address in hex> check [cycles]\n";

TEST(CommandLine, MessagesAndStatuses) {
  const std::string help = std::string("syntax: %s I/O Address in hex <test name>\n") + kHelp;
  const std::string io378 = "io addr = 378\n";
  const std::vector<std::pair<std::string, CommandCase>> cases = {
      {help, {"", nullptr, 255}},
      {help, {"378", nullptr, 255}},
      {io378 + kName, {"378 POS", nullptr, 255}},
      {io378 + kName, {"378 diotest", nullptr, 255}},
      {io378 + kName, {"378 dac", nullptr, 255}},
      {io378 + kIndex, {"378 index", nullptr, 255}},
      {io378 + kIndex, {"378 indexres x", nullptr, 255}},
      {io378 + kLatch, {"378 latch", nullptr, 255}},
      {io378 + kLatch, {"378 latch ''", nullptr, 255}},
      {io378 + kCheck, {"378 check 0", nullptr, 255}},
      {io378 + kCheck, {"378 check -5", nullptr, 255}},
      {io378 + kCheck, {"378 check 12x", nullptr, 255}},
      {io378 + kRefused378, {"378 check", nullptr, 2}},
      {io378 + kRefused378, {"378 check 40", nullptr, 2}},
      {io378 + kRefused378, {"zz pos", nullptr, 2}},
      {io378 + kRefused378, {"378 index 2abc", nullptr, 2}},
      {io378 + kRefused378, {"378 latch 4", nullptr, 2}}, // refusal comes before the axis check
      {io378 + kRefused378, {"378 pos 7 extra", nullptr, 2}},
      {"io addr = 2f8\n" + refused("2f8", "2fc"), {"0x2f8 pos", nullptr, 2}},
      {"io addr = 2f8\n" + refused("2f8", "2fc"), {"2f8 servo", nullptr, 2}},
      {"io addr = fffd\nparport addr 0xfffd \n"
       "cannot access I/O ports 0xfffd to 0x10001: Invalid argument\n",
       {"fffd bus", nullptr, 2}},
  };
  for (const auto &[expected, c] : cases) {
    Outcome o = run_tool(c.args);
    EXPECT_EQ(o.out, with_prog(expected.c_str())) << "args: " << c.args;
    EXPECT_EQ(o.status, c.status) << "args: " << c.args;
  }
}

TEST(CommandLine, EveryTestNameIsAccepted) {
  for (const char *name : {"pos", "rate", "limit", "home", "servo", "servof", "bus",
                           "diocontinuous", "commtest", "dio", "spindle"}) {
    Outcome o = run_tool(std::string("378 ") + name);
    EXPECT_EQ(o.out, "io addr = 378\n" + kRefused378) << name;
    EXPECT_EQ(o.status, 2) << name;
  }
  for (const char *name : {"index", "indexres", "latch"}) {
    Outcome o = run_tool(std::string("378 ") + name + " 0");
    EXPECT_EQ(o.status, 2) << name;
  }
}

// In-process runs: a forked child runs the front end against a recording
// port that grants access; its output and port log land in files.
struct ChildRun {
  std::string out;
  std::string traffic;
  int status;
  bool timed_out; // still running after kChildTimeLimit, then killed
};

// Far beyond any run here that ends by itself; a looping test never does.
constexpr int kChildTimeLimitMs = 5000;

bool waited_in_time(pid_t pid, int &status) {
  for (int ms = 0; ms < kChildTimeLimitMs; ++ms) {
    if (waitpid(pid, &status, WNOHANG) == pid)
      return true;
    usleep(1000);
  }
  kill(pid, SIGKILL);
  waitpid(pid, &status, 0);
  return false;
}

RecordingPort *child_port = nullptr;
std::string child_log_path;

void dump_child_log() { std::ofstream(child_log_path) << to_string(child_port->accesses()); }

ChildRun run_in_child(std::vector<std::string> args, int refusal, bool stop_first) {
  char out_tpl[] = "/tmp/vorndiag-out-XXXXXX";
  char log_tpl[] = "/tmp/vorndiag-log-XXXXXX";
  close(mkstemp(out_tpl));
  close(mkstemp(log_tpl));
  std::fflush(stdout);
  pid_t pid = fork();
  if (pid == 0) {
    std::freopen(out_tpl, "w", stdout);
    child_port = new RecordingPort(0x378);
    child_port->refuse_access(refusal);
    child_log_path = log_tpl;
    std::atexit(dump_child_log);
    if (stop_first)
      vorndiag::done = 1;
    std::vector<char *> argv;
    for (auto &a : args)
      argv.push_back(a.data());
    argv.push_back(nullptr);
    std::exit(vorndiag_main(static_cast<int>(args.size()), argv.data()));
  }
  int status = 0;
  const bool in_time = waited_in_time(pid, status);
  ChildRun run{slurp(out_tpl), slurp(log_tpl), WIFEXITED(status) ? WEXITSTATUS(status) : -1,
               !in_time};
  unlink(out_tpl);
  unlink(log_tpl);
  return run;
}

std::string startup_traffic() {
  return to_string(
      concat({sel_wrt(0x1C, 0x00), write_data(0xC8), write_data(0xC8), sel_wrt(0x03, 0x00),
              sel_wrt(0x04, 0x10), sel_wrt(0x00, 0x05), write_data(0x02), write_data(0x00),
              sel_wrt(0x03, 0xF0), sel_wrt(0x03, 0xF0), sel_wrt(0x03, 0x00)}));
}

std::string shutdown_traffic() {
  return to_string(concat({sel_wrt(0x1C, 0x00), write_data(0xC8), write_data(0xC8)}));
}

TEST(RunFrame, AxisOutsideRangeExitsOneAfterStartUpWithoutShutDown) {
  // -4294967295 keeps 1 in its low 32 bits: unclamped, it would run axis 1.
  for (const char *axis : {"4", "-1", "99999999999", "-4294967295"}) {
    for (const char *test : {"index", "indexres", "latch"}) {
      ChildRun run = run_in_child({"vorndiag", "378", test, axis}, 0, false);
      ASSERT_FALSE(run.timed_out) << test << " " << axis << ": still looping after "
                                  << kChildTimeLimitMs << " ms, the axis was taken";
      EXPECT_EQ(run.status, 1) << test << " " << axis;
      EXPECT_EQ(run.out, "io addr = 378\nparport addr 0x378 \n"
                         "syntax: vorndiag {limit | home | index <axis> | latch <axis>}\n");
      EXPECT_EQ(run.traffic, startup_traffic());
    }
  }
}

TEST(RunFrame, StoppedLoopRunsStartAndEndSequencesOnly) {
  ChildRun run = run_in_child({"vorndiag", "378", "pos"}, 0, true);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "io addr = 378\nparport addr 0x378 \n");
  EXPECT_EQ(run.traffic, startup_traffic() + shutdown_traffic());
}

TEST(RunFrame, RefusalNamesTheRangeAndReason) {
  struct Row {
    int err;
    const char *reason;
  } rows[] = {{EPERM, "Operation not permitted"},
              {ENOSYS, "Function not implemented"},
              {EINVAL, "Invalid argument"}};
  for (const Row &row : rows) {
    ChildRun run = run_in_child({"vorndiag", "378", "servo"}, row.err, false);
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, std::string("io addr = 378\nparport addr 0x378 \n"
                                   "cannot access I/O ports 0x378 to 0x37c: ") +
                           row.reason + "\n");
    EXPECT_EQ(run.traffic, "");
  }
}

} // namespace

namespace {

TEST(RunFrame, NoProgramNameStillGivesTheHelpScreen) {
  ChildRun run = run_in_child({}, 0, false);
  EXPECT_EQ(run.status, 255);
  EXPECT_EQ(run.out, std::string("syntax: vorndiag I/O Address in hex <test name>\n") + kHelp);
  EXPECT_EQ(run.traffic, "");
}

} // namespace
