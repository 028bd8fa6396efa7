// VORN_TRACE: the port trace of any program on the library, from its first
// start-up on, around whichever backend is in use.
#ifndef VORN_LIBRARY_TRACE_H
#define VORN_LIBRARY_TRACE_H

#include "port_backend.h"
#include "tracing_port.h"
#include "vorn_export.h"

#include <string>

namespace vorn {

struct Bus;

// Whichever port and run control are in use at the time of each call: a
// simulator or replay put in place after start-up is traced as well.
class InUse final : public PortBackend, public RunControl {
public:
  explicit InUse(Bus &bus) : bus_(bus) {}
  const char *name() const override;
  int open(std::uint32_t base) override;
  std::uint8_t read(Reg reg) override;
  void write(Reg reg, std::uint8_t value) override;
  void read_epp_data(std::uint8_t *bytes, std::size_t count) override;
  void release() override;
  std::string event_point(std::string_view kind, std::string seen) override;
  void note(std::string_view text) override;
  RunEnd end_run() override;

private:
  Bus &bus_;
};

// The trace a bus keeps of VORN_TRACE once it is opened. Closing it (its
// end) writes out the rest and takes it from around the port.
struct LibraryTrace {
  explicit LibraryTrace(Bus &bus) : bus(bus), in_use(bus), tracer(in_use, in_use) {}
  ~LibraryTrace();
  LibraryTrace(const LibraryTrace &) = delete;
  LibraryTrace &operator=(const LibraryTrace &) = delete;

  Bus &bus;
  InUse in_use;
  TracingBackend tracer;
  std::string path;
};

// Opens the file VORN_TRACE names, once per process; a later start-up keeps
// the trace going. 0 when there is none or it is open; otherwise the errno
// value, with `problem` the line that explains it.
int start_library_trace(std::string &problem);
// The port is taken: the file is emptied and the trace begins. Until then
// a refused run leaves it as it was.
void begin_library_trace();
// After a run: 0 while the trace has been written so far; otherwise the
// errno of its first failure, with `problem` the line that explains it.
int library_trace_failure(std::string &problem);

// The line that explains why the trace file `path` cannot be written;
// `clash` names the file of the run it is, if that is why.
VORN_API std::string trace_refusal(const std::string &path, const std::string &clash, int err);

} // namespace vorn

#endif
