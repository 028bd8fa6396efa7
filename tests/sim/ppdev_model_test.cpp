// The kernel's rules the ppdev model owns, on a port chip that answers a
// set number of EPP cycles and then times out, as an empty bus does.
#include "ppdev_model.h"

#include <gtest/gtest.h>

#include <linux/ioctl.h>
#include <linux/parport.h>
#include <linux/ppdev.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <string>
#include <vector>

namespace {

using vorn::Reg;
using vorn::sim::PortHardware;
using vorn::sim::PpdevModel;

constexpr std::uint8_t kTimeout = 0x01;

// A PC's port chip: EPP cycles past `answered` time out; the timeout bit
// clears on a write of 1 or of 0 to it, as the chip has it.
struct Chip final : vorn::sim::PortRegisters {
  std::uint8_t reg[5] = {0, 0x78, 0, 0, 0};
  int answered = INT_MAX;
  bool clears_on_one = true;
  int cycles = 0;
  int status_reads = 0;
  std::vector<std::uint8_t> controls; // every control write

  void cycle() {
    if (++cycles > answered)
      reg[1] |= kTimeout;
  }
  std::uint8_t in(Reg r) override {
    if (r == Reg::epp_addr || r == Reg::epp_data)
      cycle();
    if (r == Reg::status)
      ++status_reads;
    return reg[static_cast<int>(r)];
  }
  void out(Reg r, std::uint8_t value) override {
    if (r == Reg::epp_addr || r == Reg::epp_data)
      cycle();
    if (r == Reg::control)
      controls.push_back(value);
    if (r == Reg::status) {
      if (((value & kTimeout) != 0) == clears_on_one)
        reg[1] &= ~kTimeout;
      return;
    }
    reg[static_cast<int>(r)] = value;
  }
  bool take_timeout() override {
    const bool set = (reg[1] & kTimeout) != 0;
    reg[1] &= ~kTimeout;
    return set;
  }
  std::uint8_t status_lines() override { return reg[1]; }
};

struct Port {
  explicit Port(PortHardware hardware = {}, bool nonblocking = true)
      : model(chip, hardware), file(model.open(nonblocking)) {}
  int set(unsigned long request, int value) { return model.ioctl(file, request, &value); }
  int claim() { return model.ioctl(file, PPCLAIM, nullptr); }
  Chip chip;
  PpdevModel model;
  int file;
};

struct Request {
  const char *name;
  unsigned long request;
  bool before_claim; // answered without a claim
};

const Request kRequests[] = {
    {"Rstatus", PPRSTATUS, false},   {"Rdata", PPRDATA, false},
    {"Wdata", PPWDATA, false},       {"Rcontrol", PPRCONTROL, false},
    {"Wcontrol", PPWCONTROL, false}, {"Fcontrol", PPFCONTROL, false},
    {"Datadir", PPDATADIR, false},   {"Release", PPRELEASE, false},
    {"Negot", PPNEGOT, false},       {"Yield", PPYIELD, false},
    {"Setmode", PPSETMODE, true},    {"Getmode", PPGETMODE, true},
    {"Setflags", PPSETFLAGS, true},  {"Getflags", PPGETFLAGS, true},
    {"Getmodes", PPGETMODES, true},  {"Setphase", PPSETPHASE, true},
    {"Excl", PPEXCL, true},
};

class BeforeTheClaim : public testing::TestWithParam<Request> {};

// ppdev answers only the file's own settings before a claim, and no
// register is touched.
TEST_P(BeforeTheClaim, OnlyTheFilesSettingsAreAnswered) {
  Port port;
  int word = 0x100;
  EXPECT_EQ(port.model.ioctl(port.file, GetParam().request, &word),
            GetParam().before_claim ? 0 : -EINVAL);
  EXPECT_TRUE(port.chip.controls.empty());
  EXPECT_EQ(port.model.counts().port_accesses, 0u);
}

INSTANTIATE_TEST_SUITE_P(Ppdev, BeforeTheClaim, testing::ValuesIn(kRequests),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(Ppdev, TransfersNeedTheClaim) {
  Port port;
  std::uint8_t byte = 0;
  EXPECT_EQ(port.model.read(port.file, &byte, 1), -EINVAL);
  EXPECT_EQ(port.model.write(port.file, &byte, 1), -EINVAL);
  ASSERT_EQ(port.set(PPSETMODE, IEEE1284_MODE_EPP), 0);
  ASSERT_EQ(port.claim(), 0);
  EXPECT_EQ(port.model.read(port.file, &byte, 1), 1) << "the mode set before the claim holds";
}

struct Registration {
  const char *name;
  bool present;
  bool other_device;
  bool exclusive;
  int claim;
};

const Registration kRegistrations[] = {
    {"Shared", true, false, false, 0},
    {"Exclusive", true, false, true, 0},
    {"SharedBesideAnother", true, true, false, 0},
    {"ExclusiveBesideAnother", true, true, true, -ENXIO},
    {"NoPort", false, false, false, -ENXIO},
};

class Registers : public testing::TestWithParam<Registration> {};

// The device registers at its first claim; PPEXCL after it is taken only
// when it was asked for before.
TEST_P(Registers, AtTheFirstClaim) {
  const Registration &r = GetParam();
  Port port;
  port.model.set_port_present(r.present);
  port.model.set_other_device(r.other_device);
  if (r.exclusive) {
    ASSERT_EQ(port.model.ioctl(port.file, PPEXCL, nullptr), 0);
  }
  EXPECT_EQ(port.claim(), r.claim);
  unsigned modes = 0;
  EXPECT_EQ(port.model.ioctl(port.file, PPGETMODES, &modes), r.present ? 0 : -ENODEV);
  if (r.claim != 0)
    return;
  EXPECT_EQ(port.model.ioctl(port.file, PPEXCL, nullptr), r.exclusive ? 0 : -EINVAL);
  // A second file: its exclusive device, or any beside an exclusive one, is
  // refused; a shared one waits for the port.
  const int second = port.model.open(true);
  if (!r.exclusive) {
    ASSERT_EQ(port.model.ioctl(second, PPEXCL, nullptr), 0);
  }
  EXPECT_EQ(port.model.ioctl(second, PPCLAIM, nullptr), -ENXIO);
  const int third = port.model.open(true);
  EXPECT_EQ(port.model.ioctl(third, PPCLAIM, nullptr),
            r.exclusive ? -ENXIO : vorn::sim::kClaimSleeps);
  // Closed, the devices are unregistered: the port is free for an exclusive one.
  for (int f : {third, second, port.file})
    port.model.close(f);
  const int fresh = port.model.open(true);
  ASSERT_EQ(port.model.ioctl(fresh, PPEXCL, nullptr), 0);
  EXPECT_EQ(port.model.ioctl(fresh, PPCLAIM, nullptr), r.other_device ? -ENXIO : 0);
}

INSTANTIATE_TEST_SUITE_P(Ppdev, Registers, testing::ValuesIn(kRegistrations),
                         [](const auto &info) { return std::string(info.param.name); });

struct Read {
  const char *name;
  PortHardware hardware;
  bool fast;
  bool nonblocking;
  int answered; // cycles before the first that times out
  std::size_t count;
  long result;
  std::uint64_t port_accesses;
};

// 2 per hardware cycle (it and the status check), 5 per emulated one, 6
// more to clear a timeout; a fast read checks once after all its cycles.
const Read kReads[] = {
    {"AllAnswered", {}, false, true, INT_MAX, 4, 4, 8},
    {"ShortAtTheUnanswered", {}, false, true, 2, 4, 2, 6 + 6},
    {"NothingNonBlocking", {}, false, true, 0, 4, -EAGAIN, 2 + 6},
    {"NothingBlockingSpins", {}, false, false, 0, 4, vorn::sim::kReadSpins, 2 + 6},
    {"FastWhole", {}, true, true, INT_MAX, 12, 12, 3 + 1},
    {"FastFailsWhole", {}, true, true, 11, 12, -EIO, 3 + 1 + 6},
    {"FastOneByteIsACycle", {}, true, true, INT_MAX, 1, 1, 2},
    {"EmulatedWithoutEpp", {false, true}, false, true, INT_MAX, 4, 4, 20},
    {"EmulatedIgnoresFast", {false, true}, true, true, 2, 4, 2, 15},
    {"CutAtTheKernelsBuffer", {}, false, true, INT_MAX, 1500, 1024, 2048},
};

class EppRead : public testing::TestWithParam<Read> {};

TEST_P(EppRead, EndsAtTheFirstCycleThatTimedOut) {
  const Read &r = GetParam();
  Port port(r.hardware, r.nonblocking);
  port.chip.answered = r.answered;
  ASSERT_EQ(port.claim(), 0);
  ASSERT_EQ(port.set(PPSETFLAGS, r.fast ? PP_FASTREAD : 0), 0);
  ASSERT_EQ(port.set(PPSETMODE, IEEE1284_MODE_EPP), 0);
  unsigned modes = 0;
  ASSERT_EQ(port.model.ioctl(port.file, PPGETMODES, &modes), 0);
  EXPECT_EQ((modes & PARPORT_MODE_EPP) != 0, r.hardware.epp);
  const std::uint64_t before = port.model.counts().port_accesses;
  std::vector<std::uint8_t> bytes(r.count);
  EXPECT_EQ(port.model.read(port.file, bytes.data(), bytes.size()), r.result);
  EXPECT_EQ(port.model.counts().port_accesses - before, r.port_accesses);
  EXPECT_EQ(port.chip.reg[1] & kTimeout, 0) << "the timeout left set";
}

INSTANTIATE_TEST_SUITE_P(Ppdev, EppRead, testing::ValuesIn(kReads),
                         [](const auto &info) { return std::string(info.param.name); });

class TimeoutClearing : public testing::TestWithParam<bool> {};

// parport_pc writes the bit both ways, for chips that clear it either way:
// the next cycle is answered.
TEST_P(TimeoutClearing, WorksOnEitherChip) {
  Port port;
  port.chip.clears_on_one = GetParam();
  port.chip.answered = 0;
  ASSERT_EQ(port.claim(), 0);
  ASSERT_EQ(port.set(PPSETMODE, IEEE1284_MODE_EPP | IEEE1284_ADDR), 0);
  const std::uint8_t address = 0x10;
  EXPECT_EQ(port.model.write(port.file, &address, 1), 0);
  EXPECT_EQ(port.chip.reg[1] & kTimeout, 0);
  port.chip.answered = INT_MAX;
  EXPECT_EQ(port.model.write(port.file, &address, 1), 1);
  EXPECT_EQ(port.model.counts().short_cycles, 1u);
  EXPECT_EQ(port.model.counts().address_cycles, 2u);
}

INSTANTIATE_TEST_SUITE_P(Ppdev, TimeoutClearing, testing::Bool(), [](const auto &info) {
  return info.param ? "ClearsOnOne" : "ClearsOnZero";
});

// Seen from behind a virtual machine the kernel's own status reads are not
// made; the timeout is still taken after each cycle.
TEST(Ppdev, UnseenOwnAccessesTakeTheTimeoutWithoutAStatusRead) {
  Port port({true, false, false});
  port.chip.answered = 1;
  ASSERT_EQ(port.claim(), 0);
  ASSERT_EQ(port.set(PPSETMODE, IEEE1284_MODE_EPP), 0);
  std::uint8_t bytes[3];
  EXPECT_EQ(port.model.read(port.file, bytes, 3), 1);
  EXPECT_EQ(port.chip.status_reads, 0);
  EXPECT_EQ(port.chip.cycles, 2);
  EXPECT_EQ(port.chip.reg[1] & kTimeout, 0);
}

struct Write {
  const char *name;
  bool nonblocking;
  int answered;
  std::size_t count;
  long result;
  int cycles; // run at the port
};

// Blocking, ppdev goes on after a short piece from the cycle that timed
// out, and stops at one that moves nothing; non-blocking, one piece.
const Write kWrites[] = {
    {"BlockingWhole", false, INT_MAX, 1500, 1500, 1500},
    {"NonBlockingOnePiece", true, INT_MAX, 1500, 1024, 1024},
    {"BlockingShortTriesOnce", false, 2, 4, 2, 4},
    {"NonBlockingShort", true, 2, 4, 2, 3},
    {"NothingAnswers", false, 0, 4, 0, 1},
};

class EppWrite : public testing::TestWithParam<Write> {};

TEST_P(EppWrite, MovesWhatTheKernelMoves) {
  const Write &w = GetParam();
  Port port({}, w.nonblocking);
  port.chip.answered = w.answered;
  ASSERT_EQ(port.claim(), 0);
  ASSERT_EQ(port.set(PPSETMODE, IEEE1284_MODE_EPP), 0);
  const std::vector<std::uint8_t> bytes(w.count, 0x5A);
  EXPECT_EQ(port.model.write(port.file, bytes.data(), bytes.size()), w.result);
  EXPECT_EQ(port.chip.cycles, w.cycles);
}

INSTANTIATE_TEST_SUITE_P(Ppdev, EppWrite, testing::ValuesIn(kWrites),
                         [](const auto &info) { return std::string(info.param.name); });

struct Lines {
  const char *name;
  bool irq;
  unsigned long request;
  int value; // PPDATADIR's int, a control byte, or mask << 8 | value
  std::uint8_t control;
};

// From the claim's 0x0c (0x1c with an interrupt line); the direction is
// parport_pc's, the interrupt enable writable only with a line.
const Lines kLines[] = {
    {"Reverse", false, PPDATADIR, 1, 0x2c},
    {"ReverseKeepsIrq", true, PPDATADIR, 1, 0x3c},
    {"WcontrolDirectionReverses", false, PPWCONTROL, 0x24, 0x24},
    {"WcontrolLinesOnly", true, PPWCONTROL, 0x07, 0x17},
    {"FcontrolForwards", false, PPFCONTROL, 0x2000 | 0x00, 0x0c},
    {"FcontrolXorsValue", false, PPFCONTROL, 0x0400 | 0x01, 0x09},
    {"FcontrolInitLow", true, PPFCONTROL, 0x0400, 0x18},
};

class ControlLines : public testing::TestWithParam<Lines> {};

TEST_P(ControlLines, AsParportPcWritesThem) {
  const Lines &l = GetParam();
  Port port({true, l.irq});
  ASSERT_EQ(port.claim(), 0);
  EXPECT_EQ(port.chip.reg[2], l.irq ? 0x1c : 0x0c);
  if (l.request == PPFCONTROL) {
    // Reversed first, so that a forward shows.
    ASSERT_EQ(port.set(PPDATADIR, 1), 0);
    ppdev_frob_struct frob{static_cast<unsigned char>(l.value >> 8),
                           static_cast<unsigned char>(l.value & 0xFF)};
    ASSERT_EQ(port.model.ioctl(port.file, PPFCONTROL, &frob), 0);
    if ((frob.mask & 0x20) == 0) {
      ASSERT_EQ(port.set(PPDATADIR, 0), 0);
    }
  } else if (l.request == PPWCONTROL) {
    auto byte = static_cast<std::uint8_t>(l.value);
    ASSERT_EQ(port.model.ioctl(port.file, PPWCONTROL, &byte), 0);
  } else {
    ASSERT_EQ(port.set(l.request, l.value), 0);
  }
  EXPECT_EQ(port.chip.reg[2], l.control);
  std::uint8_t lines = 0xFF;
  ASSERT_EQ(port.model.ioctl(port.file, PPRCONTROL, &lines), 0);
  EXPECT_EQ(lines, l.control & 0x0F);
}

INSTANTIATE_TEST_SUITE_P(Ppdev, ControlLines, testing::ValuesIn(kLines),
                         [](const auto &info) { return std::string(info.param.name); });

struct Ending {
  const char *name;
  int mode;
  bool released;
  std::uint64_t resets;
  std::uint64_t terminations;
};

// At close ppdev negotiates a port left outside compatibility mode back,
// claimed or not: from EPP by nInit low, the boards' reset.
const Ending kEndings[] = {
    {"Compat", IEEE1284_MODE_COMPAT, false, 0, 0},
    {"CompatAddress", IEEE1284_MODE_COMPAT | IEEE1284_ADDR, false, 0, 0},
    {"Epp", IEEE1284_MODE_EPP, false, 1, 1},
    {"EppReleased", IEEE1284_MODE_EPP | IEEE1284_ADDR, true, 1, 1},
    {"Byte", IEEE1284_MODE_BYTE, false, 0, 1},
};

class Close : public testing::TestWithParam<Ending> {};

TEST_P(Close, NegotiatesBackToCompatibility) {
  const Ending &e = GetParam();
  Port port;
  ASSERT_EQ(port.claim(), 0);
  ASSERT_EQ(port.set(PPSETMODE, e.mode), 0);
  if (e.released) {
    ASSERT_EQ(port.model.ioctl(port.file, PPRELEASE, nullptr), 0);
  }
  port.model.close(port.file);
  EXPECT_EQ(port.model.counts().resets, e.resets);
  EXPECT_EQ(port.model.counts().terminations, e.terminations);
  EXPECT_FALSE(port.model.claimed());
  EXPECT_EQ(port.model.mode(), IEEE1284_MODE_COMPAT);
  EXPECT_EQ(port.chip.reg[2] & 0x0c, 0x0c) << "nInit high, nSelectIn asserted";
}

INSTANTIATE_TEST_SUITE_P(Ppdev, Close, testing::ValuesIn(kEndings),
                         [](const auto &info) { return std::string(info.param.name); });

// parport_pc saves the device's lines at the release and puts them back at
// its next claim; a new device starts from 0x0c.
TEST(Ppdev, ReclaimRestoresTheLinesOfTheRelease) {
  Port port({true, false});
  ASSERT_EQ(port.claim(), 0);
  std::uint8_t lines = 0x04;
  ASSERT_EQ(port.model.ioctl(port.file, PPWCONTROL, &lines), 0);
  ASSERT_EQ(port.model.ioctl(port.file, PPRELEASE, nullptr), 0);
  port.chip.reg[2] = 0x0c; // another device's
  ASSERT_EQ(port.claim(), 0);
  EXPECT_EQ(port.chip.reg[2], 0x04);
  port.model.close(port.file);
  const int again = port.model.open(true);
  ASSERT_EQ(port.model.ioctl(again, PPCLAIM, nullptr), 0);
  EXPECT_EQ(port.chip.reg[2], 0x0c);
}

// Outside the EPP modes a read negotiates a reverse mode with the
// peripheral, which the boards never take part in.
TEST(Ppdev, CompatibilityReadFailsTheNegotiation) {
  Port port;
  ASSERT_EQ(port.claim(), 0);
  std::uint8_t byte = 0;
  EXPECT_EQ(port.model.read(port.file, &byte, 1), -EIO);
  EXPECT_EQ(port.model.mode(), IEEE1284_MODE_COMPAT);
  EXPECT_EQ(port.chip.reg[2] & 0x0F, 0x0c) << "the lines back to idle";
  int mode = IEEE1284_MODE_EPP;
  EXPECT_EQ(port.model.ioctl(port.file, PPNEGOT, &mode), -EIO);
}

} // namespace
