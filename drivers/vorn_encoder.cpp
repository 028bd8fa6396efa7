// Encoder driver: four 24-bit counters extended to 32 bits, and index bits.
#include "board_map.h"
#include "bus.h"
#include "drivers.h"
#include "vorn.h"

using namespace vorn::map;

namespace {

constexpr int kEncoders = static_cast<int>(kEncoderCount);
constexpr unsigned kIndexModel = 1;

// A wrap is seen only when byte 2 jumps straight between the top and the
// bottom quarter of its range from one read to the next.
constexpr std::uint8_t kQuarter = 0xC0;
constexpr std::uint8_t kTopQuarter = 0xC0;
constexpr std::uint8_t kBottomQuarter = 0x00;

// The extension lives in the bus from its start-up on: a new preset does
// not reload it.
void extend(vorn::Bus &bus, int i, LONGBYTE *lb) {
  std::uint8_t *const byOldByte2 = bus.old_byte2.data();
  std::uint8_t *const byEncHighByte = bus.high_byte.data();
  const std::uint8_t old_q = byOldByte2[i] & kQuarter;
  const std::uint8_t new_q = lb->Byte[2] & kQuarter;
  if (old_q == kTopQuarter && new_q == kBottomQuarter)
    ++byEncHighByte[i];
  else if (old_q == kBottomQuarter && new_q == kTopQuarter)
    --byEncHighByte[i];
  lb->Byte[3] = byEncHighByte[i];
  byOldByte2[i] = lb->Byte[2];
}

struct PeriodCode {
  long period;
  std::uint8_t code;
};
constexpr PeriodCode kPeriodCodes[] = {
    {500, 0x0B},  {1000, 0x16},  {2000, 0x00},   {3000, 0x10},    {4000, 0x10},
    {5000, 0x10}, {10000, 0x10}, {100000, 0x10}, {1000000, 0x10},
};

void encoder_init() {
  SelWrt(kEncControl, kEncCounting);
  SelWrt(kEncLatch, kStartupPeriodCode);
  // preset 517, low byte first; the bus address advances after each byte
  SelWrt(kEncPreset, 0x05);
  WriteData(0x02);
  WriteData(0x00);
  SelWrt(kEncControl, kEncLoadPreset);
  SelWrt(kEncControl, kEncLoadPreset);
  SelWrt(kEncControl, kEncCounting);
}

void latch() {
  SelWrt(kEncLatch, kLatchStrobe);
  SelWrt(kEncLatch, kLatchStrobe);
  SelWrt(kEncLatch, kLatchStrobe);
  SelWrt(kEncLatch, kLatchIdle);
}

// Direction is set once and the twelve count bytes are read straight from
// the EPP data register: no timeout check between them.
void read_all(vorn::Bus &bus, LONGBYTE *lbEnc) {
  SelAddr(kEncCount);
  vorn::port_out(bus, vorn::Reg::control, kCtrlReverse);
  std::uint8_t bytes[kEncoderCount * kCountBytes];
  vorn::port_in_many(bus, bytes, sizeof bytes);
  for (int i = 0; i < kEncoders; ++i) {
    for (std::uint32_t b = 0; b < kCountBytes; ++b)
      lbEnc[i].Byte[b] = bytes[i * kCountBytes + b];
    extend(bus, i, &lbEnc[i]);
  }
}

int read_latch(int encoder, int *flag) {
  if (encoder < 0 || encoder > kEncoders)
    return -1;
  const vorn::BusCall call;
  if (!call.ready())
    return -1;
  const std::int16_t index_sense_data = static_cast<std::int16_t>(SelRead(kEncIndexSense));
  const std::int16_t index_mask = static_cast<std::int16_t>(1 << encoder);
  *flag = (index_sense_data & index_mask) != 0 ? 1 : 0;
  return call.end(0);
}

} // namespace

void vorn::start_encoders(Bus &bus) {
  bus.old_byte2 = {};
  bus.high_byte = {};
  encoder_init();
}

extern "C" {

int EncoderInit(void) {
  const vorn::BusCall call;
  if (!call.ready())
    return -1;
  encoder_init();
  return call.end(0);
}

int EncoderQuit(void) { return 0; }

void SelectInterruptPeriod(long lPeriodSelect) {
  const vorn::BusCall call;
  if (!call.ready())
    return;
  for (const PeriodCode &p : kPeriodCodes)
    if (p.period == lPeriodSelect) {
      SelWrt(kEncLatch, p.code);
      return;
    }
}

int EncoderLatch(void) {
  const vorn::BusCall call;
  if (!call.ready())
    return -1;
  latch();
  return call.end(0);
}

int EncReadAll(LONGBYTE *lbEnc) {
  const vorn::BusCall call;
  if (!call.ready())
    return -1;
  read_all(call.bus(), lbEnc);
  return call.end(0);
}

int vornEncoderSetIndexModel(unsigned int model) { return model == kIndexModel ? 0 : -1; }

int vornEncoderNum(void) { return kEncoders; }

int vornEncoderReadAll(int max, double *counts) {
  LONGBYTE lbEnc[kEncoderCount];
  {
    const vorn::BusCall call;
    if (!call.ready())
      return -1;
    latch();
    read_all(call.bus(), lbEnc);
    if (call.end(0) != 0)
      return -1;
  }
  const int smax = max <= kEncoders ? max : kEncoders;
  for (int t = 0; t < smax; ++t)
    counts[t] = vornLongbyteCount(&lbEnc[t]);
  for (int t = smax; t < max; ++t)
    counts[t] = 0.0;
  return 0;
}

int vornEncoderRead(int encoder, double *counts) {
  if (encoder < 0 || encoder >= kEncoders) {
    *counts = 0.0;
    return 0;
  }
  double allCounts[kEncoderCount];
  if (vornEncoderReadAll(encoder + 1, allCounts) != 0)
    return -1;
  *counts = allCounts[encoder];
  return 0;
}

// Encoder 4 is accepted and tests bit 4, which belongs to no encoder; a
// negative number is refused as well, since it would shift by a negative amount.
int vornEncoderReadLatch(int encoder, int *flag) { return read_latch(encoder, flag); }

int vornEncoderReadLevel(int encoder, int *flag) { return read_latch(encoder, flag); }

// One read for all four: the read clears every latched bit, so reading the
// encoders one at a time would lose the pulses of the others.
int vornEncoderIndexAll(unsigned *bits) {
  const vorn::BusCall call;
  if (!call.ready())
    return -1;
  *bits = SelRead(kEncIndexSense) & ((1u << kEncoders) - 1);
  return call.end(0);
}

// Reading the index sense register clears its latched bits on the board.
int vornEncoderResetIndex(int encoder) {
  int dummyflag;
  return read_latch(encoder, &dummyflag);
}

} // extern "C"
