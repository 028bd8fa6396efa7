// The lines read at a prompt, in the port trace where they were read, so
// that a replay answers the prompts as the recorded run was answered,
// whatever its own standard input:
//   key line <word>   a line, <word> without its line end
//   key part <word>   the first bytes of a line too long for one read, or
//                     the last bytes of the input, which had no line end
//   key end           end of input, nothing read
//   key error         the read failed
//   key press <word>  a key monitor took on its own, where it took it
// (<word> quoted as the run note quotes an argument). A cut wait is the keyboard cut event.
#ifndef VORNDIAG_KEY_TRACE_H
#define VORNDIAG_KEY_TRACE_H

#include "keyboard.h"

#include <cstddef>

namespace vorndiag {

// What a replay recorded at this read: 1 a line (now in `buf`), 0 the end
// of the answers; -1 when the run has no recorded keys: read the keyboard.
int recorded_line(LineBuffer &buf);
// Notes what the read gave: `buf` when `read` (a line or its part), the end
// of input or a read error (`failed`) when not. Returns `read`.
bool record_line(const LineBuffer &buf, bool read, bool failed);

// The key taken here: `seen` (a byte typed, -1 none) noted as taken, or in
// a replay the key its recording took here, whatever was typed; -1 none.
int taken_key(int seen);

} // namespace vorndiag

#endif
