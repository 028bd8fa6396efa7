// rate and spindle: values typed at the keyboard, sent to the boards.
#include "board_map.h"
#include "dio_output.h"
#include "frame.h"
#include "keyboard.h"
#include "stop_signals.h"
#include "vorn.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace vorndiag {

namespace {

constexpr int kRampCode = -999;
constexpr int kRampSteps = 256;

// Ends the number at the first character outside digits, '-', '.' and a
// capital 'E', so "1e3" is 1 and "0x10" is 0.
double scan_volts(LineBuffer &buf) {
  buf[std::strspn(buf, "0123456789-.E")] = '\0';
  return std::strtod(buf, nullptr);
}

struct BlockCount {
  long long cycles = 0;
  long long unanswered = 0;
};

BlockCount block_count(std::uint32_t block) {
  BlockCount c;
  vornBusAccount(static_cast<int>(block), &c.cycles, &c.unanswered);
  return c;
}

// Runs until done: 0 to 255 to the speed register, again and again.
void spindle_ramp() {
  int step = 0;
  while (!stop_requested()) {
    vornDioWrite(kDioOut0, kOutForward);
    if (step == kRampSteps)
      step = 0;
    SelWrt(vorn::map::kSpindleSpeed, static_cast<std::uint8_t>(step));
    ++step;
  }
}

// The sign goes to digital output 0, the low byte of the magnitude to the
// speed register. The magnitude is taken in unsigned arithmetic so that the
// most negative int has one too.
void spindle_set(int value) {
  const unsigned bits = static_cast<unsigned>(value);
  const unsigned magnitude = value < 0 ? 0u - bits : bits;
  vornDioWrite(kDioOut0, value < 0 ? kOutReverse : kOutForward);
  SelWrt(vorn::map::kSpindleSpeed, static_cast<std::uint8_t>(magnitude & 0xFF));
}

// The prompts until one ends the test. No line at the prompt ends it.
void spindle_prompts() {
  LineBuffer buf;
  while (!stop_requested()) {
    std::printf("value[+/- 0..255]? (-999  for continuous ramp)");
    if (!read_line(buf))
      return;
    const int value = line_int(buf);
    idle_output();
    if (value == kRampCode)
      spindle_ramp();
    else
      spindle_set(value);
  }
}

} // namespace

// No line at "Axis? " ends the test as no line at "volts? " does, without
// a rate written.
void test_rate(const TestArgs &) {
  LineBuffer buf;
  std::printf("Axis? ");
  if (!read_line(buf))
    return;
  const int axis = line_int(buf);
  while (!stop_requested()) {
    std::printf("RATE(%d)", axis);
    std::printf("volts? ");
    if (!read_line(buf)) {
      if (!keyboard_cut())
        std::puts("got null in dac");
      return;
    }
    if (!starts_with_digit(buf) && buf[0] != '-') {
      std::puts("non numeric volts , quitting");
      return;
    }
    const double volts = scan_volts(buf);
    std::printf("volts=%f\n", volts);
    idle_output();
    vornRateWrite(axis, volts);
  }
}

// However the test ends, the spindle is left stopped: the shut-down stops
// only the rate generators, and a spindle turning after the tool has exited
// is a motor nobody watches. Whether the stop was answered is told by the
// timeout check of the write after it (the digital output's selection),
// counted for the speed register's block: no port access more.
void test_spindle(const TestArgs &args) {
  spindle_prompts();
  const std::uint32_t block = vorn::map::kSpindleSpeed / vorn::map::kBlockSize;
  SelWrt(vorn::map::kSpindleSpeed, 0);
  const BlockCount before = block_count(block);
  vornDioWrite(kDioOut0, kOutIdle);
  const BlockCount after = block_count(block);
  const bool unanswered = after.unanswered > before.unanswered;
  // No write there ever answered: no spindle was set turning.
  if (!unanswered || after.cycles == after.unanswered)
    return;
  test_closing += std::string(args.prog) +
                  ": WARNING: the spindle did not take the stop: it may still be turning; "
                  "switch it off\n";
  test_status = kExitStopNotTaken;
}

} // namespace vorndiag
