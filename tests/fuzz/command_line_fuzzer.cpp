// The command line: the input split at NUL bytes into arguments (argv cannot
// hold a NUL), any count of them. The keyboard gives nothing; the access
// request is refused when the input ends with 0xff.
#include "front_end_run.h"

#include <cerrno>

namespace {

constexpr std::size_t kMaxArgs = 8;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  std::vector<std::string> args;
  std::string arg;
  for (std::size_t i = 0; i < size && args.size() < kMaxArgs; ++i) {
    if (data[i] == 0) {
      args.push_back(arg);
      arg.clear();
    } else {
      arg += static_cast<char>(data[i]);
    }
  }
  if (size > 0 && args.size() < kMaxArgs)
    args.push_back(arg);
  vorn::sim::Rig rig = vornfuzz::bounded_rig();
  if (size > 0 && data[size - 1] == 0xFF)
    rig.refuse_access = EPERM;
  vornfuzz::run_front_end(args, nullptr, 0, rig);
  return 0;
}
