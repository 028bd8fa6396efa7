// pos, servo and servof: the four encoder counts, shown and fed back to the
// rate generators.
#include "counts_line.h"
#include "frame.h"
#include "loop_passes.h"
#include "stop_signals.h"
#include "vorn.h"

#include <cstdio>

namespace vorndiag {

namespace {

constexpr double kCountsPerVolt = 1000.0;

void to_volts(const Counts &pos, Counts &dacval) {
  for (int i = 0; i < kAxes; ++i)
    dacval[i] = pos[i] / kCountsPerVolt;
}

} // namespace

// oldpos starts at zero: a first pass away from zero by more than 1000
// counts opens with a line end.
void test_pos(const TestArgs &) {
  Counts pos{};
  Counts oldpos{};
  while (!stop_requested())
    live_counts_pass(pos, oldpos);
}

void test_servo(const TestArgs &) {
  Counts pos{};
  Counts oldpos{};
  Counts dacval{};
  while (!stop_requested()) {
    vornEncoderReadAll(kAxes, pos);
    mark_jump(pos, oldpos);
    to_volts(pos, dacval);
    for (double count : pos)
      std::printf("%+12.1f ", count);
    std::printf("   ");
    for (double volts : dacval)
      std::printf("%+10.2f ", volts);
    std::putchar('\n');
    vornRateWriteAll(kAxes, dacval);
    std::fflush(stdout);
    pause_pass();
  }
}

void servof_pass(Counts &pos, Counts &dacval) {
  vornEncoderReadAll(kAxes, pos);
  to_volts(pos, dacval);
  vornRateWriteAll(kAxes, dacval);
}

void test_servof(const TestArgs &) {
  Counts pos{};
  Counts dacval{};
  while (!stop_requested())
    servof_pass(pos, dacval);
}

} // namespace vorndiag
