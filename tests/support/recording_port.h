// A port for tests: every access is recorded in order, reads are answered
// from a script per port offset (the last scripted value repeats), and the
// access request can be granted or refused with a chosen errno.
#ifndef VORN_TEST_RECORDING_PORT_H
#define VORN_TEST_RECORDING_PORT_H

#include "board_map.h"
#include "port_io.h"
#include "vorn.h"

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace vorn::test {

struct Access {
  char kind; // 'R' or 'W'
  std::uint16_t offset;
  std::uint8_t value;
  bool operator==(const Access &) const = default;
};

std::string to_string(const std::vector<Access> &accesses);

class RecordingPort : public PortIo {
public:
  // Installs itself as the port backend and sets vorn_base_addr to `base`.
  explicit RecordingPort(std::uint32_t base = 0x378);
  ~RecordingPort() override;

  std::uint8_t read(std::uint16_t port) override;
  void write(std::uint16_t port, std::uint8_t value) override;
  int request(std::uint32_t first, std::uint32_t count) override;

  // Reads of base+offset return these values in turn, then keep the last.
  void script(std::uint16_t offset, std::vector<std::uint8_t> values);
  void refuse_access(int err) { refusal_ = err; }

  const std::vector<Access> &accesses() const { return log_; }
  void clear() { log_.clear(); }
  std::uint32_t requested_first() const { return req_first_; }
  std::uint32_t requested_count() const { return req_count_; }
  int requests() const { return requests_; }

private:
  std::uint32_t base_;
  std::vector<Access> log_;
  std::deque<std::uint8_t> scripts_[map::kPortCount];
  std::uint8_t last_[map::kPortCount] = {};
  int refusal_ = 0;
  int requests_ = 0;
  std::uint32_t req_first_ = 0;
  std::uint32_t req_count_ = 0;
};

// Builders for expected sequences, in the port-access vocabulary of the bus.
std::vector<Access> clean_timeout_check();           // R 1 (no timeout pending)
std::vector<Access> sel_wrt(std::uint8_t addr, std::uint8_t byte);
std::vector<Access> write_data(std::uint8_t byte);  // W 4, then clean check
std::vector<Access> sel_addr(std::uint8_t addr);
std::vector<Access> concat(std::initializer_list<std::vector<Access>> parts);

} // namespace vorn::test

#endif
