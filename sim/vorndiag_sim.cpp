// vorndiag on the simulated board set. VORNSIM_RIG names a rig file (unset:
// the default board set), VORNSIM_TRACE a file for the port trace.
#include "vorndiag.h"
#include "vornsim.hpp"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

namespace {

constexpr int kExitSetup = 2;

// Static storage, so that exit() from anywhere in the tool still flushes the
// trace and writes the report.
std::optional<vorn::sim::Simulator> simulator;

} // namespace

int main(int argc, char **argv) {
  const char *rig_path = std::getenv("VORNSIM_RIG");
  const char *trace_path = std::getenv("VORNSIM_TRACE");
  try {
    bool have_rig = rig_path != nullptr && *rig_path != '\0';
    simulator.emplace(have_rig ? vorn::sim::load_rig(rig_path) : vorn::sim::default_rig());
  } catch (const vorn::sim::RigError &e) {
    std::fprintf(stderr, "%s\n", e.what());
    return kExitSetup;
  }
  if (trace_path != nullptr && *trace_path != '\0' && !simulator->trace_to(trace_path)) {
    std::fprintf(stderr, "%s: cannot write trace file %s: %s\n", argv[0], trace_path,
                 std::strerror(errno));
    return kExitSetup;
  }
  simulator->report_at_exit(stderr);
  simulator->install();
  return vorndiag_main(argc, argv);
}
