#include "kernel_ports.h"

#include "port_os.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>

namespace vorn {

namespace {

// A small file of /proc in one read; "" when it cannot be read.
std::string read_small_file(const std::string &path) {
  const OsCalls &os = os_calls();
  const int fd = os.open(path.c_str(), O_RDONLY | O_CLOEXEC, 0);
  if (fd < 0)
    return {};
  char buf[256];
  ssize_t n;
  do
    n = os.read(fd, buf, sizeof buf - 1);
  while (n < 0 && errno == EINTR);
  os.close(fd);
  if (n <= 0)
    return {};
  std::string text(buf, static_cast<std::size_t>(n));
  while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
    text.pop_back();
  return text;
}

std::string numbered(const char *prefix, int number) {
  char text[64];
  std::snprintf(text, sizeof text, "%s%d", prefix, number);
  return text;
}

} // namespace

std::optional<KernelPort> kernel_port(int number) {
  const std::string dir = numbered("/proc/sys/dev/parport/parport", number) + "/";
  // "888\t1912": the base address in decimal, then the second (ECP) one.
  const std::string base = read_small_file(dir + "base-addr");
  char *end = nullptr;
  const unsigned long value = std::strtoul(base.c_str(), &end, 10);
  if (base.empty() || end == base.c_str() || value > 0xFFFF)
    return std::nullopt;
  KernelPort port;
  port.number = number;
  port.base = static_cast<std::uint32_t>(value);
  port.device = numbered("/dev/parport", number);
  port.modes = read_small_file(dir + "modes");
  return port;
}

std::optional<KernelPort> kernel_port_at(std::uint32_t base) {
  for (int n = 0; n < kMaxKernelPorts; ++n)
    if (auto port = kernel_port(n); port && port->base == base)
      return port;
  return std::nullopt;
}

std::string port_holder(int number) {
  const std::string holder =
      read_small_file(numbered("/proc/sys/dev/parport/parport", number) + "/devices/active");
  return holder == "none" ? std::string() : holder;
}

std::optional<int> port_number_of(const std::string &device) {
  constexpr std::string_view kPrefix = "/dev/parport";
  if (device.size() <= kPrefix.size() || device.compare(0, kPrefix.size(), kPrefix) != 0)
    return std::nullopt;
  const std::string digits = device.substr(kPrefix.size());
  if (digits.size() > 2 || digits.find_first_not_of("0123456789") != std::string::npos)
    return std::nullopt;
  return std::atoi(digits.c_str());
}

std::optional<KernelPort> kernel_port_of(const std::string &device) {
  const auto number = port_number_of(device);
  return number ? kernel_port(*number) : std::nullopt;
}

} // namespace vorn
