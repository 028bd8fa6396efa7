// Tallies of the port accesses the board set cannot serve as meant, by kind
// and bus address, for the report at exit. Fixed arrays: counting never
// allocates.
#ifndef VORNSIM_ACCESS_LOG_H
#define VORNSIM_ACCESS_LOG_H

#include <array>
#include <cstdint>
#include <cstdio>

namespace vorn::sim {

enum class Slip {
  // protocol errors
  read_forward,   // data read while the PC drives the data lines
  write_reverse,  // data write while the boards drive them: reaches no board
  select_reverse, // address write in reverse direction: selects nothing
  // registers the board set does not have
  unmapped_read,
  unmapped_write,
  // cycles at blocks where no board answers (ID probes are not counted)
  unanswered_read,
  unanswered_write,
  count_
};

class AccessLog {
public:
  void note(Slip slip, std::uint8_t addr) { ++by_addr_[static_cast<int>(slip)][addr]; }
  void note_refused() { ++after_refusal_; }
  void note_address_read() { ++address_reads_; }
  void note_outside(std::uint16_t port);

  std::uint64_t protocol_errors() const;
  std::uint64_t unmapped() const;
  std::uint64_t unanswered() const;
  void report(std::FILE *out) const;

private:
  std::uint64_t total(Slip slip) const;

  std::array<std::array<std::uint64_t, 256>, static_cast<int>(Slip::count_)> by_addr_{};
  std::uint64_t after_refusal_ = 0;
  std::uint64_t address_reads_ = 0;
  std::uint64_t outside_ = 0;
  std::uint16_t first_outside_ = 0;
};

} // namespace vorn::sim

#endif
