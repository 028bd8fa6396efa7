// A fake kernel parallel-port driver: an OsCalls table that answers as the
// kernel's ppdev and parport_pc would for one port, parport0, with a
// simulated board set behind it. It serves /proc/sys/dev/parport/parport0
// (base-addr, modes, devices/active) and /dev/parport0, and counts every
// call by kind (but stat) and every register access the kernel would make
// for it.
//
// As the kernel does: the claim puts the control register to 0x0c (0x1c
// with the port's interrupt); one read() moves at most 1024 bytes and
// copies out only the bytes it counted; an EPP transfer stops after the
// first cycle that timed out (cleared at once): read() gives the bytes
// before it (-1 with EAGAIN when none, with O_NONBLOCK; without it the
// kernel would spin, and the fake aborts the test), write() the number
// written before it; with PP_FASTREAD on a port with EPP hardware a read
// of more than one byte runs every cycle and fails whole with EIO if one
// timed out; closing the device while the port is in an EPP mode makes
// the kernel's termination (from EPP nInit low, the boards' reset). A port
// without EPP hardware has every cycle emulated: slower, the same bytes.
// ENXIO at the claim means another device is registered (Node::busy) or
// no port is listed. A read or write in a mode other than EPP, where the
// kernel would negotiate, is refused with EINVAL.
//
// The raw port's lock file always appears held by another program, so that
// a raw choice made under the fake stops before it touches the PC's own
// registers.
#ifndef VORN_TEST_FAKE_PPDEV_H
#define VORN_TEST_FAKE_PPDEV_H

#include "port_os.h"
#include "vornsim.hpp"

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vorn::test {

// The kinds of call counted; ioctls by request.
enum class Call : std::uint8_t {
  open,
  close,
  read,
  write,
  flock,
  ppexcl,
  ppclaim,
  pprelease,
  ppsetmode,
  ppdatadir,
  pprstatus,
  pprcontrol,
  ppwcontrol,
  pprdata,
  ppwdata,
  ppgetmodes,
  ppsetflags,
  other_ioctl,
};
inline constexpr std::size_t kCallKinds = 18;
const char *call_name(Call call);

struct CallCounts {
  std::array<std::uint64_t, kCallKinds> n{};

  std::uint64_t &operator[](Call c) { return n[static_cast<std::size_t>(c)]; }
  std::uint64_t operator[](Call c) const { return n[static_cast<std::size_t>(c)]; }
  std::uint64_t total() const;
  CallCounts operator-(const CallCounts &before) const;
  // "write 13, PPSETMODE 2": the kinds made, in the order of Call.
  std::string to_string() const;
};

// What /dev/parport0 does on open and claim.
enum class Node {
  absent, // ENOENT: ppdev not loaded
  denied, // EACCES: the user is not in group lp
  busy,   // PPCLAIM fails with ENXIO: another driver has the port
  usable,
};

// What the kernel found on the port.
struct PortHardware {
  bool epp = true; // EPP registers, else the kernel emulates the cycles
  bool irq = true; // an interrupt line (the claim then sets control bit 4)
};

class FakePpdev {
public:
  explicit FakePpdev(sim::Simulator &boards);
  ~FakePpdev();
  FakePpdev(const FakePpdev &) = delete;
  FakePpdev &operator=(const FakePpdev &) = delete;

  // The library's operating-system calls reach this one until uninstall().
  void install();
  void uninstall();

  void set_node(Node node) { node_ = node; }
  void set_hardware(PortHardware hardware) { hardware_ = hardware; }
  // What devices/active names as the device that has the port claimed.
  void set_holder(std::string name) { holder_ = std::move(name); }
  // The next call of `kind` fails with `err`, as the kernel's can.
  void fail_next(Call kind, int err) { failing_ = {kind, err}; }
  // parport0's base address under /proc; nullopt lists no port at all.
  void list_port(std::optional<std::uint32_t> base) { listed_base_ = base; }

  const CallCounts &calls() const { return counts_; }
  // Every call so far, in order.
  const std::vector<Call> &history() const { return history_; }
  void clear_calls();
  // PPSETMODE, PPDATADIR and PPWCONTROL calls that set what the previous
  // one of the same kind since the claim had set already.
  std::uint64_t idle_ioctls() const { return idle_ioctls_; }
  bool claimed() const { return claimed_; }
  // Register accesses the kernel made at the port (an insl is one).
  std::uint64_t port_accesses() const { return port_accesses_; }
  // Falling edges of nInit, the boards' reset, that the kernel made.
  std::uint64_t resets() const { return resets_; }
  // Times the kernel negotiated back to compatibility mode at close.
  std::uint64_t terminations() const { return terminations_; }
  int open_files() const { return static_cast<int>(files_.size()); }
  // Called after every close of the device.
  void on_device_closed(std::function<void()> hook) { closed_hook_ = std::move(hook); }

  // The OsCalls entries, for the table install() puts in place.
  int open(const char *path, int flags);
  int close(int fd);
  ssize_t read(int fd, void *buf, size_t count);
  ssize_t write(int fd, const void *buf, size_t count);
  int ioctl(int fd, unsigned long request, void *arg);
  int flock(int fd);
  // Not counted (start-up only). Paths other than /dev/parport0 are the
  // machine's own: /dev/null is its character device 1:3.
  int stat(const char *path, struct stat *st);

private:
  enum class FileKind { text, device, lock };
  struct File {
    FileKind kind;
    std::string text; // for text
    std::size_t at = 0;
    bool nonblocking = false;
  };

  void count(Call call);
  File *file(int fd);
  std::optional<std::string> proc_text(const std::string &path) const;
  int device_ioctl(unsigned long request, void *arg);
  // One EPP cycle; false when it timed out (the timeout is then cleared).
  bool epp_read(std::uint8_t &value);
  bool epp_write(std::uint8_t value);
  bool cycle_timed_out();
  bool timeout_pending();
  // Takes the failure fail_next() set up for `kind`, errno set.
  bool fails_now(Call kind);
  void clear_epp_timeout();
  ssize_t fast_read(std::uint8_t *buf, std::size_t count);
  // parport_pc's frob of the control register: one write at the port.
  void frob_control(std::uint8_t mask, std::uint8_t value);
  // Back to compatibility mode, as the kernel does at a close in another.
  void terminate();
  // Counts a setting ioctl that repeats the last one of its kind.
  void note_setting(Call call, int value);

  sim::Simulator &boards_;
  Node node_ = Node::usable;
  std::optional<std::uint32_t> listed_base_ = 0x378;
  std::map<int, File> files_;
  int next_fd_ = 100;
  bool exclusive_ = false;
  bool registered_ = false; // ppdev registers the device at its first claim
  bool claimed_ = false;
  PortHardware hardware_;
  std::string holder_;
  std::optional<std::pair<Call, int>> failing_;
  int mode_ = 0x100;       // IEEE1284_MODE_COMPAT, as ppdev starts
  int saved_mode_ = 0x100; // the mode ppdev keeps for the device while released
  int flags_ = 0;          // PPSETFLAGS
  std::uint64_t port_accesses_ = 0;
  std::uint64_t resets_ = 0;
  std::uint64_t terminations_ = 0;
  std::map<Call, int> last_setting_;
  CallCounts counts_;
  std::vector<Call> history_;
  std::uint64_t idle_ioctls_ = 0;
  std::function<void()> closed_hook_;
};

} // namespace vorn::test

#endif
