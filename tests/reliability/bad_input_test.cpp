// The interactive tests fed what a keyboard, a pipe or a line-noise serial
// console can give: NUL bytes, lines of thousands of characters, numbers
// beyond int and double, input that ends anywhere, and seeded random bytes.
// Each run must end normally with the rate generators stopped, and every
// action the output reports must have reached the bus, no more.
#include "output_shape.h"
#include "sim_run.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

using namespace diagtest;
using namespace reliability;
using namespace std::string_literals;

// Bounds the spindle ramp should an input ask for it.
const std::string kRig = "interrupt_after = 200000\n";

// Five writes of 0x80 to digital output 0 start every keyboard action.
std::size_t idle_runs(const std::vector<std::string> &body) {
  std::size_t pairs = 0;
  for (std::size_t i = 0; i + 1 < body.size(); ++i)
    pairs += body[i] == "sel 1f" && body[i + 1] == "wr 80";
  return pairs / 5;
}

// What every run must show, whatever it was fed: a normal end, the drivers
// shut down, and as many actions on the bus as the output reports.
void expect_clean_end(const std::string &test, SimRun run) {
  EXPECT_EQ(run.result.exit_status, 0) << run.result.err.substr(0, 2000);
  EXPECT_EQ(run.result.term_signal, 0);
  EXPECT_FALSE(run.result.timed_out);
  ASSERT_TRUE(run.shut_down) << "rate generators not stopped at the end";
  const std::string &out = run.result.out;
  if (test == "rate") {
    EXPECT_EQ(idle_runs(run.body), occurrences(out, "volts="));
    EXPECT_EQ(occurrences(out, "RATE("), occurrences(out, "volts=") + 1);
  } else if (test == "spindle") {
    EXPECT_TRUE(cut_spindle_stop(run.body)) << "the spindle was not stopped";
    // The last prompt met the end of the input, unless -999 started the
    // ramp, which the rig's Ctrl-C ends.
    std::size_t speeds = 0;
    for (const std::string &op : run.body)
      speeds += op == "sel 0f";
    const bool ramp = speeds > idle_runs(run.body);
    EXPECT_EQ(idle_runs(run.body) + (ramp ? 0 : 1), occurrences(out, "value[+/- 0..255]?"));
  } else {
    EXPECT_EQ(idle_runs(run.body), occurrences(out, "sending "));
  }
}

struct InputCase {
  const char *name;
  const char *test;
  std::string input;
  std::vector<std::string> shown; // in this order in the output
};

void PrintTo(const InputCase &c, std::ostream *os) { *os << c.name; }

const std::string kLongDigits(5000, '9');

const InputCase kCases[] = {
    {"RateNulLine", "rate", "0\n\0\0\0\n"s, {"RATE(0)volts? non numeric volts , quitting\n"}},
    {"RateNulInsideNumber",
     "rate",
     "0\n1\0"
     "9\n"s,
     {"volts=1.000000\n", "got null in dac\n"}},
    // 5001 characters: 64 answers of at most 79 characters, all nines.
    {"RateLongLine", "rate", "0\n" + kLongDigits + "\n", {"volts=9999999999", "got null in dac"}},
    {"RateBeyondDouble",
     "rate",
     "0\n1E400\n-1E400\n1E99999999999999999999\n",
     {"volts=inf\n", "count 400 CtlByt 2", "volts=-inf\n", "count 400 CtlByt 3", "volts=inf\n"}},
    {"RateAxisBeyondLong",
     "rate",
     "99999999999999999999\n1\n",
     {"RATE(-1)volts? volts=1.000000\n"}},
    {"RateAxisBeyondInt", "rate", "4294967298\n1\n", {"RATE(2)volts? volts=1.000000\n"}},
    {"RateMinusAlone", "rate", "0\n-\n", {"volts=0.000000\n"}},
    {"RateEndMidLine", "rate", "0\n1.5", {"volts=1.500000\n", "got null in dac\n"}},
    {"RateEndMidAxis", "rate", "3", {"Axis? RATE(3)volts? got null in dac\n"}},
    {"SpindleNul", "spindle", "\0\n"s, {}},
    {"SpindleLongLine", "spindle", kLongDigits + "\n", {}},
    {"SpindleMostNegativeLong", "spindle", "-9223372036854775808\n-2147483648\n", {}},
    {"SpindleEndMidLine", "spindle", "-5", {}},
    {"DioNulValue", "dio", "1\n\0\n"s, {"value to output ?"}},
    {"DioValueBeyondLong", "dio", "1\n99999999999999999999\n", {"sending -1\n"}},
    {"DioNulAnswer", "dio", "\0\n1\n"s, {"Enter 1 to do output"}},
    {"DioAnswerTruncatedToOne", "dio", "4294967297\n7\n", {"sending 7\n"}},
    {"DioLongAnswer", "dio", "1" + std::string(5000, ' ') + "\n", {"value to output ?"}},
    {"DioEndMidValue", "dio", "1\n12", {"sending 12\n"}},
};

class BadInput : public testing::TestWithParam<InputCase> {};

TEST_P(BadInput, EndsCleanlyAndSaysWhatItDid) {
  const InputCase &c = GetParam();
  SimRun run = run_sim({{"378", c.test}, kRig, c.input, {}});
  expect_clean_end(c.test, run);
  std::size_t at = 0;
  for (const std::string &text : c.shown) {
    at = run.result.out.find(text, at);
    ASSERT_NE(at, std::string::npos) << "missing: " << text << "\nin: " << run.result.out;
  }
}

INSTANTIATE_TEST_SUITE_P(Reliability, BadInput, testing::ValuesIn(kCases),
                         [](const auto &info) { return std::string(info.param.name); });

// Bytes weighted towards what the parsers look at.
std::string random_input(std::mt19937 &rng) {
  static const std::string kSpecial = "0123456789-.E+x \n\n\n\0"s;
  std::uniform_int_distribution<int> length(0, 400), pick(0, 3), any(0, 255);
  std::uniform_int_distribution<std::size_t> special(0, kSpecial.size() - 1);
  std::string text;
  for (int n = length(rng); n > 0; --n)
    text += pick(rng) == 0 ? static_cast<char>(any(rng)) : kSpecial[special(rng)];
  return text;
}

struct RandomBatch {
  const char *test;
  unsigned seed;
};

class RandomInput : public testing::TestWithParam<RandomBatch> {};

// A few dozen seeded inputs per test; the fuzzers go much further.
TEST_P(RandomInput, EveryRunEndsCleanly) {
  std::mt19937 rng(GetParam().seed);
  for (int i = 0; i < 30; ++i) {
    const std::string input = random_input(rng);
    SCOPED_TRACE("input #" + std::to_string(i) + " of seed " + std::to_string(GetParam().seed));
    SimRun run = run_sim({{"378", GetParam().test}, kRig, input, {}});
    expect_clean_end(GetParam().test, run);
    if (HasFailure())
      return;
  }
}

INSTANTIATE_TEST_SUITE_P(Reliability, RandomInput,
                         testing::Values(RandomBatch{"rate", 1}, RandomBatch{"rate", 2},
                                         RandomBatch{"spindle", 3}, RandomBatch{"spindle", 4},
                                         RandomBatch{"dio", 5}, RandomBatch{"dio", 6}),
                         [](const auto &info) {
                           return std::string(info.param.test) + "_" +
                                  std::to_string(info.param.seed);
                         });

} // namespace
