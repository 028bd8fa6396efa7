#include "fake_ppdev.h"

#include "board_map.h"

#include <cerrno>
#include <cstring>
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
    "open",       "close",     "read",      "write",      "flock",     "PPEXCL",
    "PPCLAIM",    "PPRELEASE", "PPSETMODE", "PPDATADIR",  "PPRSTATUS", "PPRCONTROL",
    "PPWCONTROL", "PPRDATA",   "PPWDATA",   "other ioctl"};

constexpr const char kDevice[] = "/dev/parport0";
constexpr const char kProcDir[] = "/proc/sys/dev/parport/parport0/";
constexpr const char kLockPrefix[] = "/run/lock/vorn-port-";
constexpr const char kModes[] = "PCSPP,TRISTATE,EPP\n";
// The control lines parport_pc lets PPRCONTROL and PPWCONTROL reach.
constexpr std::uint8_t kControlLines = 0x0F;

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
    return kModes;
  return std::nullopt;
}

int FakePpdev::open(const char *path, int) {
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
    // Closing a claimed device gives the port back, as ppdev's release does.
    claimed_ = false;
    exclusive_ = false;
    if (closed_hook_)
      closed_hook_();
  }
  return 0;
}

bool FakePpdev::cycle_timed_out() {
  const std::uint8_t status = boards_.read(Reg::status);
  if ((status & kStatusTimeout) == 0)
    return false;
  boards_.write(Reg::status, static_cast<std::uint8_t>(status | kStatusTimeout));
  return true;
}

bool FakePpdev::epp_read(std::uint8_t &value) {
  value = boards_.read((mode_ & IEEE1284_ADDR) != 0 ? Reg::epp_addr : Reg::epp_data);
  return !cycle_timed_out();
}

bool FakePpdev::epp_write(std::uint8_t value) {
  boards_.write((mode_ & IEEE1284_ADDR) != 0 ? Reg::epp_addr : Reg::epp_data, value);
  return !cycle_timed_out();
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
  if (!claimed_ || (mode_ & ~IEEE1284_ADDR) != IEEE1284_MODE_EPP)
    return fail(EINVAL);
  std::size_t got = 0;
  while (got < count_wanted && epp_read(out[got]))
    ++got;
  if (got == 0 && count_wanted > 0)
    return fail(EAGAIN);
  return static_cast<ssize_t>(got);
}

ssize_t FakePpdev::write(int fd, const void *buf, size_t count_wanted) {
  count(Call::write);
  File *f = file(fd);
  if (f == nullptr || f->kind != FileKind::device)
    return fail(EBADF);
  if (!claimed_ || (mode_ & ~IEEE1284_ADDR) != IEEE1284_MODE_EPP)
    return fail(EINVAL);
  const auto *in = static_cast<const std::uint8_t *>(buf);
  std::size_t written = 0;
  while (written < count_wanted && epp_write(in[written]))
    ++written;
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
  default:
    break;
  }
  count(kind);
  File *f = file(fd);
  if (f == nullptr)
    return fail(EBADF);
  if (f->kind != FileKind::device)
    return fail(ENOTTY);
  return device_ioctl(request, arg);
}

int FakePpdev::device_ioctl(unsigned long request, void *arg) {
  auto *byte = static_cast<unsigned char *>(arg);
  if (request == PPEXCL) {
    // ppdev takes it only before the device registers, at the first claim.
    if (claimed_)
      return fail(EINVAL);
    exclusive_ = true;
    return 0;
  }
  if (request == PPCLAIM) {
    if (claimed_)
      return fail(EINVAL);
    // Another device registered on the port refuses an exclusive one.
    if (node_ == Node::busy && exclusive_)
      return fail(ENXIO);
    claimed_ = true;
    last_setting_.clear();
    return 0;
  }
  if (!claimed_)
    return fail(EINVAL);
  switch (request) {
  case PPRELEASE:
    claimed_ = false;
    return 0;
  case PPSETMODE:
    mode_ = *static_cast<int *>(arg);
    note_setting(Call::ppsetmode, mode_);
    return 0;
  case PPDATADIR: {
    const bool reverse = *static_cast<int *>(arg) != 0;
    note_setting(Call::ppdatadir, reverse);
    const std::uint8_t control = boards_.read(Reg::control);
    boards_.write(Reg::control, static_cast<std::uint8_t>(reverse ? control | kCtrlDirection
                                                                  : control & ~kCtrlDirection));
    return 0;
  }
  case PPRSTATUS:
    // The kernel has cleared every EPP timeout by the time anyone looks.
    *byte = static_cast<unsigned char>(boards_.read(Reg::status) & ~kStatusTimeout);
    return 0;
  case PPRCONTROL:
    *byte = static_cast<unsigned char>(boards_.read(Reg::control) & kControlLines);
    return 0;
  case PPWCONTROL: {
    note_setting(Call::ppwcontrol, *byte & kControlLines);
    const std::uint8_t control = boards_.read(Reg::control);
    boards_.write(Reg::control,
                  static_cast<std::uint8_t>((control & ~kControlLines) | (*byte & kControlLines)));
    return 0;
  }
  case PPRDATA:
    *byte = boards_.read(Reg::data);
    return 0;
  case PPWDATA:
    boards_.write(Reg::data, *byte);
    return 0;
  default:
    return fail(ENOTTY);
  }
}

} // namespace vorn::test
