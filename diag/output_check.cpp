#include "output_check.h"

#include "frame.h"
#include "stop_signals.h"

#include "vorn.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

namespace vorndiag {

namespace {

// Standard output as the tool writes it: what a stop leaves unwritten
// (the reader stalled) is held, to go out after the shut-down.
struct HeldOutput {
  int fd = STDOUT_FILENO;
  std::string held;
  int error = 0; // of the first failed write
  char last = 0; // the last byte the tool wrote
};
HeldOutput out;
// Lines for standard error told during the run, held the same way.
std::string err_held;

ssize_t failed(int err) {
  if (out.error == 0)
    out.error = err;
  errno = err;
  return -1;
}

bool write_held() {
  int err = 0;
  out.held.erase(0, vornWriteGivingWay(out.fd, out.held.data(), out.held.size(), &err));
  if (err == 0)
    return true;
  out.held.clear();
  failed(err);
  return false;
}

ssize_t write_out(void *, const char *data, std::size_t size) {
  if (size > 0)
    out.last = data[size - 1];
  if (!write_held())
    return -1;
  int err = 0;
  const std::size_t n = out.held.empty() ? vornWriteGivingWay(out.fd, data, size, &err) : 0;
  if (err != 0)
    return failed(err);
  out.held.append(data + n, size - n);
  return static_cast<ssize_t>(size);
}

void write_err_held() {
  int err = 0;
  err_held.erase(0, vornWriteGivingWay(STDERR_FILENO, err_held.data(), err_held.size(), &err));
  if (err != 0)
    err_held.clear(); // nowhere to say it
}

// A live line ends in a carriage return: on a terminal the shell's prompt
// would overwrite the last reading.
void end_live_line() {
  std::fflush(stdout);
  if (out.last == '\r' && out.fd >= 0 && isatty(out.fd) == 1)
    std::fputc('\n', stdout);
}

int checked_output_status(int status, const char *prog) {
  vornGiveWayWhile(nullptr);
  write_err_held();
  end_live_line();
  const bool flushed = std::fflush(stdout) == 0 && write_held();
  if (flushed && !std::ferror(stdout))
    return status;
  if (output_reader_gone())
    return status;
  std::fprintf(stderr, "%s: standard output could not be written: %s\n", prog,
               std::strerror(out.error != 0 ? out.error : EIO));
  return status == 0 ? kExitOutput : status;
}

int ended_port_status(int status, const char *prog) {
  const char *message = "";
  const vorn_run_end end = vornRunEnd(&message);
  // A refused trace ends the run before its first access: a replay has
  // nothing to follow.
  if (end == VORN_RUN_OK || (end == VORN_RUN_REPLAY_DEPARTED && vornTraceRefused()))
    return status;
  std::fprintf(stderr, "%s: %s\n", prog, message);
  if (end == VORN_RUN_REPLAY_DEPARTED)
    return kExitReplay;
  return status == 0 || status == kExitOutput ? kExitTrace : status;
}

} // namespace

void give_way_on_stdout() {
  static std::FILE *stream = nullptr;
  if (stream != nullptr)
    return;
  std::fflush(stdout);
  out.fd = fileno(stdout);
  if (out.fd < 0)
    return;
  stream = fopencookie(nullptr, "w", {nullptr, write_out, nullptr, nullptr});
  if (stream == nullptr)
    return;
  // As stdio buffers a descriptor of its own.
  std::setvbuf(stream, nullptr, isatty(out.fd) ? _IOLBF : _IOFBF, BUFSIZ);
  stdout = stream;
  vornRateReportTo(stream); // the rate driver's lines, in order with the rest
}

void tell(const std::string &line) {
  err_held += line;
  write_err_held();
}

int checked_exit_status(int status, const char *prog) {
  return ended_port_status(checked_output_status(status, prog), prog);
}

} // namespace vorndiag
