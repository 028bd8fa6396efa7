// The port through the kernel's parallel-port driver (/dev/parportN): no
// root, allowed under kernel lockdown, and the kernel keeps every other
// program and driver off the port while it is held.
#ifndef VORN_DEVICE_PORT_H
#define VORN_DEVICE_PORT_H

#include "port_backend.h"

#include <string>

namespace vorn {

struct Bus;

class DevicePort final : public PortBackend {
public:
  // Which step of taking the device failed, for the explanation.
  enum class Step { none, open, claim };

  // A failure of the device (anything but a cycle no board answered) fails
  // `bus`; the device is touched no more until it is given back.
  explicit DevicePort(Bus &bus) : bus_(bus) {}
  ~DevicePort() override { release(); }

  void set_path(std::string path) { path_ = std::move(path); }
  const std::string &path() const { return path_; }
  Step failed_step() const { return failed_; }
  // Whether the count reads go through the kernel's fast EPP transfers.
  bool fast_reads() const { return fast_; }

  const char *name() const override { return "device"; }
  // Opens and claims the device exclusively; EBUSY when another program or
  // driver has the port, ENODEV when the kernel has no port behind it.
  int open(std::uint32_t base) override;
  std::uint8_t read(Reg reg) override;
  void write(Reg reg, std::uint8_t value) override;
  void read_epp_data(std::uint8_t *bytes, std::size_t count) override;
  void release() override;

private:
  // Only ioctls that change something are made.
  void set_mode(int mode);
  void apply_direction();
  void io(unsigned long request, void *arg, const char *what);
  std::uint8_t status();
  std::uint8_t epp_read_byte();
  void epp_write(int mode, std::uint8_t value);
  void take_port_modes(unsigned int modes);
  // One read() of at most the kernel's buffer: the bytes it moved, 0 for a
  // cycle no board answered.
  std::size_t read_piece(std::uint8_t *bytes, std::size_t count, bool fast);
  void fail(const char *what, int err);

  Bus &bus_;
  std::string path_;
  int fd_ = -1;
  Step failed_ = Step::none;
  int mode_ = -1;                    // last PPSETMODE
  int direction_ = -1;               // last PPDATADIR
  std::uint8_t control_ = 0;         // as last written by the library, direction bit included
  std::uint8_t control_written_ = 0; // low bits as last given to PPWCONTROL
  bool fast_ = false;
  // The kernel clears EPP timeouts itself; this one stands for the status
  // register's bit 0 as the raw port would show it.
  bool timeout_ = false;
  // The status lines as last read; whether they can have changed since.
  int last_status_ = -1;
  bool settled_ = false;
  bool broken_ = false;      // failed since the open
  bool told_no_epp_ = false; // once a process: the port is the same
};

// Opens and claims the kernel's device for `path` exclusively (also what
// keeps others off the port while raw access is in use): the fd, or -1 when
// it cannot be opened and -2 when it cannot be claimed, with errno set
// (EBUSY when another program or driver has the port, ENODEV when the
// kernel has no port behind the device).
int claim_device(const std::string &path);

} // namespace vorn

#endif
