// Time marks: due when the clock has moved on a step since the last one,
// adding up to the time of the run, never running back when the clock is
// changed mid-run; and a line typed at a prompt comes back byte for byte.
#include "trace_time.h"
#include "run_note.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vorn::trace {
namespace {

std::uint64_t read_value(void *context) { return *static_cast<std::uint64_t *>(context); }

// The marks written before lines read at `times`; "" where none is due.
std::vector<std::string> marks_at(std::uint64_t start, const std::vector<std::uint64_t> &times) {
  std::uint64_t now = start;
  const Clock clock{read_value, &now};
  TimeMarks marks;
  marks.start(&clock);
  std::vector<std::string> written;
  for (const std::uint64_t t : times) {
    now = t;
    char text[kMarkLineMax];
    written.emplace_back(marks.due(text));
  }
  return written;
}

TEST(TimeMarks, DueAStepAfterTheLastAndAddingUpToTheTime) {
  constexpr std::uint64_t s = kMarkStepUs;
  struct Case {
    const char *name;
    std::uint64_t start;
    std::vector<std::uint64_t> times;
    std::vector<std::string> marks;
  };
  const std::vector<Case> cases = {
      {"first line always marked", 1000, {1000, 1001}, {"# t +0\n", ""}},
      {"time before the first line", 1000, {1007}, {"# t +7\n"}},
      {"a step less one is not due",
       0,
       {0, s - 1, s, s + 1},
       {"# t +0\n", "", "# t +" + std::to_string(s) + "\n", ""}},
      {"a long wait in one mark", 5, {5, 5 + 3'000'000}, {"# t +0\n", "# t +3000000\n"}},
      {"small moves add up to a step",
       0,
       {0, s / 2, s - 1, s + 3},
       {"# t +0\n", "", "", "# t +" + std::to_string(s + 3) + "\n"}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(marks_at(c.start, c.times), c.marks);
  }
}

TEST(TimeMarks, AnotherClockMidRunCarriesOnWhereTheOldOneLeftOff) {
  std::uint64_t virtual_us = 0;
  Clock in_use{read_value, &virtual_us};
  TimeMarks marks;
  marks.start(&in_use);
  char text[kMarkLineMax];
  EXPECT_EQ(marks.due(text), "# t +0\n");
  virtual_us = 40;
  EXPECT_EQ(marks.due(text), "");
  // The port taken away: the monotonic clock, far ahead of the virtual one.
  in_use = {};
  EXPECT_EQ(marks.due(text), "");
  // And a virtual clock put back, far behind the monotonic one.
  std::uint64_t other = 7;
  in_use = {read_value, &other};
  EXPECT_EQ(marks.due(text), "");
  other = 7 + kMarkStepUs - 40;
  EXPECT_EQ(marks.due(text), "# t +" + std::to_string(kMarkStepUs) + "\n");
}

TEST(TimeMarks, ParsedBackAndOtherNotesRefused) {
  std::uint64_t us = 0;
  EXPECT_TRUE(parse_time_mark("t +0", us));
  EXPECT_EQ(us, 0u);
  EXPECT_TRUE(parse_time_mark("t +18446744073709551615", us));
  EXPECT_EQ(us, UINT64_MAX);
  for (const char *note : {"t", "t +", "t 5", "t +5 s", "t +-5", "time +5",
                           "t +18446744073709551616", "run: vorndiag 378 pos", "key line 5"})
    EXPECT_FALSE(parse_time_mark(note, us)) << note;
}

TEST(TraceWords, TypedBytesComeBackAsTheyWere) {
  const std::string lines[] = {"100",          "",         "-1.25",     "0x55", "two words",
                               "q\"uote",      "back\\",   "tab\there", "\r",   "a\nb",
                               "\x01\x7f\xff", "\xc3\xa9", "\\x41\"\""};
  for (const std::string &bytes : lines) {
    const std::string word = quote_word(bytes);
    EXPECT_EQ(word.find_first_of("\n\r\t"), std::string::npos) << "one line: " << word;
    std::string back;
    EXPECT_TRUE(unquote_word(word, back)) << word;
    EXPECT_EQ(back, bytes) << word;
  }
}

TEST(TraceWords, DamagedWordsRefused) {
  std::string bytes;
  for (const char *word :
       {"", "\"open", "\"bad \\q\"", "\"\\x4\"", "\"\\xzz\"", "\"a\" b", "a b", "\"end\\\""})
    EXPECT_FALSE(unquote_word(word, bytes)) << word;
}

} // namespace
} // namespace vorn::trace
