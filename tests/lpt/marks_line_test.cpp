// The marks file's lines, in whatever pieces they are written: each handed
// on at its line end; one without a line end holds no more than a mark's
// bound, however much comes.
#include "marks_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vorn::sim {
namespace {

std::vector<std::string> lines_of(MarksLine &marks, const std::vector<std::string> &writes) {
  std::vector<std::string> lines;
  for (const std::string &w : writes)
    marks.take(w, [&](const std::string &line) { lines.push_back(line); });
  return lines;
}

TEST(MarksLine, LinesInAnyPieces) {
  const struct {
    std::vector<std::string> writes;
    std::vector<std::string> lines;
    std::string pending;
  } cases[] = {
      {{"boot\n"}, {"boot"}, ""},
      {{"bo", "ot\r\n", "x"}, {"boot"}, "x"},
      {{"a\nb\n\n"}, {"a", "b", ""}, ""},
      {{"!power-on\r\n"}, {"!power-on"}, ""},
      {{std::string("a\0b\n", 4)}, {std::string("a\0b", 3)}, ""},
  };
  for (const auto &c : cases) {
    MarksLine marks;
    EXPECT_EQ(lines_of(marks, c.writes), c.lines);
    EXPECT_EQ(marks.pending(), c.pending);
  }
}

// 1 MiB without a line end, in writes of FUSE's usual size: the line holds
// its first kMarkMax bytes and no more; the line end hands those on, and the
// next line starts afresh.
TEST(MarksLine, ALineWithoutEndIsCutAtTheBound) {
  MarksLine marks;
  std::vector<std::string> lines;
  const std::string chunk(4096, 'm');
  for (int i = 0; i < 256; ++i) {
    marks.take(chunk, [&](const std::string &line) { lines.push_back(line); });
    ASSERT_LE(marks.pending().size(), kMarkMax);
  }
  EXPECT_TRUE(lines.empty());
  marks.take("tail\nnext\n", [&](const std::string &line) { lines.push_back(line); });
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], std::string(kMarkMax, 'm'));
  EXPECT_EQ(lines[1], "next");
  EXPECT_EQ(marks.pending(), "");
}

} // namespace
} // namespace vorn::sim
