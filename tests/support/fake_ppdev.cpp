#include "fake_ppdev.h"

#include "board_map.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <linux/ioctl.h>
#include <linux/major.h>
#include <linux/parport.h>
#include <linux/ppdev.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace vorn::test {

namespace {

using namespace vorn::map;

constexpr const char *kCallNames[kCallKinds] = {
    "open",       "close",     "read",      "write",      "flock",      "PPEXCL",
    "PPCLAIM",    "PPRELEASE", "PPSETMODE", "PPDATADIR",  "PPRSTATUS",  "PPRCONTROL",
    "PPWCONTROL", "PPRDATA",   "PPWDATA",   "PPGETMODES", "PPSETFLAGS", "other ioctl"};

constexpr const char kDevice[] = "/dev/parport0";
constexpr const char kProcDir[] = "/proc/sys/dev/parport/parport0/";
constexpr const char kLockPrefix[] = "/run/lock/vorn-port-";
// The control lines parport_pc lets PPRCONTROL and PPWCONTROL reach.
constexpr std::uint8_t kControlLines = 0x0F;
// ppdev's PP_BUFFER_SIZE: the most one read() or write() moves.
constexpr std::size_t kKernelBuffer = 1024;
// What parport_pc_init_state gives a device to claim the port with.
constexpr std::uint8_t kClaimControl = 0x0c;
constexpr std::uint8_t kClaimControlIrq = 0x1c;
// A cycle through the kernel's software emulation of EPP: at least five
// register accesses (two strobe edges, two waits, the data).
constexpr std::uint64_t kEmulatedCycleAccesses = 5;

FakePpdev *active = nullptr;

int fake_open(const char *path, int flags, mode_t) { return active->open(path, flags); }
int fake_close(int fd) { return active->close(fd); }
ssize_t fake_read(int fd, void *buf, size_t n) { return active->read(fd, buf, n); }
ssize_t fake_write(int fd, const void *buf, size_t n) { return active->write(fd, buf, n); }
int fake_ioctl(int fd, unsigned long request, void *arg) { return active->ioctl(fd, request, arg); }
int fake_flock(int fd, int) { return active->flock(fd); }
int fake_stat(const char *path, struct stat *st) { return active->stat(path, st); }

constexpr OsCalls kFakeCalls{fake_open,  fake_close, fake_read, fake_write,
                             fake_ioctl, fake_flock, fake_stat};

int fail(int err) {
  errno = err;
  return -1;
}

bool starts_with(const std::string &text, const char *prefix) {
  return text.compare(0, std::strlen(prefix), prefix) == 0;
}

} // namespace

const char *call_name(Call call) { return kCallNames[static_cast<std::size_t>(call)]; }

std::uint64_t CallCounts::total() const {
  std::uint64_t sum = 0;
  for (std::uint64_t k : n)
    sum += k;
  return sum;
}

CallCounts CallCounts::operator-(const CallCounts &before) const {
  CallCounts d;
  for (std::size_t i = 0; i < kCallKinds; ++i)
    d.n[i] = n[i] - before.n[i];
  return d;
}

std::string CallCounts::to_string() const {
  std::string text;
  for (std::size_t i = 0; i < kCallKinds; ++i) {
    if (n[i] == 0)
      continue;
    if (!text.empty())
      text += ", ";
    text += std::string(kCallNames[i]) + " " + std::to_string(n[i]);
  }
  return text;
}

FakePpdev::FakePpdev(sim::Simulator &boards) : boards_(boards) {}

FakePpdev::~FakePpdev() { uninstall(); }

void FakePpdev::install() {
  active = this;
  set_os_calls(&kFakeCalls);
}

void FakePpdev::uninstall() {
  if (active != this)
    return;
  set_os_calls(nullptr);
  active = nullptr;
}

void FakePpdev::clear_calls() {
  counts_ = {};
  history_.clear();
  idle_ioctls_ = 0;
}

void FakePpdev::count(Call call) {
  ++counts_[call];
  history_.push_back(call);
}

FakePpdev::File *FakePpdev::file(int fd) {
  const auto it = files_.find(fd);
  return it == files_.end() ? nullptr : &it->second;
}

std::optional<std::string> FakePpdev::proc_text(const std::string &path) const {
  if (!listed_base_ || !starts_with(path, kProcDir))
    return std::nullopt;
  const std::string name = path.substr(std::strlen(kProcDir));
  // The second address is the ECP registers', 0x400 above.
  if (name == "base-addr")
    return std::to_string(*listed_base_) + "\t" + std::to_string(*listed_base_ + 0x400) + "\n";
  if (name == "modes")
    return hardware_.epp ? "PCSPP,TRISTATE,EPP\n" : "PCSPP,TRISTATE\n";
  if (name == "devices/active")
    return (holder_.empty() ? std::string("none") : holder_) + "\n";
  return std::nullopt;
}

int FakePpdev::open(const char *path, int flags) {
  count(Call::open);
  const std::string name = path;
  File opened;
  if (auto text = proc_text(name)) {
    opened = {FileKind::text, *text};
  } else if (name == kDevice) {
    if (node_ == Node::absent)
      return fail(ENOENT);
    if (node_ == Node::denied)
      return fail(EACCES);
    opened = {FileKind::device, {}};
    opened.nonblocking = (flags & O_NONBLOCK) != 0;
    saved_mode_ = IEEE1284_MODE_COMPAT;
    flags_ = 0;
  } else if (starts_with(name, kLockPrefix)) {
    opened = {FileKind::lock, {}};
  } else {
    return fail(ENOENT);
  }
  files_.emplace(next_fd_, std::move(opened));
  return next_fd_++;
}

int FakePpdev::close(int fd) {
  count(Call::close);
  File *f = file(fd);
  if (f == nullptr)
    return fail(EBADF);
  const bool device = f->kind == FileKind::device;
  files_.erase(fd);
  if (device) {
    // ppdev's release: a port left in another mode than compatibility,
    // claimed or not, is negotiated back first.
    if (!claimed_ && registered_ && saved_mode_ != IEEE1284_MODE_COMPAT) {
      mode_ = saved_mode_;
      terminate();
    } else if (claimed_) {
      terminate();
    }
    mode_ = IEEE1284_MODE_COMPAT;
    claimed_ = false;
    exclusive_ = false;
    registered_ = false;
    if (closed_hook_)
      closed_hook_();
  }
  return 0;
}

void FakePpdev::frob_control(std::uint8_t mask, std::uint8_t value) {
  const std::uint8_t was = boards_.read(Reg::control);
  const auto now = static_cast<std::uint8_t>((was & ~mask) ^ value);
  if ((was & kCtrlNInit) != 0 && (now & kCtrlNInit) == 0)
    ++resets_;
  boards_.write(Reg::control, now);
  ++port_accesses_;
}

// parport_negotiate to compatibility mode and parport_ieee1284_terminate;
// the waits for the peripheral's answers are status reads here.
void FakePpdev::terminate() {
  constexpr std::uint8_t kAutoFd = 0x02, kInit = 0x04, kSelect = 0x08;
  const int from = mode_;
  mode_ = IEEE1284_MODE_COMPAT;
  if (from == IEEE1284_MODE_COMPAT || from == (IEEE1284_MODE_COMPAT | IEEE1284_ADDR))
    return;
  ++terminations_;
  if (from == IEEE1284_MODE_EPP || from == IEEE1284_MODE_EPPSL || from == IEEE1284_MODE_EPPSWE) {
    frob_control(kInit, 0); // event 68, for 50 us
    frob_control(kSelect | kInit, kSelect | kInit);
    return;
  }
  frob_control(kSelect | kAutoFd, kSelect); // event 22
  boards_.read(Reg::status);                // event 24: nAck low, up to 35 ms
  ++port_accesses_;
  frob_control(kAutoFd, kAutoFd); // event 25
  boards_.read(Reg::status);      // event 27: nAck high
  ++port_accesses_;
  frob_control(kAutoFd, 0); // event 28
}

bool FakePpdev::timeout_pending() {
  ++port_accesses_;
  return (boards_.read(Reg::status) & kStatusTimeout) != 0;
}

// parport_pc's clear_epp_timeout: two more reads, the bit written both
// ways (chips differ in which clears it), a read to check.
void FakePpdev::clear_epp_timeout() {
  const std::uint8_t status = boards_.read(Reg::status);
  boards_.read(Reg::status);
  boards_.write(Reg::status, static_cast<std::uint8_t>(status | kStatusTimeout));
  boards_.write(Reg::status, static_cast<std::uint8_t>(status & ~kStatusTimeout));
  boards_.read(Reg::status);
  port_accesses_ += 6;
}

bool FakePpdev::cycle_timed_out() {
  if (!hardware_.epp) {
    // The emulation has no timeout bit: it gives up waiting for the
    // handshake. The board set's bit stands for that and is cleared.
    port_accesses_ += kEmulatedCycleAccesses - 1;
    const bool timed_out = (boards_.read(Reg::status) & kStatusTimeout) != 0;
    if (timed_out)
      boards_.write(Reg::status, kStatusTimeout);
    return timed_out;
  }
  if (!timeout_pending())
    return false;
  clear_epp_timeout();
  return true;
}

bool FakePpdev::epp_read(std::uint8_t &value) {
  ++port_accesses_;
  value = boards_.read((mode_ & IEEE1284_ADDR) != 0 ? Reg::epp_addr : Reg::epp_data);
  return !cycle_timed_out();
}

bool FakePpdev::epp_write(std::uint8_t value) {
  ++port_accesses_;
  boards_.write((mode_ & IEEE1284_ADDR) != 0 ? Reg::epp_addr : Reg::epp_data, value);
  return !cycle_timed_out();
}

// parport_pc's PARPORT_EPP_FAST reads: every cycle in one string
// instruction (insl, four cycles at a time, where the length allows; the
// kernel's buffer is aligned), the timeout checked once at the end.
ssize_t FakePpdev::fast_read(std::uint8_t *buf, std::size_t count_wanted) {
  const bool address = (mode_ & IEEE1284_ADDR) != 0;
  port_accesses_ += !address && count_wanted % 4 == 0 ? count_wanted / 4 : count_wanted;
  for (std::size_t i = 0; i < count_wanted; ++i)
    buf[i] = boards_.read(address ? Reg::epp_addr : Reg::epp_data);
  if (!timeout_pending())
    return static_cast<ssize_t>(count_wanted);
  clear_epp_timeout();
  return fail(EIO);
}

bool FakePpdev::fails_now(Call kind) {
  if (!failing_ || failing_->first != kind)
    return false;
  errno = failing_->second;
  failing_.reset();
  return true;
}

ssize_t FakePpdev::read(int fd, void *buf, size_t count_wanted) {
  count(Call::read);
  File *f = file(fd);
  if (f == nullptr || f->kind == FileKind::lock)
    return fail(EBADF);
  auto *out = static_cast<std::uint8_t *>(buf);
  if (f->kind == FileKind::text) {
    const std::size_t n = std::min(count_wanted, f->text.size() - f->at);
    std::memcpy(out, f->text.data() + f->at, n);
    f->at += n;
    return static_cast<ssize_t>(n);
  }
  if (fails_now(Call::read))
    return -1;
  if (!claimed_ || (mode_ & ~IEEE1284_ADDR) != IEEE1284_MODE_EPP)
    return fail(EINVAL);
  if (count_wanted == 0)
    return 0;
  std::uint8_t kernel_buffer[kKernelBuffer];
  const std::size_t need = std::min(count_wanted, kKernelBuffer);
  if ((flags_ & PP_FASTREAD) != 0 && hardware_.epp && need > 1) {
    const ssize_t got = fast_read(kernel_buffer, need);
    if (got > 0)
      std::memcpy(out, kernel_buffer, need);
    return got;
  }
  std::size_t got = 0;
  while (got < need && epp_read(kernel_buffer[got]))
    ++got;
  if (got == 0) {
    if (!f->nonblocking) {
      std::fprintf(stderr, "fake ppdev: a blocking read of a cycle no board answers spins in the "
                           "kernel until a signal\n");
      std::abort();
    }
    return fail(EAGAIN);
  }
  std::memcpy(out, kernel_buffer, got);
  return static_cast<ssize_t>(got);
}

ssize_t FakePpdev::write(int fd, const void *buf, size_t count_wanted) {
  count(Call::write);
  File *f = file(fd);
  if (f == nullptr || f->kind != FileKind::device)
    return fail(EBADF);
  if (fails_now(Call::write))
    return -1;
  if (!claimed_ || (mode_ & ~IEEE1284_ADDR) != IEEE1284_MODE_EPP)
    return fail(EINVAL);
  // Non-blocking, ppdev stops after the first piece; a cycle that timed
  // out ends the write with what went before it, 0 for nothing.
  const auto *in = static_cast<const std::uint8_t *>(buf);
  std::size_t written = 0;
  while (written < count_wanted) {
    const std::size_t piece = std::min(count_wanted - written, kKernelBuffer);
    std::size_t wrote = 0;
    while (wrote < piece && epp_write(in[written + wrote]))
      ++wrote;
    written += wrote;
    if (wrote < piece || f->nonblocking)
      break;
  }
  return static_cast<ssize_t>(written);
}

int FakePpdev::flock(int fd) {
  count(Call::flock);
  File *f = file(fd);
  if (f == nullptr)
    return fail(EBADF);
  return f->kind == FileKind::lock ? fail(EWOULDBLOCK) : 0;
}

int FakePpdev::stat(const char *path, struct stat *st) {
  if (std::strcmp(path, kDevice) != 0)
    return ::stat(path, st);
  if (node_ == Node::absent)
    return fail(ENOENT);
  // As udev makes it: crw-rw---- root lp, ppdev's major, minor 0.
  *st = {};
  st->st_mode = S_IFCHR | 0660;
  st->st_rdev = makedev(PP_MAJOR, 0);
  return 0;
}

void FakePpdev::note_setting(Call call, int value) {
  const auto last = last_setting_.find(call);
  if (last != last_setting_.end() && last->second == value)
    ++idle_ioctls_;
  last_setting_[call] = value;
}

int FakePpdev::ioctl(int fd, unsigned long request, void *arg) {
  Call kind = Call::other_ioctl;
  switch (request) {
  case PPEXCL:
    kind = Call::ppexcl;
    break;
  case PPCLAIM:
    kind = Call::ppclaim;
    break;
  case PPRELEASE:
    kind = Call::pprelease;
    break;
  case PPSETMODE:
    kind = Call::ppsetmode;
    break;
  case PPDATADIR:
    kind = Call::ppdatadir;
    break;
  case PPRSTATUS:
    kind = Call::pprstatus;
    break;
  case PPRCONTROL:
    kind = Call::pprcontrol;
    break;
  case PPWCONTROL:
    kind = Call::ppwcontrol;
    break;
  case PPRDATA:
    kind = Call::pprdata;
    break;
  case PPWDATA:
    kind = Call::ppwdata;
    break;
  case PPGETMODES:
    kind = Call::ppgetmodes;
    break;
  case PPSETFLAGS:
    kind = Call::ppsetflags;
    break;
  default:
    break;
  }
  count(kind);
  File *f = file(fd);
  if (f == nullptr)
    return fail(EBADF);
  if (f->kind != FileKind::device)
    return fail(ENOTTY);
  if (fails_now(kind))
    return -1;
  return device_ioctl(request, arg);
}

int FakePpdev::device_ioctl(unsigned long request, void *arg) {
  auto *byte = static_cast<unsigned char *>(arg);
  switch (request) {
  case PPEXCL:
    // ppdev takes it only before the device registers, at the first claim.
    if (registered_)
      return exclusive_ ? 0 : fail(EINVAL);
    exclusive_ = true;
    return 0;
  case PPCLAIM:
    if (claimed_)
      return fail(EINVAL);
    // No port behind the minor, or another device registered on it that
    // refuses an exclusive one: both ENXIO.
    if (!listed_base_ || (node_ == Node::busy && exclusive_))
      return fail(ENXIO);
    claimed_ = true;
    registered_ = true;
    mode_ = saved_mode_;
    last_setting_.clear();
    // parport_pc_restore_state writes the device's control value whole.
    frob_control(0xFF, hardware_.irq ? kClaimControlIrq : kClaimControl);
    return 0;
  case PPSETMODE:
    // Recorded only, for the port once it is claimed; nothing is checked.
    saved_mode_ = *static_cast<int *>(arg);
    if (claimed_) {
      mode_ = saved_mode_;
      note_setting(Call::ppsetmode, mode_);
    }
    return 0;
  case PPGETMODES:
    if (!listed_base_)
      return fail(ENODEV);
    *static_cast<unsigned int *>(arg) =
        PARPORT_MODE_PCSPP | PARPORT_MODE_TRISTATE | (hardware_.epp ? PARPORT_MODE_EPP : 0);
    return 0;
  case PPSETFLAGS:
    flags_ = *static_cast<int *>(arg) & PP_FLAGMASK;
    return 0;
  default:
    break;
  }
  if (!claimed_)
    return fail(EINVAL);
  switch (request) {
  case PPRELEASE:
    saved_mode_ = mode_;
    mode_ = IEEE1284_MODE_COMPAT;
    claimed_ = false;
    return 0;
  case PPDATADIR: {
    const bool reverse = *static_cast<int *>(arg) != 0;
    note_setting(Call::ppdatadir, reverse);
    frob_control(kCtrlDirection, reverse ? kCtrlDirection : 0);
    return 0;
  }
  case PPRSTATUS:
    ++port_accesses_;
    *byte = boards_.read(Reg::status);
    return 0;
  case PPRCONTROL:
    // parport_pc answers from its copy of the register.
    *byte = static_cast<unsigned char>(boards_.read(Reg::control) & kControlLines);
    return 0;
  case PPWCONTROL:
    note_setting(Call::ppwcontrol, *byte & kControlLines);
    if ((*byte & kCtrlDirection) != 0)
      frob_control(kCtrlDirection, kCtrlDirection);
    frob_control(kControlLines, *byte & kControlLines);
    return 0;
  case PPRDATA:
    ++port_accesses_;
    *byte = boards_.read(Reg::data);
    return 0;
  case PPWDATA:
    ++port_accesses_;
    boards_.write(Reg::data, *byte);
    return 0;
  default:
    return fail(EINVAL);
  }
}

} // namespace vorn::test
