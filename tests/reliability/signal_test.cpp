// Signals the front-end suite does not send: SIGPIPE from outside and a
// second Ctrl-C in every looping test, and every signal at every prompt.
// Each run ends with status 0 and exactly one end sequence on the bus.
#include "output_shape.h"
#include "sim_run.h"

#include <gtest/gtest.h>

#include <csignal>
#include <string>

namespace {

using namespace diagtest;
using namespace reliability;
using namespace std::chrono_literals;
using vorn::test::Step;

const std::vector<std::string> kRateStop = {"sel 1c", "wr 00", "wr c8", "wr c8"};

// Start-up and shut-down each stop the rate generators once.
std::size_t rate_stops(const std::vector<std::string> &ops) {
  std::size_t n = 0;
  for (std::size_t i = 0; i + kRateStop.size() <= ops.size(); ++i)
    n += std::equal(kRateStop.begin(), kRateStop.end(), ops.begin() + static_cast<long>(i));
  return n;
}

enum class Kind { sigpipe, second_ctrl_c };

struct LoopCase {
  const char *name;
  std::vector<std::string> args;
  std::string input;
  bool prints_at_once; // the first pass flushes output
};

const LoopCase kLoops[] = {
    {"Pos", {"378", "pos"}, "", true},
    {"Servo", {"378", "servo"}, "", true},
    {"Servof", {"378", "servof"}, "", false},
    {"Limit", {"378", "limit"}, "", false},
    {"Home", {"378", "home"}, "", false},
    {"Index", {"378", "index", "0"}, "", true},
    {"Latch", {"378", "latch", "3"}, "", true},
    {"Indexres", {"378", "indexres", "2"}, "", true},
    {"Diocontinuous", {"378", "diocontinuous"}, "", false},
    {"Commtest", {"378", "commtest"}, "", false},
    {"SpindleRamp", {"378", "spindle"}, "-999\n", false},
};

void PrintTo(const LoopCase &c, std::ostream *os) { *os << c.name; }

using LoopParam = std::tuple<LoopCase, Kind>;

class SignalInLoop : public testing::TestWithParam<LoopParam> {};

TEST_P(SignalInLoop, PassEndsThenOneShutDown) {
  const auto &[c, kind] = GetParam();
  const int sig = kind == Kind::sigpipe ? SIGPIPE : SIGINT;
  std::vector<Step> steps = {c.prints_at_once ? vorn::test::signal_on_output(sig, "parport")
                                              : vorn::test::signal_after(sig, 30ms)};
  if (kind == Kind::second_ctrl_c)
    steps.push_back(vorn::test::signal_after(SIGINT, 0ms));
  SimRun run = run_sim({c.args, "", c.input, steps});
  EXPECT_EQ(run.result.exit_status, 0);
  EXPECT_EQ(run.result.term_signal, 0);
  // The second Ctrl-C goes out right after the first, while the pass
  // completes; should the tool already be gone, it is not sent at all.
  EXPECT_GE(run.result.steps_done, 1u);
  ASSERT_TRUE(run.shut_down);
  EXPECT_EQ(rate_stops(run.ops), 2u) << "the end sequence ran more than once";
  EXPECT_EQ(run.result.out.rfind(kStartLines, 0), 0u);
}

INSTANTIATE_TEST_SUITE_P(Reliability, SignalInLoop,
                         testing::Combine(testing::ValuesIn(kLoops),
                                          testing::Values(Kind::sigpipe, Kind::second_ctrl_c)),
                         [](const auto &info) {
                           return std::string(std::get<0>(info.param).name) +
                                  (std::get<1>(info.param) == Kind::sigpipe ? "_Sigpipe"
                                                                            : "_SecondCtrlC");
                         });

// At a prompt. Every stop cuts the read short: the line typed after it is
// not applied and the test says nothing more.
struct PromptCase {
  const char *name;
  const char *test;
  std::string before; // answers given before the prompt in question
  std::string line;   // typed after the signal
  std::string cut;    // all standard output after the start lines
};

void PrintTo(const PromptCase &c, std::ostream *os) { *os << c.name; }

const char *const kSpindle = "value[+/- 0..255]? (-999  for continuous ramp)";
const std::string kDioHead = "dio \nDigital In 0 = 0,  Digital In 1 = 0,  Estop In = 0\n"
                             "Enter 1 to do output";

const PromptCase kPrompts[] = {
    {"RateAxis", "rate", "", "1\n", "Axis? "},
    {"RateVolts", "rate", "1\n", "2\n", "Axis? RATE(1)volts? "},
    {"Spindle", "spindle", "", "5\n", kSpindle},
    {"DioAnswer", "dio", "", "1\n5\n", kDioHead},
    {"DioValue", "dio", "1\n", "5\n", kDioHead + "value to output ?"},
};

enum class PromptStop { sigint, sigterm, sighup, sigpipe, second_ctrl_c };
using PromptParam = std::tuple<PromptCase, PromptStop>;

// The front-end suite covers these already.
bool covered_elsewhere(const PromptCase &c, PromptStop s) {
  const std::string name = c.name;
  return (name == "RateVolts" && s <= PromptStop::sighup) ||
         (name == "Spindle" && s <= PromptStop::sigterm);
}

std::vector<PromptParam> prompt_params() {
  std::vector<PromptParam> all;
  for (const PromptCase &c : kPrompts)
    for (PromptStop s : {PromptStop::sigint, PromptStop::sigterm, PromptStop::sighup,
                         PromptStop::sigpipe, PromptStop::second_ctrl_c})
      if (!covered_elsewhere(c, s))
        all.emplace_back(c, s);
  return all;
}

int signal_of(PromptStop s) {
  switch (s) {
  case PromptStop::sigterm:
    return SIGTERM;
  case PromptStop::sighup:
    return SIGHUP;
  case PromptStop::sigpipe:
    return SIGPIPE;
  default:
    return SIGINT;
  }
}

class SignalAtPrompt : public testing::TestWithParam<PromptParam> {};

TEST_P(SignalAtPrompt, ReadCut) {
  const auto &[c, stop] = GetParam();
  std::vector<Step> steps = {vorn::test::signal_when_reading(signal_of(stop))};
  if (stop == PromptStop::second_ctrl_c)
    steps.push_back(vorn::test::signal_after(SIGINT, 50ms)); // still waiting for the line
  steps.push_back(vorn::test::write_input_after(c.line, 150ms));
  steps.push_back(vorn::test::close_input_after(0ms));
  SimRun run = run_sim({{"378", c.test}, "", c.before, steps, true});
  EXPECT_EQ(run.result.exit_status, 0);
  EXPECT_EQ(run.result.term_signal, 0);
  EXPECT_EQ(run.result.out, kStartLines + c.cut);
  ASSERT_TRUE(run.shut_down);
  EXPECT_EQ(rate_stops(run.ops), 2u);
  if (std::string(c.test) == "spindle") {
    EXPECT_TRUE(cut_spindle_stop(run.body)) << "the spindle was not stopped";
  }
  std::size_t idle = 0;
  for (std::size_t i = 0; i + 1 < run.body.size(); ++i)
    idle += run.body[i] == "sel 1f" && run.body[i + 1] == "wr 80";
  EXPECT_EQ(idle, 0u) << "a line typed after the stop was applied";
}

std::string prompt_name(const testing::TestParamInfo<PromptParam> &info) {
  static const char *const kStops[] = {"Sigint", "Sigterm", "Sighup", "Sigpipe", "SecondCtrlC"};
  return std::string(std::get<0>(info.param).name) + "_" +
         kStops[static_cast<int>(std::get<1>(info.param))];
}

INSTANTIATE_TEST_SUITE_P(Reliability, SignalAtPrompt, testing::ValuesIn(prompt_params()),
                         prompt_name);

} // namespace
