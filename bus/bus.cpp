#include "bus.h"

#include "tracing_port.h"
#include "vorn.h"

#include <pthread.h>

namespace vorn {

namespace {

Bus *the_bus = nullptr;

// A fork while another thread is in a call would leave the child a lock
// that nobody releases; the fork waits for the call instead.
void before_fork() { the_bus->lock.lock(); }
void after_fork_in_parent() { the_bus->lock.unlock(); }

// The child shares the parent's descriptors and claim: it lets go of
// nothing, writes nothing the parent buffered, and its calls are refused.
void after_fork_in_child() {
  Bus &bus = *the_bus;
  bus.lock.unlock();
  if (bus.started || bus.granted || bus.chosen_ready) {
    bus.inherited = true;
    bus.refresh();
  }
  abandon_port_traces();
}

// Static storage from the library's load on, so that it is destroyed after
// every atexit handler of the host's (which may still call extMotQuit()):
// a port still held is given back as the host's exit leaves it.
struct GiveBackAtExit {
  ~GiveBackAtExit() {
    if (the_bus == nullptr || the_bus->inherited)
      return;
    the_bus->raw.release();
    the_bus->device.release();
  }
} give_back_at_exit;

} // namespace

// Out of line, so that no access is compiled as a guess at this port.
const char *DeadPort::name() const { return "none"; }
int DeadPort::open(std::uint32_t) { return ENODEV; }
std::uint8_t DeadPort::read(Reg) { return 0xFF; }
void DeadPort::write(Reg, std::uint8_t) {}

std::atomic<Bus *> made_default_bus{nullptr};

// Never destroyed: it outlives every object whose destructor at exit still
// puts a port back.
Bus &make_default_bus() {
  static Bus *const bus = [] {
    the_bus = new Bus;
    the_bus->refresh();
    pthread_atfork(before_fork, after_fork_in_parent, after_fork_in_child);
    made_default_bus.store(the_bus, std::memory_order_release);
    return the_bus;
  }();
  return *bus;
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

} // namespace vorn
