#include "counts_line.h"

#include "frame.h"
#include "vorn.h"

#include <cmath>
#include <cstdio>

namespace vorndiag {

namespace {
constexpr double kJumpCounts = 1000.0;
}

void mark_jump(const Counts &pos, Counts &oldpos) {
  bool newline = false;
  for (int i = 0; i < kAxes; ++i) {
    // NaN compares false: not a jump.
    if (std::fabs(pos[i] - oldpos[i]) > kJumpCounts && !newline) {
      std::putchar('\n');
      newline = true;
    }
    oldpos[i] = pos[i];
  }
}

void live_counts_pass(Counts &pos, Counts &oldpos) {
  vornEncoderReadAll(kAxes, pos);
  mark_jump(pos, oldpos);
  for (double count : pos)
    std::printf("%+15.3f\t", count);
  std::putchar('\r');
  std::fflush(stdout);
  pause_pass();
}

} // namespace vorndiag
