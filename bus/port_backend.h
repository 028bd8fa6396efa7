// Register access: what every way to the port does, and nothing else, by
// register (port_access.h):
//
//   raw     the registers themselves, through ioperm/inb/outb (root, and no
//           kernel lockdown)
//   device  the kernel's parallel-port driver, /dev/parportN (group lp)
//   sim     the simulated board set (vorn::sim::Simulator)
#ifndef VORN_PORT_BACKEND_H
#define VORN_PORT_BACKEND_H

#include "board_map.h"

#include <cstddef>
#include <cstdint>

namespace vorn {

class PortBackend {
public:
  virtual ~PortBackend();
  virtual const char *name() const = 0;
  // Takes the port whose registers start at `base`: 0, or the errno value
  // that explains the refusal.
  virtual int open(std::uint32_t base) = 0;
  virtual std::uint8_t read(Reg reg) = 0;
  virtual void write(Reg reg, std::uint8_t value) = 0;
  // `count` reads of the EPP data register in a row. The default reads them
  // one by one; a backend may move them in one transfer.
  virtual void read_epp_data(std::uint8_t *bytes, std::size_t count);
  // Gives the port back. Harmless when nothing is held, and may be repeated.
  virtual void release();
};

} // namespace vorn

#endif
