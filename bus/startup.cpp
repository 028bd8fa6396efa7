// Start-up and shut-down of the whole driver set, and the way to the port.
#include "backends.h"
#include "board_map.h"
#include "bus.h"
#include "drivers.h"
#include "kernel_ports.h"
#include "library_trace.h"
#include "port_os.h"
#include "vorn.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <string>

uint32_t vorn_base_addr = 0x378;

namespace {

void fill_info(const vorn::KernelPort &port, vorn_port_info *info) {
  info->base = port.base;
  std::snprintf(info->device, sizeof info->device, "%s", port.device.c_str());
  std::snprintf(info->modes, sizeof info->modes, "%s", port.modes.c_str());
  const vorn::OsCalls &os = vorn::os_calls();
  const int fd = os.open(port.device.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC, 0);
  info->usable = fd >= 0 ? 1 : 0;
  if (fd >= 0)
    os.close(fd);
}

int open_chosen_port(vorn::Bus &bus) {
  const int err = vorn::open_port(*bus.base_addr, bus.choice.c_str());
  if (err != 0) {
    errno = err;
    return -1;
  }
  return 0;
}

// A second start-up while one runs is refused before anything is touched:
// the port, its rate generators and the count extension stay as they are.
// A failed bus is over: a start-up gives its port back and begins afresh.
int start(vorn::Bus &bus, const char *stuffstuff) {
  if (bus.inherited || (bus.started && bus.failed == 0)) {
    errno = EBUSY;
    return -1;
  }
  bus.failed = 0;
  bus.refresh();
  std::string problem;
  const int trace_err = bus.is_default() ? vorn::start_library_trace(problem) : 0;
  bus.trace_refused = trace_err != 0;
  if (trace_err != 0) {
    vorn::release_port();
    vorn::refuse_start(problem);
    bus.start_error = trace_err;
    bus.started = false;
    errno = trace_err;
    return -1;
  }
  bus.choice = stuffstuff != nullptr ? stuffstuff : "";
  if (uint32_t base; stuffstuff != nullptr && vornPortBase(stuffstuff, &base) == 0)
    *bus.base_addr = base;
  bus.started = false;
  if (open_chosen_port(bus) != 0) {
    bus.start_error = errno;
    return -1;
  }
  bus.started = true;
  vorn::reset_bus_account();
  vorn::stop_rates();
  vorn::start_encoders(bus);
  if (bus.failed != 0) {
    errno = bus.failed;
    return -1;
  }
  return 0;
}

// The stop is the one write a controller must know reached the boards. A
// failed bus sends none: its port no longer answers.
int quit(vorn::Bus &bus) {
  if (!bus.ready() && (bus.failed == 0 || bus.inherited))
    return -1;
  const int failed = bus.failed;
  const bool stopped = failed == 0 && vorn::stop_rates();
  bus.stop_missed = !stopped;
  vorn::release_port();
  bus.started = false;
  bus.start_error = ENODEV;
  if (failed != 0) {
    errno = failed;
    return -1;
  }
  // A client's only word that its trace is incomplete; vornPortProblem()
  // says why. The stop is the louder word: EIO whatever the trace did.
  std::string problem;
  const int trace_err = vorn::library_trace_failure(problem);
  if (trace_err != 0)
    vorn::refuse_start(problem);
  if (!stopped || trace_err != 0)
    errno = !stopped ? EIO : trace_err;
  return stopped && trace_err == 0 ? 0 : -1;
}

} // namespace

extern "C" {

// Unlike a bare ioperm call, a refusal is reported: going on would make the
// first port access fault or reach nothing.
int16_t InitializeParPort(void) {
  vorn::Bus &bus = vorn::current_bus();
  const std::lock_guard<std::mutex> hold(bus.lock);
  return static_cast<int16_t>(open_chosen_port(bus));
}

// The trace file is opened ahead of the port, so that a file that cannot
// be written is refused before any access.
int vornMotInit(const char *stuffstuff) {
  vorn::Bus &bus = vorn::current_bus();
  const std::lock_guard<std::mutex> hold(bus.lock);
  return start(bus, stuffstuff);
}

int vornMotQuit(void) {
  vorn::Bus &bus = vorn::current_bus();
  const std::lock_guard<std::mutex> hold(bus.lock);
  return quit(bus);
}

int vornPortFailed(void) { return vorn::current_bus().failed != 0 ? 1 : 0; }

void vornBusLock(void) { vorn::current_bus().lock.lock(); }

void vornBusUnlock(void) { vorn::current_bus().lock.unlock(); }

int vornBusAccount(int block, long long *cycles, long long *unanswered) {
  if (block < 0 || block >= static_cast<int>(vorn::map::kBlockCount))
    return -1;
  const vorn::BlockTally tally = vorn::block_tally(static_cast<std::uint32_t>(block));
  *cycles = static_cast<long long>(tally.cycles);
  *unanswered = static_cast<long long>(tally.unanswered);
  return 0;
}

const char *vornPortProblem(void) { return vorn::port_problem().c_str(); }

int vornPortInfo(int n, vorn_port_info *info) {
  int seen = 0;
  for (int number = 0; number < vorn::kMaxKernelPorts; ++number) {
    const auto port = vorn::kernel_port(number);
    if (port && seen++ == n) {
      fill_info(*port, info);
      return 0;
    }
  }
  return -1;
}

vorn_bus *vornBusNew(uint32_t base) {
  auto *bus = new (std::nothrow) vorn::Bus;
  if (bus == nullptr) {
    errno = ENOMEM;
    return nullptr;
  }
  bus->own_base = base;
  bus->base_addr = &bus->own_base;
  bus->os = vorn::default_bus().os;
  bus->refresh();
  vorn::add_made_bus(*bus);
  return reinterpret_cast<vorn_bus *>(bus);
}

// A bus still started is shut down first: freeing it never leaves an axis
// running.
int vornBusFree(vorn_bus *handle) {
  auto *bus = reinterpret_cast<vorn::Bus *>(handle);
  if (bus == nullptr)
    return 0;
  int result = 0;
  if (bus->started) {
    vorn::Bus *const before = vorn::thread_bus;
    vorn::thread_bus = bus;
    result = vornMotQuit();
    vorn::thread_bus = before;
  }
  if (vorn::thread_bus == bus)
    vorn::thread_bus = nullptr;
  vorn::remove_made_bus(*bus);
  {
    // Boards put in place on it (a simulator's) may outlive the call.
    const std::lock_guard<std::mutex> hold(bus->lock);
    if (bus->placed > 0) {
      bus->freed = true;
      return result;
    }
  }
  delete bus;
  return result;
}

vorn_bus *vornBusUse(vorn_bus *handle) {
  vorn::Bus *const before = &vorn::current_bus();
  vorn::thread_bus = reinterpret_cast<vorn::Bus *>(handle); // nullptr: the default, on first use
  return before->is_default() ? nullptr : reinterpret_cast<vorn_bus *>(before);
}

int vornPortBase(const char *device, uint32_t *base) {
  const auto port = vorn::kernel_port_of(device);
  if (!port)
    return -1;
  *base = port->base;
  return 0;
}

} // extern "C"
