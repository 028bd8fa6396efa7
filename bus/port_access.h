// Port register access, by register, for the primitives and the few places
// that set the direction and read the EPP data register themselves: the
// register of the port at vorn_base_addr, which a client may move after the
// start-up; one indirect call per access.
#ifndef VORN_PORT_ACCESS_H
#define VORN_PORT_ACCESS_H

#include "bus.h"
#include "vorn.h"

#include <cstddef>
#include <cstdint>

namespace vorn {

// The port of `bus` as one primitive sees it: how far vorn_base_addr (read
// afresh for every view) lies from the granted port is worked out once,
// each access is then one compare and one indirect call. A register that
// falls outside the granted port's five reads 0xFF and takes no write, as
// on a floating bus. Port numbers are 16-bit.
class PortView {
public:
  explicit PortView(Bus &bus)
      : port_(*bus.active), shift_(static_cast<std::uint16_t>(vorn_base_addr - bus.base())) {}
  std::uint8_t in(Reg reg) const {
    const unsigned at = reached(reg);
    return at < kRegCount ? port_.read(static_cast<Reg>(at)) : 0xFF;
  }
  void out(Reg reg, std::uint8_t value) const {
    const unsigned at = reached(reg);
    if (at < kRegCount)
      port_.write(static_cast<Reg>(at), value);
  }
  // `count` reads of the EPP data register, in one transfer when it is the
  // granted port's.
  void in_many(std::uint8_t *bytes, std::size_t count) const {
    if (reached(Reg::epp_data) == static_cast<unsigned>(Reg::epp_data)) {
      port_.read_epp_data(bytes, count);
      return;
    }
    for (std::size_t i = 0; i < count; ++i)
      bytes[i] = in(Reg::epp_data);
  }

private:
  unsigned reached(Reg reg) const {
    return static_cast<std::uint16_t>(static_cast<unsigned>(reg) + shift_);
  }

  PortBackend &port_;
  std::uint16_t shift_;
};

inline std::uint8_t port_in(Bus &bus, Reg reg) { return PortView(bus).in(reg); }
inline void port_out(Bus &bus, Reg reg, std::uint8_t value) { PortView(bus).out(reg, value); }
inline void port_in_many(Bus &bus, std::uint8_t *bytes, std::size_t count) {
  PortView(bus).in_many(bytes, count);
}
// On the default bus.
inline std::uint8_t port_in(Reg reg) { return port_in(default_bus(), reg); }
inline void port_out(Reg reg, std::uint8_t value) { port_out(default_bus(), reg, value); }
inline void port_in_many(std::uint8_t *bytes, std::size_t count) {
  port_in_many(default_bus(), bytes, count);
}

} // namespace vorn

#endif
