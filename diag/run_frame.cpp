// Command line, test selection, start and end sequences.
#include "board_map.h"
#include "bus_report.h"
#include "bus_watch.h"
#include "frame.h"
#include "monitor_screen.h"
#include "output_check.h"
#include "port_list.h"
#include "stop_signals.h"
#include "vorndiag.h"

#include "extintf.h"
#include "vorn.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace vorndiag {

volatile std::sig_atomic_t done = 0;
int test_status = 0;
std::string test_closing;

namespace {

enum TestSelector {
  POS = 1,
  LIMIT = 2,
  HOME = 3,
  INDEX = 4,
  LATCH = 5,
  RATE = 6,
  SERVO = 7,
  SERVOF = 8,
  DIO = 9,
  DIOCONT = 10,
  BUS = 11,
  COMM = 12,
  INDEXRES = 13,
  SPIN = 14,
  CHECK = 15,
  MONITOR = 16,
};

// cycles: check's optional count.
enum class AxisArg { none, index_message, latch_message, cycles };

struct TestEntry {
  const char *name;
  TestSelector which;
  AxisArg axis;
  TestFn run;
  BlockAccount account = BlockAccount::every_block;
  void (*after_shutdown)(bool stop_taken) = nullptr;
};

// In the order the names are compared.
constexpr TestEntry kTests[] = {
    {"pos", POS, AxisArg::none, test_pos},
    {"rate", RATE, AxisArg::none, test_rate},
    {"limit", LIMIT, AxisArg::none, test_limit},
    {"home", HOME, AxisArg::none, test_home},
    {"servo", SERVO, AxisArg::none, test_servo},
    {"servof", SERVOF, AxisArg::none, test_servof},
    {"bus", BUS, AxisArg::none, test_bus, BlockAccount::any_block},
    {"diocontinuous", DIOCONT, AxisArg::none, test_diocontinuous},
    {"commtest", COMM, AxisArg::none, test_commtest},
    {"index", INDEX, AxisArg::index_message, test_index},
    {"indexres", INDEXRES, AxisArg::index_message, test_indexres},
    {"latch", LATCH, AxisArg::latch_message, test_latch},
    {"dio", DIO, AxisArg::none, test_dio},
    {"spindle", SPIN, AxisArg::none, test_spindle},
    {"check", CHECK, AxisArg::cycles, test_check, BlockAccount::own, check_after_shutdown},
    // As bus: an empty block is no fault; one whose board stops answering
    // is told by the test itself.
    {"monitor", MONITOR, AxisArg::none, test_monitor, BlockAccount::any_block},
};

// About 2.6 s at a microsecond a port access (docs/performance.md).
constexpr long long kCheckCycles = 30000;

constexpr const char *kHelpLines[] = {
    "test name       Function",
    "bus     reports all boards by address, type and version",
    "pos     continuously reports encoder position",
    "rate     tests rate generators, in pulse/second units",
    "limit   tests limit switch sensing",
    "home    tests home switch sensing",
    "index   reports sensing of encoder index channel",
    "latch   tests encoder latch function",
    "servo   simulates a servo loop, reports position on screen",
    "servof  same as above, no screen report, faster",
    "dio     test DIO board function interactively",
    "diocontinuous  tests DIO input and output continuously",
    "commtest  continuously tests encoder communication on IEEE-1284 bus",
    "diotest   continuously tests DIO communication",
    "indexres  tests reset of encoder count on index pulse",
    "spindle  tests output to spindle speed control",
    "  exit all looping tests with ctrl/c",
};
constexpr const char kCheckHelpLine[] =
    "check [cycles]  go/no-go test of the port, the bus, encoder communication and the stop";
constexpr const char kMonitorHelpLine[] =
    "monitor  live full-screen view of encoders, inputs and the bus (read-only, q ends)";

[[noreturn]] void end_run(int status, const char *prog) {
  std::exit(checked_exit_status(status, prog));
}

[[noreturn]] void help(const char *prog) {
  std::printf("syntax: %s I/O Address in hex <test name>\n", prog);
  for (const char *line : kHelpLines)
    std::puts(line);
  std::puts(kCheckHelpLine);
  std::puts(kMonitorHelpLine);
  print_port_list();
  end_run(kExitSyntax, prog);
}

[[noreturn]] void syntax_exit(const char *format, const char *prog) {
  std::printf(format, prog);
  end_run(kExitSyntax, prog);
}

// As scanf's "%x" into an unsigned int, without its undefined behaviour on
// overflow: no hex number keeps the old value; larger ones keep their low
// 32 bits, as glibc's conversion does.
void parse_address(const char *text, uint32_t &addr) {
  char *end = nullptr;
  unsigned long value = std::strtoul(text, &end, 16);
  if (end != text)
    addr = static_cast<uint32_t>(value);
}

// As scanf's "%d": white space, a sign, digits, anything after ignored.
// Out-of-range numbers saturate (scanf would be undefined), which the axis
// range check then refuses.
bool parse_axis(const char *text, int &axis) {
  if (text == nullptr)
    return false;
  char *end = nullptr;
  long value = std::strtol(text, &end, 10);
  if (end == text)
    return false;
  if (value > INT_MAX)
    value = INT_MAX;
  if (value < INT_MIN)
    value = INT_MIN;
  axis = static_cast<int>(value);
  return true;
}

// A positive decimal count, or none: the default.
bool parse_cycles(const char *text, long long &cycles) {
  if (text == nullptr) {
    cycles = kCheckCycles;
    return true;
  }
  char *end = nullptr;
  errno = 0;
  cycles = std::strtoll(text, &end, 10);
  return end != text && *end == '\0' && errno == 0 && cycles > 0;
}

const TestEntry *find_test(const char *name) {
  for (const TestEntry &entry : kTests)
    if (std::strcmp(name, entry.name) == 0)
      return &entry;
  return nullptr;
}

// servof's only output is the rate driver's four report lines per pass, and
// it never flushes: line buffered on a terminal, every line would be a write
// of its own, costing more than the rest of the pass (docs/performance.md).
// Fully buffered, the same bytes go out in the same order a buffer at a
// time; exit flushes the rest, after Ctrl-C too. commtest keeps the default:
// its summary line, once per 1000 cycles, is meant to be seen as it comes.
// So does diocontinuous: its live line never ends, so on a terminal it goes
// out a buffer at a time anyway. setvbuf must come before the first output.
// monitor's screens go out whole, and the terminal's restoration stays
// buffered until after the shut-down.
void choose_buffering(const TestEntry *test) {
  if (test != nullptr && (test->which == SERVOF || test->which == MONITOR))
    std::setvbuf(stdout, nullptr, _IOFBF, BUFSIZ);
}

constexpr const char kNameMessage[] = "syntax: %s {limit | home | index <axis> | latch <axis>}\n";
constexpr const char kIndexMessage[] =
    "syntax: %s {pos | dac | limit | home | index <axis> | latch <axis>}| servo{f} | dio | bus\n";
constexpr const char kLatchMessage[] =
    "syntax: %s {pos | dac | limit | home | index <axis> | latch <axis>}\n";
constexpr const char kCheckMessage[] = "syntax: %s <I/O address in hex> check [cycles]\n";

// A stop not taken is what the technician must act on first; then the
// bus account's verdict; then the test's own.
int run_status(int report_status, int own_status) {
  if (own_status == kExitStopNotTaken)
    return own_status;
  return report_status != 0 ? report_status : own_status;
}

} // namespace

void print_name_message(const char *prog) { std::printf(kNameMessage, prog); }

void pause_pass() { usleep(kPassPauseUs); }

} // namespace vorndiag

void vorndiag_hold_standard_fds() {
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd)
    if (fcntl(fd, F_GETFD) == -1 && errno == EBADF)
      open("/dev/null", O_RDONLY); // the lowest free descriptor: this one
}

int vorndiag_main(int argc, char **argv) {
  using namespace vorndiag;
  // A program started with no argv[0] at all still gets a name to print.
  const char *prog = argc > 0 && argv[0] != nullptr ? argv[0] : "vorndiag";
  give_way_on_stdout();
  if (argc <= 2)
    help(prog);

  const TestEntry *test = find_test(argv[2]);
  choose_buffering(test);
  // Each keyboard byte is waited for on its own (keyboard.cpp).
  std::setvbuf(stdin, nullptr, _IONBF, 0);

  // A device path in place of the address: the kernel's port behind it.
  const char *device = std::strncmp(argv[1], "/dev/", 5) == 0 ? argv[1] : nullptr;
  if (device != nullptr)
    vornPortBase(device, &vorn_base_addr);
  else
    parse_address(argv[1], vorn_base_addr);
  std::printf("io addr = %x\n", vorn_base_addr);
  if (test == nullptr)
    syntax_exit(kNameMessage, prog);

  TestArgs args{prog, 0};
  const char *third = argc > 3 ? argv[3] : nullptr;
  if (test->axis == AxisArg::cycles) {
    if (!parse_cycles(third, args.cycles))
      syntax_exit(kCheckMessage, prog);
  } else if (test->axis != AxisArg::none && !parse_axis(third, args.axis)) {
    syntax_exit(test->axis == AxisArg::latch_message ? kLatchMessage : kIndexMessage, prog);
  }

  // Before the port is taken: a stream cannot hold a full screen.
  if (test->which == MONITOR && monitor_terminal_refused(prog))
    end_run(kExitSyntax, prog);

  install_stop_handlers();
  std::printf("parport addr 0x%x \n", vorn_base_addr);
  if (vornMotInit(device) != 0) {
    int err = errno;
    if (!vornTraceRefused())
      std::printf("cannot access I/O ports 0x%x to 0x%llx: %s\n", vorn_base_addr,
                  static_cast<unsigned long long>(vorn_base_addr) + vorn::map::kPortCount - 1,
                  std::strerror(err));
    std::fputs(vornPortProblem(), stdout);
    end_run(kExitNoPort, prog);
  }

  const bool takes_axis =
      test->axis == AxisArg::index_message || test->axis == AxisArg::latch_message;
  if (takes_axis && (args.axis < 0 || args.axis >= kAxes)) {
    print_name_message(prog);
    end_run(kExitAxis, prog);
  }

  test_status = 0;
  test_closing.clear();
  // monitor marks a dead block on its screen: a line there would tear it.
  if (test->which != MONITOR)
    start_bus_watch(prog);
  test->run(args);
  extMotQuit();
  if (vornPortFailed() != 0) {
    // The boards no longer answer: no stop was sent, no account holds.
    release_terminal_stop();
    std::string what = vornPortProblem();
    if (!what.empty() && what.back() == '\n')
      what.pop_back();
    std::fprintf(stderr, "%s: %s; the run ends\n", program_invocation_short_name, what.c_str());
    return checked_exit_status(kExitPortFailed, prog);
  }
  const bool stop_taken = !vornStopMissed();
  release_terminal_stop();
  if (test->after_shutdown != nullptr)
    test->after_shutdown(stop_taken);
  // Told after the run's end: a replay that departed made the answers up.
  const BusReport report = bus_report(test->account, stop_taken, prog);
  const int status = checked_exit_status(run_status(report.status, test_status), prog);
  if (status != kExitReplay)
    std::fputs((test_closing + report.lines).c_str(), stderr);
  return status;
}
