#include "marks_line.h"

namespace vorn::sim {

void MarksLine::take(std::string_view bytes,
                     const std::function<void(const std::string &)> &on_line) {
  for (const char c : bytes) {
    if (c == '\n') {
      on_line(line_);
      line_.clear();
    } else if (c != '\r' && line_.size() < kMarkMax) {
      line_ += c;
    }
  }
}

} // namespace vorn::sim
