// limit and home: the switch states, printed whenever one changes.
#include "frame.h"
#include "switch_watch.h"
#include "vorn.h"

#include <cstdio>

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

} // namespace

// All states start at 0 on both sides, so a reader that stores nothing
// (the drivers' placeholders) never gives a report.
void watch_limits(SwitchRead max_read, SwitchRead min_read) {
  int lim[2 * kAxes] = {};
  int oldlim[2 * kAxes] = {};
  while (!done) {
    bool newline = false;
    for (int k = 0; k < kAxes; ++k) {
      max_read(k, &lim[2 * k]);
      note_change(lim[2 * k], oldlim[2 * k], newline);
      min_read(k, &lim[2 * k + 1]);
      note_change(lim[2 * k + 1], oldlim[2 * k + 1], newline);
    }
    if (newline) {
      for (int state : lim)
        std::printf("%+d\t", state);
      std::putchar('\n');
      std::fflush(stdout);
    }
    pause_pass();
  }
}

void watch_homes(SwitchRead home_read) {
  int home[kAxes] = {};
  int oldhome[kAxes] = {};
  while (!done) {
    bool newline = false;
    for (int k = 0; k < kAxes; ++k) {
      home_read(k, &home[k]);
      note_change(home[k], oldhome[k], newline);
    }
    if (newline) {
      for (int state : home)
        std::printf("%d\t", state);
      std::putchar('\r');
      std::fflush(stdout);
    }
    pause_pass();
  }
}

void test_limit(const TestArgs &) { watch_limits(vornMaxLimitSwitchRead, vornMinLimitSwitchRead); }

void test_home(const TestArgs &) { watch_homes(vornHomeSwitchRead); }

} // namespace vorndiag
