// Who owns an I/O port range, by the kernel's list of port owners: raw port
// access must never write to a device that is not a parallel port.
#ifndef VORN_PORT_OWNERS_H
#define VORN_PORT_OWNERS_H

#include <optional>
#include <string>

namespace vorn {

inline constexpr const char kPortOwnersPath[] = "/proc/ioports";
// Set to 1, it skips the check: for a card the kernel lists under another
// owner's name.
inline constexpr const char kIgnorePortOwnerVar[] = "VORN_IGNORE_PORT_OWNER";

// The refusal line, e.g. "port 0x60 to 0x64 belongs to keyboard, not to a
// parallel port", when the `count` ports from `first` overlap a range the
// list at `owners_path` gives to a driver other than a parallel-port
// driver. Nothing when they belong to a parallel-port driver or to no
// driver, and when the list cannot be read or hides its ranges (an
// unprivileged reader sees every range as 0000-0000).
std::optional<std::string> foreign_port_owner(unsigned first, unsigned count,
                                              const std::string &owners_path);

// The same, unless the environment sets the override.
std::optional<std::string> port_owner_refusal(unsigned first, unsigned count,
                                              const std::string &owners_path = kPortOwnersPath);

} // namespace vorn

#endif
