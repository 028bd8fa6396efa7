// The simulated board set: a parallel port in EPP mode with the encoder,
// rate generator and digital I/O boards behind it, as a vorn::PortBackend.
// For the programs and tests of this tree (vorn_sim_internal); not
// installed: libvornsim.so gives clients the C face of vornsim.h alone.
//
// Typical use in a test:
//
//   vorn::sim::Rig rig = vorn::sim::default_rig();
//   rig.clock = vorn::sim::Clock::virtual_time;
//   vorn::sim::Simulator sim(rig);
//   sim.install();              // every port access of libvorn now reaches it
//   vornMotInit(nullptr);       // opens the port at vorn_base_addr
//   ...
//   EXPECT_EQ(sim.counter(0), 517u);
//
// read(port) and write(port, value) take port numbers relative to the base
// of the last granted open; before any, relative to vorn_base_addr at
// install().
//
// The model is single-threaded like the bus it stands for. Motion is brought
// up to date lazily: on every port access and by the accessors that read
// moving state (counter, latched index bits, now_us).
#ifndef VORNSIM_HPP
#define VORNSIM_HPP

#include "port_bridge.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace vorn::sim {

inline constexpr int kBlocks = 16;
inline constexpr int kAxes = 4;
inline constexpr int kDigitalInputs = 2;

enum class Clock {
  wall,         // real time since the simulator was made
  virtual_time, // each port access advances time by Rig::access_time_us
};

// How rate channel n moves encoder n.
struct Wiring {
  bool enabled = true;
  // +1: a pulse with the direction bit set counts up, clear counts down
  // (the servo test's loop is then stable); -1 the other way round.
  int sign = 1;
  std::uint32_t counts_per_pulse = 1;
  bool operator==(const Wiring &) const = default;
};

// A board that stops answering once the simulator has seen `after` port
// accesses; from then on its blocks behave as empty ones, until `until`
// accesses have been seen (a loose plug), for good when it is 0.
struct BoardStop {
  int block = 0;
  std::uint64_t after = 0;
  std::uint64_t until = 0;
  bool operator==(const BoardStop &) const = default;
};

// Every setting of a simulated board set. Rig{} is the default board set,
// the one sim/rigs/default.toml spells out.
struct Rig {
  // ID byte per block; nullopt = no board answers there. A type 4 (rate
  // generator) ID also makes the board answer the block after it.
  std::array<std::optional<std::uint8_t>, kBlocks> boards = {0x11, 0x42, std::nullopt, std::nullopt,
                                                             0x31};
  std::array<std::uint32_t, kAxes> counters{}; // initial counts, 24 bits
  std::uint32_t index_period = 2000;           // counts between index pulses
  std::array<std::int32_t, kAxes> velocity{};  // outside motion, counts per second
  std::array<Wiring, kAxes> wiring{};
  // Fixed digital input values; nullopt = input i follows digital output i.
  std::array<std::optional<std::uint8_t>, kDigitalInputs> digital_inputs{};
  // Bits of each digital input that flip every toggle_ms of simulated time.
  std::array<std::uint8_t, kDigitalInputs> toggle_bits{};
  std::uint32_t toggle_ms = 500;
  // Faults.
  std::uint64_t seed = 1;
  double flip_probability = 0.0; // chance of one flipped bit per answered data read
  std::vector<BoardStop> board_stops;
  // Clock and process.
  Clock clock = Clock::wall;
  std::uint32_t access_time_us = 1;
  std::uint64_t interrupt_after = 0; // raise(SIGINT) after this many accesses; 0 = never
  int refuse_access = 0;             // errno for the access request; 0 = granted

  bool operator==(const Rig &) const = default;
};

// A rig file that cannot be used: where and why.
class RigError : public std::runtime_error {
public:
  // line 0 = the problem has no line (an unreadable file).
  RigError(std::string file, unsigned line, std::string message);
  const std::string &file() const { return file_; }
  unsigned line() const { return line_; }
  const std::string &message() const { return message_; }

private:
  std::string file_;
  unsigned line_;
  std::string message_;
};

Rig default_rig();
// `name` is used in error messages, normally the file name. Unknown keys,
// wrong types and out-of-range values throw RigError; what() is the line
// "<name>:<line>: <problem>".
Rig parse_rig(std::string_view toml_text, std::string_view name);
// A file that cannot be read (a folder among them) or sets no key at all
// throws RigError "<path>: <problem>".
Rig load_rig(const std::string &path);

class SimulatorImpl;

class Simulator final : public vorn::PortBackend {
public:
  explicit Simulator(Rig rig = default_rig());
  ~Simulator() override; // uninstalls, writes the exit report, closes the trace
  Simulator(const Simulator &) = delete;
  Simulator &operator=(const Simulator &) = delete;

  // Becomes the port backend until uninstall() (or destruction), through
  // the tracer when a trace is written, and takes vorn_base_addr as the
  // base until an open names another.
  void install();
  void uninstall();

  // vorn::PortBackend: the parallel port's five registers.
  const char *name() const override;
  int open(std::uint32_t base) override;
  std::uint8_t read(Reg reg) override;
  void write(Reg reg, std::uint8_t value) override;
  // As a real port given back: until the next open(), writes reach no board
  // and reads give 0xFF.
  void release() override;
  // The same by port number, for tests that drive the port directly; a
  // port outside the five registers reaches nothing and reads 0xFF.
  std::uint8_t read(std::uint16_t port);
  void write(std::uint16_t port, std::uint8_t value);

  // Encoder board.
  std::uint32_t counter(int n); // live 24-bit count
  void set_counter(int n, std::uint32_t value);
  std::uint32_t latched(int n) const; // what 0x00+3n.. reads back
  std::uint32_t preset() const;
  std::uint8_t encoder_control() const; // register 0x03
  std::uint8_t latch_register() const;  // register 0x04 as last written
  std::uint8_t index_sense();           // latched index bits, not cleared
  std::uint8_t index_set() const;
  std::uint8_t spindle() const;
  // Rate generator board.
  std::uint32_t rate_count(int ch) const;
  std::uint8_t rate_control() const;
  std::uint8_t reg1d() const;
  std::uint8_t reg1e() const;
  std::uint8_t reg26() const;
  // Digital I/O: outputs 0 (0x1F) and 1 (0x41); inputs 0 (0x0D) and 1 (0x0E).
  std::uint8_t dig_out(int i) const;
  std::uint8_t dig_in(int i) const;           // as a read would see it now
  void set_dig_in(int i, std::uint8_t value); // fixes the input
  void loop_back_dig_in(int i);               // back to following output i

  // Time in microseconds since the simulator was made (plus advance_us).
  std::uint64_t now_us();
  // Moves time on, with all motion that happens meanwhile.
  void advance_us(std::uint64_t us);

  // Port side.
  std::uint32_t base() const;
  std::uint8_t control() const;   // parallel-port control register
  std::uint8_t status() const;    // parallel-port status register
  std::uint8_t selected() const;  // the selected bus address
  std::uint64_t accesses() const; // port reads and writes so far
  std::uint64_t protocol_errors() const;
  std::uint64_t unmapped_accesses() const;      // registers the board set lacks
  std::uint64_t unanswered_cycles() const;      // data cycles no board answered
  std::uint64_t injected_flips(int axis) const; // axis 0-3: flips in its count bytes
  std::uint64_t injected_flips_total() const;
  // Whether the last EPP cycles timed out, clearing the port's flag as a
  // port driver does after each cycle; not a bus access.
  bool take_timeout();

  // Port trace: one line "R|W <offset> <hh>" per access that comes through
  // the library (libvorn's tracer around the simulator). trace_to(path)
  // returns false with errno set when the file cannot be opened, and
  // `clash` naming the file of the run it is, if that is why; the file is
  // closed by the simulator. trace_to(FILE*) is not owned; nullptr stops it.
  bool trace_to(const std::string &path, std::string *clash = nullptr);
  void trace_to(std::FILE *file);
  void flush_trace();

  // Lists protocol errors, accesses the board set cannot serve and cycles no
  // board answered, and on a noisy rig the flips injected per axis; nothing
  // when there is nothing to tell. report_at_exit(out) makes the destructor
  // do it.
  void report(std::FILE *out) const;
  void report_at_exit(std::FILE *out);

  const Rig &rig() const;

private:
  void put_in_place();

  std::unique_ptr<SimulatorImpl> impl_;
  std::unique_ptr<vorn_trace, void (*)(vorn_trace *)> tracer_{nullptr, vorn_trace_delete};
  std::optional<PortBridge> installed_;
};

class ReplayImpl;

// A recorded port trace played back as the port: every read is answered
// from the recording and every write checked against it, so that a run
// recorded on the boards can be run again anywhere.
//
//   vorn::sim::Replay replay;
//   if (!replay.load("board.trace.gz")) ...   // reason() says why
//   replay.install();
//   vornMotInit(nullptr);
//   ...
//   vornMotQuit();
//   vorn::RunEnd end = replay.end_run();      // ok, or the first difference
//
// Event notes ("# stop SIGINT", "# keyboard cut SIGTERM", "# key line 100")
// are taken where the recording has them: vorn::port_event() gives them back
// at that point, so a run ended by Ctrl-C replays to the same end and a
// prompt gets the line typed there. Other notes are skipped.
//
// The first difference (an access other than the one recorded, an event
// the run did not take there, the recording ending while the run goes on)
// is a departure: "<file>:<line>: recorded W 2 24, this run wrote W 2 04".
// From then on nothing is checked: reads give 0xFF, writes are taken, and
// every event point stops the run, so that its shut-down still runs.
class Replay final : public vorn::PortBackend, public vorn::RunControl {
public:
  Replay();
  ~Replay() override; // uninstalls; a departure end_run() never told goes to standard error
  Replay(const Replay &) = delete;
  Replay &operator=(const Replay &) = delete;

  // Plain or gzip-compressed, "-" for standard input. False with errno set
  // and reason() saying why.
  bool load(const std::string &path);
  const std::string &reason() const;
  // The arguments the run was started with, after the program's name, as a
  // run note writes them (plain words with one blank between read as
  // themselves): a departure at once if the recording's "# run:" line has
  // others.
  void expect_arguments(std::string arguments);

  // The port backend until uninstall() (or destruction).
  void install();
  void uninstall();
  bool departed() const;

  // vorn::PortBackend and vorn::RunControl.
  const char *name() const override;
  int open(std::uint32_t base) override;
  std::uint8_t read(Reg reg) override;
  void write(Reg reg, std::uint8_t value) override;
  std::string event_point(std::string_view kind, std::string seen) override;
  // After the run: ok when it did all the recording has; otherwise
  // replay_departed with the first difference (lines the run never reached
  // are one: "recorded R 1 00, this run ended").
  RunEnd end_run() override;

private:
  std::unique_ptr<ReplayImpl> impl_;
  std::optional<PortBridge> installed_;
};

} // namespace vorn::sim

#endif
