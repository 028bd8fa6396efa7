// A fresh folder per test for trace files, removed with what is in it.
#ifndef VORN_TEST_TRACE_FILES_H
#define VORN_TEST_TRACE_FILES_H

#include <gtest/gtest.h>

#include <string>

namespace vorn::test {

class TraceFiles : public ::testing::Test {
protected:
  TraceFiles();
  ~TraceFiles() override;

  std::string path(const std::string &name) const { return dir_ + "/" + name; }
  // Writes `bytes` to the file `name` and gives its path.
  std::string write(const std::string &name, const std::string &bytes) const;
  std::string read(const std::string &name) const;
  // `text` gzip-compressed, written to `name`.
  std::string write_gzip(const std::string &name, const std::string &text) const;

  std::string dir_;
};

} // namespace vorn::test

#endif
