// vorntrace as a program: where it reads from, what it refuses, and the
// exit statuses of diff.
#include "run_tool.h"
#include "trace_files.h"

#include <gtest/gtest.h>

#include <string>
#include <zlib.h>

namespace vorn::test {
namespace {

class Vorntrace : public TraceFiles {
protected:
  static RunResult run(std::vector<std::string> args, std::string input = "") {
    RunSettings how;
    how.args = std::move(args);
    how.input = std::move(input);
    return run_tool(VORNTRACE, how);
  }
};

TEST_F(Vorntrace, ReadsAFileAGzipFileUnderAnyNameAndStandardInput) {
  const std::string text = "W 3 1c\r\nW 4 00\r\n# stop SIGINT\r\n";
  const std::string expected = "select 0x1c\nwrite 0x00 to 0x1c\n-- stop SIGINT\n";
  write_gzip("renamed.trace", text);
  for (const RunResult &r : {run({write("t.trace", text)}), run({path("renamed.trace")}),
                             run({"-"}, text), run({}, text), run({"-a", "-"}, text)}) {
    EXPECT_EQ(r.exit_status, 0) << r.err;
    EXPECT_EQ(r.out, expected);
    EXPECT_EQ(r.err, "");
  }
}

TEST_F(Vorntrace, UsageOnATerminalAndOnHelp) {
  RunSettings how;
  how.input_on_terminal = true;
  how.keep_input_open = true;
  how.timeout = milliseconds(5000);
  RunResult r = run_tool(VORNTRACE, how);
  EXPECT_FALSE(r.timed_out) << "waited for a trace typed on the terminal";
  EXPECT_EQ(r.exit_status, 2);
  EXPECT_EQ(r.err.rfind("usage: ", 0), 0u) << r.err;
  r = run({"--help"});
  EXPECT_EQ(r.exit_status, 0) << r.err;
  EXPECT_EQ(r.out.rfind("usage: ", 0), 0u) << r.out;
  EXPECT_EQ(r.err, "");
}

TEST_F(Vorntrace, AFolderOrAMissingFileIsRefusedWithTheReason) {
  for (const auto &[file, reason] : {std::pair<std::string, std::string>{dir_, "Is a directory"},
                                     {path("missing"), "No such file or directory"}}) {
    const RunResult r = run({file});
    EXPECT_EQ(r.exit_status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("cannot read " + file + ": " + reason + "\n"), std::string::npos) << r.err;
  }
}

TEST_F(Vorntrace, DiffExitsZeroWhenTheSameOneWhenDifferentTwoOnErrors) {
  const std::string a = write("a.trace", "W 3 1c\nW 4 00\n");
  write_gzip("same.gz", "# note\nW 3 1c\nW 4 00\n");
  const std::string other = write("other.trace", "W 3 1c\nW 4 01\n");

  RunResult r = run({"diff", a, path("same.gz")});
  EXPECT_EQ(r.exit_status, 0) << r.err;
  EXPECT_EQ(r.out, "");

  r = run({"diff", a, other});
  EXPECT_EQ(r.exit_status, 1) << r.err;
  EXPECT_NE(r.out.find(other + ":2: W 4 01  write 0x01 to 0x1c\n"), std::string::npos) << r.out;

  r = run({"diff", "-", other}, "W 3 1c\nW 4 01\n");
  EXPECT_EQ(r.exit_status, 0) << r.err;

  for (const std::vector<std::string> &args : {std::vector<std::string>{"diff", a, path("missing")},
                                               {"diff", a},
                                               {"diff", a, dir_},
                                               {"diff", a, a, a}}) {
    r = run(args);
    EXPECT_EQ(r.exit_status, 2) << args.size();
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err, "");
  }
}

// A report that did not reach its reader is no success, whatever the
// traces held; and standard input cannot be both traces.
TEST_F(Vorntrace, OutputThatCannotBeWrittenIsStatus3WithTheReason) {
  const std::string a = write("a.trace", "W 3 1c\nW 4 00\n");
  const std::string b = write("b.trace", "W 3 1c\nW 4 01\n");
  for (const std::string &args : {a, "diff " + a + " " + b}) {
    RunSettings how;
    how.args = {"-c", "exec \"$0\" " + args + " > /dev/full", VORNTRACE};
    const RunResult r = run_tool("/bin/sh", how);
    EXPECT_EQ(r.exit_status, 3) << args;
    EXPECT_NE(r.err.find("standard output could not be written: No space left on device"),
              std::string::npos)
        << r.err;
  }
  // A corrupted stream yields its bytes before its check fails; no trace
  // line among them makes it a broken stream all the same. Stored (level 0)
  // blocks keep the text as it is, so one letter can be spoiled.
  std::string lines;
  for (int i = 0; i < 40000; ++i) // more than one read's worth
    lines += "W 4 " + std::string(1, "0123456789abcdef"[i % 16]) + "0\n";
  gzFile gz = gzopen(path("stored.gz").c_str(), "wb0");
  ASSERT_NE(gz, nullptr);
  gzwrite(gz, lines.data(), static_cast<unsigned>(lines.size()));
  gzclose(gz);
  std::string spoiled = read("stored.gz");
  spoiled[spoiled.find("W 4", 1000)] = 'X';
  const RunResult broken = run({write("spoiled.gz", spoiled)});
  EXPECT_EQ(broken.exit_status, 2) << broken.err;
  EXPECT_NE(broken.err.find("incorrect data check"), std::string::npos) << broken.err;
  const RunResult both = run({"diff", "-", "-"}, "W 3 1c\n");
  EXPECT_EQ(both.exit_status, 2);
  EXPECT_EQ(both.out, "");
}

} // namespace
} // namespace vorn::test
