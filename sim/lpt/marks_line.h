// The lines written to vornsim-lpt's marks file, which may come in any
// pieces: each is handed on at its line end, without it and without
// carriage returns. A mark is a label: a longer line is cut at kMarkMax
// bytes, as a trace reader's are, and the rest up to its line end dropped,
// so that a writer without line ends cannot fill the memory.
#ifndef VORNSIM_LPT_MARKS_LINE_H
#define VORNSIM_LPT_MARKS_LINE_H

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace vorn::sim {

inline constexpr std::size_t kMarkMax = std::size_t{1} << 16;

class MarksLine {
public:
  // Takes the bytes of one write; `on_line` gets every line they end.
  void take(std::string_view bytes, const std::function<void(const std::string &)> &on_line);
  // The line begun and not yet ended.
  const std::string &pending() const { return line_; }

private:
  std::string line_;
};

} // namespace vorn::sim

#endif
