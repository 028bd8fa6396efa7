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
  explicit RecordedKey(std::string key, std::string_view kind = vorn::kKeyEvent)
      : key_(std::move(key)), kind_(kind) {}
  std::string event_point(std::string_view kind, std::string) override {
    return kind == kind_ ? key_ : std::string();
  }

private:
  std::string key_;
  std::string_view kind_;
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

// monitor's keys: a replay's recorded key whatever was typed, none where
// the note holds no single key.
TEST(TakenKey, AsTheRecordedRunTookIt) {
  const struct {
    const char *recorded;
    int typed, taken;
  } cases[] = {
      {"key press q", -1, 'q'},
      {"key press q", 'z', 'q'},
      {"key press \"\\x03\"", -1, 3},
      {"key press \" \"", -1, ' '},
      {"key press replay departed", 'q', -1},
      {"key press qz", -1, -1},
      {"key press \"\"", -1, -1},
      {"key pressq", -1, -1},
  };
  NoPort port;
  for (const auto &c : cases) {
    SCOPED_TRACE(c.recorded);
    RecordedKey run(c.recorded, vorn::kKeyPressEvent);
    vorn::ScopedBackend in_place(port, run);
    EXPECT_EQ(taken_key(c.typed), c.taken);
  }
}

// Without a replay, the key typed is the key taken.
TEST(TakenKey, LiveRunTakesWhatWasTyped) {
  NoPort port;
  vorn::RunControl live;
  vorn::ScopedBackend in_place(port, live);
  for (int typed : {-1, int{'q'}, 3, 0xFF, int{' '}, int{'"'}, int{'\\'}})
    EXPECT_EQ(taken_key(typed), typed);
}

} // namespace
} // namespace vorndiag
