// The boards behind the port: which blocks answer, every register of the
// board address map, and the motion that moves the counters.
#ifndef VORNSIM_BOARD_SET_H
#define VORNSIM_BOARD_SET_H

#include "motion.h"
#include "vornsim.hpp"

#include <array>
#include <cstdint>

namespace vorn::sim {

// What one data cycle did at the boards.
struct Cycle {
  std::uint8_t value = 0xFF; // the byte a read delivers
  bool answered = false;     // false: no board, the port times out
  bool mapped = false;       // a board answered, but has no such register
};

class BoardSet {
public:
  explicit BoardSet(const Rig &rig);

  // `access` is the number of the port access running the cycle (for
  // boards that stop answering).
  Cycle read(std::uint8_t addr, std::uint64_t access);
  Cycle write(std::uint8_t addr, std::uint8_t value, std::uint64_t access);
  // Motion over the next `ticks` ticks.
  void run(std::uint64_t ticks);
  // nInit pulled low: the boards stop the rate channels and forget the
  // index settings.
  void reset();

  EncoderAxis &axis(int n) { return axes_[n]; }
  const EncoderAxis &axis(int n) const { return axes_[n]; }
  std::uint32_t preset() const { return preset_; }
  std::uint8_t encoder_control() const { return enc_control_; }
  std::uint8_t latch_register() const { return latch_reg_; }
  std::uint8_t index_sense() const { return index_sense_; }
  std::uint8_t index_set() const { return index_set_; }
  std::uint8_t spindle() const { return spindle_; }
  std::uint32_t rate_count(int ch) const { return channels_[ch].count; }
  std::uint8_t rate_control() const { return rate_control_; }
  std::uint8_t reg1d() const { return reg1d_; }
  std::uint8_t reg1e() const { return reg1e_; }
  std::uint8_t reg26() const { return reg26_; }
  std::uint8_t dig_out(int i) const { return dig_out_[i]; }
  std::uint8_t dig_in(int i) const;
  void set_dig_in(int i, std::optional<std::uint8_t> value) { dig_in_[i] = value; }

private:
  bool answers(int block, std::uint64_t access) const;
  void apply_holds();
  void set_rate_control(std::uint8_t value);
  void move_axis(int n, std::int64_t steps);

  const Rig &rig_;
  // Board whose blocks include block b (the block it begins at), or -1.
  std::array<int, kBlocks> owner_{};
  std::array<EncoderAxis, kAxes> axes_{};
  std::array<RateChannel, kAxes> channels_{};
  std::array<SteadyMotion, kAxes> outside_{};
  std::array<std::optional<std::uint8_t>, kDigitalInputs> dig_in_{};
  std::array<std::uint8_t, 2> dig_out_{};
  std::uint32_t preset_ = 0;
  std::uint8_t enc_control_ = 0;
  std::uint8_t latch_reg_ = 0;
  std::uint8_t index_sense_ = 0;
  std::uint8_t index_set_ = 0;
  std::uint8_t spindle_ = 0;
  std::uint8_t rate_control_ = 0;
  std::uint8_t reg1d_ = 0;
  std::uint8_t reg1e_ = 0;
  std::uint8_t reg26_ = 0;
  std::uint64_t elapsed_ = 0; // ticks run, for the toggled inputs
};

} // namespace vorn::sim

#endif
