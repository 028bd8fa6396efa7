// limit and home: the switch states, printed whenever one changes.
#include "frame.h"
#include "output_check.h"
#include "stop_signals.h"
#include "switch_watch.h"
#include "vorn.h"

#include <cstddef>
#include <cstdio>
#include <string>

namespace vorndiag {

namespace {

// The first change of a pass starts the report's line.
void note_change(int state, int &old, bool &newline) {
  if (state != old && !newline) {
    std::putchar('\n');
    newline = true;
  }
  old = state;
}

// Every state in `format`, then `end`.
template <std::size_t N> void report(const int (&states)[N], const char *format, char end) {
  for (int state : states)
    std::printf(format, state);
  std::putchar(end);
  std::fflush(stdout);
}

} // namespace

// All states start at 0 on both sides, so a reader that stores nothing
// (the drivers' placeholders) never gives a report.
void watch_limits(SwitchRead max_read, SwitchRead min_read) {
  int lim[2 * kAxes] = {};
  int oldlim[2 * kAxes] = {};
  while (!stop_requested()) {
    bool newline = false;
    for (int k = 0; k < kAxes; ++k) {
      max_read(k, &lim[2 * k]);
      note_change(lim[2 * k], oldlim[2 * k], newline);
      min_read(k, &lim[2 * k + 1]);
      note_change(lim[2 * k + 1], oldlim[2 * k + 1], newline);
    }
    if (newline)
      report(lim, "%+d\t", '\n');
    pause_pass();
  }
}

void watch_homes(SwitchRead home_read) {
  int home[kAxes] = {};
  int oldhome[kAxes] = {};
  while (!stop_requested()) {
    bool newline = false;
    for (int k = 0; k < kAxes; ++k) {
      home_read(k, &home[k]);
      note_change(home[k], oldhome[k], newline);
    }
    if (newline)
      report(home, "%d\t", '\r');
    pause_pass();
  }
}

namespace {

// Said once, on standard error, so that a technician toggling a switch does
// not blame the wiring for the silence.
void tell_no_switch_reads(const char *prog) {
  tell(std::string(prog) +
       ": this board set's driver reads no limit or home switches: no change will show "
       "here; dio and diocontinuous read the boards' digital inputs\n");
}

} // namespace

void test_limit(const TestArgs &args) {
  tell_no_switch_reads(args.prog);
  watch_limits(vornMaxLimitSwitchRead, vornMinLimitSwitchRead);
}

void test_home(const TestArgs &args) {
  tell_no_switch_reads(args.prog);
  watch_homes(vornHomeSwitchRead);
}

} // namespace vorndiag
