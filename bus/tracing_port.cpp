#include "tracing_port.h"

#include "bus.h"
#include "run_note.h"
#include "trace_io.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace vorn {

namespace {

const trace::Clock monotonic_clock;

// "<program> <arguments...>", the program without its folder, every word
// as it was given.
std::string command_line() {
  std::vector<std::string> words;
  if (std::FILE *f = std::fopen("/proc/self/cmdline", "re")) {
    std::string word;
    for (int c; (c = std::getc(f)) != EOF;) {
      if (c != '\0') {
        word += static_cast<char>(c);
        continue;
      }
      words.push_back(std::move(word));
      word.clear();
    }
    std::fclose(f);
  }
  if (words.empty())
    return {};
  if (const std::size_t slash = words[0].rfind('/'); slash != std::string::npos)
    words[0].erase(0, slash + 1);
  return trace::encode_words(words);
}

} // namespace

// In the bus's list rather than a container of this library's, so that a
// tracer destroyed at exit, after such a container would be, still finds it.
TracingBackend::TracingBackend(PortBackend &inner, RunControl &inner_run)
    : inner_(&inner), inner_run_(&inner_run),
      out_(std::make_unique<trace::Output>(&default_bus().write_rules)), clock_(&monotonic_clock),
      next_(default_bus().tracers) {
  default_bus().tracers = this;
}

TracingBackend::TracingBackend() : TracingBackend(default_bus().dead, no_run_control()) {}

TracingBackend::~TracingBackend() {
  for (TracingBackend **link = &default_bus().tracers; *link != nullptr; link = &(*link)->next_) {
    if (*link == this) {
      *link = next_;
      break;
    }
  }
}

bool TracingBackend::trace_to(const std::string &path) {
  path_ = path;
  const bool opened = out_->open(path);
  begun_ = !opened;
  return opened;
}

// A trace file starts with the command that wrote it, for people and for
// a replay that checks it is given the same arguments. Only a run that got
// the port writes it: one refused leaves the file to the run that has it.
void TracingBackend::begin() {
  if (begun_)
    return;
  begun_ = true;
  out_->begin();
  out_->note(std::string(kRunNote) + " " + command_line());
  out_->time_from(clock_);
}

const std::string &TracingBackend::clash() const { return out_->clash(); }

void TracingBackend::trace_to(std::FILE *file) {
  if (file != nullptr) {
    out_->attach(file);
    out_->time_from(clock_);
  } else {
    out_->close();
  }
}

void TracingBackend::note(std::string_view text) {
  out_->note(text);
  inner_run_->note(text);
}

std::string TracingBackend::event_point(std::string_view kind, std::string seen) {
  std::string taken = inner_run_->event_point(kind, std::move(seen));
  if (!taken.empty())
    out_->note(taken);
  return taken;
}

RunEnd TracingBackend::end_run() {
  RunEnd end = inner_run_->end_run();
  if (!out_->close() && end.kind == RunEnd::Kind::ok)
    end = {RunEnd::Kind::trace_failed,
           "cannot write trace file " + path_ + ": " + std::strerror(out_->error())};
  return end;
}
bool TracingBackend::flush() { return out_->flush(); }
int TracingBackend::error() const { return out_->error(); }

const char *TracingBackend::name() const { return inner_->name(); }
int TracingBackend::open(std::uint32_t base) {
  const int err = inner_->open(base);
  if (err == 0)
    begin();
  return err;
}

std::uint8_t TracingBackend::read(Reg reg) {
  const std::uint8_t value = inner_->read(reg);
  out_->access('R', static_cast<std::uint16_t>(reg), value);
  return value;
}

void TracingBackend::write(Reg reg, std::uint8_t value) {
  inner_->write(reg, value);
  out_->access('W', static_cast<std::uint16_t>(reg), value);
}

void TracingBackend::read_epp_data(std::uint8_t *bytes, std::size_t count) {
  inner_->read_epp_data(bytes, count);
  for (std::size_t i = 0; i < count; ++i)
    out_->access('R', static_cast<std::uint16_t>(Reg::epp_data), bytes[i]);
}

void TracingBackend::release() {
  inner_->release();
  out_->flush();
}

void give_way_to_stop(const volatile std::sig_atomic_t *flag) {
  default_bus().write_rules.give_way = flag;
}

std::size_t write_giving_way(int fd, const char *data, std::size_t size, int &err) {
  return trace::write_giving_way(fd, data, size, trace::unblocked_piece(fd),
                                 &default_bus().write_rules, err);
}

void protect_from_trace(int fd, const char *what) { default_bus().write_rules.protect(fd, what); }

void abandon_port_traces(Bus &bus) {
  for (TracingBackend *tracer = bus.tracers; tracer != nullptr; tracer = tracer->next_)
    tracer->out_->abandon();
}

void flush_port_traces() {
  for (TracingBackend *tracer = default_bus().tracers; tracer != nullptr; tracer = tracer->next_)
    tracer->flush();
}

} // namespace vorn
