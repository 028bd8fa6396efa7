// The EPP timeout flag on a bus where no data cycle is answered: every data
// cycle leaves it set, and the next status look must clear it the one
// prescribed way before any address cycle.
#ifndef VORN_RELIABILITY_TIMEOUT_CLEARING_H
#define VORN_RELIABILITY_TIMEOUT_CLEARING_H

#include "recording_port.h"

#include <cstddef>
#include <string>
#include <vector>

namespace reliability {

struct ClearingCheck {
  std::size_t clearings = 0; // timeouts found pending and cleared
  std::string fault;         // empty when every access kept the rule
};

// Walks a whole port trace. After each data cycle (offset 4) the next status
// access must be: read with bit 0 set, read again, write that value with bit
// 0 set, read with bit 0 clear. A status read with no data cycle since the
// last clearing must show bit 0 clear, and no address cycle may start while
// a timeout is pending.
ClearingCheck check_timeout_clearing(const std::vector<vorn::test::Access> &trace);

} // namespace reliability

#endif
