// The port's registers themselves: ioperm, inb and outb (x86 Linux, root,
// no kernel lockdown). The port is held against other programs for as long
// as it is open: the kernel's device when the kernel has the port, a lock
// file otherwise.
#ifndef VORN_RAW_PORT_H
#define VORN_RAW_PORT_H

#include "port_backend.h"

#include <string>

namespace vorn {

class RawPort final : public PortBackend {
public:
  ~RawPort() override { release(); }

  const char *name() const override { return "raw"; }
  int open(std::uint32_t base) override;
  std::uint8_t read(Reg reg) override;
  void write(Reg reg, std::uint8_t value) override;
  void release() override;

  // What holds the port against others, for the explanation of EBUSY.
  const std::string &holder() const { return holder_; }
  // After EADDRINUSE: the line that names the driver owning the ports.
  const std::string &owner() const { return owner_; }
  // The lock file could not be taken: why, and what to do; empty otherwise.
  const std::string &lock_problem() const { return lock_problem_; }

private:
  int hold(std::uint32_t base);

  std::uint32_t base_ = 0;
  bool open_ = false;
  int hold_fd_ = -1;
  std::string holder_;
  std::string owner_;
  std::string lock_problem_;
};

} // namespace vorn

#endif
