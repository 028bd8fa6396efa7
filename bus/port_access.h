// Port register access by offset from vorn_base_addr, for the primitives and
// the few places that set the direction and read the EPP data register
// themselves: the default bus's port, one indirect call per access.
#ifndef VORN_PORT_ACCESS_H
#define VORN_PORT_ACCESS_H

#include "bus.h"
#include "port_io.h"
#include "vorn.h"

#include <cstddef>
#include <cstdint>

namespace vorn {

// The register at `offset` from vorn_base_addr (read afresh on every
// access) on `bus`; false for one outside the port's five. Port numbers
// are 16-bit.
inline bool reg_at(const Bus &bus, std::uint16_t offset, Reg &reg) {
  const auto at = static_cast<std::uint16_t>(vorn_base_addr + offset - bus.base());
  if (at >= kRegCount)
    return false;
  reg = static_cast<Reg>(at);
  return true;
}

inline std::uint8_t port_in(Bus &bus, std::uint16_t offset) {
  Reg reg;
  return reg_at(bus, offset, reg) ? bus.active->read(reg) : 0xFF;
}
inline void port_out(Bus &bus, std::uint16_t offset, std::uint8_t value) {
  Reg reg;
  if (reg_at(bus, offset, reg))
    bus.active->write(reg, value);
}

// The port of `bus` as one primitive sees it: where the registers are is
// worked out once, each access is then one compare and one indirect call.
class PortView {
public:
  explicit PortView(Bus &bus)
      : port_(*bus.active), shift_(static_cast<std::uint16_t>(vorn_base_addr - bus.base())) {}
  std::uint8_t in(std::uint16_t offset) const {
    const auto at = static_cast<std::uint16_t>(offset + shift_);
    return at < kRegCount ? port_.read(static_cast<Reg>(at)) : 0xFF;
  }
  void out(std::uint16_t offset, std::uint8_t value) const {
    const auto at = static_cast<std::uint16_t>(offset + shift_);
    if (at < kRegCount)
      port_.write(static_cast<Reg>(at), value);
  }

private:
  PortBackend &port_;
  std::uint16_t shift_;
};

inline std::uint16_t port_no(std::uint16_t offset) {
  return static_cast<std::uint16_t>(vorn_base_addr + offset);
}
inline std::uint8_t port_in(std::uint16_t offset) { return port_in(default_bus(), offset); }
inline void port_out(std::uint16_t offset, std::uint8_t value) {
  port_out(default_bus(), offset, value);
}
inline void port_in_many(std::uint16_t offset, std::uint8_t *bytes, std::size_t count) {
  port_read_epp_data(port_no(offset), bytes, count);
}

} // namespace vorn

#endif
