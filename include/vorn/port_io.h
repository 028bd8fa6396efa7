// The one door to the parallel port: every port access of the library goes
// through the backend installed here, so the bus logic runs unchanged on the
// hardware, on the simulated board set or on a recording port in tests.
#ifndef VORN_PORT_IO_H
#define VORN_PORT_IO_H

#include "vorn_export.h"

#include <cstdint>

namespace vorn {

class VORN_API PortIo {
public:
  virtual ~PortIo();
  virtual std::uint8_t read(std::uint16_t port) = 0;
  virtual void write(std::uint16_t port, std::uint8_t value) = 0;
  // Asks for access to `count` ports from `first` on; 0 when granted,
  // otherwise the errno value that explains the refusal.
  virtual int request(std::uint32_t first, std::uint32_t count) = 0;
};

// The backend in use; the hardware port until set_port() installs another.
VORN_API PortIo &port();
// Installs `backend` (not owned); nullptr restores the hardware port.
VORN_API void set_port(PortIo *backend);
// ioperm/inb/outb on x86 Linux; elsewhere every request is refused (ENOSYS).
VORN_API PortIo &hardware_port();

} // namespace vorn

#endif
