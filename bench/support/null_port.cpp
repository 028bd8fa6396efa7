#include "null_port.h"

#include "vorn.h"

namespace vorn::measure {

using namespace vorn::map;

NullPort::NullPort(Timeout timeout, Answers answers)
    : status_(timeout == Timeout::pending ? kStatusTimeout : 0x00), answers_(answers) {}

NullPort::~NullPort() {
  if (installed_)
    set_port(nullptr);
}

void NullPort::install() {
  set_port(this);
  installed_ = true;
}

std::uint8_t NullPort::read(std::uint16_t port) {
  ++accesses_;
  const auto offset = static_cast<std::uint16_t>(port - vorn_base_addr);
  if (offset == kPortStatus)
    return status_;
  if (offset == kPortEppData && answers_ == Answers::preset_echo)
    return preset_[read_++ % kCountBytes];
  return 0xFF;
}

void NullPort::write(std::uint16_t port, std::uint8_t value) {
  ++accesses_;
  const auto offset = static_cast<std::uint16_t>(port - vorn_base_addr);
  if (offset == kPortEppAddr) {
    preset_selected_ = value == kEncPreset;
    written_ = 0;
    read_ = 0;
  } else if (offset == kPortEppData && preset_selected_ && written_ < kCountBytes) {
    preset_[written_++] = value;
  }
}

int NullPort::request(std::uint32_t, std::uint32_t) { return 0; }

} // namespace vorn::measure
