// A port trace as the EPP bus drew it, for a logic analyser's viewer: a
// Value Change Dump with one-bit wires nWrite, nDataStb, nAddrStb, nWait,
// AD0-AD7 and timeout, each address and data cycle drawn as the handshake
// goes (strobe low while the byte is on the lines, nWait high when a board
// answers), on the trace's time.
#ifndef VORNSIM_TRACE_VCD_H
#define VORNSIM_TRACE_VCD_H

#include "trace_io.h"

#include <ostream>

namespace vorn::sim {

// The VCD's time unit, in nanoseconds: coarse enough for the readers that
// slow down at finer ones, fine enough for a cycle of a few hundred.
inline constexpr unsigned kVcdUnitNs = 100;

// Writes the VCD of `in` to `out`; 0, or 1 after naming a line that is no
// trace line on `err`, or 2 after a read error.
int trace_to_vcd(trace::Input &in, std::ostream &out, std::ostream &err);

} // namespace vorn::sim

#endif
