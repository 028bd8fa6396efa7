// dio and diocontinuous: the digital inputs shown, digital output 0 written.
#include "board_map.h"
#include "dio_output.h"
#include "frame.h"
#include "keyboard.h"
#include "stop_signals.h"
#include "vorn.h"

#include <cstdio>

namespace vorndiag {

namespace {

constexpr int kDioIn0 = 0;
constexpr int kDioIn1 = 1;
constexpr int kEstopIn = 2;
constexpr int kSweepsPerStep = 500; // the pattern steps on every 501st sweep

void print_bits(int value) {
  for (int bit = 7; bit >= 0; --bit)
    std::printf("%2d", (value >> bit) & 1);
}

// Twisted ring over 8 bits: ones fill from bit 0 up, then empty from bit 0
// up, 16 states.
int next_pattern(int pattern) {
  pattern <<= 1;
  return (pattern & 0x100) ? pattern & 0xFE : pattern | 0x01;
}

} // namespace

// The output value is read from a fresh line after its prompt; no line, at
// either prompt, ends the test with nothing written.
void test_dio(const TestArgs &) {
  int value = 0;
  LineBuffer buf;
  std::puts("dio ");
  vornDioRead(kDioIn0, &value);
  std::printf("Digital In 0 = %d,  ", value);
  vornDioRead(kDioIn1, &value);
  std::printf("Digital In 1 = %d,  ", value);
  vornDioRead(kEstopIn, &value);
  std::printf("Estop In = %d\n", value);
  std::printf("Enter 1 to do output");
  if (!read_line(buf) || line_int(buf) != 1)
    return;
  std::printf("value to output ?");
  if (!read_line(buf) || !starts_with_digit(buf))
    return;
  idle_output();
  value = line_int(buf);
  std::printf("sending %d\n", value);
  vornDioWrite(kDioOut0, value);
}

void test_diocontinuous(const TestArgs &) {
  idle_output();
  SelWrt(vorn::map::kReg26, 0x01);
  std::puts("  DIO 0 inputs        DIO 1 inputs");
  std::puts(" 7 6 5 4 3 2 1 0     7 6 5 4 3 2 1 0");
  int pattern = 0;
  int sweeps = 0;
  int value = 0;
  while (!stop_requested()) {
    vornDioRead(kDioIn0, &value);
    print_bits(value);
    std::printf("    ");
    vornDioRead(kDioIn1, &value);
    print_bits(value);
    if (++sweeps > kSweepsPerStep) {
      sweeps = 0;
      pattern = next_pattern(pattern);
      vornDioWrite(kDioOut0, pattern | kOutIdle);
      std::printf("  output %x", pattern);
    }
    std::putchar('\r');
  }
}

} // namespace vorndiag
