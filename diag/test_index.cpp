// index, latch and indexres: the index channel of one encoder axis.
#include "board_map.h"
#include "counts_line.h"
#include "frame.h"
#include "stop_signals.h"
#include "vorn.h"

#include <cstdio>

namespace vorndiag {

namespace {

using FlagRead = int (*)(int encoder, int *flag);

// An unbroken stream of flags, one per pass, after emptying the latched
// index bits.
void stream_flags(int axis, FlagRead read) {
  vornEncoderResetIndex(axis);
  int flag = 0;
  while (!stop_requested()) {
    read(axis, &flag);
    std::printf("%d ", flag);
    std::fflush(stdout);
    pause_pass();
  }
}

} // namespace

void test_index(const TestArgs &args) { stream_flags(args.axis, vornEncoderReadLevel); }

void test_latch(const TestArgs &args) { stream_flags(args.axis, vornEncoderReadLatch); }

// The run frame has already refused axes outside 0 to 3.
void test_indexres(const TestArgs &args) {
  using namespace vorn::map;
  const unsigned axis_bit = 1u << args.axis;
  SelWrt(kEncPreset, 0x00);
  WriteData(0x00);
  WriteData(0x00);
  SelWrt(kEncIndexSet, static_cast<std::uint8_t>(axis_bit));
  // The message names the register 0x05, though the write goes to 0x0D.
  std::printf("setting index set reg (0x05) to %x\n", axis_bit);
  Counts pos{};
  Counts oldpos{};
  while (!stop_requested())
    live_counts_pass(pos, oldpos);
}

} // namespace vorndiag
