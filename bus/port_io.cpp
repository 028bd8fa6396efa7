// The decode from port number to register, and which backend is in use.
#include "port_io.h"

#include "backends.h"
#include "vorn.h"

namespace vorn {

namespace {

PortBackend *installed = nullptr; // by ScopedBackend, ahead of any choice
PortBackend *chosen = nullptr;    // by start-up
PortBackend *outermost = nullptr; // the trace of VORN_TRACE, around either
std::uint32_t granted_base = 0;
bool granted = false;
// Whether a driver call may reach the bus, apart for a backend put in
// place and for the one start-up chose: putting a test port in place and
// taking it away leaves the chosen one's start as it was. A backend put in
// place stands for a started port until a start-up is tried on it, since
// library tests drive it without one.
bool installed_ready = false;
bool chosen_ready = false;

// Before any grant, ports are taken relative to vorn_base_addr, so that a
// backend still sees what a client does after a refused start-up.
std::uint32_t current_base() { return granted ? granted_base : vorn_base_addr; }

} // namespace

PortBackend::~PortBackend() = default;

void PortBackend::read_epp_data(std::uint8_t *bytes, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i)
    bytes[i] = read(Reg::epp_data);
}

void PortBackend::release() {}

std::string PortBackend::event_point(std::string_view, std::string seen) { return seen; }
void PortBackend::note(std::string_view) {}
RunEnd PortBackend::end_run() { return {}; }

ScopedBackend::ScopedBackend(PortBackend &backend) : previous_(installed) {
  installed = &backend;
  granted = false;
  installed_ready = true;
}

ScopedBackend::~ScopedBackend() {
  installed = previous_;
  granted = false;
  installed_ready = installed != nullptr;
}

// Port numbers are 16 bits wide, so the offset is taken modulo 2^16, as
// the primitives compute the port number from vorn_base_addr.
bool decode_port(std::uint32_t port, std::uint32_t base, Reg &reg) {
  const auto offset = static_cast<std::uint16_t>(port - base);
  if (offset >= kRegCount)
    return false;
  reg = static_cast<Reg>(offset);
  return true;
}

PortBackend &backend_in_use() {
  if (installed != nullptr)
    return *installed;
  return chosen != nullptr ? *chosen : raw_backend();
}

PortBackend &port_backend() { return outermost != nullptr ? *outermost : backend_in_use(); }

void wrap_backend_in_use(PortBackend *wrapper) { outermost = wrapper; }

std::string port_event(std::string_view kind, std::string seen) {
  return port_backend().event_point(kind, std::move(seen));
}

void port_note(std::string_view text) { port_backend().note(text); }

RunEnd end_port_run() { return port_backend().end_run(); }

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

PortBackend *installed_backend() { return installed; }

bool port_ready() { return installed != nullptr ? installed_ready : chosen_ready; }

void use_backend(PortBackend *backend, bool is_granted, std::uint32_t base) {
  if (backend != installed)
    chosen = backend;
  granted = is_granted;
  granted_base = base;
  (installed != nullptr ? installed_ready : chosen_ready) = is_granted;
}

} // namespace vorn
