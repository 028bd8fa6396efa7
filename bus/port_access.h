// Port register access by offset from vorn_base_addr, for the primitives and
// the few places that set the direction and read the EPP data register
// themselves. Header-only so that the front end can use it across the
// library's hidden-visibility boundary.
#ifndef VORN_PORT_ACCESS_H
#define VORN_PORT_ACCESS_H

#include "port_io.h"
#include "vorn.h"

#include <cstdint>

namespace vorn {

// Port numbers are 16-bit; vorn_base_addr is read afresh on every access.
inline std::uint16_t port_no(std::uint16_t offset) {
  return static_cast<std::uint16_t>(vorn_base_addr + offset);
}
inline std::uint8_t port_in(std::uint16_t offset) { return port().read(port_no(offset)); }
inline void port_out(std::uint16_t offset, std::uint8_t value) {
  port().write(port_no(offset), value);
}

} // namespace vorn

#endif
