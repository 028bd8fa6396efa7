// The recordings kept in traces/, one folder each: the port trace
// (*.trace or *.trace.gz, its "# run:" line giving the arguments), the
// run's standard output (stdout, or stdout.gz when large), its input
// (stdin) if it read any, its status (status) if not 0, and its standard
// error (stderr, "<program>" for the tool's path) if it wrote any. Each
// replays to the same status and the same output, byte for byte.
#include "replay_run.h"
#include "run_note.h"
#include "trace_io.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <zlib.h>

namespace replaytest {
namespace {

namespace fs = std::filesystem;

// A file's bytes, through gzip when it is compressed.
std::string contents(const fs::path &path) {
  std::string text;
  gzFile gz = gzopen(path.c_str(), "rb");
  if (gz == nullptr)
    return text;
  char buffer[1 << 16];
  for (int n; (n = gzread(gz, buffer, sizeof buffer)) > 0;)
    text.append(buffer, static_cast<std::size_t>(n));
  gzclose(gz);
  return text;
}

fs::path first_of(const fs::path &dir, std::initializer_list<const char *> names) {
  for (const char *name : names)
    if (fs::exists(dir / name))
      return dir / name;
  return {};
}

fs::path trace_in(const fs::path &dir) {
  for (const auto &entry : fs::directory_iterator(dir)) {
    const std::string name = entry.path().filename();
    if (name.ends_with(".trace") || name.ends_with(".trace.gz"))
      return entry.path();
  }
  return {};
}

// The arguments of the trace's "# run: <program> <arguments...>" line.
std::vector<std::string> arguments_of(const fs::path &trace) {
  vorn::trace::Input in;
  std::string_view line;
  std::vector<std::string> args;
  if (!in.open(trace) || !in.next(line) || !line.starts_with("# run: "))
    return args;
  line.remove_prefix(7);
  args = vorn::trace::decode_words(line).value_or(std::vector<std::string>{});
  if (!args.empty())
    args.erase(args.begin());
  return args;
}

std::vector<fs::path> recordings() {
  std::vector<fs::path> dirs;
  for (const auto &entry : fs::directory_iterator(REPLAY_TRACES_DIR))
    if (entry.is_directory())
      dirs.push_back(entry.path());
  std::sort(dirs.begin(), dirs.end());
  return dirs;
}

struct Ending {
  int status;
  std::string err;
};

// The status and standard error the recording ended with.
Ending recorded_ending(const fs::path &dir) {
  const fs::path status = first_of(dir, {"status"});
  Ending ending{status.empty() ? 0 : std::stoi(contents(status)),
                contents(first_of(dir, {"stderr"}))};
  const std::string program = "<program>";
  for (std::size_t at; (at = ending.err.find(program)) != std::string::npos;)
    ending.err.replace(at, program.size(), VORNDIAG_SIM);
  return ending;
}

class KeptRecording : public ::testing::TestWithParam<fs::path> {};

TEST_P(KeptRecording, ReplaysToTheRecordedStatusAndOutput) {
  const fs::path dir = GetParam();
  const fs::path trace = trace_in(dir);
  ASSERT_FALSE(trace.empty()) << dir << " has no trace";
  const std::vector<std::string> args = arguments_of(trace);
  ASSERT_GE(args.size(), 2u) << trace << " has no run line";
  const fs::path out = first_of(dir, {"stdout", "stdout.gz"});
  ASSERT_FALSE(out.empty()) << dir << " has no stdout";
  const Ending expected = recorded_ending(dir);

  const RunResult run = replay(trace, args, contents(first_of(dir, {"stdin"})));
  EXPECT_EQ(run.exit_status, expected.status) << run.err;
  EXPECT_EQ(run.err, expected.err);
  EXPECT_TRUE(run.out == contents(out)) << "standard output differs from " << out;
}

INSTANTIATE_TEST_SUITE_P(Traces, KeptRecording, ::testing::ValuesIn(recordings()),
                         [](const auto &info) {
                           std::string name = info.param.filename();
                           std::replace(name.begin(), name.end(), '-', '_');
                           return name;
                         });

// The recordings kept come from the boards' own port, raw (board-) and
// through the kernel's device under lockdown (device-), from the simulated
// boards behind a real kernel (boards-), and from the simulator.
TEST(KeptRecordings, CoverTheBoardsAndTheSimulator) {
  std::set<std::string> names;
  for (const fs::path &dir : recordings())
    names.insert(dir.filename());
  for (const char *name :
       {"board-bus", "board-pos", "board-commtest", "board-latch", "board-rate", "device-bus",
        "device-pos", "device-commtest", "device-latch", "boards-raw-bus", "boards-raw-pos",
        "boards-raw-servof", "boards-device-bus", "boards-device-pos", "boards-device-servof"})
    EXPECT_TRUE(names.contains(name)) << name;
  EXPECT_TRUE(std::any_of(names.begin(), names.end(),
                          [](const std::string &n) { return n.starts_with("sim-"); }));
}

// A trace written since the way to the port is noted has "# port: ..."
// after its run line; the replay passes over it as over the older traces'
// lack of it.
TEST(KeptRecordings, ReplayPassesOverTheNoteOfTheWayToThePort) {
  const fs::path dir = fs::path(REPLAY_TRACES_DIR) / "device-bus";
  std::string text = contents(dir / "bus.trace");
  text.insert(text.find('\n') + 1, "# port: device /dev/parport0\n");
  Scratch scratch;
  const std::string trace = scratch.file("bus.trace");
  std::ofstream(trace) << text;
  const RunResult run = replay(trace, arguments_of(trace));
  const Ending expected = recorded_ending(dir);
  EXPECT_EQ(run.exit_status, expected.status) << run.err;
  EXPECT_EQ(run.err, expected.err);
  EXPECT_TRUE(run.out == contents(dir / "stdout"));
}

} // namespace
} // namespace replaytest
