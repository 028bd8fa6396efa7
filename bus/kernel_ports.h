// The parallel ports the kernel's driver has found, as it lists them under
// /proc/sys/dev/parport, with the device node ppdev gives each.
#ifndef VORN_KERNEL_PORTS_H
#define VORN_KERNEL_PORTS_H

#include <cstdint>
#include <optional>
#include <string>

namespace vorn {

inline constexpr int kMaxKernelPorts = 16;

struct KernelPort {
  int number = 0;
  std::uint32_t base = 0;
  std::string device; // /dev/parportN
  std::string modes;  // as the kernel reports them, e.g. "PCSPP,TRISTATE,EPP"
};

// The device that has port N claimed as the kernel names it ("lp0",
// "ppdev0"), "" for none.
std::string port_holder(int number);

// Port N, if the kernel has it.
std::optional<KernelPort> kernel_port(int number);
std::optional<KernelPort> kernel_port_at(std::uint32_t base);
// N for a device path /dev/parportN.
std::optional<int> port_number_of(const std::string &device);
// The port behind a device path such as /dev/parport1.
std::optional<KernelPort> kernel_port_of(const std::string &device);

} // namespace vorn

#endif
