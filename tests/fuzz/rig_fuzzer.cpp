// A rig file's text, as vorndiag-sim, vornsim_install and vornsim-lpt read
// it: a rig or a RigError (file:line: reason), never a crash.
#include "vornsim.hpp"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  try {
    vorn::sim::parse_rig(std::string_view(reinterpret_cast<const char *>(data), size), "fuzz.toml");
  } catch (const vorn::sim::RigError &) {
  }
  return 0;
}
