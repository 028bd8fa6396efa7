// Where the rate driver's report lines go: standard output by default, a
// stream of the caller's choice, or nowhere; the bus sees the same writes in
// every case.
#include "extintf.h"
#include "recording_port.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

namespace {

using vorn::test::Access;
using vorn::test::RecordingPort;

struct Writes {
  const char *name;
  std::function<int()> call;
};
void PrintTo(const Writes &w, std::ostream *os) { *os << w.name; }

const Writes kWrites[] = {
    {"OneChannel", [] { return vornRateWrite(1, -2.5); }},
    {"AllChannels",
     [] {
       double volts[4] = {10.0, -5.0, 0.0, 0.0005};
       return vornRateWriteAll(4, volts);
     }},
    {"ExtOneChannel", [] { return extRateWrite(3, 0.75); }},
    {"ExtAllChannels",
     [] {
       double volts[2] = {-1.0, 4.0};
       return extRateWriteAll(2, volts);
     }},
};

struct Outcome {
  std::string out;
  std::vector<Access> accesses;
};

// The call's standard output and bus accesses.
Outcome run(const std::function<int()> &call) {
  RecordingPort port;
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(call(), 0);
  std::fflush(stdout);
  return {::testing::internal::GetCapturedStdout(), port.accesses()};
}

// A stream in memory whose text is read back once it is closed.
class MemoryStream {
public:
  MemoryStream() : stream_(open_memstream(&text_, &size_)) {}
  ~MemoryStream() {
    close();
    std::free(text_);
  }
  MemoryStream(const MemoryStream &) = delete;
  MemoryStream &operator=(const MemoryStream &) = delete;

  std::FILE *stream() const { return stream_; }
  std::string close() {
    if (stream_ != nullptr)
      std::fclose(stream_);
    stream_ = nullptr;
    return text_ != nullptr ? std::string(text_, size_) : std::string();
  }

private:
  char *text_ = nullptr;
  std::size_t size_ = 0;
  std::FILE *stream_;
};

class RateReport : public ::testing::TestWithParam<Writes> {
protected:
  // The next test starts from the default again.
  void TearDown() override { vornRateReportTo(stdout); }
};

TEST_P(RateReport, ChosenStreamGetsExactlyWhatStandardOutputGets) {
  const Outcome plain = run(GetParam().call);
  ASSERT_NE(plain.out, "");

  MemoryStream chosen;
  ASSERT_NE(chosen.stream(), nullptr);
  vornRateReportTo(chosen.stream());
  const Outcome redirected = run(GetParam().call);
  vornRateReportTo(stdout);

  EXPECT_EQ(redirected.out, "");
  EXPECT_EQ(chosen.close(), plain.out);
  EXPECT_EQ(redirected.accesses, plain.accesses);
}

TEST_P(RateReport, NullSilencesTheLinesButNotTheBus) {
  const Outcome plain = run(GetParam().call);
  vornRateReportTo(nullptr);
  const Outcome silenced = run(GetParam().call);
  EXPECT_EQ(silenced.out, "");
  EXPECT_EQ(silenced.accesses, plain.accesses);
  EXPECT_FALSE(silenced.accesses.empty());
}

TEST_P(RateReport, StandardOutputAgainOnceChosenBack) {
  const Outcome plain = run(GetParam().call);
  vornRateReportTo(nullptr);
  run(GetParam().call);
  vornRateReportTo(stdout);
  EXPECT_EQ(run(GetParam().call).out, plain.out);
}

INSTANTIATE_TEST_SUITE_P(Writes, RateReport, ::testing::ValuesIn(kWrites),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
