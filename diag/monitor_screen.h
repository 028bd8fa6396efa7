// monitor's terminal: the screen drawn with ncurses, the keys, and the
// terminal's modes, size and restoration.
//
// ncurses draws into a memory file, never to the terminal itself: after
// each refresh what it wrote goes out through standard output's writer,
// which gives way to a stop (output_check.h). A stalled terminal (Ctrl-S, a
// hung connection) thus never holds up the shut-down. The terminal's modes
// and size are kept here on standard output's descriptor, since ncurses
// does not see the terminal.
#ifndef VORNDIAG_MONITOR_SCREEN_H
#define VORNDIAG_MONITOR_SCREEN_H

#include "monitor_view.h"

#include <string>

namespace vorndiag {

inline constexpr int kScreenRows = 24;
inline constexpr int kScreenCols = 80;

// Before the port is taken: standard output must be a terminal ncurses
// knows. Otherwise says why on standard error and returns true.
bool monitor_terminal_refused(const char *prog);

// Takes the terminal over: false, with a line on standard error, if ncurses
// cannot start.
bool open_screen();
// The whole screen, or the request for a larger terminal; resizing is
// followed. False once standard output fails or its reader has gone.
bool draw_screen(const MonitorView &view, const std::string &port_line, bool paused);
// The next key typed within `timeout_ms`, or -1. Standard input at its end
// is waited on no more.
int wait_key(int timeout_ms);
// Gives the terminal back as it was. What ncurses writes for that stays in
// standard output's buffer, written out after the shut-down.
void close_screen();

} // namespace vorndiag

#endif
