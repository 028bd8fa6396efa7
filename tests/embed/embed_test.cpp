// A controller's cases on the simulated boards and on the fake kernel
// device: a refused second start-up with an axis running, two threads, a
// forked child's exit, a device failing inside an atexit handler, and the
// counts after a restart.
#include "board_map.h"
#include "extintf.h"
#include "fake_ppdev.h"
#include "forked_trace.h"
#include "port_os.h"
#include "virtual_boards.h"
#include "vorn.h"
#include "vornsim.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using vorn::test::Call;
using vorn::test::FakePpdev;
using vorn::test::holds_in_forked_child;
using vorn::test::kRunBits;
using vorn::test::virtual_rig;

class OnBoards : public testing::Test {
protected:
  void SetUp() override {
    vornRateReportTo(nullptr);
    boards.install();
    ASSERT_EQ(extMotInit(nullptr), 0) << vornPortProblem();
  }
  void TearDown() override {
    extMotQuit();
    vornRateReportTo(stdout);
  }

  vorn::sim::Simulator boards{virtual_rig()};
};

const char *const kSecondChoices[] = {"auto", "raw", "bogus", "/dev/null"};

class SecondStart : public OnBoards, public testing::WithParamInterface<const char *> {};

// Whatever it names, it leaves the running start-up as it was.
TEST_P(SecondStart, IsRefusedAndTheAxisStaysStoppable) {
  ASSERT_EQ(extRateWrite(0, 5.0), 0);
  const std::uint8_t running = boards.rate_control();
  ASSERT_NE(running & kRunBits, 0);
  errno = 0;
  EXPECT_EQ(extMotInit(GetParam()), -1);
  EXPECT_EQ(errno, EBUSY);
  EXPECT_EQ(boards.rate_control(), running);
  double counts = 0;
  EXPECT_EQ(extEncoderRead(0, &counts), 0);
  EXPECT_EQ(extMotQuit(), 0);
  EXPECT_EQ(boards.rate_control() & kRunBits, 0);
}

INSTANTIATE_TEST_SUITE_P(Embed, SecondStart, testing::ValuesIn(kSecondChoices),
                         [](const auto &info) {
                           std::string name;
                           for (const char *c = info.param; *c != '\0'; ++c)
                             if (std::isalnum(static_cast<unsigned char>(*c)))
                               name += *c;
                           return name;
                         });

// The previous run ended with the counter gone down through zero: its
// extension must not carry over to the preset of the next start-up.
TEST_F(OnBoards, RestartCountsFromThePreset) {
  double counts = 0;
  for (const std::uint32_t at : {0xE00000u, 0x800000u, 0x300000u}) {
    boards.set_counter(0, at);
    ASSERT_EQ(extEncoderRead(0, &counts), 0);
  }
  ASSERT_LT(counts, 0.0);
  ASSERT_EQ(extMotQuit(), 0);
  ASSERT_EQ(extMotInit(nullptr), 0);
  ASSERT_EQ(extEncoderRead(0, &counts), 0);
  EXPECT_EQ(counts, 517.0);
}

// Axes 0 and 3 hold fast rates but stand still. One thread stops axis 1
// over and over, the other writes digital output 0: a byte of either in
// the other's registers (0xFF on the rate control register) would run them.
TEST_F(OnBoards, TwoThreadsMoveNoAxis) {
  constexpr int kCalls = 200000;
  ASSERT_EQ(extRateWrite(0, 10.0), 0);
  ASSERT_EQ(extRateWrite(3, 10.0), 0);
  ASSERT_EQ(extRateWrite(1, 0.0), 0);
  std::array<std::uint32_t, vorn::sim::kAxes> before{};
  for (int n = 0; n < vorn::sim::kAxes; ++n)
    before[n] = boards.counter(n);
  std::atomic<int> ready{0};
  const auto together = [&ready] {
    ready.fetch_add(1);
    while (ready.load() < 2) {
    }
  };
  std::thread rates([&] {
    together();
    for (int i = 0; i < kCalls; ++i)
      extRateWrite(1, 0.0);
  });
  std::thread outputs([&] {
    together();
    for (int i = 0; i < kCalls; ++i)
      extDioWrite(0, 0xFF);
  });
  rates.join();
  outputs.join();
  EXPECT_EQ(boards.rate_control() & kRunBits, 0);
  EXPECT_EQ(boards.dig_out(0), 0xFF);
  for (int n = 0; n < vorn::sim::kAxes; ++n)
    EXPECT_EQ(boards.counter(n), before[n]) << "axis " << n;
}

// A sequence of primitives held with vornBusLock() keeps another thread's
// entry point off the bus until vornBusUnlock().
TEST_F(OnBoards, BusLockHoldsOffOtherThreadsCalls) {
  std::atomic<bool> written{false};
  vornBusLock();
  std::thread other([&written] {
    extDioWrite(0, 0x5A);
    written = true;
  });
  SelWrt(vorn::map::kDigOut0, 0x11);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  const bool early = written;
  EXPECT_EQ(boards.dig_out(0), 0x11);
  vornBusUnlock();
  other.join();
  EXPECT_FALSE(early);
  EXPECT_EQ(boards.dig_out(0), 0x5A);
}

// The fake kernel device with every call the process after `parent` makes
// told on a pipe: a child's calls would act on the parent's claim.
int tell_fd = -1;
pid_t parent = 0;
const vorn::OsCalls *fake_calls = nullptr;

void told() {
  if (getpid() != parent) {
    const char byte = 'x';
    [[maybe_unused]] const ssize_t n = write(tell_fd, &byte, 1);
  }
}

const vorn::OsCalls kTelling = {
    [](const char *path, int flags, mode_t mode) {
      told();
      return fake_calls->open(path, flags, mode);
    },
    [](int fd) {
      told();
      return fake_calls->close(fd);
    },
    [](int fd, void *buf, size_t count) {
      told();
      return fake_calls->read(fd, buf, count);
    },
    [](int fd, const void *buf, size_t count) {
      told();
      return fake_calls->write(fd, buf, count);
    },
    [](int fd, unsigned long request, void *arg) {
      told();
      return fake_calls->ioctl(fd, request, arg);
    },
    [](int fd, int operation) {
      told();
      return fake_calls->flock(fd, operation);
    },
    [](const char *path, struct stat *st) { return fake_calls->stat(path, st); },
};

class Forked : public testing::Test {
protected:
  void SetUp() override {
    kernel.install();
    fake_calls = &vorn::os_calls();
    vorn::set_os_calls(&kTelling);
    parent = getpid();
    ASSERT_EQ(pipe(tells), 0);
    tell_fd = tells[1];
    ASSERT_EQ(extMotInit("/dev/parport0"), 0) << vornPortProblem();
  }
  void TearDown() override {
    extMotQuit();
    vorn::set_os_calls(fake_calls);
    kernel.uninstall();
    close(tells[0]);
    close(tells[1]);
  }

  vorn::sim::Simulator boards{virtual_rig()};
  FakePpdev kernel{boards};
  int tells[2] = {-1, -1};
};

TEST_F(Forked, ChildsExitLeavesTheParentsPortAndStop) {
  ASSERT_EQ(extRateWrite(0, 5.0), 0);
  EXPECT_TRUE(holds_in_forked_child([] {
    errno = 0;
    return extRateWrite(0, 0.0) == -1 && errno == EBUSY;
  })) << "the child's call was not refused";
  close(tells[1]);
  tells[1] = -1;
  char byte;
  EXPECT_EQ(read(tells[0], &byte, 1), 0) << "the child called the kernel's device";
  EXPECT_TRUE(kernel.claimed());
  EXPECT_NE(boards.rate_control() & kRunBits, 0);
  EXPECT_EQ(extMotQuit(), 0);
  EXPECT_EQ(boards.rate_control() & kRunBits, 0);
}

// The library's trace of the simulated boards.
bool start_traced(const std::string &path) {
  setenv("VORN_TRACE", path.c_str(), 1);
  static auto *boards = new vorn::sim::Simulator(virtual_rig());
  boards->install();
  return extMotInit(nullptr) == 0;
}

// What the parent buffered before the fork is the parent's to write.
TEST(ForkedTrace, ChildWritesNoneOfIt) {
  vorn::test::expect_child_writes_none(testing::TempDir() + "embed_fork_trace", start_traced);
}

// A host that shuts down only in an atexit handler registered before its
// first start-up, or not at all: the trace is written out after every
// handler, each access of the run in it.
TEST(LibraryTrace, IsWrittenOutAtTheHostsExit) {
  using vorn::test::RunEnd;
  const std::vector<std::string> whole =
      vorn::test::forked_trace(testing::TempDir() + "embed_fork_trace", false, start_traced);
  const std::string path = testing::TempDir() + "embed_exit_trace";
  EXPECT_EQ(vorn::test::forked_trace(path, false, start_traced, RunEnd::in_atexit_handler), whole);
  const std::vector<std::string> held =
      vorn::test::forked_trace(path, false, start_traced, RunEnd::none);
  ASSERT_GT(held.size(), 1u) << "no access of the start-up written";
  ASSERT_LT(held.size(), whole.size());
  EXPECT_TRUE(std::equal(held.begin(), held.end(), whole.begin()));
}

// The host's own atexit handler stops the axes while the device fails: the
// library answers -1 and lets the exit go on.
TEST(FailingDevice, InsideAnAtexitHandlerEndsNothing) {
  EXPECT_EXIT(
      {
        static auto *boards = new vorn::sim::Simulator(virtual_rig());
        static auto *kernel = new FakePpdev(*boards);
        kernel->install();
        if (extMotInit("/dev/parport0") != 0 || extRateWrite(0, 5.0) != 0)
          std::_Exit(2);
        std::atexit([] {
          kernel->fail_next(Call::write, EIO);
          const int quit = extMotQuit();
          std::fprintf(stderr, "quit %d %s failed %d claimed %d\n", quit,
                       errno == EIO ? "EIO" : "other", vornPortFailed(), kernel->claimed() ? 1 : 0);
        });
        std::exit(0);
      },
      testing::ExitedWithCode(0), "quit -1 EIO failed 1 claimed 0");
}

} // namespace
