// servof passes or commtest cycles on the null port with standard output
// buffered by line or fully, timed: run on a pseudo-terminal, it shows what
// the buffering of the tool's output costs per pass.
//
//   vorn_bench_stdout servof|commtest line|full <passes>
//
// The figures go to standard error, the reports to standard output.
#include "loop_passes.h"
#include "null_port.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

double seconds(clockid_t clock) {
  timespec ts{};
  clock_gettime(clock, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

int usage(const char *prog) {
  std::fprintf(stderr, "usage: %s servof|commtest line|full <passes>\n", prog);
  return 2;
}

} // namespace

int main(int argc, char **argv) {
  if (argc != 4)
    return usage(argv[0]);
  const bool servof = std::strcmp(argv[1], "servof") == 0;
  const bool line = std::strcmp(argv[2], "line") == 0;
  if ((!servof && std::strcmp(argv[1], "commtest") != 0) ||
      (!line && std::strcmp(argv[2], "full") != 0))
    return usage(argv[0]);
  const long long passes = std::atoll(argv[3]);
  if (passes <= 0)
    return usage(argv[0]);

  std::setvbuf(stdout, nullptr, line ? _IOLBF : _IOFBF, BUFSIZ);
  // commtest on the echo finds no mismatch: only its summary lines print.
  vorn::measure::NullPort port(vorn::measure::Timeout::clear,
                               servof ? vorn::measure::Answers::empty_bus
                                      : vorn::measure::Answers::preset_echo);
  port.install();
  vorndiag::Counts pos{};
  vorndiag::Counts dacval{};
  vorndiag::CommtestState state;

  const double wall = seconds(CLOCK_MONOTONIC);
  const double cpu = seconds(CLOCK_PROCESS_CPUTIME_ID);
  for (long long i = 0; i < passes; ++i) {
    if (servof)
      vorndiag::servof_pass(pos, dacval);
    else
      vorndiag::commtest_cycle(state);
  }
  std::fflush(stdout);
  const double per_pass = 1e9 / static_cast<double>(passes);
  std::fprintf(stderr, "%s %s: %lld passes, %.0f ns wall and %.0f ns CPU per pass\n", argv[1],
               argv[2], passes, (seconds(CLOCK_MONOTONIC) - wall) * per_pass,
               (seconds(CLOCK_PROCESS_CPUTIME_ID) - cpu) * per_pass);
  return 0;
}
