// A port of another library put in place through libvorn's C calls
// (vorn_port.h): the accesses, the bulk read, the open's refusal and the
// run control cross them as they are, and bridges nest and give back.
#include "bus.h"
#include "port_bridge.h"
#include "recording_port.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <optional>
#include <string>
#include <vector>

namespace {

// Five registers that keep what is written to them.
class Latch final : public vorn::PortBackend {
public:
  explicit Latch(std::uint8_t fill, int refusal = 0) : refusal_(refusal) {
    for (std::uint8_t &r : regs_)
      r = fill;
  }
  const char *name() const override { return "latch"; }
  int open(std::uint32_t) override { return refusal_; }
  std::uint8_t read(vorn::Reg reg) override { return regs_[static_cast<int>(reg)]; }
  void write(vorn::Reg reg, std::uint8_t value) override { regs_[static_cast<int>(reg)] = value; }
  void release() override { ++releases; }
  int releases = 0;

private:
  std::uint8_t regs_[vorn::kRegCount];
  int refusal_;
};

// Takes a stop wherever one is asked about, keeps the notes, and ends the
// run departed.
class Departing final : public vorn::RunControl {
public:
  std::string event_point(std::string_view kind, std::string seen) override {
    asked.push_back(std::string(kind) + "|" + seen);
    return std::string(kind) + " SIGINT";
  }
  void note(std::string_view text) override { notes.emplace_back(text); }
  vorn::RunEnd end_run() override {
    return {vorn::RunEnd::Kind::replay_departed, "board.trace:3: recorded W 2 24"};
  }
  std::vector<std::string> asked;
  std::vector<std::string> notes;
};

constexpr std::uint16_t kBase = 0x378;

TEST(PortBridge, AccessesReachTheBridgedPortAndTheOneBeforeAfterIt) {
  vorn::test::RecordingPort before(kBase);
  Latch outer(0x11), inner(0x22, EBUSY);
  {
    vorn::PortBridge outer_bridge(outer, vorn::no_run_control());
    vorn::port_out(vorn::Reg::control, 0x24);
    EXPECT_EQ(outer.read(vorn::Reg::control), 0x24);
    {
      vorn::PortBridge inner_bridge(inner, vorn::no_run_control());
      EXPECT_STREQ(vorn::port_backend().name(), "latch");
      EXPECT_EQ(vorn::port_backend().open(kBase), EBUSY);
      std::uint8_t bytes[3] = {};
      vorn::port_in_many(bytes, 3);
      EXPECT_EQ(std::vector<std::uint8_t>(bytes, bytes + 3), std::vector<std::uint8_t>(3, 0x22));
      vorn::port_backend().release();
      EXPECT_EQ(inner.releases, 1);
    }
    EXPECT_EQ(vorn::port_in(vorn::Reg::status), 0x11) << "the outer bridge back in place";
  }
  EXPECT_TRUE(before.accesses().empty());
  vorn::port_out(vorn::Reg::data, 0x5A);
  EXPECT_EQ(vorn::test::to_string(before.accesses()), "W 0 5a\n") << "the port before, back";
}

TEST(PortBridge, RunControlCrossesTheCCalls) {
  vorn::test::RecordingPort before(kBase);
  Latch port(0);
  Departing run;
  {
    vorn::PortBridge bridge(port, run);
    EXPECT_EQ(vorn::port_event(vorn::kStopEvent, ""), "stop SIGINT");
    EXPECT_EQ(vorn::port_event(vorn::kKeyboardCutEvent, "keyboard cut SIGTERM"),
              "keyboard cut SIGINT");
    vorn::port_note(std::string_view("run: vorndiag 378 bus").substr(0, 4));
    const vorn::RunEnd end = vorn::end_port_run();
    EXPECT_EQ(end.kind, vorn::RunEnd::Kind::replay_departed);
    EXPECT_EQ(end.message, "board.trace:3: recorded W 2 24");
  }
  EXPECT_EQ(run.asked, (std::vector<std::string>{"stop|", "keyboard cut|keyboard cut SIGTERM"}));
  EXPECT_EQ(run.notes, std::vector<std::string>{"run:"}) << "the note's own length";
  EXPECT_EQ(vorn::port_event(vorn::kStopEvent, ""), "") << "no run control once given back";
  EXPECT_EQ(vorn::end_port_run().kind, vorn::RunEnd::Kind::ok);
}

} // namespace
