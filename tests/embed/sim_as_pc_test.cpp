// The simulated boards through the shipped libraries behave as the PC's
// port does: nothing reaches them before a start-up, and a path that names
// no parallel-port device is refused in front of them too.
#include "extintf.h"
#include "forked_trace.h"
#include "vorn.h"
#include "vornsim.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

namespace {

struct Refused {
  const char *name;
  int (*call)();
};

const Refused kBeforeStart[] = {
    {"EncoderRead",
     [] {
       double counts = 0;
       return extEncoderRead(0, &counts);
     }},
    {"RateWrite", [] { return extRateWrite(0, 1.0); }},
    {"DioWrite", [] { return extDioWrite(0, 0xFF); }},
    {"ResetIndex", [] { return extEncoderResetIndex(0); }},
    {"Quit", [] { return extMotQuit(); }},
};

class BeforeStart : public testing::TestWithParam<Refused> {};

// A rate that reached the boards would move axis 0 within the second.
TEST_P(BeforeStart, ReachesNoBoard) {
  ASSERT_EQ(vornsim_install(nullptr), 0);
  vornsim_set_counter(0, 1000);
  const int output = vornsim_dig_out(0);
  errno = 0;
  EXPECT_EQ(GetParam().call(), -1);
  EXPECT_EQ(errno, ENODEV);
  vornsim_advance_us(1000000);
  EXPECT_EQ(vornsim_dig_out(0), output);
  EXPECT_EQ(vornsim_counter(0), 1000);
}

INSTANTIATE_TEST_SUITE_P(Sim, BeforeStart, testing::ValuesIn(kBeforeStart),
                         [](const auto &info) { return std::string(info.param.name); });

struct Path {
  const char *name;
  const char *path;
  int err;
};

const Path kNoPorts[] = {
    {"Misspelt", "/dev/parprot0", ENOENT},
    {"NullDevice", "/dev/null", ENODEV},
    {"Folder", "/tmp", ENODEV},
};

class NoPortPath : public testing::TestWithParam<Path> {};

TEST_P(NoPortPath, IsRefusedThenAStartRuns) {
  ASSERT_EQ(vornsim_install(nullptr), 0);
  errno = 0;
  EXPECT_EQ(extMotInit(GetParam().path), -1);
  EXPECT_EQ(errno, GetParam().err);
  double counts = 0;
  EXPECT_EQ(extEncoderRead(0, &counts), -1);
  ASSERT_EQ(extMotInit(nullptr), 0) << vornPortProblem();
  EXPECT_EQ(extEncoderRead(0, &counts), 0);
  EXPECT_EQ(counts, 517.0);
  EXPECT_EQ(extMotQuit(), 0);
}

INSTANTIATE_TEST_SUITE_P(Sim, NoPortPath, testing::ValuesIn(kNoPorts),
                         [](const auto &info) { return std::string(info.param.name); });

bool start_traced(const std::string &path) {
  return vornsim_install(nullptr) == 0 && vornsim_trace(path.c_str()) == 0 &&
         extMotInit(nullptr) == 0;
}

// The simulator's trace is libvorn's: what the parent buffered before the
// fork is the parent's to write, as on the PC.
TEST(SimForkedTrace, ChildWritesNoneOfIt) {
  vorn::test::expect_child_writes_none(testing::TempDir() + "embed_sim_fork_trace", start_traced);
}

} // namespace
