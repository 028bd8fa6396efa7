#include "sim_fixture.h"

#include "vorn.h"

namespace vorn::sim::test {

Rig virtual_rig() {
  Rig rig;
  rig.clock = Clock::virtual_time;
  return rig;
}

void SimTest::start(const Rig &rig) {
  sim.reset(); // uninstalls the old one first
  vorn_base_addr = kBase;
  sim = std::make_unique<Simulator>(rig);
  sim->install();
  ASSERT_EQ(InitializeParPort(), 0);
}

void SimTest::select(std::uint8_t addr) {
  wr(2, 0x04);
  wr(3, addr);
}

void SimTest::put(std::uint8_t value) { wr(4, value); }

std::uint8_t SimTest::get() {
  wr(2, 0x24);
  return rd(4);
}

std::uint8_t SimTest::read_at(std::uint8_t addr) {
  select(addr);
  return get();
}

void SimTest::write_at(std::uint8_t addr, std::uint8_t value) {
  select(addr);
  put(value);
}

} // namespace vorn::sim::test
