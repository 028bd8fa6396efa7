// Port register access by offset from vorn_base_addr, for the primitives and
// the few places that set the direction and read the EPP data register
// themselves.
#ifndef VORN_PORT_ACCESS_H
#define VORN_PORT_ACCESS_H

#include "port_io.h"
#include "vorn.h"

#include <cstddef>
#include <cstdint>

namespace vorn {

// Port numbers are 16-bit; vorn_base_addr is read afresh on every access.
inline std::uint16_t port_no(std::uint16_t offset) {
  return static_cast<std::uint16_t>(vorn_base_addr + offset);
}
inline std::uint8_t port_in(std::uint16_t offset) { return port_read(port_no(offset)); }
inline void port_out(std::uint16_t offset, std::uint8_t value) {
  port_write(port_no(offset), value);
}
inline void port_in_many(std::uint16_t offset, std::uint8_t *bytes, std::size_t count) {
  port_read_epp_data(port_no(offset), bytes, count);
}

} // namespace vorn

#endif
