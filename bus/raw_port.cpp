#include "raw_port.h"

#include "board_map.h"
#include "device_port.h"
#include "kernel_ports.h"
#include "port_os.h"
#include "port_owners.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#if defined(__linux__) && (defined(__x86_64__) || defined(__i386__))
#include <sys/io.h>
#define VORN_HAVE_PORT_IO 1
#endif

namespace vorn {

namespace {

int grant(std::uint32_t base, int on) {
#ifdef VORN_HAVE_PORT_IO
  return ioperm(base, map::kPortCount, on) == 0 ? 0 : errno;
#else
  (void)base;
  (void)on;
  return ENOSYS;
#endif
}

} // namespace

// The kernel's own device is the surest hold: it also keeps its printer
// driver away. Without a kernel port, programs of ours agree on a lock file.
int RawPort::hold(std::uint32_t base) {
  const OsCalls &os = os_calls();
  if (auto kernel = kernel_port_at(base)) {
    holder_ = kernel->device;
    hold_fd_ = claim_device(kernel->device);
    if (hold_fd_ >= 0)
      return 0;
    if (errno == EBUSY)
      return EBUSY;
  }
  char path[64];
  std::snprintf(path, sizeof path, "/run/lock/vorn-port-%x.lock", unsigned{base});
  holder_ = path;
  // Not through a link, nor into a file someone else could have planted.
  hold_fd_ = os.open(path, O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
  if (hold_fd_ < 0) {
    const int err = errno;
    lock_problem_ = std::string("cannot take the lock file ") + path + ": " + std::strerror(err);
    return err;
  }
  // A descriptor the stat call does not know is not a file of this system
  // (the test seam's): nothing to check.
  struct stat st {};
  if (::fstat(hold_fd_, &st) == 0 &&
      (!S_ISREG(st.st_mode) || (st.st_uid != 0 && st.st_uid != ::geteuid()))) {
    lock_problem_ = std::string("lock file ") + path +
                    " is not a regular file owned by root or by this user: remove it";
    os.close(hold_fd_);
    hold_fd_ = -1;
    return EPERM;
  }
  if (os.flock(hold_fd_, LOCK_EX | LOCK_NB) != 0) {
    const int err = errno == EWOULDBLOCK ? EBUSY : errno;
    os.close(hold_fd_);
    hold_fd_ = -1;
    return err;
  }
  return 0;
}

int RawPort::open(std::uint32_t base) {
  release();
  lock_problem_.clear();
  // ioperm takes unsigned long and checks the range only after other
  // refusals; checking here gives the same answer everywhere.
  if (base > 0x10000u - map::kPortCount)
    return EINVAL;
  // One mistyped digit must not reach the keyboard controller or a disk.
  if (auto refusal = port_owner_refusal(base, map::kPortCount)) {
    owner_ = *refusal;
    return EADDRINUSE;
  }
  if (const int err = hold(base); err != 0)
    return err;
  if (const int err = grant(base, 1); err != 0) {
    release();
    return err;
  }
  base_ = base;
  open_ = true;
  return 0;
}

void RawPort::release() {
  if (open_)
    grant(base_, 0);
  open_ = false;
  if (hold_fd_ >= 0) {
    os_calls().close(hold_fd_); // closing gives back the claim or the lock
    hold_fd_ = -1;
  }
}

std::uint8_t RawPort::read(Reg reg) {
#ifdef VORN_HAVE_PORT_IO
  // A port instruction without a grant would kill the process.
  if (open_)
    return inb(static_cast<unsigned short>(base_ + static_cast<unsigned>(reg)));
#endif
  (void)reg;
  return 0xFF;
}

void RawPort::write(Reg reg, std::uint8_t value) {
#ifdef VORN_HAVE_PORT_IO
  if (open_)
    outb(value, static_cast<unsigned short>(base_ + static_cast<unsigned>(reg)));
#endif
  (void)reg;
  (void)value;
}

} // namespace vorn
