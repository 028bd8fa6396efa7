// Exact checks on long outputs that repeat one pass text, without regular
// expressions (they recurse per repetition).
#ifndef VORN_RELIABILITY_OUTPUT_SHAPE_H
#define VORN_RELIABILITY_OUTPUT_SHAPE_H

#include <array>
#include <cstddef>
#include <string>
#include <vector>

namespace reliability {

// How many whole copies of `unit` make up `text`; 0 if `text` is anything
// else (or empty). With an empty unit: 1 if `text` is empty, else 0.
std::size_t copies(const std::string &text, const std::string &unit);

// Occurrences of `part` in `text`, not overlapping.
std::size_t occurrences(const std::string &text, const std::string &part);

// `text` without its first `prefix.size()` characters if it begins with
// `prefix`; otherwise a text that cannot match a pass ("\x01").
std::string after(const std::string &text, const std::string &prefix);

// The pieces of `text` that each end with `end`; a last piece without it is
// left out.
std::vector<std::string> split(const std::string &text, char end);

// The first four numbers of a line of counts, rounded to whole counts.
std::array<long, 4> counts_of(const std::string &line);

} // namespace reliability

#endif
