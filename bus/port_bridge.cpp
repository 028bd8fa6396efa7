// libvornsim reaches libvorn through its C calls alone (vorn_port.h), and
// waits for a start-up as the PC's port does. The tree's static programs
// and tests are built with VORN_PORT_BRIDGE_IN_PROCESS: the port is put in
// place directly, so that an access costs one call, and counts as started
// at once, as the tests' ports do.
#include "port_bridge.h"

#ifdef VORN_PORT_BRIDGE_IN_PROCESS
#include "bus.h"
#include "tracing_port.h"
#endif

namespace vorn {

#ifdef VORN_PORT_BRIDGE_IN_PROCESS

namespace {

ScopedBackend *put_in_place(PortBackend &port, RunControl &run, vorn_trace *trace) {
  if (trace == nullptr)
    return new ScopedBackend(port, run);
  trace->tracer.wrap(port, run);
  return new ScopedBackend(trace->tracer, trace->tracer);
}

} // namespace

PortBridge::PortBridge(PortBackend &port, RunControl &run, vorn_trace *trace)
    : port_(port), run_(run), ops_{}, slot_(put_in_place(port, run, trace)) {}

PortBridge::~PortBridge() {
  delete static_cast<ScopedBackend *>(slot_);
  current_bus().port_clock = {};
}

void PortBridge::time_from(const trace::Clock &clock) { current_bus().port_clock = clock; }

#else

PortBridge::PortBridge(PortBackend &port, RunControl &run, vorn_trace *trace)
    : port_(port), run_(run) {
  ops_.context = this;
  ops_.name = [](void *c) { return of(c).port_.name(); };
  ops_.open = [](void *c, std::uint32_t base) { return of(c).port_.open(base); };
  ops_.read = [](void *c, int reg) { return of(c).port_.read(static_cast<Reg>(reg)); };
  ops_.write = [](void *c, int reg, std::uint8_t value) {
    of(c).port_.write(static_cast<Reg>(reg), value);
  };
  ops_.read_epp_data = [](void *c, std::uint8_t *bytes, std::size_t count) {
    of(c).port_.read_epp_data(bytes, count);
  };
  ops_.release = [](void *c) { of(c).port_.release(); };
  ops_.event_point = [](void *c, const char *kind, const char *seen) {
    PortBridge &bridge = of(c);
    bridge.taken_ = bridge.run_.event_point(kind, seen);
    return bridge.taken_.c_str();
  };
  ops_.note = [](void *c, const char *text, std::size_t length) {
    of(c).run_.note(std::string_view(text, length));
  };
  ops_.end_run = [](void *c, const char **message) {
    PortBridge &bridge = of(c);
    bridge.end_ = bridge.run_.end_run();
    *message = bridge.end_.message.c_str();
    return static_cast<vorn_run_end>(bridge.end_.kind);
  };
  slot_ = trace != nullptr ? vorn_port_install_traced(&ops_, trace) : vorn_port_install(&ops_);
}

PortBridge::~PortBridge() { vorn_port_uninstall(static_cast<vorn_port_slot *>(slot_)); }

void PortBridge::time_from(const trace::Clock &clock) {
  vorn_port_clock(static_cast<vorn_port_slot *>(slot_), clock.now_us, clock.context);
}

#endif

} // namespace vorn
