// vorntrace's reading through the trace file: notes for people, read errors,
// and the comparison of two traces.
#include "trace_decoder.h"
#include "trace_diff.h"
#include "trace_files.h"
#include "trace_io.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace vorn::sim {
namespace {

using vorn::test::TraceFiles;

class TraceReading : public TraceFiles {
protected:
  struct Outcome {
    int status;
    std::string out;
    std::string err;
  };
  Outcome decode(const std::string &file, bool all = false) const {
    trace::Input in;
    EXPECT_TRUE(in.open(file)) << in.reason();
    std::ostringstream out, err;
    const int status = decode_trace(in, out, err, all);
    return {status, out.str(), err.str()};
  }
  Outcome diff(const std::string &a, const std::string &b) const {
    trace::Input ina, inb;
    EXPECT_TRUE(ina.open(a)) << ina.reason();
    EXPECT_TRUE(inb.open(b)) << inb.reason();
    std::ostringstream out, err;
    const int status = diff_traces(ina, inb, out, err);
    return {status, out.str(), err.str()};
  }
};

TEST_F(TraceReading, NotesShowOnLinesOfTheirOwnAndGzipAndCrLfReadAlike) {
  const std::string text = "# vorndiag 378 pos\r\nW 3 0d\r\nW 2 24\r\nR 4 a5\r\n# stop SIGINT\r\n";
  const char *decoded = "-- vorndiag 378 pos\nselect 0x0d\ndirection reverse\n"
                        "read 0x0d -> 0xa5\n-- stop SIGINT\n";
  for (const std::string &file : {write("t.trace", text), write_gzip("t.gz", text)}) {
    SCOPED_TRACE(file);
    const Outcome r = decode(file);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, decoded);
    EXPECT_EQ(r.err, "");
  }
}

TEST_F(TraceReading, ABadLineIsStatusOneAndACutGzipStreamStatusTwo) {
  const Outcome bad = decode(write("bad.trace", "W 3 0d\n# fine\nW 3 0D\n"));
  EXPECT_EQ(bad.status, 1);
  EXPECT_EQ(bad.out, "select 0x0d\n-- fine\n");
  EXPECT_EQ(bad.err, path("bad.trace") + ":3: not a trace line\n");

  std::string long_trace;
  for (int i = 0; i < 50000; ++i)
    long_trace += i % 2 ? "W 4 5a\n" : "R 1 00\n";
  write_gzip("whole.gz", long_trace);
  const std::string whole = read("whole.gz");
  const Outcome cut = decode(write("cut.gz", whole.substr(0, whole.size() - 40)));
  EXPECT_EQ(cut.status, 2);
  EXPECT_EQ(cut.err, path("cut.gz") + ": cannot read: unexpected end of file\n");
}

TEST_F(TraceReading, SameAccessesAreNoDifferenceWhateverTheNotesAndFileForm) {
  const std::string a = write("a.trace", "W 3 0d\nW 2 24\nR 4 a5\n");
  const std::string b = write_gzip("b.gz", "# vorndiag 378 bus\r\nW 3 0d\r\nW 2 24\r\nR 4 a5\r\n");
  const Outcome r = diff(a, b);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "");
}

// Two runs never take the same time: marks are no difference; keys are.
TEST_F(TraceReading, DiffComparesKeysButNotTime) {
  const std::string a = write("a.trace", "# t +3\nW 3 0d\n# key line 1\nW 4 01\n");
  const std::string timed =
      write("timed.trace", "# t +9\nW 3 0d\n# key line 1\n# t +250\nW 4 02\n");
  const std::string keyed = write("keyed.trace", "# t +3\nW 3 0d\n# key line 2\nW 4 02\n");
  const std::string untimed = write("untimed.trace", "W 3 0d\n# key line 1\n");
  EXPECT_EQ(diff(a, timed).out.find("notes differ"), std::string::npos) << diff(a, timed).out;
  EXPECT_NE(diff(a, keyed).out.find("notes differ"), std::string::npos) << diff(a, keyed).out;
  EXPECT_EQ(diff(a, untimed).out.find("notes differ"), std::string::npos) << diff(a, untimed).out;
}

TEST_F(TraceReading, DiffNamesTheFirstPartingAndCountsTheDifferingCyclesByAddress) {
  const std::string a =
      write("a.trace", "W 3 0d\nW 2 24\nR 4 a5\nR 4 01\nR 1 00\nW 2 04\nW 3 1c\nW 4 0a\n");
  const std::string b = write("b.trace", "# vorndiag 378 pos\nW 3 0d\nW 2 24\nR 4 a5\nR 4 02\n"
                                         "R 1 01\nW 2 04\nW 3 1c\nW 4 0b\nR 1 00\n");
  const Outcome r = diff(a, b);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "first difference:\n"
                   "  " +
                       a +
                       ":4: R 4 01  read 0x0e -> 0x01\n"
                       "  " +
                       b +
                       ":5: R 4 02  read 0x0e -> 0x02\n"
                       "accesses: " +
                       a + " 8, " + b +
                       " 9\n"
                       "differing accesses: 3 of the first 8\n"
                       "  data cycles at 0x0e: 1 read\n"
                       "  data cycles at 0x1c: 1 write\n"
                       "  other port accesses: 1\n" +
                       b +
                       " goes on for 1 access more\n"
                       "notes differ: " +
                       a + " has 0, " + b + " 1\n");
  EXPECT_EQ(r.err, "");
}

TEST_F(TraceReading, DiffOfATraceAndItsOwnBeginning) {
  const std::string a = write("a.trace", "W 3 1c\nW 4 00\nW 4 c8\nW 2 00\n");
  const std::string b = write("b.trace", "W 3 1c\nW 4 00\n");
  const Outcome r = diff(a, b);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "first difference:\n"
                   "  " +
                       a +
                       ":3: W 4 c8  write 0xc8 to 0x1d\n"
                       "  " +
                       b +
                       ":3: end of trace\n"
                       "accesses: " +
                       a + " 4, " + b +
                       " 2\n"
                       "differing accesses: 0 of the first 2\n" +
                       a + " goes on for 2 accesses more\n");
}

TEST_F(TraceReading, DiffStopsAtALineThatIsNotATraceLine) {
  const std::string a = write("a.trace", "W 3 1c\nW 4 00\n");
  const std::string b = write("b.trace", "W 3 1c\nW 4 01\nR 4\n");
  const Outcome r = diff(a, b);
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, b + ":3: not a trace line\n");
}

} // namespace
} // namespace vorn::sim
