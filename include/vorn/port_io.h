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

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace vorn {

// The parallel port's registers, by offset from its base address.
enum class Reg : std::uint8_t { data = 0, status = 1, control = 2, epp_addr = 3, epp_data = 4 };
inline constexpr unsigned kRegCount = 5;

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
// ScopedBackend, otherwise the one start-up chose (raw before that).
VORN_API PortBackend &port_backend();
// A backend of the table by name ("raw", "device"); nullptr for others.
VORN_API PortBackend *find_backend(const char *name);

namespace trace {
class Output;
}

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
  // set when the file cannot be opened.
  bool trace_to(const std::string &path);
  // Not owned; nullptr stops the trace.
  void trace_to(std::FILE *file);
  // A line "# <text>" for what a replay needs besides the accesses.
  void note(const std::string &text);
  // false once a write of the trace has failed.
  bool flush();
  // Writes out the rest and closes the file: false once a write has failed,
  // with error() saying why.
  bool close();
  int error() const;

  const char *name() const override;
  int open(std::uint32_t base) override;
  std::uint8_t read(Reg reg) override;
  void write(Reg reg, std::uint8_t value) override;
  void read_epp_data(std::uint8_t *bytes, std::size_t count) override;
  void release() override;

private:
  friend void flush_port_traces();

  PortBackend &inner_;
  std::unique_ptr<trace::Output> out_;
  TracingBackend *next_;
};

} // namespace vorn

#endif
