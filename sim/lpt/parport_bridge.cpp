#include "parport_bridge.h"

#include "board_map.h"

#include <sys/ioctl.h>

#include <linux/parport.h>
#include <linux/ppdev.h>

#include <cerrno>
#include <cstring>

namespace vorn::sim {

namespace {

// The four control lines a ppdev caller writes; the direction bit is PPDATADIR's.
constexpr std::uint8_t kControlLines =
    PARPORT_CONTROL_STROBE | PARPORT_CONTROL_AUTOFD | PARPORT_CONTROL_INIT | PARPORT_CONTROL_SELECT;
// What the kernel's port driver writes at a claim: nInit high, nSelectIn asserted.
constexpr std::uint8_t kControlAtClaim = PARPORT_CONTROL_SELECT | PARPORT_CONTROL_INIT;
// The kernel moves at most this much per read() or write().
constexpr std::size_t kTransferMax = 1024;
constexpr unsigned kModes = PARPORT_MODE_PCSPP | PARPORT_MODE_TRISTATE | PARPORT_MODE_EPP;

template <typename T> T in(const void *data) {
  T value;
  std::memcpy(&value, data, sizeof value);
  return value;
}

template <typename T> void out(void *data, T value) { std::memcpy(data, &value, sizeof value); }

} // namespace

ParportBridge::ParportBridge(Simulator &sim, trace::Output *trace) : sim_(&sim), trace_(trace) {}

int ParportBridge::open(bool nonblocking) {
  if (open_)
    return -EBUSY;
  open_ = true;
  nonblocking_ = nonblocking;
  return 0;
}

void ParportBridge::close() {
  // Like the kernel, a port still claimed at close is released; the mode
  // is left as it is (QEMU never sets it back).
  claimed_ = false;
  registered_ = false;
  open_ = false;
}

std::uint8_t ParportBridge::access_read(Reg reg) {
  ++counts_.accesses;
  const std::uint8_t value = sim_->read(reg);
  if (trace_ != nullptr)
    trace_->access('R', static_cast<std::uint16_t>(reg), value);
  return value;
}

void ParportBridge::access_write(Reg reg, std::uint8_t value) {
  ++counts_.accesses;
  sim_->write(reg, value);
  if (trace_ != nullptr)
    trace_->access('W', static_cast<std::uint16_t>(reg), value);
}

void ParportBridge::set_control(std::uint8_t lines) {
  const std::uint8_t before = control_;
  control_ = lines & kControlLines;
  if ((before & PARPORT_CONTROL_INIT) && !(control_ & PARPORT_CONTROL_INIT))
    ++counts_.resets;
  ++counts_.control_writes;
  access_write(Reg::control,
               static_cast<std::uint8_t>(control_ | (reverse_ ? map::kCtrlDirection : 0)));
}

void ParportBridge::power_on(Simulator &sim) {
  sim_ = &sim;
  sim_->write(Reg::control,
              static_cast<std::uint8_t>(control_ | (reverse_ ? map::kCtrlDirection : 0)));
  note("power-on");
}

bool ParportBridge::address_mode() const { return (mode_ & IEEE1284_ADDR) != 0; }

Reg ParportBridge::cycle_register() {
  if (address_mode()) {
    ++counts_.address_cycles;
    return Reg::epp_addr;
  }
  ++counts_.data_cycles;
  return Reg::epp_data;
}

bool ParportBridge::cycle_answered() {
  const bool answered = !sim_->take_timeout();
  counts_.short_cycles += answered ? 0 : 1;
  return answered;
}

bool ParportBridge::cycle_read(std::uint8_t &byte) {
  byte = access_read(cycle_register());
  return cycle_answered();
}

bool ParportBridge::cycle_write(std::uint8_t byte) {
  access_write(cycle_register(), byte);
  return cycle_answered();
}

long ParportBridge::read(std::uint8_t *bytes, std::size_t count) {
  ++counts_.requests;
  if (!claimed_)
    return -EINVAL;
  if ((mode_ & IEEE1284_MODE_EPP) == 0)
    return -EIO; // no peripheral to negotiate a reverse mode with
  count = count < kTransferMax ? count : kTransferMax;
  std::size_t got = 0;
  std::uint8_t byte = 0;
  while (got < count && cycle_read(byte))
    bytes[got++] = byte;
  // The kernel spins on a read nothing answers unless O_NONBLOCK; a bridge
  // that hung QEMU would be no use, so it answers that with no bytes.
  if (got == 0 && count > 0 && nonblocking_)
    return -EAGAIN;
  return static_cast<long>(got);
}

long ParportBridge::write(const std::uint8_t *bytes, std::size_t count) {
  ++counts_.requests;
  if (!claimed_)
    return -EINVAL;
  if ((mode_ & IEEE1284_MODE_EPP) == 0)
    return -EIO;
  count = count < kTransferMax ? count : kTransferMax;
  std::size_t done = 0;
  while (done < count && cycle_write(bytes[done]))
    ++done;
  return static_cast<long>(done);
}

int ParportBridge::ioctl(unsigned int cmd, void *data) {
  ++counts_.requests;
  switch (cmd) {
  case PPEXCL:
    return registered_ ? -EBUSY : 0; // too late once the device is registered
  case PPCLAIM:
    if (claimed_)
      return -EINVAL;
    claimed_ = true;
    registered_ = true;
    set_control(kControlAtClaim);
    return 0;
  case PPGETMODES:
    out<unsigned>(data, kModes);
    return 0;
  default:
    break;
  }
  if (!claimed_)
    return -EINVAL; // the kernel wants the port claimed for everything else
  switch (cmd) {
  case PPRELEASE:
    claimed_ = false;
    return 0;
  case PPYIELD:
    return 0;
  case PPSETMODE:
    mode_ = in<int>(data);
    return 0;
  case PPGETMODE:
    out<int>(data, mode_);
    return 0;
  case PPSETPHASE:
    phase_ = in<int>(data);
    return 0;
  case PPGETPHASE:
    out<int>(data, phase_);
    return 0;
  case PPSETFLAGS:
    flags_ = in<int>(data) & PP_FLAGMASK;
    return 0;
  case PPGETFLAGS:
    out<int>(data, flags_);
    return 0;
  case PPRSTATUS:
    ++counts_.status_reads;
    out<std::uint8_t>(data, access_read(Reg::status));
    return 0;
  case PPRCONTROL:
    out<std::uint8_t>(data, control_); // the kernel's copy, no access
    return 0;
  case PPWCONTROL:
    set_control(in<std::uint8_t>(data));
    return 0;
  case PPFCONTROL: {
    const auto frob = in<ppdev_frob_struct>(data);
    set_control(static_cast<std::uint8_t>((control_ & ~frob.mask) | (frob.val & frob.mask)));
    return 0;
  }
  case PPDATADIR:
    reverse_ = in<int>(data) != 0;
    set_control(control_);
    return 0;
  case PPRDATA:
    ++counts_.data_accesses;
    out<std::uint8_t>(data, access_read(Reg::data));
    return 0;
  case PPWDATA:
    ++counts_.data_accesses;
    access_write(Reg::data, in<std::uint8_t>(data));
    return 0;
  default:
    return -ENOTTY;
  }
}

std::string ParportBridge::counts_line() const {
  const BridgeCounts &c = counts_;
  std::string line;
  auto put = [&line](const char *name, std::uint64_t n) {
    if (!line.empty())
      line += ' ';
    line.append(name).append("=").append(std::to_string(n));
  };
  put("accesses", c.accesses);
  put("requests", c.requests);
  put("status_reads", c.status_reads);
  put("control_writes", c.control_writes);
  put("data_accesses", c.data_accesses);
  put("address_cycles", c.address_cycles);
  put("data_cycles", c.data_cycles);
  put("short_cycles", c.short_cycles);
  put("resets", c.resets);
  return line;
}

void ParportBridge::note(const std::string &text) {
  if (trace_ != nullptr)
    trace_->note(text);
}

} // namespace vorn::sim
