// The operating-system calls behind the kernel-device backend, the port
// lock and the list of the kernel's parallel ports. Tests put in a table of
// their own (a fake /dev/parportN and /proc/sys/dev/parport) so that the
// real backend runs its whole life on a machine without a parallel port.
#ifndef VORN_PORT_OS_H
#define VORN_PORT_OS_H

#include <sys/stat.h>
#include <sys/types.h>

namespace vorn {

struct OsCalls {
  int (*open)(const char *path, int flags, mode_t mode);
  int (*close)(int fd);
  ssize_t (*read)(int fd, void *buf, size_t count);
  ssize_t (*write)(int fd, const void *buf, size_t count);
  int (*ioctl)(int fd, unsigned long request, void *arg);
  int (*flock)(int fd, int operation);
  int (*stat)(const char *path, struct stat *st);
};

const OsCalls &real_os_calls();
// The calls the default bus makes: the real ones unless set_os_calls() put
// others in place.
const OsCalls &os_calls();
// nullptr puts the real ones back. `calls` must outlive its use.
void set_os_calls(const OsCalls *calls);

} // namespace vorn

#endif
