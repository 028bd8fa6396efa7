// The C calls a front end uses beyond the drivers: the two register
// accesses, the run's events, notes and end, the refusal and stop states
// of start-up and shut-down, and the writes that give way to a stop.
#include "bus.h"
#include "recording_port.h"
#include "vorn.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace vorn::test;

long long cycles_on_the_bus() {
  long long all = 0;
  for (int block = 0; block < 16; ++block) {
    long long cycles = 0, unanswered = 0;
    vornBusAccount(block, &cycles, &unanswered);
    all += cycles;
  }
  return all;
}

// One register access each, and no bus cycle of their own in the account.
TEST(FrontEndCalls, RegisterAccessesAreSingleAndUnaccounted) {
  struct Case {
    const char *name;
    int (*call)();
    int value; // read back, -1 for a write
    std::vector<Access> traffic;
  };
  const Case cases[] = {
      {"ControlWrite", [] { return (vornControlWrite(0x24), -1); }, -1, {{'W', 2, 0x24}}},
      {"ControlWriteOther", [] { return (vornControlWrite(0x04), -1); }, -1, {{'W', 2, 0x04}}},
      {"EppDataRead", [] { return int{vornEppDataRead()}; }, 0x4A, {{'R', 4, 0x4A}}},
  };
  for (const Case &c : cases) {
    RecordingPort port(0x278);
    port.script(4, {0x4A});
    ASSERT_EQ(vornMotInit(nullptr), 0) << c.name;
    port.clear();
    const long long before = cycles_on_the_bus();
    EXPECT_EQ(c.call(), c.value) << c.name;
    EXPECT_EQ(to_string(port.accesses()), to_string(c.traffic)) << c.name;
    EXPECT_EQ(cycles_on_the_bus(), before) << c.name;
  }
}

// A run control that takes a fixed event wherever one is asked about (as a
// replay does), or what was seen, and ends as told.
class ScriptedRun final : public vorn::RunControl {
public:
  std::string event_point(std::string_view kind, std::string seen) override {
    asked.push_back(std::string(kind) + "|" + seen);
    return takes.empty() ? seen : takes;
  }
  void note(std::string_view text) override { notes.emplace_back(text); }
  vorn::RunEnd end_run() override { return end; }

  std::string takes;
  vorn::RunEnd end;
  std::vector<std::string> asked;
  std::vector<std::string> notes;
};

TEST(FrontEndCalls, RunEventsReachTheRunControlAndTellWhatWasTaken) {
  struct Case {
    const char *name;
    const char *replayed; // what the run control takes; "" what was seen
    int kind;
    const char *cause;
    int result;
    const char *taken;
    const char *asked; // "" for not asked
  };
  const Case cases[] = {
      {"NothingSeen", "", VORN_EVENT_STOP, nullptr, 0, "", "stop|"},
      {"EmptyCauseIsNothing", "", VORN_EVENT_STOP, "", 0, "", "stop|"},
      {"StopSeen", "", VORN_EVENT_STOP, "SIGINT", 1, "stop SIGINT", "stop|stop SIGINT"},
      {"CutSeen", "", VORN_EVENT_KEYBOARD_CUT, "SIGTERM", 1, "keyboard cut SIGTERM",
       "keyboard cut|keyboard cut SIGTERM"},
      {"ReplayTakesWhatItRecorded", "stop SIGTERM", VORN_EVENT_STOP, nullptr, 1, "stop SIGTERM",
       "stop|"},
      {"UnknownKind", "stop SIGTERM", 7, "SIGINT", -1, "", ""},
  };
  for (const Case &c : cases) {
    RecordingPort port;
    ScriptedRun run;
    run.takes = c.replayed;
    vorn::ScopedBackend in_place(port, run);
    const char *taken = "unset";
    errno = 0;
    EXPECT_EQ(vornRunEvent(c.kind, c.cause, &taken), c.result) << c.name;
    EXPECT_STREQ(taken, c.taken) << c.name;
    EXPECT_EQ(errno, c.result < 0 ? EINVAL : 0) << c.name;
    EXPECT_EQ(run.asked, *c.asked ? std::vector<std::string>{c.asked} : std::vector<std::string>{})
        << c.name;
    EXPECT_EQ(vornRunEvent(c.kind, c.cause, nullptr), c.result) << c.name << ", taken not asked";
    EXPECT_TRUE(port.accesses().empty()) << c.name;
  }
}

TEST(FrontEndCalls, RunEndTellsTheKindAndMessageAndNotesPassOn) {
  struct Case {
    vorn::RunEnd end;
    vorn_run_end kind;
  };
  const Case cases[] = {
      {{vorn::RunEnd::Kind::ok, ""}, VORN_RUN_OK},
      {{vorn::RunEnd::Kind::trace_failed, "cannot write trace file t: No space left on device"},
       VORN_RUN_TRACE_FAILED},
      {{vorn::RunEnd::Kind::replay_departed, "board.trace:3: recorded W 2 24"},
       VORN_RUN_REPLAY_DEPARTED},
  };
  for (const Case &c : cases) {
    RecordingPort port;
    ScriptedRun run;
    run.end = c.end;
    vorn::ScopedBackend in_place(port, run);
    vornRunNote("key 5");
    const char *message = "unset";
    EXPECT_EQ(vornRunEnd(&message), c.kind) << c.end.message;
    EXPECT_EQ(message, c.end.message);
    EXPECT_EQ(vornRunEnd(nullptr), c.kind) << c.end.message;
    EXPECT_EQ(run.notes, std::vector<std::string>{"key 5"});
  }
}

// A trace file that cannot be written refuses the start-up as the trace's,
// not the port's; a later start-up without it clears that.
TEST(FrontEndCalls, TraceRefusedOnlyForTheTracesFile) {
  struct Case {
    const char *trace; // VORN_TRACE, nullptr unset
    int result;
    int refused;
  };
  const Case cases[] = {{"/", -1, 1}, {nullptr, 0, 0}, {"/proc/version/t", -1, 1}};
  for (const Case &c : cases) {
    RecordingPort port;
    if (c.trace != nullptr)
      setenv("VORN_TRACE", c.trace, 1);
    EXPECT_EQ(vornMotInit(nullptr), c.result) << (c.trace ? c.trace : "unset");
    unsetenv("VORN_TRACE");
    EXPECT_EQ(vornTraceRefused(), c.refused) << (c.trace ? c.trace : "unset");
  }
}

// The rate generator's stop answered or not, whatever else failed.
TEST(FrontEndCalls, StopMissedIsTheLastShutDownsStop) {
  struct Case {
    const char *name;
    std::uint8_t status; // what the status register reads during the stop
    int missed;
  };
  const Case cases[] = {{"Answered", 0x00, 0}, {"TimedOut", 0x01, 1}, {"AnsweredAgain", 0x00, 0}};
  for (const Case &c : cases) {
    RecordingPort port;
    ASSERT_EQ(vornMotInit(nullptr), 0) << c.name;
    port.script(1, {c.status});
    EXPECT_EQ(vornMotQuit(), c.missed ? -1 : 0) << c.name;
    EXPECT_EQ(vornStopMissed(), c.missed) << c.name;
  }
}

struct Pipe {
  Pipe() {
    if (pipe2(fds, O_CLOEXEC) != 0)
      fds[0] = fds[1] = -1;
  }
  ~Pipe() {
    for (int fd : fds)
      if (fd >= 0)
        close(fd);
  }
  // Fills it to the last byte the kernel takes.
  void fill() {
    const int flags = fcntl(fds[1], F_GETFL);
    fcntl(fds[1], F_SETFL, flags | O_NONBLOCK);
    const std::string block(4096, 'x');
    while (write(fds[1], block.data(), block.size()) > 0 || errno == EINTR) {
    }
    while (write(fds[1], "x", 1) == 1) {
    }
    fcntl(fds[1], F_SETFL, flags);
  }
  int fds[2];
};

// A stop lets a write to a stalled reader go; without one the write waits
// for the reader.
TEST(FrontEndCalls, WritesGiveWayWhileTheFlagIsSet) {
  std::signal(SIGPIPE, SIG_IGN);
  struct Case {
    const char *name;
    bool stopped;
    bool reader_gone;
    std::size_t written;
    int error;
  };
  constexpr std::size_t kSize = 10000;
  const Case cases[] = {
      {"StoppedGivesWay", true, false, 0, 0},
      {"NotStoppedWaitsForTheReader", false, false, kSize, 0},
      {"ReaderGoneIsAnError", false, true, 0, EPIPE},
  };
  const std::string data(kSize, 'd');
  for (const Case &c : cases) {
    Pipe p;
    ASSERT_GE(p.fds[0], 0);
    p.fill();
    if (c.reader_gone) {
      close(p.fds[0]);
      p.fds[0] = -1;
    }
    volatile std::sig_atomic_t flag = c.stopped ? 1 : 0;
    vornGiveWayWhile(&flag);
    // Drains the pipe after a while, so that a write that waited ends.
    std::thread reader([&p, &c] {
      if (c.reader_gone)
        return;
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      char buf[65536];
      while (read(p.fds[0], buf, sizeof buf) > 0) {
      }
    });
    int error = -1;
    const std::size_t written = vornWriteGivingWay(p.fds[1], data.data(), data.size(), &error);
    vornGiveWayWhile(nullptr);
    close(p.fds[1]); // the reader's end of input
    p.fds[1] = -1;
    reader.join();
    EXPECT_EQ(written, c.written) << c.name;
    EXPECT_EQ(error, c.error) << c.name;
  }
}

TEST(FrontEndCalls, WritesToAFileGoOutWhole) {
  char path[] = "/tmp/vorn-give-way-XXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  unlink(path);
  volatile std::sig_atomic_t flag = 1;
  vornGiveWayWhile(&flag);
  int error = -1;
  const std::string data(100000, 'f');
  EXPECT_EQ(vornWriteGivingWay(fd, data.data(), data.size(), &error), data.size())
      << "a regular file never makes a writer wait";
  vornGiveWayWhile(nullptr);
  EXPECT_EQ(error, 0);
  EXPECT_EQ(lseek(fd, 0, SEEK_END), static_cast<off_t>(data.size()));
  close(fd);
}

} // namespace
