#include "bus_ops.h"

#include <cstdio>
#include <string_view>

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

// Up to the first line that is neither an access nor a note, as a cut-off
// trace ends.
std::vector<Access> parse_trace(const std::string &text) {
  std::vector<Access> log;
  std::string_view rest = text;
  while (!rest.empty()) {
    const std::size_t end = rest.find('\n');
    const vorn::trace::Line line = vorn::trace::parse_line(rest.substr(0, end));
    if (line.kind == vorn::trace::Line::Kind::invalid)
      break;
    if (line.kind == vorn::trace::Line::Kind::access)
      log.push_back(line.access);
    rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
  }
  return log;
}

std::vector<std::string> tail(const std::vector<std::string> &ops, std::size_t first_op) {
  if (first_op > ops.size())
    return {};
  return {ops.begin() + static_cast<std::ptrdiff_t>(first_op), ops.end()};
}

} // namespace diagtest
