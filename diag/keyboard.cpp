#include "keyboard.h"

#include "key_trace.h"
#include "stop_signals.h"

#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <sys/select.h>

namespace vorndiag {

namespace {

// Ctrl-C does not cut a keyboard wait: the test ends after the answer. So
// that nobody waits for an end that needs a line first, that is said as
// soon as the Ctrl-C comes (once a run). The signals stay blocked but
// inside pselect, so one that comes just before the wait is seen.
void note_stop_while_waiting(int fd) {
  static bool noted = false;
  if (noted || fd < 0 || fd >= FD_SETSIZE)
    return;
  sigset_t stops;
  sigemptyset(&stops);
  for (int sig : {SIGINT, SIGTSTP, SIGTERM, SIGHUP, SIGQUIT})
    sigaddset(&stops, sig);
  sigset_t open;
  sigprocmask(SIG_BLOCK, &stops, &open);
  fd_set readable;
  do {
    FD_ZERO(&readable);
    FD_SET(fd, &readable);
  } while (done == 0 && pselect(fd + 1, &readable, nullptr, nullptr, nullptr, &open) == -1 &&
           errno == EINTR);
  sigprocmask(SIG_SETMASK, &open, nullptr);
  if (done != 0 && !input_cut_short()) {
    std::fprintf(stderr, "%s: stop asked: the test ends after this answer\n",
                 program_invocation_name);
    noted = true;
  }
}

} // namespace

// fgets, one byte at a time from an unbuffered stdin, so that every byte
// is waited for where SIGTERM and its like can cut the wait short:
// the handlers restart a blocked read, and so would not. The prompt goes
// out before the wait, as the read would have flushed it on a terminal.
//
// A cut is an event of the trace: noted where it happened, and a replay
// cuts the read where its recording did, before waiting. So is the line
// read (key_trace.h): a replay that recorded it takes it from there.
bool read_line(LineBuffer &buf) {
  std::fflush(stdout);
  buf[0] = '\0';
  if (keyboard_cut_here(false))
    return false;
  if (const int recorded = recorded_line(buf); recorded >= 0)
    return recorded != 0;
  note_stop_while_waiting(fileno(stdin));
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
    return false;
  return record_line(buf, n > 0 && !failed, failed);
}

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
