// vorndiag through the kernel-device backend, the kernel faked over the
// simulated board set. VORNSIM_RIG names a rig file as for vorndiag-sim;
// VORN_FAKEDEV_CALLS names a file that gets the fake's call counts each time
// the device is closed, the last time at exit. VORN_FAKEDEV_OWN_CHOICE=1
// leaves the choice of the port to start-up, as in vorndiag, unpaced.
#include "backends.h"
#include "fake_ppdev.h"
#include "paced_port.h"
#include "vorn.h"
#include "vorndiag.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

namespace {

constexpr int kExitSetup = 2;

struct World {
  explicit World(const vorn::sim::Rig &rig)
      : boards(rig_behind_kernel(rig)), kernel(boards),
        paced(*vorn::find_backend("device"), boards, rig) {}

  // The board set's own pacing is off: PacedPort does it per library access.
  static vorn::sim::Rig rig_behind_kernel(vorn::sim::Rig rig) {
    rig.access_time_us = 0;
    rig.interrupt_after = 0;
    return rig;
  }

  vorn::sim::Simulator boards;
  vorn::test::FakePpdev kernel;
  vorn::test::PacedPort paced;
  std::optional<vorn::ScopedBackend> in_place;
};

// Never destroyed: exit() closes the device through the fake, after every
// static object of this program is gone.
World *world = nullptr;

void write_calls(const char *path) {
  if (std::FILE *out = std::fopen(path, "w")) {
    std::fprintf(out, "%s\nclaimed %d\nopen files %d\n", world->kernel.calls().to_string().c_str(),
                 world->kernel.claimed() ? 1 : 0, world->kernel.open_files());
    std::fclose(out);
  }
}

} // namespace

int main(int argc, char **argv) {
  const char *rig_path = std::getenv("VORNSIM_RIG");
  vorn::sim::Rig rig;
  try {
    rig = rig_path != nullptr && *rig_path != '\0' ? vorn::sim::load_rig(rig_path)
                                                   : vorn::sim::default_rig();
  } catch (const vorn::sim::RigError &e) {
    std::fprintf(stderr, "%s\n", e.what());
    return kExitSetup;
  }
  world = new World(rig);
  world->kernel.install();
  if (const char *calls_path = std::getenv("VORN_FAKEDEV_CALLS"))
    world->kernel.on_device_closed([calls_path] { write_calls(calls_path); });
  if (const char *own = std::getenv("VORN_FAKEDEV_OWN_CHOICE"); own && std::strcmp(own, "1") == 0)
    return vorndiag_main(argc, argv);
  // The library's own choice of the port, which names the device, without
  // a register access; the tool's start-up then reopens it.
  if (InitializeParPort() != 0 || std::strcmp(vorn::port_backend().name(), "device") != 0) {
    std::fprintf(stderr, "%s: no device path: %s", argv[0], vornPortProblem());
    return kExitSetup;
  }
  world->in_place.emplace(world->paced);
  return vorndiag_main(argc, argv);
}
