// The C face of the simulator: one process-wide simulator.
#include "vornsim.h"
#include "vornsim.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>

namespace {

// Static storage: destroyed at exit, which writes the report and closes the
// trace however the client ends.
std::optional<vorn::sim::Simulator> current;
std::optional<vorn::sim::Replay> replay;

} // namespace

extern "C" {

int vornsim_install(const char *rig_path) {
  vorn::sim::Rig rig;
  try {
    rig = rig_path != nullptr ? vorn::sim::load_rig(rig_path) : vorn::sim::default_rig();
  } catch (const vorn::sim::RigError &e) {
    std::fprintf(stderr, "%s\n", e.what());
    return -1;
  }
  current.reset();
  current.emplace(std::move(rig));
  current->report_at_exit(stderr);
  current->install();
  return 0;
}

int vornsim_replay(const char *path) {
  replay.reset();
  replay.emplace();
  if (path == nullptr || !replay->load(path)) {
    const int err = path == nullptr ? EINVAL : errno;
    std::fprintf(stderr, "vornsim: cannot read %s: %s\n", path != nullptr ? path : "(null)",
                 path != nullptr ? replay->reason().c_str() : std::strerror(err));
    replay.reset();
    errno = err;
    return -1;
  }
  replay->install();
  return 0;
}

int vornsim_replay_end(void) {
  if (!replay)
    return 0;
  const vorn::RunEnd end = replay->end_run();
  if (end.kind == vorn::RunEnd::Kind::ok)
    return 0;
  std::fprintf(stderr, "vornsim: %s\n", end.message.c_str());
  return -1;
}

int vornsim_trace(const char *path) {
  if (!current || path == nullptr)
    return -1;
  return current->trace_to(path) ? 0 : -1;
}

unsigned long long vornsim_now_us(void) { return current ? current->now_us() : 0; }

void vornsim_advance_us(unsigned long us) {
  if (current)
    current->advance_us(us);
}

long vornsim_counter(int n) {
  if (!current || n < 0 || n >= vorn::sim::kAxes)
    return -1;
  return static_cast<long>(current->counter(n));
}

void vornsim_set_counter(int n, long value) {
  if (current && n >= 0 && n < vorn::sim::kAxes)
    current->set_counter(n, static_cast<std::uint32_t>(value));
}

int vornsim_dig_out(int i) {
  if (!current || i < 0 || i > 1)
    return -1;
  return current->dig_out(i);
}

void vornsim_set_dig_in(int i, int value) {
  if (current && i >= 0 && i < vorn::sim::kDigitalInputs)
    current->set_dig_in(i, static_cast<std::uint8_t>(value & 0xFF));
}

} // extern "C"
