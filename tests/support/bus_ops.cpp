#include "bus_ops.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace diagtest {

std::vector<std::string> bus_ops(const std::vector<Access> &log) {
  std::vector<std::string> ops;
  char op[16];
  for (const Access &a : log) {
    const char *name = a.offset == 3   ? "sel"
                       : a.offset != 4 ? nullptr
                       : a.kind == 'W' ? "wr"
                                       : "rd";
    if (name == nullptr)
      continue;
    std::snprintf(op, sizeof op, "%s %02x", name, unsigned{a.value});
    ops.push_back(op);
  }
  return ops;
}

// Hand-parsed: traces of busy loops run to millions of lines.
std::vector<Access> parse_trace(const std::string &text) {
  std::vector<Access> log;
  const char *p = text.c_str();
  for (;;) {
    // note lines ("# run: ...", "# stop SIGINT") carry no access
    while (*p == '#') {
      const char *end = std::strchr(p, '\n');
      p = end != nullptr ? end + 1 : p + std::strlen(p);
    }
    if (*p != 'R' && *p != 'W')
      break;
    char *end = nullptr;
    const char kind = *p;
    const unsigned long offset = std::strtoul(p + 1, &end, 10);
    const unsigned long value = std::strtoul(end, &end, 16);
    log.push_back({kind, static_cast<std::uint16_t>(offset), static_cast<std::uint8_t>(value)});
    p = *end == '\n' ? end + 1 : end;
  }
  return log;
}

std::vector<std::string> tail(const std::vector<std::string> &ops, std::size_t first_op) {
  if (first_op > ops.size())
    return {};
  return {ops.begin() + static_cast<std::ptrdiff_t>(first_op), ops.end()};
}

} // namespace diagtest
