#include "port_bridge.h"

#include "port_io.h"

namespace vorn {

PortBridge::PortBridge(PortBackend &port, RunControl &run)
    : port_(port), run_(run), ops_{}, slot_(new ScopedBackend(port, run)) {}

PortBridge::~PortBridge() { delete static_cast<ScopedBackend *>(slot_); }

} // namespace vorn
