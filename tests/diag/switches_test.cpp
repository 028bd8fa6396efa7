// limit and home report forms, over scripted switch readers (the drivers'
// switch reads store nothing, so through them neither test reports).
#include "inproc.h"

#include "frame.h"
#include "switch_watch.h"

#include <gtest/gtest.h>

#include <array>

namespace {

using namespace diagtest;

// One row per pass: the states the readers store, axis by axis.
std::vector<std::array<int, 8>> g_passes;
std::size_t g_pass = 0;

// After the last axis's read the next row is used; after the last row the
// loop stops.
void end_of_pass(int axis) {
  if (axis == 3 && ++g_pass == g_passes.size())
    vorndiag::done = 1;
}
int read_max(int axis, int *flag) {
  *flag = g_passes[g_pass][2 * axis];
  return 0;
}
int read_min(int axis, int *flag) {
  *flag = g_passes[g_pass][2 * axis + 1];
  end_of_pass(axis);
  return 0;
}
int read_home(int axis, int *flag) {
  *flag = g_passes[g_pass][axis];
  end_of_pass(axis);
  return 0;
}

std::string watch(void (*run)(), std::vector<std::array<int, 8>> passes) {
  g_passes = std::move(passes);
  g_pass = 0;
  vorndiag::done = 0;
  StdoutCapture capture;
  run();
  return capture.take();
}

void limits() { vorndiag::watch_limits(read_max, read_min); }
void homes() { vorndiag::watch_homes(read_home); }

TEST(Limit, ReportsAllEightStatesOnceAChangeIsSeen) {
  std::string out = watch(limits, {{0, 0, 0, 0, 0, 0, 0, 0},
                                   {0, 0, 1, 0, 0, 0, 0, 0},  // max 1 closes
                                   {0, 0, 1, 0, 0, 0, 0, 0},  // quiet
                                   {0, 1, 1, 0, 0, 0, -1, 0}, // two at once
                                   {0, 1, 1, 0, 0, 0, -1, 0}});
  EXPECT_EQ(out, "\n+0\t+0\t+1\t+0\t+0\t+0\t+0\t+0\t\n"
                 "\n+0\t+1\t+1\t+0\t+0\t+0\t-1\t+0\t\n");
}

TEST(Limit, StatesStartAtZeroSoAnOpenSetIsSilent) {
  EXPECT_EQ(watch(limits, {{0, 0, 0, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0, 0, 0}}), "");
  EXPECT_EQ(watch(limits, {{0, 0, 0, 0, 0, 0, 0, 7}}), "\n+0\t+0\t+0\t+0\t+0\t+0\t+0\t+7\t\n");
}

TEST(Home, ReportsTheFourStatesOnALineOfTheirOwn) {
  std::string out = watch(homes, {{0, 0, 0, 0}, {0, 0, 1, 0}, {0, 0, 1, 0}, {1, 0, 0, 1}});
  EXPECT_EQ(out, "\n0\t0\t1\t0\t\r\n1\t0\t0\t1\t\r");
}

} // namespace
