// The keyboard side of rate, spindle and dio. The first byte picks the test
// and the bus (the default board set, or an empty bus where every read
// gives 0xff); every later byte is typed at the prompts, as it comes.
#include "front_end_run.h"

namespace {

const char *const kTests[] = {"rate", "spindle", "dio"};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  if (size == 0)
    return 0;
  vorn::sim::Rig rig = vornfuzz::bounded_rig();
  if (data[0] & 0x80)
    rig.boards = {};
  vornfuzz::run_front_end({"378", kTests[(data[0] & 0x7F) % 3]}, data + 1, size - 1, rig);
  return 0;
}
