#include "timeout_clearing.h"

#include <cstdio>

namespace reliability {

namespace {

using vorn::test::Access;

constexpr std::uint16_t kStatus = 1;
constexpr std::uint16_t kAddress = 3;
constexpr std::uint16_t kData = 4;
constexpr std::uint8_t kTimeout = 0x01;

std::string at(std::size_t i, const char *what) {
  char text[96];
  std::snprintf(text, sizeof text, "access %zu: %s", i, what);
  return text;
}

bool is(const Access &a, char kind, std::uint16_t offset) {
  return a.kind == kind && a.offset == offset;
}

// The three accesses after the first status read of a pending timeout.
std::string clearing_fault(const std::vector<Access> &trace, std::size_t first) {
  if (first + 3 >= trace.size())
    return at(first, "the trace ends inside a clearing");
  const Access &again = trace[first + 1];
  const Access &write = trace[first + 2];
  const Access &check = trace[first + 3];
  if (!is(again, 'R', kStatus))
    return at(first + 1, "expected the second status read");
  if (!is(write, 'W', kStatus) || write.value != (again.value | kTimeout))
    return at(first + 2, "expected the status written back with bit 0 set");
  if (!is(check, 'R', kStatus) || (check.value & kTimeout) != 0)
    return at(first + 3, "expected a status read showing bit 0 clear");
  return {};
}

} // namespace

ClearingCheck check_timeout_clearing(const std::vector<Access> &trace) {
  ClearingCheck result;
  bool pending = false;
  for (std::size_t i = 0; i < trace.size(); ++i) {
    const Access &a = trace[i];
    if (a.offset == kData) {
      pending = true;
    } else if (is(a, 'W', kAddress) && pending) {
      result.fault = at(i, "address cycle with a timeout pending");
    } else if (is(a, 'R', kStatus)) {
      if (((a.value & kTimeout) != 0) != pending)
        result.fault = at(i, pending ? "status misses the timeout" : "timeout without a cycle");
      else if (pending)
        result.fault = clearing_fault(trace, i);
      if (!result.fault.empty())
        return result;
      if (pending) {
        ++result.clearings;
        pending = false;
        i += 3;
      }
    } else if (a.offset == kStatus) {
      result.fault = at(i, "status written outside a clearing");
    }
    if (!result.fault.empty())
      return result;
  }
  return result;
}

} // namespace reliability
