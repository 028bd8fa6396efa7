#include "port_io.h"

namespace vorn {

PortIo::~PortIo() = default;

namespace {
PortIo *current = nullptr;
}

PortIo &port() { return current ? *current : hardware_port(); }

void set_port(PortIo *backend) { current = backend; }

} // namespace vorn
