#include "stop_signals.h"

#include "frame.h"

#include <cerrno>
#include <csignal>
#include <initializer_list>
#include <sys/select.h>

namespace vorndiag {

namespace {

volatile std::sig_atomic_t input_cut = 0;
volatile std::sig_atomic_t reader_gone = 0;

void quit(int) { done = 1; }
void quit_now(int) {
  done = 1;
  input_cut = 1;
}
void quit_unread(int) {
  done = 1;
  reader_gone = 1;
}

void handle(int sig, void (*handler)(int)) {
  struct sigaction sa {};
  sa.sa_handler = handler;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  sigaction(sig, &sa, nullptr);
}

sigset_t cutting_signals() {
  sigset_t set;
  sigemptyset(&set);
  for (int sig : {SIGTERM, SIGHUP, SIGQUIT})
    sigaddset(&set, sig);
  return set;
}

} // namespace

void install_stop_handlers() {
  for (int sig : {SIGINT, SIGTSTP})
    handle(sig, quit);
  for (int sig : {SIGTERM, SIGHUP, SIGQUIT})
    handle(sig, quit_now);
  handle(SIGPIPE, quit_unread);
}

void release_terminal_stop() { std::signal(SIGTSTP, SIG_DFL); }

// The cutting signals stay blocked except inside pselect, so one that comes
// between the look at the flag and the wait still ends the wait.
bool wait_for_input(int fd) {
  if (fd < 0 || fd >= FD_SETSIZE)
    return !input_cut_short();
  const sigset_t cutting = cutting_signals();
  sigset_t open;
  sigprocmask(SIG_BLOCK, &cutting, &open);
  bool ready = false;
  while (!ready && input_cut == 0) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(fd, &readable);
    // Any failure but a signal is left for the read to report.
    ready = pselect(fd + 1, &readable, nullptr, nullptr, nullptr, &open) != -1 || errno != EINTR;
  }
  sigprocmask(SIG_SETMASK, &open, nullptr);
  return ready && !input_cut_short();
}

bool input_cut_short() { return input_cut != 0; }

bool output_reader_gone() { return reader_gone != 0; }

} // namespace vorndiag
