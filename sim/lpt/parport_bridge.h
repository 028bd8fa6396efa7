// A parallel port that answers the kernel's ppdev requests (the ioctls,
// read() and write() on /dev/parportN) from the simulated board set, for
// QEMU's pass-through port. The bridge stands for the port itself: every
// register access a request makes is one access the boards see, traced and
// counted; a host kernel's own status reads after each EPP byte are not
// modelled, since the guest's kernel makes its own and they arrive here.
#ifndef VORNSIM_LPT_PARPORT_BRIDGE_H
#define VORNSIM_LPT_PARPORT_BRIDGE_H

#include "trace_io.h"
#include "vornsim.hpp"

#include <cstddef>
#include <cstdint>
#include <string>

namespace vorn::sim {

// What the boards saw through one port since it was served.
struct BridgeCounts {
  std::uint64_t requests = 0;       // ioctls, reads and writes
  std::uint64_t accesses = 0;       // register accesses, one per EPP byte
  std::uint64_t status_reads = 0;   // PPRSTATUS
  std::uint64_t control_writes = 0; // PPWCONTROL, PPFCONTROL, PPDATADIR
  std::uint64_t data_accesses = 0;  // PPRDATA, PPWDATA
  std::uint64_t address_cycles = 0; // EPP address bytes, read or written
  std::uint64_t data_cycles = 0;    // EPP data bytes, read or written
  std::uint64_t short_cycles = 0;   // EPP cycles no board answered
  std::uint64_t resets = 0;         // nInit taken low
};

class ParportBridge {
public:
  // `trace` (not owned) receives one line per register access; nullptr for none.
  explicit ParportBridge(Simulator &sim, trace::Output *trace = nullptr);

  // One open file at a time, as QEMU holds it: a second open is EBUSY.
  // `nonblocking` is the file's O_NONBLOCK.
  int open(bool nonblocking);
  // The last close releases the port if it is still claimed.
  void close();

  // A ppdev ioctl; `data` holds _IOC_SIZE(cmd) bytes in and out as the
  // kernel copies them. 0 or -errno.
  int ioctl(unsigned int cmd, void *data);
  // EPP transfers in the mode PPSETMODE chose: bytes moved (a cycle no
  // board answers ends the transfer there) or -errno.
  long read(std::uint8_t *bytes, std::size_t count);
  long write(const std::uint8_t *bytes, std::size_t count);

  // The boards powered off and on: `sim` (not owned) serves from now on,
  // its port lines set to what the port drives; claim, mode and counts stay.
  void power_on(Simulator &sim);

  const BridgeCounts &counts() const { return counts_; }
  // "accesses=N requests=N ..." for the stats file.
  std::string counts_line() const;
  // A "# <text>" line in the trace.
  void note(const std::string &text);

private:
  std::uint8_t access_read(Reg reg);
  void access_write(Reg reg, std::uint8_t value);
  void set_control(std::uint8_t value);
  // The register of the next EPP cycle in the mode set, counted.
  Reg cycle_register();
  // Whether no timeout followed the cycle; the flag is cleared.
  bool cycle_answered();
  // One EPP cycle; false when no board answered it.
  bool cycle_read(std::uint8_t &byte);
  bool cycle_write(std::uint8_t byte);
  bool address_mode() const;

  Simulator *sim_;
  trace::Output *trace_;
  BridgeCounts counts_;
  bool open_ = false;
  bool nonblocking_ = false;
  bool claimed_ = false;
  bool registered_ = false; // from the first claim to the close
  int mode_ = 0;
  int phase_ = 0;
  int flags_ = 0;
  std::uint8_t control_ = 0; // low four lines, as the kernel's port keeps them
  bool reverse_ = false;
};

} // namespace vorn::sim

#endif
