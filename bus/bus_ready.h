// Whether a driver call may reach the bus.
#ifndef VORN_BUS_READY_H
#define VORN_BUS_READY_H

namespace vorn {

// True once a start-up has taken the port, until the shut-down gives it
// back. Otherwise false with errno set: the refusal's own errno after a
// refused start-up, ENODEV when none was made or the port was given back.
// An entry point that gets false returns -1 and makes no port access.
bool bus_ready();

} // namespace vorn

#endif
