// The replay as a library: a client's own run recorded on the simulator and
// replayed in process, through the C++ class and the C interface.
#include "bus.h"
#include "vorn.h"
#include "vornsim.h"
#include "vornsim.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

// A controller's run: start-up, four counts read, a stop point, shut-down.
std::array<double, 4> controller_run(bool stop_seen) {
  std::array<double, 4> counts{};
  EXPECT_EQ(vornMotInit(nullptr), 0);
  vornEncoderReadAll(4, counts.data());
  vorn::port_event(vorn::kStopEvent, stop_seen ? "stop SIGINT" : "");
  vornMotQuit();
  return counts;
}

class ReplayLibrary : public ::testing::Test {
protected:
  ReplayLibrary() : path_("replay_library_" + std::to_string(getpid()) + ".trace") {
    vorn::sim::Rig rig;
    rig.clock = vorn::sim::Clock::virtual_time;
    rig.counters = {517, 1000, 16777215, 42};
    vorn::sim::Simulator sim(rig);
    EXPECT_TRUE(sim.trace_to(path_));
    sim.install();
    recorded_ = controller_run(true);
  }
  ~ReplayLibrary() override { std::remove(path_.c_str()); }

  std::string path_;
  std::array<double, 4> recorded_;
};

TEST_F(ReplayLibrary, ReadsAreAnsweredFromTheRecordingAndItsStopIsTaken) {
  vorn::sim::Replay replay;
  ASSERT_TRUE(replay.load(path_)) << replay.reason();
  replay.install();
  std::array<double, 4> counts{};
  EXPECT_EQ(vornMotInit(nullptr), 0);
  vornEncoderReadAll(4, counts.data());
  EXPECT_EQ(vorn::port_event(vorn::kStopEvent, ""), "stop SIGINT") << "where it was recorded";
  vornMotQuit();
  EXPECT_EQ(counts, recorded_);
  EXPECT_EQ(counts[0], 517);
  const vorn::RunEnd end = replay.end_run();
  EXPECT_EQ(end.kind, vorn::RunEnd::Kind::ok) << end.message;
}

TEST_F(ReplayLibrary, ARunThatStopsEarlyIsADepartureAndThenEveryPointStops) {
  vorn::sim::Replay replay;
  ASSERT_TRUE(replay.load(path_));
  replay.install();
  EXPECT_EQ(vornMotInit(nullptr), 0);
  vornMotQuit(); // the counts were recorded first
  EXPECT_TRUE(replay.departed());
  EXPECT_FALSE(vorn::port_event(vorn::kStopEvent, "").empty());
  const vorn::RunEnd end = replay.end_run();
  EXPECT_EQ(end.kind, vorn::RunEnd::Kind::replay_departed);
  EXPECT_NE(end.message.find(path_ + ":"), std::string::npos) << end.message;
  EXPECT_NE(end.message.find("this run wrote W"), std::string::npos) << end.message;
}

TEST_F(ReplayLibrary, TheCInterfaceReplaysAndTellsTheEnd) {
  ASSERT_EQ(vornsim_replay(path_.c_str()), 0);
  EXPECT_EQ(controller_run(false), recorded_);
  EXPECT_EQ(vornsim_replay_end(), 0);

  ASSERT_EQ(vornsim_replay(path_.c_str()), 0);
  EXPECT_EQ(vornMotInit(nullptr), 0);
  testing::internal::CaptureStderr();
  EXPECT_EQ(vornsim_replay_end(), -1);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("this run ended"), std::string::npos);

  testing::internal::CaptureStderr();
  EXPECT_EQ(vornsim_replay("no-such-recording.trace"), -1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "vornsim: cannot read no-such-recording.trace: No such file or directory\n");
}

} // namespace

namespace {

// A client's trace that fails during the run: the shut-down says so, and
// vornPortProblem() says why. In a child: the library's trace is once per
// process.
TEST(LibraryTrace, AFailedTraceMakesTheShutDownReturnMinusOne) {
  EXPECT_EXIT(
      {
        vorn::sim::Simulator sim(vorn::sim::Rig{});
        sim.install();
        setenv("VORN_TRACE", "/dev/full", 1);
        vornRateReportTo(nullptr);
        const bool started = vornMotInit(nullptr) == 0;
        const bool failed = vornMotQuit() == -1;
        const bool told =
            std::string(vornPortProblem()).find("No space left on device") != std::string::npos;
        std::_Exit(started && failed && told ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

// After the shut-down the port is given back: motion commanded then reaches
// no board, as on a real port.
TEST(SimulatorReleased, DropsMotionCommandedAfterTheShutDown) {
  vorn::sim::Rig rig;
  rig.clock = vorn::sim::Clock::virtual_time;
  vorn::sim::Simulator sim(rig);
  sim.install();
  vornRateReportTo(nullptr);
  ASSERT_EQ(vornMotInit(nullptr), 0);
  vornMotQuit();
  const std::uint8_t stopped = sim.rate_control();
  const std::uint32_t count = sim.rate_count(1);
  vornRateWrite(1, 2.5);
  EXPECT_EQ(sim.rate_control(), stopped);
  EXPECT_EQ(sim.rate_count(1), count);
}

} // namespace
