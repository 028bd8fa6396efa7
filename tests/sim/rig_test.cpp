// Rig files: every setting, every error message, and the shipped rigs.
#include "vornsim.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <string>

namespace vorn::sim {
namespace {

const std::string kRigs = VORNSIM_RIGS_DIR;

TEST(RigFile, DefaultTomlSpellsOutTheBuiltInDefault) {
  EXPECT_TRUE(load_rig(kRigs + "/default.toml") == default_rig());
}

TEST(RigFile, EmptyAndNoisyRigs) {
  const Rig empty = load_rig(kRigs + "/empty.toml");
  for (const auto &id : empty.boards)
    EXPECT_FALSE(id.has_value());
  EXPECT_EQ(empty.clock, Clock::virtual_time);

  Rig noisy = load_rig(kRigs + "/noisy.toml");
  EXPECT_GT(noisy.flip_probability, 0.0);
  noisy.flip_probability = 0.0;
  noisy.seed = 1;
  noisy.clock = Clock::wall;
  EXPECT_TRUE(noisy == default_rig()) << "the default board set otherwise";

  const Rig turning = load_rig(kRigs + "/turning.toml");
  EXPECT_EQ(turning.velocity[0], 1000);
  EXPECT_EQ(turning.boards, default_rig().boards);

  Rig rate_dies = load_rig(kRigs + "/rate-dies.toml");
  ASSERT_EQ(rate_dies.board_stops.size(), 1u);
  EXPECT_EQ(rate_dies.board_stops[0].block, 1);
  EXPECT_GT(rate_dies.board_stops[0].after, 0u) << "the board answers for a while";
  rate_dies.board_stops.clear();
  EXPECT_TRUE(rate_dies == default_rig()) << "the default board set otherwise";
}

struct Setting {
  const char *toml;
  std::function<bool(const Rig &)> holds;
};

TEST(RigFile, EachSetting) {
  const Setting cases[] = {
      {"clock = \"virtual\"", [](const Rig &r) { return r.clock == Clock::virtual_time; }},
      {"clock = \"wall\"", [](const Rig &r) { return r.clock == Clock::wall; }},
      {"access_time_us = 7", [](const Rig &r) { return r.access_time_us == 7; }},
      {"interrupt_after = 5000", [](const Rig &r) { return r.interrupt_after == 5000; }},
      {"refuse_access = \"EPERM\"", [](const Rig &r) { return r.refuse_access == EPERM; }},
      {"refuse_access = \"ENOSYS\"", [](const Rig &r) { return r.refuse_access == ENOSYS; }},
      {"[boards]\n3 = 0x21\n15 = 0x43",
       [](const Rig &r) {
         return r.boards[3] == 0x21 && r.boards[15] == 0x43 && !r.boards[0] && !r.boards[1];
       }},
      {"[encoders]\ncounters = [1, -1, 0xffffff, 4]",
       [](const Rig &r) {
         return r.counters == std::array<std::uint32_t, 4>{1, 0xFFFFFF, 0xFFFFFF, 4};
       }},
      {"[encoders]\nindex_period = 4096", [](const Rig &r) { return r.index_period == 4096; }},
      {"[encoders]\nvelocity = [10, -20, 0, 0]",
       [](const Rig &r) { return r.velocity[0] == 10 && r.velocity[1] == -20; }},
      {"[wiring]\nenabled = [true, false, true, true]",
       [](const Rig &r) { return r.wiring[0].enabled && !r.wiring[1].enabled; }},
      {"[wiring]\nsign = [1, 1, -1, 1]", [](const Rig &r) { return r.wiring[2].sign == -1; }},
      {"[wiring]\ncounts_per_pulse = [1, 1, 1, 8]",
       [](const Rig &r) { return r.wiring[3].counts_per_pulse == 8; }},
      {"[digital_inputs]\nin1 = 0xa5",
       [](const Rig &r) { return !r.digital_inputs[0] && r.digital_inputs[1] == 0xA5; }},
      {"[digital_inputs]\ntoggle_in1 = 0x81\ntoggle_ms = 250",
       [](const Rig &r) {
         return r.toggle_bits == std::array<std::uint8_t, 2>{0, 0x81} && r.toggle_ms == 250;
       }},
      {"[faults]\nseed = 99\nflip_probability = 0.25",
       [](const Rig &r) { return r.seed == 99 && r.flip_probability == 0.25; }},
      {"[[faults.board_stops]]\nblock = 4\nafter = 10\n[[faults.board_stops]]\nblock = 0\nafter = "
       "0",
       [](const Rig &r) {
         return r.board_stops == std::vector<BoardStop>{{4, 10}, {0, 0}};
       }},
      {"[[faults.board_stops]]\nblock = 0\nafter = 10\nuntil = 11",
       [](const Rig &r) {
         return r.board_stops == std::vector<BoardStop>{{0, 10, 11}};
       }},
  };
  for (const Setting &c : cases) {
    SCOPED_TRACE(c.toml);
    EXPECT_TRUE(c.holds(parse_rig(c.toml, "rig.toml")));
  }
}

struct Mistake {
  const char *toml;
  const char *message;
};

TEST(RigFile, EachErrorNamesFileLineAndProblem) {
  const Mistake cases[] = {
      {"\n\nclok = \"wall\"", "rig.toml:3: unknown key 'clok'"},
      {"clock = \"fast\"", "rig.toml:1: 'clock' must be \"wall\" or \"virtual\""},
      {"clock = 1", "rig.toml:1: 'clock' must be \"wall\" or \"virtual\""},
      {"access_time_us = -1", "rig.toml:1: 'access_time_us' must be an integer from 0 to 1000000"},
      {"access_time_us = 1.5", "rig.toml:1: 'access_time_us' must be an integer from 0 to 1000000"},
      {"interrupt_after = 0",
       "rig.toml:1: 'interrupt_after' must be an integer from 1 to 9223372036854775807"},
      {"refuse_access = \"ENOENT\"",
       "rig.toml:1: 'refuse_access' must be one of EPERM, EACCES, EINVAL, ENOSYS, EIO, EBUSY"},
      {"boards = 3", "rig.toml:1: 'boards' must be a table"},
      {"[boards]\n16 = 0x11", "rig.toml:2: unknown block '16': blocks are 0 to 15"},
      {"[boards]\nx = 0x11", "rig.toml:2: unknown block 'x': blocks are 0 to 15"},
      {"[boards]\n2 = 256", "rig.toml:2: 'boards.2' must be an integer from 0 to 255"},
      {"[encoders]\ncounters = [1, 2, 3]",
       "rig.toml:2: 'counters' must be an array of 4 values, one per axis"},
      {"[encoders]\ncounters = [0, 0, 16777216, 0]",
       "rig.toml:2: 'counters[2]' must be an integer from -8388608 to 16777215"},
      {"[encoders]\nindex_period = 0",
       "rig.toml:2: 'index_period' must be an integer from 1 to 8388608"},
      {"[encoders]\nvelocity = [0, 0, 0, 10000001]",
       "rig.toml:2: 'velocity[3]' must be an integer from -10000000 to 10000000"},
      {"[encoders]\nspeed = 1", "rig.toml:2: unknown key 'speed'"},
      {"[wiring]\nenabled = [1, true, true, true]",
       "rig.toml:2: 'enabled[0]' must be true or false"},
      {"[wiring]\nsign = [1, 0, 1, 1]", "rig.toml:2: 'sign[1]' must be 1 or -1"},
      {"[wiring]\ncounts_per_pulse = [1, 1, 0, 1]",
       "rig.toml:2: 'counts_per_pulse[2]' must be an integer from 1 to 65535"},
      {"[digital_inputs]\nin2 = 0", "rig.toml:2: unknown key 'in2'"},
      {"[digital_inputs]\nin0 = 300", "rig.toml:2: 'in0' must be an integer from 0 to 255"},
      {"[faults]\nflip_probability = 1.5",
       "rig.toml:2: 'flip_probability' must be a number from 0 to 1"},
      {"[faults]\nseed = -1",
       "rig.toml:2: 'seed' must be an integer from 0 to 9223372036854775807"},
      {"[faults]\nboard_stops = 4",
       "rig.toml:2: 'board_stops' must be an array of tables ([[faults.board_stops]])"},
      {"[[faults.board_stops]]\nblock = 16\nafter = 1",
       "rig.toml:2: 'block' must be an integer from 0 to 15"},
      {"[[faults.board_stops]]\nblock = 1", "rig.toml:1: a board stop needs 'block' and 'after'"},
      {"[[faults.board_stops]]\nblock = 1\nafter = 2\nwhen = 3", "rig.toml:4: unknown key 'when'"},
      {"[[faults.board_stops]]\nblock = 1\nafter = 2\nuntil = 2",
       "rig.toml:4: 'until' must be an integer from 3 to 9223372036854775807"},
  };
  for (const Mistake &c : cases) {
    SCOPED_TRACE(c.toml);
    try {
      parse_rig(c.toml, "rig.toml");
      ADD_FAILURE() << "accepted";
    } catch (const RigError &e) {
      EXPECT_STREQ(e.what(), c.message);
      EXPECT_EQ(e.file(), "rig.toml");
    }
  }
}

TEST(RigFile, SyntaxErrorsKeepTheirLine) {
  try {
    parse_rig("clock = \"wall\"\n[boards\n", "bad.toml");
    ADD_FAILURE() << "accepted";
  } catch (const RigError &e) {
    EXPECT_EQ(e.line(), 2u);
    EXPECT_EQ(std::string(e.what()).rfind("bad.toml:2: ", 0), 0u) << e.what();
  }
}

TEST(RigFile, UnreadableFileHasNoLine) {
  try {
    load_rig("/nonexistent/rig.toml");
    ADD_FAILURE() << "loaded";
  } catch (const RigError &e) {
    EXPECT_STREQ(e.what(),
                 "/nonexistent/rig.toml: cannot read rig file: No such file or directory");
    EXPECT_EQ(e.line(), 0u);
  }
}

std::string dotted(std::size_t parts) {
  std::string key = "a";
  for (std::size_t i = 1; i < parts; ++i)
    key += i % 2 ? ".a" : " . \"a\"";
  return key;
}

// A dotted key or table header of any depth is refused with its line before
// the parser recurses into it; dots in strings, comments and values are no
// key parts.
TEST(RigFile, KeyDepthIsBoundedWithItsLine) {
  struct Case {
    std::string text;
    unsigned line; // of the depth error; 0: some other error or none
  };
  const std::string deep = dotted(50000);
  std::string plain_dots = "a";
  for (int i = 0; i < 100; ++i)
    plain_dots += ".a";
  const Case cases[] = {
      {"# first\n" + deep + " = 1\n", 2},
      {"clock = \"wall\"\n\n[" + deep + "]\n", 3},
      {"[[" + dotted(33) + "]]\n", 1},
      {"[encoders]\nvelocity = [1, 2, 3, 4]\nx = { " + dotted(40) + " = 1 }\n", 3},
      {"\"\"\"\n\n\"\"\"\n" + dotted(33) + " = 1\n", 4}, // a string's line ends counted
      {dotted(32) + " = 1\n", 0},
      {"x = \"" + plain_dots + "\" # " + dotted(100) + "\n", 0},
      // a quote that starts no string (4.08'...) hides nothing from the look
      {"flip_probability = 4.08'after\xd1\x8f's].001\n", 0},
      {"x = '" + dotted(100) + "'\ny = 1.5\n", 0},
      {"x = \"\xc3\xa9\" # \xc3\xa9\n", 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.text.substr(0, 60));
    try {
      parse_rig(c.text, "r.toml");
      ADD_FAILURE() << "accepted";
    } catch (const RigError &e) {
      const bool depth = e.message().find("dotted parts") != std::string::npos;
      EXPECT_EQ(depth, c.line != 0) << e.what();
      if (depth) {
        EXPECT_EQ(e.line(), c.line) << e.what();
      }
    }
  }
}

// Outside strings and comments a rig is ASCII: a byte beyond is refused
// with its line before the parser looks at it (one look at U+FEF7 in a
// table header reached toml++'s unreachable code).
TEST(RigFile, NonAsciiOutsideStringsIsRefusedWithItsLine) {
  for (const char *text : {"[\xef\xbb\xb7"
                           "faults]\n",
                           "\n\xc2\xa0"
                           "clock = \"wall\"\n"}) {
    try {
      parse_rig(text, "r.toml");
      ADD_FAILURE() << "accepted";
    } catch (const RigError &e) {
      EXPECT_NE(e.message().find("outside ASCII"), std::string::npos) << e.what();
      EXPECT_EQ(e.line(), text[0] == '\n' ? 2u : 1u) << e.what();
    }
  }
}

} // namespace
} // namespace vorn::sim
