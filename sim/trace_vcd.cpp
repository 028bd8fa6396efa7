#include "trace_vcd.h"

#include "board_map.h"
#include "trace_time.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

namespace vorn::sim {

namespace {

using namespace vorn::map;

enum Wire { nWrite, nDataStb, nAddrStb, nWait, AD0, timeout = AD0 + 8, kWires };

constexpr const char *kWireNames[kWires] = {"nWrite", "nDataStb", "nAddrStb", "nWait", "AD0",
                                            "AD1",    "AD2",      "AD3",      "AD4",   "AD5",
                                            "AD6",    "AD7",      "timeout"};
constexpr std::uint64_t kUnitsPerUs = 1000 / kVcdUnitNs;
// Strobe low, answered, strobe high, released: the shortest cycle drawn.
constexpr std::uint64_t kCycleUnits = 3;
// Where the trace tells no time: a microsecond a cycle, an ISA port's pace.
constexpr std::uint64_t kUntimedUnits = kUnitsPerUs;
// Accesses held while their time is not yet known; more are drawn as fast as
// cycles go, so that a trace of any length takes bounded memory.
constexpr std::size_t kWindowMax = std::size_t{1} << 16;

bool is_cycle(const trace::Access &a) {
  return a.offset == kPortEppAddr || a.offset == kPortEppData;
}

// The wires' values as changes at times that only go forward; changes at
// one time are written together, the last one for each wire.
class Dump {
public:
  explicit Dump(std::ostream &out) : out_(out) {
    staged_.fill(0);
    staged_[nWrite] = staged_[nDataStb] = staged_[nAddrStb] = 1;
  }

  void header() {
    out_ << "$version vorntrace $end\n$timescale " << kVcdUnitNs << " ns $end\n"
         << "$scope module epp $end\n";
    for (int w = 0; w < kWires; ++w)
      out_ << "$var wire 1 " << id(w) << ' ' << kWireNames[w] << " $end\n";
    out_ << "$upscope $end\n$enddefinitions $end\n#0\n$dumpvars\n";
    for (int w = 0; w < kWires; ++w)
      out_ << static_cast<char>('0' + staged_[w]) << id(w) << '\n';
    out_ << "$end\n";
    shown_ = staged_;
  }

  std::uint64_t now() const { return now_; }
  // Writes what is staged at the current time and moves to `t` (not back).
  void at(std::uint64_t t) {
    if (t <= now_)
      return;
    bool stamped = false;
    for (int w = 0; w < kWires; ++w) {
      if (staged_[w] == shown_[w])
        continue;
      if (!stamped)
        out_ << '#' << now_ << '\n';
      stamped = true;
      out_ << static_cast<char>('0' + staged_[w]) << id(w) << '\n';
    }
    shown_ = staged_;
    now_ = t;
  }
  void set(int wire, bool value) { staged_[wire] = value ? 1 : 0; }
  void end() { at(now_ + 1); }

private:
  static char id(int wire) { return static_cast<char>('!' + wire); }

  std::ostream &out_;
  std::array<std::uint8_t, kWires> staged_{};
  std::array<std::uint8_t, kWires> shown_{};
  std::uint64_t now_ = 0;
};

// The trace's accesses with their times: those between two time marks
// spread evenly over the time between them (at most a mark step, as the
// writer marks at least that often), never closer than a cycle.
class Bus {
public:
  explicit Bus(std::ostream &out) : dump_(out) { dump_.header(); }

  void access(const trace::Access &a) {
    window_.push_back(a);
    if (window_.size() == kWindowMax)
      flush(0);
  }
  void time_mark(std::uint64_t step_us) {
    timed_ = true;
    flush(std::min(step_us, trace::kMarkStepUs) * kUnitsPerUs);
    start_ += step_us * kUnitsPerUs;
  }
  void end() {
    flush(0);
    draw_held(true);
    dump_.end();
  }

private:
  struct Cycle {
    trace::Access access;
    std::uint64_t t;
  };

  // `span` 0: as fast as a cycle goes, or an ISA port's pace on an untimed trace.
  void flush(std::uint64_t span) {
    const auto cycles =
        static_cast<std::uint64_t>(std::count_if(window_.begin(), window_.end(), is_cycle));
    std::uint64_t pace = timed_ ? kCycleUnits : kUntimedUnits;
    if (span != 0 && cycles != 0)
      pace = std::max(kCycleUnits, span / cycles);
    std::uint64_t t = std::max(start_, free_);
    for (const trace::Access &a : window_) {
      if (is_cycle(a)) {
        draw_held(true);
        held_ = {a, t};
        holding_ = true;
        free_ = t + kCycleUnits;
        t = std::max(t + pace, free_);
      } else {
        other(a);
      }
    }
    window_.clear();
  }

  // Status and control: a timeout seen, cleared, the direction turned.
  void other(const trace::Access &a) {
    if (a.offset == kPortStatus && a.kind == 'R' && (a.value & kStatusTimeout) != 0) {
      if (!timed_out_)
        draw_held(false);
      timed_out_ = true;
    } else if (a.offset == kPortStatus && a.kind == 'W' && (a.value & kStatusTimeout) != 0) {
      draw_held(true);
      dump_.at(free_);
      dump_.set(timeout, false);
      timed_out_ = false;
    }
  }

  // The last cycle is drawn once the next access tells whether it was answered.
  void draw_held(bool answered) {
    if (!holding_)
      return;
    holding_ = false;
    const trace::Access &a = held_.access;
    const int strobe = a.offset == kPortEppAddr ? nAddrStb : nDataStb;
    dump_.at(held_.t);
    dump_.set(nWrite, a.kind != 'W');
    for (int bit = 0; bit < 8; ++bit)
      dump_.set(AD0 + bit, (a.value >> bit) & 1);
    dump_.set(strobe, false);
    dump_.at(held_.t + 1);
    dump_.set(nWait, answered);
    dump_.at(held_.t + 2);
    dump_.set(strobe, true);
    if (!answered)
      dump_.set(timeout, true);
    dump_.at(held_.t + 3);
    dump_.set(nWait, false);
    dump_.set(nWrite, true);
  }

  Dump dump_;
  std::vector<trace::Access> window_;
  bool timed_ = false;
  std::uint64_t start_ = 0; // time of the window's mark
  std::uint64_t free_ = 0;  // when the last cycle drawn is over
  Cycle held_{};
  bool holding_ = false;
  bool timed_out_ = false;
};

} // namespace

int trace_to_vcd(trace::Input &in, std::ostream &out, std::ostream &err) {
  Bus bus(out);
  std::string_view text;
  while (in.next(text)) {
    const trace::Line line = trace::parse_line(text);
    std::uint64_t step = 0;
    if (line.kind == trace::Line::Kind::access) {
      bus.access(line.access);
    } else if (line.kind == trace::Line::Kind::note) {
      if (trace::parse_time_mark(line.note, step))
        bus.time_mark(step);
    } else {
      if (!in.broken_on())
        err << in.name() << ':' << in.line_number() << ": not a trace line\n";
      break;
    }
  }
  if (in.failed()) {
    err << in.name() << ": cannot read: " << in.reason() << '\n';
    return 2;
  }
  bus.end();
  return text.empty() || trace::parse_line(text).kind != trace::Line::Kind::invalid ? 0 : 1;
}

} // namespace vorn::sim
