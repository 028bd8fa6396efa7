#include "recording_port.h"

#include <cstdio>

namespace vorn::test {

std::string to_string(const std::vector<Access> &accesses) {
  std::string out;
  char line[16];
  for (const Access &a : accesses) {
    std::snprintf(line, sizeof line, "%c %u %02x\n", a.kind, unsigned{a.offset}, unsigned{a.value});
    out += line;
  }
  return out;
}

RecordingPort::RecordingPort(std::uint32_t base) : base_(base) {
  vorn_base_addr = base;
  set_port(this);
}

RecordingPort::~RecordingPort() { set_port(nullptr); }

std::uint8_t RecordingPort::read(std::uint16_t port) {
  std::uint16_t offset = static_cast<std::uint16_t>(port - base_);
  std::uint8_t value = 0xFF;
  if (offset < map::kPortCount) {
    auto &queue = scripts_[offset];
    if (!queue.empty()) {
      last_[offset] = queue.front();
      queue.pop_front();
    }
    value = last_[offset];
  }
  log_.push_back({'R', offset, value});
  return value;
}

void RecordingPort::write(std::uint16_t port, std::uint8_t value) {
  log_.push_back({'W', static_cast<std::uint16_t>(port - base_), value});
}

int RecordingPort::request(std::uint32_t first, std::uint32_t count) {
  ++requests_;
  req_first_ = first;
  req_count_ = count;
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
