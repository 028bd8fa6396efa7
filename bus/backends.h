// The table of port backends start-up can choose from, and the choice.
#ifndef VORN_BACKENDS_H
#define VORN_BACKENDS_H

#include "port_backend.h"

#include <cstdint>
#include <string>

namespace vorn {

PortBackend &raw_backend();
// A backend of the table by name ("raw", "device"); nullptr for others.
PortBackend *find_backend(const char *name);

// Chooses (unless a backend was put in place) and opens the port; releases
// the one held before. `choice`: "auto" (the kernel's port at `base` if
// there is one, raw otherwise), "raw", "device" (the kernel's port at
// `base`), or the absolute path of a parallel-port device; nullptr or ""
// stand for VORN_PORT, and that unset or "" for "auto". 0 or the errno
// value of the refusal (EINVAL for an unknown choice, ENODEV for a path
// that is no parallel port), with port_problem() saying why. A port it
// chose is named in a note of the trace and, with VORN_VERBOSE set (not
// "0"), on standard error.
int open_port(std::uint32_t base, const char *choice);
void release_port();

// The note that names how the port was reached: "port: device /dev/parport0",
// "port: raw 0x378".
inline constexpr char kPortNote[] = "port:";

// Lines for people on why the last open_port() failed and how to fix it.
const std::string &port_problem();
// A start-up refused before the port was chosen: `lines` say why.
void refuse_start(const std::string &lines);

} // namespace vorn

#endif
