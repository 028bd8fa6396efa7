#include "board_set.h"

#include "board_map.h"
#include "ticks.h"

namespace vorn::sim {

using namespace vorn::map;

namespace {

constexpr std::uint32_t kCountRegs = kEncoderCount * kCountBytes; // 0x00 to 0x0B
constexpr std::uint32_t kRateCountRegs = kRateChannels * kCountBytes;
constexpr std::uint8_t kHoldBits = 0xF0; // 0x03: bit 4+n holds counter n at the preset

bool in_run(std::uint32_t addr, std::uint32_t first, std::uint32_t count) {
  return addr >= first && addr < first + count;
}

// Byte `i` (0 = low) of a 24-bit register set to `value`.
std::uint32_t with_byte(std::uint32_t reg, std::uint32_t i, std::uint8_t value) {
  const std::uint32_t shift = 8 * i;
  return (reg & ~(0xFFu << shift)) | (std::uint32_t{value} << shift);
}

std::uint8_t byte_of(std::uint32_t reg, std::uint32_t i) {
  return static_cast<std::uint8_t>(reg >> (8 * i));
}

// Rate control register: two bits per channel, run above direction.
std::uint8_t run_bit(int channel) { return static_cast<std::uint8_t>(2u << (2 * channel)); }
std::uint8_t up_bit(int channel) { return static_cast<std::uint8_t>(1u << (2 * channel)); }

} // namespace

BoardSet::BoardSet(const Rig &rig) : rig_(rig), dig_in_(rig.digital_inputs) {
  owner_.fill(-1);
  for (int b = 0; b < kBlocks; ++b) {
    if (!rig.boards[b])
      continue;
    owner_[b] = b;
    // A rate generator board answers its own block and the next.
    if ((*rig.boards[b] >> 4) == kTypeRategen && b + 1 < kBlocks && !rig.boards[b + 1])
      owner_[b + 1] = b;
  }
  for (int n = 0; n < kAxes; ++n) {
    axes_[n].count = rig.counters[n] & kCountMask;
    axes_[n].latched = axes_[n].count;
    outside_[n].counts_per_second = rig.velocity[n];
  }
}

bool BoardSet::answers(int block, std::uint64_t access) const {
  const int owner = owner_[block];
  if (owner < 0)
    return false;
  for (const BoardStop &stop : rig_.board_stops)
    if (stop.block == owner && access > stop.after && (stop.until == 0 || access <= stop.until))
      return false;
  return true;
}

std::uint8_t BoardSet::dig_in(int i) const {
  const std::uint8_t level = dig_in_[i] ? *dig_in_[i] : dig_out_[i];
  const std::uint64_t period = std::uint64_t{rig_.toggle_ms} * 1000 * kTicksPerUs;
  return (elapsed_ / period) % 2 != 0 ? level ^ rig_.toggle_bits[i] : level;
}

Cycle BoardSet::read(std::uint8_t addr, std::uint64_t access) {
  const int block = addr / kBlockSize;
  if (!answers(block, access))
    return {};
  Cycle c{0x00, true, true};
  if (addr % kBlockSize == kIdOffset && owner_[block] == block) {
    c.value = *rig_.boards[block];
  } else if (block != 0) {
    c.mapped = false; // the other boards have write registers only
  } else if (in_run(addr, kEncCount, kCountRegs)) {
    c.value = byte_of(axes_[addr / kCountBytes].latched, addr % kCountBytes);
  } else if (addr == kEncIndexSense) {
    c.value = index_sense_;
    index_sense_ = 0;
  } else if (addr == kDigIn0) {
    c.value = dig_in(0);
  } else if (addr == kDigIn1) {
    c.value = dig_in(1);
  } else {
    c.mapped = false;
  }
  return c;
}

Cycle BoardSet::write(std::uint8_t addr, std::uint8_t value, std::uint64_t access) {
  if (!answers(addr / kBlockSize, access))
    return {};
  Cycle c{0x00, true, true};
  if (in_run(addr, kEncPreset, kCountBytes)) {
    preset_ = with_byte(preset_, addr - kEncPreset, value);
    apply_holds();
  } else if (addr == kEncControl) {
    enc_control_ = value;
    apply_holds();
  } else if (addr == kEncLatch) {
    latch_reg_ = value;
    if (value & kLatchStrobe)
      for (EncoderAxis &a : axes_)
        a.latched = a.count;
  } else if (addr == kEncIndexSet) {
    index_set_ = value;
  } else if (addr == kSpindleSpeed) {
    spindle_ = value;
  } else if (in_run(addr, kRateCount, kRateCountRegs)) {
    RateChannel &ch = channels_[(addr - kRateCount) / kCountBytes];
    ch.count = with_byte(ch.count, (addr - kRateCount) % kCountBytes, value);
    ch.phase %= std::uint64_t{ch.count} + 2;
  } else if (addr == kRateControl) {
    set_rate_control(value);
  } else if (addr == kRateAux) {
    reg1d_ = value;
  } else if (addr == kRateAux + 1) {
    reg1e_ = value;
  } else if (addr == kDigOut0) {
    dig_out_[0] = value;
  } else if (addr == kReg26) {
    reg26_ = value;
  } else if (addr == kDigOut1) {
    dig_out_[1] = value;
  } else {
    c.mapped = false;
  }
  return c;
}

void BoardSet::apply_holds() {
  for (int n = 0; n < kAxes; ++n) {
    axes_[n].held = (enc_control_ & kHoldBits & (0x10u << n)) != 0;
    if (axes_[n].held)
      axes_[n].count = preset_;
  }
}

void BoardSet::set_rate_control(std::uint8_t value) {
  for (int n = 0; n < kAxes; ++n) {
    const std::uint8_t run = run_bit(n);
    if ((value & run) && !(rate_control_ & run))
      channels_[n].phase = 0; // a channel starts a full period before its first pulse
  }
  rate_control_ = value;
}

void BoardSet::move_axis(int n, std::int64_t steps) {
  const std::uint8_t bit = static_cast<std::uint8_t>(1u << n);
  if (axes_[n].move(steps, rig_.index_period, (index_set_ & bit) != 0, preset_))
    index_sense_ |= bit;
}

void BoardSet::run(std::uint64_t ticks) {
  elapsed_ += ticks;
  if (ticks == 0)
    return;
  for (int n = 0; n < kAxes; ++n) {
    if (rate_control_ & run_bit(n)) {
      const std::uint64_t pulses = channels_[n].pulses(ticks);
      const Wiring &w = rig_.wiring[n];
      if (w.enabled && pulses > 0) {
        const std::int64_t dir = (rate_control_ & up_bit(n)) ? w.sign : -w.sign;
        move_axis(n, dir * static_cast<std::int64_t>(pulses * w.counts_per_pulse));
      }
    }
    move_axis(n, outside_[n].counts(ticks));
  }
}

void BoardSet::reset() {
  set_rate_control(0);
  index_set_ = 0;
  index_sense_ = 0;
}

} // namespace vorn::sim
