#include "paced_port.h"
#include "tracing_port.h"

#include <csignal>

namespace vorn::test {

PacedPort::PacedPort(PortBackend &inner, sim::Simulator &boards, const sim::Rig &rig)
    : inner_(inner), boards_(boards),
      access_time_us_(rig.clock == sim::Clock::virtual_time ? rig.access_time_us : 0),
      interrupt_after_(rig.interrupt_after) {}

void PacedPort::before(std::uint64_t count) {
  accesses_ += count;
  if (access_time_us_ != 0)
    boards_.advance_us(count * access_time_us_);
}

// A bulk read that passes the count raises the signal after its transfer;
// the loops look at the stop flag only between passes, so no output changes.
void PacedPort::after(std::uint64_t count) {
  if (interrupt_after_ == 0 || accesses_ < interrupt_after_ ||
      accesses_ - count >= interrupt_after_)
    return;
  flush_port_traces();
  std::raise(SIGINT);
}

std::uint8_t PacedPort::read(Reg reg) {
  before(1);
  const std::uint8_t value = inner_.read(reg);
  after(1);
  return value;
}

void PacedPort::write(Reg reg, std::uint8_t value) {
  before(1);
  inner_.write(reg, value);
  after(1);
}

void PacedPort::read_epp_data(std::uint8_t *bytes, std::size_t count) {
  before(count);
  inner_.read_epp_data(bytes, count);
  after(count);
}

} // namespace vorn::test
