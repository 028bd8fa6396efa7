#include "library_trace.h"

#include "bus.h"
#include "trace_time.h"
#include "tracing_port.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace vorn {

const char *InUse::name() const { return backend_in_use(bus_).name(); }
int InUse::open(std::uint32_t base) { return backend_in_use(bus_).open(base); }
std::uint8_t InUse::read(Reg reg) { return backend_in_use(bus_).read(reg); }
void InUse::write(Reg reg, std::uint8_t value) { backend_in_use(bus_).write(reg, value); }
void InUse::read_epp_data(std::uint8_t *bytes, std::size_t count) {
  backend_in_use(bus_).read_epp_data(bytes, count);
}
void InUse::release() { backend_in_use(bus_).release(); }
std::string InUse::event_point(std::string_view kind, std::string seen) {
  return run_in_use(bus_).event_point(kind, std::move(seen));
}
void InUse::note(std::string_view text) { run_in_use(bus_).note(text); }
RunEnd InUse::end_run() { return run_in_use(bus_).end_run(); }

LibraryTrace::~LibraryTrace() {
  bus.outermost = nullptr;
  bus.outermost_run = nullptr;
  bus.refresh();
}

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
  auto trace = std::make_unique<LibraryTrace>(bus);
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
