// A port with no boards behind it, for measuring the software alone: every
// access is counted and costs next to nothing, and nothing is allocated.
#ifndef VORN_MEASURE_NULL_PORT_H
#define VORN_MEASURE_NULL_PORT_H

#include "board_map.h"
#include "bus.h"

#include <cstdint>
#include <optional>

namespace vorn::measure {

// What the status register shows: a timeout pending makes every clearing
// of it take its longer sequence.
enum class Timeout { clear, pending };

// What EPP data reads give: 0xFF, as from an empty bus; or, echoing, the
// three bytes last written after a selection of bus address 0x00, over and
// over, like encoder counters that read back the preset just loaded into
// them (commtest's cycle then finds no mismatch).
enum class Answers { empty_bus, preset_echo };

class NullPort final : public PortBackend {
public:
  explicit NullPort(Timeout timeout = Timeout::clear, Answers answers = Answers::empty_bus);

  void install(); // becomes the port backend while it lives
  std::uint64_t accesses() const { return accesses_; }

  const char *name() const override { return "null"; }
  std::uint8_t read(Reg reg) override;
  void write(Reg reg, std::uint8_t value) override;
  int open(std::uint32_t) override { return 0; }

private:
  std::optional<ScopedBackend> in_place_;
  std::uint8_t status_;
  Answers answers_;
  std::uint64_t accesses_ = 0;
  std::uint8_t preset_[map::kCountBytes] = {0xFF, 0xFF, 0xFF};
  unsigned written_ = 0; // preset bytes written since the selection
  unsigned read_ = 0;    // data bytes read since the selection
  bool preset_selected_ = false;
};

} // namespace vorn::measure

#endif
