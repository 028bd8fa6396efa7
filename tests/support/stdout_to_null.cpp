#include "stdout_to_null.h"

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace vorn::measure {

StdoutToNull::StdoutToNull() {
  std::fflush(stdout);
  saved_ = dup(STDOUT_FILENO);
  const int null = open("/dev/null", O_WRONLY);
  if (null >= 0) {
    dup2(null, STDOUT_FILENO);
    close(null);
  }
}

StdoutToNull::~StdoutToNull() {
  std::fflush(stdout);
  if (saved_ >= 0) {
    dup2(saved_, STDOUT_FILENO);
    close(saved_);
  }
}

} // namespace vorn::measure
