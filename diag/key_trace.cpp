#include "key_trace.h"

#include "port_io.h"
#include "trace_words.h"

#include <cstring>
#include <string>
#include <string_view>

namespace vorndiag {

namespace {

constexpr std::string_view kLine = " line ";
constexpr std::string_view kPart = " part ";

} // namespace

// Anything but a line or part taken here ("key end", "key error", a departed
// replay's "key replay departed", a damaged note) ends the answers.
int recorded_line(LineBuffer &buf) {
  const std::string taken = vorn::port_event(vorn::kKeyEvent, "");
  if (taken.empty())
    return -1;
  std::string_view rest(taken);
  rest.remove_prefix(std::string_view(vorn::kKeyEvent).size());
  const bool line = rest.starts_with(kLine);
  std::string bytes;
  if ((!line && !rest.starts_with(kPart)) ||
      !vorn::trace::unquote_word(rest.substr(kLine.size()), bytes) ||
      bytes.size() + (line ? 2 : 1) > sizeof buf)
    return 0;
  if (line)
    bytes += '\n';
  std::memcpy(buf, bytes.c_str(), bytes.size() + 1);
  return 1;
}

bool record_line(const LineBuffer &buf, bool read, bool failed) {
  std::string note = vorn::kKeyEvent;
  if (!read) {
    vorn::port_note(note + (failed ? " error" : " end"));
    return read;
  }
  std::string_view bytes(buf);
  const bool line = bytes.ends_with('\n');
  if (line)
    bytes.remove_suffix(1);
  vorn::port_note(note.append(line ? kLine : kPart) + vorn::trace::quote_word(bytes));
  return read;
}

} // namespace vorndiag
