#include "bus.h"

#include "backends.h"
#include "tracing_port.h"
#include "vorn.h"

#include <pthread.h>

namespace vorn {

std::atomic<Bus *> made_default_bus{nullptr};
constinit thread_local Bus *thread_bus = nullptr;

namespace {

// The buses of vornBusNew(), a list through them; the lock also keeps the
// list as it is across a fork.
std::mutex made_buses_lock;
Bus *made_buses = nullptr;

// Every bus, the default one first.
template <typename Act> void each_bus(Act act) {
  act(*made_default_bus.load());
  for (Bus *bus = made_buses; bus != nullptr; bus = bus->next_made)
    act(*bus);
}

// A fork while another thread is in a call would leave the child a lock
// that nobody releases; the fork waits for the call instead.
void before_fork() {
  made_buses_lock.lock();
  each_bus([](Bus &bus) { bus.lock.lock(); });
}

void after_fork_in_parent() {
  each_bus([](Bus &bus) { bus.lock.unlock(); });
  made_buses_lock.unlock();
}

// The child shares the parent's descriptors and claims: it lets go of
// nothing, writes nothing the parent buffered, and its calls are refused.
void after_fork_in_child() {
  each_bus([](Bus &bus) {
    bus.lock.unlock();
    if (bus.holds_port()) {
      bus.inherited = true;
      bus.refresh();
    }
  });
  made_buses_lock.unlock();
  abandon_port_traces(*made_default_bus.load());
}

// Static storage from the library's load on, so that it is destroyed after
// every atexit handler of the host's (which may still call extMotQuit()):
// a port still held is given back as the host's exit leaves it.
struct GiveBackAtExit {
  ~GiveBackAtExit() {
    if (made_default_bus.load() == nullptr)
      return;
    std::lock_guard<std::mutex> hold(made_buses_lock);
    each_bus([](Bus &bus) {
      if (bus.inherited)
        return;
      bus.library_trace.reset(); // written out
      bus.raw.release();
      bus.device.release();
    });
  }
} give_back_at_exit;

} // namespace

// Out of line, so that no access is compiled as a guess at this port.
const char *DeadPort::name() const { return "none"; }
int DeadPort::open(std::uint32_t) { return ENODEV; }
std::uint8_t DeadPort::read(Reg) { return 0xFF; }
void DeadPort::write(Reg, std::uint8_t) {}

Bus::Bus() : device(*this), os(&real_os_calls()) {}

// Never destroyed: it outlives every object whose destructor at exit still
// puts a port back.
Bus &make_default_bus() {
  static Bus *const bus = [] {
    auto *made = new Bus;
    made->refresh();
    made_default_bus.store(made, std::memory_order_release);
    pthread_atfork(before_fork, after_fork_in_parent, after_fork_in_child);
    return made;
  }();
  return *bus;
}

Bus &first_call_in_thread() {
  thread_bus = &default_bus();
  return *thread_bus;
}

void add_made_bus(Bus &bus) {
  default_bus(); // first: the fork handlers are in place
  std::lock_guard<std::mutex> hold(made_buses_lock);
  bus.next_made = made_buses;
  made_buses = &bus;
}

void remove_made_bus(Bus &bus) {
  std::lock_guard<std::mutex> hold(made_buses_lock);
  for (Bus **link = &made_buses; *link != nullptr; link = &(*link)->next_made) {
    if (*link == &bus) {
      *link = bus.next_made;
      break;
    }
  }
}

void Bus::refresh() {
  if (failed != 0 || inherited)
    active = &dead;
  else if (outermost != nullptr)
    active = outermost;
  else if (installed != nullptr)
    active = installed;
  else
    active = chosen != nullptr ? chosen : &raw;
}

void Bus::fail(int err, const std::string &line) {
  failed = err == ENODEV || err == ENXIO ? ENODEV : EIO;
  problem = line + "\n";
  refresh();
}

bool Bus::ready() const {
  int err = 0;
  if (inherited)
    err = EBUSY;
  else if (failed != 0)
    err = failed;
  else if (!(installed != nullptr ? installed_ready : chosen_ready))
    err = start_error;
  if (err == 0)
    return true;
  errno = err;
  return false;
}

int BusCall::end(int result) const {
  if (bus_.failed == 0)
    return result;
  errno = bus_.failed;
  return -1;
}

BlockTally block_tally(std::uint32_t block) {
  return block < map::kBlockCount ? current_bus().tallies[block] : BlockTally{};
}

std::uint64_t unanswered_total() { return current_bus().unanswered_all; }

void reset_bus_account() {
  Bus &bus = current_bus();
  bus.tallies = {};
  bus.unanswered_all = 0;
  bus.cycle_open = false;
}

// A backend put in place stands for a started port until a start-up is
// tried on it when `started` (the tree's own test ports, driven without
// one); otherwise it waits for a start-up, as the PC's port does.
ScopedBackend::ScopedBackend(PortBackend &backend, RunControl &run, bool started)
    : bus_(current_bus()), previous_(bus_.installed), previous_run_(bus_.installed_run) {
  Bus &bus = bus_;
  std::lock_guard<std::mutex> hold(bus.lock);
  ++bus.placed;
  bus.installed = &backend;
  bus.installed_run = &run;
  bus.granted = false;
  bus.installed_ready = started;
  bus.started = false;
  bus.refresh();
}

// A bus freed while this was in place waited for it to go.
ScopedBackend::~ScopedBackend() {
  Bus &bus = bus_;
  bool last = false;
  {
    std::lock_guard<std::mutex> hold(bus.lock);
    bus.installed = previous_;
    bus.installed_run = previous_run_;
    bus.granted = false;
    bus.installed_ready = previous_ != nullptr;
    bus.started = false;
    bus.refresh();
    last = --bus.placed == 0 && bus.freed;
  }
  if (last)
    delete &bus;
}

PortBackend &backend_in_use(Bus &bus) {
  if (bus.installed != nullptr)
    return *bus.installed;
  return bus.chosen != nullptr ? *bus.chosen : bus.raw;
}

RunControl &run_in_use(Bus &bus) {
  return bus.installed != nullptr ? *bus.installed_run : no_run_control();
}

PortBackend &port_backend() { return *current_bus().active; }

RunControl &port_run() {
  Bus &bus = current_bus();
  return bus.outermost_run != nullptr ? *bus.outermost_run : run_in_use(bus);
}

std::string port_event(std::string_view kind, std::string seen) {
  return port_run().event_point(kind, std::move(seen));
}

void port_note(std::string_view text) { port_run().note(text); }

RunEnd end_port_run() { return port_run().end_run(); }

bool port_trace_refused() { return current_bus().trace_refused; }

bool stop_missed() { return current_bus().stop_missed; }

void use_backend(PortBackend *backend, bool is_granted, std::uint32_t base) {
  Bus &bus = current_bus();
  if (backend != bus.installed)
    bus.chosen = backend;
  bus.granted = is_granted;
  bus.granted_base = base;
  (bus.installed != nullptr ? bus.installed_ready : bus.chosen_ready) = is_granted;
  bus.refresh();
}

} // namespace vorn
