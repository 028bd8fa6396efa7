// Which port is in use.
#include "port_io.h"

#include "backends.h"
#include "bus.h"

namespace vorn {

// A backend put in place stands for a started port until a start-up is
// tried on it when `started` (the tree's own test ports, driven without
// one); otherwise it waits for a start-up, as the PC's port does.
ScopedBackend::ScopedBackend(PortBackend &backend, RunControl &run, bool started)
    : previous_(default_bus().installed), previous_run_(default_bus().installed_run) {
  Bus &bus = default_bus();
  std::lock_guard<std::mutex> hold(bus.lock);
  bus.installed = &backend;
  bus.installed_run = &run;
  bus.granted = false;
  bus.installed_ready = started;
  bus.started = false;
  bus.refresh();
}

ScopedBackend::~ScopedBackend() {
  Bus &bus = default_bus();
  std::lock_guard<std::mutex> hold(bus.lock);
  bus.installed = previous_;
  bus.installed_run = previous_run_;
  bus.granted = false;
  bus.installed_ready = previous_ != nullptr;
  bus.started = false;
  bus.refresh();
}

PortBackend &backend_in_use() {
  const Bus &bus = default_bus();
  if (bus.installed != nullptr)
    return *bus.installed;
  return bus.chosen != nullptr ? *bus.chosen : default_bus().raw;
}

RunControl &run_in_use() {
  const Bus &bus = default_bus();
  return bus.installed != nullptr ? *bus.installed_run : no_run_control();
}

PortBackend &port_backend() { return *default_bus().active; }

RunControl &port_run() {
  const Bus &bus = default_bus();
  return bus.outermost_run != nullptr ? *bus.outermost_run : run_in_use();
}

std::string port_event(std::string_view kind, std::string seen) {
  return port_run().event_point(kind, std::move(seen));
}

void port_note(std::string_view text) { port_run().note(text); }

RunEnd end_port_run() { return port_run().end_run(); }

bool port_trace_refused() { return default_bus().trace_refused; }

bool stop_missed() { return default_bus().stop_missed; }

bool port_ready() {
  const Bus &bus = default_bus();
  return bus.installed != nullptr ? bus.installed_ready : bus.chosen_ready;
}

void use_backend(PortBackend *backend, bool is_granted, std::uint32_t base) {
  Bus &bus = default_bus();
  if (backend != bus.installed)
    bus.chosen = backend;
  bus.granted = is_granted;
  bus.granted_base = base;
  (bus.installed != nullptr ? bus.installed_ready : bus.chosen_ready) = is_granted;
  bus.refresh();
}

} // namespace vorn
