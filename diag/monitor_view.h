// What monitor shows, worked out from one sample of the boards per refresh.
// No port access here: the samples are taken elsewhere.
#ifndef VORNDIAG_MONITOR_VIEW_H
#define VORNDIAG_MONITOR_VIEW_H

#include "bus_probe.h"
#include "frame.h"

#include <array>
#include <deque>
#include <string>

namespace vorndiag {

inline constexpr int kMonitorBlocks = static_cast<int>(vorn::map::kBlockCount);
inline constexpr int kMonitorInputs = 2;
inline constexpr int kInputBits = 8;

struct BlockCount {
  long long cycles = 0;
  long long unanswered = 0;
};

// One look at the boards.
struct MonitorSample {
  double seconds = 0; // a steady clock
  std::array<double, kAxes> counts{};
  unsigned index_bits = 0; // bit n: encoder n's latched index
  std::array<int, kMonitorInputs> inputs{};
  std::array<BlockCount, kMonitorBlocks> blocks{};
};

enum class BlockLive {
  unknown, // no cycle there yet
  answers,
  silent, // its last cycles all went unanswered
};

struct EncoderView {
  double raw = 0;    // the driver's count
  double offset = 0; // z: subtracted for display only
  double per_second = 0;
  double index_seen_at = -1e9; // when the last index bit was read set
  long long pulses = 0;
  double pulse_count = 0; // raw count at the last pulse
  double per_turn = -1;   // counts between the last two pulses; -1 until then
  std::deque<std::pair<double, double>> history; // (seconds, raw) over the last second
};

struct MonitorView {
  BoardIds ids{};
  double started = 0;
  double now = 0;
  std::array<EncoderView, kAxes> encoders{};
  std::array<int, kMonitorInputs> inputs{};
  std::array<std::array<double, kInputBits>, kMonitorInputs> changed_at{};
  std::array<BlockCount, kMonitorBlocks> blocks{};
  std::array<BlockCount, kMonitorBlocks> at_start{};
  std::array<BlockLive, kMonitorBlocks> live{};
};

// The view after the board map was read, from the first sample.
MonitorView start_view(const BoardIds &ids, const MonitorSample &first);
void update_view(MonitorView &view, const MonitorSample &s);
// z: the displayed positions start again from 0.
void zero_positions(MonitorView &view);

double shown_count(const EncoderView &e);
// The index bit stays on the screen this long, so that a pulse is seen.
inline constexpr double kIndexShown = 0.5;
bool index_shown(const MonitorView &view, int encoder);
bool bit_changed_lately(const MonitorView &view, int input, int bit);

// The board a block's ID byte names ("Encoder 1", "none", ...).
std::string board_name(int id);

// A board that answered at the start and later left cycles unanswered:
// one line each for standard error, for the run's end.
std::string stopped_board_lines(const MonitorView &view, const char *prog);

} // namespace vorndiag

#endif
