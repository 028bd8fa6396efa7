// The operations whose cost is measured, each with the number of port
// accesses its prescribed sequence takes.
#ifndef VORN_MEASURE_OPERATIONS_H
#define VORN_MEASURE_OPERATIONS_H

#include <cstdint>
#include <span>

namespace vorn::measure {

struct Operation {
  const char *name;
  void (*run)();
  std::uint64_t accesses;         // no timeout pending
  std::uint64_t accesses_pending; // a timeout pending at every look at the status
  bool prints;                    // writes reports to standard output
};

// Bus primitives, then the drivers' entry points, then one pass of servof
// and one cycle of commtest.
std::span<const Operation> operations();

} // namespace vorn::measure

#endif
