// One picture of a traced run, drawn by gnuplot: the encoder counts as the
// tool read them, the rate commanded per channel, the spindle speed, the
// digital inputs and outputs as bit rows, and the cycles no board answered
// per block, over the run's time (over the access number on a trace
// without time). The trace is read once and never held: each curve keeps at
// most a few thousand points, thinned as the run goes on.
#ifndef VORNSIM_TRACE_PLOT_H
#define VORNSIM_TRACE_PLOT_H

#include "trace_io.h"

#include <array>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace vorn::sim {

// A curve thinned to at most kMaxPoints: x (which only grows) is grouped
// into buckets that double in width whenever there are too many, each
// keeping its first x and its last value, or the sum of its values.
class Series {
public:
  static constexpr std::size_t kMaxPoints = 2048;
  struct Point {
    std::uint64_t x;
    double y;
  };
  explicit Series(bool sums = false) : sums_(sums) {}
  void add(std::uint64_t x, double y);
  bool empty() const { return points_.empty(); }
  const std::vector<Point> &points() const { return points_; }

private:
  std::vector<Point> points_;
  std::uint64_t width_ = 1;
  bool sums_;
};

// What the picture shows, gathered from a trace.
struct RunPicture {
  static constexpr int kAxes = 4;
  static constexpr int kDioBytes = 4; // inputs 0 and 1, outputs 0 and 1
  static constexpr int kBlocks = 16;
  std::string run;       // the command line, from the run note
  std::string port;      // the way to the port, from its note
  bool timed = false;    // x in microseconds; otherwise the access number
  std::uint64_t end = 0; // x of the last access
  std::array<Series, kAxes> counts;
  std::array<Series, kAxes> rates;
  Series spindle;
  std::array<std::array<Series, 8>, kDioBytes> dio;
  std::array<Series, kBlocks> unanswered = sums<kBlocks>(); // y: cycles in the bucket

private:
  template <std::size_t N> static std::array<Series, N> sums() {
    std::array<Series, N> s;
    s.fill(Series(true));
    return s;
  }
};

// Reads `in` to its end: 0, or 1 after naming a line that is no trace line
// on `err`, or 2 after a read error.
int gather_picture(trace::Input &in, RunPicture &picture, std::ostream &err);

// The gnuplot program that draws `picture` to `output` (SVG, or PNG when
// its name ends in ".png"; empty: SVG on standard output).
std::string plot_script(const RunPicture &picture, const std::string &output);

// Runs gnuplot on `script`, fed through a pipe: 0 when it drew, otherwise 2
// after saying why on `err` (where gnuplot is missing, which package has it).
int draw_with_gnuplot(const std::string &script, std::ostream &err, const char *program);

} // namespace vorn::sim

#endif
