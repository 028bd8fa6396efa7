#include "trace_time.h"

#include <ctime>

namespace vorn::trace {

std::uint64_t monotonic_us() noexcept {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<std::uint64_t>(ts.tv_sec) * 1'000'000u +
         static_cast<std::uint64_t>(ts.tv_nsec) / 1000u;
}

std::uint64_t Clock::now() const noexcept {
  return now_us != nullptr ? now_us(context) : monotonic_us();
}

void TimeMarks::start(const Clock *clock) noexcept {
  clock_ = clock;
  source_ = *clock;
  last_ = source_.now();
  since_mark_ = 0;
  marked_ = false;
}

// A port put in place or taken away mid-run changes the clock: its first
// reading is where the old one left off, so that time never runs back.
std::string_view TimeMarks::due(char (&text)[kMarkLineMax]) noexcept {
  if (clock_ == nullptr)
    return {};
  const Clock source = *clock_;
  const std::uint64_t now = source.now();
  if (source == source_ && now > last_)
    since_mark_ += now - last_;
  source_ = source;
  last_ = now;
  if (marked_ && since_mark_ < kMarkStepUs)
    return {};
  char *p = text + kMarkLineMax;
  *--p = '\n';
  std::uint64_t us = since_mark_;
  do {
    *--p = static_cast<char>('0' + us % 10);
    us /= 10;
  } while (us != 0);
  for (const char c : {'+', ' ', kTimeNote[0], ' ', '#'})
    *--p = c;
  since_mark_ = 0;
  marked_ = true;
  return {p, static_cast<std::size_t>(text + kMarkLineMax - p)};
}

bool parse_time_mark(std::string_view note, std::uint64_t &us) noexcept {
  if (note.size() < 4 || note[0] != kTimeNote[0] || note.substr(1, 2) != " +")
    return false;
  us = 0;
  for (const char c : note.substr(3)) {
    const auto digit = static_cast<std::uint64_t>(c - '0');
    if (c < '0' || c > '9' || us > (UINT64_MAX - digit) / 10)
      return false;
    us = us * 10 + digit;
  }
  return true;
}

} // namespace vorn::trace
