// The public face of the simulator: installation and the accessors.
#include "simulator_impl.h"
#include "ticks.h"
#include "vorn.h"
#include "vornsim.hpp"

#include <cerrno>

namespace vorn::sim {

namespace {

// The register of `port` when the port's registers start at `base`; false
// for a port outside them. Port numbers are 16 bits wide.
bool decode_port(std::uint32_t port, std::uint32_t base, Reg &reg) {
  const auto offset = static_cast<std::uint16_t>(port - base);
  if (offset >= kRegCount)
    return false;
  reg = static_cast<Reg>(offset);
  return true;
}

} // namespace

Simulator::Simulator(Rig rig) : impl_(std::make_unique<SimulatorImpl>(std::move(rig))) {
  impl_->base = vorn_base_addr;
}

Simulator::~Simulator() {
  uninstall();
  if (impl_->exit_report != nullptr)
    report(impl_->exit_report);
}

void Simulator::install() {
  impl_->base = vorn_base_addr;
  put_in_place();
}

void Simulator::put_in_place() {
  installed_.reset();
  installed_.emplace(*this, no_run_control(), tracer_.get());
  installed_->time_from(impl_->trace_clock);
}

void Simulator::uninstall() { installed_.reset(); }

const char *Simulator::name() const { return "sim"; }
int Simulator::open(std::uint32_t base) { return impl_->open(base); }
std::uint8_t Simulator::read(Reg reg) { return impl_->read(reg); }
void Simulator::write(Reg reg, std::uint8_t value) { impl_->write(reg, value); }
void Simulator::release() { impl_->released = impl_->opened; }

std::uint8_t Simulator::read(std::uint16_t port) {
  Reg reg;
  if (decode_port(port, impl_->base, reg))
    return impl_->read(reg);
  impl_->outside(port);
  return 0xFF;
}

void Simulator::write(std::uint16_t port, std::uint8_t value) {
  Reg reg;
  if (decode_port(port, impl_->base, reg))
    impl_->write(reg, value);
  else
    impl_->outside(port);
}

std::uint32_t Simulator::counter(int n) {
  impl_->sync();
  return impl_->boards.axis(n).count;
}

void Simulator::set_counter(int n, std::uint32_t value) {
  impl_->sync();
  impl_->boards.axis(n).count = value & kCountMask;
}

std::uint32_t Simulator::latched(int n) const { return impl_->boards.axis(n).latched; }
std::uint32_t Simulator::preset() const { return impl_->boards.preset(); }
std::uint8_t Simulator::encoder_control() const { return impl_->boards.encoder_control(); }
std::uint8_t Simulator::latch_register() const { return impl_->boards.latch_register(); }

std::uint8_t Simulator::index_sense() {
  impl_->sync();
  return impl_->boards.index_sense();
}

std::uint8_t Simulator::index_set() const { return impl_->boards.index_set(); }
std::uint8_t Simulator::spindle() const { return impl_->boards.spindle(); }
std::uint32_t Simulator::rate_count(int ch) const { return impl_->boards.rate_count(ch); }
std::uint8_t Simulator::rate_control() const { return impl_->boards.rate_control(); }
std::uint8_t Simulator::reg1d() const { return impl_->boards.reg1d(); }
std::uint8_t Simulator::reg1e() const { return impl_->boards.reg1e(); }
std::uint8_t Simulator::reg26() const { return impl_->boards.reg26(); }
std::uint8_t Simulator::dig_out(int i) const { return impl_->boards.dig_out(i); }
std::uint8_t Simulator::dig_in(int i) const { return impl_->boards.dig_in(i); }
void Simulator::set_dig_in(int i, std::uint8_t value) { impl_->boards.set_dig_in(i, value); }
void Simulator::loop_back_dig_in(int i) { impl_->boards.set_dig_in(i, std::nullopt); }

std::uint64_t Simulator::now_us() {
  impl_->sync();
  return impl_->synced / kTicksPerUs;
}

void Simulator::advance_us(std::uint64_t us) {
  impl_->clock.advance(us * kTicksPerUs);
  impl_->sync();
}

std::uint32_t Simulator::base() const { return impl_->base; }
std::uint8_t Simulator::control() const { return impl_->control; }
std::uint8_t Simulator::status() const { return impl_->status; }
std::uint8_t Simulator::selected() const { return impl_->selected; }
std::uint64_t Simulator::accesses() const { return impl_->accesses; }
std::uint64_t Simulator::protocol_errors() const { return impl_->log.protocol_errors(); }
std::uint64_t Simulator::unmapped_accesses() const { return impl_->log.unmapped(); }
std::uint64_t Simulator::unanswered_cycles() const { return impl_->log.unanswered(); }

std::uint64_t Simulator::injected_flips(int axis) const { return impl_->flips_by_axis[axis]; }

std::uint64_t Simulator::injected_flips_total() const {
  std::uint64_t n = 0;
  for (std::uint64_t f : impl_->flips_by_axis)
    n += f;
  return n;
}

bool Simulator::take_timeout() {
  const bool timed_out = (impl_->status & map::kStatusTimeout) != 0;
  impl_->status &= static_cast<std::uint8_t>(~map::kStatusTimeout);
  return timed_out;
}

bool Simulator::trace_to(const std::string &path, std::string *clash) {
  decltype(tracer_) tracer(vorn_trace_new(impl_->trace_clock.now_us, impl_->trace_clock.context),
                           vorn_trace_delete);
  // Started after the port was taken: from now on, as asked.
  if (vorn_trace_open(tracer.get(), path.c_str(), impl_->opened ? 1 : 0) != 0) {
    const int err = errno;
    if (clash != nullptr)
      *clash = vorn_trace_clash(tracer.get());
    errno = err;
    return false;
  }
  tracer_ = std::move(tracer);
  if (installed_)
    put_in_place();
  return true;
}

void Simulator::trace_to(std::FILE *file) {
  if (file == nullptr) {
    tracer_.reset();
  } else {
    tracer_.reset(vorn_trace_new(impl_->trace_clock.now_us, impl_->trace_clock.context));
    vorn_trace_attach(tracer_.get(), file);
  }
  if (installed_)
    put_in_place();
}

void Simulator::flush_trace() {
  if (tracer_)
    vorn_trace_flush(tracer_.get());
}

void Simulator::report(std::FILE *out) const {
  impl_->log.report(out);
  if (impl_->rig.flip_probability > 0.0) {
    const auto &f = impl_->flips_by_axis;
    std::fprintf(out,
                 "vornsim: injected bit flips: axis 0: %llu, axis 1: %llu, axis 2: %llu, "
                 "axis 3: %llu, elsewhere: %llu\n",
                 static_cast<unsigned long long>(f[0]), static_cast<unsigned long long>(f[1]),
                 static_cast<unsigned long long>(f[2]), static_cast<unsigned long long>(f[3]),
                 static_cast<unsigned long long>(f[kAxes]));
  }
  std::fflush(out);
}

void Simulator::report_at_exit(std::FILE *out) { impl_->exit_report = out; }

const Rig &Simulator::rig() const { return impl_->rig; }

} // namespace vorn::sim
