// Keyboard answers of the interactive tests: one line at a time, integers
// as typed.
#ifndef VORNDIAG_KEYBOARD_H
#define VORNDIAG_KEYBOARD_H

#include "frame.h"

namespace vorndiag {

using LineBuffer = char[kLineSize];

// At most kLineSize - 1 characters of the next line; a longer line is left
// for the next read. False at end of input, on a read error, and when
// a stop signal ends the wait (see keyboard_cut()): callers take all three as
// the end of the answers. Standard output is flushed first, so the prompt
// shows before the wait.
bool read_line(LineBuffer &buf);
// A stop cut a read short (live, or where a replay's recording did): the
// test ends at once, saying nothing more.
bool keyboard_cut();

// The line as strtol reads it in base 0 ("0x" hexadecimal, a leading 0
// octal), reduced to int by keeping the low 32 bits.
int line_int(const char *text);

// The first character is a decimal digit.
bool starts_with_digit(const char *text);

} // namespace vorndiag

#endif
