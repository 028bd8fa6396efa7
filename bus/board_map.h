// Parallel-port register offsets and the board bus address map. Every bus
// address and port offset used by the tool is named here and nowhere else.
#ifndef VORN_BOARD_MAP_H
#define VORN_BOARD_MAP_H

#include <cstdint>

namespace vorn {

// The parallel port's registers, by offset from its base address.
enum class Reg : std::uint8_t { data = 0, status = 1, control = 2, epp_addr = 3, epp_data = 4 };
inline constexpr unsigned kRegCount = 5;

} // namespace vorn

namespace vorn::map {

// The same registers as numbers, as trace lines and the simulator's
// port-number interface write them; the library reaches them by Reg.
inline constexpr std::uint16_t kPortData = static_cast<std::uint16_t>(Reg::data);
inline constexpr std::uint16_t kPortStatus = static_cast<std::uint16_t>(Reg::status);
inline constexpr std::uint16_t kPortControl = static_cast<std::uint16_t>(Reg::control);
inline constexpr std::uint16_t kPortEppAddr = static_cast<std::uint16_t>(Reg::epp_addr);
inline constexpr std::uint16_t kPortEppData = static_cast<std::uint16_t>(Reg::epp_data);
inline constexpr std::uint32_t kPortCount = kRegCount;

// Status register.
inline constexpr std::uint8_t kStatusTimeout = 0x01;
// Control register values and bits.
inline constexpr std::uint8_t kCtrlForward = 0x04; // nInit high, PC drives data
inline constexpr std::uint8_t kCtrlReverse = 0x24; // boards drive data
inline constexpr std::uint8_t kCtrlReset = 0x00;   // nInit low
inline constexpr std::uint8_t kCtrlDirection = 0x20;
inline constexpr std::uint8_t kCtrlNInit = 0x04; // low resets the boards

// Bus address space: 16 blocks of 16 addresses, ID byte at offset 0x0F.
inline constexpr std::uint32_t kBlockSize = 0x10;
inline constexpr std::uint32_t kBlockCount = 16;
inline constexpr std::uint32_t kIdOffset = 0x0F;
inline constexpr std::uint32_t kLastAddr = 0xFF;

// Board type codes (high nibble of the ID byte).
inline constexpr unsigned kTypeEncoder = 0x1;
inline constexpr unsigned kTypeDac = 0x2;
inline constexpr unsigned kTypeDio = 0x3;
inline constexpr unsigned kTypeRategen = 0x4;
inline constexpr unsigned kTypeNone = 0xF;

// Encoder board (block 0).
inline constexpr std::uint32_t kEncCount = 0x00;      // R: 4 x 24-bit latched counts
inline constexpr std::uint32_t kEncPreset = 0x00;     // W: 24-bit preset, low byte first
inline constexpr std::uint32_t kEncControl = 0x03;    // W: 0xF0 load preset, 0x00 count
inline constexpr std::uint32_t kEncLatch = 0x04;      // W: latch strobe and interrupt period
inline constexpr std::uint32_t kEncIndexSense = 0x0C; // R: latched index bits, clear on read
inline constexpr std::uint32_t kDigIn0 = 0x0D;        // R
inline constexpr std::uint32_t kEncIndexSet = 0x0D;   // W: reset count at index, bit per axis
inline constexpr std::uint32_t kDigIn1 = 0x0E;        // R (also the emergency stop)
inline constexpr std::uint32_t kEncBoardId = 0x0F;    // R
inline constexpr std::uint32_t kSpindleSpeed = 0x0F;  // W

inline constexpr std::uint8_t kEncLoadPreset = 0xF0;
inline constexpr std::uint8_t kEncCounting = 0x00;
inline constexpr std::uint8_t kLatchStrobe = 0x20;
inline constexpr std::uint8_t kLatchIdle = 0x00;
inline constexpr std::uint8_t kStartupPeriodCode = 0x10;
inline constexpr std::uint32_t kEncoderCount = 4;
inline constexpr std::uint32_t kCountBytes = 3;

// Rate generator board (blocks 1 and 2).
inline constexpr std::uint32_t kRateCount = 0x10;   // W: channel n at 0x10 + 3n
inline constexpr std::uint32_t kRateControl = 0x1C; // W: run and direction bits
inline constexpr std::uint32_t kRateAux = 0x1D;     // W: 0x1D and 0x1E follow 0x1C
inline constexpr std::uint32_t kRateBoardId = 0x1F; // R
inline constexpr std::uint32_t kDigOut0 = 0x1F;     // W
inline constexpr std::uint32_t kReg26 = 0x26;       // W: set once by diocontinuous
inline constexpr std::uint8_t kRateAuxValue = 0xC8;
inline constexpr std::uint8_t kRateStopAll = 0x00;
inline constexpr std::uint32_t kRateChannels = 4;

// Digital I/O board (block 4).
inline constexpr std::uint32_t kDigOut1 = 0x41;    // W
inline constexpr std::uint32_t kDioBoardId = 0x4F; // R

// The blocks the boards the tool drives take.
inline constexpr std::uint32_t kEncoderBlock = 0;
inline constexpr std::uint32_t kRateBlock = 1; // and the block after it
inline constexpr std::uint32_t kDioBlock = 4;

// The board the tool expects at `block`, for messages; nullptr for none.
constexpr const char *block_board(std::uint32_t block) {
  switch (block) {
  case kEncoderBlock:
    return "the encoder board";
  case kRateBlock:
  case kRateBlock + 1:
    return "the rate generator";
  case kDioBlock:
    return "the digital I/O board";
  default:
    return nullptr;
  }
}

constexpr std::uint32_t rate_channel_addr(int channel) {
  return kRateCount + kCountBytes * static_cast<std::uint32_t>(channel);
}
constexpr std::uint32_t block_id_addr(std::uint32_t block) {
  return block * kBlockSize + kIdOffset;
}

} // namespace vorn::map

#endif
