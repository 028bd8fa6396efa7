#include "scratch_dir.h"

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <unistd.h>

namespace vorn::test {

ScratchDir::ScratchDir() {
  const char *tmp = std::getenv("TMPDIR");
  path_ = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/vorn-test-XXXXXX";
  if (mkdtemp(path_.data()) == nullptr)
    throw std::runtime_error("cannot make a temporary folder");
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

} // namespace vorn::test
