#include "trace_plot.h"

#include "board_map.h"
#include "trace_time.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vorn::sim {

using namespace vorn::map;

void Series::add(std::uint64_t x, double y) {
  if (!points_.empty() && points_.back().x / width_ == x / width_) {
    points_.back().y = sums_ ? points_.back().y + y : y;
    return;
  }
  points_.push_back({x, y});
  if (points_.size() <= kMaxPoints)
    return;
  width_ *= 2;
  std::size_t kept = 0;
  for (std::size_t i = 1; i < points_.size(); ++i) {
    Point &last = points_[kept];
    if (points_[i].x / width_ == last.x / width_)
      last.y = sums_ ? last.y + points_[i].y : points_[i].y;
    else
      points_[++kept] = points_[i];
  }
  points_.resize(kept + 1);
}

namespace {

constexpr char kPortNote[] = "port: ";
constexpr std::uint32_t kDioAddr[RunPicture::kDioBytes] = {kDigIn0, kDigIn1, kDigOut0, kDigOut1};
constexpr double kRateClockHz = 10'000'000.0;

// The bus as the boards see it: the selected address, the direction, the
// last data cycle and whether a timeout is pending.
class Gatherer {
public:
  explicit Gatherer(RunPicture &p) : p_(p) {}

  void note(std::string_view text) {
    std::uint64_t step = 0;
    if (trace::parse_time_mark(text, step)) {
      p_.timed = true;
      now_ += step;
    } else if (text.starts_with(kRunNote) && p_.run.empty()) {
      p_.run = text.substr(std::string_view(kRunNote).size());
      while (p_.run.starts_with(' '))
        p_.run.erase(0, 1);
    } else if (text.starts_with(kPortNote) && p_.port.empty()) {
      p_.port = text.substr(std::string_view(kPortNote).size());
    }
  }

  void access(const trace::Access &a) {
    ++accesses_;
    x();
    const bool write = a.kind == 'W';
    const bool reverse = (control_ & kCtrlDirection) != 0;
    switch (a.offset) {
    case kPortControl:
      if (write)
        control_ = a.value;
      break;
    case kPortStatus:
      if (!write && (a.value & kStatusTimeout) != 0 && !pending_ && cycles_ != 0) {
        p_.unanswered[last_addr_ / kBlockSize].add(x(), 1);
        pending_ = true;
      } else if (write && (a.value & kStatusTimeout) != 0) {
        pending_ = false;
      }
      break;
    case kPortEppAddr:
      if (write && !reverse)
        selected_ = a.value;
      break;
    case kPortEppData:
      if (write != reverse) {
        last_addr_ = selected_;
        ++cycles_;
        data_cycle(selected_++, write, a.value);
      }
      break;
    default:
      break;
    }
  }

private:
  static constexpr char kRunNote[] = "run:";

  std::uint64_t x() {
    p_.end = p_.timed ? now_ : accesses_;
    return p_.end;
  }

  void data_cycle(std::uint8_t addr, bool write, std::uint8_t value) {
    if (!write && addr < kEncCount + kEncoderCount * kCountBytes) {
      const unsigned axis = addr / kCountBytes;
      const unsigned byte = addr % kCountBytes;
      counts_[axis] = (counts_[axis] & ~(0xFFu << (8 * byte))) | (unsigned{value} << (8 * byte));
      if (byte == kCountBytes - 1) // 24 bits, two's complement
        p_.counts[axis].add(
            x(), static_cast<double>(static_cast<std::int32_t>(counts_[axis] << 8) >> 8));
    } else if (write && addr >= kRateCount && addr < kRateCount + kRateChannels * kCountBytes) {
      const unsigned ch = (addr - kRateCount) / kCountBytes;
      const unsigned byte = (addr - kRateCount) % kCountBytes;
      rate_counts_[ch] =
          (rate_counts_[ch] & ~(0xFFu << (8 * byte))) | (unsigned{value} << (8 * byte));
    } else if (write && addr == kRateControl) {
      for (unsigned ch = 0; ch < kRateChannels; ++ch) {
        const bool run = (value >> (2 * ch + 1)) & 1;
        const bool back = (value >> (2 * ch)) & 1;
        const double rate = run ? kRateClockHz / (rate_counts_[ch] + 2.0) : 0.0;
        p_.rates[ch].add(x(), back ? -rate : rate);
      }
    } else if (write && addr == kSpindleSpeed) {
      p_.spindle.add(x(), value);
    } else {
      for (int i = 0; i < RunPicture::kDioBytes; ++i)
        if (addr == kDioAddr[i] && write == (i >= 2))
          for (int bit = 0; bit < 8; ++bit)
            p_.dio[i][bit].add(x(), (value >> bit) & 1);
    }
  }

  RunPicture &p_;
  std::uint64_t now_ = 0;
  std::uint64_t accesses_ = 0;
  std::uint64_t cycles_ = 0;
  std::uint8_t control_ = kCtrlForward;
  std::uint8_t selected_ = 0;
  std::uint8_t last_addr_ = 0;
  bool pending_ = false;
  std::uint32_t counts_[kEncoderCount] = {};
  std::uint32_t rate_counts_[kRateChannels] = {};
};

// A string as gnuplot reads it in single quotes.
std::string quoted(std::string_view text) {
  std::string q = "'";
  for (const char c : text)
    q += c == '\'' ? std::string("''") : std::string(1, c);
  return q + "'";
}

// gnuplot's enhanced text takes _ ^ @ & { } as markup.
std::string plain(std::string_view text) {
  std::string out;
  for (const char c : text) {
    if (std::string_view("_^@&{}\\").find(c) != std::string_view::npos)
      out += '\\';
    out += c;
  }
  return out;
}

// `series` as inline data, held on to `until` when that is later.
void datablock(std::string &s, const std::string &name, const Series &series, double scale,
               std::uint64_t until = 0) {
  s += "$" + name + " << EOD\n";
  char line[64];
  const auto point = [&](std::uint64_t x, double y) {
    std::snprintf(line, sizeof line, "%.9g %.9g\n", static_cast<double>(x) * scale, y);
    s += line;
  };
  for (const Series::Point &p : series.points())
    point(p.x, p.y);
  if (!series.empty() && series.points().back().x < until)
    point(until, series.points().back().y);
  s += "EOD\n";
}

} // namespace

int gather_picture(trace::Input &in, RunPicture &picture, std::ostream &err) {
  Gatherer g(picture);
  std::string_view text;
  int status = 0;
  while (in.next(text)) {
    const trace::Line line = trace::parse_line(text);
    if (line.kind == trace::Line::Kind::access) {
      g.access(line.access);
    } else if (line.kind == trace::Line::Kind::note) {
      g.note(line.note);
    } else {
      if (!in.broken_on())
        err << in.name() << ':' << in.line_number() << ": not a trace line\n";
      status = 1;
      break;
    }
  }
  if (in.failed()) {
    err << in.name() << ": cannot read: " << in.reason() << '\n';
    return 2;
  }
  return status;
}

std::string plot_script(const RunPicture &p, const std::string &output) {
  // Seconds, or milliseconds for a short run; the access number untimed.
  const double scale = p.timed ? (p.end < 500'000 ? 1e-3 : 1e-6) : 1.0;
  std::string s;
  struct Panel {
    std::string title;
    std::string ylabel;
    std::string plots; // the plot command's list
    std::string extra; // settings of its own
  };
  // One time axis for all the panels.
  std::uint64_t x_max = std::max<std::uint64_t>(p.end, 1);
  const auto reach = [&x_max](const Series &series) {
    if (!series.empty())
      x_max = std::max(x_max, series.points().back().x);
  };
  for (int i = 0; i < RunPicture::kAxes; ++i) {
    reach(p.counts[i]);
    reach(p.rates[i]);
  }
  reach(p.spindle);
  for (const auto &byte : p.dio)
    for (const Series &bit : byte)
      reach(bit);
  for (const Series &block : p.unanswered)
    reach(block);
  char xrange[64];
  std::snprintf(xrange, sizeof xrange, "set xrange [0:%.9g]\n",
                static_cast<double>(x_max) * scale * 1.02);
  // A setting holds until the next one: drawn on to the end of the run.
  const auto steps = [&s, x_max, scale](const std::string &name, const Series &series) {
    datablock(s, name, series, scale, x_max);
  };

  std::vector<Panel> panels;
  static constexpr const char *kColours[] = {"#1f77b4", "#d62728", "#2ca02c", "#9467bd"};

  // Widest first, so that channels on the same curve show as nested bands.
  static constexpr const char *kWidths[] = {"4.5", "3.2", "2", "1"};
  std::string counts, rates;
  for (int i = 0; i < RunPicture::kAxes; ++i) {
    const std::string n = std::to_string(i);
    const std::string style = std::string(" lw ") + kWidths[i] + " lc rgb '" + kColours[i] + "'";
    if (!p.counts[i].empty()) {
      datablock(s, "count" + n, p.counts[i], scale);
      counts += std::string(counts.empty() ? "" : ", ") + "$count" + n +
                " using 1:2 with lines lw 1.5 lc rgb '" + kColours[i] + "' title 'encoder " + n +
                "'";
    }
    if (!p.rates[i].empty()) {
      steps("rate" + n, p.rates[i]);
      rates += std::string(rates.empty() ? "" : ", ") + "$rate" + n +
               " using 1:2 with steps lw 1.5 lc rgb '" + kColours[i] + "' title 'channel " + n +
               "'";
    }
  }
  if (!counts.empty())
    panels.push_back({"Encoder counts as read", "counts", counts, ""});
  if (!rates.empty())
    panels.push_back({"Rate commanded", "pulses/s", rates, ""});
  if (!p.spindle.empty()) {
    steps("spindle", p.spindle);
    panels.push_back({"Spindle speed", "speed (0-255)",
                      "$spindle using 1:2 with steps lw 1.5 lc rgb '#ff7f0e' title 'spindle'",
                      "set yrange [0:*]\n"});
  }

  // Bit rows, one above the other, each bit high as a raised line.
  static constexpr const char *kDioNames[] = {"in 0", "in 1", "out 0", "out 1"};
  std::string bits, tics;
  int row = 0;
  for (int i = 0; i < RunPicture::kDioBytes; ++i) {
    if (p.dio[i][0].empty())
      continue;
    for (int bit = 0; bit < 8; ++bit, ++row) {
      const std::string name = "dio" + std::to_string(i) + "_" + std::to_string(bit);
      steps(name, p.dio[i][bit]);
      bits += std::string(bits.empty() ? "" : ", ") + "$" + name + " using 1:($2*0.7+" +
              std::to_string(row) + ") with steps lw 1.2 lc rgb '" +
              (i < 2 ? "#2ca02c" : "#d62728") + "' notitle";
      tics += std::string(tics.empty() ? "" : ", ") + "'" + kDioNames[i] + "." +
              std::to_string(bit) + "' " + std::to_string(row) + ".35";
    }
  }
  if (!bits.empty())
    panels.push_back({"Digital inputs (green) and outputs (red)", "", bits,
                      "set ytics (" + tics + ") font ',8'\nset yrange [-0.5:" +
                          std::to_string(row) + "]\nset grid noytics\n"});

  std::string missed;
  for (int b = 0; b < RunPicture::kBlocks; ++b) {
    if (p.unanswered[b].empty())
      continue;
    const std::string name = "missed" + std::to_string(b);
    datablock(s, name, p.unanswered[b], scale);
    missed += std::string(missed.empty() ? "" : ", ") + "$" + name + " using 1:(" +
              std::to_string(b) + ") with points pt 7 ps 0.8 lc rgb '#d62728' notitle";
  }
  if (!missed.empty())
    panels.push_back({"Cycles no board answered", "block", missed,
                      "set yrange [-0.5:15.5]\nset ytics 0,1,15 font ',8'\n"});

  const int n = static_cast<int>(panels.size());
  const int height = 220 + 230 * std::max(n, 1);
  if (output.ends_with(".png"))
    s += "set terminal pngcairo size 1200," + std::to_string(height) +
         " font 'sans,10' background rgb 'white'\n";
  else
    s += "set terminal svg size 1200," + std::to_string(height) +
         " font 'sans,11' background rgb 'white'\n";
  if (!output.empty())
    s += "set output " + quoted(output) + "\n";
  std::string title = p.run.empty() ? "a traced run" : p.run;
  // The way to the port where the trace names it; otherwise the address
  // the tool was given, its first argument.
  const std::size_t arg = title.find(' ');
  if (!p.port.empty())
    title += "   (port: " + p.port + ")";
  else if (arg != std::string::npos &&
           title.find_first_not_of("0123456789abcdefABCDEF", arg + 1) > arg + 1)
    title += "   (port 0x" + title.substr(arg + 1, title.find(' ', arg + 1) - arg - 1) + ")";
  s += "set multiplot layout " + std::to_string(std::max(n, 1)) + ",1 title " +
       quoted(plain(title)) + " font ',13'\n";
  s += "set grid\nset key outside right top\nset lmargin 12\nset rmargin 16\n";
  if (n == 0) {
    s += "set label 1 'no encoder, rate, spindle or digital I/O traffic in this trace' at graph "
         "0.5,0.5 center\nunset border\nunset tics\nplot [0:1][0:1] NaN notitle\n";
  }
  const std::string xlabel =
      p.timed ? std::string("time since the start of the run (") + (scale < 1e-3 ? "s" : "ms") + ")"
              : "port access number (this trace has no time)";
  for (int i = 0; i < n; ++i) {
    const Panel &panel = panels[static_cast<std::size_t>(i)];
    s += "reset\nset grid\nset key outside right top\nset lmargin 12\nset rmargin 16\n";
    s += "set title " + quoted(panel.title) + "\nset ylabel " + quoted(panel.ylabel) + "\n";
    s += panel.extra;
    s += xrange;
    s += i == n - 1 ? "set xlabel " + quoted(xlabel) + "\n" : "set format x ''\n";
    s += "plot " + panel.plots + "\n";
  }
  s += "unset multiplot\n";
  return s;
}

extern "C" char **environ;

int draw_with_gnuplot(const std::string &script, std::ostream &err, const char *program) {
  int pipe_fds[2];
  if (::pipe2(pipe_fds, O_CLOEXEC) != 0) {
    err << program << ": plot: " << std::strerror(errno) << '\n';
    return 2;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipe_fds[0], STDIN_FILENO);
  char name[] = "gnuplot";
  char *argv[] = {name, nullptr};
  pid_t pid = 0;
  const int spawned = posix_spawnp(&pid, name, &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipe_fds[0]);
  if (spawned != 0) {
    ::close(pipe_fds[1]);
    err << program << ": plot: cannot run gnuplot: " << std::strerror(spawned);
    if (spawned == ENOENT)
      err << " (install it: apt install gnuplot-nox)";
    err << '\n';
    return 2;
  }
  // gnuplot gone early is told by its status, not by a signal to us.
  std::signal(SIGPIPE, SIG_IGN);
  for (std::size_t done = 0; done < script.size();) {
    const ssize_t n = ::write(pipe_fds[1], script.data() + done, script.size() - done);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      break;
    done += static_cast<std::size_t>(n);
  }
  ::close(pipe_fds[1]);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
    return 0;
  err << program << ": plot: gnuplot failed"
      << (WIFEXITED(status) ? " with status " + std::to_string(WEXITSTATUS(status)) : std::string())
      << '\n';
  return 2;
}

} // namespace vorn::sim
