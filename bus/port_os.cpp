#include "port_os.h"

#include "bus.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vorn {

namespace {

int real_open(const char *path, int flags, mode_t mode) { return ::open(path, flags, mode); }
int real_ioctl(int fd, unsigned long request, void *arg) { return ::ioctl(fd, request, arg); }
int real_stat(const char *path, struct stat *st) { return ::stat(path, st); }

constexpr OsCalls kRealCalls{real_open, ::close, ::read, ::write, real_ioctl, ::flock, real_stat};

} // namespace

const OsCalls &real_os_calls() { return kRealCalls; }

const OsCalls &os_calls() { return *current_bus().os; }

void set_os_calls(const OsCalls *calls) {
  default_bus().os = calls != nullptr ? calls : &kRealCalls;
}

} // namespace vorn
