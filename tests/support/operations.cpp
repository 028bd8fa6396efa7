#include "operations.h"

#include "board_map.h"
#include "loop_passes.h"
#include "vorn.h"

namespace vorn::measure {

namespace {

using namespace vorn::map;
using vorndiag::kAxes;

// What the operations work on; kept between runs as the loops keep it.
LONGBYTE lbEnc[kAxes];
double counts[kAxes];
double volts[kAxes] = {1.0, -1.0, 0.0, 12.0};
vorndiag::Counts pos;
vorndiag::Counts dacval;
vorndiag::CommtestState commtest;
volatile long count_sink;

// Per timeout check a pending timeout adds two status reads and a write.
constexpr std::uint64_t pending(std::uint64_t clean, std::uint64_t checks) {
  return clean + 3 * checks;
}

const Operation kOperations[] = {
    {"ClrTimeout", [] { ClrTimeout(); }, 1, pending(1, 1), false},
    {"SelAddr", [] { SelAddr(kRateCount); }, 3, pending(3, 1), false},
    {"WriteData", [] { WriteData(0x55); }, 2, pending(2, 1), false},
    {"WriteData16", [] { WriteData16(0x1234); }, 2, 2, false},
    {"ReadData", [] { ReadData(); }, 2, 2, false},
    {"SelRead", [] { SelRead(kEncIndexSense); }, 7, pending(7, 1), false},
    {"SelWrt", [] { SelWrt(kRateControl, 0x00); }, 4, pending(4, 1), false},
    {"SelWrt16", [] { SelWrt16(kRateCount, 0x1234); }, 6, pending(6, 1), false},
    {"BusReset", [] { BusReset(); }, 2, 2, false},
    {"InitializeParPort", [] { InitializeParPort(); }, 0, 0, false},
    // four strobes; a selection, the direction and twelve count bytes
    {"EncoderLatch", [] { EncoderLatch(); }, 16, pending(16, 4), false},
    {"EncReadAll", [] { EncReadAll(lbEnc); }, 16, pending(16, 1), false},
    {"vornEncoderReadAll", [] { vornEncoderReadAll(kAxes, counts); }, 32, pending(32, 5), false},
    {"VoltToCounts", [] { count_sink = VoltToCounts(volts[0]); }, 0, 0, false},
    // a selection, twelve data writes and the control register
    {"vornRateWriteAll", [] { vornRateWriteAll(kAxes, volts); }, 31, pending(31, 14), true},
    {"servof_pass", [] { vorndiag::servof_pass(pos, dacval); }, 63, pending(63, 19), true},
    // six control writes, the pattern, the release, the strobes, three
    // selections, the direction and twelve reads
    {"commtest_cycle", [] { vorndiag::commtest_cycle(commtest); }, 86, pending(86, 17), true},
};

} // namespace

std::span<const Operation> operations() { return kOperations; }

} // namespace vorn::measure
