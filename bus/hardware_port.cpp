// The real parallel port: ioperm for access, inb/outb for the registers.
#include "port_io.h"

#include <cerrno>

#if defined(__linux__) && (defined(__x86_64__) || defined(__i386__))
#include <sys/io.h>
#define VORN_HAVE_PORT_IO 1
#endif

namespace vorn {
namespace {

// A port instruction outside the granted range would kill the process, so
// such accesses are dropped instead: a read sees a floating bus (0xFF).
class HardwarePort final : public PortIo {
public:
  std::uint8_t read(std::uint16_t port) override {
#ifdef VORN_HAVE_PORT_IO
    if (granted(port))
      return inb(port);
#endif
    (void)port;
    return 0xFF;
  }

  void write(std::uint16_t port, std::uint8_t value) override {
#ifdef VORN_HAVE_PORT_IO
    if (granted(port))
      outb(value, port);
#endif
    (void)port;
    (void)value;
  }

  int request(std::uint32_t first, std::uint32_t count) override {
    // ioperm takes unsigned long and the kernel checks the range only after
    // other refusals; checking here gives the same answer everywhere.
    if (count == 0 || first > 0x10000u || count > 0x10000u - first)
      return EINVAL;
#ifdef VORN_HAVE_PORT_IO
    if (ioperm(first, count, 1) != 0)
      return errno;
    first_ = first;
    count_ = count;
    return 0;
#else
    return ENOSYS;
#endif
  }

private:
  bool granted(std::uint16_t port) const { return port >= first_ && port - first_ < count_; }

  std::uint32_t first_ = 0;
  std::uint32_t count_ = 0;
};

} // namespace

PortIo &hardware_port() {
  static HardwarePort hw;
  return hw;
}

} // namespace vorn
