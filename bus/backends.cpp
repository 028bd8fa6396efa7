#include "backends.h"

#include "bus.h"
#include "device_port.h"
#include "kernel_ports.h"
#include "library_trace.h"
#include "port_os.h"
#include "raw_port.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <linux/major.h>
#include <string>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace vorn {

namespace {

std::string hex(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%x", unsigned{value});
  return text;
}

void explain(const std::string &line) { current_bus().problem += line + "\n"; }

// Who has the port, as the kernel names the device registered on it.
std::string holder_of(const std::string &path) {
  const auto number = port_number_of(path);
  const std::string holder = number ? port_holder(*number) : std::string();
  if (holder.empty())
    return "another program or driver (a second vorndiag, the printer driver lp)";
  if (holder.compare(0, 5, "ppdev") == 0)
    return "another program (through " + holder + ")";
  return "the kernel's driver " + holder;
}

void explain_device(std::uint32_t, int err) {
  const std::string &path = current_bus().device.path();
  if (err == EBUSY) {
    explain(path + " is busy: " + holder_of(path) + " has the port");
    return;
  }
  const bool claim = current_bus().device.failed_step() == DevicePort::Step::claim;
  std::string line = (claim ? "cannot claim " : "cannot open ") + path + ": " + std::strerror(err);
  if (claim && err == ENODEV)
    line += " (the kernel has no port behind this device; vorndiag without arguments lists "
            "the ports it has)";
  else if (err == EACCES || err == EPERM)
    line += " (the device belongs to group lp; add the user to it: sudo adduser $USER lp, "
            "then log in again)";
  else if (err == ENOENT || err == ENODEV || err == ENXIO)
    line += " (load the kernel's driver for it: sudo modprobe ppdev)";
  explain(line);
}

void explain_raw(std::uint32_t base, int err) {
  if (err == EBUSY) {
    explain("port " + hex(base) + " is busy: another program holds " + current_bus().raw.holder());
    return;
  }
  if (err == EADDRINUSE) {
    explain(current_bus().raw.owner() + " (if it is one, set VORN_IGNORE_PORT_OWNER=1)");
    return;
  }
  if (!current_bus().raw.lock_problem().empty()) {
    explain(current_bus().raw.lock_problem());
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

// The device the kernel has for the port at `base`, made the one to open;
// ENODEV, explained, when it has none.
int prepare_device(std::uint32_t base) {
  const auto kernel = kernel_port_at(base);
  if (!kernel) {
    explain("the kernel has no parallel port at " + hex(base) +
            " (load its driver: sudo modprobe parport_pc ppdev)");
    return ENODEV;
  }
  current_bus().device.set_path(kernel->device);
  return 0;
}

int prepare_nothing(std::uint32_t) { return 0; }

struct BackendEntry {
  const char *name; // as a port choice names it
  PortBackend &(*backend)(Bus &bus);
  // Before the open: 0, or the errno value of a refusal with the problem
  // explained.
  int (*prepare)(std::uint32_t base);
  // After a refused open: why, and how to fix it.
  void (*explain)(std::uint32_t base, int err);
};

// The backends a port choice can name; the simulator and test ports are
// put in place with ScopedBackend instead.
const BackendEntry kBackends[] = {
    {"raw", [](Bus &bus) -> PortBackend & { return bus.raw; }, prepare_nothing, explain_raw},
    {"device", [](Bus &bus) -> PortBackend & { return bus.device; }, prepare_device,
     explain_device},
};

const BackendEntry *entry_named(const char *name) {
  for (const BackendEntry &entry : kBackends)
    if (std::strcmp(entry.name, name) == 0)
      return &entry;
  return nullptr;
}

const BackendEntry *entry_of(const PortBackend *backend) {
  for (const BackendEntry &entry : kBackends)
    if (&entry.backend(current_bus()) == backend)
      return &entry;
  return nullptr;
}

// "raw, device": the names a choice may give.
std::string names_of_table() {
  std::string names;
  for (const BackendEntry &entry : kBackends)
    names += (names.empty() ? "" : ", ") + std::string(entry.name);
  return names;
}

// A port choice: "auto" (or nothing) the kernel's port at the base if there
// is one, raw otherwise; a name of the table; an absolute path a device.
// Words are taken as written: "RAW" is no choice.
enum class Way { automatic, named, path, unknown };

struct Choice {
  const char *text = nullptr; // nullptr: none given anywhere
  bool from_environment = false;
};

// nullptr or "" stand for VORN_PORT, which names the default bus's port; a
// bus of its own takes "auto" at its base.
Choice resolve(const char *choice) {
  if (choice != nullptr && *choice != '\0')
    return {choice, false};
  if (!current_bus().is_default())
    return {"auto", false};
  return {std::getenv("VORN_PORT"), true};
}

Way way_of(const char *choice) {
  if (choice == nullptr || *choice == '\0' || std::strcmp(choice, "auto") == 0)
    return Way::automatic;
  if (choice[0] == '/')
    return Way::path;
  if (entry_named(choice) != nullptr)
    return Way::named;
  return Way::unknown;
}

void explain_unknown(const Choice &choice) {
  explain(std::string("unknown port choice \"") + choice.text + "\"" +
          (choice.from_environment ? " in VORN_PORT" : "") + "; accepted: auto (or none), " +
          names_of_table() + ", or a device path such as /dev/parport0");
}

// Why `path` is no parallel-port device, or "" when it is one or cannot be
// looked at (opening it then says why). ppdev's nodes are character devices
// of its major, whatever udev names them.
std::string not_a_port(const std::string &path) {
  struct stat st {};
  if (os_calls().stat(path.c_str(), &st) != 0)
    return {};
  if (!S_ISCHR(st.st_mode))
    return S_ISDIR(st.st_mode) ? "a folder" : S_ISBLK(st.st_mode) ? "a block device" : "a file";
  if (major(st.st_rdev) == PP_MAJOR)
    return {};
  // snprintf, not std::to_string: its digit table would be exported.
  char text[128];
  std::snprintf(text, sizeof text,
                "character device %u:%u, not one of ppdev, the kernel's parallel-port driver "
                "(major %d)",
                major(st.st_rdev), minor(st.st_rdev), PP_MAJOR);
  return text;
}

// A path in front of a port put in place, judged as the PC would: 0 for a
// parallel-port device, otherwise the errno its open would give, explained.
int judge_path(const char *path) {
  struct stat st {};
  if (os_calls().stat(path, &st) != 0) {
    const int err = errno;
    explain(std::string("cannot open ") + path + ": " + std::strerror(err));
    return err;
  }
  if (const std::string why = not_a_port(path); !why.empty()) {
    explain(std::string(path) + " is not a parallel port: " + why);
    return ENODEV;
  }
  return 0;
}

// The backend for the resolved `choice`: 0, or an errno value with the
// problem explained.
int choose_backend(std::uint32_t base, const char *choice, PortBackend *&backend) {
  const Way way = way_of(choice);
  if (way == Way::path) {
    if (const std::string why = not_a_port(choice); !why.empty()) {
      explain(std::string(choice) + " is not a parallel port: " + why);
      return ENODEV;
    }
    current_bus().device.set_path(choice);
    backend = &current_bus().device;
    return 0;
  }
  if (way == Way::named) {
    const BackendEntry &entry = *entry_named(choice);
    backend = &entry.backend(current_bus());
    return entry.prepare(base);
  }
  if (const auto kernel = kernel_port_at(base)) {
    current_bus().device.set_path(kernel->device);
    backend = &current_bus().device;
  } else {
    backend = &current_bus().raw;
  }
  return 0;
}

// How the chosen port was reached, for the trace and, with VORN_VERBOSE,
// for people.
void tell_way(std::uint32_t base, const PortBackend *backend) {
  const DevicePort &device = current_bus().device;
  const std::string way = backend == &device ? "device " + device.path() : "raw " + hex(base);
  port_note(std::string(kPortNote) + " " + way);
  const char *verbose = std::getenv("VORN_VERBOSE");
  if (verbose != nullptr && *verbose != '\0' && std::strcmp(verbose, "0") != 0)
    std::fprintf(stderr, "vorn: port reached through %s\n", way.c_str());
}

} // namespace

PortBackend &raw_backend() { return current_bus().raw; }

PortBackend *find_backend(const char *name) {
  const BackendEntry *entry = entry_named(name);
  return entry != nullptr ? &entry->backend(current_bus()) : nullptr;
}

const std::string &port_problem() { return current_bus().problem; }

void refuse_start(const std::string &lines) { current_bus().problem = lines; }

int open_port(std::uint32_t base, const char *choice_text) {
  release_port();
  current_bus().problem.clear();
  const Choice choice = resolve(choice_text);
  const Way asked = way_of(choice.text);
  // Refused even in front of a backend put in place: a typo in VORN_PORT
  // shows on the simulator as it would on the PC.
  if (asked == Way::unknown) {
    explain_unknown(choice);
    return EINVAL;
  }
  PortBackend *backend = current_bus().installed;
  const bool chosen = backend == nullptr;
  if (chosen) {
    if (const int err = choose_backend(base, choice.text, backend); err != 0)
      return err;
  } else if (asked == Way::path) {
    if (const int err = judge_path(choice.text); err != 0)
      return err;
  }
  int err = backend->open(base);
  // The kernel has the port but no device node for it (ppdev not loaded):
  // the registers themselves are the only way left.
  if (err == ENOENT && chosen && asked == Way::automatic && backend == &current_bus().device) {
    backend = &current_bus().raw;
    err = backend->open(base);
  }
  use_backend(backend, err == 0, base);
  if (err == 0 && current_bus().is_default()) // the port is this run's: its trace starts
    begin_library_trace();
  if (err != 0) {
    if (const BackendEntry *entry = entry_of(backend))
      entry->explain(base, err);
  } else if (chosen) {
    tell_way(base, backend);
  }
  return err;
}

// Through the trace, which writes out what it holds; past a failed bus's
// dead port, to the port that failed.
void release_port() {
  Bus &bus = current_bus();
  (bus.outermost != nullptr ? *bus.outermost : backend_in_use(bus)).release();
  use_backend(&backend_in_use(bus), false, 0);
}

} // namespace vorn
