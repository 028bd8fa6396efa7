// The state of the way to the port, all in one place: what port_read() and
// port_write() go by, and what the last start-up asked for and chose.
#ifndef VORN_PORT_STATE_H
#define VORN_PORT_STATE_H

#include "port_backend.h"
#include "run_control.h"

#include <cerrno>
#include <cstdint>
#include <string>

namespace vorn {

struct PortState {
  // Put in place with ScopedBackend, ahead of any choice.
  PortBackend *installed = nullptr;
  RunControl *installed_run = nullptr;
  PortBackend *chosen = nullptr; // by start-up
  // The trace of VORN_TRACE, around whichever of the two is in use.
  PortBackend *outermost = nullptr;
  RunControl *outermost_run = nullptr;
  // Before any grant, ports are taken relative to vorn_base_addr, so that a
  // backend still sees what a client does after a refused start-up.
  bool granted = false;
  std::uint32_t granted_base = 0;
  std::string choice;  // the port choice of the last vornMotInit()
  std::string problem; // lines for people on why the last start-up failed
  bool trace_refused = false;
  // Whether a driver call may reach the bus, apart for a backend put in
  // place and for the one start-up chose: putting a test port in place and
  // taking it away leaves the chosen one's start as it was.
  bool installed_ready = false;
  bool chosen_ready = false;
  bool stop_missed = false; // by the last shut-down
  int start_error = ENODEV; // why the bus is not ready, when it is not
};

PortState &port_state();

// Records the backend start-up chose (unless it is the one put in place)
// and whether it granted the port at `base`.
void use_backend(PortBackend *backend, bool granted, std::uint32_t base);

// The backend and run control put in place or chosen, under any trace.
PortBackend &backend_in_use();
RunControl &run_in_use();

} // namespace vorn

#endif
