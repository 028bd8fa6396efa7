#include "device_port.h"

#include "board_map.h"
#include "bus.h"
#include "kernel_ports.h"
#include "port_os.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <linux/ioctl.h>
#include <linux/parport.h>
#include <linux/ppdev.h>

namespace vorn {

namespace {

using namespace vorn::map;

constexpr int kModeAddress = IEEE1284_MODE_EPP | IEEE1284_ADDR;
constexpr int kModeData = IEEE1284_MODE_EPP;
// ppdev moves at most this much in one read() (PP_BUFFER_SIZE).
constexpr std::size_t kKernelBuffer = 1024;

// ppdev says ENXIO both when another device is registered on the port and
// when no port is behind the minor; the kernel's list of ports tells which.
int claim_error(int err, const std::string &path) {
  if (err != ENXIO)
    return err;
  const auto number = port_number_of(path);
  return number && !kernel_port(*number) ? ENODEV : EBUSY;
}

bool fast_reads_wanted() {
  const char *setting = std::getenv("VORN_EPP_FAST");
  return setting == nullptr || std::strcmp(setting, "0") != 0;
}

} // namespace

int claim_device(const std::string &path) {
  const OsCalls &os = os_calls();
  // Non-blocking, or a read of a cycle that no board answers would spin in
  // the kernel until a signal.
  const int fd = os.open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC, 0);
  if (fd < 0)
    return -1;
  if (os.ioctl(fd, PPEXCL, nullptr) != 0 || os.ioctl(fd, PPCLAIM, nullptr) != 0) {
    const int err = claim_error(errno, path);
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
  broken_ = false;
  // A first claim leaves ppdev in compatibility mode and the port
  // forward, with nSelectIn asserted (control 0x0c): the lines go to the
  // EPP idle state before any cycle.
  mode_ = IEEE1284_MODE_COMPAT;
  direction_ = 0;
  timeout_ = false;
  settled_ = false;
  last_status_ = -1;
  unsigned int modes = 0;
  unsigned char idle = kCtrlForward;
  const OsCalls &os = *bus_.os;
  if (os.ioctl(fd_, PPGETMODES, &modes) != 0 || os.ioctl(fd_, PPWCONTROL, &idle) != 0) {
    const int err = errno;
    release();
    failed_ = Step::claim;
    return err;
  }
  control_ = kCtrlForward;
  control_written_ = kCtrlForward;
  take_port_modes(modes);
  return 0;
}

// Without EPP hardware the kernel emulates each cycle by hand, up to 40 ms
// for one no board answers; nothing else would tell the user. Fast
// transfers only where the kernel has the hardware: its emulation ignores
// the flag, and the hardware's answer to a timeout is a whole transfer lost.
void DevicePort::take_port_modes(unsigned int modes) {
  fast_ = false;
  if ((modes & PARPORT_MODE_EPP) == 0) {
    if (!told_no_epp_)
      std::fprintf(stderr,
                   "%s: the kernel found no EPP hardware on this port and emulates every bus "
                   "cycle in software, slowly: set the port to EPP or ECP+EPP in the firmware "
                   "setup\n",
                   path_.c_str());
    told_no_epp_ = true;
    return;
  }
  int flags = PP_FASTREAD;
  fast_ = fast_reads_wanted() && bus_.os->ioctl(fd_, PPSETFLAGS, &flags) == 0;
}

// ppdev negotiates back to compatibility mode at close when the port is in
// another, and from EPP that holds nInit, the boards' reset, low. Setting
// the mode only records it (the kernel checks nothing and moves no line),
// and then the close has nothing to negotiate.
void DevicePort::release() {
  if (fd_ < 0)
    return;
  const OsCalls &os = *bus_.os;
  if (mode_ != IEEE1284_MODE_COMPAT) {
    int compat = IEEE1284_MODE_COMPAT;
    os.ioctl(fd_, PPSETMODE, &compat);
  }
  os.ioctl(fd_, PPRELEASE, nullptr);
  os.close(fd_);
  fd_ = -1;
}

// The device is given back at the shut-down, where ppdev may refuse the
// release as it refused the call: nothing else is asked of it till then.
void DevicePort::fail(const char *what, int err) {
  if (broken_)
    return;
  broken_ = true;
  bus_.fail(err, path_ + ": " + what + " failed: " + std::strerror(err));
}

void DevicePort::io(unsigned long request, void *arg, const char *what) {
  if (!broken_ && bus_.os->ioctl(fd_, request, arg) != 0)
    fail(what, errno);
}

void DevicePort::set_mode(int mode) {
  if (mode == mode_)
    return;
  io(PPSETMODE, &mode, "PPSETMODE");
  mode_ = mode;
}

void DevicePort::apply_direction() {
  int reverse = (control_ & kCtrlDirection) != 0 ? 1 : 0;
  if (reverse == direction_)
    return;
  io(PPDATADIR, &reverse, "PPDATADIR");
  direction_ = reverse;
}

// Bits 1 to 7 are the lines as the last PPRSTATUS gave them. Right after a
// transfer that went through, the kernel has just seen the lines settle (it
// checks the status after every cycle) and nothing has touched the port
// since: that value still holds, and the kernel is not asked again. That
// keeps a cycle's system calls within its register accesses; everything
// else reads the lines.
std::uint8_t DevicePort::status() {
  if (!settled_ || last_status_ < 0) {
    unsigned char value = 0xFF;
    io(PPRSTATUS, &value, "PPRSTATUS");
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
  if (broken_)
    return;
  const ssize_t n = bus_.os->write(fd_, &value, 1);
  if (n < 0 && errno != EAGAIN)
    fail("write()", errno);
  settled_ = n == 1;
  if (!settled_)
    timeout_ = true;
}

// A short count, or EAGAIN for none, is a cycle no board answered. A fast
// transfer that met one moves nothing (EIO) although it ran every cycle:
// its bytes read as from a floating bus.
std::size_t DevicePort::read_piece(std::uint8_t *bytes, std::size_t count, bool fast) {
  if (broken_) {
    std::fill(bytes, bytes + count, std::uint8_t{0xFF});
    return count;
  }
  const ssize_t n = bus_.os->read(fd_, bytes, count);
  if (n >= 0)
    return static_cast<std::size_t>(n);
  if (errno == EAGAIN)
    return 0;
  if (!fast || errno != EIO)
    fail("read()", errno);
  std::fill(bytes, bytes + count, std::uint8_t{0xFF});
  timeout_ = true;
  settled_ = false;
  return count;
}

void DevicePort::read_epp_data(std::uint8_t *bytes, std::size_t count) {
  if (fd_ < 0 || broken_) {
    std::fill(bytes, bytes + count, std::uint8_t{0xFF});
    return;
  }
  set_mode(kModeData);
  apply_direction();
  // The kernel stops a transfer at the first cycle no board answers, after
  // running it; the raw port goes on, so the rest is read on, as separate
  // transfers, past the byte of that cycle (0xFF, as from a floating bus).
  // Fast transfers are for whole 32-bit words from one board (the count
  // read's twelve bytes); other counts go byte by byte then, as the
  // kernel's fast path would lose the bytes a board answered with the rest.
  const bool fast = fast_ && count % 4 == 0;
  const std::size_t most = fast_ && !fast ? 1 : kKernelBuffer;
  std::size_t done = 0;
  settled_ = true;
  while (done < count) {
    const std::size_t piece = std::min(count - done, most);
    const std::size_t moved = read_piece(bytes + done, piece, fast);
    done += moved;
    if (moved < piece) {
      timeout_ = true;
      settled_ = false;
      bytes[done++] = 0xFF;
    }
  }
}

std::uint8_t DevicePort::read(Reg reg) {
  if (fd_ < 0 || broken_)
    return 0xFF;
  unsigned char value = 0xFF;
  switch (reg) {
  case Reg::data:
    io(PPRDATA, &value, "PPRDATA");
    return value;
  case Reg::status:
    return status();
  case Reg::control:
    return control_;
  case Reg::epp_addr:
    set_mode(kModeAddress);
    apply_direction();
    settled_ = read_piece(&value, 1, false) == 1;
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
  if (fd_ < 0 || broken_)
    return;
  switch (reg) {
  case Reg::data: {
    unsigned char byte = value;
    io(PPWDATA, &byte, "PPWDATA");
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
      io(PPWCONTROL, &lines, "PPWCONTROL");
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
