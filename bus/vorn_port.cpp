// The C calls that put a port of another library in place (vorn_port.h).
#include "vorn_port.h"
#include "bus.h"
#include "trace_time.h"
#include "tracing_port.h"

#include <string>

static_assert(static_cast<int>(vorn::RunEnd::Kind::trace_failed) == VORN_RUN_TRACE_FAILED &&
              static_cast<int>(vorn::RunEnd::Kind::replay_departed) == VORN_RUN_REPLAY_DEPARTED);

namespace {

// A table of C calls as the port and run control in use while it lives.
// The C interface knows it as the incomplete vorn_port_slot, so that no C++
// type is part of the library's interface.
class CPort final : public vorn::PortBackend, public vorn::RunControl {
public:
  // Waits for a start-up, as the PC's port does. Behind `tracer` when one
  // is given.
  CPort(const vorn_port_ops &ops, vorn::TracingBackend *tracer)
      : ops_(ops), in_place_(traced(tracer), traced_run(tracer), false),
        clock_before_(vorn::current_bus().port_clock) {
    vorn::current_bus().port_clock = {};
  }
  ~CPort() override { vorn::current_bus().port_clock = clock_before_; }
  CPort(const CPort &) = delete;
  CPort &operator=(const CPort &) = delete;

  const char *name() const override { return ops_.name(ops_.context); }
  int open(std::uint32_t base) override { return ops_.open(ops_.context, base); }
  std::uint8_t read(vorn::Reg reg) override {
    return ops_.read(ops_.context, static_cast<int>(reg));
  }
  void write(vorn::Reg reg, std::uint8_t value) override {
    ops_.write(ops_.context, static_cast<int>(reg), value);
  }
  void read_epp_data(std::uint8_t *bytes, std::size_t count) override {
    ops_.read_epp_data(ops_.context, bytes, count);
  }
  void release() override { ops_.release(ops_.context); }

  std::string event_point(std::string_view kind, std::string seen) override {
    return ops_.event_point(ops_.context, std::string(kind).c_str(), seen.c_str());
  }
  void note(std::string_view text) override { ops_.note(ops_.context, text.data(), text.size()); }
  vorn::RunEnd end_run() override {
    const char *message = "";
    const vorn_run_end kind = ops_.end_run(ops_.context, &message);
    return {static_cast<vorn::RunEnd::Kind>(kind), message};
  }

private:
  vorn::PortBackend &traced(vorn::TracingBackend *tracer) {
    if (tracer == nullptr)
      return *this;
    tracer->wrap(*this, *this);
    return *tracer;
  }
  vorn::RunControl &traced_run(vorn::TracingBackend *tracer) {
    return tracer != nullptr ? static_cast<vorn::RunControl &>(*tracer) : *this;
  }

  const vorn_port_ops &ops_;
  vorn::ScopedBackend in_place_;
  vorn::trace::Clock clock_before_; // of the port this one is put in place of
};

} // namespace

extern "C" {

vorn_port_slot *vorn_port_install(const vorn_port_ops *ops) {
  return reinterpret_cast<vorn_port_slot *>(new CPort(*ops, nullptr));
}

vorn_port_slot *vorn_port_install_traced(const vorn_port_ops *ops, vorn_trace *trace) {
  return reinterpret_cast<vorn_port_slot *>(new CPort(*ops, &trace->tracer));
}

void vorn_port_uninstall(vorn_port_slot *slot) { delete reinterpret_cast<CPort *>(slot); }

// Slots are given back in the reverse order, so the clock in use is always
// the one of the last slot put in place.
void vorn_port_clock(vorn_port_slot *, uint64_t (*now_us)(void *), void *context) {
  vorn::current_bus().port_clock = {now_us, context};
}

void vorn_port_flush_traces(void) { vorn::flush_port_traces(); }

vorn_trace *vorn_trace_new(uint64_t (*now_us)(void *), void *context) {
  auto *trace = new vorn_trace;
  if (now_us != nullptr) {
    trace->clock = {now_us, context};
    trace->tracer.time_from(&trace->clock);
  }
  return trace;
}

void vorn_trace_delete(vorn_trace *trace) { delete trace; }

int vorn_trace_open(vorn_trace *trace, const char *path, int port_taken) {
  if (!trace->tracer.trace_to(path))
    return -1; // errno from the file's open
  if (port_taken != 0)
    trace->tracer.begin();
  return 0;
}

const char *vorn_trace_clash(const vorn_trace *trace) { return trace->tracer.clash().c_str(); }

void vorn_trace_attach(vorn_trace *trace, FILE *file) { trace->tracer.trace_to(file); }

void vorn_trace_flush(vorn_trace *trace) { trace->tracer.flush(); }

void vorn_trace_protect(int fd, const char *what) { vorn::protect_from_trace(fd, what); }

} // extern "C"
