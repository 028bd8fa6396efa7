// The port trace: a wrapper around any port that writes one line per
// register access made through it, "R <offset> <hh>" or "W <offset> <hh>"
// (a bulk read is one line per byte), and the run's notes and events.
#ifndef VORN_TRACING_PORT_H
#define VORN_TRACING_PORT_H

#include "port_backend.h"
#include "trace_time.h"

#include <csignal>
#include <cstddef>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

namespace vorn {

namespace trace {
class Output;
} // namespace trace

struct Bus;

// Flushes the trace of every TracingBackend alive, so a trace is complete
// up to here even if a signal is about to end the process.
void flush_port_traces();
// In a child after fork: every trace of `bus` drops what its parent
// buffered and writes nothing more, so that no line is written twice.
void abandon_port_traces(Bus &bus);

// While `*flag` is non-zero, a trace write that would wait for a slow reader
// gives way and keeps the rest for later, so that a stop signal reaches the
// shut-down first; nullptr (after the shut-down): writes wait again. The
// same for write_giving_way(), the front end's standard output.
void give_way_to_stop(const volatile std::sig_atomic_t *flag);
std::size_t write_giving_way(int fd, const char *data, std::size_t size, int &err);
// A file of the run that a trace must not overwrite (a replay recording, a
// rig file); `what` names it in the refusal.
void protect_from_trace(int fd, const char *what);

class TracingBackend final : public PortBackend, public RunControl {
public:
  TracingBackend(PortBackend &inner, RunControl &inner_run);
  // Around nothing yet: wrap() says what before the first access.
  TracingBackend();
  ~TracingBackend() override;
  TracingBackend(const TracingBackend &) = delete;
  TracingBackend &operator=(const TracingBackend &) = delete;

  // A name ending in ".gz" is written gzip-compressed. false with errno
  // set when the file cannot be opened; clash() then names the file of the
  // run that it is (EEXIST).
  bool trace_to(const std::string &path);
  const std::string &clash() const;
  // The port is taken: the file is emptied and the trace starts, with its
  // run note. open() does it for the port it wraps; once per trace_to().
  void begin();
  // Not owned; nullptr stops the trace.
  void trace_to(std::FILE *file);
  // The port and run control traced from now on.
  void wrap(PortBackend &inner, RunControl &inner_run) {
    inner_ = &inner;
    inner_run_ = &inner_run;
  }
  // The clock of the trace's time marks (not owned); the monotonic one
  // unless set before the trace is opened.
  void time_from(const trace::Clock *clock) { clock_ = clock; }
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

  // A line "# <text>" for what a replay needs besides the accesses; passed
  // on to the run control wrapped.
  void note(std::string_view text) override;
  std::string event_point(std::string_view kind, std::string seen) override;
  // Closes the trace: a write that failed on the way is a trace_failed
  // naming the file, unless the run control wrapped has a problem of its own.
  RunEnd end_run() override;

private:
  friend void flush_port_traces();
  friend void abandon_port_traces(Bus &bus);

  PortBackend *inner_;
  RunControl *inner_run_;
  std::unique_ptr<trace::Output> out_;
  const trace::Clock *clock_;
  TracingBackend *next_;
  std::string path_ = "the port trace";
  bool begun_ = true; // the run note is written
};

} // namespace vorn

// The trace of a port of another library (vorn_port.h), with its own clock.
struct vorn_trace {
  vorn::trace::Clock clock;
  vorn::TracingBackend tracer;
};

#endif
