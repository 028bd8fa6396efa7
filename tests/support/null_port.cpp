#include "null_port.h"

#include "vorn.h"

namespace vorn::measure {

using namespace vorn::map;

NullPort::NullPort(Timeout timeout, Answers answers)
    : status_(timeout == Timeout::pending ? kStatusTimeout : 0x00), answers_(answers) {}

void NullPort::install() { in_place_.emplace(*this); }

std::uint8_t NullPort::read(Reg reg) {
  ++accesses_;
  if (reg == Reg::status)
    return status_;
  if (reg == Reg::epp_data && answers_ == Answers::preset_echo)
    return preset_[read_++ % kCountBytes];
  return 0xFF;
}

void NullPort::write(Reg reg, std::uint8_t value) {
  ++accesses_;
  if (reg == Reg::epp_addr) {
    preset_selected_ = value == kEncPreset;
    written_ = 0;
    read_ = 0;
  } else if (reg == Reg::epp_data && preset_selected_ && written_ < kCountBytes) {
    preset_[written_++] = value;
  }
}

} // namespace vorn::measure
