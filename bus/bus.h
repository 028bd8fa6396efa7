// The bus object: everything a started bus has, in one place. The way to
// the port (the backends, what is put in place, the trace around it), the
// bus account, the encoder's count extension, where the rate reports go,
// the failure state, the lock, and the traces with what their writes keep
// to. The legacy entry points act on the default bus, unless the calling
// thread chose a bus of its own (vornBusUse()). Besides the buses, the
// library's only writable state is vorn_base_addr, each thread's choice,
// and what gives the ports back at exit.
//
// The seam, one hop per layer. A SelRead (primitives.cpp) reads through a
// PortView of the bus (below) by register; the bus's `active` port is a
// PortBackend (port_backend.h: five registers, open, release, and the run
// control). When a trace is written, that is the one tracer,
// TracingBackend (tracing_port.h), around the port in use, which is one of:
//   raw     RawPort (raw_port.h): inb/outb after ioperm
//   device  DevicePort (device_port.h): /dev/parportN through ppdev
//   sim     in libvornsim, a table of C calls (vorn_port.h, vorn_port.cpp)
//           filled by PortBridge (port_bridge.h) around the simulator; in
//           the tree's static programs the simulator itself
// A failed bus, or one a forked child inherited, reaches DeadPort instead.
// The sources that define the calls of the C interface (primitives.cpp,
// startup.cpp, front_end_calls.cpp, and those of drivers/ and ext/) have
// the installed headers for theirs: include/vorn/vorn.h and extintf.h.
#ifndef VORN_BUS_H
#define VORN_BUS_H

#include "board_map.h"
#include "device_port.h"
#include "library_trace.h"
#include "port_os.h"
#include "raw_port.h"
#include "trace_io.h"
#include "trace_time.h"
#include "vorn.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

namespace vorn {

class TracingBackend;

// The account of the bus transfers each block answered, kept by the
// primitives from the timeout flag they read anyway: not one port access
// is added for it.
// A cycle here is one selection or data write and the cycles after it up to
// the next timeout check: the flag tells no finer than that. It is counted
// for the block of the bus address last selected.
struct BlockTally {
  std::uint64_t cycles = 0;
  std::uint64_t unanswered = 0; // the timeout flag was set at its check
};

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
  Bus();
  Bus(const Bus &) = delete;
  Bus &operator=(const Bus &) = delete;

  // The port each access reaches: kept in step with the fields below by
  // refresh(), so that an access is one indirect call.
  PortBackend *active = nullptr;
  // Ports are taken relative to this base once granted, to the bus's base
  // address before, so that a backend still sees what a client does after
  // a refused start-up.
  bool granted = false;
  std::uint32_t granted_base = 0;
  // The base address the port choice is taken at and that the primitives
  // address: vorn_base_addr for the default bus, own_base for a bus of
  // vornBusNew().
  std::uint32_t *base_addr = &vorn_base_addr;
  std::uint32_t own_base = 0;
  Bus *next_made = nullptr; // in the list of vornBusNew()'s buses
  // Ports put in place with ScopedBackend and not yet taken away: a bus
  // freed meanwhile (`freed`) goes with the last of them, not before.
  int placed = 0;
  bool freed = false;

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

  // The account of the bus transfers each block answered (BlockTally).
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

  // The operating-system calls of the device backend, the port lock and
  // the port list: the real ones unless a test put others in place.
  const OsCalls *os;

  // Every tracer alive, a list through the tracers themselves: flushed
  // ahead of a signal, abandoned in a forked child.
  TracingBackend *tracers = nullptr;
  // VORN_TRACE's, from the first start-up that opened it on.
  std::unique_ptr<LibraryTrace, void (*)(LibraryTrace *)> library_trace{nullptr,
                                                                        close_library_trace};
  // The time of a port put in place from another library (vorn_port_clock),
  // for the time marks; none: the monotonic clock.
  trace::Clock port_clock;
  // What the traces and the front end's standard output give way to, and
  // the run's files a trace must not overwrite.
  trace::WriteRules write_rules;

  // What vornRunEvent() and vornRunEnd() hand out, until their next call.
  std::string event_taken;
  std::string end_message;

  // One entry point's bus cycles at a time.
  std::mutex lock;

  std::uint32_t base() const { return granted ? granted_base : *base_addr; }
  bool is_default() const { return base_addr == &vorn_base_addr; }
  // Whether a forked child would share the port: started, or granted.
  bool holds_port() const { return started || granted || chosen_ready; }
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

// The bus the calling thread's calls act on: the one it chose with
// vornBusUse(), otherwise the default bus; nullptr until its first call.
// Constant-initialised and initial-exec: one load, no call, in the shared
// library too, which is all a call pays for the choice.
extern constinit thread_local Bus *thread_bus __attribute__((tls_model("initial-exec")));
Bus &first_call_in_thread();
inline Bus &current_bus() {
  Bus *const bus = thread_bus;
  return bus != nullptr ? *bus : first_call_in_thread();
}

// The buses of vornBusNew(), known for fork and exit.
void add_made_bus(Bus &bus);
void remove_made_bus(Bus &bus);

// One driver or ext entry point's hold on the bus: the lock for as long as
// it lives, and whether the call may reach the bus (errno set when not).
class BusCall {
public:
  BusCall() : bus_(current_bus()), hold_(bus_.lock), ready_(bus_.ready()) {}
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

// The bus account of the current bus, since the last reset (the start-up);
// a block past the last reads empty.
BlockTally block_tally(std::uint32_t block);
// Unanswered cycles of all blocks together.
std::uint64_t unanswered_total();
void reset_bus_account();

// Puts `backend` and its run control in place of whatever the port of the
// current bus was for as long as this object lives, then puts the ones
// before back. `started`: the port counts as started until a start-up is
// tried on it.
class ScopedBackend {
public:
  explicit ScopedBackend(PortBackend &backend, RunControl &run = no_run_control(),
                         bool started = true);
  ~ScopedBackend();
  ScopedBackend(const ScopedBackend &) = delete;
  ScopedBackend &operator=(const ScopedBackend &) = delete;

private:
  Bus &bus_;
  PortBackend *previous_;
  RunControl *previous_run_;
};

// The backend the next port access reaches: the one put in place with
// ScopedBackend, otherwise the one start-up chose (raw before that); behind
// the trace of VORN_TRACE when one is written. port_run() is its run control.
PortBackend &port_backend();
RunControl &port_run();

// The event points, notes and end of the run control in use, for the front end.
std::string port_event(std::string_view kind, std::string seen);
void port_note(std::string_view text);
RunEnd end_port_run();
// The last vornMotInit() was refused because VORN_TRACE names a file that
// cannot be written (vornPortProblem() says why), not for the port.
bool port_trace_refused();
// The last shut-down's stop of the rate generators was not answered.
bool stop_missed();

// Records the backend start-up chose (unless it is the one put in place)
// and whether it granted the port at `base`.
void use_backend(PortBackend *backend, bool granted, std::uint32_t base);

// The backend and run control put in place or chosen, under any trace.
PortBackend &backend_in_use(Bus &bus);
RunControl &run_in_use(Bus &bus);

// The port of `bus` as a primitive, or a place that sets the direction and
// reads the EPP data register itself, sees it, by register: how far the
// bus's base address (read afresh for every view) lies from the granted
// port is worked out once,
// each access is then one compare and one indirect call. A register that
// falls outside the granted port's five reads 0xFF and takes no write, as
// on a floating bus. Port numbers are 16-bit.
class PortView {
public:
  explicit PortView(Bus &bus)
      : port_(*bus.active), shift_(static_cast<std::uint16_t>(*bus.base_addr - bus.base())) {}
  std::uint8_t in(Reg reg) const {
    const unsigned at = reached(reg);
    return at < kRegCount ? port_.read(static_cast<Reg>(at)) : 0xFF;
  }
  void out(Reg reg, std::uint8_t value) const {
    const unsigned at = reached(reg);
    if (at < kRegCount)
      port_.write(static_cast<Reg>(at), value);
  }
  // `count` reads of the EPP data register, in one transfer when it is the
  // granted port's.
  void in_many(std::uint8_t *bytes, std::size_t count) const {
    if (reached(Reg::epp_data) == static_cast<unsigned>(Reg::epp_data)) {
      port_.read_epp_data(bytes, count);
      return;
    }
    for (std::size_t i = 0; i < count; ++i)
      bytes[i] = in(Reg::epp_data);
  }

private:
  unsigned reached(Reg reg) const {
    return static_cast<std::uint16_t>(static_cast<unsigned>(reg) + shift_);
  }

  PortBackend &port_;
  std::uint16_t shift_;
};

inline std::uint8_t port_in(Bus &bus, Reg reg) { return PortView(bus).in(reg); }
inline void port_out(Bus &bus, Reg reg, std::uint8_t value) { PortView(bus).out(reg, value); }
inline void port_in_many(Bus &bus, std::uint8_t *bytes, std::size_t count) {
  PortView(bus).in_many(bytes, count);
}
// On the current bus.
inline std::uint8_t port_in(Reg reg) { return port_in(current_bus(), reg); }
inline void port_out(Reg reg, std::uint8_t value) { port_out(current_bus(), reg, value); }
inline void port_in_many(std::uint8_t *bytes, std::size_t count) {
  port_in_many(current_bus(), bytes, count);
}

} // namespace vorn

#endif
