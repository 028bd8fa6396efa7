// A noisy bus: the simulator flips single bits of data reads, seeded. The
// communication test must report exactly the axes whose read-back the
// simulator spoiled, cycle by cycle, and count them.
#include "output_shape.h"
#include "sim_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <utility>

namespace {

using namespace diagtest;
using namespace reliability;

using CycleAxis = std::pair<long, int>;
using Bytes = std::array<unsigned, 3>;

struct Readback {
  Bytes pattern{};
  Bytes got{};
};

// What the bus saw: each cycle's pattern (the preset written at 0x00) and
// the twelve bytes read back after it, per axis.
struct WireView {
  std::map<CycleAxis, Readback> spoiled;
  std::array<long, 4> flipped_bytes{}; // read bytes that differ from the pattern
  long cycles = 0;
};

unsigned byte_of(const std::string &op) { return std::stoul(op.substr(3), nullptr, 16); }

WireView read_wire(const std::vector<std::string> &body) {
  WireView view;
  Bytes pattern{};
  std::array<Readback, 4> axes{};
  int reads = 0;
  for (std::size_t i = 0; i < body.size(); ++i) {
    if (body[i] == "sel 00" && i + 3 < body.size() && body[i + 1].rfind("wr", 0) == 0) {
      ++view.cycles;
      for (int b = 0; b < 3; ++b)
        pattern[b] = byte_of(body[i + 1 + b]);
      reads = 0;
      i += 3;
    } else if (body[i].rfind("rd", 0) == 0 && reads < 12) {
      const int axis = reads / 3, b = reads % 3;
      ++reads;
      Readback &r = axes[axis];
      r.pattern = pattern;
      r.got[b] = byte_of(body[i]);
      view.flipped_bytes[axis] += r.got[b] != pattern[b];
      if (b == 2 && r.got != r.pattern)
        view.spoiled[{view.cycles, axis}] = r;
    }
  }
  return view;
}

struct NoisyCase {
  const char *name;
  std::string rig;
  bool one_flip_per_spoiled_axis; // this seed never puts two flips on one axis in a cycle
};

void PrintTo(const NoisyCase &c, std::ostream *os) { *os << c.name; }

const NoisyCase kCases[] = {
    {"Sparse", "interrupt_after = 200000\n[faults]\nseed = 7\nflip_probability = 0.002\n", true},
    // Dense enough that one axis often takes two flips in one cycle: it is
    // still one error.
    {"Dense", "interrupt_after = 100000\n[faults]\nseed = 2024\nflip_probability = 0.05\n", false},
};

class NoisyBus : public testing::TestWithParam<NoisyCase> {};

TEST_P(NoisyBus, ReportsExactlyTheSpoiledAxes) {
  SimRun run = run_sim({{"378", "commtest"}, GetParam().rig, "", {}});
  EXPECT_EQ(run.result.exit_status, kExitCommErrors);
  ASSERT_TRUE(run.shut_down);
  const WireView wire = read_wire(run.body);
  ASSERT_GT(wire.cycles, 1000);

  // The simulator's own count of what it injected agrees with the wire.
  std::smatch m;
  ASSERT_TRUE(std::regex_search(run.result.err, m,
                                std::regex("injected bit flips: axis 0: (\\d+), axis 1: (\\d+), "
                                           "axis 2: (\\d+), axis 3: (\\d+), elsewhere: (\\d+)")))
      << run.result.err;
  std::array<long, 4> injected{};
  for (int axis = 0; axis < 4; ++axis) {
    injected[axis] = std::stol(m[axis + 1]);
    EXPECT_EQ(injected[axis], wire.flipped_bytes[axis]) << "axis " << axis;
  }
  EXPECT_EQ(m[5], "0");

  // The tool's reports, cycle by cycle.
  const std::regex report(kCommtestReport);
  const std::regex summary(kCommtestSummary);
  std::string rest = after(run.result.out, kStartLines);
  std::set<CycleAxis> reported;
  std::array<long, 4> per_axis{};
  while (!rest.empty()) {
    if (std::regex_search(rest, m, report, std::regex_constants::match_continuous)) {
      const CycleAxis key{std::stol(m[1]), std::stoi(m[2])};
      auto spoiled = wire.spoiled.find(key);
      ASSERT_NE(spoiled, wire.spoiled.end()) << "reported but not spoiled: " << m[0];
      for (int b = 0; b < 3; ++b) {
        EXPECT_EQ(std::stoul(m[3 + b], nullptr, 16), spoiled->second.got[b]) << m[0];
        EXPECT_EQ(std::stoul(m[6 + b], nullptr, 16), spoiled->second.pattern[b]) << m[0];
      }
      reported.insert(key);
      ++per_axis[key.second];
    } else if (std::regex_search(rest, m, summary, std::regex_constants::match_continuous)) {
      const long cycle = std::stol(m[1]);
      const auto before = std::count_if(wire.spoiled.begin(), wire.spoiled.end(),
                                        [&](const auto &s) { return s.first.first < cycle; });
      EXPECT_EQ(std::stol(m[2]), before) << m[0];
    } else {
      FAIL() << "unexpected text: " << rest.substr(0, 80);
    }
    rest = m.suffix();
  }
  EXPECT_EQ(reported.size(), wire.spoiled.size()) << "spoiled axes left unreported";
  // The closing count: every cycle on the wire, every spoiled axis.
  ASSERT_TRUE(std::regex_search(run.result.err, m,
                                std::regex("commtest ended: (\\d+) test cycles, (\\d+) errors\n")))
      << run.result.err;
  EXPECT_EQ(std::stol(m[1]), wire.cycles);
  EXPECT_EQ(std::stol(m[2]), static_cast<long>(wire.spoiled.size()));
  EXPECT_FALSE(reported.empty());
  // One error per spoiled axis and cycle: as many as the simulator
  // injected, unless a second flip fell on an axis already spoiled.
  for (int axis = 0; axis < 4; ++axis) {
    if (GetParam().one_flip_per_spoiled_axis)
      EXPECT_EQ(per_axis[axis], injected[axis]) << "axis " << axis;
    else
      EXPECT_LT(per_axis[axis], injected[axis]) << "axis " << axis;
  }
}

INSTANTIATE_TEST_SUITE_P(Reliability, NoisyBus, testing::ValuesIn(kCases),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
