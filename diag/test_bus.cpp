// bus and commtest: the bus itself, a map of its boards and a write and
// read-back check of the encoder counters.
#include "board_map.h"
#include "bus_probe.h"
#include "frame.h"
#include "loop_passes.h"
#include "stop_signals.h"
#include "vorn.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace vorndiag {

namespace {

using namespace vorn::map;

struct BoardLine {
  unsigned type;
  const char *format; // block number, version column
  bool whole_byte;    // the version column shows the whole ID byte
};

constexpr BoardLine kBoardLines[] = {
    {kTypeEncoder, "%4x        Encoder       %4x\n", false},
    {kTypeDac, "%4x        DAC-16        %4x\n", false},
    {kTypeDio, "%4x        DIO           %4x\n", false},
    {kTypeRategen, "%4x        Rategen Board %4x\n", false},
    {kTypeNone, "%4x        No Board      %4x\n", true},
};
constexpr BoardLine kUnknownBoard = {0, "%4x        Unknown       %4x\n", true};

const BoardLine &board_line(unsigned type) {
  for (const BoardLine &line : kBoardLines)
    if (line.type == type)
      return line;
  return kUnknownBoard;
}

// commtest turns the data lines to reading once before its reads, though
// every ReadData does it again: a cycle keeps its full count of accesses.
void reverse_data_lines() { vornControlWrite(kCtrlReverse); }

constexpr int kSummaryEvery = 1000;
constexpr int kLoadWritesBefore = 2; // before the pattern is drawn
constexpr int kLoadWritesAfter = 4;  // after it
constexpr int kSelectsBeforeRead = 3;

void load_preset_writes(int count) {
  for (int i = 0; i < count; ++i)
    SelWrt(kEncControl, kEncLoadPreset);
}

} // namespace

BoardIds probe_boards() {
  BoardIds ids;
  ids.fill(kNotProbed);
  for (std::uint32_t a = block_id_addr(0); a <= kLastAddr; a += kBlockSize) {
    SelAddr(a);
    reverse_data_lines();
    const unsigned id = vornEppDataRead();
    ids[a >> 4] = static_cast<int>(id);
    if (id >> 4 == kTypeRategen) // two blocks: the next one is not probed
      a += kBlockSize;
  }
  return ids;
}

void test_bus(const TestArgs &) {
  std::printf("Bus Map \n  Board Addr  Type         Ver.\n");
  const BoardIds ids = probe_boards();
  for (std::uint32_t block = 0; block < kBlockCount; ++block) {
    if (ids[block] == kNotProbed)
      continue;
    const auto id = static_cast<unsigned>(ids[block]);
    const BoardLine &line = board_line(id >> 4);
    std::printf(line.format, block, line.whole_byte ? id : id & 0x0F);
  }
}

void latch_and_read(Readback &got) {
  EncoderLatch();
  for (int i = 0; i < kSelectsBeforeRead; ++i)
    SelAddr(kEncCount);
  reverse_data_lines();
  for (auto &axis : got)
    for (unsigned &byte : axis)
      byte = ReadData();
}

void comm_load(CommCycle &c) {
  load_preset_writes(kLoadWritesBefore);
  // Unseeded: every run goes through the same patterns.
  for (unsigned &byte : c.pattern)
    byte = static_cast<unsigned>(std::rand()) & 0xFF;
  load_preset_writes(kLoadWritesAfter);
  SelWrt(kEncPreset, static_cast<std::uint8_t>(c.pattern[0]));
  WriteData(static_cast<std::uint8_t>(c.pattern[1]));
  WriteData(static_cast<std::uint8_t>(c.pattern[2]));
  SelWrt(kEncControl, kEncCounting);
}

void comm_transfer(CommCycle &c) {
  comm_load(c);
  latch_and_read(c.got);
}

int comm_cycle(long long cycle, bool report) {
  CommCycle c;
  comm_transfer(c);
  int failed = 0;
  for (int axis = 0; axis < kAxes; ++axis) {
    const unsigned *got = c.got[axis];
    if (got[0] == c.pattern[0] && got[1] == c.pattern[1] && got[2] == c.pattern[2])
      continue;
    ++failed;
    if (!report)
      continue;
    std::printf(" test cycle %lld, axis %d was / should be \n", cycle, axis);
    std::printf(" %2x %2x %2x / %2x %2x %2x \n", got[0], got[1], got[2], c.pattern[0], c.pattern[1],
                c.pattern[2]);
  }
  return failed;
}

void commtest_cycle(CommtestState &state) {
  ++state.cycles;
  if (state.cycles % kSummaryEvery == 0)
    std::printf(" %lld test cycles, %lld errors\n", state.cycles, state.errors);
  state.errors += comm_cycle(state.cycles, true);
}

// The closing count goes to standard error: standard output stays the
// running report it always was.
void test_commtest(const TestArgs &args) {
  CommtestState state;
  while (!stop_requested())
    commtest_cycle(state);
  test_closing = std::string(args.prog) + ": commtest ended: " + std::to_string(state.cycles) +
                 " test cycles, " + std::to_string(state.errors) + " errors\n";
  test_status = state.errors > 0 ? kExitCommErrors : 0;
}

} // namespace vorndiag
