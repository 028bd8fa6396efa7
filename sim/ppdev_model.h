// The kernel's parallel-port driver for one port, as user space meets it
// through /dev/parportN: ppdev's file (claim, release, exclusive
// registration, mode, phase and flags, the ioctls that need a claim) over
// parport_pc's port (its copy of the control register, the writable bits,
// data direction, EPP address and data cycles with the status check and
// timeout clearing after each, fast string transfers, the IEEE 1284
// negotiation and its termination). Request results are 0 or a byte count,
// or -errno, as the kernel returns them.
//
// Two ways to stand for the port: the kernel's own accesses (the status
// check after a cycle, the timeout clearing, the handshakes of its
// emulated EPP) reach the registers, and count, as on a PC; or they are
// unseen, for a port behind a virtual machine whose guest kernel makes its
// own and whose accesses alone the boards should see.
//
// Left out: parport_pc's interrupt-enable write after each claim, read and
// write (it rewrites the value the register holds: no line moves, and
// QEMU's port drops such writes too), the printer protocol of a write
// outside the EPP modes (refused with EIO), interrupts, ECP. The board set
// answers an emulated EPP cycle as a hardware one.
#ifndef VORNSIM_PPDEV_MODEL_H
#define VORNSIM_PPDEV_MODEL_H

#include "vornsim.hpp"

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <map>

namespace vorn::sim {

// The four control lines a caller writes and reads back (PPWCONTROL,
// PPRCONTROL); the rest of the register is parport_pc's.
inline constexpr std::uint8_t kControlLines = 0x0F;

// The port's registers as parport_pc reaches them.
class PortRegisters {
public:
  virtual ~PortRegisters() = default;
  virtual std::uint8_t in(Reg reg) = 0;
  virtual void out(Reg reg, std::uint8_t value) = 0;
  // The EPP timeout flag, read and cleared without a register access.
  virtual bool take_timeout() = 0;
  // The status lines without a register access.
  virtual std::uint8_t status_lines() = 0;
};

// What the kernel found on the port.
struct PortHardware {
  bool epp = true; // EPP registers, else the kernel emulates the cycles
  bool irq = true; // an interrupt line: the claim then sets control bit 4
  // Whether the kernel's own accesses reach the registers (see above).
  bool own_accesses_seen = true;
};

struct PortCounts {
  std::uint64_t port_accesses = 0; // as the kernel makes them (an insl is one)
  std::uint64_t status_reads = 0;  // PPRSTATUS
  std::uint64_t control_writes = 0;
  std::uint64_t data_accesses = 0; // PPRDATA, PPWDATA
  std::uint64_t address_cycles = 0;
  std::uint64_t data_cycles = 0;
  std::uint64_t short_cycles = 0; // EPP cycles that timed out
  std::uint64_t resets = 0;       // nInit taken low
  std::uint64_t terminations = 0; // negotiations back to compatibility mode
};

// What the kernel gives after waiting for a signal: a blocking read that
// nothing answers retries until one comes (-ERESTARTSYS, restarted or
// EINTR in user space); a claim while another file holds the port sleeps
// until the holder releases it.
inline constexpr long kReadSpins = -512;
inline constexpr int kClaimSleeps = -EINTR;

class PpdevModel {
public:
  PpdevModel(PortRegisters &port, PortHardware hardware);

  void set_hardware(PortHardware hardware) { hardware_ = hardware; }
  // No parport registered under the minor: the claim fails, PPGETMODES too.
  void set_port_present(bool present) { present_ = present; }
  // Another driver registered on the port refuses an exclusive device.
  void set_other_device(bool other) { other_device_ = other; }

  // open() of the device file: its number for the calls below.
  int open(bool nonblocking);
  // Its last close().
  void close(int file);
  // A ppdev ioctl; `arg` holds what the request copies in and out.
  int ioctl(int file, unsigned long request, void *arg);
  long read(int file, std::uint8_t *bytes, std::size_t count);
  long write(int file, const std::uint8_t *bytes, std::size_t count);

  bool claimed() const { return holder_ != nullptr; }
  // The port's IEEE 1284 mode.
  int mode() const { return port_mode_; }
  // parport_pc's copy of the control register.
  std::uint8_t control() const { return ctr_; }
  unsigned modes() const;
  const PortCounts &counts() const { return counts_; }

private:
  // ppdev's state of one open file.
  struct File {
    bool nonblocking = false;
    bool exclusive = false;  // PPEXCL, for the registration
    bool registered = false; // from the first claim to the close
    bool claimed = false;
    int mode = 0; // state.mode: what the port gets at the claim
    int phase = 0;
    int saved_mode = 0; // the port's mode before the claim
    int flags = 0;
    std::uint8_t device_ctr = 0; // the device's control value while released
    std::int64_t timeout[2] = {};
  };

  File *file(int number);
  int claim(File &f);
  void release(File &f);
  int file_ioctl(File &f, unsigned long request, void *arg);
  int port_ioctl(File &f, unsigned long request, void *arg);
  std::uint8_t in(Reg reg);
  void out(Reg reg, std::uint8_t value);
  // The kernel's own status read: an access only where those are seen.
  std::uint8_t own_status();
  // parport_pc's control writes.
  void frob(std::uint8_t mask, std::uint8_t value);
  void frob_lines(std::uint8_t mask, std::uint8_t value);
  void write_control(std::uint8_t value);
  int negotiate(int mode);
  void terminate();
  bool wait_peripheral(std::uint8_t mask, std::uint8_t result);
  // After an EPP cycle: whether it timed out, the flag then cleared.
  bool cycle_timed_out();
  void clear_epp_timeout();
  long epp_read(std::uint8_t *bytes, std::size_t count, bool fast);
  long epp_write(const std::uint8_t *bytes, std::size_t count, bool fast);
  Reg cycle_register();
  long emulated_cycles(std::uint8_t *in_bytes, const std::uint8_t *out_bytes, std::size_t count);

  PortRegisters &port_;
  PortHardware hardware_;
  PortCounts counts_;
  bool present_ = true;
  bool other_device_ = false;
  std::map<int, File> files_;
  int next_file_ = 0;
  File *holder_ = nullptr; // the file whose device has the port claimed
  int devices_ = 0;        // ppdev devices registered on the port
  bool exclusive_held_ = false;
  int port_mode_ = 0; // port->ieee1284.mode
  int port_phase_ = 0;
  std::uint8_t ctr_ = 0x0c; // parport_pc's soft copy
};

} // namespace vorn::sim

#endif
