#include "port_owners.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <unistd.h>

namespace {

using vorn::foreign_port_owner;

// As a root reader sees it on a PC with an on-board port and a PCIe card.
const char *const kFullList = R"(0000-0cf7 : PCI Bus 0000:00
  0000-001f : dma1
  0020-0021 : pic1
  0040-0043 : timer0
  0050-0053 : timer1
  0060-0060 : keyboard
  0064-0064 : keyboard
  0070-0077 : rtc0
  0080-008f : dma page reg
  00a0-00a1 : pic2
  00c0-00df : dma2
  00f0-00ff : fpu
  0378-037a : parport0
  037b-037f : parport0
  03c0-03df : vga+
  03f8-03ff : serial
  0400-047f : pnp 00:05
    0400-0403 : ACPI PM1a_EVT_BLK
    0404-0405 : ACPI PM1a_CNT_BLK
0cf8-0cff : PCI conf1
0d00-ffff : PCI Bus 0000:00
  d000-dfff : PCI Bus 0000:02
  e000-efff : PCI Bus 0000:03
    e000-e007 : 0000:03:00.0
      e000-e002 : parport1
      e003-e007 : parport1
    e010-e017 : 0000:03:00.0
  f000-f01f : 0000:00:1f.4
)";

class FakeList {
public:
  explicit FakeList(const std::string &text) {
    path_ =
        testing::TempDir() + "ioports-" + std::to_string(getpid()) + "-" + std::to_string(count_++);
    std::ofstream(path_) << text;
  }
  ~FakeList() { unlink(path_.c_str()); }
  const std::string &path() const { return path_; }

private:
  static inline int count_ = 0;
  std::string path_;
};

struct Range {
  unsigned first;
  unsigned count;
  const char *refusal; // nullptr: go on
};

void expect_ranges(const std::string &list, std::initializer_list<Range> ranges) {
  FakeList file(list);
  for (const Range &r : ranges) {
    SCOPED_TRACE(testing::Message() << std::hex << "0x" << r.first << " count " << r.count);
    const auto got = foreign_port_owner(r.first, r.count, file.path());
    if (r.refusal == nullptr)
      EXPECT_FALSE(got.has_value()) << *got;
    else
      EXPECT_EQ(got.value_or("go on"), r.refusal);
  }
}

TEST(PortOwners, InnermostOwnerDecides) {
  expect_ranges(
      kFullList,
      {
          {0x378, 5, nullptr}, // both parport0 entries, inside a bus window
          {0x60, 5, "port 0x60 to 0x64 belongs to keyboard, not to a parallel port"},
          {0x5e, 3, "port 0x5e to 0x60 belongs to keyboard, not to a parallel port"},
          {0x64, 5, "port 0x64 to 0x68 belongs to keyboard, not to a parallel port"},
          {0x61, 3, nullptr}, // between the two keyboard ranges: only the bus window
          {0x3f8, 5, "port 0x3f8 to 0x3fc belongs to serial, not to a parallel port"},
          {0x37d, 5, nullptr}, // the port's end and free space after it
          {0x3bd, 5, "port 0x3bd to 0x3c1 belongs to vga+, not to a parallel port"},
          {0x2f8, 5, nullptr}, // a free address: the bus window's only
          {0x402, 5, "port 0x402 to 0x406 belongs to ACPI PM1a_EVT_BLK, not to a parallel port"},
          {0x406, 5, "port 0x406 to 0x40a belongs to pnp 00:05, not to a parallel port"},
          {0xcfc, 5, "port 0xcfc to 0xd00 belongs to PCI conf1, not to a parallel port"},
          {0xe000, 5, nullptr}, // the card's parallel port
          {0xd100, 5, nullptr}, // an empty bridge window
          // the card's other range, no parallel-port driver below it
          {0xe010, 5, "port 0xe010 to 0xe014 belongs to 0000:03:00.0, not to a parallel port"},
          {0xf01e, 5, "port 0xf01e to 0xf022 belongs to 0000:00:1f.4, not to a parallel port"},
      });
}

TEST(PortOwners, NothingToGoOnFrom) {
  // An unprivileged reader sees every range as 0000-0000.
  expect_ranges("0000-0000 : PCI Bus 0000:00\n  0000-0000 : dma1\n  0000-0000 : keyboard\n",
                {{0x0, 5, nullptr}, {0x60, 5, nullptr}});
  expect_ranges("", {{0x60, 5, nullptr}});
  // Lines that are not entries are passed over; the entries around them count.
  expect_ranges("garbage\n0060-0064 keyboard\n0070-0060 : backwards\n0060-0060 : keyboard\n",
                {{0x60, 5, "port 0x60 to 0x64 belongs to keyboard, not to a parallel port"},
                 {0x61, 5, nullptr}});
  EXPECT_FALSE(foreign_port_owner(0x60, 5, "/nonexistent/ioports").has_value());
  FakeList file(kFullList);
  EXPECT_FALSE(foreign_port_owner(0x60, 0, file.path()).has_value());
}

TEST(PortOwners, OverrideSkipsTheCheck) {
  FakeList file(kFullList);
  unsetenv(vorn::kIgnorePortOwnerVar);
  EXPECT_TRUE(vorn::port_owner_refusal(0x60, 5, file.path()).has_value());
  setenv(vorn::kIgnorePortOwnerVar, "0", 1);
  EXPECT_TRUE(vorn::port_owner_refusal(0x60, 5, file.path()).has_value());
  setenv(vorn::kIgnorePortOwnerVar, "1", 1);
  EXPECT_FALSE(vorn::port_owner_refusal(0x60, 5, file.path()).has_value());
  unsetenv(vorn::kIgnorePortOwnerVar);
}

} // namespace
