#include "fake_ppdev.h"

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

constexpr const char *kCallNames[kCallKinds] = {
    "open",       "close",     "read",      "write",      "flock",      "PPEXCL",
    "PPCLAIM",    "PPRELEASE", "PPSETMODE", "PPDATADIR",  "PPRSTATUS",  "PPRCONTROL",
    "PPWCONTROL", "PPRDATA",   "PPWDATA",   "PPGETMODES", "PPSETFLAGS", "other ioctl"};

constexpr const char kDevice[] = "/dev/parport0";
constexpr const char kProcDir[] = "/proc/sys/dev/parport/parport0/";
constexpr const char kLockPrefix[] = "/run/lock/vorn-port-";
// The names the kernel's /proc lists modes by, in its order.
constexpr std::pair<unsigned, const char *> kModeNames[] = {
    {PARPORT_MODE_PCSPP, "PCSPP"},   {PARPORT_MODE_TRISTATE, "TRISTATE"},
    {PARPORT_MODE_COMPAT, "COMPAT"}, {PARPORT_MODE_EPP, "EPP"},
    {PARPORT_MODE_ECP, "ECP"},       {PARPORT_MODE_DMA, "DMA"}};

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

// Errors as the C library gives them.
ssize_t os_result(long result) {
  if (result >= 0)
    return static_cast<ssize_t>(result);
  errno = static_cast<int>(-result);
  return -1;
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

FakePpdev::FakePpdev(sim::Simulator &boards) : boards_(boards), kernel_(*this, PortHardware{}) {}

void FakePpdev::set_node(Node node) {
  node_ = node;
  kernel_.set_other_device(node == Node::busy);
}

void FakePpdev::set_hardware(PortHardware hardware) { kernel_.set_hardware(hardware); }

void FakePpdev::list_port(std::optional<std::uint32_t> base) {
  listed_base_ = base;
  kernel_.set_port_present(base.has_value());
}

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
  if (name == "modes") {
    std::string text;
    for (const auto &[bit, mode] : kModeNames)
      if ((kernel_.modes() & bit) != 0) {
        if (!text.empty())
          text += ',';
        text += mode;
      }
    return text + "\n";
  }
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
    opened.device = kernel_.open((flags & O_NONBLOCK) != 0);
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
  const int device = f->device;
  files_.erase(fd);
  if (device >= 0) {
    kernel_.close(device);
    if (closed_hook_)
      closed_hook_();
  }
  return 0;
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
  const long got = kernel_.read(f->device, out, count_wanted);
  if (got == sim::kReadSpins) {
    std::fprintf(stderr, "fake ppdev: a blocking read of a cycle no board answers spins in the "
                         "kernel until a signal\n");
    std::abort();
  }
  return os_result(got);
}

ssize_t FakePpdev::write(int fd, const void *buf, size_t count_wanted) {
  count(Call::write);
  File *f = file(fd);
  if (f == nullptr || f->kind != FileKind::device)
    return fail(EBADF);
  if (fails_now(Call::write))
    return -1;
  return os_result(kernel_.write(f->device, static_cast<const std::uint8_t *>(buf), count_wanted));
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
  const bool claimed = kernel_.claimed();
  const int result = kernel_.ioctl(f->device, request, arg);
  if (result != 0)
    return static_cast<int>(os_result(result));
  if (request == PPCLAIM)
    last_setting_.clear();
  else if (request == PPSETMODE && claimed)
    note_setting(kind, *static_cast<int *>(arg));
  else if (request == PPDATADIR)
    note_setting(kind, *static_cast<int *>(arg) != 0);
  else if (request == PPWCONTROL)
    note_setting(kind, *static_cast<unsigned char *>(arg) & sim::kControlLines);
  return 0;
}

} // namespace vorn::test
