// Time in a port trace: a mark "# t +<us>" before an access whenever the
// clock has moved on by kMarkStepUs or more since the last mark, and before
// the first; <us> is the time since the last mark (since
// the trace began, for the first), so that the marks add up to the time of
// the run. Accesses between two marks happened within kMarkStepUs of the
// first. Steps compress far better than times would.
#ifndef VORN_TRACE_TIME_H
#define VORN_TRACE_TIME_H

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace vorn::trace {

// Coarse enough that the marks of a fast loop cost little room, fine
// enough to tell a pass, a board that stopped answering, or a slow answer.
inline constexpr std::uint64_t kMarkStepUs = 200;
inline constexpr char kTimeNote[] = "t";

// A source of microseconds, for a port with a time of its own (the
// simulator's clock). now_us nullptr: the monotonic clock.
struct Clock {
  std::uint64_t (*now_us)(void *context) = nullptr;
  void *context = nullptr;
  std::uint64_t now() const noexcept;
  bool operator==(const Clock &) const = default;
};

// CLOCK_MONOTONIC through the vDSO: no system call.
std::uint64_t monotonic_us() noexcept;

// The longest mark line, line end included.
inline constexpr std::size_t kMarkLineMax = 28;

class TimeMarks {
public:
  // Time 0 is now; `clock` is read at each line and must outlive this.
  void start(const Clock *clock) noexcept;
  void stop() noexcept { clock_ = nullptr; }
  // The mark due before the next line, line end included, as a view into
  // `text`; empty when none is.
  std::string_view due(char (&text)[kMarkLineMax]) noexcept;

private:
  const Clock *clock_ = nullptr;
  Clock source_;           // the clock the last reading came from
  std::uint64_t last_ = 0; // that reading
  std::uint64_t since_mark_ = 0;
  bool marked_ = false;
};

// Whether `note` (the text after "# ") is a time mark; its step in `us`.
bool parse_time_mark(std::string_view note, std::uint64_t &us) noexcept;

} // namespace vorn::trace

#endif
