#include "keyboard.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>

namespace vorndiag {

bool read_line(LineBuffer &buf) { return std::fgets(buf, sizeof buf, stdin) != nullptr; }

// strtol gives a long; keeping its low 32 bits through unsigned arithmetic
// is the truncation a 32-bit int would see, without an out-of-range
// conversion.
int line_int(const char *text) {
  unsigned long value = static_cast<unsigned long>(std::strtol(text, nullptr, 0));
  return static_cast<int>(static_cast<unsigned>(value));
}

bool starts_with_digit(const char *text) {
  return std::isdigit(static_cast<unsigned char>(text[0])) != 0;
}

} // namespace vorndiag
