// rate, spindle and dio end to end: typed answers in, text and bus
// operations out.
#include "sim_run.h"

#include <gtest/gtest.h>

namespace {

using namespace diagtest;
using Ops = std::vector<std::string>;

// Five writes of 0x80 to digital output 0 come before every action.
const Ops kIdle = {"sel 1f", "wr 80",  "sel 1f", "wr 80",  "sel 1f",
                   "wr 80",  "sel 1f", "wr 80",  "sel 1f", "wr 80"};

Ops join(std::initializer_list<Ops> parts) {
  Ops all;
  for (const Ops &p : parts)
    all.insert(all.end(), p.begin(), p.end());
  return all;
}

struct DialogueCase {
  const char *name;
  std::vector<std::string> args;
  std::string input;
  std::string out; // after the start lines
  Ops body;
  std::string rig = {};
};

void PrintTo(const DialogueCase &c, std::ostream *os) { *os << c.name; }

class Dialogue : public testing::TestWithParam<DialogueCase> {};

TEST_P(Dialogue, TextAndBus) {
  const DialogueCase &c = GetParam();
  SimRun run = run_sim({c.args, c.rig, c.input, {}});
  EXPECT_EQ(run.result.exit_status, 0);
  EXPECT_EQ(run.result.out, kStartLines + c.out);
  ASSERT_TRUE(run.shut_down);
  if (c.args[1] == "spindle") {
    EXPECT_TRUE(cut_spindle_stop(run.body)) << "the spindle was not stopped";
  }
  EXPECT_EQ(run.body, c.body);
}

std::string name_of(const testing::TestParamInfo<DialogueCase> &info) { return info.param.name; }

const char *const kVolts = "RATE(0)volts? ";
const char *const kNonNumeric = "non numeric volts , quitting\n";

const DialogueCase kRate[] = {
    {"EndOfInputAtAxis", {"378", "rate"}, "", "Axis? ", {}},
    {"EndOfInputAtVolts",
     {"378", "rate"},
     "0\n",
     std::string("Axis? ") + kVolts + "got null in dac\n",
     {}},
    {"LeadingBlank", {"378", "rate"}, "0\n 1\n", std::string("Axis? ") + kVolts + kNonNumeric, {}},
    {"Plus", {"378", "rate"}, "0\n+1\n", std::string("Axis? ") + kVolts + kNonNumeric, {}},
    {"EmptyLine", {"378", "rate"}, "0\n\n", std::string("Axis? ") + kVolts + kNonNumeric, {}},
    // Axis 7 is refused by the driver: no report, no rate written, yet the
    // five idle writes go out.
    {"AxisNotServed",
     {"378", "rate"},
     "7\n1\n",
     "Axis? RATE(7)volts? volts=1.000000\nRATE(7)volts? got null in dac\n",
     kIdle},
    {"HexAxis",
     {"378", "rate"},
     "0x2\n5\n",
     "Axis? RATE(2)volts? volts=5.000000\n"
     "Writing to rate gen at addr 0x16\n"
     " rate_gen channel 2 count 998 CtlByt 20    Count  0  3 e6 \n"
     "writing to rate ctrl reg at 0x1c\n"
     "RATE(2)volts? got null in dac\n",
     join({kIdle, {"sel 16", "wr e6", "wr 03", "wr 00", "sel 1c", "wr 20"}})},
    {"AxisWithoutDigits",
     {"378", "rate"},
     "axis\n-10\n",
     "Axis? RATE(0)volts? volts=-10.000000\n"
     "Writing to rate gen at addr 0x10\n"
     " rate_gen channel 0 count 498 CtlByt 3    Count  0  1 f2 \n"
     "writing to rate ctrl reg at 0x1c\n"
     "RATE(0)volts? got null in dac\n",
     join({kIdle, {"sel 10", "wr f2", "wr 01", "wr 00", "sel 1c", "wr 03"}})},
};
INSTANTIATE_TEST_SUITE_P(Rate, Dialogue, testing::ValuesIn(kRate), name_of);

// Each value: five idle writes, the direction to digital output 0, the
// magnitude's low byte to the speed register 0x0F.
Ops speed(const char *direction, const char *magnitude) {
  return join({kIdle, {"sel 1f", direction, "sel 0f", magnitude}});
}
const std::string kSpindlePrompt = "value[+/- 0..255]? (-999  for continuous ramp)";
std::string prompts(int n) {
  std::string text;
  for (int i = 0; i < n; ++i)
    text += kSpindlePrompt;
  return text;
}

const DialogueCase kSpindle[] = {
    {"Values",
     {"378", "spindle"},
     "100\n-100\n0\n300\n-256\n-1000\n0x10\n",
     prompts(8),
     join({speed("wr 81", "wr 64"), speed("wr 82", "wr 64"), speed("wr 81", "wr 00"),
           speed("wr 81", "wr 2c"), speed("wr 82", "wr 00"), speed("wr 82", "wr e8"),
           speed("wr 81", "wr 10")})},
    {"EndOfInput", {"378", "spindle"}, "", prompts(1), {}},
    // 79 characters are one answer; the rest of the line is the next one.
    {"LongLine",
     {"378", "spindle"},
     "100" + std::string(76, ' ') + "7\n",
     prompts(3),
     join({speed("wr 81", "wr 64"), speed("wr 81", "wr 07")})},
};
INSTANTIATE_TEST_SUITE_P(Spindle, Dialogue, testing::ValuesIn(kSpindle), name_of);

// Digital inputs fixed by the rig below; the output value is typed on a
// line of its own after its prompt.
const std::string kDioRig = "[digital_inputs]\nin0 = 0xff\nin1 = 0x5a\n";
const std::string kDioHead = "dio \nDigital In 0 = 255,  Digital In 1 = 90,  Estop In = 90\n"
                             "Enter 1 to do output";
const Ops kDioReads = {"sel 0d", "rd ff", "sel 0e", "rd 5a", "sel 0e", "rd 5a"};

const DialogueCase kDio[] = {
    {"Sends",
     {"378", "dio"},
     "1\n0x3f\n",
     kDioHead + "value to output ?sending 63\n",
     join({kDioReads, kIdle, {"sel 1f", "wr 3f"}}),
     kDioRig},
    {"SendsOctal",
     {"378", "dio"},
     "1\n010\n",
     kDioHead + "value to output ?sending 8\n",
     join({kDioReads, kIdle, {"sel 1f", "wr 08"}}),
     kDioRig},
    {"SendsLowByte",
     {"378", "dio"},
     "1\n300\n",
     kDioHead + "value to output ?sending 300\n",
     join({kDioReads, kIdle, {"sel 1f", "wr 2c"}}),
     kDioRig},
    {"AnswerTwo", {"378", "dio"}, "2\n5\n", kDioHead, kDioReads, kDioRig},
    {"EmptyAnswer", {"378", "dio"}, "\n5\n", kDioHead, kDioReads, kDioRig},
    {"EndOfInputAtFirstPrompt", {"378", "dio"}, "", kDioHead, kDioReads, kDioRig},
    {"ValueNotADigit",
     {"378", "dio"},
     "1\n x\n",
     kDioHead + "value to output ?",
     kDioReads,
     kDioRig},
    {"EndOfInputAtValue",
     {"378", "dio"},
     "1\n",
     kDioHead + "value to output ?",
     kDioReads,
     kDioRig},
};

INSTANTIATE_TEST_SUITE_P(Dio, Dialogue, testing::ValuesIn(kDio), name_of);

// The answers of the rate prompt, scanned and converted; each one
// followed by the driver's report for axis 1.
TEST(RateNumbers, ScanAndConversion) {
  SimRun run = run_sim({{"378", "rate"}, "", "1\n1.5\n1E3\n1E-3\n1e3\n0x10\n-2.5V\n1-2\n", {}});
  EXPECT_EQ(run.result.exit_status, 0);
  EXPECT_EQ(run.result.out, golden("rate_numbers.out"));
  ASSERT_TRUE(run.shut_down);
  // Seven answers: seven times the idle writes and one channel write.
  std::size_t idle_runs = 0;
  for (std::size_t i = 0; i + kIdle.size() <= run.body.size(); ++i)
    idle_runs += std::equal(kIdle.begin(), kIdle.end(), run.body.begin() + static_cast<long>(i));
  EXPECT_EQ(idle_runs, 7u);
  EXPECT_EQ(run.body.size(), 7 * (kIdle.size() + 6));
}

// The ramp: 0, 1, ... 255, 0, 1, ... to 0x0F, each after 0x81 to digital
// output 0, until the scripted Ctrl-C.
TEST(SpindleRamp, WrapsAfter256Steps) {
  SimRun run = run_sim({{"378", "spindle"}, "interrupt_after = 3000\n", "-999\n5\n", {}});
  EXPECT_EQ(run.result.exit_status, 0);
  EXPECT_EQ(run.result.out, kStartLines + kSpindlePrompt);
  ASSERT_TRUE(run.shut_down);
  ASSERT_TRUE(cut_spindle_stop(run.body)) << "the spindle was not stopped";
  ASSERT_GT(run.body.size(), kIdle.size() + 4 * 300);
  EXPECT_EQ(Ops(run.body.begin(), run.body.begin() + 10), kIdle);
  const std::size_t steps = (run.body.size() - kIdle.size()) / 4;
  EXPECT_EQ(run.body.size(), kIdle.size() + 4 * steps) << "a ramp step was cut short";
  char speed_op[8];
  for (std::size_t s = 0; s < steps; ++s) {
    std::snprintf(speed_op, sizeof speed_op, "wr %02zx", s % 256);
    const Ops step(run.body.begin() + static_cast<long>(kIdle.size() + 4 * s),
                   run.body.begin() + static_cast<long>(kIdle.size() + 4 * s + 4));
    ASSERT_EQ(step, (Ops{"sel 1f", "wr 81", "sel 0f", speed_op})) << "step " << s;
  }
}

} // namespace
