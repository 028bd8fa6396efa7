// A backend around another that keeps simulated time and the scripted
// Ctrl-C to the library's register accesses, as the simulator does when it
// is the port itself: each access moves the board set's clock on by the
// rig's access time, and the rig's interrupt_after-th raises SIGINT. What
// lies behind (the kernel-device backend and its system calls) then cannot
// change either.
#ifndef VORN_TEST_PACED_PORT_H
#define VORN_TEST_PACED_PORT_H

#include "bus.h"
#include "vornsim.hpp"

namespace vorn::test {

class PacedPort final : public PortBackend {
public:
  // `boards` must run with no access time and no interrupt of its own.
  PacedPort(PortBackend &inner, sim::Simulator &boards, const sim::Rig &rig);

  std::uint64_t accesses() const { return accesses_; }

  const char *name() const override { return inner_.name(); }
  int open(std::uint32_t base) override { return inner_.open(base); }
  std::uint8_t read(Reg reg) override;
  void write(Reg reg, std::uint8_t value) override;
  void read_epp_data(std::uint8_t *bytes, std::size_t count) override;
  void release() override { inner_.release(); }

private:
  void before(std::uint64_t count);
  void after(std::uint64_t count);

  PortBackend &inner_;
  sim::Simulator &boards_;
  std::uint64_t access_time_us_;
  std::uint64_t interrupt_after_;
  std::uint64_t accesses_ = 0;
};

} // namespace vorn::test

#endif
