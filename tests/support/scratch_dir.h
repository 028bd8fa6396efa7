// A fresh folder under $TMPDIR (or /tmp) for the files of one test or run,
// removed with everything in it when the object goes.
#ifndef VORN_TEST_SCRATCH_DIR_H
#define VORN_TEST_SCRATCH_DIR_H

#include <string>

namespace vorn::test {

class ScratchDir {
public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir &) = delete;
  ScratchDir &operator=(const ScratchDir &) = delete;

  const std::string &path() const { return path_; }
  // The path of `name` in the folder.
  std::string file(const std::string &name) const { return path_ + "/" + name; }

private:
  std::string path_;
};

} // namespace vorn::test

#endif
