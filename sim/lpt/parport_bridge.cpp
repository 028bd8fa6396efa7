#include "parport_bridge.h"

#include <cerrno>

namespace vorn::sim {

namespace {

// QEMU's guest finds hardware EPP; the port has no interrupt line, so the
// claim leaves control at 0x0c.
constexpr PortHardware kBridgedPort{true, false, false};

} // namespace

ParportBridge::ParportBridge(Simulator &sim, trace::Output *trace)
    : sim_(&sim), trace_(trace), model_(*this, kBridgedPort) {}

int ParportBridge::open(bool nonblocking) {
  if (file_ >= 0)
    return -EBUSY;
  file_ = model_.open(nonblocking);
  return 0;
}

void ParportBridge::close() {
  model_.close(file_);
  file_ = -1;
}

std::uint8_t ParportBridge::in(Reg reg) {
  ++accesses_;
  const std::uint8_t value = sim_->read(reg);
  if (trace_ != nullptr)
    trace_->access('R', static_cast<std::uint16_t>(reg), value);
  return value;
}

void ParportBridge::out(Reg reg, std::uint8_t value) {
  ++accesses_;
  sim_->write(reg, value);
  if (trace_ != nullptr)
    trace_->access('W', static_cast<std::uint16_t>(reg), value);
}

void ParportBridge::power_on(Simulator &sim) {
  sim_ = &sim;
  sim_->write(Reg::control, model_.control());
  note("power-on");
}

long ParportBridge::read(std::uint8_t *bytes, std::size_t count) {
  ++requests_;
  const long got = model_.read(file_, bytes, count);
  return got == kReadSpins ? 0 : got;
}

long ParportBridge::write(const std::uint8_t *bytes, std::size_t count) {
  ++requests_;
  return model_.write(file_, bytes, count);
}

int ParportBridge::ioctl(unsigned int cmd, void *data) {
  ++requests_;
  return model_.ioctl(file_, cmd, data);
}

BridgeCounts ParportBridge::counts() const {
  const PortCounts &m = model_.counts();
  return {requests_,        accesses_,     m.status_reads, m.control_writes, m.data_accesses,
          m.address_cycles, m.data_cycles, m.short_cycles, m.resets};
}

std::string ParportBridge::counts_line() const {
  const BridgeCounts c = counts();
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
