// Which port is in use, with its run control. The accesses themselves are
// by register (port_access.h).
//
// The tool picks raw or device at start-up (vornMotInit, backends.h); the
// simulator and test ports are put in place with ScopedBackend, or from
// another library with vorn_port_install() (vorn_port.h). A TracingBackend
// (tracing_port.h) writes the port trace of VORN_TRACE around either.
#ifndef VORN_PORT_IO_H
#define VORN_PORT_IO_H

#include "port_backend.h"
#include "run_control.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vorn {

// Puts `backend` and its run control in place of whatever the port was
// for as long as this object lives, then puts the ones before back.
// `started`: the port counts as started until a start-up is tried on it.
class ScopedBackend {
public:
  explicit ScopedBackend(PortBackend &backend, RunControl &run = no_run_control(),
                         bool started = true);
  ~ScopedBackend();
  ScopedBackend(const ScopedBackend &) = delete;
  ScopedBackend &operator=(const ScopedBackend &) = delete;

private:
  PortBackend *previous_;
  RunControl *previous_run_;
};

// The backend the next port access reaches: the one put in place with
// ScopedBackend, otherwise the one start-up chose (raw before that); behind
// the trace of VORN_TRACE when one is written. port_run() is its run control.
PortBackend &port_backend();
RunControl &port_run();

// The event points, notes and end of the run control in use, for the front end.
std::string port_event(std::string_view kind, std::string seen);
void port_note(std::string_view text);
RunEnd end_port_run();
// The last vornMotInit() was refused because VORN_TRACE names a file that
// cannot be written (vornPortProblem() says why), not for the port.
bool port_trace_refused();
// The last shut-down's stop of the rate generators was not answered.
bool stop_missed();

// Records the backend start-up chose (unless it is the one put in place)
// and whether it granted the port at `base`.
void use_backend(PortBackend *backend, bool granted, std::uint32_t base);

// The backend and run control put in place or chosen, under any trace.
PortBackend &backend_in_use();
RunControl &run_in_use();

} // namespace vorn

#endif
