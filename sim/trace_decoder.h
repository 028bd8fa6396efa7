// Turns a port trace back into bus cycles for people: "select 0x1c",
// "write 0x00 to 0x1c", "read 0x0d -> 0xa5", "timeout cleared",
// "direction reverse". Port accesses with nothing to tell (clean status
// checks, control reads, control writes that keep the direction) are shown
// only when asked for all. Note lines show as "-- <text>", time marks as
// "-- at <seconds> s", the time since the trace began.
#ifndef VORNSIM_TRACE_DECODER_H
#define VORNSIM_TRACE_DECODER_H

#include "board_map.h"
#include "trace_io.h"

#include <cstdint>
#include <istream>
#include <ostream>
#include <string>
#include <string_view>

namespace vorn::sim {

class TraceDecoder {
public:
  explicit TraceDecoder(bool all) : all_(all) {}
  // Decodes one trace line (no line end) into `out`, a line each;
  // false when the line is neither "R|W <offset> <hh>" nor a note.
  bool decode(std::string_view line, std::string &out);
  void decode(const trace::Access &a, std::string &out);
  // The bus address the next data cycle reaches.
  std::uint8_t selected() const { return selected_; }

private:
  void emit(std::string &out, const char *format, unsigned a = 0, unsigned b = 0);
  void control_write(std::uint8_t value, std::string &out);

  bool all_;
  std::uint8_t control_ = map::kCtrlForward; // the port starts out of reset
  std::uint8_t selected_ = 0;
  bool pending_ = false; // a timeout shown and not yet cleared
  std::uint64_t time_us_ = 0;
};

// Decodes a whole trace; returns 0, or 1 after naming the first bad line
// ("<name>:<line>: not a trace line") on `err`, or 2 after a read error
// ("<name>: cannot read: <reason>").
int decode_trace(std::istream &in, std::ostream &out, std::ostream &err, std::string_view name,
                 bool all);
int decode_trace(trace::Input &in, std::ostream &out, std::ostream &err, bool all);

} // namespace vorn::sim

#endif
