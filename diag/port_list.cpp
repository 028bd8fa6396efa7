#include "port_list.h"

#include "vorn.h"

#include <cstdio>
#include <string>

namespace vorndiag {

namespace {

// The kernel lists hardware EPP as the mode "EPP"; without it every bus
// cycle is emulated in software.
bool has_epp(const char *modes) {
  std::string list = ",";
  list.append(modes).append(",");
  return list.find(",EPP,") != std::string::npos;
}

} // namespace

void print_port_list() {
  vorn_port_info info;
  if (vornPortInfo(0, &info) != 0) {
    std::puts("no parallel port known to the kernel (its driver: sudo modprobe parport_pc ppdev)");
    return;
  }
  std::puts("parallel ports of this PC:");
  for (int n = 0; vornPortInfo(n, &info) == 0; ++n)
    std::printf("  %-6x %-14s %-28s %s, %s\n", static_cast<unsigned>(info.base), info.device,
                info.modes[0] != '\0' ? info.modes : "-",
                has_epp(info.modes) ? "EPP"
                                    : "no EPP (set the port to EPP or ECP+EPP in the firmware "
                                      "setup)",
                info.usable ? "usable" : "no access (the user is not in group lp?)");
}

} // namespace vorndiag
