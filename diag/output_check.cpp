#include "output_check.h"

#include "frame.h"
#include "stop_signals.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace vorndiag {

int checked_exit_status(int status, const char *prog) {
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

} // namespace vorndiag
