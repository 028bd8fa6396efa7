// check: go/no-go. One line per point, each starting with PASS, WARN or
// FAIL, then, after the shut-down, the stop's line and a summary line of the
// same form. It starts no motor: the only rate generator write is the
// shut-down's stop.
#include "board_map.h"
#include "bus_probe.h"
#include "frame.h"
#include "stop_signals.h"

#include "vorn.h"

#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace vorndiag {

namespace {

using namespace vorn::map;

enum class Verdict { pass, warn, fail };

struct Tally {
  int warned = 0;
  int failed = 0;
  int lines = 0;
};

// From the test to its summary after the shut-down.
Tally points;
bool rate_found = false;
long long asked_cycles = 0;
long long run_cycles = 0;

constexpr const char *verdict_word(Verdict v) {
  return v == Verdict::pass ? "PASS" : v == Verdict::warn ? "WARN" : "FAIL";
}

void line(Tally &tally, Verdict v, const std::string &text) {
  ++tally.lines;
  tally.warned += v == Verdict::warn;
  tally.failed += v == Verdict::fail;
  std::printf("%s %s\n", verdict_word(v), text.c_str());
}

std::string hex(unsigned value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%x", value);
  return text;
}

// Whether the port runs EPP, as far as this PC tells: today the kernel's
// list of modes.
Verdict epp_verdict(const vorn_port_way &port, std::string &how) {
  if (port.epp < 0) {
    how = "EPP not known (the kernel lists no modes for it)";
    return Verdict::warn;
  }
  how = std::string("kernel modes ") + port.modes + (port.epp == 1 ? ": EPP present" : ": no EPP");
  return port.epp == 1 ? Verdict::pass : Verdict::fail;
}

void check_port(Tally &tally) {
  vorn_port_way port;
  if (vornPortWay(&port) != 0) {
    line(tally, Verdict::fail, std::string("port: ") + std::strerror(errno));
    return;
  }
  const std::string way = port.name;
  const std::string at = "port " + hex(port.base);
  if (port.way == VORN_WAY_OTHER) {
    line(tally, Verdict::pass, "port: " + way + " " + at + " (no kernel port to ask)");
    return;
  }
  std::string how;
  const Verdict v = epp_verdict(port, how);
  const std::string through = port.way == VORN_WAY_DEVICE && port.listed
                                  ? std::string(" through ") + port.device
                                  : std::string(" through the registers");
  line(tally, v, "port: " + way + " " + at + through + ", " + how);
}

std::string board_name(unsigned id) {
  switch (id >> 4) {
  case kTypeEncoder:
    return "encoder";
  case kTypeDac:
    return "DAC-16";
  case kTypeDio:
    return "DIO";
  case kTypeRategen:
    return "rate generator";
  default:
    return "unknown board " + hex(id);
  }
}

bool board_at(const BoardIds &ids, std::uint32_t block, unsigned type) {
  return ids[block] != kNotProbed && static_cast<unsigned>(ids[block]) >> 4 == type;
}

// The encoder and the rate generator are what the tool drives; the others
// are listed.
bool check_bus(Tally &t) {
  const BoardIds ids = probe_boards();
  std::string found;
  for (std::uint32_t block = 0; block < kBlockCount; ++block) {
    if (ids[block] == kNotProbed || static_cast<unsigned>(ids[block]) >> 4 == kTypeNone)
      continue;
    const auto id = static_cast<unsigned>(ids[block]);
    found += (found.empty() ? "" : ", ") + board_name(id) + " v" + std::to_string(id & 0x0F) +
             " at block " + std::to_string(block);
  }
  const bool encoder = board_at(ids, kEncoderBlock, kTypeEncoder);
  const bool rate = board_at(ids, kRateBlock, kTypeRategen);
  std::string missing;
  if (!encoder)
    missing += "no encoder board at block 0";
  if (!rate)
    missing += std::string(missing.empty() ? "" : ", ") + "no rate generator at block 1";
  if (found.empty())
    found = "no board answered at any block";
  line(t, encoder && rate ? Verdict::pass : Verdict::fail,
       "bus: " + found + (missing.empty() ? "" : "; " + missing));
  return rate;
}

long long unanswered_at(std::uint32_t block) {
  long long cycles = 0;
  long long unanswered = 0;
  vornBusAccount(static_cast<int>(block), &cycles, &unanswered);
  return unanswered;
}

constexpr std::int32_t kCountMask = 0xFFFFFF;

std::int32_t count_of(const unsigned (&bytes)[vorn::map::kCountBytes]) {
  return static_cast<std::int32_t>(bytes[0] | bytes[1] << 8 | bytes[2] << 16);
}

// a - b on the 24-bit counter, as a signed 24-bit value.
std::int32_t difference(std::int32_t a, std::int32_t b) {
  const std::int32_t d = (a - b) & kCountMask;
  return d >= 0x800000 ? d - 0x1000000 : d;
}

// A counter turning from outside moves on between the preset load and the
// latch, and on the same way (or not at all, when slow) between that latch
// and the next. A corrupted byte does not follow: a counter at rest reads
// the pattern again, so the second step undoes the first; a flip against
// the motion or beyond it turns the step round.
constexpr std::int32_t kMotionSlack = 1; // a slow counter's count between load and latch

bool moved_by_motion(std::int32_t off, std::int32_t step) {
  if (step == 0)
    return std::abs(off) <= kMotionSlack;
  return (step > 0) == (off > 0);
}

// A read-back off by more than that while the counter stood between the
// latches: motion if the axis turned that way during the run, else an error.

struct AxisMotion {
  long long steps = 0; // counts between the two latches, over all cycles
  long long ups = 0, downs = 0;
  long long held_up = 0, held_down = 0; // off that way, standing between the latches
  // Turned one way only: noise flips both ways.
  int direction() const { return steps == 0 || (ups > 0 && downs > 0) ? 0 : steps > 0 ? 1 : -1; }
};

struct Communication {
  long long run = 0, errors = 0, moved = 0;
  std::array<AxisMotion, kAxes> axes{};
  double seconds = 0; // between the two latches, over all cycles
};

// One cycle, then the counts latched and read again with no write between.
void checked_cycle(Communication &comm) {
  using std::chrono::steady_clock;
  CommCycle c;
  comm_load(c);
  const steady_clock::time_point first = steady_clock::now();
  latch_and_read(c.got);
  const steady_clock::time_point second = steady_clock::now();
  Readback again;
  latch_and_read(again);
  comm.seconds += std::chrono::duration<double>(second - first).count();
  const std::int32_t pattern = count_of(c.pattern);
  for (int axis = 0; axis < kAxes; ++axis) {
    const std::int32_t off = difference(count_of(c.got[axis]), pattern);
    const std::int32_t step = difference(count_of(again[axis]), count_of(c.got[axis]));
    AxisMotion &m = comm.axes[axis];
    m.steps += step;
    m.ups += step > 0;
    m.downs += step < 0;
    if (off == 0)
      continue;
    if (moved_by_motion(off, step))
      ++comm.moved;
    else if (step == 0) // the process may have waited between load and latch
      ++(off > 0 ? m.held_up : m.held_down);
    else
      ++comm.errors;
  }
}

void settle_held(Communication &comm) {
  for (const AxisMotion &m : comm.axes) {
    const long long with = m.direction() > 0 ? m.held_up : m.direction() < 0 ? m.held_down : 0;
    comm.moved += with;
    comm.errors += m.held_up + m.held_down - with;
  }
}

std::string motion_text(const Communication &comm) {
  std::string text;
  for (int axis = 0; axis < kAxes; ++axis) {
    const AxisMotion &m = comm.axes[axis];
    if (m.direction() == 0 || comm.seconds <= 0)
      continue;
    char part[80];
    std::snprintf(part, sizeof part, "%saxis %d about %+.0f counts/s", text.empty() ? "" : ", ",
                  axis, static_cast<double>(m.steps) / comm.seconds);
    text += part;
  }
  return text;
}

void check_communication(Tally &tally, long long cycles) {
  const long long unanswered_before = unanswered_at(kEncoderBlock);
  Communication comm;
  while (comm.run < cycles && !stop_requested()) {
    ++comm.run;
    checked_cycle(comm);
  }
  settle_held(comm);
  run_cycles = comm.run;
  const long long unanswered = unanswered_at(kEncoderBlock) - unanswered_before;
  char text[200];
  const double reads = 4.0 * static_cast<double>(comm.run);
  std::snprintf(text, sizeof text,
                "encoder communication: %lld cycles, %lld errors (%.3g%% of %.0f axis reads), "
                "%lld unanswered",
                comm.run, comm.errors,
                comm.run > 0 ? 100.0 * static_cast<double>(comm.errors) / reads : 0.0, reads,
                unanswered);
  std::string all = text;
  if (comm.moved > 0)
    all += ", " + std::to_string(comm.moved) + " read back moved by the encoders' motion";
  Verdict v = comm.errors > 0 || unanswered > 0 ? Verdict::fail : Verdict::pass;
  if (v == Verdict::pass && comm.run < cycles) {
    v = Verdict::warn;
    all += "; stopped after " + std::to_string(comm.run) + " of " + std::to_string(cycles);
  }
  line(tally, v, all);
  if (const std::string moving = motion_text(comm); !moving.empty())
    line(tally, Verdict::warn,
         "encoder motion: " + moving +
             ": turning while tested; a read-back the motion explains "
             "is no error");
}

// The shut-down's stop, which the tool makes after every test.
void check_stop(Tally &tally, bool stop_taken) {
  if (stop_taken)
    line(tally, Verdict::pass, "rate generator stop: answered");
  else if (!rate_found)
    line(tally, Verdict::fail, "rate generator stop: no rate generator to take it");
  else
    line(tally, Verdict::fail,
         "rate generator stop: not answered: the axes may still be "
         "moving; switch the drives off");
}

} // namespace

void test_check(const TestArgs &args) {
  points = {};
  asked_cycles = args.cycles;
  run_cycles = 0;
  check_port(points);
  rate_found = check_bus(points);
  check_communication(points, args.cycles);
}

// The summary comes after the shut-down, whose stop counts in it. A stop not
// taken is the first thing to act on; then a failure; a check stopped before
// its cycles ran gives no verdict.
void check_after_shutdown(bool stop_taken) {
  check_stop(points, stop_taken);
  const bool short_run = run_cycles < asked_cycles;
  if (points.failed > 0)
    line(points, Verdict::fail,
         "check: " + std::to_string(points.failed) + " of " + std::to_string(points.lines) +
             " failed");
  else if (short_run)
    line(points, Verdict::warn,
         "check: incomplete: stopped after " + std::to_string(run_cycles) + " of " +
             std::to_string(asked_cycles) + " communication cycles");
  else if (points.warned > 0)
    line(points, Verdict::warn, "check: passed, " + std::to_string(points.warned) + " warned");
  else
    line(points, Verdict::pass, "check: all " + std::to_string(points.lines) + " passed");
  if (!stop_taken && rate_found)
    test_status = kExitStopNotTaken;
  else if (points.failed > 0)
    test_status = kExitCheckFailed;
  else if (short_run)
    test_status = kExitCheckIncomplete;
  else
    test_status = 0;
}

} // namespace vorndiag
