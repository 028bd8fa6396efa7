#include "keyboard.h"

#include "key_trace.h"
#include "stop_signals.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>

namespace vorndiag {

namespace {

bool cut = false; // the last read was cut short

bool cut_short() {
  cut = true;
  return false;
}

} // namespace

// fgets, one byte at a time from an unbuffered stdin, so that every byte
// is waited for where a stop signal can cut the wait short: the handlers
// restart a blocked read, and so would not. A line half typed is dropped. The prompt goes
// out before the wait, as the read would have flushed it on a terminal.
//
// A cut is an event of the trace: noted where it happened, and a replay
// cuts the read where its recording did, before waiting. So is the line
// read (key_trace.h): a replay that recorded it takes it from there.
bool read_line(LineBuffer &buf) {
  std::fflush(stdout);
  buf[0] = '\0';
  cut = false;
  if (keyboard_cut_here(false))
    return cut_short();
  if (const int recorded = recorded_line(buf); recorded >= 0)
    return recorded != 0;
  std::size_t n = 0;
  int c = 0;
  for (;;) {
    while (n + 1 < sizeof buf && wait_for_input(fileno(stdin)) && (c = std::getc(stdin)) != EOF) {
      buf[n++] = static_cast<char>(c);
      if (c == '\n')
        break;
    }
    if (!input_cut_short() || keyboard_cut_here(true))
      break;
    // A replay whose recording waited on here reads on, whatever the signal.
    resume_input();
    if (c == EOF || c == '\n' || n + 1 >= sizeof buf)
      break;
  }
  buf[n] = '\0';
  const bool failed = c == EOF && std::ferror(stdin);
  if (input_cut_short())
    return cut_short();
  return record_line(buf, n > 0 && !failed, failed);
}

bool keyboard_cut() { return cut; }

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
