#include "front_end_run.h"

#include "frame.h"
#include "vorn.h"
#include "vorndiag.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

// The harnesses are linked with --wrap=exit and --wrap=usleep. exit() from
// the front end jumps back into run_front_end: every frame it leaves
// (vorndiag_main and its helpers) holds only trivially destructible locals,
// so the jump skips no destructor. exit() from anywhere else, libFuzzer
// included, is the real one.
extern "C" [[noreturn]] void __real_exit(int status);

namespace {

std::jmp_buf back;
bool running = false;
int exit_status = 0;
int pauses = 0;
constexpr int kMaxPauses = 40;

[[noreturn]] void fail(const char *what, int value) {
  std::fprintf(stderr, "front end run: %s (%d)\n", what, value);
  std::abort();
}

// Nothing is printed to the terminal: the output is not what is checked,
// and writing it would slow the fuzzer down many times.
void quiet_stdout() {
  static const bool done = std::freopen("/dev/null", "w", stdout) != nullptr;
  if (!done)
    fail("cannot silence standard output", 0);
}

} // namespace

extern "C" [[noreturn]] void __wrap_exit(int status) {
  if (!running)
    __real_exit(status);
  running = false;
  exit_status = status;
  std::longjmp(back, 1);
}

// The pacing pause of pos, servo, limit, home, index, latch and indexres:
// no wait, and after a few dozen passes the same stop as a Ctrl-C.
extern "C" int __wrap_usleep(useconds_t) {
  if (++pauses >= kMaxPauses)
    vorndiag::done = 1;
  return 0;
}

namespace vornfuzz {

vorn::sim::Rig bounded_rig() {
  vorn::sim::Rig rig = vorn::sim::default_rig();
  rig.clock = vorn::sim::Clock::virtual_time;
  rig.interrupt_after = 20000;
  return rig;
}

void run_front_end(const std::vector<std::string> &args, const std::uint8_t *input,
                   std::size_t size, const vorn::sim::Rig &rig) {
  quiet_stdout();
  std::vector<std::string> strings{"vorndiag"};
  strings.insert(strings.end(), args.begin(), args.end());
  std::vector<char *> argv;
  for (std::string &s : strings)
    argv.push_back(s.data());
  argv.push_back(nullptr);

  // fmemopen refuses an empty buffer; /dev/null reads as one.
  std::vector<char> bytes(input, input + size);
  std::FILE *in = size > 0 ? fmemopen(bytes.data(), size, "r") : std::fopen("/dev/null", "r");
  if (in == nullptr)
    fail("cannot open the input", static_cast<int>(size));

  vorn_base_addr = 0x378;
  vorndiag::done = 0;
  pauses = 0;
  std::srand(1); // commtest's patterns, the same for every input
  vorn::sim::Simulator sim(rig);
  sim.install();
  std::FILE *keyboard = stdin; // glibc's stdin is an assignable FILE *
  stdin = in;

  // volatile: set on one side of the jump, read after it
  volatile int status = 0;
  volatile bool returned = false;
  if (setjmp(back) == 0) {
    running = true;
    status = vorndiag_main(static_cast<int>(strings.size()), argv.data());
    running = false;
    returned = true;
  } else {
    status = exit_status & 0xFF;
  }
  stdin = keyboard;
  std::fclose(in);
  std::fflush(stdout);

  // 6 to 9: the bus's account, told after the end sequence; 7 a stop the
  // rate generator did not take; 11 a check stopped before its cycles ran.
  const bool ended = status == 0 || (status >= 6 && status <= 9) || status == 11;
  if (returned && (!ended || (status != 7 && sim.rate_control() != 0)))
    fail("a return without the end sequence", status);
  if (!returned && status != 1 && status != 2 && status != 255)
    fail("an undocumented exit status", status);
  if (status == 255 && sim.accesses() != 0)
    fail("a syntax error touched the port", static_cast<int>(sim.accesses()));
  if (sim.protocol_errors() != 0)
    fail("EPP protocol errors", static_cast<int>(sim.protocol_errors()));
}

} // namespace vornfuzz
