// The decode from port number to register, and which port is in use.
#include "port_io.h"

#include "backends.h"
#include "port_state.h"
#include "vorn.h"

namespace vorn {

namespace {

std::uint32_t current_base() {
  const PortState &state = port_state();
  return state.granted ? state.granted_base : vorn_base_addr;
}

} // namespace

// Made on first use and never destroyed: it outlives every object whose
// destructor at exit still puts a port back.
PortState &port_state() {
  static PortState *const state = new PortState;
  return *state;
}

// A backend put in place stands for a started port until a start-up is
// tried on it, since library tests drive it without one.
ScopedBackend::ScopedBackend(PortBackend &backend, RunControl &run)
    : previous_(port_state().installed), previous_run_(port_state().installed_run) {
  port_state().installed = &backend;
  port_state().installed_run = &run;
  port_state().granted = false;
  port_state().installed_ready = true;
}

ScopedBackend::~ScopedBackend() {
  port_state().installed = previous_;
  port_state().installed_run = previous_run_;
  port_state().granted = false;
  port_state().installed_ready = previous_ != nullptr;
}

PortBackend &backend_in_use() {
  const PortState &state = port_state();
  if (state.installed != nullptr)
    return *state.installed;
  return state.chosen != nullptr ? *state.chosen : raw_backend();
}

RunControl &run_in_use() {
  const PortState &state = port_state();
  return state.installed != nullptr ? *state.installed_run : no_run_control();
}

PortBackend &port_backend() {
  const PortState &state = port_state();
  return state.outermost != nullptr ? *state.outermost : backend_in_use();
}

RunControl &port_run() {
  const PortState &state = port_state();
  return state.outermost_run != nullptr ? *state.outermost_run : run_in_use();
}

std::string port_event(std::string_view kind, std::string seen) {
  return port_run().event_point(kind, std::move(seen));
}

void port_note(std::string_view text) { port_run().note(text); }

RunEnd end_port_run() { return port_run().end_run(); }

bool port_trace_refused() { return port_state().trace_refused; }

bool stop_missed() { return port_state().stop_missed; }

std::uint8_t port_read(std::uint16_t port) {
  Reg reg;
  return decode_port(port, current_base(), reg) ? port_backend().read(reg) : 0xFF;
}

void port_write(std::uint16_t port, std::uint8_t value) {
  Reg reg;
  if (decode_port(port, current_base(), reg))
    port_backend().write(reg, value);
}

void port_read_epp_data(std::uint16_t port, std::uint8_t *bytes, std::size_t count) {
  Reg reg;
  if (decode_port(port, current_base(), reg) && reg == Reg::epp_data) {
    port_backend().read_epp_data(bytes, count);
    return;
  }
  for (std::size_t i = 0; i < count; ++i)
    bytes[i] = port_read(port);
}

bool port_ready() {
  const PortState &state = port_state();
  return state.installed != nullptr ? state.installed_ready : state.chosen_ready;
}

void use_backend(PortBackend *backend, bool is_granted, std::uint32_t base) {
  PortState &state = port_state();
  if (backend != state.installed)
    state.chosen = backend;
  state.granted = is_granted;
  state.granted_base = base;
  (state.installed != nullptr ? state.installed_ready : state.chosen_ready) = is_granted;
}

} // namespace vorn
