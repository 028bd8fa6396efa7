// The trace file: one parser for every reader, written plain and gzipped,
// read back whatever its name, and every failure reported with its cause.
#include "run_note.h"
#include "trace_files.h"
#include "trace_io.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace vorn::trace {
namespace {

using Kind = Line::Kind;
using vorn::test::TraceFiles;

TEST(ParseLine, AccessesNotesAndEverythingElse) {
  struct Case {
    const char *text;
    Kind kind;
    Access access;
    const char *note;
  };
  const Case cases[] = {
      {"R 4 ff", Kind::access, {'R', 4, 0xff}, ""},
      {"W 0 0a", Kind::access, {'W', 0, 0x0a}, ""},
      {"W 65535 00", Kind::access, {'W', 65535, 0x00}, ""},
      {"R 04 5a", Kind::access, {'R', 4, 0x5a}, ""},
      {"# stop SIGINT", Kind::note, {}, "stop SIGINT"},
      {"#  two spaces", Kind::note, {}, " two spaces"},
      {"#", Kind::note, {}, ""},
      {"#text", Kind::note, {}, "text"},
      {"", Kind::invalid, {}, ""},
      {"R 4 FF", Kind::invalid, {}, ""},   // upper-case hex
      {"R 4 f", Kind::invalid, {}, ""},    // one digit
      {"R 4 fff", Kind::invalid, {}, ""},  // three
      {"R 4 ff ", Kind::invalid, {}, ""},  // trailing blank
      {"R 4 ff\r", Kind::invalid, {}, ""}, // the line end is the reader's
      {"r 4 ff", Kind::invalid, {}, ""},
      {"X 4 ff", Kind::invalid, {}, ""},
      {"R  ff", Kind::invalid, {}, ""},
      {"R 4  ff", Kind::invalid, {}, ""},
      {"R -4 ff", Kind::invalid, {}, ""},
      {"W 65536 00", Kind::invalid, {}, ""},  // no port offset is that large
      {"W 123456 00", Kind::invalid, {}, ""}, // six digits
      {" # note", Kind::invalid, {}, ""},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.text);
    const Line line = parse_line(c.text);
    EXPECT_EQ(line.kind, c.kind);
    if (c.kind == Kind::access) {
      EXPECT_EQ(line.access, c.access);
    } else if (c.kind == Kind::note) {
      EXPECT_EQ(line.note, c.note);
    }
  }
}

std::vector<std::string> all_lines(Input &in) {
  std::vector<std::string> lines;
  for (std::string_view line; in.next(line);)
    lines.emplace_back(line);
  return lines;
}

class TraceOutput : public TraceFiles {};

TEST_F(TraceOutput, WritesTheTraceFormatPlainAndGzippedAndReadsItBack) {
  const std::string expected = "R 0 00\nW 4 ff\nR 1 01\nW 3 1c\nW 12345 a5\n"
                               "# vorndiag 378 pos\n# stop SIGINT\n# two lines as one\n# \n";
  for (const char *name : {"t.trace", "t.trace.gz"}) {
    SCOPED_TRACE(name);
    Output out;
    ASSERT_TRUE(out.open(path(name)));
    out.begin();
    out.access('R', 0, 0x00);
    out.access('W', 4, 0xff);
    out.access('R', 1, 0x01);
    out.access('W', 3, 0x1c);
    out.access('W', 12345, 0xa5);
    out.note("vorndiag 378 pos");
    out.note("stop SIGINT");
    out.note("two lines\nas\rone");
    out.note("");
    EXPECT_TRUE(out.close());
    EXPECT_EQ(out.error(), 0);

    const std::string bytes = read(name);
    if (std::string(name).ends_with(".gz")) {
      ASSERT_GE(bytes.size(), 2u);
      EXPECT_EQ(bytes.substr(0, 2), "\x1f\x8b");
      const std::string command = "gzip -dc '" + path(name) + "' > '" + path("unzipped") + "'";
      ASSERT_EQ(std::system(command.c_str()), 0);
      EXPECT_EQ(read("unzipped"), expected);
    } else {
      EXPECT_EQ(bytes, expected);
    }
    Input in;
    ASSERT_TRUE(in.open(path(name))) << in.reason();
    EXPECT_EQ(all_lines(in),
              (std::vector<std::string>{"R 0 00", "W 4 ff", "R 1 01", "W 3 1c", "W 12345 a5",
                                        "# vorndiag 378 pos", "# stop SIGINT", "# two lines as one",
                                        "# "}));
    EXPECT_FALSE(in.failed());
  }
}

TEST_F(TraceOutput, ManyBuffersFullSurviveTheRoundTrip) {
  constexpr unsigned kLines = 600000; // about 4 MB of text: the write and read buffers wrap
  for (const char *name : {"big.trace", "big.trace.gz"}) {
    SCOPED_TRACE(name);
    Output out;
    ASSERT_TRUE(out.open(path(name)));
    out.begin();
    for (unsigned i = 0; i < kLines; ++i)
      out.access(i % 3 ? 'R' : 'W', static_cast<std::uint16_t>(i % 5),
                 static_cast<std::uint8_t>(i));
    ASSERT_TRUE(out.close());
    Input in;
    ASSERT_TRUE(in.open(path(name)));
    unsigned n = 0;
    for (std::string_view text; in.next(text); ++n) {
      const Line line = parse_line(text);
      ASSERT_EQ(line.kind, Kind::access) << text;
      ASSERT_EQ(line.access, (Access{n % 3 ? 'R' : 'W', static_cast<std::uint16_t>(n % 5),
                                     static_cast<std::uint8_t>(n)}));
      ASSERT_EQ(in.line_number(), n + 1);
    }
    EXPECT_EQ(n, kLines);
    EXPECT_FALSE(in.failed());
  }
}

TEST_F(TraceOutput, AnAttachedFileKeepsItsOrderWithOtherWritesAndStaysOpen) {
  std::FILE *file = std::fopen(path("shared").c_str(), "w+");
  ASSERT_NE(file, nullptr);
  Output out;
  out.attach(file);
  std::fputs("before\n", file);
  out.access('W', 3, 0x0d);
  std::fputs("between\n", file);
  out.note("after");
  EXPECT_TRUE(out.close());
  EXPECT_FALSE(out.is_open());
  out.access('R', 4, 0x00); // closed: goes nowhere
  EXPECT_NE(std::fputs("still open\n", file), EOF);
  std::fclose(file);
  EXPECT_EQ(read("shared"), "before\nW 3 0d\nbetween\n# after\nstill open\n");
}

TEST_F(TraceOutput, OpenFailuresGiveTheErrno) {
  Output out;
  errno = 0;
  EXPECT_FALSE(out.open(path("no/such/folder.trace")));
  EXPECT_EQ(errno, ENOENT);
  errno = 0;
  EXPECT_FALSE(out.open(dir_ + ".gz/"));
  EXPECT_NE(errno, 0);
  errno = 0;
  EXPECT_FALSE(out.open(dir_));
  EXPECT_EQ(errno, EISDIR);
  EXPECT_FALSE(out.is_open());
}

// A full disk: /dev/full, and a ".gz" name for it so that the compressed
// trace goes there too: a node of the same device (a link is not followed),
// which only root may make.
class TraceOutputFullDisk : public TraceFiles {
protected:
  std::string full(bool gz) const {
    if (!gz)
      return "/dev/full";
    const std::string node = path("full.gz");
    struct stat st {};
    if (::access(node.c_str(), F_OK) != 0 &&
        (::stat("/dev/full", &st) != 0 || ::mknod(node.c_str(), S_IFCHR | 0666, st.st_rdev) != 0))
      return {};
    return node;
  }
};

TEST_F(TraceOutputFullDisk, WriteErrorsAreKeptAndReported) {
  for (const bool gz : {false, true}) {
    SCOPED_TRACE(gz ? "gzip" : "plain");
    if (full(gz).empty())
      continue; // not root: no full device under a .gz name
    Output out;
    ASSERT_TRUE(out.open(full(gz)));
    out.begin();
    out.access('R', 4, 0x00);
    EXPECT_FALSE(out.flush());
    EXPECT_EQ(out.error(), ENOSPC);
    out.note("dropped");
    EXPECT_FALSE(out.close());
    EXPECT_EQ(out.error(), ENOSPC);

    Output unflushed; // the failure found only by close
    ASSERT_TRUE(unflushed.open(full(gz)));
    unflushed.begin();
    unflushed.access('W', 3, 0x1c);
    EXPECT_FALSE(unflushed.close());
    EXPECT_EQ(unflushed.error(), ENOSPC);
  }
}

TEST_F(TraceOutputFullDisk, ALongTraceFailsWhileBeingWritten) {
  for (const bool gz : {false, true}) {
    SCOPED_TRACE(gz ? "gzip" : "plain");
    if (full(gz).empty())
      continue; // not root: no full device under a .gz name
    Output out;
    ASSERT_TRUE(out.open(full(gz)));
    out.begin();
    for (unsigned i = 0; i < 2000000 && out.error() == 0; ++i)
      out.access('R', 4, static_cast<std::uint8_t>(i * 7));
    EXPECT_EQ(out.error(), ENOSPC); // before any flush: a full buffer went out
    EXPECT_FALSE(out.close());
  }
}

TEST_F(TraceOutputFullDisk, AnAttachedFileReportsItsFailureToo) {
  std::FILE *file = std::fopen(full(false).c_str(), "w");
  ASSERT_NE(file, nullptr);
  Output out;
  out.attach(file);
  out.access('W', 4, 0x55);
  EXPECT_FALSE(out.flush());
  EXPECT_EQ(out.error(), ENOSPC);
  EXPECT_FALSE(out.close());
  std::fclose(file);
}

// What a run refused at start-up leaves: the file as it found it; only
// begin() empties it.
TEST_F(TraceOutput, AFileIsLeftAsFoundUntilBegun) {
  for (const char *name : {"held.trace", "held.trace.gz"}) {
    for (const bool begun : {false, true}) {
      SCOPED_TRACE(std::string(name) + (begun ? " begun" : " not begun"));
      write(name, "# run: first\nR 0 00\n");
      Output out;
      ASSERT_TRUE(out.open(path(name)));
      if (begun)
        out.begin();
      out.note("run: second");
      EXPECT_TRUE(out.flush());
      EXPECT_TRUE(out.close());
      if (!begun) {
        EXPECT_EQ(read(name), "# run: first\nR 0 00\n");
        continue;
      }
      Input in;
      ASSERT_TRUE(in.open(path(name))) << in.reason();
      EXPECT_EQ(all_lines(in), std::vector<std::string>{"# run: second"});
    }
  }
}

class TraceInput : public TraceFiles {};

TEST_F(TraceInput, LinesWithoutTheirEndsAndNumbered) {
  write("t", "R 1 00\r\nW 2 04\n\n# note\r\nR 4 ff");
  Input in;
  ASSERT_TRUE(in.open(path("t")));
  EXPECT_EQ(in.name(), path("t"));
  std::string_view line;
  const std::vector<std::string> expected = {"R 1 00", "W 2 04", "", "# note", "R 4 ff"};
  for (std::size_t i = 0; i < expected.size(); ++i) {
    ASSERT_TRUE(in.next(line));
    EXPECT_EQ(line, expected[i]);
    EXPECT_EQ(in.line_number(), i + 1);
  }
  EXPECT_FALSE(in.next(line));
  EXPECT_FALSE(in.failed());
}

TEST_F(TraceInput, GzipIsToldByItsContentNotItsName) {
  write_gzip("renamed.trace", "R 1 00\r\nW 3 1c\n");
  write("plain.gz", "W 3 1c\n");
  for (const auto &[name, expected] :
       {std::pair<const char *, std::vector<std::string>>{"renamed.trace", {"R 1 00", "W 3 1c"}},
        {"plain.gz", {"W 3 1c"}}}) {
    SCOPED_TRACE(name);
    Input in;
    ASSERT_TRUE(in.open(path(name)));
    EXPECT_EQ(all_lines(in), expected);
    EXPECT_FALSE(in.failed());
  }
}

TEST_F(TraceInput, AVeryLongLineIsCutAndTheNextOneStillFound) {
  write("long", std::string(100000, 'x') + "\nR 4 00\n" + std::string(70000, 'y'));
  Input in;
  ASSERT_TRUE(in.open(path("long")));
  std::string_view line;
  ASSERT_TRUE(in.next(line));
  EXPECT_EQ(line, std::string(65536, 'x'));
  ASSERT_TRUE(in.next(line));
  EXPECT_EQ(line, "R 4 00");
  EXPECT_EQ(in.line_number(), 2u);
  ASSERT_TRUE(in.next(line));
  EXPECT_EQ(line.size(), 65536u);
  EXPECT_FALSE(in.next(line));
  EXPECT_FALSE(in.failed());
}

TEST_F(TraceInput, RefusesWhatItCannotReadWithTheReason) {
  Input in;
  errno = 0;
  EXPECT_FALSE(in.open(path("missing")));
  EXPECT_EQ(errno, ENOENT);
  EXPECT_EQ(in.reason(), "No such file or directory");
  EXPECT_FALSE(in.open(dir_));
  EXPECT_EQ(errno, EISDIR);
  EXPECT_EQ(in.reason(), "Is a directory");
  std::string_view line;
  EXPECT_FALSE(in.next(line));
}

TEST_F(TraceInput, RefusesAFileItMayNotRead) {
  write("secret", "R 1 00\n");
  ASSERT_EQ(::chmod(path("secret").c_str(), 0), 0);
  if (::access(path("secret").c_str(), R_OK) == 0)
    GTEST_SKIP() << "running with the privilege to read any file";
  Input in;
  EXPECT_FALSE(in.open(path("secret")));
  EXPECT_EQ(errno, EACCES);
  EXPECT_EQ(in.reason(), "Permission denied");
}

TEST(TraceInputReadError, AFailingReadIsReportedWithItsErrno) {
  Input in; // opens fine; reading at address 0 of the process's memory fails
  ASSERT_TRUE(in.open("/proc/self/mem")) << in.reason();
  std::string_view line;
  EXPECT_FALSE(in.next(line));
  EXPECT_TRUE(in.failed());
  EXPECT_EQ(in.reason(), "Input/output error");
}

TEST_F(TraceInput, ACorruptOrCutGzipStreamIsAReadError) {
  std::string lines;
  for (int i = 0; i < 20000; ++i)
    lines += "R 4 " + std::string(1, "0123456789abcdef"[i % 16]) + "0\n";
  write_gzip("whole.gz", lines);
  const std::string whole = read("whole.gz");
  write("cut.gz", whole.substr(0, whole.size() / 2));
  write("corrupt.gz", std::string("\x1f\x8b\x08\x00", 4) + "not deflate data at all");
  for (const auto &[name, reason] :
       {std::pair<const char *, const char *>{"cut.gz", "unexpected end of file"},
        {"corrupt.gz", ""}}) {
    SCOPED_TRACE(name);
    Input in;
    ASSERT_TRUE(in.open(path(name)));
    const std::vector<std::string> got = all_lines(in);
    EXPECT_LT(got.size(), 20000u);
    EXPECT_TRUE(in.failed());
    if (*reason != '\0')
      EXPECT_EQ(in.reason(), reason);
    else
      EXPECT_FALSE(in.reason().empty());
  }
}

// Members of a gzip file one after the other are one trace; anything else
// after the end of the stream is reported, not skipped.
TEST_F(TraceInput, DataAfterTheEndOfAGzipStreamIsAReadError) {
  write_gzip("one.gz", "R 1 00\n");
  write_gzip("two.gz", "W 3 1c\n");
  write("members.gz", read("one.gz") + read("two.gz"));
  write("trailing.gz", read("one.gz") + "W 3 1c\n");
  Input in;
  ASSERT_TRUE(in.open(path("members.gz")));
  EXPECT_EQ(all_lines(in), (std::vector<std::string>{"R 1 00", "W 3 1c"}));
  EXPECT_FALSE(in.failed()) << in.reason();
  ASSERT_TRUE(in.open(path("trailing.gz")));
  EXPECT_EQ(all_lines(in), std::vector<std::string>{"R 1 00"});
  EXPECT_TRUE(in.failed());
  EXPECT_EQ(in.reason(), "data after the end of the gzip stream");
}

// Every command line reads back word for word; plain words stay as typed.
TEST(RunNoteWords, ReadBackExactly) {
  const std::vector<std::vector<std::string>> lines = {
      {"vorndiag", "378", "pos"},
      {"vorndiag", "378", "bus", ""},
      {"my tool", "378", "bus "},
      {"t", "a\nb", "c\rd\te", "\"q\"", "back\\slash", std::string("\0x", 2), "\x7f\xff\xc3\xa9"},
      {""},
  };
  for (const auto &words : lines) {
    const std::string text = encode_words(words);
    SCOPED_TRACE(text);
    EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos);
    EXPECT_EQ(decode_words(text), words);
  }
  EXPECT_EQ(encode_words({"vorndiag", "378", "pos", "7"}), "vorndiag 378 pos 7");
}

TEST(RunNoteWords, TextNoEncodingGivesIsRefused) {
  for (const char *text : {"\"open", "a  b", "a ", " a", "\"\\q\"", "\"\\x4\"", "\"a\"b"}) {
    SCOPED_TRACE(text);
    EXPECT_EQ(decode_words(text), std::nullopt);
  }
}

} // namespace
} // namespace vorn::trace
