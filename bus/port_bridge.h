// A port and its run control put in place for as long as this object
// lives: from libvornsim through libvorn's C calls (vorn_port.h), where
// they meet; in the tree's own static programs directly, started at once
// as the test ports are.
#ifndef VORN_PORT_BRIDGE_H
#define VORN_PORT_BRIDGE_H

#include "port_backend.h"
#include "trace_time.h"
#include "vorn_port.h"

#include <string>

namespace vorn {

class PortBridge {
public:
  // Behind `trace` (vorn_port.h) when one is given.
  PortBridge(PortBackend &port, RunControl &run, vorn_trace *trace = nullptr);
  ~PortBridge();
  PortBridge(const PortBridge &) = delete;
  PortBridge &operator=(const PortBridge &) = delete;
  // The port's own time, for the traces libvorn writes of it.
  void time_from(const trace::Clock &clock);

private:
  static PortBridge &of(void *context) { return *static_cast<PortBridge *>(context); }

  PortBackend &port_;
  RunControl &run_;
  std::string taken_; // the last event taken, for the caller to read
  RunEnd end_;        // the last end of run
  vorn_port_ops ops_;
  void *slot_; // the C slot, or the ScopedBackend in-process
};

} // namespace vorn

#endif
