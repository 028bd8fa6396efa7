#include "output_shape.h"

#include <cmath>
#include <cstdlib>

namespace reliability {

std::size_t copies(const std::string &text, const std::string &unit) {
  if (unit.empty())
    return text.empty() ? 1 : 0;
  if (text.empty() || text.size() % unit.size() != 0)
    return 0;
  for (std::size_t at = 0; at < text.size(); at += unit.size())
    if (text.compare(at, unit.size(), unit) != 0)
      return 0;
  return text.size() / unit.size();
}

std::size_t occurrences(const std::string &text, const std::string &part) {
  std::size_t n = 0;
  for (std::size_t at = text.find(part); !part.empty() && at != std::string::npos;
       at = text.find(part, at + part.size()))
    ++n;
  return n;
}

std::string after(const std::string &text, const std::string &prefix) {
  return text.rfind(prefix, 0) == 0 ? text.substr(prefix.size()) : std::string("\x01");
}

std::vector<std::string> split(const std::string &text, char end) {
  std::vector<std::string> parts;
  for (std::size_t at = 0, next; (next = text.find(end, at)) != std::string::npos; at = next + 1)
    parts.push_back(text.substr(at, next - at));
  return parts;
}

std::array<long, 4> counts_of(const std::string &line) {
  std::array<long, 4> counts{};
  const char *p = line.c_str();
  for (long &c : counts) {
    char *end = nullptr;
    c = std::lround(std::strtod(p, &end));
    p = end;
  }
  return counts;
}

} // namespace reliability
