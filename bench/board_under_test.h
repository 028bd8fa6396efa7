// The port backend a benchmark runs on, installed and started up as the tool
// does it, with a count of the port accesses made.
#ifndef VORN_BENCH_BOARD_UNDER_TEST_H
#define VORN_BENCH_BOARD_UNDER_TEST_H

#include "null_port.h"
#include "vornsim.hpp"

#include <cstdint>
#include <optional>

namespace vorn::bench {

enum class Board {
  null, // nothing behind the port: the software's own cost
  echo, // the null port reading back the preset (a clean commtest cycle)
  sim,  // the simulated board set on its virtual clock
};

const char *board_name(Board board);

class BoardUnderTest {
public:
  explicit BoardUnderTest(Board board);
  BoardUnderTest(const BoardUnderTest &) = delete;
  BoardUnderTest &operator=(const BoardUnderTest &) = delete;
  std::uint64_t accesses() const;

private:
  std::optional<measure::NullPort> null_;
  std::optional<sim::Simulator> sim_;
};

} // namespace vorn::bench

#endif
