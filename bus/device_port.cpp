#include "device_port.h"

#include "board_map.h"
#include "port_os.h"

#include <cerrno>
#include <fcntl.h>
#include <linux/ioctl.h>
#include <linux/parport.h>
#include <linux/ppdev.h>

namespace vorn {

namespace {

using namespace vorn::map;

constexpr int kModeAddress = IEEE1284_MODE_EPP | IEEE1284_ADDR;
constexpr int kModeData = IEEE1284_MODE_EPP;

int io(int fd, unsigned long request, void *arg = nullptr) {
  return os_calls().ioctl(fd, request, arg);
}

// A refusal to register next to another device comes back as ENXIO.
int claim_error(int err) { return err == ENXIO ? EBUSY : err; }

} // namespace

int claim_device(const std::string &path) {
  const OsCalls &os = os_calls();
  // Non-blocking, or a read of a cycle that no board answers would spin in
  // the kernel until a signal.
  const int fd = os.open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC, 0);
  if (fd < 0)
    return -1;
  if (io(fd, PPEXCL) != 0 || io(fd, PPCLAIM) != 0) {
    const int err = claim_error(errno);
    os.close(fd);
    errno = err;
    return -2;
  }
  return fd;
}

int DevicePort::open(std::uint32_t) {
  release();
  failed_ = Step::none;
  const int fd = claim_device(path_);
  if (fd < 0) {
    failed_ = fd == -1 ? Step::open : Step::claim;
    return errno;
  }
  fd_ = fd;
  mode_ = -1;
  direction_ = -1;
  timeout_ = false;
  settled_ = false;
  last_status_ = -1;
  unsigned char control = kCtrlForward;
  io(fd_, PPRCONTROL, &control);
  control_ = control;
  control_written_ = static_cast<std::uint8_t>(control & ~kCtrlDirection);
  return 0;
}

void DevicePort::release() {
  if (fd_ < 0)
    return;
  io(fd_, PPRELEASE);
  os_calls().close(fd_);
  fd_ = -1;
}

void DevicePort::set_mode(int mode) {
  if (mode == mode_)
    return;
  io(fd_, PPSETMODE, &mode);
  mode_ = mode;
}

void DevicePort::apply_direction() {
  int reverse = (control_ & kCtrlDirection) != 0 ? 1 : 0;
  if (reverse == direction_)
    return;
  io(fd_, PPDATADIR, &reverse);
  direction_ = reverse;
}

// Right after a transfer that went through, the kernel has just seen the
// lines settle (it checks the status after every cycle) and nothing has
// touched the port since: the last status read still holds, and the kernel
// is not asked again. That keeps a cycle's system calls within its register
// accesses; everything else still reads the lines.
std::uint8_t DevicePort::status() {
  if (!settled_ || last_status_ < 0) {
    unsigned char value = 0xFF;
    io(fd_, PPRSTATUS, &value);
    last_status_ = value;
  }
  settled_ = false;
  const auto value = static_cast<std::uint8_t>(last_status_);
  return static_cast<std::uint8_t>(timeout_ ? value | kStatusTimeout : value & ~kStatusTimeout);
}

std::uint8_t DevicePort::epp_read_byte() {
  std::uint8_t byte = 0xFF;
  read_epp_data(&byte, 1);
  return byte;
}

void DevicePort::epp_write(int mode, std::uint8_t value) {
  set_mode(mode);
  apply_direction();
  settled_ = os_calls().write(fd_, &value, 1) == 1;
  if (!settled_)
    timeout_ = true;
}

void DevicePort::read_epp_data(std::uint8_t *bytes, std::size_t count) {
  if (fd_ < 0) {
    for (std::size_t i = 0; i < count; ++i)
      bytes[i] = 0xFF;
    return;
  }
  set_mode(kModeData);
  apply_direction();
  // The kernel stops a transfer at the first cycle no board answers, after
  // running it; the raw port goes on, so the rest is read on, as separate
  // transfers, past the byte of that cycle (0xFF, as from a floating bus).
  std::size_t done = 0;
  settled_ = true;
  while (done < count) {
    const ssize_t n = os_calls().read(fd_, bytes + done, count - done);
    if (n > 0)
      done += static_cast<std::size_t>(n);
    if (done < count) {
      timeout_ = true;
      settled_ = false;
      bytes[done++] = 0xFF;
    }
  }
}

std::uint8_t DevicePort::read(Reg reg) {
  if (fd_ < 0)
    return 0xFF;
  unsigned char value = 0xFF;
  switch (reg) {
  case Reg::data:
    io(fd_, PPRDATA, &value);
    return value;
  case Reg::status:
    return status();
  case Reg::control:
    return control_;
  case Reg::epp_addr:
    set_mode(kModeAddress);
    apply_direction();
    settled_ = os_calls().read(fd_, &value, 1) == 1;
    if (!settled_) {
      timeout_ = true;
      value = 0xFF;
    }
    return value;
  case Reg::epp_data:
    return epp_read_byte();
  }
  return 0xFF;
}

void DevicePort::write(Reg reg, std::uint8_t value) {
  if (fd_ < 0)
    return;
  switch (reg) {
  case Reg::data: {
    unsigned char byte = value;
    io(fd_, PPWDATA, &byte);
    settled_ = false;
    break;
  }
  case Reg::status:
    // The raw port's timeout bit clears when written with a one.
    if (value & kStatusTimeout)
      timeout_ = false;
    break;
  case Reg::control: {
    control_ = value;
    // The direction goes to the kernel with the next transfer that needs it.
    unsigned char lines = static_cast<std::uint8_t>(value & ~kCtrlDirection);
    if (lines != control_written_) {
      io(fd_, PPWCONTROL, &lines);
      control_written_ = lines;
      settled_ = false;
    }
    break;
  }
  case Reg::epp_addr:
    epp_write(kModeAddress, value);
    break;
  case Reg::epp_data:
    epp_write(kModeData, value);
    break;
  }
}

} // namespace vorn
