// A simulator on the virtual clock, installed and granted port access, with
// the port registers at hand by offset.
#ifndef VORNSIM_TEST_SIM_FIXTURE_H
#define VORNSIM_TEST_SIM_FIXTURE_H

#include "vornsim.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>

namespace vorn::sim::test {

inline constexpr std::uint32_t kBase = 0x378;

Rig virtual_rig();

class SimTest : public ::testing::Test {
protected:
  SimTest() { start(virtual_rig()); }
  // Replaces the simulator with one on `rig`, granted the five ports.
  void start(const Rig &rig);

  std::uint8_t rd(int offset) { return sim->read(static_cast<std::uint16_t>(kBase + offset)); }
  void wr(int offset, std::uint8_t v) { sim->write(static_cast<std::uint16_t>(kBase + offset), v); }
  // Bus cycles straight on the port registers.
  void select(std::uint8_t addr);
  void put(std::uint8_t value); // one data write, forward
  std::uint8_t get();           // one data read, reverse
  std::uint8_t read_at(std::uint8_t addr);
  void write_at(std::uint8_t addr, std::uint8_t value);

  std::unique_ptr<Simulator> sim;
};

} // namespace vorn::sim::test

#endif
