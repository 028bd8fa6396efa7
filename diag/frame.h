// What the tests share: the stop flag, the pacing, the keyboard line
// and the messages of the run frame.
#ifndef VORNDIAG_FRAME_H
#define VORNDIAG_FRAME_H

#include <csignal>
#include <cstddef>
#include <string>

namespace vorndiag {

// Set by the signal handler, polled before every pass of a looping test.
extern volatile std::sig_atomic_t done;
// A test's own verdict, for the exit status: 0 unless it found a fault;
// and its closing lines for standard error, told after the run's end.
extern int test_status;
extern std::string test_closing;

struct TestArgs {
  const char *prog;     // argv[0], for the syntax messages
  int axis;             // the parsed axis of index, indexres and latch
  long long cycles = 0; // check's communication run
};
using TestFn = void (*)(const TestArgs &);

inline constexpr std::size_t kLineSize = 80;
inline constexpr int kAxes = 4; // axes and channels per driver call
inline constexpr unsigned kPassPauseUs = 10000;

// Exit statuses.
inline constexpr int kExitSyntax = 255; // exit(-1)
inline constexpr int kExitAxis = 1;
inline constexpr int kExitNoPort = 2;
inline constexpr int kExitOutput = 3;           // standard output could not be written
inline constexpr int kExitTrace = 4;            // the port trace could not be written completely
inline constexpr int kExitReplay = 5;           // the run departed from the recording it replays
inline constexpr int kExitUnanswered = 6;       // a block the run talked to did not answer
inline constexpr int kExitStopNotTaken = 7;     // the rate generator did not answer the stop
inline constexpr int kExitCommErrors = 8;       // commtest read a cycle back wrong
inline constexpr int kExitCheckFailed = 9;      // check: a FAIL line
inline constexpr int kExitPortFailed = 10;      // the port's device failed
inline constexpr int kExitCheckIncomplete = 11; // check: stopped before its cycles ran

void print_name_message(const char *prog);
void pause_pass();

// Positions and servo loops.
void test_pos(const TestArgs &);
void test_servo(const TestArgs &);
void test_servof(const TestArgs &);
// Switches.
void test_limit(const TestArgs &);
void test_home(const TestArgs &);
// Index and latch.
void test_index(const TestArgs &);
void test_latch(const TestArgs &);
void test_indexres(const TestArgs &);
// Rate and spindle.
void test_rate(const TestArgs &);
void test_spindle(const TestArgs &);
// Digital I/O.
void test_dio(const TestArgs &);
void test_diocontinuous(const TestArgs &);
// Bus map and communication test.
void test_bus(const TestArgs &);
void test_commtest(const TestArgs &);
// The go/no-go test; its stop line and summary follow the shut-down.
void test_check(const TestArgs &);
// The live full-screen view.
void test_monitor(const TestArgs &);
void check_after_shutdown(bool stop_taken);

} // namespace vorndiag

#endif
