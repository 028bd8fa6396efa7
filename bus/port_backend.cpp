// What every port and run control does unless it says otherwise.
#include "port_backend.h"

namespace vorn {

PortBackend::~PortBackend() = default;

void PortBackend::read_epp_data(std::uint8_t *bytes, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i)
    bytes[i] = read(Reg::epp_data);
}

void PortBackend::release() {}

RunControl::~RunControl() = default;

std::string RunControl::event_point(std::string_view, std::string seen) { return seen; }
void RunControl::note(std::string_view) {}
RunEnd RunControl::end_run() { return {}; }

RunControl &no_run_control() {
  static RunControl none;
  return none;
}

} // namespace vorn
