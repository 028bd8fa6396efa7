#include "port_os.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace vorn {

namespace {

int real_open(const char *path, int flags, mode_t mode) { return ::open(path, flags, mode); }
int real_ioctl(int fd, unsigned long request, void *arg) { return ::ioctl(fd, request, arg); }

constexpr OsCalls kRealCalls{real_open, ::close, ::read, ::write, real_ioctl, ::flock};
const OsCalls *current = &kRealCalls;

} // namespace

const OsCalls &os_calls() { return *current; }

void set_os_calls(const OsCalls *calls) { current = calls != nullptr ? calls : &kRealCalls; }

} // namespace vorn
