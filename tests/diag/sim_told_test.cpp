// What the tool tells a technician beyond the tests' own lines: a block
// that stops answering while a looping test runs, a spindle that did not
// take its stop, switch tests on a board set that reads no switches, and
// the last live reading left on a terminal's screen.
#include "run_tool.h"
#include "scratch_dir.h"
#include "sim_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fstream>
#include <string>

namespace {

using namespace diagtest;

std::size_t count_of(const std::string &text, const std::string &what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
    ++n;
  return n;
}

const std::string kDeadEncoder =
    ": block 0 (bus addresses 0x00 to 0x0f, the encoder board) stopped answering\n";

// Said at once, once, and before the account after the run, which stays.
struct DeadCase {
  const char *name;
  std::vector<std::string> args;
  std::string rig;
  std::size_t lines; // of kDeadEncoder
};
void PrintTo(const DeadCase &c, std::ostream *os) { *os << c.name; }

const DeadCase kDead[] = {
    {"PosEmptyBus", {"378", "pos"}, "interrupt_after = 20000\n[boards]\n", 1},
    {"PosEncoderDies",
     {"378", "pos"},
     "interrupt_after = 30000\n[[faults.board_stops]]\nblock = 0\nafter = 5000\n",
     1},
    {"ServofEncoderDies",
     {"378", "servof"},
     "interrupt_after = 30000\n[[faults.board_stops]]\nblock = 0\nafter = 5000\n",
     1},
    {"PosHealthy", {"378", "pos"}, "interrupt_after = 20000\n", 0},
};

class DeadBus : public testing::TestWithParam<DeadCase> {};

TEST_P(DeadBus, ToldWhileItHappens) {
  const DeadCase &c = GetParam();
  // The rig's keys go before its tables.
  SimRun run = run_sim({c.args, c.rig, "", {}});
  const std::string &err = run.result.err;
  EXPECT_EQ(count_of(err, kDeadEncoder), c.lines) << err;
  ASSERT_TRUE(run.shut_down);
  if (c.lines == 0)
    return;
  const std::size_t account = err.find("no board answered at block 0");
  ASSERT_NE(account, std::string::npos) << "the account after the run stays: " << err;
  EXPECT_LT(err.find(kDeadEncoder), account) << err;
  EXPECT_EQ(run.result.out.find("stopped answering"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Sim, DeadBus, testing::ValuesIn(kDead),
                         [](const auto &info) { return std::string(info.param.name); });

const std::string kBackEncoder =
    ": block 0 (bus addresses 0x00 to 0x0f, the encoder board) answers again\n";

// A board that stops answering for a while and comes back is told both
// ways, in that order, before the account; one that flickers is told at
// most once a second, still alternating. pos makes about 2500 accesses a
// second.
TEST(DeadBus, ToldAgainWhenItAnswersAgain) {
  std::string flicker = "interrupt_after = 12000\n";
  for (int after = 1000; after < 11000; after += 400)
    flicker += "[[faults.board_stops]]\nblock = 0\nafter = " + std::to_string(after) +
               "\nuntil = " + std::to_string(after + 150) + "\n";
  const struct {
    const char *name;
    std::string rig;
    bool once; // one line each way; else at most one a second
  } cases[] = {
      {"back",
       "interrupt_after = 12000\n[[faults.board_stops]]\nblock = 0\nafter = 2000\nuntil = "
       "5000\n",
       true},
      {"flickering", flicker, false},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    const auto start = std::chrono::steady_clock::now();
    SimRun run = run_sim({{"378", "pos"}, c.rig, "", {}});
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const std::string &err = run.result.err;
    ASSERT_TRUE(run.shut_down);
    const std::size_t account = err.find("no board answered at block 0");
    ASSERT_NE(account, std::string::npos) << err;
    std::string told; // "s" stopped, "a" answers again, in order
    for (std::size_t at = 0; at < account;) {
      const std::size_t dead = err.find(kDeadEncoder, at), back = err.find(kBackEncoder, at);
      if (std::min(dead, back) >= account)
        break;
      told += dead < back ? "s" : "a";
      at = std::min(dead, back) + 1;
    }
    if (c.once) {
      EXPECT_EQ(told, "sa") << err;
      continue;
    }
    EXPECT_GE(told.size(), 2u) << err;
    EXPECT_LE(static_cast<double>(told.size()), seconds + 1) << err;
    for (std::size_t i = 0; i < told.size(); ++i)
      EXPECT_EQ(told[i], i % 2 == 0 ? 's' : 'a') << told;
  }
}

// The spindle's stop, told by the account of its block: a warning and
// status 7 when a board that answered before missed it.
struct SpindleCase {
  const char *name;
  std::string rig;
  bool warned;
  int status;
};
void PrintTo(const SpindleCase &c, std::ostream *os) { *os << c.name; }

const SpindleCase kSpindle[] = {
    {"Healthy", "", false, 0},
    {"BoardDiesAfterTheSpeed", "[[faults.board_stops]]\nblock = 0\nafter = 60\n", true,
     kExitStopNotTaken},
    // Nothing ever answered there: nothing was set turning.
    {"EmptyBus", "[boards]\n", false, kExitUnanswered},
};

class SpindleStop : public testing::TestWithParam<SpindleCase> {};

TEST_P(SpindleStop, WarnedWhenNotTaken) {
  const SpindleCase &c = GetParam();
  SimRun run = run_sim({{"378", "spindle"}, c.rig, "200\n", {}});
  EXPECT_EQ(run.result.exit_status, c.status) << run.result.err;
  EXPECT_EQ(run.result.err.find("WARNING: the spindle did not take the stop: it may still be "
                                "turning; switch it off\n") != std::string::npos,
            c.warned)
      << run.result.err;
  ASSERT_TRUE(run.shut_down);
}

INSTANTIATE_TEST_SUITE_P(Sim, SpindleStop, testing::ValuesIn(kSpindle),
                         [](const auto &info) { return std::string(info.param.name); });

// limit and home say once, on standard error, that no switch change can
// show here; their standard output stays the tests' own.
TEST(SwitchTests, SayTheyReadNoSwitches) {
  for (const char *test : {"limit", "home"}) {
    SCOPED_TRACE(test);
    SimRun run = run_sim({{"378", test},
                          "",
                          "",
                          {vorn::test::signal_after(SIGINT, std::chrono::milliseconds(100))}});
    EXPECT_EQ(count_of(run.result.err, "driver reads no limit or home switches"), 1u)
        << run.result.err;
    EXPECT_EQ(run.result.out, kStartLines);
  }
}

// A live line ends in a carriage return: on a terminal a line end follows
// after the stop, so that the shell's prompt does not overwrite it; through
// a pipe the output stays as it is.
TEST(LiveLine, EndedOnATerminalOnly) {
  vorn::test::ScratchDir dir;
  const std::string rig = dir.file("rig.toml");
  std::ofstream(rig) << "clock = \"virtual\"\ninterrupt_after = 3000\n";
  for (const char *test : {"pos", "diocontinuous"}) {
    for (const bool terminal : {false, true}) {
      SCOPED_TRACE(std::string(test) + (terminal ? " on a terminal" : " through a pipe"));
      vorn::test::RunSettings how;
      how.args = {"378", test};
      how.env = {{"VORNSIM_RIG", rig}};
      how.output_on_terminal = terminal;
      const vorn::test::RunResult r = vorn::test::run_tool(VORNDIAG_SIM, how);
      ASSERT_GE(r.out.size(), 3u);
      EXPECT_EQ(r.out.back(), terminal ? '\n' : '\r');
    }
  }
}

} // namespace
