#include "monitor_screen.h"

#include "stop_signals.h"

#include <curses.h>
#include <term.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <poll.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <termios.h>
#include <unistd.h>

namespace vorndiag {

namespace {

// The terminal is standard output; the run frame made sure of it.
constexpr int kTerminal = STDOUT_FILENO;

struct Screen {
  SCREEN *curses = nullptr;
  std::FILE *drawn = nullptr; // the memory file ncurses writes to
  termios modes{};            // the terminal's, to restore
  bool modes_set = false;
  struct sigaction winch {};
  int rows = 0, cols = 0;
  bool input_ended = false;
};
Screen screen;

// What ncurses wrote since the last call, moved to standard output's buffer.
void move_drawn() {
  const int fd = fileno(screen.drawn);
  const off_t size = lseek(fd, 0, SEEK_CUR);
  if (size <= 0)
    return;
  std::string bytes(static_cast<std::size_t>(size), '\0');
  const ssize_t n = pread(fd, bytes.data(), bytes.size(), 0);
  if (n > 0)
    std::fwrite(bytes.data(), 1, static_cast<std::size_t>(n), stdout);
  if (ftruncate(fd, 0) == 0)
    lseek(fd, 0, SEEK_SET);
}

// ncurses cannot see the terminal's size: it is followed here.
void follow_size() {
  winsize size{};
  if (ioctl(kTerminal, TIOCGWINSZ, &size) != 0 || size.ws_row == 0 || size.ws_col == 0)
    return;
  if (size.ws_row == screen.rows && size.ws_col == screen.cols)
    return;
  screen.rows = size.ws_row;
  screen.cols = size.ws_col;
  resizeterm(screen.rows, screen.cols);
  clearok(curscr, TRUE);
}

// Keys arrive one by one and are not echoed; Ctrl-C and Ctrl-Z still
// signal, so that they end the run as they end every other test.
void set_key_modes() {
  if (tcgetattr(kTerminal, &screen.modes) != 0)
    return;
  termios keys = screen.modes;
  keys.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
  keys.c_cc[VMIN] = 1;
  keys.c_cc[VTIME] = 0;
  // TCSANOW: waiting for the output to drain could wait on a stalled terminal.
  screen.modes_set = tcsetattr(kTerminal, TCSANOW, &keys) == 0;
}

void draw_port(const MonitorView &view, const std::string &port_line, bool paused) {
  const long run = static_cast<long>(view.now - view.started);
  mvprintw(0, 0, "vorndiag monitor  %s", port_line.c_str());
  mvprintw(0, kScreenCols - 16, "run %3ld:%02ld:%02ld", run / 3600, run / 60 % 60, run % 60);
  mvprintw(1, 0, "Read-only: nothing is written to the boards but the encoder latch strobe.");
  if (paused) {
    attron(A_REVERSE);
    mvprintw(22, 0, " PAUSED: the boards are still read; p resumes the display ");
    attroff(A_REVERSE);
  }
}

void draw_blocks(const MonitorView &view) {
  for (int col : {0, 40})
    mvprintw(2, col, "%3s %-10s %8s %10s", "blk", "board", "cycles", "unanswered");
  for (int b = 0; b < kMonitorBlocks; ++b) {
    const int row = 3 + b % 8;
    const int col = b < 8 ? 0 : 40;
    const BlockCount &c = view.blocks[b];
    mvprintw(row, col, "%3X %-10s %8lld %10lld", b, board_name(view.ids[b]).c_str(), c.cycles,
             c.unanswered);
    if (view.live[b] == BlockLive::silent) {
      attron(A_REVERSE | A_BOLD);
      mvprintw(row, col + 35, "X");
      attroff(A_REVERSE | A_BOLD);
    }
  }
  mvprintw(11, 0, "X: no board answers there now");
}

void draw_encoders(const MonitorView &view) {
  mvprintw(12, 0, "%3s %12s %11s  %5s %7s  %11s", "enc", "count", "counts/s", "index", "pulses",
           "counts/turn");
  for (int n = 0; n < kAxes; ++n) {
    const EncoderView &e = view.encoders[n];
    mvprintw(13 + n, 0, "%3d %12.0f %11.0f  %5s %7lld", n, shown_count(e), e.per_second,
             index_shown(view, n) ? "*" : ".", e.pulses);
    if (e.per_turn >= 0)
      printw("  %11.0f", e.per_turn);
    else
      printw("  %11s", "-");
  }
}

void draw_inputs(const MonitorView &view) {
  constexpr const char *kNames[kMonitorInputs] = {"din 0 (0x0D)", "din 1 (0x0E)"};
  mvprintw(17, 0, "input         bit 7  6  5  4  3  2  1  0   value");
  for (int i = 0; i < kMonitorInputs; ++i) {
    move(18 + i, 0);
    printw("%-16s", kNames[i]);
    for (int bit = kInputBits - 1; bit >= 0; --bit) {
      const bool on = (view.inputs[i] >> bit) & 1;
      printw(" ");
      if (on)
        attron(A_BOLD);
      printw("%c", on ? '#' : '.');
      attroff(A_BOLD);
      printw("%c", bit_changed_lately(view, i, bit) ? '*' : ' ');
    }
    printw("  0x%02x", static_cast<unsigned>(view.inputs[i]) & 0xFFu);
  }
  mvprintw(19, 50, "the emergency-stop read");
  mvprintw(20, 0, "#: on  .: off  *: changed in the last second");
}

void draw_too_small() {
  mvprintw(0, 0, "monitor needs a terminal");
  mvprintw(1, 0, "of at least %d x %d;", kScreenCols, kScreenRows);
  mvprintw(2, 0, "this one is %d x %d.", screen.cols, screen.rows);
  mvprintw(3, 0, "Enlarge it, or q to end.");
}

} // namespace

bool monitor_terminal_refused(const char *prog) {
  if (isatty(kTerminal) == 0) {
    std::fprintf(stderr,
                 "%s: monitor draws a full screen and needs a terminal as standard output; "
                 "for a stream of counts or inputs use pos or diocontinuous\n",
                 prog);
    return true;
  }
  int known = 0;
  if (setupterm(nullptr, kTerminal, &known) != OK) {
    const char *term = std::getenv("TERM");
    std::fprintf(stderr, "%s: monitor cannot draw on this terminal: TERM=%s is not known\n", prog,
                 term != nullptr ? term : "(unset)");
    return true;
  }
  del_curterm(cur_term);
  return false;
}

bool open_screen() {
  const int fd = memfd_create("vorndiag-screen", MFD_CLOEXEC);
  screen.drawn = fd >= 0 ? fdopen(fd, "w") : nullptr;
  if (screen.drawn == nullptr) {
    if (fd >= 0)
      close(fd);
    std::fprintf(stderr, "%s: monitor: no memory file for the screen: %s\n",
                 program_invocation_name, std::strerror(errno));
    return false;
  }
  // Its own handler would ask the memory file for the size.
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGWINCH, &ignore, &screen.winch);
  screen.curses = newterm(nullptr, screen.drawn, stdin);
  if (screen.curses == nullptr) {
    std::fprintf(stderr, "%s: monitor: ncurses cannot start on this terminal\n",
                 program_invocation_name);
    close_screen();
    return false;
  }
  typeahead(-1); // keys are read here, not by ncurses: never cut a refresh short
  curs_set(0);
  set_key_modes();
  screen.rows = screen.cols = 0;
  return true;
}

bool draw_screen(const MonitorView &view, const std::string &port_line, bool paused) {
  follow_size();
  erase();
  if (screen.rows < kScreenRows || screen.cols < kScreenCols) {
    draw_too_small();
  } else {
    draw_port(view, port_line, paused);
    draw_blocks(view);
    draw_encoders(view);
    draw_inputs(view);
    mvprintw(23, 0, "q or Ctrl-C: end   z: zero the positions   p: pause the display");
  }
  refresh();
  move_drawn();
  return std::fflush(stdout) == 0 && std::ferror(stdout) == 0 && !output_reader_gone();
}

int wait_key(int timeout_ms) {
  pollfd in{STDIN_FILENO, POLLIN, 0};
  if (screen.input_ended || poll(&in, 1, timeout_ms) <= 0) {
    if (screen.input_ended)
      poll(nullptr, 0, timeout_ms);
    return -1;
  }
  unsigned char key = 0;
  const ssize_t n = read(STDIN_FILENO, &key, 1);
  if (n == 1)
    return key;
  if (n == 0 || (errno != EINTR && errno != EAGAIN))
    screen.input_ended = true;
  return -1;
}

void close_screen() {
  if (screen.curses != nullptr) {
    endwin();
    move_drawn();
    delscreen(screen.curses);
    screen.curses = nullptr;
  }
  if (screen.drawn != nullptr) {
    std::fclose(screen.drawn);
    screen.drawn = nullptr;
  }
  if (screen.modes_set)
    tcsetattr(kTerminal, TCSANOW, &screen.modes);
  screen.modes_set = false;
  sigaction(SIGWINCH, &screen.winch, nullptr);
}

} // namespace vorndiag
