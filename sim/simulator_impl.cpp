#include "simulator_impl.h"

#include "board_map.h"

#include <csignal>

namespace vorn::sim {

using namespace vorn::map;

std::uint64_t FlipSource::next() {
  // splitmix64
  std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

std::uint8_t FlipSource::next_mask() {
  if (probability_ <= 0.0)
    return 0;
  const double u = static_cast<double>(next() >> 11) * 0x1.0p-53;
  if (u >= probability_)
    return 0;
  return static_cast<std::uint8_t>(1u << (next() & 7));
}

SimulatorImpl::SimulatorImpl(Rig r)
    : rig(std::move(r)), boards(rig), clock(rig.clock, rig.access_time_us),
      flips(rig.seed, rig.flip_probability) {}

void SimulatorImpl::sync() {
  const std::uint64_t now = clock.now();
  if (now > synced) {
    boards.run(now - synced);
    synced = now;
  }
}

bool SimulatorImpl::reverse() const { return (control & kCtrlDirection) != 0; }

void SimulatorImpl::begin() {
  ++accesses;
  clock.on_access();
  sync();
  if (refused)
    log.note_refused();
}

void SimulatorImpl::outside(std::uint16_t port) {
  begin();
  log.note_outside(port);
  end();
}

void SimulatorImpl::end() {
  if (rig.interrupt_after != 0 && accesses == rig.interrupt_after) {
    // The scripted Ctrl-C: the trace is complete up to here even if the
    // signal ends the process.
    vorn_port_flush_traces();
    std::raise(SIGINT);
  }
}

std::uint8_t SimulatorImpl::data_read() {
  const std::uint8_t addr = selected++;
  Cycle c = boards.read(addr, accesses);
  if (!c.answered) {
    status |= kStatusTimeout;
    if (addr % kBlockSize != kIdOffset)
      log.note(Slip::unanswered_read, addr);
  } else if (!c.mapped) {
    log.note(Slip::unmapped_read, addr);
  }
  if (!reverse()) {
    log.note(Slip::read_forward, addr);
    return driven;
  }
  if (c.answered) {
    const std::uint8_t mask = flips.next_mask();
    if (mask != 0) {
      const bool count_byte = addr < kEncoderCount * kCountBytes;
      ++flips_by_axis[count_byte ? addr / kCountBytes : kAxes];
      c.value ^= mask;
    }
  }
  return c.value;
}

void SimulatorImpl::data_write(std::uint8_t value) {
  if (reverse()) {
    log.note(Slip::write_reverse, selected);
    return;
  }
  driven = value;
  const std::uint8_t addr = selected++;
  Cycle c = boards.write(addr, value, accesses);
  if (!c.answered) {
    status |= kStatusTimeout;
    log.note(Slip::unanswered_write, addr);
  } else if (!c.mapped) {
    log.note(Slip::unmapped_write, addr);
  }
}

std::uint8_t SimulatorImpl::read(Reg reg) {
  if (released)
    return 0xFF;
  begin();
  std::uint8_t value = 0xFF;
  switch (reg) {
  case Reg::data:
    // Reversed, the PC no longer drives the lines and no board does
    // outside a cycle: they float high.
    value = reverse() ? 0xFF : data_latch;
    break;
  case Reg::status:
    value = status;
    break;
  case Reg::control:
    value = control;
    break;
  case Reg::epp_addr:
    log.note_address_read();
    break;
  case Reg::epp_data:
    value = data_read();
    break;
  }
  end();
  return value;
}

void SimulatorImpl::write(Reg reg, std::uint8_t value) {
  if (released)
    return;
  begin();
  switch (reg) {
  case Reg::data:
    data_latch = value;
    driven = value;
    break;
  case Reg::status:
    // The timeout flag clears when written with a one.
    if (value & kStatusTimeout)
      status &= static_cast<std::uint8_t>(~kStatusTimeout);
    break;
  case Reg::control:
    if ((control & kCtrlNInit) && !(value & kCtrlNInit))
      boards.reset();
    control = value;
    break;
  case Reg::epp_addr:
    if (reverse()) {
      log.note(Slip::select_reverse, value);
    } else {
      selected = value;
      driven = value;
    }
    break;
  case Reg::epp_data:
    data_write(value);
    break;
  }
  end();
}

int SimulatorImpl::open(std::uint32_t first) {
  if (rig.refuse_access != 0) {
    refused = true;
    return rig.refuse_access;
  }
  refused = false;
  opened = true;
  released = false;
  base = first;
  return 0;
}

} // namespace vorn::sim
