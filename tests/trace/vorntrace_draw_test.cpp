// vorntrace vcd read back by a logic analyser's decoder, and vorntrace plot
// drawn by gnuplot; each skips where the program it needs is missing.
#include "run_tool.h"
#include "trace_files.h"
#include "trace_io.h"
#include "trace_plot.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace vorn::test {
namespace {

bool have(const char *program) {
  return std::system(("command -v " + std::string(program) + " >/dev/null 2>&1").c_str()) == 0;
}

// A trace of address and data cycles, with a timed-out read among them.
const char kTrace[] = "# run: vorndiag 378 bus\n# t +12\n"
                      "R 1 00\nW 2 04\nW 3 1c\nW 4 00\nW 4 c8\nR 1 00\n"
                      "W 3 3f\nW 2 24\nR 4 ff\nR 1 01\nW 1 01\nW 2 04\n# t +150\n"
                      "W 3 0d\nW 2 24\nR 4 a5\nR 4 5a\nR 1 00\nW 2 04\n"
                      "W 3 41\nW 4 81\nR 1 00\nW 3 10\nW 4 7e\n";

class Drawing : public TraceFiles {
protected:
  static RunResult run(std::vector<std::string> args) {
    RunSettings how;
    how.args = std::move(args);
    return run_tool(VORNTRACE, how);
  }
  // The bytes sigrok's parallel decoder reads clocked on `clock`'s rising edge.
  static std::vector<std::string> decoded(const std::string &vcd, const char *clock) {
    std::string command = "sigrok-cli -I vcd -i '" + vcd +
                          "' -A parallel=items -P parallel:clk=" + clock + ":clock_edge=rising";
    for (int bit = 0; bit < 8; ++bit)
      command += ":d" + std::to_string(bit) + "=AD" + std::to_string(bit);
    std::vector<std::string> bytes;
    std::FILE *p = ::popen((command + " 2>/dev/null").c_str(), "r");
    char line[128];
    while (p != nullptr && std::fgets(line, sizeof line, p) != nullptr) {
      std::istringstream words(line);
      std::string decoder, byte;
      if (words >> decoder >> byte)
        bytes.push_back(byte);
    }
    if (p != nullptr)
      ::pclose(p); // 0.7.2 fails after a complete decode: judged by the output
    return bytes;
  }
};

TEST_F(Drawing, VcdCyclesDecodeToTheTracesAddressesAndDataBytes) {
  if (!have("sigrok-cli"))
    GTEST_SKIP() << "sigrok-cli not installed";
  const std::string trace = write("cycles.trace", kTrace);
  const std::string vcd = path("cycles.vcd");
  const RunResult r = run({"vcd", trace, "-o", vcd});
  ASSERT_EQ(r.exit_status, 0) << r.err;
  // The decoder leaves out the last cycle of each kind.
  EXPECT_EQ(decoded(vcd, "nAddrStb"), (std::vector<std::string>{"1c", "3f", "0d", "41"}));
  EXPECT_EQ(decoded(vcd, "nDataStb"),
            (std::vector<std::string>{"00", "c8", "ff", "a5", "5a", "81"}));
}

TEST_F(Drawing, VcdDrawsTheTimeOutAndTheTracesTime) {
  const std::string trace = write("cycles.trace", kTrace);
  const RunResult r = run({"vcd", trace});
  ASSERT_EQ(r.exit_status, 0) << r.err;
  EXPECT_NE(r.out.find("$timescale 100 ns $end"), std::string::npos);
  // timeout ('-') rises once, after the unanswered read, and falls once.
  EXPECT_EQ(r.out.find("1-\n"), r.out.rfind("1-\n"));
  EXPECT_NE(r.out.find("1-\n"), std::string::npos);
  EXPECT_GT(r.out.find("0-\n", r.out.find("1-\n")), r.out.find("1-\n"));
  // The second mark, at 162 us, is where its cycles begin.
  EXPECT_NE(r.out.find("\n#1620\n"), std::string::npos) << r.out;
}

// Each curve from the cycles that belong to it: counts of the right axis,
// the signed rate of the right channel, unanswered cycles in their block.
TEST_F(Drawing, PictureTakesEachCurveFromItsOwnCycles) {
  const std::string trace = write(
      "picture.trace", "# run: vorndiag 378 servo\n# t +5\n"
                       // rate channel 1: count 998, running backwards
                       "W 3 13\nW 4 e6\nW 4 03\nW 4 00\nW 3 1c\nW 4 0c\n"
                       // axis 1 reads 0xfffffe (-2), axis 2 0x000102
                       "# t +2000\nW 3 03\nW 2 24\nR 4 fe\nR 4 ff\nR 4 ff\nR 4 02\nR 4 01\nR 4 00\n"
                       // an unanswered read in block 3
                       "W 2 04\nW 3 3f\nW 2 24\nR 4 ff\nR 1 01\n");
  vorn::trace::Input in;
  ASSERT_TRUE(in.open(trace));
  vorn::sim::RunPicture picture;
  std::ostringstream err;
  ASSERT_EQ(vorn::sim::gather_picture(in, picture, err), 0) << err.str();
  EXPECT_TRUE(picture.timed);
  EXPECT_EQ(picture.run, "vorndiag 378 servo");
  ASSERT_EQ(picture.rates[1].points().size(), 1u);
  EXPECT_DOUBLE_EQ(picture.rates[1].points()[0].y, -10'000'000.0 / 1000);
  EXPECT_EQ(picture.rates[1].points()[0].x, 5u);
  EXPECT_DOUBLE_EQ(picture.rates[0].points()[0].y, 0.0);
  EXPECT_TRUE(picture.counts[0].empty());
  ASSERT_EQ(picture.counts[1].points().size(), 1u);
  EXPECT_DOUBLE_EQ(picture.counts[1].points()[0].y, -2.0);
  EXPECT_EQ(picture.counts[1].points()[0].x, 2005u);
  EXPECT_DOUBLE_EQ(picture.counts[2].points()[0].y, 0x0102);
  for (int block = 0; block < vorn::sim::RunPicture::kBlocks; ++block)
    EXPECT_EQ(picture.unanswered[block].empty(), block != 3) << block;
}

TEST(Series, ThinnedToItsBoundKeepingTheLastValueOrTheSum) {
  vorn::sim::Series last;
  vorn::sim::Series sums(true);
  const std::uint64_t n = 10 * vorn::sim::Series::kMaxPoints;
  for (std::uint64_t x = 0; x < n; ++x) {
    last.add(x, static_cast<double>(x));
    sums.add(x, 1);
  }
  EXPECT_LE(last.points().size(), vorn::sim::Series::kMaxPoints);
  EXPECT_GE(last.points().size(), vorn::sim::Series::kMaxPoints / 2);
  EXPECT_DOUBLE_EQ(last.points().back().y, static_cast<double>(n - 1));
  double total = 0;
  for (const auto &p : sums.points())
    total += p.y;
  EXPECT_DOUBLE_EQ(total, static_cast<double>(n));
}

TEST_F(Drawing, PlotIsAPictureOfTheRightChannels) {
  if (!have("gnuplot") || !have("rsvg-convert"))
    GTEST_SKIP() << "gnuplot or rsvg-convert not installed";
  const std::string trace =
      write("rate.trace", "# run: vorndiag 378 rate\n# t +5\nW 3 13\nW 4 e6\nW 4 03\nW 4 00\n"
                          "W 3 1c\nW 4 0c\n# t +1000000\nW 3 1c\nW 4 00\n");
  const std::string svg = path("rate.svg");
  const RunResult r = run({"plot", trace, "-o", svg});
  ASSERT_EQ(r.exit_status, 0) << r.err;
  const std::string picture = read("rate.svg");
  EXPECT_NE(picture.find("vorndiag 378 rate"), std::string::npos);
  EXPECT_NE(picture.find("channel 1"), std::string::npos);
  EXPECT_NE(picture.find("pulses/s"), std::string::npos);
  EXPECT_EQ(std::system(("rsvg-convert '" + svg + "' -o '" + path("rate.png") + "'").c_str()), 0);
}

TEST_F(Drawing, PlotWithoutGnuplotNamesThePackage) {
  const std::string trace = write("t.trace", kTrace);
  RunSettings how;
  how.args = {"plot", trace};
  how.env = {{"PATH", "/nonexistent"}};
  const RunResult r = run_tool(VORNTRACE, how);
  EXPECT_EQ(r.exit_status, 2);
  EXPECT_NE(r.err.find("gnuplot-nox"), std::string::npos) << r.err;
}

} // namespace
} // namespace vorn::test
