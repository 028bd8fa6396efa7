// Rate generator driver: volts to pulse-rate counts, written per channel.
#include "board_map.h"
#include "bus.h"
#include "drivers.h"
#include "vorn.h"

#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdio>

using namespace vorn::map;

namespace {

constexpr int kChannels = static_cast<int>(kRateChannels);
constexpr long kSlowest = 0xFFFFFF; // largest 24-bit count
constexpr long kFastest = 400;
constexpr double kClockHz = 10000000.0;
constexpr double kRunThreshold = 0.001; // volts; at or below it the channel stays idle

// Run bit above the direction bit, two bits per channel.
int channel_bits(double volts, int CBMask) {
  return (std::fabs(volts) > kRunThreshold ? 2 * CBMask : 0) + (volts < 0 ? CBMask : 0);
}

// Three count bytes, low first, to the addresses that follow the selection.
void write_count(long count) {
  WriteData(static_cast<std::uint8_t>(count & 0xFF));
  WriteData(static_cast<std::uint8_t>((count >> 8) & 0xFF));
  WriteData(static_cast<std::uint8_t>((count >> 16) & 0xFF));
}

// Read once per call, so that one write's lines all go to one place.
std::FILE *report_stream() { return vorn::current_bus().report.load(std::memory_order_acquire); }

[[gnu::format(printf, 2, 3)]] void report(std::FILE *out, const char *format, ...) {
  if (out == nullptr)
    return;
  std::va_list args;
  va_start(args, format);
  std::vfprintf(out, format, args);
  va_end(args);
}

struct ChannelReport {
  int channel;
  long count;
  int CtrlByte;
};

void report_channel(std::FILE *out, const ChannelReport &r) {
  const int channel = r.channel;
  const long count = r.count;
  const int CtrlByte = r.CtrlByte;
  report(out, " rate_gen channel %d count %d CtlByt %x    Count %2x %2x %2x \n", channel,
         static_cast<int>(count), static_cast<unsigned>(CtrlByte),
         static_cast<unsigned>((count >> 16) & 0xFF), static_cast<unsigned>((count >> 8) & 0xFF),
         static_cast<unsigned>(count & 0xFF));
}

} // namespace

// 0x1D and 0x1E follow the control register in one run. The timeout checks
// of the two data writes cover the selection and every byte.
bool vorn::stop_rates() {
  SelWrt(kRateControl, kRateStopAll);
  const std::uint64_t before = vorn::unanswered_total();
  WriteData(kRateAuxValue);
  WriteData(kRateAuxValue);
  return vorn::unanswered_total() == before;
}

extern "C" {

void vornRateReportTo(FILE *stream) {
  vorn::current_bus().report.store(stream, std::memory_order_release);
}

int16_t RateInit(void) {
  const vorn::BusCall call;
  if (!call.ready())
    return -1;
  vorn::stop_rates();
  return static_cast<int16_t>(call.end(0));
}

int16_t RateQuit(void) {
  const vorn::BusCall call;
  if (!call.ready())
    return -1;
  const bool stopped = vorn::stop_rates();
  if (call.end(0) != 0)
    return -1;
  if (stopped)
    return 0;
  errno = EIO;
  return -1;
}

// A larger count is a slower rate: count = 10 MHz / pulse rate - 2, at 2,000
// pulses per second per volt. Not-a-number commands the slowest rate; the
// quotient is range-checked before it is converted to an integer.
long VoltToCounts(double volts) {
  const double Velocity = std::fabs(volts) * 2 / 10.0;
  const double Rate = Velocity * 10000.0;
  if (Rate == 0.0 || std::isnan(Rate))
    return kSlowest;
  const double q = kClockHz / Rate - 2.0;
  if (q > static_cast<double>(kSlowest))
    return kSlowest;
  const long Count = static_cast<long>(q); // q lies in [-2, 0xFFFFFF] here
  return Count < kFastest ? kFastest : Count;
}

// The report is written after the bus cycles, with the bus let go.
int RawRate(int nAxis, double volts) {
  if (nAxis < 0 || nAxis >= kChannels)
    return -1;
  const std::uint32_t addr = rate_channel_addr(nAxis);
  const ChannelReport written{nAxis, VoltToCounts(volts), channel_bits(volts, 1 << (2 * nAxis))};
  {
    const vorn::BusCall call;
    if (!call.ready())
      return -1;
    SelAddr(addr);
    write_count(written.count);
    // only this channel's bits: the other channels stop, keeping their counts
    SelWrt(kRateControl, static_cast<std::uint8_t>(written.CtrlByte & 0xFF));
    if (call.end(0) != 0)
      return -1;
  }
  std::FILE *const out = report_stream();
  report(out, "Writing to rate gen at addr 0x%x\n", static_cast<unsigned>(addr));
  report_channel(out, written);
  report(out, "writing to rate ctrl reg at 0x%x\n", static_cast<unsigned>(kRateControl));
  return 0;
}

int vornRateNum(void) { return kChannels; }

int vornRateWrite(int dac, double volts) { return RawRate(dac, volts); }

// One selection for all channels: their count registers are consecutive.
int vornRateWriteAll(int max, double *volts) {
  const int tmax = max <= kChannels ? max : kChannels;
  ChannelReport written[kChannels];
  int CtrlByte = 0;
  int CBMask = 1;
  for (int t = 0; t < tmax; ++t) {
    CtrlByte += channel_bits(volts[t], CBMask);
    written[t] = {t, VoltToCounts(volts[t]), CtrlByte};
    CBMask <<= 2;
  }
  {
    const vorn::BusCall call;
    if (!call.ready())
      return -1;
    SelAddr(kRateCount);
    for (int t = 0; t < tmax; ++t)
      write_count(written[t].count);
    SelWrt(kRateControl, static_cast<std::uint8_t>(CtrlByte & 0xFF));
    if (call.end(0) != 0)
      return -1;
  }
  std::FILE *const out = report_stream();
  for (int t = 0; t < tmax; ++t)
    report_channel(out, written[t]);
  return 0;
}

} // extern "C"
