#include "trace_decoder.h"

#include <sstream>

#include "board_map.h"

#include <cstdio>
#include <functional>

namespace vorn::sim {

using namespace vorn::map;

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
  const trace::Line parsed = trace::parse_line(line);
  std::uint64_t step;
  if (parsed.kind == trace::Line::Kind::note && trace::parse_time_mark(parsed.note, step)) {
    time_us_ += step;
    char text[48];
    std::snprintf(text, sizeof text, "-- at %llu.%06llu s\n",
                  static_cast<unsigned long long>(time_us_ / 1'000'000),
                  static_cast<unsigned long long>(time_us_ % 1'000'000));
    out += text;
  } else if (parsed.kind == trace::Line::Kind::note) {
    out.append("-- ").append(parsed.note) += '\n';
  } else if (parsed.kind == trace::Line::Kind::access) {
    decode(parsed.access, out);
  }
  return parsed.kind != trace::Line::Kind::invalid;
}

void TraceDecoder::decode(const trace::Access &a, std::string &out) {
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
}

namespace {

// The lines of one trace through a decoder, whatever reads them: `next`
// gives a line and its number, false at the end.
int decode_lines(const std::function<bool(std::string_view &, std::uint64_t &)> &next,
                 std::ostream &out, std::ostream &err, std::string_view name, bool all) {
  TraceDecoder decoder(all);
  std::string text;
  std::string_view line;
  for (std::uint64_t n = 0; next(line, n);) {
    text.clear();
    if (!decoder.decode(line, text)) {
      err << name << ':' << n << ": not a trace line\n";
      return 1;
    }
    out << text;
  }
  return 0;
}

} // namespace

int decode_trace(std::istream &in, std::ostream &out, std::ostream &err, std::string_view name,
                 bool all) {
  std::string line;
  const auto next = [&](std::string_view &view, std::uint64_t &n) {
    if (!std::getline(in, line))
      return false;
    view = line;
    ++n;
    return true;
  };
  return decode_lines(next, out, err, name, all);
}

int decode_trace(trace::Input &in, std::ostream &out, std::ostream &err, bool all) {
  const auto next = [&](std::string_view &view, std::uint64_t &n) {
    const bool more = in.next(view);
    n = in.line_number();
    return more;
  };
  std::ostringstream bad_line;
  int status = decode_lines(next, out, bad_line, in.name(), all);
  if (status != 0 && !in.broken_on())
    err << bad_line.str();
  if (in.failed()) {
    err << in.name() << ": cannot read: " << in.reason() << '\n';
    status = 2;
  }
  return status;
}

} // namespace vorn::sim
