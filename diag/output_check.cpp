#include "output_check.h"

#include "frame.h"
#include "stop_signals.h"

#include "port_io.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace vorndiag {

namespace {

int checked_output_status(int status, const char *prog) {
  errno = 0;
  const bool flushed = std::fflush(stdout) == 0;
  const int err = errno;
  if (flushed && !std::ferror(stdout))
    return status;
  if (output_reader_gone())
    return status;
  // An earlier failed write leaves only the error flag; the last flush
  // still has the reason when bytes were left to write.
  if (flushed)
    std::fprintf(stderr, "%s: standard output could not be written\n", prog);
  else
    std::fprintf(stderr, "%s: standard output could not be written: %s\n", prog,
                 std::strerror(err));
  return status == 0 ? kExitOutput : status;
}

int ended_port_status(int status, const char *prog) {
  const vorn::RunEnd end = vorn::end_port_run();
  if (end.kind == vorn::RunEnd::Kind::ok)
    return status;
  std::fprintf(stderr, "%s: %s\n", prog, end.message.c_str());
  if (end.kind == vorn::RunEnd::Kind::replay_departed)
    return kExitReplay;
  return status == 0 || status == kExitOutput ? kExitTrace : status;
}

} // namespace

int checked_exit_status(int status, const char *prog) {
  return ended_port_status(checked_output_status(status, prog), prog);
}

} // namespace vorndiag
