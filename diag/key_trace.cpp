#include "key_trace.h"

#include "vorn.h"

namespace vorndiag {

int recorded_line(LineBuffer &buf) { return vornRunKey(buf, sizeof buf); }

bool record_line(const LineBuffer &buf, bool read, bool failed) {
  vornRunKeyNote(buf, read ? 1 : failed ? -1 : 0);
  return read;
}

} // namespace vorndiag
