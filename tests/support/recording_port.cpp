#include "recording_port.h"

namespace vorn::trace {

std::string to_string(const std::vector<Access> &accesses) {
  std::string out;
  char line[kAccessLineMax];
  for (const Access &a : accesses)
    out += format_access(a, line);
  return out;
}

} // namespace vorn::trace

namespace vorn::test {

RecordingPort::RecordingPort(std::uint32_t base) { vorn_base_addr = base; }

std::uint8_t RecordingPort::read(Reg reg) {
  const auto offset = static_cast<std::uint16_t>(reg);
  auto &queue = scripts_[offset];
  if (!queue.empty()) {
    last_[offset] = queue.front();
    queue.pop_front();
  }
  log_.push_back({'R', offset, last_[offset]});
  return last_[offset];
}

void RecordingPort::write(Reg reg, std::uint8_t value) {
  log_.push_back({'W', static_cast<std::uint16_t>(reg), value});
}

int RecordingPort::open(std::uint32_t base) {
  ++opens_;
  opened_base_ = base;
  return refusal_;
}

void RecordingPort::script(std::uint16_t offset, std::vector<std::uint8_t> values) {
  scripts_[offset].assign(values.begin(), values.end());
}

std::vector<Access> clean_timeout_check() { return {{'R', 1, 0x00}}; }

std::vector<Access> sel_addr(std::uint8_t addr) {
  return concat({clean_timeout_check(), {{'W', 2, 0x04}, {'W', 3, addr}}});
}

std::vector<Access> sel_wrt(std::uint8_t addr, std::uint8_t byte) {
  return concat({sel_addr(addr), {{'W', 4, byte}}});
}

std::vector<Access> write_data(std::uint8_t byte) {
  return concat({{{'W', 4, byte}}, clean_timeout_check()});
}

std::vector<Access> concat(std::initializer_list<std::vector<Access>> parts) {
  std::vector<Access> out;
  for (const auto &p : parts)
    out.insert(out.end(), p.begin(), p.end());
  return out;
}

} // namespace vorn::test
