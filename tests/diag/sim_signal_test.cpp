// Stopping each looping test from outside: Ctrl-C, SIGTERM, SIGHUP and a
// closed output pipe all let the pass in progress complete, then shut the
// drivers down, with status 0.
#include "sim_run.h"

#include <gtest/gtest.h>

#include <csignal>

namespace {

using namespace diagtest;
using namespace std::chrono_literals;
using vorn::test::Step;

enum class Stop { sigint, sigterm, sighup, closed_pipe };

struct LoopCase {
  const char *name;
  std::vector<std::string> args;
  std::string rig;
  std::string input;
  std::size_t prologue_ops;
  std::size_t pass_ops;    // 0: a pass makes no bus traffic
  bool flushes_output;     // output appears while it runs
  const char *step_select; // an extra selection and write on some passes
  bool late_input = false; // typed once the tool waits for it, just before the stop
};

const LoopCase kLoops[] = {
    {"Pos", {"378", "pos"}, "", "", 0, 21, true, nullptr},
    {"Servo", {"378", "servo"}, "", "", 0, 36, true, nullptr},
    {"Servof", {"378", "servof"}, "", "", 0, 36, true, nullptr},
    {"Limit", {"378", "limit"}, "", "", 0, 0, false, nullptr},
    {"Home", {"378", "home"}, "", "", 0, 0, false, nullptr},
    {"Index", {"378", "index", "0"}, "", "", 2, 2, true, nullptr},
    {"Latch", {"378", "latch", "3"}, "", "", 2, 2, true, nullptr},
    {"Indexres", {"378", "indexres", "2"}, "", "", 6, 21, true, nullptr},
    {"Diocontinuous", {"378", "diocontinuous"}, "", "", 12, 4, true, "sel 1f"},
    // Plenty of mismatch reports, so that output reaches the pipe early.
    {"Commtest",
     {"378", "commtest"},
     "[faults]\nflip_probability = 0.2\n",
     "",
     0,
     41,
     true,
     nullptr},
    // The ramp runs flat out: stopped soon after it starts, to keep the
    // trace small.
    {"SpindleRamp", {"378", "spindle"}, "", "-999\n", 10, 4, false, nullptr, true},
};

using Param = std::tuple<LoopCase, Stop>;

// Before the stop the tool must be running its loop: past the first
// flushed output, or a while after the start for the tests that print
// nothing as they run.
std::vector<Step> stop_steps(const LoopCase &c, Stop stop) {
  if (stop == Stop::closed_pipe)
    return {vorn::test::close_output_on("parport")};
  const int sig = stop == Stop::sigint ? SIGINT : stop == Stop::sigterm ? SIGTERM : SIGHUP;
  if (c.flushes_output)
    return {vorn::test::signal_on_output(sig, "parport")};
  if (c.late_input)
    return {vorn::test::write_input_after(c.input, 300ms), vorn::test::close_input_after(0ms),
            vorn::test::signal_after(sig, 20ms)};
  return {vorn::test::signal_after(sig, 300ms)};
}

// The bus operations of the passes, without the extra write of a stepping
// pass.
std::vector<std::string> passes_only(const std::vector<std::string> &body, const LoopCase &c) {
  std::vector<std::string> ops(body.begin() + static_cast<long>(c.prologue_ops), body.end());
  if (c.step_select == nullptr)
    return ops;
  std::vector<std::string> kept;
  for (std::size_t i = 0; i < ops.size(); ++i) {
    if (ops[i] == c.step_select)
      ++i;
    else
      kept.push_back(ops[i]);
  }
  return kept;
}

class StopLoop : public testing::TestWithParam<Param> {};

TEST_P(StopLoop, PassCompletesThenShutDown) {
  const auto &[c, stop] = GetParam();
  const std::vector<Step> steps = stop_steps(c, stop);
  SimRun run = run_sim({c.args, c.rig, c.late_input ? "" : c.input, steps, c.late_input});
  EXPECT_EQ(run.result.steps_done, steps.size());
  EXPECT_EQ(run.result.term_signal, 0);
  // commtest's rig spoils reads on purpose
  EXPECT_EQ(run.result.exit_status, c.args[1] == "commtest" ? kExitCommErrors : 0);
  ASSERT_TRUE(run.shut_down) << "no start-up or no shut-down in the trace";
  ASSERT_GE(run.body.size(), c.prologue_ops);
  const std::vector<std::string> passes = passes_only(run.body, c);
  if (c.pass_ops == 0) {
    EXPECT_TRUE(passes.empty());
  } else {
    EXPECT_EQ(passes.size() % c.pass_ops, 0u) << "a pass was cut short";
  }
  if (stop != Stop::closed_pipe) {
    EXPECT_EQ(run.result.out.rfind(kStartLines, 0), 0u);
  }
}

bool pipe_applies(const LoopCase &c) { return c.flushes_output; }

std::vector<Param> params() {
  std::vector<Param> all;
  for (const LoopCase &c : kLoops)
    for (Stop s : {Stop::sigint, Stop::sigterm, Stop::sighup, Stop::closed_pipe})
      // Tests that write nothing while they loop never meet a closed pipe.
      if (s != Stop::closed_pipe || pipe_applies(c))
        all.emplace_back(c, s);
  return all;
}

std::string param_name(const testing::TestParamInfo<Param> &info) {
  static const char *const kStops[] = {"Sigint", "Sigterm", "Sighup", "ClosedPipe"};
  return std::string(std::get<0>(info.param).name) + "_" +
         kStops[static_cast<int>(std::get<1>(info.param))];
}

void PrintTo(const Param &p, std::ostream *os) {
  *os << std::get<0>(p).name << " stop " << static_cast<int>(std::get<1>(p));
}

INSTANTIATE_TEST_SUITE_P(Sim, StopLoop, testing::ValuesIn(params()), param_name);

// At a prompt every stop ends the wait at once: the line typed after it is
// neither read nor applied, the test says nothing more, the end sequence
// runs (the spindle stopped).
struct PromptCase {
  const char *name;
  const char *test;
  int sig;
  std::string out; // after the start lines
  std::size_t body_ops;
};

void PrintTo(const PromptCase &c, std::ostream *os) { *os << c.name; }

const char *const kSpindlePrompt = "value[+/- 0..255]? (-999  for continuous ramp)";

const PromptCase kPrompts[] = {
    {"RateSigint", "rate", SIGINT, "Axis? RATE(0)volts? ", 0},
    {"RateSigterm", "rate", SIGTERM, "Axis? RATE(0)volts? ", 0},
    {"RateSighup", "rate", SIGHUP, "Axis? RATE(0)volts? ", 0},
    {"RateCtrlZ", "rate", SIGTSTP, "Axis? RATE(0)volts? ", 0},
    {"SpindleSigint", "spindle", SIGINT, kSpindlePrompt, 0},
    {"SpindleSigterm", "spindle", SIGTERM, kSpindlePrompt, 0},
};

class StopAtPrompt : public testing::TestWithParam<PromptCase> {};

TEST_P(StopAtPrompt, EndsAtOnce) {
  const PromptCase &c = GetParam();
  // rate gets its axis at once; both then wait for the next line.
  const std::string first = std::string(c.test) == "rate" ? "0\n" : "";
  SimRun run =
      run_sim({{"378", c.test},
               "",
               first,
               {vorn::test::signal_when_reading(c.sig), vorn::test::write_input_after("0\n", 200ms),
                vorn::test::close_input_after(0ms)},
               true});
  EXPECT_EQ(run.result.exit_status, 0);
  EXPECT_EQ(run.result.out, kStartLines + c.out);
  ASSERT_TRUE(run.shut_down);
  if (std::string(c.test) == "spindle") {
    EXPECT_TRUE(cut_spindle_stop(run.body)) << "the spindle was not stopped";
  }
  EXPECT_EQ(run.body.size(), c.body_ops);
}

INSTANTIATE_TEST_SUITE_P(Sim, StopAtPrompt, testing::ValuesIn(kPrompts),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
