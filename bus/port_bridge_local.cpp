#include "port_bridge.h"

#include "port_io.h"
#include "trace_time.h"

namespace vorn {

PortBridge::PortBridge(PortBackend &port, RunControl &run)
    : port_(port), run_(run), ops_{}, slot_(new ScopedBackend(port, run)) {}

PortBridge::~PortBridge() {
  delete static_cast<ScopedBackend *>(slot_);
  trace::port_clock() = {};
}

void PortBridge::time_from(const trace::Clock &clock) { trace::port_clock() = clock; }

} // namespace vorn
