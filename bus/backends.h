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
// the one held before. `choice`: "/dev/..." a device path, a name of the
// table, anything else automatic (the kernel's port at `base` if there is
// one, raw otherwise); nullptr or "" stand for VORN_PORT. 0 or the errno
// value of the refusal, with port_problem() saying why.
int open_port(std::uint32_t base, const char *choice);
void release_port();

// Lines for people on why the last open_port() failed and how to fix it.
const std::string &port_problem();
// A start-up refused before the port was chosen: `lines` say why.
void refuse_start(const std::string &lines);

} // namespace vorn

#endif
