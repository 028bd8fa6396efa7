#include "bus_ops.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>

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

std::vector<Access> parse_trace(const std::string &text) {
  std::vector<Access> log;
  std::istringstream in(text);
  std::string kind;
  unsigned offset;
  std::string value;
  while (in >> kind >> offset >> value)
    log.push_back({kind[0], static_cast<std::uint16_t>(offset),
                   static_cast<std::uint8_t>(std::strtoul(value.c_str(), nullptr, 16))});
  return log;
}

std::vector<std::string> tail(const std::vector<std::string> &ops, std::size_t first_op) {
  if (first_op > ops.size())
    return {};
  return {ops.begin() + static_cast<std::ptrdiff_t>(first_op), ops.end()};
}

} // namespace diagtest
