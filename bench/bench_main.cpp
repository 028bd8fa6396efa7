// Time, port accesses and heap allocations per operation: on the null port,
// what the software costs by itself; on the simulated board set, what a run
// of vorndiag-sim costs. Reports go to /dev/null while they are measured.
#include "alloc_count.h"
#include "board_under_test.h"
#include "operations.h"
#include "stdout_to_null.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace {

using vorn::bench::Board;
using vorn::measure::Operation;

// Counted apart from the timed loop, whose start and end allocate a little
// of their own.
double allocations_per_run(const Operation &op) {
  constexpr int kRuns = 1000;
  const unsigned long long before = vorn_allocations();
  for (int i = 0; i < kRuns; ++i)
    op.run();
  return static_cast<double>(vorn_allocations() - before) / kRuns;
}

void measure(benchmark::State &state, const Operation &op, Board board) {
  vorn::bench::BoardUnderTest bus(board);
  std::optional<vorn::measure::StdoutToNull> quiet;
  if (op.prints)
    quiet.emplace();
  op.run(); // first-use costs stay out of the figures
  const std::uint64_t accesses = bus.accesses();
  for (auto _ : state)
    op.run();
  using benchmark::Counter;
  state.counters["accesses"] =
      Counter(static_cast<double>(bus.accesses() - accesses), Counter::kAvgIterations);
  state.counters["prescribed"] = static_cast<double>(op.accesses);
  state.counters["allocs"] = allocations_per_run(op);
}

// Two cores shared with whatever else runs: the median of a few runs,
// unless the command line asks for something else.
const char *const kDefaultFlags[] = {"--benchmark_repetitions=3", "--benchmark_min_time=0.2",
                                     "--benchmark_report_aggregates_only=true"};

// Shows the median of the repetitions only, counters in columns, colours
// on a terminal.
class MedianReporter : public benchmark::ConsoleReporter {
public:
  MedianReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular) {}
  void ReportRuns(const std::vector<Run> &runs) override {
    std::vector<Run> shown;
    for (const Run &run : runs)
      if (run.run_type == Run::RT_Iteration || run.aggregate_name == "median")
        shown.push_back(run);
    ConsoleReporter::ReportRuns(shown);
    std::fflush(stdout); // a line as each benchmark ends, though fully buffered
  }
};

void register_all() {
  for (const Operation &op : vorn::measure::operations()) {
    // On an empty bus every commtest axis fails and is reported; the echo
    // gives the clean cycle.
    const bool commtest = std::string_view(op.name) == "commtest_cycle";
    for (Board board : {Board::null, Board::echo, Board::sim}) {
      if (board == Board::echo && !commtest)
        continue;
      const std::string name = std::string(op.name) + "/" + vorn::bench::board_name(board);
      benchmark::RegisterBenchmark(name.c_str(), measure, op, board);
    }
  }
}

} // namespace

int main(int argc, char **argv) {
  // Fully buffered, as the tool's output is on a file or /dev/null and
  // servof's is everywhere; set before any output, as it must be.
  static char out_buffer[4096];
  std::setvbuf(stdout, out_buffer, _IOFBF, sizeof out_buffer);
  std::vector<char *> args{argv[0]};
  for (const char *flag : kDefaultFlags)
    args.push_back(const_cast<char *>(flag)); // parsed, never written
  args.insert(args.end(), argv + 1, argv + argc);
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  if (benchmark::ReportUnrecognizedArguments(count, args.data()))
    return 1;
  register_all();
  MedianReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
