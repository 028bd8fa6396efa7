#include "monitor_view.h"

#include "board_map.h"

#include <cmath>
#include <cstdio>

namespace vorndiag {

namespace {

using namespace vorn::map;

constexpr double kRateWindow = 1.0;  // seconds of counts behind counts/s
constexpr double kChangeShown = 1.0; // a changed input bit is marked this long
constexpr double kLongAgo = -1e9;

BlockLive live_of(const BlockCount &before, const BlockCount &now) {
  const long long cycles = now.cycles - before.cycles;
  if (cycles <= 0)
    return BlockLive::unknown;
  return now.unanswered - before.unanswered >= cycles ? BlockLive::silent : BlockLive::answers;
}

void take_count(EncoderView &e, double seconds, double raw, bool index) {
  e.raw = raw;
  e.history.emplace_back(seconds, raw);
  // The oldest sample kept is the last one at least a window old.
  while (e.history.size() > 2 && seconds - e.history[1].first >= kRateWindow)
    e.history.pop_front();
  const auto &[t0, c0] = e.history.front();
  e.per_second = seconds > t0 ? (raw - c0) / (seconds - t0) : 0.0;
  if (!index)
    return;
  e.index_seen_at = seconds;
  if (e.pulses > 0)
    e.per_turn = std::fabs(raw - e.pulse_count);
  e.pulse_count = raw;
  ++e.pulses;
}

} // namespace

MonitorView start_view(const BoardIds &ids, const MonitorSample &first) {
  MonitorView view;
  view.ids = ids;
  view.started = first.seconds;
  view.now = first.seconds;
  for (auto &bits : view.changed_at)
    bits.fill(kLongAgo);
  for (int n = 0; n < kAxes; ++n)
    take_count(view.encoders[n], first.seconds, first.counts[n], false);
  view.inputs = first.inputs;
  view.at_start = first.blocks;
  view.blocks = first.blocks;
  for (int b = 0; b < kMonitorBlocks; ++b)
    view.live[b] = live_of({}, first.blocks[b]);
  return view;
}

void update_view(MonitorView &view, const MonitorSample &s) {
  view.now = s.seconds;
  for (int b = 0; b < kMonitorBlocks; ++b) {
    // No cycle there since the last refresh: the block keeps its mark.
    if (const BlockLive live = live_of(view.blocks[b], s.blocks[b]); live != BlockLive::unknown)
      view.live[b] = live;
    view.blocks[b] = s.blocks[b];
  }
  // A bus nobody drives reads all ones: no index pulse in that.
  const bool answered = view.live[kEncoderBlock] != BlockLive::silent;
  for (int n = 0; n < kAxes; ++n)
    take_count(view.encoders[n], s.seconds, s.counts[n], answered && ((s.index_bits >> n) & 1u));
  for (int i = 0; i < kMonitorInputs; ++i) {
    const int changed = view.inputs[i] ^ s.inputs[i];
    for (int bit = 0; bit < kInputBits; ++bit)
      if ((changed >> bit) & 1)
        view.changed_at[i][bit] = s.seconds;
    view.inputs[i] = s.inputs[i];
  }
}

void zero_positions(MonitorView &view) {
  for (EncoderView &e : view.encoders)
    e.offset = e.raw;
}

double shown_count(const EncoderView &e) { return e.raw - e.offset; }

bool index_shown(const MonitorView &view, int encoder) {
  return view.now - view.encoders[encoder].index_seen_at < kIndexShown;
}

bool bit_changed_lately(const MonitorView &view, int input, int bit) {
  return view.now - view.changed_at[input][bit] < kChangeShown;
}

std::string board_name(int id) {
  if (id == kNotProbed)
    return "(rategen)";
  struct Type {
    unsigned code;
    const char *name;
  };
  static constexpr Type kTypes[] = {{kTypeEncoder, "Encoder"},
                                    {kTypeDac, "DAC-16"},
                                    {kTypeDio, "DIO"},
                                    {kTypeRategen, "Rategen"}};
  const unsigned type = static_cast<unsigned>(id) >> 4;
  char text[24];
  if (type == kTypeNone)
    return "none";
  for (const Type &t : kTypes)
    if (t.code == type) {
      std::snprintf(text, sizeof text, "%s %x", t.name, static_cast<unsigned>(id) & 0x0Fu);
      return text;
    }
  std::snprintf(text, sizeof text, "? 0x%02x", static_cast<unsigned>(id));
  return text;
}

std::string stopped_board_lines(const MonitorView &view, const char *prog) {
  std::string lines;
  for (int b = 0; b < kMonitorBlocks; ++b) {
    const BlockCount &start = view.at_start[b];
    const BlockCount &end = view.blocks[b];
    const bool answered_at_start = start.cycles > start.unanswered;
    const long long lost = end.unanswered - start.unanswered;
    if (!answered_at_start || lost <= 0)
      continue;
    char line[200];
    std::snprintf(line, sizeof line,
                  "%s: the board at block %d stopped answering during the run: %lld of %lld "
                  "cycles after the start unanswered\n",
                  prog, b, lost, end.cycles - start.cycles);
    lines += line;
  }
  return lines;
}

} // namespace vorndiag
