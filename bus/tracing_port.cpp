#include "port_io.h"
#include "trace_io.h"

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
    : inner_(inner), out_(std::make_unique<trace::Output>()) {
  tracers().push_back(this);
}

TracingBackend::~TracingBackend() {
  auto &all = tracers();
  all.erase(std::remove(all.begin(), all.end(), this), all.end());
}

bool TracingBackend::trace_to(const std::string &path) { return out_->open(path); }

void TracingBackend::trace_to(std::FILE *file) {
  if (file != nullptr)
    out_->attach(file);
  else
    out_->close();
}

void TracingBackend::note(const std::string &text) { out_->note(text); }
bool TracingBackend::flush() { return out_->flush(); }
bool TracingBackend::close() { return out_->close(); }
int TracingBackend::error() const { return out_->error(); }

const char *TracingBackend::name() const { return inner_.name(); }
int TracingBackend::open(std::uint32_t base) { return inner_.open(base); }

std::uint8_t TracingBackend::read(Reg reg) {
  const std::uint8_t value = inner_.read(reg);
  out_->access('R', static_cast<std::uint16_t>(reg), value);
  return value;
}

void TracingBackend::write(Reg reg, std::uint8_t value) {
  inner_.write(reg, value);
  out_->access('W', static_cast<std::uint16_t>(reg), value);
}

void TracingBackend::read_epp_data(std::uint8_t *bytes, std::size_t count) {
  inner_.read_epp_data(bytes, count);
  for (std::size_t i = 0; i < count; ++i)
    out_->access('R', static_cast<std::uint16_t>(Reg::epp_data), bytes[i]);
}

void TracingBackend::release() {
  inner_.release();
  out_->flush();
}

void flush_port_traces() {
  for (TracingBackend *tracer : tracers())
    tracer->flush();
}

} // namespace vorn
