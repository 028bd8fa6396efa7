#include "stop_signals.h"

#include "bus_watch.h"
#include "frame.h"

#include "vorn.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <initializer_list>
#include <string>
#include <sys/select.h>

namespace vorndiag {

namespace {

volatile std::sig_atomic_t input_cut = 0;
volatile std::sig_atomic_t reader_gone = 0;
volatile std::sig_atomic_t first_signal = 0; // the one that set `done`
bool stop_noted = false;                     // the stop that set `done` is in the trace

void note_signal(int sig) {
  if (first_signal == 0)
    first_signal = sig;
}
// Every stop also cuts a keyboard wait: a line typed after it is never
// applied.
void quit(int sig) {
  note_signal(sig);
  done = 1;
  input_cut = 1;
}
void quit_unread(int sig) {
  quit(sig);
  reader_gone = 1;
}
// A background tool's read from or write to its terminal: caught, the call
// restarts and the terminal sends the signal again, for ever; ignored, the
// read fails (end of input) and the write goes through.
void quit_in_background(int sig) {
  quit(sig);
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(sig, &ignore, nullptr);
}

std::string signal_name(int sig) {
  const char *abbrev = sigabbrev_np(sig);
  return abbrev != nullptr ? std::string("SIG") + abbrev : "signal " + std::to_string(sig);
}

// Whether the run takes the event of `kind` here, where this process saw
// the first signal or nothing.
bool run_takes(int kind, bool seen) {
  const std::string cause = seen ? signal_name(first_signal) : std::string();
  return vornRunEvent(kind, cause.c_str(), nullptr) == 1;
}

void handle(int sig, void (*handler)(int)) {
  struct sigaction sa {};
  sa.sa_handler = handler;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  sigaction(sig, &sa, nullptr);
}

// Every signal whose default ends the process and that a handler can
// return from, as SIGTERM. SIGSEGV, SIGBUS, SIGFPE and SIGILL come back at
// once from the faulting instruction, SIGTRAP belongs to a debugger; SIGKILL
// and SIGSTOP cannot be caught. SIGXFSZ stops the run, and the write that
// raised it fails with EFBIG, which the output and trace checks report.
constexpr int kEndingSignals[] = {SIGTERM, SIGHUP,  SIGQUIT, SIGABRT, SIGALRM,
                                  SIGUSR1, SIGUSR2, SIGPOLL, SIGPROF, SIGVTALRM,
                                  SIGXCPU, SIGXFSZ, SIGSYS,  SIGPWR,  SIGSTKFLT};

sigset_t cutting_signals() {
  sigset_t set;
  sigemptyset(&set);
  for (int sig : kEndingSignals)
    sigaddset(&set, sig);
  for (int sig = SIGRTMIN; sig <= SIGRTMAX; ++sig)
    sigaddset(&set, sig);
  for (int sig : {SIGINT, SIGTSTP, SIGTTIN, SIGTTOU, SIGPIPE})
    sigaddset(&set, sig);
  return set;
}

} // namespace

void install_stop_handlers() {
  for (int sig : {SIGINT, SIGTSTP})
    handle(sig, quit);
  for (int sig : kEndingSignals)
    handle(sig, quit);
  for (int sig = SIGRTMIN; sig <= SIGRTMAX; ++sig)
    handle(sig, quit);
  for (int sig : {SIGTTIN, SIGTTOU})
    handle(sig, quit_in_background);
  handle(SIGPIPE, quit_unread);
  vornGiveWayWhile(&done);
}

void release_terminal_stop() {
  for (int sig : {SIGTSTP, SIGTTIN, SIGTTOU})
    std::signal(sig, SIG_DFL);
}

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

void resume_input() { input_cut = 0; }

bool output_reader_gone() { return reader_gone != 0; }

// A stop taken from a replay sets `done` too, so that it holds like a
// signal's; a run that clears `done` (the in-process tests) starts afresh.
// A failed port starts no further pass either.
bool stop_requested() {
  watch_bus(); // between passes: what the last one met on the bus
  if (done != 0 && stop_noted)
    return true;
  if (vornPortFailed() != 0)
    return true;
  stop_noted = run_takes(VORN_EVENT_STOP, done != 0);
  if (stop_noted)
    done = 1;
  return stop_noted;
}

bool keyboard_cut_here(bool cut) { return run_takes(VORN_EVENT_KEYBOARD_CUT, cut); }

} // namespace vorndiag
