// The table of port backends start-up can choose from, and the choice.
#ifndef VORN_BACKENDS_H
#define VORN_BACKENDS_H

#include "port_io.h"

#include <cstdint>
#include <string>

namespace vorn {

PortBackend &raw_backend();

// Chooses (unless a backend was put in place) and opens the port; releases
// the one held before. `choice`: "/dev/..." a device path, "raw", "device"
// (the kernel's port at `base`), anything else automatic (the kernel's port
// at `base` if there is one, raw otherwise); nullptr or "" stand for
// VORN_PORT. 0 or the errno value of the refusal, with port_problem()
// saying why.
int open_port(std::uint32_t base, const char *choice);
void release_port();

// The state port_read() and port_write() go by.
PortBackend *installed_backend();
// The port was granted by the last start-up and not released since, or a
// backend put in place has seen no start-up yet.
bool port_ready();
// The backend put in place or chosen, under any wrapper.
PortBackend &backend_in_use();
// `wrapper` (nullptr: none) in front of whichever backend is in use.
void wrap_backend_in_use(PortBackend *wrapper);
void use_backend(PortBackend *backend, bool granted, std::uint32_t base);

// Lines for people on why the last open_port() failed and how to fix it.
const std::string &port_problem();
// A start-up refused before the port was chosen: `lines` say why.
void refuse_start(const std::string &lines);

} // namespace vorn

#endif
