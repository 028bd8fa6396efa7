#include "port_io.h"
#include "trace_writer.h"

#include <algorithm>
#include <vector>

namespace vorn {

namespace {

// Every tracer alive, for flush_port_traces(); a handful at most.
std::vector<TracingBackend *> &tracers() {
  static std::vector<TracingBackend *> all;
  return all;
}

} // namespace

TracingBackend::TracingBackend(PortBackend &inner)
    : inner_(inner), writer_(std::make_unique<TraceWriter>()) {
  tracers().push_back(this);
}

TracingBackend::~TracingBackend() {
  auto &all = tracers();
  all.erase(std::remove(all.begin(), all.end(), this), all.end());
}

bool TracingBackend::trace_to(const std::string &path) { return writer_->open(path); }
void TracingBackend::trace_to(std::FILE *file) { writer_->attach(file); }
void TracingBackend::flush() { writer_->flush(); }

const char *TracingBackend::name() const { return inner_.name(); }
int TracingBackend::open(std::uint32_t base) { return inner_.open(base); }

std::uint8_t TracingBackend::read(Reg reg) {
  const std::uint8_t value = inner_.read(reg);
  writer_->line('R', static_cast<std::uint16_t>(reg), value);
  return value;
}

void TracingBackend::write(Reg reg, std::uint8_t value) {
  inner_.write(reg, value);
  writer_->line('W', static_cast<std::uint16_t>(reg), value);
}

void TracingBackend::read_epp_data(std::uint8_t *bytes, std::size_t count) {
  inner_.read_epp_data(bytes, count);
  for (std::size_t i = 0; i < count; ++i)
    writer_->line('R', static_cast<std::uint16_t>(Reg::epp_data), bytes[i]);
}

void TracingBackend::release() {
  inner_.release();
  writer_->flush();
}

void flush_port_traces() {
  for (TracingBackend *tracer : tracers())
    tracer->flush();
}

} // namespace vorn
