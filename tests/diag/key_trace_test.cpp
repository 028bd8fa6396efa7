// A prompt answered from a replay gets the line as the recorded run read
// it, line end and all; anything but a line ends the answers.
#include "key_trace.h"
#include "keyboard.h"

#include "bus.h"

#include <gtest/gtest.h>

#include <string>

namespace vorndiag {
namespace {

class NoPort final : public vorn::PortBackend {
public:
  const char *name() const override { return "none"; }
  int open(std::uint32_t) override { return 0; }
  std::uint8_t read(vorn::Reg) override { return 0xFF; }
  void write(vorn::Reg, std::uint8_t) override {}
};

// A replay's run control whose recording has `key` at the next read.
class RecordedKey final : public vorn::RunControl {
public:
  explicit RecordedKey(std::string key) : key_(std::move(key)) {}
  std::string event_point(std::string_view kind, std::string) override {
    return kind == vorn::kKeyEvent ? key_ : std::string();
  }

private:
  std::string key_;
};

TEST(RecordedLine, AsTheRecordedRunReadIt) {
  struct Case {
    const char *recorded;
    bool read;
    const char *line;
  };
  const Case cases[] = {
      {"key line 12", true, "12\n"},
      {"key line \"\"", true, "\n"},
      {"key line \"-1 2\\t\"", true, "-1 2\t\n"},
      {"key part 0x5", true, "0x5"},
      {"key end", false, ""},
      {"key error", false, ""},
      {"key replay departed", false, ""},
      {"key line \"open", false, ""},
      {"key line 12 34", false, ""},
  };
  NoPort port;
  for (const Case &c : cases) {
    SCOPED_TRACE(c.recorded);
    RecordedKey run(c.recorded);
    vorn::ScopedBackend in_place(port, run);
    LineBuffer buf;
    EXPECT_EQ(read_line(buf), c.read);
    if (c.read) {
      EXPECT_STREQ(buf, c.line);
    }
  }
}

TEST(RecordedLine, ALineLongerThanTheBufferIsNoLine) {
  NoPort port;
  RecordedKey run("key line " + std::string(sizeof(LineBuffer) - 1, '7'));
  vorn::ScopedBackend in_place(port, run);
  LineBuffer buf;
  EXPECT_FALSE(read_line(buf));
}

} // namespace
} // namespace vorndiag
