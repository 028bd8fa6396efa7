// vorndiag on the simulated board set. VORNSIM_RIG names a rig file (unset:
// the default board set), VORNSIM_TRACE a file for the port trace.
// VORNSIM_REPLAY names a recorded trace to play back in place of the board
// set (VORNSIM_RIG and VORNSIM_TRACE are then not used; VORN_TRACE records
// the replayed run like any other).
#include "bus.h"
#include "library_trace.h"
#include "run_note.h"
#include "tracing_port.h"
#include "vorndiag.h"
#include "vornsim.hpp"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr int kExitSetup = 2;

// Static storage, so that exit() from anywhere in the tool still flushes the
// trace and writes the report.
std::optional<vorn::sim::Simulator> simulator;
std::optional<vorn::sim::Replay> replay;

const char *setting(const char *name) {
  const char *value = std::getenv(name);
  return value != nullptr && *value != '\0' ? value : nullptr;
}

std::string arguments(int argc, char **argv) {
  return vorn::trace::encode_words(std::vector<std::string>(argv + 1, argv + argc));
}

int replay_from(const char *path, int argc, char **argv) {
  replay.emplace();
  if (!replay->load(path)) {
    std::fprintf(stderr, "%s: cannot read replay file %s: %s\n", argv[0], path,
                 replay->reason().c_str());
    return kExitSetup;
  }
  replay->expect_arguments(arguments(argc, argv));
  replay->install();
  return vorndiag_main(argc, argv);
}

} // namespace

int main(int argc, char **argv) {
  vorndiag_hold_standard_fds();
  if (const char *recording = setting("VORNSIM_REPLAY"))
    return replay_from(recording, argc, argv);
  const char *rig_path = setting("VORNSIM_RIG");
  const char *trace_path = setting("VORNSIM_TRACE");
  try {
    simulator.emplace(rig_path != nullptr ? vorn::sim::load_rig(rig_path)
                                          : vorn::sim::default_rig());
  } catch (const vorn::sim::RigError &e) {
    std::fprintf(stderr, "%s\n", e.what());
    return kExitSetup;
  }
  std::string clash;
  if (trace_path != nullptr && !simulator->trace_to(trace_path, &clash)) {
    const int err = errno;
    std::fprintf(stderr, "%s: %s", argv[0], vorn::trace_refusal(trace_path, clash, err).c_str());
    return kExitSetup;
  }
  simulator->report_at_exit(stderr);
  simulator->install();
  return vorndiag_main(argc, argv);
}
