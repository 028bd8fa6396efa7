// The bus object: everything a started bus has, in one place. The way to
// the port (the backends, what is put in place, the trace around it), the
// bus account, the encoder's count extension, where the rate reports go,
// the failure state and the lock. The legacy entry points act on the
// default bus.
#ifndef VORN_BUS_H
#define VORN_BUS_H

#include "board_map.h"
#include "bus_account.h"
#include "device_port.h"
#include "raw_port.h"
#include "vorn.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>

namespace vorn {

// A port nobody answers on: reads 0xFF, writes go nowhere, no system call.
// What a failed bus, or one inherited across fork, reaches instead.
class DeadPort final : public PortBackend {
public:
  const char *name() const override;
  int open(std::uint32_t base) override;
  std::uint8_t read(Reg reg) override;
  void write(Reg reg, std::uint8_t value) override;
};

struct Bus {
  Bus() : device(*this) {}
  Bus(const Bus &) = delete;
  Bus &operator=(const Bus &) = delete;

  // The port each access reaches: kept in step with the fields below by
  // refresh(), so that an access is one indirect call.
  PortBackend *active = nullptr;
  // Ports are taken relative to this base once granted, to vorn_base_addr
  // before, so that a backend still sees what a client does after a
  // refused start-up.
  bool granted = false;
  std::uint32_t granted_base = 0;

  RawPort raw;
  DevicePort device;
  DeadPort dead;
  // Put in place with ScopedBackend, ahead of any choice.
  PortBackend *installed = nullptr;
  RunControl *installed_run = nullptr;
  PortBackend *chosen = nullptr; // by start-up
  // The trace of VORN_TRACE, around whichever of the two is in use.
  PortBackend *outermost = nullptr;
  RunControl *outermost_run = nullptr;

  std::string choice;  // the port choice of the last vornMotInit()
  std::string problem; // lines for people on what failed last
  bool trace_refused = false;
  // Whether a driver call may reach the bus, apart for a backend put in
  // place and for the one start-up chose: putting a test port in place and
  // taking it away leaves the chosen one's start as it was.
  bool installed_ready = false;
  bool chosen_ready = false;
  bool started = false;     // by vornMotInit(), until vornMotQuit()
  bool stop_missed = false; // by the last shut-down
  int start_error = ENODEV; // why the bus is not ready, when it is not
  // The errno a device failure since the last start-up gives every entry
  // point (EIO, ENODEV when the port went away); 0 for none.
  std::atomic<int> failed{0}; // read by vornPortFailed() without the lock
  // This process is a child forked while the bus held a port: the port is
  // the parent's, and nothing here touches it again.
  bool inherited = false;

  // The account of the bus transfers each block answered (bus_account.h).
  std::array<BlockTally, map::kBlockCount> tallies{};
  std::uint64_t unanswered_all = 0;
  std::uint32_t selected_block = 0;
  bool cycle_open = false; // a cycle since the last timeout check

  // The encoder's count extension, from the start-up on.
  std::array<std::uint8_t, map::kEncoderCount> old_byte2{};
  std::array<std::uint8_t, map::kEncoderCount> high_byte{};

  // Where the rate reports go; null: nowhere. Atomic: a controller may
  // redirect them from another thread than its servo loop's.
  std::atomic<std::FILE *> report{stdout};

  // One entry point's bus cycles at a time.
  std::mutex lock;

  std::uint32_t base() const { return granted ? granted_base : vorn_base_addr; }
  void refresh();
  // A failure of the port's device: `line` says what failed.
  void fail(int err, const std::string &line);
  // Whether a driver call may reach the bus; false with errno set.
  bool ready() const;
};

// The bus the legacy entry points act on, made on first use and never
// destroyed. Inline: every port access of a primitive goes through it.
extern std::atomic<Bus *> made_default_bus;
Bus &make_default_bus();
inline Bus &default_bus() {
  Bus *const bus = made_default_bus.load(std::memory_order_acquire);
  return bus != nullptr ? *bus : make_default_bus();
}

// One driver or ext entry point's hold on the bus: the lock for as long as
// it lives, and whether the call may reach the bus (errno set when not).
class BusCall {
public:
  BusCall() : bus_(default_bus()), hold_(bus_.lock), ready_(bus_.ready()) {}
  BusCall(const BusCall &) = delete;
  BusCall &operator=(const BusCall &) = delete;

  bool ready() const { return ready_; }
  Bus &bus() const { return bus_; }
  // `result`, or -1 with errno set when the device failed during the call.
  int end(int result) const;

private:
  Bus &bus_;
  std::lock_guard<std::mutex> hold_;
  bool ready_;
};

} // namespace vorn

#endif
