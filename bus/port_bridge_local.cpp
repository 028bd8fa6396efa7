#include "port_bridge.h"

#include "bus.h"
#include "trace_time.h"
#include "tracing_port.h"

namespace vorn {

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
  trace::port_clock() = {};
}

void PortBridge::time_from(const trace::Clock &clock) { trace::port_clock() = clock; }

} // namespace vorn
