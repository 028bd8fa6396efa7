// A signal while the reader of the output has stalled: the tool blocks
// writing, the signal comes, the reader goes on. Every pass the trace shows
// must have its output, to the last byte, and the run must still end with
// the shut-down.
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

enum class Moment { blocked_writing, early_in_stall };

struct StallCase {
  int sig;
  std::chrono::milliseconds stall_after; // from the start of the run
  Moment moment;
};

std::string name_of(const StallCase &c) {
  const char *sig = c.sig == SIGTERM ? "Sigterm" : c.sig == SIGHUP ? "Sighup" : "Sigint";
  return std::string(sig) + "_StallAfter" + std::to_string(c.stall_after.count()) + "ms_" +
         (c.moment == Moment::blocked_writing ? "BlockedWriting" : "EarlyInStall");
}

void PrintTo(const StallCase &c, std::ostream *os) { *os << name_of(c); }

std::vector<StallCase> cases() {
  std::vector<StallCase> all;
  for (int sig : {SIGTERM, SIGHUP, SIGINT})
    for (auto after : {0ms, 60ms})
      for (Moment m : {Moment::blocked_writing, Moment::early_in_stall})
        all.push_back({sig, after, m});
  return all;
}

SimRun run_stalled(const std::vector<std::string> &args, const StallCase &c) {
  const Step signal = c.moment == Moment::blocked_writing ? vorn::test::signal_when_writing(c.sig)
                                                          : vorn::test::signal_after(c.sig, 3ms);
  const std::vector<Step> steps = {vorn::test::stall_output_after(c.stall_after), signal,
                                   vorn::test::resume_output_after(100ms)};
  SimRun run = run_sim({args, "", "", steps});
  EXPECT_EQ(run.result.steps_done, steps.size());
  EXPECT_EQ(run.result.exit_status, 0) << run.result.err;
  return run;
}

class StalledReader : public testing::TestWithParam<StallCase> {};

// Four report lines, one per channel in order, for each pass of 36 bus
// operations.
TEST_P(StalledReader, ServofLosesNoLine) {
  SimRun run = run_stalled({"378", "servof"}, GetParam());
  ASSERT_TRUE(run.shut_down);
  ASSERT_EQ(run.body.size() % 36, 0u) << "a pass was cut short";
  const std::string text = after(run.result.out, kStartLines);
  const std::vector<std::string> lines = split(text, '\n');
  std::size_t whole = 0;
  for (const std::string &line : lines)
    whole += line.size() + 1;
  EXPECT_EQ(whole, text.size()) << "a line was cut short";
  ASSERT_EQ(lines.size(), 4 * run.body.size() / 36) << "lines lost";
  for (std::size_t i = 0; i < lines.size(); ++i)
    ASSERT_EQ(lines[i].rfind(" rate_gen channel " + std::to_string(i % 4) + " count ", 0), 0u)
        << "line " << i << ": " << lines[i];
}

// Per sweep two reads (four operations), per pattern step one write.
TEST_P(StalledReader, DiocontinuousLosesNoSweep) {
  SimRun run = run_stalled({"378", "diocontinuous"}, GetParam());
  ASSERT_TRUE(run.shut_down);
  const std::string head = std::string(kStartLines) + "  DIO 0 inputs        DIO 1 inputs\n" +
                           " 7 6 5 4 3 2 1 0     7 6 5 4 3 2 1 0\n";
  const std::string text = after(run.result.out, head);
  // A signal that comes before the first sweep leaves none: nothing lost.
  EXPECT_TRUE(text.empty() || text.back() == '\r') << "a sweep was cut short";
  const std::size_t sweeps = split(text, '\r').size();
  const std::size_t steps = occurrences(text, "  output ");
  ASSERT_GE(run.body.size(), 12u);
  EXPECT_EQ(run.body.size(), 12 + 4 * sweeps + 2 * steps) << "sweeps lost";
}

INSTANTIATE_TEST_SUITE_P(Reliability, StalledReader, testing::ValuesIn(cases()),
                         [](const auto &info) { return name_of(info.param); });

} // namespace
