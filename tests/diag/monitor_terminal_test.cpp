// monitor end to end: vorndiag-sim in a terminal of tmux's, its screen read
// back as text, keys and signals sent, the port trace and the terminal
// checked after the end.
#include "bus_ops.h"
#include "run_tool.h"
#include "scratch_dir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

bool have_tmux() { return std::system("tmux -V >/dev/null 2>&1") == 0; }

std::string quoted(const std::string &text) { return "'" + text + "'"; }

std::string command_output(const std::string &command) {
  std::string out;
  if (std::FILE *p = popen(command.c_str(), "r")) {
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
      out.append(buf, n);
    pclose(p);
  }
  return out;
}

// One detached tmux server of its own, one pane running the monitor under
// a shell that reports the status and whether the terminal's modes came
// back as they were: "[end <status> <restored|changed>]".
class Pane {
public:
  // `rig`: the monitor on that rig, traced by the simulator; `replay`: a
  // replay of that recording, its run traced by the library.
  Pane(const std::string &rig, int cols = 80, int rows = 24, bool replay = false)
      : socket_(dir_.file("tmux.socket")) {
    const std::string run = replay ? "VORNSIM_REPLAY=" + rig + " VORN_TRACE=" + trace()
                                   : "VORNSIM_RIG=" + rig + " VORNSIM_TRACE=" + trace();
    const std::string script =
        "echo $$ >" + dir_.file("shell.pid") + "; modes=$(stty -g); " + run + " " + VORNDIAG_SIM +
        " 378 monitor 2>" + dir_.file("stderr") +
        "; s=$?; [ \"$modes\" = \"$(stty -g)\" ] && r=restored || r=changed; "
        "echo \"[end $s $r]\"; sleep 600";
    tmux("new-session -d -x " + std::to_string(cols) + " -y " + std::to_string(rows) + " -s t " +
         quoted(script) + " \\; set -g status off");
  }
  // A monitor that did not end (a fault under test) must not outlive the test.
  ~Pane() {
    if (const pid_t left = tool(); left > 0)
      kill(left, SIGKILL);
    tmux("kill-server");
  }

  std::string tmux(const std::string &args) const {
    return command_output("tmux -S " + socket_ + " -f /dev/null " + args + " 2>&1");
  }
  std::vector<std::string> screen() const {
    std::vector<std::string> lines;
    std::istringstream in(tmux("capture-pane -p -t t"));
    for (std::string line; std::getline(in, line);)
      lines.push_back(line);
    return lines;
  }
  std::string text() const { return tmux("capture-pane -p -t t"); }
  void keys(const std::string &keys) const { tmux("send-keys -t t " + keys); }
  bool alternate_screen() const { return tmux("display -p -t t '#{alternate_on}'") == "1\n"; }

  // Waits until `holds` is true of the screen; false after `limit`.
  bool wait_for(const std::function<bool(const std::vector<std::string> &)> &holds,
                Clock::duration limit = 15s) const {
    const auto end = Clock::now() + limit;
    while (Clock::now() < end) {
      if (holds(screen()))
        return true;
      std::this_thread::sleep_for(50ms);
    }
    return false;
  }
  bool wait_for_text(const std::string &text, Clock::duration limit = 15s) const {
    return wait_for(
        [&](const std::vector<std::string> &) {
          return this->text().find(text) != std::string::npos;
        },
        limit);
  }
  bool showing() const {
    return wait_for([](const std::vector<std::string> &s) {
      return s.size() >= 24 && s[0].starts_with("vorndiag monitor");
    });
  }
  // The monitor itself: the shell's child.
  pid_t tool() const {
    const std::string shell = vorn::test::read_file(dir_.file("shell.pid"));
    const std::string children =
        vorn::test::read_file("/proc/" + std::to_string(std::atoi(shell.c_str())) + "/task/" +
                              std::to_string(std::atoi(shell.c_str())) + "/children");
    return static_cast<pid_t>(std::atoi(children.c_str()));
  }
  // "[end <status> <restored|changed>]" once the monitor has ended.
  std::string end_line() const {
    wait_for_text("[end ");
    const std::string t = text();
    const auto at = t.find("[end ");
    return at == std::string::npos ? "" : t.substr(at, t.find(']', at) - at + 1);
  }
  std::string trace() const { return dir_.file("port.trace"); }
  std::string err() const { return vorn::test::read_file(dir_.file("stderr")); }

private:
  vorn::test::ScratchDir dir_;
  std::string socket_;
};

std::string rig(const char *name) { return std::string(VORN_RIGS) + "/" + name; }

struct EncoderRow {
  double count = 0, per_second = 0;
  long long pulses = 0;
  double per_turn = -1;
};

EncoderRow encoder_row(const std::vector<std::string> &screen, int n) {
  EncoderRow row;
  if (screen.size() < 17)
    return row;
  int enc = -1;
  char index[8] = {};
  char turn[32] = {};
  if (std::sscanf(screen[13 + n].c_str(), "%d %lf %lf %7s %lld %31s", &enc, &row.count,
                  &row.per_second, index, &row.pulses, turn) == 6 &&
      turn[0] != '-')
    row.per_turn = std::atof(turn);
  return row;
}

// The bus operations between the board map's first read and the
// shut-down, which begins at the last selection of the rate control
// register; empty unless the trace ends with the shut-down.
std::vector<std::string> run_ops(const std::string &trace) {
  const std::vector<std::string> ops = diagtest::bus_ops(diagtest::parse_trace(trace));
  const std::vector<std::string> shutdown = {"sel 1c", "wr 00", "wr c8", "wr c8"};
  if (ops.size() < shutdown.size() || !std::equal(shutdown.begin(), shutdown.end(), ops.end() - 4))
    return {};
  const auto first = std::find(ops.begin(), ops.end(), "sel 0f");
  return {first, ops.end() - 4};
}

// Every write between start-up and shut-down is the latch strobe's.
std::string writes_besides_the_latch(const std::vector<std::string> &ops) {
  std::string selected, wrong;
  for (const std::string &op : ops) {
    if (op.starts_with("sel "))
      selected = op;
    else if (op.starts_with("wr ") && (selected != "sel 04" || (op != "wr 20" && op != "wr 00")))
      wrong += selected + " " + op + "; ";
  }
  return wrong;
}

class MonitorTerminal : public ::testing::Test {
protected:
  void SetUp() override {
    if (!have_tmux())
      GTEST_SKIP() << "tmux is not installed (scripts/ensure-deps installs it)";
  }
};

TEST_F(MonitorTerminal, TurningRigCountsRatesAndIndexPulses) {
  Pane pane(rig("turning.toml"));
  ASSERT_TRUE(pane.showing()) << pane.text();
  const auto t1 = Clock::now();
  const auto first = pane.screen();
  std::this_thread::sleep_for(1500ms);
  const auto second = pane.screen();
  const double seconds = std::chrono::duration<double>(Clock::now() - t1).count();
  const struct {
    int encoder;
    double velocity;
  } axes[] = {{0, 1000}, {1, -4000}, {2, 0}, {3, 0}};
  for (const auto &axis : axes) {
    SCOPED_TRACE("encoder " + std::to_string(axis.encoder));
    const EncoderRow a = encoder_row(first, axis.encoder);
    const EncoderRow b = encoder_row(second, axis.encoder);
    EXPECT_NEAR((b.count - a.count) / seconds, axis.velocity, 0.3 * std::abs(axis.velocity) + 1)
        << pane.text();
    EXPECT_NEAR(b.per_second, axis.velocity, 0.2 * std::abs(axis.velocity) + 1) << pane.text();
  }
  // An index pulse every 2000 counts: every 2 s on encoder 0.
  ASSERT_TRUE(pane.wait_for([](const auto &s) { return encoder_row(s, 0).pulses >= 2; }, 10s))
      << pane.text();
  const auto screen = pane.screen();
  EXPECT_NEAR(encoder_row(screen, 0).per_turn, 2000, 300) << pane.text();
  EXPECT_NEAR(encoder_row(screen, 1).per_turn, 2000, 500) << pane.text();
  EXPECT_GE(encoder_row(screen, 1).pulses, 7) << pane.text();
  EXPECT_EQ(encoder_row(screen, 2).pulses, 0);
  pane.keys("q");
  EXPECT_EQ(pane.end_line(), "[end 0 restored]") << pane.text() << pane.err();
}

// q and every stop end it through the shut-down, with the terminal as it was.
TEST_F(MonitorTerminal, EndsThroughTheShutDownWithTheTerminalRestored) {
  const struct {
    const char *name;
    std::function<void(const Pane &)> end;
  } ends[] = {
      {"q", [](const Pane &p) { p.keys("q"); }},
      {"Ctrl-C", [](const Pane &p) { p.keys("C-c"); }},
      {"SIGTERM", [](const Pane &p) { kill(p.tool(), SIGTERM); }},
      {"SIGHUP", [](const Pane &p) { kill(p.tool(), SIGHUP); }},
  };
  for (const auto &e : ends) {
    SCOPED_TRACE(e.name);
    Pane pane(rig("turning.toml"));
    ASSERT_TRUE(pane.showing()) << pane.text();
    std::this_thread::sleep_for(300ms);
    ASSERT_GT(pane.tool(), 0);
    e.end(pane);
    EXPECT_EQ(pane.end_line(), "[end 0 restored]") << pane.text() << pane.err();
    EXPECT_FALSE(pane.alternate_screen());
    const std::vector<std::string> ops = run_ops(vorn::test::read_file(pane.trace()));
    ASSERT_FALSE(ops.empty()) << "no shut-down at the trace's end";
    EXPECT_EQ(writes_besides_the_latch(ops), "");
    EXPECT_GT(std::count(ops.begin(), ops.end(), "sel 0c"), 3) << "the index bits were read";
  }
}

// A terminal that stops taking output (Ctrl-S) holds up nothing: a stop
// still shuts the boards down; the screen's rest goes out once it reads on.
TEST_F(MonitorTerminal, StalledTerminalDoesNotHoldUpTheShutDown) {
  Pane pane(rig("turning.toml"));
  ASSERT_TRUE(pane.showing()) << pane.text();
  pane.keys("C-s");
  std::this_thread::sleep_for(500ms);
  const pid_t tool = pane.tool();
  ASSERT_GT(tool, 0);
  kill(tool, SIGTERM);
  const auto end = Clock::now() + 10s;
  while (run_ops(vorn::test::read_file(pane.trace())).empty() && Clock::now() < end)
    std::this_thread::sleep_for(50ms);
  EXPECT_FALSE(run_ops(vorn::test::read_file(pane.trace())).empty()) << "no shut-down";
  pane.keys("C-q");
  EXPECT_EQ(pane.end_line(), "[end 0 restored]") << pane.text() << pane.err();
}

TEST_F(MonitorTerminal, EmptyRigMarksEveryBlockAndEndsWithStatus6) {
  Pane pane(rig("empty.toml"));
  ASSERT_TRUE(pane.showing()) << pane.text();
  // Some refreshes in, each of whose index reads came back all ones.
  ASSERT_TRUE(pane.wait_for([](const auto &s) {
    return s[3].find(" 0 none ") == 1 && std::atoi(s[3].c_str() + 15) > 100;
  })) << pane.text();
  const auto screen = pane.screen();
  int marked = 0;
  for (int row = 3; row < 11; ++row)
    for (std::size_t col : {35u, 75u})
      marked += screen[row].size() > col && screen[row][col] == 'X';
  EXPECT_EQ(marked, 16) << pane.text();
  EXPECT_EQ(encoder_row(screen, 0).pulses, 0) << "a dead bus's ones are no index pulses";
  pane.keys("q");
  EXPECT_EQ(pane.end_line(), "[end 6 restored]") << pane.text() << pane.err();
}

TEST_F(MonitorTerminal, DefaultRigMarksOnlyTheEmptyBlocks) {
  Pane pane(rig("default.toml"));
  ASSERT_TRUE(pane.showing()) << pane.text();
  const auto screen = pane.screen();
  for (int block = 0; block < 16; ++block) {
    const char mark = screen[3 + block % 8][block < 8 ? 35 : 75];
    // Block 2 is the rate generator's second: never read, never marked.
    EXPECT_EQ(mark == 'X', block != 0 && block != 1 && block != 2 && block != 4) << block << "\n"
                                                                                 << pane.text();
  }
  pane.keys("q");
  EXPECT_EQ(pane.end_line(), "[end 0 restored]") << pane.text() << pane.err();
}

// The encoder board stops answering during the run: marked at once, and
// the run ends as a run whose board stopped answering ends.
TEST_F(MonitorTerminal, BoardThatStopsAnsweringIsMarkedAndCounts) {
  vorn::test::ScratchDir dir;
  std::ofstream(dir.file("stops.toml")) << "[[faults.board_stops]]\nblock = 0\nafter = 1500\n";
  Pane pane(dir.file("stops.toml"));
  ASSERT_TRUE(pane.wait_for([](const auto &s) {
    return s.size() > 3 && s[3].size() > 35 && s[3][35] == 'X';
  })) << pane.text();
  EXPECT_EQ(pane.screen()[7][35], ' ') << "block 4 answered at the start\n" << pane.text();
  pane.keys("q");
  EXPECT_EQ(pane.end_line(), "[end 6 restored]") << pane.text() << pane.err();
  EXPECT_NE(pane.err().find("block 0 stopped answering"), std::string::npos) << pane.err();
}

TEST_F(MonitorTerminal, ToggledInputsShowAsTheyChange) {
  Pane pane(rig("toggling.toml"));
  ASSERT_TRUE(pane.showing()) << pane.text();
  // din 0's bit 0 is the last lamp of its row; it flips every half second.
  auto lamp = [](const std::vector<std::string> &s) { return s[18].substr(16, 24); };
  const std::string before = lamp(pane.screen());
  EXPECT_TRUE(pane.wait_for([&](const auto &s) { return lamp(s) != before; }, 3s)) << pane.text();
  EXPECT_TRUE(pane.wait_for([](const auto &s) { return s[19].find('#') != std::string::npos; }, 3s))
      << "din 1's bit 7 comes on\n"
      << pane.text();
  EXPECT_NE(pane.screen()[18].find('*'), std::string::npos) << pane.text();
  pane.keys("q");
  EXPECT_EQ(pane.end_line(), "[end 0 restored]");
}

TEST_F(MonitorTerminal, ZeroAndPauseTouchOnlyTheDisplay) {
  Pane pane(rig("turning.toml"));
  ASSERT_TRUE(pane.showing()) << pane.text();
  std::this_thread::sleep_for(1s);
  pane.keys("z");
  ASSERT_TRUE(pane.wait_for(
      [](const auto &s) {
        return std::abs(encoder_row(s, 0).count) < 500 && std::abs(encoder_row(s, 1).count) < 2000;
      },
      3s))
      << pane.text();
  pane.keys("p");
  ASSERT_TRUE(pane.wait_for_text("PAUSED", 3s)) << pane.text();
  const auto paused = pane.screen();
  std::this_thread::sleep_for(400ms);
  EXPECT_EQ(encoder_row(pane.screen(), 0).count, encoder_row(paused, 0).count);
  pane.keys("p");
  EXPECT_TRUE(pane.wait_for(
      [&](const auto &s) { return encoder_row(s, 0).count > encoder_row(paused, 0).count; }, 3s))
      << pane.text();
  pane.keys("q");
  EXPECT_EQ(pane.end_line(), "[end 0 restored]");
  EXPECT_EQ(writes_besides_the_latch(run_ops(vorn::test::read_file(pane.trace()))), "");
}

// The keys in the trace where monitor took them: a replay takes them from
// there, whatever is typed into it, and makes the recorded run's bus
// traffic and status.
TEST_F(MonitorTerminal, ReplayTakesTheRecordedKeys) {
  const struct {
    const char *rig;
    // Sent a fifth of a second apart, the keys of each at once: taken
    // within one refresh.
    std::vector<std::string> keys;
    const char *end;
  } runs[] = {
      {"turning.toml", {"z", "pp", "z", "q"}, "[end 0 restored]"},
      {"turning.toml", {"zp", "zq"}, "[end 0 restored]"},
      {"turning.toml", {"p"}, "[end 0 restored]"}, // ended by SIGTERM
      {"empty.toml", {"q"}, "[end 6 restored]"},
  };
  for (const auto &r : runs) {
    SCOPED_TRACE(std::string(r.rig) + " " + r.keys.front());
    Pane recorded(rig(r.rig));
    ASSERT_TRUE(recorded.showing()) << recorded.text();
    for (const std::string &k : r.keys) {
      std::this_thread::sleep_for(200ms);
      recorded.keys(k);
    }
    if (!r.keys.back().ends_with('q')) {
      std::this_thread::sleep_for(200ms);
      kill(recorded.tool(), SIGTERM);
    }
    ASSERT_EQ(recorded.end_line(), r.end) << recorded.text() << recorded.err();
    const std::vector<std::string> ops = run_ops(vorn::test::read_file(recorded.trace()));
    ASSERT_FALSE(ops.empty());

    Pane replay(recorded.trace(), 80, 24, true);
    ASSERT_TRUE(replay.showing()) << replay.text();
    replay.keys("q"); // not the recording's: ignored
    EXPECT_EQ(replay.end_line(), r.end) << replay.text() << replay.err();
    EXPECT_EQ(run_ops(vorn::test::read_file(replay.trace())), ops);
  }
}

TEST_F(MonitorTerminal, SmallTerminalAsksToBeEnlargedAndResizeRedraws) {
  Pane pane(rig("default.toml"), 70, 20);
  ASSERT_TRUE(pane.wait_for_text("at least 80 x 24")) << pane.text();
  pane.tmux("resize-window -t t -x 80 -y 24");
  EXPECT_TRUE(pane.showing()) << pane.text();
  pane.tmux("resize-window -t t -x 79 -y 24");
  EXPECT_TRUE(pane.wait_for_text("at least 80 x 24", 3s)) << pane.text();
  pane.keys("q");
  EXPECT_EQ(pane.end_line(), "[end 0 restored]");
}

// No terminal: refused at once, before the port is taken.
TEST(MonitorStream, RefusedWithoutATerminal) {
  vorn::test::ScratchDir dir;
  vorn::test::RunSettings how;
  how.args = {"378", "monitor"};
  how.env = {{"VORNSIM_TRACE", dir.file("port.trace")}};
  const vorn::test::RunResult r = vorn::test::run_tool(VORNDIAG_SIM, how);
  EXPECT_EQ(r.exit_status, 255);
  EXPECT_NE(r.err.find("pos"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("diocontinuous"), std::string::npos) << r.err;
  EXPECT_TRUE(diagtest::parse_trace(vorn::test::read_file(dir.file("port.trace"))).empty());
}

} // namespace
