// A parallel port that answers the kernel's ppdev requests (the ioctls,
// read() and write() on /dev/parportN) from the simulated board set, for
// QEMU's pass-through port: the kernel's rules are the shared model's
// (ppdev_model.h). The bridge stands for the port itself: every register
// access a request makes is one access the boards see, traced and counted;
// the host kernel's own accesses (its status check after each EPP byte)
// are left unseen, since the guest's kernel makes its own and they arrive
// here.
#ifndef VORNSIM_LPT_PARPORT_BRIDGE_H
#define VORNSIM_LPT_PARPORT_BRIDGE_H

#include "ppdev_model.h"
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
  std::uint64_t control_writes = 0; // PPWCONTROL, PPFCONTROL, PPDATADIR, the claim
  std::uint64_t data_accesses = 0;  // PPRDATA, PPWDATA
  std::uint64_t address_cycles = 0; // EPP address bytes, read or written
  std::uint64_t data_cycles = 0;    // EPP data bytes, read or written
  std::uint64_t short_cycles = 0;   // EPP cycles no board answered
  std::uint64_t resets = 0;         // nInit taken low
};

class ParportBridge final : private PortRegisters {
public:
  // `trace` (not owned) receives one line per register access; nullptr for none.
  explicit ParportBridge(Simulator &sim, trace::Output *trace = nullptr);

  // One open file at a time, as QEMU holds it: a second open is EBUSY.
  // `nonblocking` is the file's O_NONBLOCK.
  int open(bool nonblocking);
  // The last close releases the port as the kernel does.
  void close();

  // A ppdev ioctl; `data` holds _IOC_SIZE(cmd) bytes in and out as the
  // kernel copies them. 0 or -errno.
  int ioctl(unsigned int cmd, void *data);
  // EPP transfers in the mode PPSETMODE chose: bytes moved or -errno. A
  // blocking read that nothing answers gives 0 where the kernel would spin
  // until a signal: a bridge that hung QEMU would be no use.
  long read(std::uint8_t *bytes, std::size_t count);
  long write(const std::uint8_t *bytes, std::size_t count);

  // The boards powered off and on: `sim` (not owned) serves from now on,
  // its port lines set to what the port drives; claim, mode and counts stay.
  void power_on(Simulator &sim);

  BridgeCounts counts() const;
  // "accesses=N requests=N ..." for the stats file.
  std::string counts_line() const;
  // A "# <text>" line in the trace.
  void note(const std::string &text);

private:
  std::uint8_t in(Reg reg) override;
  void out(Reg reg, std::uint8_t value) override;
  bool take_timeout() override { return sim_->take_timeout(); }
  std::uint8_t status_lines() override { return sim_->status(); }

  Simulator *sim_;
  trace::Output *trace_;
  PpdevModel model_;
  std::uint64_t requests_ = 0;
  std::uint64_t accesses_ = 0;
  int file_ = -1; // the model's, while open
};

} // namespace vorn::sim

#endif
