#include "trace_decoder.h"

#include "board_map.h"

#include <cstdio>

namespace vorn::sim {

using namespace vorn::map;

namespace {

int hex_digit(char c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  return -1;
}

struct Access {
  char kind;
  unsigned offset;
  std::uint8_t value;
};

bool parse(std::string_view line, Access &a) {
  if (line.size() < 6 || (line[0] != 'R' && line[0] != 'W') || line[1] != ' ')
    return false;
  a.kind = line[0];
  std::size_t i = 2;
  a.offset = 0;
  while (i < line.size() && line[i] >= '0' && line[i] <= '9' && i < 7)
    a.offset = a.offset * 10 + static_cast<unsigned>(line[i++] - '0');
  if (i == 2 || i + 3 != line.size() || line[i] != ' ')
    return false;
  int hi = hex_digit(line[i + 1]);
  int lo = hex_digit(line[i + 2]);
  if (hi < 0 || lo < 0)
    return false;
  a.value = static_cast<std::uint8_t>(hi * 16 + lo);
  return true;
}

} // namespace

void TraceDecoder::emit(std::string &out, const char *format, unsigned a, unsigned b) {
  char text[96];
  std::snprintf(text, sizeof text, format, a, b);
  out += text;
  out += '\n';
}

void TraceDecoder::control_write(std::uint8_t value, std::string &out) {
  const std::uint8_t old = control_;
  control_ = value;
  if ((old & kCtrlNInit) && !(value & kCtrlNInit))
    emit(out, "bus reset");
  if ((old ^ value) & kCtrlDirection)
    emit(out, value & kCtrlDirection ? "direction reverse" : "direction forward");
  else if (all_)
    emit(out, "control <- 0x%02x", value);
}

bool TraceDecoder::decode(std::string_view line, std::string &out) {
  Access a{};
  if (!parse(line, a))
    return false;
  const bool reverse = control_ & kCtrlDirection;
  const bool write = a.kind == 'W';
  switch (a.offset) {
  case kPortData:
    emit(out, write ? "data register <- 0x%02x" : "data register -> 0x%02x", a.value);
    break;
  case kPortStatus:
    if (write && (a.value & kStatusTimeout)) {
      emit(out, "timeout cleared");
      pending_ = false;
    } else if (!write && (a.value & kStatusTimeout)) {
      if (!pending_)
        emit(out, "timeout pending");
      pending_ = true;
    } else {
      pending_ = pending_ && write;
      if (all_)
        emit(out, write ? "status <- 0x%02x" : "status -> 0x%02x", a.value);
    }
    break;
  case kPortControl:
    if (write)
      control_write(a.value, out);
    else if (all_)
      emit(out, "control -> 0x%02x", a.value);
    break;
  case kPortEppAddr:
    if (!write)
      emit(out, "address register -> 0x%02x", a.value);
    else if (reverse)
      emit(out, "select 0x%02x in reverse direction (no board sees it)", a.value);
    else
      emit(out, "select 0x%02x", selected_ = a.value);
    break;
  case kPortEppData:
    if (write && reverse) {
      emit(out, "write 0x%02x in reverse direction (reaches no board)", a.value);
      break;
    }
    if (write)
      emit(out, "write 0x%02x to 0x%02x", a.value, selected_);
    else
      emit(out, reverse ? "read 0x%02x -> 0x%02x" : "read 0x%02x -> 0x%02x in forward direction",
           selected_, a.value);
    ++selected_;
    break;
  default:
    emit(out, write ? "port base+%u <- 0x%02x" : "port base+%u -> 0x%02x", a.offset, a.value);
    break;
  }
  return true;
}

int decode_trace(std::istream &in, std::ostream &out, std::ostream &err, std::string_view name,
                 bool all) {
  TraceDecoder decoder(all);
  std::string line;
  std::string text;
  for (unsigned n = 1; std::getline(in, line); ++n) {
    text.clear();
    if (!decoder.decode(line, text)) {
      err << name << ':' << n << ": not a trace line\n";
      return 1;
    }
    out << text;
  }
  return 0;
}

} // namespace vorn::sim
