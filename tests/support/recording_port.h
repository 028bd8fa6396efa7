// A port for tests: every access is recorded in order, reads are answered
// from a script per port offset (the last scripted value repeats), and the
// access request can be granted or refused with a chosen errno.
#ifndef VORN_TEST_RECORDING_PORT_H
#define VORN_TEST_RECORDING_PORT_H

#include "board_map.h"
#include "bus.h"
#include "trace_io.h"
#include "vorn.h"

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace vorn::trace {
// The accesses as trace lines (beside Access, for argument-dependent lookup).
std::string to_string(const std::vector<Access> &accesses);
} // namespace vorn::trace

namespace vorn::test {

using Access = vorn::trace::Access;
using trace::to_string;

class RecordingPort : public PortBackend {
public:
  // Puts itself in place as the port backend and sets vorn_base_addr to `base`.
  explicit RecordingPort(std::uint32_t base = 0x378);

  const char *name() const override { return "recording"; }
  std::uint8_t read(Reg reg) override;
  void write(Reg reg, std::uint8_t value) override;
  int open(std::uint32_t base) override;
  void release() override { ++releases_; }

  // Reads of base+offset return these values in turn, then keep the last.
  void script(std::uint16_t offset, std::vector<std::uint8_t> values);
  void refuse_access(int err) { refusal_ = err; }

  const std::vector<Access> &accesses() const { return log_; }
  void clear() { log_.clear(); }
  std::uint32_t opened_base() const { return opened_base_; }
  int opens() const { return opens_; }
  int releases() const { return releases_; }

private:
  ScopedBackend in_place_{*this};
  std::vector<Access> log_;
  std::deque<std::uint8_t> scripts_[map::kPortCount];
  std::uint8_t last_[map::kPortCount] = {};
  int refusal_ = 0;
  int opens_ = 0;
  int releases_ = 0;
  std::uint32_t opened_base_ = 0;
};

// Builders for expected sequences, in the port-access vocabulary of the bus.
std::vector<Access> clean_timeout_check(); // R 1 (no timeout pending)
std::vector<Access> sel_wrt(std::uint8_t addr, std::uint8_t byte);
std::vector<Access> write_data(std::uint8_t byte); // W 4, then clean check
std::vector<Access> sel_addr(std::uint8_t addr);
std::vector<Access> concat(std::initializer_list<std::vector<Access>> parts);

} // namespace vorn::test

#endif
