// check on vorndiag-sim: a verdict per point from what the bus did, a
// status that says whether any failed, and no rate written but the stop;
// encoders turning told from a bad bus; a check stopped early gives no
// verdict; and a stop at a prompt ends the test with nothing more said.
#include "sim_run.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sstream>
#include <string>

namespace {

using namespace diagtest;
using namespace std::chrono_literals;

// The verdict word of the line about `point`, or "" when there is none.
std::string verdict(const std::string &out, const std::string &point) {
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);)
    if (line.size() > 5 && line.compare(5, point.size() + 1, point + ":") == 0)
      return line.substr(0, 4);
  return "";
}

struct CheckCase {
  const char *name;
  std::string rig;
  const char *port, *bus, *communication, *stop, *summary;
  int status;
  const char *motion = ""; // the encoder motion line's verdict, if any
};
void PrintTo(const CheckCase &c, std::ostream *os) { *os << c.name; }

const CheckCase kCases[] = {
    {"Default", "", "PASS", "PASS", "PASS", "PASS", "PASS", 0},
    {"EmptyBus", "[boards]\n", "PASS", "FAIL", "FAIL", "FAIL", "FAIL", kExitCheckFailed},
    {"Noisy", "[faults]\nseed = 2024\nflip_probability = 0.001\n", "PASS", "PASS", "FAIL", "PASS",
     "FAIL", kExitCheckFailed},
    // The rate board dies during the communication run: the shut-down's
    // stop is not taken.
    {"RateBoardDies", "[[faults.board_stops]]\nblock = 1\nafter = 2000\n", "PASS", "PASS", "PASS",
     "FAIL", "FAIL", kExitStopNotTaken},
    {"Turning", "[encoders]\nvelocity = [20000, -40000, 0, 0]\n", "PASS", "PASS", "PASS", "PASS",
     "WARN", 0, "WARN"},
    {"NoisyTurning",
     "[encoders]\nvelocity = [20000, -40000, 0, 0]\n"
     "[faults]\nseed = 2024\nflip_probability = 0.001\n",
     "PASS", "PASS", "FAIL", "PASS", "FAIL", kExitCheckFailed},
    {"NoDioBoard", "[boards]\n0 = 0x11\n1 = 0x42\n", "PASS", "PASS", "PASS", "PASS", "PASS", 0},
};

class Check : public testing::TestWithParam<CheckCase> {};

TEST_P(Check, VerdictsAndStatus) {
  const CheckCase &c = GetParam();
  SimRun run = run_sim({{"378", "check", "2000"}, c.rig, "", {}});
  const std::string &out = run.result.out;
  EXPECT_EQ(run.result.exit_status, c.status) << out;
  EXPECT_EQ(verdict(out, "port"), c.port) << out;
  EXPECT_EQ(verdict(out, "bus"), c.bus) << out;
  EXPECT_EQ(verdict(out, "encoder communication"), c.communication) << out;
  EXPECT_EQ(verdict(out, "rate generator stop"), c.stop) << out;
  EXPECT_EQ(verdict(out, "check"), c.summary) << out;
  EXPECT_EQ(verdict(out, "encoder motion"), c.motion) << out;
  // The summary follows the shut-down, whose stop it counts.
  EXPECT_LT(out.find("rate generator stop:"), out.find(" check:")) << out;
  EXPECT_EQ(run.result.err.find("WARNING: the rate generator did not take the stop") !=
                std::string::npos,
            c.status == kExitStopNotTaken)
      << run.result.err;
  ASSERT_TRUE(run.shut_down);
  // The only rate generator register written is the control register, with
  // the stop: no channel count, no run bit.
  for (std::size_t i = 0; i + 1 < run.body.size(); ++i) {
    const std::string &op = run.body[i];
    if (op.rfind("sel 1", 0) != 0 || run.body[i + 1].rfind("wr", 0) != 0)
      continue;
    ASSERT_EQ(op, "sel 1c") << "a rate written at op " << i;
    EXPECT_EQ(run.body[i + 1], "wr 00");
  }
  EXPECT_EQ(run.result.err.find("no board answered at block"), std::string::npos)
      << "check's lines are its report";
}

INSTANTIATE_TEST_SUITE_P(Sim, Check, testing::ValuesIn(kCases),
                         [](const auto &info) { return std::string(info.param.name); });

// Which axes turned, and which way. (How fast is counts per second of the
// PC's clock, which the simulator's virtual clock does not follow.)
TEST(Check, SaysWhichAxesTurnAndWhichWay) {
  const std::pair<const char *, const char *> cases[] = {
      {"[0, 0, 30000, 0]", "encoder motion: axis 2 about +"},
      {"[0, -30000, 0, 0]", "encoder motion: axis 1 about -"},
      {"[5000, 0, 0, -5000]", "encoder motion: axis 0 about +"},
  };
  for (const auto &[velocity, said] : cases) {
    SCOPED_TRACE(velocity);
    SimRun run = run_sim({{"378", "check", "3000"},
                          std::string("[encoders]\nvelocity = ") + velocity + "\n",
                          "",
                          {}});
    const std::string &out = run.result.out;
    EXPECT_EQ(run.result.exit_status, 0) << out;
    const std::size_t at = out.find(said);
    ASSERT_NE(at, std::string::npos) << out;
    const std::string line = out.substr(at, out.find('\n', at) - at);
    EXPECT_EQ(line.find("axis 0 about") != std::string::npos, velocity[1] != '0') << line;
    EXPECT_EQ(line.find("axis 2 about") != std::string::npos, velocity[7] == '3') << line;
  }
}

// Stopped before the cycles asked for ran (a scripted Ctrl-C, early or
// before the first cycle): no pass, the count that ran, status 10.
TEST(Check, StoppedEarlyGivesNoVerdict) {
  for (const char *rig : {"interrupt_after = 60\n", "interrupt_after = 20000\n"}) {
    SCOPED_TRACE(rig);
    SimRun run = run_sim({{"378", "check", "100000"}, rig, "", {}});
    const std::string &out = run.result.out;
    EXPECT_EQ(run.result.exit_status, kExitCheckIncomplete) << out;
    EXPECT_EQ(verdict(out, "check"), "WARN") << out;
    EXPECT_NE(out.find("of 100000 communication cycles"), std::string::npos) << out;
    ASSERT_TRUE(run.shut_down);
  }
}

// A counter that reads the same wrong count twice stood still: an error
// unless the axis turned that way (on an empty bus every axis read is one).
TEST(Check, AStandingWrongCountIsAnError) {
  SimRun run = run_sim({{"378", "check", "100"}, "[boards]\n", "", {}});
  EXPECT_NE(run.result.out.find("FAIL encoder communication: 100 cycles, 400 errors"),
            std::string::npos)
      << run.result.out;
}

TEST(Check, CommunicationCountsTheCyclesAskedFor) {
  SimRun run = run_sim({{"378", "check", "1234"}, "", "", {}});
  EXPECT_NE(run.result.out.find("PASS encoder communication: 1234 cycles, 0 errors"),
            std::string::npos)
      << run.result.out;
}

// A stop at a prompt ends the test at once: nothing more is said on either
// stream, whatever the signal.
struct PromptStopCase {
  const char *name;
  const char *test;
  std::string before; // typed before the signal
  int sig;
};
void PrintTo(const PromptStopCase &c, std::ostream *os) { *os << c.name; }

const PromptStopCase kPromptStops[] = {
    {"SpindleCtrlC", "spindle", "", SIGINT},
    {"RateVoltsCtrlC", "rate", "0\n", SIGINT},
    {"DioCtrlZ", "dio", "", SIGTSTP},
    {"SpindleSigterm", "spindle", "", SIGTERM},
};

class PromptStop : public testing::TestWithParam<PromptStopCase> {};

TEST_P(PromptStop, NothingMoreSaid) {
  const PromptStopCase &c = GetParam();
  SimRun run =
      run_sim({{"378", c.test},
               "",
               c.before,
               {vorn::test::signal_when_reading(c.sig), vorn::test::write_input_after("5\n", 300ms),
                vorn::test::close_input_after(0ms)},
               true});
  EXPECT_EQ(run.result.err, "");
  ASSERT_TRUE(run.shut_down);
  EXPECT_EQ(run.result.exit_status, 0);
}

INSTANTIATE_TEST_SUITE_P(Sim, PromptStop, testing::ValuesIn(kPromptStops),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
