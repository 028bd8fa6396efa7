// A fake kernel parallel-port driver: an OsCalls table that answers as the
// kernel's ppdev and parport_pc would for one port, parport0, with a
// simulated board set behind it. It serves /proc/sys/dev/parport/parport0
// (base-addr, modes) and /dev/parport0, and counts every call by kind but
// stat.
//
// As the kernel does, it clears an EPP timeout itself after each cycle and
// cuts the transfer short there: read() gives the bytes before the cycle
// that timed out (-1 with EAGAIN when none, as with O_NONBLOCK), write()
// the number written before it. Every effect on the boards goes through the
// simulator's register interface.
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
  other_ioctl,
};
inline constexpr std::size_t kCallKinds = 16;
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
  };

  void count(Call call);
  File *file(int fd);
  std::optional<std::string> proc_text(const std::string &path) const;
  int device_ioctl(unsigned long request, void *arg);
  // One EPP cycle; false when it timed out (the timeout is then cleared).
  bool epp_read(std::uint8_t &value);
  bool epp_write(std::uint8_t value);
  bool cycle_timed_out();
  // Counts a setting ioctl that repeats the last one of its kind.
  void note_setting(Call call, int value);

  sim::Simulator &boards_;
  Node node_ = Node::usable;
  std::optional<std::uint32_t> listed_base_ = 0x378;
  std::map<int, File> files_;
  int next_fd_ = 100;
  bool exclusive_ = false;
  bool claimed_ = false;
  int mode_ = 0; // IEEE1284_MODE_COMPAT, as ppdev starts
  std::map<Call, int> last_setting_;
  CallCounts counts_;
  std::vector<Call> history_;
  std::uint64_t idle_ioctls_ = 0;
  std::function<void()> closed_hook_;
};

} // namespace vorn::test

#endif
