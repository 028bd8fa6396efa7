// The bridge answers ppdev requests as the kernel's parallel-port driver
// does on a port with hardware EPP, from the simulated board set: checked
// against a twin board set driven register by register.
#include "parport_bridge.h"

#include "board_map.h"
#include "trace_io.h"

#include <gtest/gtest.h>

#include <sys/ioctl.h>

#include <linux/parport.h>
#include <linux/ppdev.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using vorn::Reg;
using vorn::sim::ParportBridge;
using vorn::sim::Simulator;

constexpr int kAddressMode = IEEE1284_MODE_EPP | IEEE1284_ADDR;
constexpr int kDataMode = IEEE1284_MODE_EPP;

// Boards at every block: every address answers.
vorn::sim::Rig full_bus() {
  vorn::sim::Rig rig;
  rig.boards.fill(0x31);
  return rig;
}

struct Bridged {
  explicit Bridged(vorn::sim::Rig rig = {}) : sim(std::move(rig)) {}
  Simulator sim;
  ParportBridge bridge{sim};

  int set(unsigned cmd, int value) { return bridge.ioctl(cmd, &value); }
  int control(std::uint8_t lines) { return bridge.ioctl(PPWCONTROL, &lines); }
  std::uint8_t status() {
    std::uint8_t s = 0xAA;
    EXPECT_EQ(bridge.ioctl(PPRSTATUS, &s), 0);
    return s;
  }
  void claim(bool nonblocking = false) {
    ASSERT_EQ(bridge.open(nonblocking), 0);
    ASSERT_EQ(bridge.ioctl(PPCLAIM, nullptr), 0);
    ASSERT_EQ(control(PARPORT_CONTROL_INIT), 0); // the tool's idle EPP lines
  }
  void select(std::uint8_t address) {
    ASSERT_EQ(set(PPSETMODE, kAddressMode), 0);
    ASSERT_EQ(bridge.write(&address, 1), 1);
  }
  long read_data(std::uint8_t *bytes, std::size_t count) {
    EXPECT_EQ(set(PPDATADIR, 1), 0);
    EXPECT_EQ(set(PPSETMODE, kDataMode), 0);
    return bridge.read(bytes, count);
  }
};

// Everything but a claim and what may come before one needs the port
// claimed; the mode is recorded before it, for the claim.
TEST(ParportBridge, RefusesRegisterRequestsBeforeTheClaim) {
  Simulator sim;
  ParportBridge bridge(sim);
  ASSERT_EQ(bridge.open(false), 0);
  std::uint8_t byte = 0;
  int word = 0;
  for (unsigned cmd : std::initializer_list<unsigned>{PPRSTATUS, PPWCONTROL, PPRCONTROL, PPRDATA,
                                                      PPWDATA, PPDATADIR, PPRELEASE})
    EXPECT_EQ(bridge.ioctl(cmd, cmd == PPDATADIR ? static_cast<void *>(&word) : &byte), -EINVAL)
        << std::hex << cmd;
  word = kAddressMode;
  EXPECT_EQ(bridge.ioctl(PPSETMODE, &word), 0);
  EXPECT_EQ(bridge.read(&byte, 1), -EINVAL);
  EXPECT_EQ(bridge.write(&byte, 1), -EINVAL);
  EXPECT_EQ(sim.accesses(), 0u);

  unsigned modes = 0;
  EXPECT_EQ(bridge.ioctl(PPGETMODES, &modes), 0);
  EXPECT_NE(modes & PARPORT_MODE_EPP, 0u) << "QEMU's guest must find hardware EPP";
  EXPECT_EQ(bridge.ioctl(PPEXCL, nullptr), 0);
  EXPECT_EQ(bridge.ioctl(PPCLAIM, nullptr), 0);
  EXPECT_EQ(bridge.ioctl(PPCLAIM, nullptr), -EINVAL) << "claimed twice";
  EXPECT_EQ(bridge.ioctl(PPEXCL, nullptr), 0) << "registered exclusive already";
  EXPECT_EQ(sim.control(), 0x0c) << "the kernel's lines after a claim";
  word = 0;
  EXPECT_EQ(bridge.ioctl(PPGETMODE, &word), 0);
  EXPECT_EQ(word, kAddressMode) << "the mode set before the claim";
  EXPECT_EQ(bridge.ioctl(0x7099u, nullptr), -EINVAL);
}

TEST(ParportBridge, OneOpenAtATime) {
  Simulator sim;
  ParportBridge bridge(sim);
  EXPECT_EQ(bridge.open(false), 0);
  EXPECT_EQ(bridge.open(false), -EBUSY);
  bridge.close();
  EXPECT_EQ(bridge.open(false), 0);
  std::uint8_t byte = 0;
  EXPECT_EQ(bridge.ioctl(PPRSTATUS, &byte), -EINVAL) << "the close released the claim";
}

struct Transfer {
  const char *name;
  std::uint8_t address; // selected first
  bool reading;
  std::size_t count;
  long moved;               // what read()/write() returns
  std::uint64_t shorts;     // cycles no board answered
  bool full = false;        // boards at every block
  bool nonblocking = false; // the file's O_NONBLOCK
};

// Boards at blocks 0, 1 and 2 (the rate generator takes two), 4; block 3 is empty.
const Transfer kTransfers[] = {
    {"FourCountBytes", 0x00, true, 4, 4, 0},
    {"TwoBytes", 0x10, true, 2, 2, 0},
    {"EndsAtTheEmptyBlock", 0x2E, true, 4, 2, 1},
    {"NothingAnswers", 0x30, true, 2, 0, 1},
    {"WriteTwo", 0x1C, false, 2, 2, 0},
    // Blocking, the kernel tries the rest once more after a short piece.
    {"WriteIntoTheEmptyBlock", 0x2F, false, 4, 1, 2},
    {"WriteIntoTheEmptyBlockNonBlocking", 0x2F, false, 4, 1, 1, false, true},
    {"CutAtTheKernelsLimit", 0x00, true, 3000, 1024, 0, true},
    {"WriteCutAtTheKernelsLimit", 0x00, false, 1500, 1024, 0, true, true},
    {"WriteWholeWhenBlocking", 0x00, false, 1500, 1500, 0, true},
};

class EppTransfer : public testing::TestWithParam<Transfer> {};

TEST_P(EppTransfer, IsThatManyCyclesInARowAsTheRegistersRunThem) {
  const Transfer &t = GetParam();
  Bridged port(t.full ? full_bus() : vorn::sim::Rig{});
  port.claim(t.nonblocking);
  port.select(t.address);
  std::vector<std::uint8_t> bytes(t.count, 0x5A);
  long moved = 0;
  if (t.reading) {
    moved = port.read_data(bytes.data(), bytes.size());
  } else {
    ASSERT_EQ(port.set(PPSETMODE, kDataMode), 0);
    moved = port.bridge.write(bytes.data(), bytes.size());
  }
  EXPECT_EQ(moved, t.moved);
  EXPECT_EQ(port.bridge.counts().short_cycles, t.shorts);
  EXPECT_EQ(port.bridge.counts().data_cycles, t.moved + t.shorts) << "a short cycle still ran";
  EXPECT_EQ(port.status() & vorn::map::kStatusTimeout, 0) << "cleared after each cycle";

  // The twin: the same cycles, register by register.
  Simulator twin(t.full ? full_bus() : vorn::sim::Rig{});
  twin.write(Reg::control, 0x04);
  twin.write(Reg::epp_addr, t.address);
  if (t.reading)
    twin.write(Reg::control, 0x24);
  for (long i = 0; i < t.moved; ++i) {
    if (t.reading)
      EXPECT_EQ(bytes[i], twin.read(Reg::epp_data)) << "byte " << i;
    else
      twin.write(Reg::epp_data, 0x5A);
  }
  EXPECT_EQ(port.sim.selected(), static_cast<std::uint8_t>(twin.selected() + t.shorts));
  if (!t.reading) {
    EXPECT_EQ(port.sim.rate_control(), twin.rate_control());
  }
}

INSTANTIATE_TEST_SUITE_P(Bridge, EppTransfer, testing::ValuesIn(kTransfers),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(ParportBridge, UnansweredReadIsEagainWhenNonBlocking) {
  for (bool nonblocking : {false, true}) {
    Simulator sim;
    ParportBridge bridge(sim);
    ASSERT_EQ(bridge.open(nonblocking), 0);
    ASSERT_EQ(bridge.ioctl(PPCLAIM, nullptr), 0);
    int mode = kDataMode;
    ASSERT_EQ(bridge.ioctl(PPSETMODE, &mode), 0);
    sim.write(Reg::epp_addr, 0x30);
    std::uint8_t byte = 0;
    EXPECT_EQ(bridge.read(&byte, 1), nonblocking ? -EAGAIN : 0);
  }
}

TEST(ParportBridge, TransfersOutsideEppModeAreRefused) {
  Bridged port;
  port.claim();
  ASSERT_EQ(port.set(PPSETMODE, IEEE1284_MODE_COMPAT), 0);
  std::uint8_t byte = 0;
  EXPECT_EQ(port.bridge.read(&byte, 1), -EIO);
  EXPECT_EQ(port.bridge.write(&byte, 1), -EIO);
}

struct LineChange {
  const char *name;
  std::uint8_t lines; // PPWCONTROL, or PPFCONTROL's value under mask 0x04
  bool frob;
  std::uint64_t resets;
};

const LineChange kLineChanges[] = {
    {"NinitLow", 0x00, false, 1},   {"NinitLowWithSelect", 0x08, false, 1},
    {"FrobbedLow", 0x00, true, 1},  {"AddressStrobeOnly", 0x0c, false, 0},
    {"FrobbedHigh", 0x04, true, 0},
};

class ControlLines : public testing::TestWithParam<LineChange> {};

// nInit low resets the boards: the rate generator's control and the index
// set register go back to zero.
TEST_P(ControlLines, NinitLowReachesTheBoardsAsAReset) {
  const LineChange &c = GetParam();
  Bridged port;
  port.claim();
  port.select(vorn::map::kRateControl);
  std::uint8_t value = 0x03;
  ASSERT_EQ(port.set(PPSETMODE, kDataMode), 0);
  ASSERT_EQ(port.bridge.write(&value, 1), 1);
  ASSERT_EQ(port.sim.rate_control(), 0x03);
  if (c.frob) {
    ppdev_frob_struct frob{PARPORT_CONTROL_INIT, c.lines};
    ASSERT_EQ(port.bridge.ioctl(PPFCONTROL, &frob), 0);
  } else {
    ASSERT_EQ(port.control(c.lines), 0);
  }
  EXPECT_EQ(port.bridge.counts().resets, c.resets);
  EXPECT_EQ(port.sim.rate_control(), c.resets != 0 ? 0x00 : 0x03);
}

INSTANTIATE_TEST_SUITE_P(Bridge, ControlLines, testing::ValuesIn(kLineChanges),
                         [](const auto &info) { return std::string(info.param.name); });

// The direction is PPDATADIR's alone; PPRCONTROL gives the four lines the
// kernel keeps, without a bus access.
TEST(ParportBridge, DirectionAndControlReadBack) {
  Bridged port;
  port.claim();
  ASSERT_EQ(port.set(PPDATADIR, 1), 0);
  EXPECT_EQ(port.sim.control(), 0x24);
  ASSERT_EQ(port.control(0x24 | 0x08), 0);
  EXPECT_EQ(port.sim.control(), 0x2c) << "PPWCONTROL leaves the direction alone";
  const std::uint64_t before = port.sim.accesses();
  std::uint8_t lines = 0;
  ASSERT_EQ(port.bridge.ioctl(PPRCONTROL, &lines), 0);
  EXPECT_EQ(lines, 0x0c);
  EXPECT_EQ(port.sim.accesses(), before);
  ASSERT_EQ(port.set(PPDATADIR, 0), 0);
  EXPECT_EQ(port.sim.control(), 0x0c);
}

// One trace line per register access the boards saw, none for a request
// that makes none; the count of accesses is the trace's.
TEST(ParportBridge, TracesAndCountsEveryAccess) {
  std::FILE *file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  std::vector<std::string> lines;
  {
    vorn::trace::Output out;
    out.attach(file);
    Simulator sim;
    ParportBridge bridge(sim, &out);
    ASSERT_EQ(bridge.open(false), 0);
    ASSERT_EQ(bridge.ioctl(PPCLAIM, nullptr), 0);
    int mode = kAddressMode;
    ASSERT_EQ(bridge.ioctl(PPSETMODE, &mode), 0);
    const std::uint8_t address = 0x2F;
    ASSERT_EQ(bridge.write(&address, 1), 1);
    int reverse = 1;
    ASSERT_EQ(bridge.ioctl(PPDATADIR, &reverse), 0);
    mode = kDataMode;
    ASSERT_EQ(bridge.ioctl(PPSETMODE, &mode), 0);
    std::uint8_t bytes[2];
    ASSERT_EQ(bridge.read(bytes, 2), 1);
    std::uint8_t status = 0;
    ASSERT_EQ(bridge.ioctl(PPRSTATUS, &status), 0);
    ASSERT_EQ(bridge.ioctl(PPRCONTROL, &status), 0);
    EXPECT_EQ(bridge.counts().accesses, sim.accesses());
    EXPECT_EQ(bridge.counts().requests, 8u);
    ASSERT_TRUE(out.close());
    std::rewind(file);
    char text[64];
    while (std::fgets(text, sizeof text, file) != nullptr)
      lines.emplace_back(text);
    EXPECT_EQ(lines.size(), bridge.counts().accesses);
  }
  std::fclose(file);
  const std::vector<std::string> want = {"W 2 0c\n", "W 3 2f\n", "W 2 2c\n",
                                         "R 4 ff\n", "R 4 ff\n", "R 1 00\n"};
  ASSERT_EQ(lines.size(), want.size());
  EXPECT_EQ(lines[0], want[0]) << "the claim's lines";
  EXPECT_EQ(lines[1], want[1]);
  EXPECT_EQ(lines[2], want[2]);
  EXPECT_EQ(lines[3].substr(0, 4), "R 4 ") << "the answered byte";
  EXPECT_EQ(lines[4], want[4]) << "the unanswered cycle, run and traced";
  EXPECT_EQ(lines[5], want[5]) << "no timeout left behind";
}

// A power cycle swaps the board set; the port's lines carry over to it.
TEST(ParportBridge, PowerOnKeepsThePortsLinesAndCounts) {
  Bridged port;
  port.claim();
  ASSERT_EQ(port.set(PPDATADIR, 1), 0);
  const std::uint64_t accesses = port.bridge.counts().accesses;
  Simulator fresh;
  port.bridge.power_on(fresh);
  EXPECT_EQ(fresh.control(), 0x24);
  EXPECT_EQ(port.bridge.counts().accesses, accesses);
  port.status();
  EXPECT_EQ(fresh.accesses(), 2u) << "the lines set, then the status read";
}

} // namespace
