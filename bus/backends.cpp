#include "backends.h"

#include "device_port.h"
#include "kernel_ports.h"
#include "raw_port.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace vorn {

namespace {

RawPort raw;
DevicePort device;
std::string problem;

struct BackendEntry {
  const char *name;
  PortBackend *backend;
};

// The backends a port choice can name; the simulator and test ports are
// put in place with ScopedBackend instead.
const BackendEntry kBackends[] = {
    {"raw", &raw},
    {"device", &device},
};

std::string hex(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%x", unsigned{value});
  return text;
}

void explain(const std::string &line) { problem += line + "\n"; }

void explain_device(int err) {
  const std::string &path = device.path();
  if (err == EBUSY) {
    explain(path + " is busy: another program or driver (a second vorndiag, the printer "
                   "driver lp) has the port");
    return;
  }
  const char *step =
      device.failed_step() == DevicePort::Step::claim ? "cannot claim " : "cannot open ";
  std::string line = step + path + ": " + std::strerror(err);
  if (err == EACCES || err == EPERM)
    line += " (the device belongs to group lp; add the user to it: sudo adduser $USER lp, "
            "then log in again)";
  else if (err == ENOENT || err == ENODEV || err == ENXIO)
    line += " (load the kernel's driver for it: sudo modprobe ppdev)";
  explain(line);
}

void explain_raw(std::uint32_t base, int err) {
  if (err == EBUSY) {
    explain("port " + hex(base) + " is busy: another program holds " + raw.holder());
    return;
  }
  if (err == EADDRINUSE) {
    explain(raw.owner() + " (if it is one, set VORN_IGNORE_PORT_OWNER=1)");
    return;
  }
  if (!raw.lock_problem().empty()) {
    explain(raw.lock_problem());
    return;
  }
  if (err == EINVAL)
    return;
  explain("no parallel port at " + hex(base) +
          " is known to the kernel; raw access to the "
          "registers needs root and is refused under kernel lockdown (Secure Boot)");
  explain("to go through the kernel's driver instead, without root: sudo modprobe parport_pc "
          "ppdev, and add the user to group lp");
}

int use_device(const std::string &path, PortBackend *&backend) {
  device.set_path(path);
  backend = &device;
  return 0;
}

// A port choice: "/dev/..." a device path, "raw", "device" (the kernel's
// port at the base), anything else automatic (the kernel's port at the base
// if there is one, raw otherwise).
enum class Way { automatic, raw, device, path };

// nullptr or "" stand for VORN_PORT.
const char *resolve(const char *choice) {
  return choice != nullptr && *choice != '\0' ? choice : std::getenv("VORN_PORT");
}

// `choice` resolved.
Way way_of(const char *choice) {
  if (choice == nullptr)
    return Way::automatic;
  if (std::strncmp(choice, "/dev/", 5) == 0)
    return Way::path;
  if (std::strcmp(choice, "raw") == 0)
    return Way::raw;
  if (std::strcmp(choice, "device") == 0)
    return Way::device;
  // Anything else a client passes configures nothing, as it did before the
  // string chose the way to the port.
  return Way::automatic;
}

// The backend for the resolved `choice`: 0, or an errno value with the
// problem explained.
int choose_backend(std::uint32_t base, const char *choice, PortBackend *&backend) {
  const Way way = way_of(choice);
  if (way == Way::path)
    return use_device(choice, backend);
  if (way == Way::raw) {
    backend = &raw;
    return 0;
  }
  if (const auto kernel = kernel_port_at(base))
    return use_device(kernel->device, backend);
  if (way == Way::device) {
    explain("the kernel has no parallel port at " + hex(base) +
            " (load its driver: sudo modprobe parport_pc ppdev)");
    return ENODEV;
  }
  backend = &raw;
  return 0;
}

} // namespace

PortBackend &raw_backend() { return raw; }

PortBackend *find_backend(const char *name) {
  for (const BackendEntry &entry : kBackends)
    if (std::strcmp(entry.name, name) == 0)
      return entry.backend;
  return nullptr;
}

const std::string &port_problem() { return problem; }

void refuse_start(const std::string &lines) { problem = lines; }

int open_port(std::uint32_t base, const char *choice) {
  release_port();
  problem.clear();
  PortBackend *backend = installed_backend();
  choice = resolve(choice);
  const bool automatic = backend == nullptr && way_of(choice) == Way::automatic;
  if (backend == nullptr) {
    if (const int err = choose_backend(base, choice, backend); err != 0)
      return err;
  }
  int err = backend->open(base);
  // The kernel has the port but no device node for it (ppdev not loaded):
  // the registers themselves are the only way left.
  if (err == ENOENT && automatic && backend == &device) {
    backend = &raw;
    err = backend->open(base);
  }
  use_backend(backend, err == 0, base);
  if (err != 0) {
    if (backend == &device)
      explain_device(err);
    else if (backend == &raw)
      explain_raw(base, err);
  }
  return err;
}

void release_port() {
  port_backend().release();
  use_backend(&backend_in_use(), false, 0);
}

} // namespace vorn
