// A fresh folder per test for trace files, removed with what is in it.
#ifndef VORN_TEST_TRACE_FILES_H
#define VORN_TEST_TRACE_FILES_H

#include "scratch_dir.h"

#include <gtest/gtest.h>

#include <string>

namespace vorn::test {

class TraceFiles : public ::testing::Test {
protected:
  std::string path(const std::string &name) const { return scratch_.file(name); }
  // Writes `bytes` to the file `name` and gives its path.
  std::string write(const std::string &name, const std::string &bytes) const;
  std::string read(const std::string &name) const;
  // `text` gzip-compressed, written to `name`.
  std::string write_gzip(const std::string &name, const std::string &text) const;

  ScratchDir scratch_;
  const std::string &dir_ = scratch_.path();
};

} // namespace vorn::test

#endif
