// The port trace as the simulator writes it, and vorntrace's reading of it.
#include "trace_decoder.h"
#include "trace_time.h"
#include "vornsim.hpp"

#include "board_map.h"
#include "vorn.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace vorn::sim {
namespace {

std::string file_text(std::FILE *f) {
  std::rewind(f);
  std::string text;
  char buf[4096];
  for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;)
    text.append(buf, n);
  return text;
}

TEST(PortTrace, OneLinePerAccessWithOffsetAndTwoHexDigits) {
  Rig rig;
  rig.clock = Clock::virtual_time;
  Simulator sim(rig);
  vorn_base_addr = 0x3BC;
  sim.install();
  ASSERT_EQ(InitializeParPort(), 0);
  std::FILE *f = std::tmpfile();
  ASSERT_NE(f, nullptr);
  sim.trace_to(f);
  sim.advance_us(vorn::trace::kMarkStepUs - 2);
  SelWrt(vorn::map::kRateControl, 0x0A);
  SelAddr(0x3F);
  ReadData();
  ClrTimeout();
  sim.flush_trace();
  // Marked first with the time since the trace began (a microsecond each
  // access on this clock), then once the clock has moved on a step.
  const std::string first = std::to_string(vorn::trace::kMarkStepUs - 1);
  const std::string step = std::to_string(vorn::trace::kMarkStepUs);
  EXPECT_EQ(file_text(f), "# t +" + first +
                              "\nR 1 00\nW 2 04\nW 3 1c\nW 4 0a\n"
                              "R 1 00\nW 2 04\nW 3 3f\nW 2 24\nR 4 ff\n"
                              "R 1 01\nR 1 01\nW 1 01\nR 1 00\n");
  // On: a mark each step, none between.
  for (int i = 0; i < 100; ++i)
    SelAddr(0x3F);
  sim.flush_trace();
  std::istringstream lines(file_text(f));
  std::uint64_t accesses = 0;
  std::vector<std::string> marks;
  for (std::string line; std::getline(lines, line);)
    (line.starts_with("# t +") ? marks.push_back(line.substr(5)) : void(++accesses));
  ASSERT_FALSE(marks.empty());
  EXPECT_EQ(marks.size(), 1 + (accesses - 1) / vorn::trace::kMarkStepUs);
  EXPECT_EQ(std::count(marks.begin() + 1, marks.end(), step), std::ssize(marks) - 1);
  sim.trace_to(nullptr);
  std::fclose(f);
}

// A trace file named once the port is taken starts there, run note first;
// one named before waits for the port (a refused run leaves it alone).
TEST(PortTrace, AFileNamedAfterTheStartStartsThere) {
  Rig rig;
  rig.clock = Clock::virtual_time;
  Simulator sim(rig);
  sim.install();
  ASSERT_EQ(InitializeParPort(), 0);
  char path[] = "/tmp/vornsim-trace-XXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  ::close(fd);
  ASSERT_TRUE(sim.trace_to(path));
  ClrTimeout();
  sim.trace_to(nullptr);
  std::FILE *f = std::fopen(path, "r");
  ASSERT_NE(f, nullptr);
  const std::string text = file_text(f);
  std::fclose(f);
  std::remove(path);
  EXPECT_TRUE(text.starts_with("# run: ")) << text;
  EXPECT_TRUE(text.ends_with("\nR 1 00\n")) << text;
}

struct Decoding {
  const char *trace;
  bool all;
  const char *text;
};

TEST(TraceDecoder, BusCyclesForPeople) {
  const Decoding cases[] = {
      {"R 1 00\nW 2 04\nW 3 1c\nW 4 00\nW 4 c8\nR 1 00\n", false,
       "select 0x1c\nwrite 0x00 to 0x1c\nwrite 0xc8 to 0x1d\n"},
      {"R 1 00\nW 2 04\nW 3 0d\nW 2 24\nR 4 a5\n", false,
       "select 0x0d\ndirection reverse\nread 0x0d -> 0xa5\n"},
      {"R 1 01\nR 1 01\nW 1 01\nR 1 00\n", false, "timeout pending\ntimeout cleared\n"},
      {"R 1 01\nR 1 00\nR 1 01\n", false, "timeout pending\ntimeout pending\n"},
      {"W 2 24\nW 2 04\nW 2 00\nW 2 04\n", false,
       "direction reverse\ndirection forward\nbus reset\n"},
      {"W 3 0f\nR 4 0f\n", false, "select 0x0f\nread 0x0f -> 0x0f in forward direction\n"},
      {"W 2 24\nW 4 55\nW 3 10\n", false,
       "direction reverse\nwrite 0x55 in reverse direction (reaches no board)\n"
       "select 0x10 in reverse direction (no board sees it)\n"},
      // time marks add up to the time since the trace began
      {"# t +5\nW 3 1c\n# t +1000000\nW 4 00\n# key line 2\n# t +1999995\nW 4 01\n", false,
       "-- at 0.000005 s\nselect 0x1c\n-- at 1.000005 s\nwrite 0x00 to 0x1c\n-- key line 2\n"
       "-- at 3.000000 s\nwrite 0x01 to 0x1d\n"},
      {"R 1 00\nR 2 04\nW 2 04\nW 0 11\nR 3 ff\n", true,
       "status -> 0x00\ncontrol -> 0x04\ncontrol <- 0x04\ndata register <- 0x11\n"
       "address register -> 0xff\n"},
  };
  for (const Decoding &c : cases) {
    SCOPED_TRACE(c.trace);
    std::istringstream in(c.trace);
    std::ostringstream out, err;
    EXPECT_EQ(decode_trace(in, out, err, "t", c.all), 0);
    EXPECT_EQ(out.str(), c.text);
    EXPECT_EQ(err.str(), "");
  }
}

TEST(TraceDecoder, NamesTheFirstLineThatIsNotATraceLine) {
  for (const char *bad : {"W 3 1C", "X 3 1c", "W 3 1", "W  1c", "W 3 1c ", "R 4 fff", ""}) {
    SCOPED_TRACE(bad);
    std::istringstream in(std::string("W 3 1c\n") + bad + "\nW 4 00\n");
    std::ostringstream out, err;
    EXPECT_EQ(decode_trace(in, out, err, "t.trace", false), 1);
    EXPECT_EQ(err.str(), "t.trace:2: not a trace line\n");
  }
}

} // namespace
} // namespace vorn::sim
