#include "access_log.h"

namespace vorn::sim {

namespace {

struct SlipText {
  Slip slip;
  const char *line; // printf format with the bus address
};

constexpr SlipText kTexts[] = {
    {Slip::read_forward, "protocol error: data read in forward direction at bus address 0x%02x"},
    {Slip::write_reverse, "protocol error: data write in reverse direction at bus address 0x%02x"},
    {Slip::select_reverse, "protocol error: address cycle in reverse direction for 0x%02x"},
    {Slip::unmapped_read, "no such register: read of bus address 0x%02x"},
    {Slip::unmapped_write, "no such register: write to bus address 0x%02x"},
    {Slip::unanswered_read, "no board answered: read of bus address 0x%02x"},
    {Slip::unanswered_write, "no board answered: write to bus address 0x%02x"},
};

void times(std::FILE *out, std::uint64_t n) {
  std::fprintf(out, " (%llu %s)\n", static_cast<unsigned long long>(n), n == 1 ? "time" : "times");
}

} // namespace

void AccessLog::note_outside(std::uint16_t port) {
  if (outside_++ == 0)
    first_outside_ = port;
}

std::uint64_t AccessLog::total(Slip slip) const {
  std::uint64_t n = 0;
  for (std::uint64_t c : by_addr_[static_cast<int>(slip)])
    n += c;
  return n;
}

std::uint64_t AccessLog::protocol_errors() const {
  return total(Slip::read_forward) + total(Slip::write_reverse) + total(Slip::select_reverse) +
         after_refusal_;
}

std::uint64_t AccessLog::unmapped() const {
  return total(Slip::unmapped_read) + total(Slip::unmapped_write) + address_reads_ + outside_;
}

std::uint64_t AccessLog::unanswered() const {
  return total(Slip::unanswered_read) + total(Slip::unanswered_write);
}

void AccessLog::report(std::FILE *out) const {
  if (after_refusal_ > 0) {
    std::fputs("vornsim: protocol error: port access after the access request was refused", out);
    times(out, after_refusal_);
  }
  for (const SlipText &t : kTexts) {
    const auto &counts = by_addr_[static_cast<int>(t.slip)];
    for (unsigned addr = 0; addr < counts.size(); ++addr) {
      if (counts[addr] == 0)
        continue;
      std::fputs("vornsim: ", out);
      std::fprintf(out, t.line, addr);
      times(out, counts[addr]);
    }
  }
  if (address_reads_ > 0) {
    std::fputs("vornsim: no such register: read of the EPP address register (base+3)", out);
    times(out, address_reads_);
  }
  if (outside_ > 0) {
    std::fprintf(out, "vornsim: no such port: access outside base+0 to base+4, first at 0x%x",
                 unsigned{first_outside_});
    times(out, outside_);
  }
}

} // namespace vorn::sim
