#include "board_under_test.h"

#include "vorn.h"

namespace vorn::bench {

const char *board_name(Board board) {
  switch (board) {
  case Board::null:
    return "null";
  case Board::echo:
    return "echo";
  case Board::sim:
    return "sim";
  }
  return "?";
}

BoardUnderTest::BoardUnderTest(Board board) {
  if (board == Board::sim) {
    sim::Rig rig = sim::default_rig();
    rig.clock = sim::Clock::virtual_time;
    sim_.emplace(rig);
    sim_->install();
  } else {
    null_.emplace(measure::Timeout::clear, board == Board::echo ? measure::Answers::preset_echo
                                                                : measure::Answers::empty_bus);
    null_->install();
  }
  vornMotInit(nullptr);
}

std::uint64_t BoardUnderTest::accesses() const {
  return sim_ ? sim_->accesses() : null_->accesses();
}

} // namespace vorn::bench
