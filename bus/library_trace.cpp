#include "library_trace.h"

#include "bus.h"
#include "trace_time.h"
#include "tracing_port.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace vorn {

namespace {

// Whichever port and run control are in use at the time of each call: a
// simulator or replay put in place after start-up is traced as well.
class InUse final : public PortBackend, public RunControl {
public:
  explicit InUse(Bus &bus) : bus_(bus) {}
  const char *name() const override { return backend_in_use(bus_).name(); }
  int open(std::uint32_t base) override { return backend_in_use(bus_).open(base); }
  std::uint8_t read(Reg reg) override { return backend_in_use(bus_).read(reg); }
  void write(Reg reg, std::uint8_t value) override { backend_in_use(bus_).write(reg, value); }
  void read_epp_data(std::uint8_t *bytes, std::size_t count) override {
    backend_in_use(bus_).read_epp_data(bytes, count);
  }
  void release() override { backend_in_use(bus_).release(); }
  std::string event_point(std::string_view kind, std::string seen) override {
    return run_in_use(bus_).event_point(kind, std::move(seen));
  }
  void note(std::string_view text) override { run_in_use(bus_).note(text); }
  RunEnd end_run() override { return run_in_use(bus_).end_run(); }

private:
  Bus &bus_;
};

} // namespace

struct LibraryTrace {
  explicit LibraryTrace(Bus &bus) : bus(bus), in_use(bus), tracer(in_use, in_use) {}
  ~LibraryTrace() {
    bus.outermost = nullptr;
    bus.outermost_run = nullptr;
    bus.refresh();
  }
  LibraryTrace(const LibraryTrace &) = delete;
  LibraryTrace &operator=(const LibraryTrace &) = delete;

  Bus &bus;
  InUse in_use;
  TracingBackend tracer;
  std::string path;
};

void close_library_trace(LibraryTrace *trace) { delete trace; }

std::string trace_refusal(const std::string &path, const std::string &clash, int err) {
  std::string line = "cannot write trace file " + path + ": ";
  if (!clash.empty())
    line += "it is " + clash + ", which it would overwrite";
  else
    line += std::strerror(err);
  if (err == ELOOP)
    line += " (a symbolic link is not followed: name the file itself)";
  else if (err == ENXIO)
    line += " (a FIFO with no reader: start the reader first)";
  return line + "\n";
}

int library_trace_failure(std::string &problem) {
  LibraryTrace *trace = default_bus().library_trace.get();
  if (trace == nullptr || trace->tracer.flush())
    return 0;
  const int err = trace->tracer.error();
  problem = "cannot write trace file " + trace->path + ": " + std::strerror(err) + "\n";
  return err;
}

void begin_library_trace() {
  if (LibraryTrace *trace = default_bus().library_trace.get())
    trace->tracer.begin();
}

int start_library_trace(std::string &problem) {
  const char *path = std::getenv("VORN_TRACE");
  if (path == nullptr || *path == '\0')
    return 0;
  Bus &bus = default_bus();
  if (bus.library_trace != nullptr)
    return 0;
  std::unique_ptr<LibraryTrace, void (*)(LibraryTrace *)> trace(new LibraryTrace(bus),
                                                                close_library_trace);
  trace->tracer.time_from(&bus.port_clock);
  if (!trace->tracer.trace_to(path)) {
    const int err = errno;
    problem = trace_refusal(path, trace->tracer.clash(), err);
    return err;
  }
  trace->path = path;
  bus.outermost = &trace->tracer;
  bus.outermost_run = &trace->tracer;
  bus.library_trace = std::move(trace);
  bus.refresh();
  return 0;
}

} // namespace vorn
