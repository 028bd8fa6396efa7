// A fake kernel parallel-port driver: an OsCalls table that answers as the
// kernel would for one port, parport0, with a simulated board set behind
// it. It serves /proc/sys/dev/parport/parport0 (base-addr, modes,
// devices/active) and /dev/parport0, whose requests the shared model of
// ppdev and parport_pc answers (ppdev_model.h, with the kernel's own
// accesses at the port), and counts every call by kind (but stat) and
// every register access the kernel would make for it.
//
// A blocking read of a cycle no board answers would spin in the kernel
// until a signal: the fake aborts the test. ENXIO at the claim means
// another device is registered (Node::busy) or no port is listed.
//
// The raw port's lock file always appears held by another program, so that
// a raw choice made under the fake stops before it touches the PC's own
// registers.
#ifndef VORN_TEST_FAKE_PPDEV_H
#define VORN_TEST_FAKE_PPDEV_H

#include "port_os.h"
#include "ppdev_model.h"
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
using PortHardware = sim::PortHardware;

class FakePpdev final : private sim::PortRegisters {
public:
  explicit FakePpdev(sim::Simulator &boards);
  ~FakePpdev();
  FakePpdev(const FakePpdev &) = delete;
  FakePpdev &operator=(const FakePpdev &) = delete;

  // The library's operating-system calls reach this one until uninstall().
  void install();
  void uninstall();

  void set_node(Node node);
  void set_hardware(PortHardware hardware);
  // What devices/active names as the device that has the port claimed.
  void set_holder(std::string name) { holder_ = std::move(name); }
  // The next call of `kind` fails with `err`, as the kernel's can.
  void fail_next(Call kind, int err) { failing_ = {kind, err}; }
  // parport0's base address under /proc; nullopt lists no port at all.
  void list_port(std::optional<std::uint32_t> base);

  const CallCounts &calls() const { return counts_; }
  // Every call so far, in order.
  const std::vector<Call> &history() const { return history_; }
  void clear_calls();
  // PPSETMODE, PPDATADIR and PPWCONTROL calls that set what the previous
  // one of the same kind since the claim had set already.
  std::uint64_t idle_ioctls() const { return idle_ioctls_; }
  bool claimed() const { return kernel_.claimed(); }
  // Register accesses the kernel made at the port (an insl is one).
  std::uint64_t port_accesses() const { return kernel_.counts().port_accesses; }
  // Falling edges of nInit, the boards' reset, that the kernel made.
  std::uint64_t resets() const { return kernel_.counts().resets; }
  // Times the kernel negotiated back to compatibility mode at close.
  std::uint64_t terminations() const { return kernel_.counts().terminations; }
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
    int device = -1; // the model's file, for the device
  };

  std::uint8_t in(Reg reg) override { return boards_.read(reg); }
  void out(Reg reg, std::uint8_t value) override { boards_.write(reg, value); }
  bool take_timeout() override { return boards_.take_timeout(); }
  std::uint8_t status_lines() override { return boards_.status(); }

  void count(Call call);
  File *file(int fd);
  std::optional<std::string> proc_text(const std::string &path) const;
  // Takes the failure fail_next() set up for `kind`, errno set.
  bool fails_now(Call kind);
  // Counts a setting ioctl that repeats the last one of its kind.
  void note_setting(Call call, int value);

  sim::Simulator &boards_;
  Node node_ = Node::usable;
  std::optional<std::uint32_t> listed_base_ = 0x378;
  sim::PpdevModel kernel_;
  std::map<int, File> files_;
  int next_fd_ = 100;
  std::string holder_;
  std::optional<std::pair<Call, int>> failing_;
  std::map<Call, int> last_setting_;
  CallCounts counts_;
  std::vector<Call> history_;
  std::uint64_t idle_ioctls_ = 0;
  std::function<void()> closed_hook_;
};

} // namespace vorn::test

#endif
