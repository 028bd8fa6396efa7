#include "key_trace.h"

#include "vorn.h"

namespace vorndiag {

int recorded_line(LineBuffer &buf) { return vornRunKey(buf, sizeof buf); }

bool record_line(const LineBuffer &buf, bool read, bool failed) {
  vornRunKeyNote(buf, read ? 1 : failed ? -1 : 0);
  return read;
}

int taken_key(int seen) {
  const char typed[2] = {static_cast<char>(seen), '\0'};
  const char *taken = nullptr;
  if (vornRunEvent(VORN_EVENT_KEY_PRESS, seen > 0 ? typed : "", &taken) != 1 || taken[1] != '\0')
    return -1;
  return static_cast<unsigned char>(taken[0]);
}

} // namespace vorndiag
