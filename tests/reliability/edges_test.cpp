// The edges of a run: every catchable signal stops it with the shut-down, a
// stalled reader does not hold the shut-down up, and no file of the run is
// overwritten by the trace.
#include "run_tool.h"
#include "scratch_dir.h"
#include "trace_io.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using vorn::test::RunResult;
using vorn::test::RunSettings;

// The end sequence's writes: rate control 0x1c set to 0x00, then 0x1d and
// 0x1e, and no write after them.
bool ends_with_shut_down(const std::string &trace) {
  const std::size_t select = trace.rfind("W 3 1c\n");
  if (select == std::string::npos)
    return false;
  std::string writes;
  for (std::size_t at = trace.find("W ", select + 1); at != std::string::npos;
       at = trace.find("W ", at + 1))
    writes += trace.substr(at, trace.find('\n', at) - at + 1);
  return writes == "W 4 00\nW 4 c8\nW 4 c8\n";
}

struct Program {
  const char *name;
  const char *path;
};

const Program kPrograms[] = {
    {"Sim", VORNDIAG_SIM},
#ifdef VORNDIAG_FAKEDEV
    {"Fakedev", VORNDIAG_FAKEDEV},
#endif
};

struct SignalCase {
  const char *name;
  int signal;
};

const SignalCase kSignals[] = {
    {"Usr1", SIGUSR1},   {"Usr2", SIGUSR2},   {"Alrm", SIGALRM},     {"Vtalrm", SIGVTALRM},
    {"Prof", SIGPROF},   {"Xcpu", SIGXCPU},   {"Xfsz", SIGXFSZ},     {"Poll", SIGPOLL},
    {"Sys", SIGSYS},     {"Pwr", SIGPWR},     {"Stkflt", SIGSTKFLT}, {"Abrt", SIGABRT},
    {"Rtmin", SIGRTMIN}, {"Rtmax", SIGRTMAX}, {"Ttou", SIGTTOU},     {"Ttin", SIGTTIN},
};

using SignalParam = std::tuple<Program, SignalCase>;
class EverySignal : public testing::TestWithParam<SignalParam> {};

// servo, with every channel commanded, when the signal comes.
TEST_P(EverySignal, EndsTheRunWithTheShutDown) {
  const auto &[program, sig] = GetParam();
  vorn::test::ScratchDir files;
  RunSettings how;
  how.args = {"378", "servo"};
  how.env = {{"VORN_TRACE", files.file("t.trace")}};
  how.steps = {vorn::test::signal_on_output(sig.signal, "CtlByt")};
  const RunResult r = vorn::test::run_tool(program.path, how);
  EXPECT_FALSE(r.timed_out) << "stopped or still running";
  EXPECT_EQ(r.term_signal, 0);
  EXPECT_EQ(r.exit_status, 0) << r.err;
  EXPECT_TRUE(ends_with_shut_down(vorn::test::read_file(files.file("t.trace"))));
}

INSTANTIATE_TEST_SUITE_P(Reliability, EverySignal,
                         testing::Combine(testing::ValuesIn(kPrograms),
                                          testing::ValuesIn(kSignals)),
                         [](const auto &info) {
                           return std::string(std::get<0>(info.param).name) + "_" +
                                  std::get<1>(info.param).name;
                         });

std::chrono::system_clock::time_point modified(const std::string &path) {
  struct stat st {};
  stat(path.c_str(), &st);
  return std::chrono::system_clock::time_point(std::chrono::seconds(st.st_mtim.tv_sec) +
                                               std::chrono::nanoseconds(st.st_mtim.tv_nsec));
}

// The reader stalls until 1.5 s after SIGTERM: the shut-down (the trace's
// last write, at the port's release) comes long before the end, and then
// every line reaches the reader.
TEST(StopFirst, AStalledReaderDoesNotHoldTheShutDownUp) {
  vorn::test::ScratchDir files;
  RunSettings how;
  how.args = {"378", "servo"};
  how.env = {{"VORN_TRACE", files.file("t.trace")}};
  how.steps = {vorn::test::stall_output_after(0ms), vorn::test::signal_when_writing(SIGTERM),
               vorn::test::resume_output_after(1500ms)};
  const RunResult r = vorn::test::run_tool(VORNDIAG_SIM, how);
  const auto ended = std::chrono::system_clock::now();
  ASSERT_EQ(r.steps_done, 3u);
  EXPECT_EQ(r.exit_status, 0) << r.err;
  const std::string trace = vorn::test::read_file(files.file("t.trace"));
  EXPECT_TRUE(ends_with_shut_down(trace));
  EXPECT_GT(ended - modified(files.file("t.trace")), 1000ms) << "shut down only after the stall";
  EXPECT_TRUE(r.out.ends_with(" \n")) << "output lost";
  EXPECT_GT(r.out.size(), 10000u);
}

// Drains `fd` to its end once `stall` has passed since data came (the
// writer fills a one-page pipe at once and then waits).
std::string read_after_stall(int fd, std::chrono::milliseconds stall,
                             std::chrono::system_clock::time_point &resumed) {
  pollfd first{fd, POLLIN, 0};
  poll(&first, 1, 20000);
  std::this_thread::sleep_for(stall);
  resumed = std::chrono::system_clock::now();
  std::string data;
  char chunk[4096];
  for (;;) {
    pollfd p{fd, POLLIN, 0};
    poll(&p, 1, -1);
    const ssize_t n = read(fd, chunk, sizeof chunk);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR))
      return data;
    if (n > 0)
      data.append(chunk, static_cast<std::size_t>(n));
  }
}

// The accesses of a trace file, plain or compressed, one line each; with
// "unreadable" at the end when it does not read to its end.
std::string accesses_of(const std::string &path) {
  vorn::trace::Input in;
  std::string lines;
  std::string_view line;
  if (!in.open(path))
    return "unreadable";
  while (in.next(line))
    if (vorn::trace::parse_line(line).kind == vorn::trace::Line::Kind::access)
      lines.append(line).append("\n");
  return in.failed() ? lines + "unreadable" : lines;
}

// A compressed trace to a FIFO whose reader stalls for 2 s once the pipe
// is full: the shut-down (in the simulator's own, plain, trace) comes long
// before the reader goes on, and the compressed trace then holds every access.
TEST(StopFirst, AStalledReaderOfACompressedTraceDoesNotHoldTheShutDownUp) {
  vorn::test::ScratchDir files;
  const std::string fifo = files.file("t.trace.gz");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(reader, 0);
  fcntl(reader, F_SETPIPE_SZ, 4096);
  std::chrono::system_clock::time_point resumed;
  std::string compressed;
  std::thread drain([&] { compressed = read_after_stall(reader, 2000ms, resumed); });
  RunSettings how;
  how.args = {"378", "commtest"};
  how.env = {{"VORN_TRACE", fifo}, {"VORNSIM_TRACE", files.file("sim.trace")}};
  how.steps = {vorn::test::signal_when_writing(SIGTERM)};
  how.timeout = 10000ms;
  const RunResult r = vorn::test::run_tool(VORNDIAG_SIM, how);
  drain.join();
  close(reader);
  ASSERT_EQ(r.steps_done, 1u);
  EXPECT_EQ(r.exit_status, 0) << r.err;
  EXPECT_GT(resumed - modified(files.file("sim.trace")), 1000ms)
      << "shut down only after the stall";
  std::ofstream(files.file("got.gz"), std::ios::binary) << compressed;
  const std::string sim = accesses_of(files.file("sim.trace"));
  EXPECT_TRUE(ends_with_shut_down(sim));
  EXPECT_TRUE(accesses_of(files.file("got.gz")) == sim) << "the compressed trace lost lines";
}

// A FIFO with no reader is refused at once, before any port access.
TEST(StopFirst, ATraceFifoWithNoReaderIsRefusedAtOnce) {
  vorn::test::ScratchDir files;
  const std::string fifo = files.file("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  for (const char *variable : {"VORN_TRACE", "VORNSIM_TRACE"}) {
    RunSettings how;
    how.args = {"378", "bus"};
    how.env = {{variable, fifo}};
    how.timeout = 5000ms;
    const RunResult r = vorn::test::run_tool(VORNDIAG_SIM, how);
    EXPECT_FALSE(r.timed_out) << variable;
    EXPECT_EQ(r.exit_status, 2) << variable;
    EXPECT_EQ(r.out.find("Board"), std::string::npos) << r.out;
  }
}

// The trace named as another file of the run: refused, status 2, the file
// kept as it was, the message naming it.
struct ClashCase {
  const char *name;
  const char *trace_variable;
  const char *other_variable; // nullptr: the file is standard output
  const char *content;
  const char *named;
};

const ClashCase kClashes[] = {
    {"ReplayRecording", "VORN_TRACE", "VORNSIM_REPLAY", nullptr, "the replay recording"},
    {"RigFile", "VORN_TRACE", "VORNSIM_RIG", "clock = \"virtual\"\n", "the rig file"},
    {"RigFileSimTrace", "VORNSIM_TRACE", "VORNSIM_RIG", "clock = \"virtual\"\n", "the rig file"},
    {"StandardOutput", "VORN_TRACE", nullptr, "", "standard output"},
    {"StandardOutputSimTrace", "VORNSIM_TRACE", nullptr, "", "standard output"},
};

class NoFileOverwritten : public testing::TestWithParam<ClashCase> {};

TEST_P(NoFileOverwritten, ByTheTrace) {
  const ClashCase &c = GetParam();
  vorn::test::ScratchDir files;
  const std::string file = files.file("f");
  std::string before;
  if (c.content != nullptr) {
    std::ofstream(file) << c.content;
  } else { // a recording of the same run
    RunSettings record;
    record.args = {"378", "bus"};
    record.env = {{"VORNSIM_TRACE", file}};
    ASSERT_EQ(vorn::test::run_tool(VORNDIAG_SIM, record).exit_status, 0);
  }
  before = vorn::test::read_file(file);
  RunSettings how;
  how.env = {{c.trace_variable, file}};
  if (c.other_variable != nullptr) {
    how.env.push_back({c.other_variable, file});
    how.args = {"378", "bus"};
  } else {
    how.args = {"-c", "exec \"$0\" 378 bus >> " + file, VORNDIAG_SIM};
  }
  const RunResult r =
      vorn::test::run_tool(c.other_variable != nullptr ? VORNDIAG_SIM : "/bin/sh", how);
  EXPECT_EQ(r.exit_status, 2) << r.err;
  const std::string after = vorn::test::read_file(file);
  EXPECT_EQ(after.find("Board"), std::string::npos) << "the test ran";
  if (c.content == nullptr || *c.content != '\0')
    EXPECT_EQ(after, before);
  else
    EXPECT_EQ(after.find("W 3"), std::string::npos) << "the trace was written";
  EXPECT_NE((r.err + after + r.out).find(c.named), std::string::npos) << r.err << r.out;
}

INSTANTIATE_TEST_SUITE_P(Reliability, NoFileOverwritten, testing::ValuesIn(kClashes),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(NoFileOverwritten, ASymbolicLinkIsNotFollowed) {
  vorn::test::ScratchDir files;
  std::ofstream(files.file("victim")) << "keep\n";
  ASSERT_EQ(symlink(files.file("victim").c_str(), files.file("board.trace").c_str()), 0);
  for (const char *variable : {"VORN_TRACE", "VORNSIM_TRACE"}) {
    RunSettings how;
    how.args = {"378", "bus"};
    how.env = {{variable, files.file("board.trace")}};
    const RunResult r = vorn::test::run_tool(VORNDIAG_SIM, how);
    EXPECT_EQ(r.exit_status, 2) << variable;
    EXPECT_EQ(vorn::test::read_file(files.file("victim")), "keep\n") << variable;
  }
}

TEST(BoundedMemory, ARigOverItsSizeIsRefusedWithTheSize) {
  RunSettings how;
  how.args = {"378", "bus"};
  how.env = {{"VORNSIM_RIG", "/dev/zero"}};
  const RunResult r = vorn::test::run_tool(VORNDIAG_SIM, how);
  EXPECT_EQ(r.exit_status, 2);
  EXPECT_NE(r.err.find("1048576 bytes"), std::string::npos) << r.err;
  EXPECT_EQ(r.out, "");
}

} // namespace

namespace {

// The address as scanf's "%x" reads it: a sign is taken and negates modulo
// 2^32, the conversion stops at the first character that is no hex digit.
TEST(Address, ANegativeOneIsTheTopOfTheUnsignedRange) {
  for (const auto &[arg, shown] : {std::pair<const char *, const char *>{"-1", "ffffffff"},
                                   {"-378", "fffffc88"},
                                   {"-0x10zz", "fffffff0"}}) {
    RunSettings how;
    how.args = {arg, "bus"};
    const RunResult r = vorn::test::run_tool(VORNDIAG_SIM, how);
    EXPECT_EQ(r.out.rfind(std::string("io addr = ") + shown + "\n", 0), 0u) << arg;
  }
}

} // namespace
