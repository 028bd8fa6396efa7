// Each forwarding ext entry point must be indistinguishable from its vorn
// counterpart: same result, same values stored, same report printed, same
// port accesses. Both sides run against identically scripted ports.
#include "extintf.h"
#include "recording_port.h"
#include "vorn.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <vector>

namespace {

using vorn::test::Access;
using vorn::test::RecordingPort;

// What one call leaves behind.
struct Outcome {
  int result = 0;
  std::string stored; // the caller's buffer after the call, byte for byte
  std::string printed;
  std::vector<Access> bus;
};

// The caller's buffer behind a pointer argument: four elements of the widest
// type, filled with a pattern no driver writes by chance.
class Buffer {
public:
  Buffer() { std::memset(bytes_, 0xA5, sizeof bytes_); }
  void fill(const std::vector<double> &values) {
    std::memcpy(bytes_, values.data(), std::min(values.size() * sizeof(double), sizeof bytes_));
  }
  template <typename T> T *as() { return reinterpret_cast<T *>(bytes_); }
  std::string contents() const { return {reinterpret_cast<const char *>(bytes_), sizeof bytes_}; }

private:
  alignas(double) unsigned char bytes_[4 * sizeof(double)];
};

struct Out {}; // marks the pointer argument: the caller's buffer goes there
struct In {    // a pointer argument the callee reads
  std::vector<double> values;
};

template <typename P> P pass(Out, Buffer &buf) { return buf.as<std::remove_pointer_t<P>>(); }
template <typename P> P pass(const In &, Buffer &buf) { return buf.as<std::remove_pointer_t<P>>(); }
template <typename P, typename A> P pass(A value, Buffer &) { return static_cast<P>(value); }

void prepare(Buffer &buf, const In &in) { buf.fill(in.values); }
template <typename A> void prepare(Buffer &, const A &) {}

// Encoder counts 517, -4194304, 0 and 0x123456, then the index sense byte.
// Reading the same counts again leaves the driver's count extension as it
// was, so every call sees the same counts.
void script(RecordingPort &port) {
  port.script(4, {0x05, 0x02, 0x00, 0x00, 0x00, 0xC0, 0x00, 0x00, 0x00, 0x56, 0x34, 0x12, 0x04});
}

struct Row {
  std::string name;
  int expected; // the result the caller gets
  bool reaches_bus;
  std::function<Outcome(bool via_ext)> call;
};

// Both entry points must have the very same type: a differing argument type
// fails to compile here.
template <typename... P, typename... A>
Row row(std::string name, int expected, bool reaches_bus, int (*ext)(P...), int (*drv)(P...),
        A... args) {
  auto call = [=](bool via_ext) {
    Buffer buf;
    (prepare(buf, args), ...);
    RecordingPort port;
    script(port);
    Outcome out;
    testing::internal::CaptureStdout();
    out.result = (via_ext ? ext : drv)(pass<P>(args, buf)...);
    out.printed = testing::internal::GetCapturedStdout();
    out.bus = port.accesses();
    out.stored = buf.contents();
    return out;
  };
  return {std::move(name), expected, reaches_bus, call};
}

const std::vector<Row> &rows() {
  static const std::vector<Row> table = {
      row("RateNum", 4, false, extRateNum, vornRateNum),
      row("RateWrite", 0, true, extRateWrite, vornRateWrite, 0, 10.0),
      row("RateWrite", -1, false, extRateWrite, vornRateWrite, 4, 1.0),
      row("RateWriteAll", 0, true, extRateWriteAll, vornRateWriteAll, 4,
          In{{10.0, -5.0, 0.0, 0.0005}}),
      row("EncoderSetIndexModel", 0, false, extEncoderSetIndexModel, vornEncoderSetIndexModel, 1u),
      row("EncoderSetIndexModel", -1, false, extEncoderSetIndexModel, vornEncoderSetIndexModel, 2u),
      row("EncoderNum", 4, false, extEncoderNum, vornEncoderNum),
      row("EncoderRead", 0, true, extEncoderRead, vornEncoderRead, 1, Out{}),
      row("EncoderRead", 0, false, extEncoderRead, vornEncoderRead, 7, Out{}),
      row("EncoderReadAll", 0, true, extEncoderReadAll, vornEncoderReadAll, 3, Out{}),
      row("EncoderResetIndex", 0, true, extEncoderResetIndex, vornEncoderResetIndex, 2),
      row("EncoderReadLatch", 0, true, extEncoderReadLatch, vornEncoderReadLatch, 2, Out{}),
      row("EncoderReadLatch", -1, false, extEncoderReadLatch, vornEncoderReadLatch, 5, Out{}),
      row("EncoderReadLevel", 0, true, extEncoderReadLevel, vornEncoderReadLevel, 2, Out{}),
      row("AmpEnable", 0, false, extAmpEnable, vornAmpEnable, 0, 1),
      row("AmpFault", 0, false, extAmpFault, vornAmpFault, 0, Out{}),
      row("DioInit", 0, false, extDioInit, vornDioInit, "stuff"),
      row("DioQuit", 0, false, extDioQuit, vornDioQuit),
      row("DioMaxInputs", 0, false, extDioMaxInputs, vornDioMaxInputs),
      row("DioMaxOutputs", 0, false, extDioMaxOutputs, vornDioMaxOutputs),
      row("DioRead", 0, true, extDioRead, vornDioRead, 1, Out{}),
      row("DioWrite", 0, true, extDioWrite, vornDioWrite, 1, 0x1A5),
      row("DioCheck", 0, false, extDioCheck, vornDioCheck, 0, Out{}),
      row("DioByteRead", 0, false, extDioByteRead, vornDioByteRead, 0, Out{}),
      row("DioShortRead", 0, false, extDioShortRead, vornDioShortRead, 0, Out{}),
      row("DioWordRead", 0, false, extDioWordRead, vornDioWordRead, 0, Out{}),
      row("DioByteWrite", 0, false, extDioByteWrite, vornDioByteWrite, 0, 0x5A),
      row("DioShortWrite", 0, false, extDioShortWrite, vornDioShortWrite, 0, 0x1234),
      row("DioWordWrite", 0, false, extDioWordWrite, vornDioWordWrite, 0, 0x12345678u),
      row("DioByteCheck", 0, false, extDioByteCheck, vornDioByteCheck, 0, Out{}),
      row("DioShortCheck", 0, false, extDioShortCheck, vornDioShortCheck, 0, Out{}),
      row("DioWordCheck", 0, false, extDioWordCheck, vornDioWordCheck, 0, Out{}),
      row("AioInit", 0, false, extAioInit, vornAioInit, "stuff"),
      row("AioQuit", 0, false, extAioQuit, vornAioQuit),
      row("AioMaxInputs", 0, false, extAioMaxInputs, vornAioMaxInputs),
      row("AioMaxOutputs", 0, false, extAioMaxOutputs, vornAioMaxOutputs),
      row("AioRead", 0, false, extAioRead, vornAioRead, 0, Out{}),
      row("AioWrite", 0, false, extAioWrite, vornAioWrite, 0, 2.5),
      row("AioCheck", 0, false, extAioCheck, vornAioCheck, 0, Out{}),
  };
  return table;
}

TEST(ExtForwarding, EveryEntryPointBehavesAsItsDriverCounterpart) {
  std::set<std::string> covered;
  for (const Row &r : rows()) {
    SCOPED_TRACE("ext" + r.name + " / vorn" + r.name);
    covered.insert(r.name);
    Outcome drv = r.call(false);
    Outcome ext = r.call(true);
    EXPECT_EQ(ext.result, r.expected);
    EXPECT_EQ(ext.result, drv.result);
    EXPECT_EQ(ext.stored, drv.stored);
    EXPECT_EQ(ext.printed, drv.printed);
    EXPECT_EQ(vorn::test::to_string(ext.bus), vorn::test::to_string(drv.bus));
    EXPECT_EQ(!ext.bus.empty(), r.reaches_bus);
  }
  EXPECT_EQ(covered.size(), 35u) << "every forwarding entry point has a row";
}

} // namespace
