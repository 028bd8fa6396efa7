// One run of the real front end, in this process, on a fresh simulated board
// set: the arguments as given, standard input read from a byte buffer, the
// loops bounded, and exit() caught. What every run must leave behind is
// checked here; a breach aborts, which libFuzzer reports as a crash.
#ifndef VORN_FUZZ_FRONT_END_RUN_H
#define VORN_FUZZ_FRONT_END_RUN_H

#include "vornsim.hpp"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vornfuzz {

// Runs vorndiag_main with argv {"vorndiag", args...}. Loops end when the
// simulator's scripted Ctrl-C comes (rig.interrupt_after) or after a few
// dozen pacing pauses, which return at once. Checks afterwards:
// - the status is 0 (returned), or 1, 2 or 255 (through exit);
// - a return went through the end sequence: the rate generators stopped;
// - a syntax error (255) made no port access;
// - no access broke the EPP protocol.
void run_front_end(const std::vector<std::string> &args, const std::uint8_t *input,
                   std::size_t size, const vorn::sim::Rig &rig);

// The default board set on the virtual clock with a scripted Ctrl-C.
vorn::sim::Rig bounded_rig();

} // namespace vornfuzz

#endif
