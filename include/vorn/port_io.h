// The one door to the parallel port. The library names ports by number
// (vorn_base_addr + offset); port_read() and port_write() decode the number
// into one of the port's five registers, here and nowhere else, and pass the
// access to the backend in use. A backend knows registers only:
//
//   raw     the registers themselves, through ioperm/inb/outb (root, and no
//           kernel lockdown)
//   device  the kernel's parallel-port driver, /dev/parportN (group lp)
//   sim     the simulated board set (vorn::sim::Simulator)
//
// The tool picks raw or device at start-up (vornMotInit); the simulator and
// test ports are put in place with ScopedBackend. TracingBackend wraps any
// backend and writes the port trace.
#ifndef VORN_PORT_IO_H
#define VORN_PORT_IO_H

#include "vorn_export.h"

#include <csignal>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

namespace vorn {

// The parallel port's registers, by offset from its base address.
enum class Reg : std::uint8_t { data = 0, status = 1, control = 2, epp_addr = 3, epp_data = 4 };
inline constexpr unsigned kRegCount = 5;

// What a backend alone can tell about a run once it is over.
struct RunEnd {
  enum class Kind { ok, trace_failed, replay_departed };
  Kind kind = Kind::ok;
  std::string message; // one line for people, without its line end
};

// The notes of events from outside the bus that a replay must take at the
// same point as the recorded run: "stop SIGINT" where a looping test saw a
// stop signal, "keyboard cut SIGTERM" where a keyboard wait was cut short.
inline constexpr char kStopEvent[] = "stop";
inline constexpr char kKeyboardCutEvent[] = "keyboard cut";
// The first line of a trace file: "run: <program> <arguments...>".
inline constexpr char kRunNote[] = "run:";

class VORN_API PortBackend {
public:
  virtual ~PortBackend();
  virtual const char *name() const = 0;
  // Takes the port whose registers start at `base`: 0, or the errno value
  // that explains the refusal.
  virtual int open(std::uint32_t base) = 0;
  virtual std::uint8_t read(Reg reg) = 0;
  virtual void write(Reg reg, std::uint8_t value) = 0;
  // `count` reads of the EPP data register in a row. The default reads them
  // one by one; a backend may move them in one transfer.
  virtual void read_epp_data(std::uint8_t *bytes, std::size_t count);
  // Gives the port back. Harmless when nothing is held, and may be repeated.
  virtual void release();

  // A point where the run may end or change course for a reason from
  // outside the bus. `seen` is the event note for what this process saw
  // (e.g. "stop SIGINT"), empty for nothing; `kind` is its first words.
  // Returns the event the run takes here, empty for none: by default what
  // was seen; a tracer notes it; a replay gives what its recording took.
  virtual std::string event_point(std::string_view kind, std::string seen);
  // A note for the trace ("# text"); wrappers pass it on.
  virtual void note(std::string_view text);
  // After the shut-down: closes what the run wrote and tells what went
  // wrong. Wrappers ask the backend they wrap first; its problem wins.
  virtual RunEnd end_run();
};

// Puts `backend` in place of whatever the port was for as long as this
// object lives, then puts the one before back.
class VORN_API ScopedBackend {
public:
  explicit ScopedBackend(PortBackend &backend);
  ~ScopedBackend();
  ScopedBackend(const ScopedBackend &) = delete;
  ScopedBackend &operator=(const ScopedBackend &) = delete;

private:
  PortBackend *previous_;
};

// The register of `port` when the port's registers start at `base`; false
// for a port outside them.
VORN_API bool decode_port(std::uint32_t port, std::uint32_t base, Reg &reg);

// Port accesses by number, for the primitives and the few places that touch
// the registers themselves. Ports outside the five registers of the port in
// use are dropped: a read gives 0xFF, as from a floating bus.
VORN_API std::uint8_t port_read(std::uint16_t port);
VORN_API void port_write(std::uint16_t port, std::uint8_t value);
// `count` reads of the EPP data register at `port`.
VORN_API void port_read_epp_data(std::uint16_t port, std::uint8_t *bytes, std::size_t count);

// The backend the next port access reaches: the one put in place with
// ScopedBackend, otherwise the one start-up chose (raw before that); behind
// the trace of VORN_TRACE when one is written.
VORN_API PortBackend &port_backend();

// The event points, notes and end of the backend in use, for the front end.
VORN_API std::string port_event(std::string_view kind, std::string seen);
VORN_API void port_note(std::string_view text);
VORN_API RunEnd end_port_run();
// The last vornMotInit() was refused because VORN_TRACE names a file that
// cannot be written (vornPortProblem() says why), not for the port.
VORN_API bool port_trace_refused();
// A backend of the table by name ("raw", "device"); nullptr for others.
VORN_API PortBackend *find_backend(const char *name);

namespace trace {
class Output;
}

// While `*flag` is non-zero, a trace write that would wait for a slow reader
// gives way and keeps the rest for later, so that a stop signal reaches the
// shut-down first; nullptr (after the shut-down): writes wait again. The
// same for write_giving_way(), the front end's standard output.
VORN_API void give_way_to_stop(const volatile std::sig_atomic_t *flag);
VORN_API std::size_t write_giving_way(int fd, const char *data, std::size_t size, int &err);
// A file of the run that a trace must not overwrite (a replay recording, a
// rig file); `what` names it in the refusal.
VORN_API void protect_from_trace(int fd, const char *what);

// Flushes the trace of every TracingBackend alive, so a trace is complete
// up to here even if a signal is about to end the process.
VORN_API void flush_port_traces();

// Writes one trace line per register access made through it: "R <offset>
// <hh>" or "W <offset> <hh>". A bulk read is one line per byte.
class VORN_API TracingBackend final : public PortBackend {
public:
  explicit TracingBackend(PortBackend &inner);
  ~TracingBackend() override;
  TracingBackend(const TracingBackend &) = delete;
  TracingBackend &operator=(const TracingBackend &) = delete;

  // A name ending in ".gz" is written gzip-compressed. false with errno
  // set when the file cannot be opened; last_clash() names the file of the
  // run that it is (EEXIST), for the last trace_to() of any tracer.
  bool trace_to(const std::string &path);
  static const std::string &last_clash();
  // Not owned; nullptr stops the trace.
  void trace_to(std::FILE *file);
  // A line "# <text>" for what a replay needs besides the accesses; passed
  // on to the backend wrapped.
  void note(std::string_view text) override;
  // false once a write of the trace has failed.
  bool flush();
  // The errno of the first failed write, 0 if none.
  int error() const;

  const char *name() const override;
  int open(std::uint32_t base) override;
  std::uint8_t read(Reg reg) override;
  void write(Reg reg, std::uint8_t value) override;
  void read_epp_data(std::uint8_t *bytes, std::size_t count) override;
  void release() override;
  std::string event_point(std::string_view kind, std::string seen) override;
  // Closes the trace: a write that failed on the way is a trace_failed
  // naming the file, unless the backend wrapped has a problem of its own.
  RunEnd end_run() override;

private:
  friend void flush_port_traces();

  PortBackend &inner_;
  std::unique_ptr<trace::Output> out_;
  TracingBackend *next_;
  std::string path_ = "the port trace";
};

} // namespace vorn

#endif
