#include "ppdev_model.h"

#include <linux/ioctl.h>
#include <linux/parport.h>
#include <linux/ppdev.h>
#include <sys/time.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace vorn::sim {

namespace {

constexpr std::uint8_t kLines = kControlLines;
static_assert(kLines == (PARPORT_CONTROL_STROBE | PARPORT_CONTROL_AUTOFD | PARPORT_CONTROL_INIT |
                         PARPORT_CONTROL_SELECT));
constexpr std::uint8_t kReverse = 0x20;
constexpr std::uint8_t kIrqEnable = 0x10;
// What a newly registered device claims the port with.
constexpr std::uint8_t kClaimControl = PARPORT_CONTROL_SELECT | PARPORT_CONTROL_INIT;
constexpr std::uint8_t kStatusEppTimeout = 0x01;
// ppdev's PP_BUFFER_SIZE: the most one read() or write() moves at once.
constexpr std::size_t kBuffer = 1024;
// The handshake accesses of one emulated EPP cycle beside its data access:
// two strobe edges and two waits.
constexpr std::uint64_t kEmulatedHandshake = 4;
// The kernel's ieee1284_phase values ppdev gives a mode.
constexpr int kPhaseForwardIdle = 1;
constexpr int kPhaseReverseIdle = 5;

int phase_of(int mode) {
  const int m = mode & ~(IEEE1284_DEVICEID | IEEE1284_ADDR);
  return m == IEEE1284_MODE_NIBBLE || m == IEEE1284_MODE_BYTE ? kPhaseReverseIdle
                                                              : kPhaseForwardIdle;
}

bool epp_mode(int mode) {
  const int m = mode & ~IEEE1284_ADDR;
  return m == IEEE1284_MODE_EPP || m == IEEE1284_MODE_EPPSL || m == IEEE1284_MODE_EPPSWE;
}

template <typename T> T take(const void *arg) {
  T value;
  std::memcpy(&value, arg, sizeof value);
  return value;
}

template <typename T> void give(void *arg, T value) { std::memcpy(arg, &value, sizeof value); }

} // namespace

PpdevModel::PpdevModel(PortRegisters &port, PortHardware hardware)
    : port_(port), hardware_(hardware), port_mode_(IEEE1284_MODE_COMPAT),
      port_phase_(kPhaseForwardIdle) {}

unsigned PpdevModel::modes() const {
  return PARPORT_MODE_PCSPP | PARPORT_MODE_SAFEININT | PARPORT_MODE_TRISTATE |
         (hardware_.epp ? PARPORT_MODE_EPP : 0);
}

std::uint8_t PpdevModel::in(Reg reg) {
  ++counts_.port_accesses;
  return port_.in(reg);
}

void PpdevModel::out(Reg reg, std::uint8_t value) {
  ++counts_.port_accesses;
  port_.out(reg, value);
}

std::uint8_t PpdevModel::own_status() {
  return hardware_.own_accesses_seen ? in(Reg::status) : port_.status_lines();
}

// __parport_pc_frob_control: from the soft copy, only the writable bits
// (the interrupt enable only on a port with an interrupt), always a write.
void PpdevModel::frob(std::uint8_t mask, std::uint8_t value) {
  const std::uint8_t writable = hardware_.irq ? 0xFF : static_cast<std::uint8_t>(~kIrqEnable);
  const auto now = static_cast<std::uint8_t>(((ctr_ & ~mask) ^ value) & writable);
  if ((ctr_ & PARPORT_CONTROL_INIT) != 0 && (now & PARPORT_CONTROL_INIT) == 0)
    ++counts_.resets;
  ctr_ = now;
  ++counts_.control_writes;
  out(Reg::control, now);
}

// parport_pc_frob_control: a direction bit in the mask turns the data
// lines first, then the four lines alone.
void PpdevModel::frob_lines(std::uint8_t mask, std::uint8_t value) {
  if ((mask & kReverse) != 0)
    frob(kReverse, value & kReverse);
  frob(mask & kLines, value & kLines);
}

// parport_pc_write_control: a direction bit in it reverses (never
// forwards) the data lines first.
void PpdevModel::write_control(std::uint8_t value) {
  if ((value & kReverse) != 0)
    frob(kReverse, kReverse);
  frob(kLines, value & kLines);
}

PpdevModel::File *PpdevModel::file(int number) {
  const auto it = files_.find(number);
  return it == files_.end() ? nullptr : &it->second;
}

// pp_open: compatibility mode, no flags; the device registers later.
int PpdevModel::open(bool nonblocking) {
  File f;
  f.nonblocking = nonblocking;
  f.mode = IEEE1284_MODE_COMPAT;
  f.phase = phase_of(f.mode);
  files_.emplace(next_file_, f);
  return next_file_++;
}

int PpdevModel::claim(File &f) {
  if (f.claimed)
    return -EINVAL;
  if (!f.registered) {
    // Registration at the first claim: no port, an exclusive device where
    // another is registered or any beside an exclusive one is ENXIO.
    const bool others = other_device_ || devices_ > 0;
    if (!present_ || exclusive_held_ || (f.exclusive && others))
      return -ENXIO;
    f.registered = true;
    ++devices_;
    exclusive_held_ = f.exclusive;
    f.device_ctr = static_cast<std::uint8_t>(kClaimControl | (hardware_.irq ? kIrqEnable : 0));
  }
  if (holder_ != nullptr)
    return kClaimSleeps;
  holder_ = &f;
  f.claimed = true;
  // parport_pc_restore_state: the device's control value, written whole.
  frob(0xFF, f.device_ctr);
  f.saved_mode = port_mode_;
  port_mode_ = f.mode;
  port_phase_ = f.phase;
  return 0;
}

void PpdevModel::release(File &f) {
  f.mode = port_mode_;
  f.phase = port_phase_;
  port_mode_ = f.saved_mode;
  f.device_ctr = ctr_; // parport_pc_save_state
  f.claimed = false;
  holder_ = nullptr;
}

// pp_release: a port left in another mode than compatibility, claimed or
// not, is negotiated back first; then the device is unregistered.
void PpdevModel::close(int number) {
  File *f = file(number);
  if (f == nullptr)
    return;
  if (!f->claimed && f->registered && f->mode != IEEE1284_MODE_COMPAT && claim(*f) == 0)
    negotiate(IEEE1284_MODE_COMPAT);
  else if (f->claimed && port_mode_ != IEEE1284_MODE_COMPAT)
    negotiate(IEEE1284_MODE_COMPAT);
  if (f->claimed)
    release(*f);
  if (f->registered) {
    --devices_;
    exclusive_held_ = exclusive_held_ && !f->exclusive;
  }
  files_.erase(number);
}

bool PpdevModel::wait_peripheral(std::uint8_t mask, std::uint8_t result) {
  return (own_status() & mask) == result;
}

// parport_ieee1284_terminate.
void PpdevModel::terminate() {
  ++counts_.terminations;
  if (epp_mode(port_mode_)) {
    frob_lines(PARPORT_CONTROL_INIT, 0); // event 68: nInit low, 50 us
    frob_lines(PARPORT_CONTROL_SELECT | PARPORT_CONTROL_INIT,
               PARPORT_CONTROL_SELECT | PARPORT_CONTROL_INIT);
  } else {
    frob_lines(PARPORT_CONTROL_SELECT | PARPORT_CONTROL_AUTOFD, PARPORT_CONTROL_SELECT);
    wait_peripheral(PARPORT_STATUS_ACK, 0); // event 24, up to 35 ms
    frob_lines(PARPORT_CONTROL_AUTOFD, PARPORT_CONTROL_AUTOFD);
    wait_peripheral(PARPORT_STATUS_ACK, PARPORT_STATUS_ACK); // event 27
    frob_lines(PARPORT_CONTROL_AUTOFD, 0);
  }
  port_mode_ = IEEE1284_MODE_COMPAT;
}

// parport_negotiate: 0 in the mode, -1 when the peripheral does not take
// part in IEEE 1284 (the board set never does), 1 when it refuses the mode.
int PpdevModel::negotiate(int mode) {
  if (port_mode_ == mode)
    return 0;
  if ((port_mode_ & ~IEEE1284_ADDR) == (mode & ~IEEE1284_ADDR)) {
    port_mode_ = mode;
    return 0;
  }
  if (port_mode_ != IEEE1284_MODE_COMPAT)
    terminate();
  if (mode == IEEE1284_MODE_COMPAT)
    return 0;
  int m = mode & ~IEEE1284_ADDR;
  if (mode == IEEE1284_MODE_EPPSL || mode == IEEE1284_MODE_EPPSWE)
    m = IEEE1284_MODE_EPP;
  frob_lines(PARPORT_CONTROL_STROBE | PARPORT_CONTROL_AUTOFD | PARPORT_CONTROL_SELECT,
             PARPORT_CONTROL_SELECT);
  frob(kReverse, 0); // event 0: the extensibility byte on the data lines
  out(Reg::data, static_cast<std::uint8_t>(m));
  frob_lines(PARPORT_CONTROL_SELECT | PARPORT_CONTROL_AUTOFD, PARPORT_CONTROL_AUTOFD); // event 1
  constexpr std::uint8_t kEvent2 =
      PARPORT_STATUS_ERROR | PARPORT_STATUS_SELECT | PARPORT_STATUS_PAPEROUT;
  if (!wait_peripheral(kEvent2 | PARPORT_STATUS_ACK, kEvent2)) {
    frob_lines(PARPORT_CONTROL_SELECT | PARPORT_CONTROL_AUTOFD, PARPORT_CONTROL_SELECT);
    return -1;
  }
  frob_lines(PARPORT_CONTROL_STROBE, PARPORT_CONTROL_STROBE);                 // event 3
  frob_lines(PARPORT_CONTROL_STROBE | PARPORT_CONTROL_AUTOFD, 0);             // event 4
  const bool acked = wait_peripheral(PARPORT_STATUS_ACK, PARPORT_STATUS_ACK); // event 6
  if (!acked || (mode != 0 && (own_status() & PARPORT_STATUS_SELECT) == 0)) { // xflag
    terminate();
    return 1;
  }
  port_mode_ = mode;
  return 0;
}

int PpdevModel::ioctl(int number, unsigned long request, void *arg) {
  File *f = file(number);
  if (f == nullptr)
    return -EBADF;
  const int done = file_ioctl(*f, request, arg);
  if (done != 1)
    return done;
  // Everything else needs the port claimed.
  return f->claimed ? port_ioctl(*f, request, arg) : -EINVAL;
}

// The requests that need no claim: 1 for the others.
int PpdevModel::file_ioctl(File &f, unsigned long request, void *arg) {
  switch (request) {
  case PPCLAIM:
    return claim(f);
  case PPEXCL:
    // Remembered for the registration at the first claim; too late after.
    if (f.registered)
      return f.exclusive ? 0 : -EINVAL;
    f.exclusive = true;
    return 0;
  case PPSETMODE:
    // Recorded only, for the port once it is claimed; nothing is checked.
    f.mode = take<int>(arg);
    f.phase = phase_of(f.mode);
    if (f.claimed) {
      port_mode_ = f.mode;
      port_phase_ = f.phase;
    }
    return 0;
  case PPGETMODE:
    give<int>(arg, f.claimed ? port_mode_ : f.mode);
    return 0;
  case PPSETPHASE:
    f.phase = take<int>(arg);
    if (f.claimed)
      port_phase_ = f.phase;
    return 0;
  case PPGETPHASE:
    give<int>(arg, f.claimed ? port_phase_ : f.phase);
    return 0;
  case PPGETMODES:
    if (!present_)
      return -ENODEV;
    give<unsigned>(arg, modes());
    return 0;
  case PPSETFLAGS:
    f.flags = take<int>(arg) & PP_FLAGMASK;
    return 0;
  case PPGETFLAGS:
    give<int>(arg, f.flags);
    return 0;
  default:
    return 1;
  }
}

int PpdevModel::port_ioctl(File &f, unsigned long request, void *arg) {
  switch (request) {
  case PPRSTATUS:
    ++counts_.status_reads;
    give<std::uint8_t>(arg, in(Reg::status));
    return 0;
  case PPRDATA:
    ++counts_.data_accesses;
    give<std::uint8_t>(arg, in(Reg::data));
    return 0;
  case PPRCONTROL:
    give<std::uint8_t>(arg, ctr_ & kLines); // from the soft copy
    return 0;
  case PPYIELD:
    return 0; // nobody waits for the port
  case PPRELEASE:
    release(f);
    return 0;
  case PPWCONTROL:
    write_control(take<std::uint8_t>(arg));
    return 0;
  case PPWDATA:
    ++counts_.data_accesses;
    out(Reg::data, take<std::uint8_t>(arg));
    return 0;
  case PPFCONTROL: {
    const auto frob_arg = take<ppdev_frob_struct>(arg);
    frob_lines(frob_arg.mask, frob_arg.val);
    return 0;
  }
  case PPDATADIR:
    frob(kReverse, take<int>(arg) != 0 ? kReverse : 0);
    return 0;
  case PPNEGOT:
    switch (negotiate(take<int>(arg))) {
    case 0:
      return 0;
    case -1:
      return -EIO;
    default:
      return -ENXIO;
    }
  case PPWCTLONIRQ:
    return 0; // the lines for the next interrupt, which never comes
  case PPCLRIRQ:
    give<int>(arg, 0); // no interrupt is ever raised
    return 0;
  case PPSETTIME: {
    const auto tv = take<timeval>(arg);
    if (tv.tv_sec < 0 || tv.tv_usec < 0 || tv.tv_usec >= 1000000 ||
        (tv.tv_sec == 0 && tv.tv_usec == 0))
      return -EINVAL;
    f.timeout[0] = tv.tv_sec;
    f.timeout[1] = tv.tv_usec;
    return 0;
  }
  case PPGETTIME: {
    timeval tv{};
    tv.tv_sec = static_cast<time_t>(f.timeout[0]);
    tv.tv_usec = static_cast<suseconds_t>(f.timeout[1]);
    give(arg, tv);
    return 0;
  }
  default:
    return -EINVAL;
  }
}

Reg PpdevModel::cycle_register() {
  if ((port_mode_ & IEEE1284_ADDR) != 0) {
    ++counts_.address_cycles;
    return Reg::epp_addr;
  }
  ++counts_.data_cycles;
  return Reg::epp_data;
}

// parport_pc's clear_epp_timeout: the bit checked again, read twice more,
// written both ways (chips differ in which clears it), read to check.
void PpdevModel::clear_epp_timeout() {
  in(Reg::status);
  in(Reg::status);
  const std::uint8_t status = in(Reg::status);
  out(Reg::status, static_cast<std::uint8_t>(status | kStatusEppTimeout));
  out(Reg::status, static_cast<std::uint8_t>(status & ~kStatusEppTimeout));
  in(Reg::status);
}

bool PpdevModel::cycle_timed_out() {
  bool timed_out = false;
  if (!hardware_.own_accesses_seen) {
    timed_out = port_.take_timeout();
  } else if ((in(Reg::status)&kStatusEppTimeout) != 0) {
    clear_epp_timeout();
    timed_out = true;
  }
  counts_.short_cycles += timed_out ? 1 : 0;
  return timed_out;
}

// The software EPP of a port without the registers: each cycle by the
// handshake lines, given up when the peripheral does not answer.
long PpdevModel::emulated_cycles(std::uint8_t *in_bytes, const std::uint8_t *out_bytes,
                                 std::size_t count) {
  std::size_t done = 0;
  for (; done < count; ++done) {
    const Reg reg = cycle_register();
    if (hardware_.own_accesses_seen)
      counts_.port_accesses += kEmulatedHandshake;
    if (in_bytes != nullptr)
      in_bytes[done] = in(reg);
    else
      out(reg, out_bytes[done]);
    if (port_.take_timeout()) {
      ++counts_.short_cycles;
      break;
    }
  }
  return static_cast<long>(done);
}

// parport_pc_epp_read_data and _addr: a fast read runs every cycle in one
// string instruction (insl where the length allows it for data, the
// kernel's buffer being aligned) and checks the timeout once, failing
// whole; else a cycle at a time, ending at the first that timed out.
long PpdevModel::epp_read(std::uint8_t *bytes, std::size_t count, bool fast) {
  if (!hardware_.epp || port_mode_ == IEEE1284_MODE_EPPSWE)
    return emulated_cycles(bytes, nullptr, count);
  if (fast && count > 1) {
    const bool address = (port_mode_ & IEEE1284_ADDR) != 0;
    for (std::size_t i = 0; i < count; ++i)
      bytes[i] = port_.in(cycle_register());
    counts_.port_accesses += !address && count % 4 == 0 ? count / 4 : count;
    return cycle_timed_out() ? -EIO : static_cast<long>(count);
  }
  std::size_t got = 0;
  for (; got < count; ++got) {
    bytes[got] = in(cycle_register());
    if (cycle_timed_out())
      break;
  }
  return static_cast<long>(got);
}

long PpdevModel::epp_write(const std::uint8_t *bytes, std::size_t count, bool fast) {
  if (!hardware_.epp || port_mode_ == IEEE1284_MODE_EPPSWE)
    return emulated_cycles(nullptr, bytes, count);
  if (fast && count > 1) {
    const bool address = (port_mode_ & IEEE1284_ADDR) != 0;
    for (std::size_t i = 0; i < count; ++i)
      port_.out(cycle_register(), bytes[i]);
    counts_.port_accesses += !address && count % 4 == 0 ? count / 4 : count;
    return cycle_timed_out() ? -EIO : static_cast<long>(count);
  }
  std::size_t written = 0;
  for (; written < count; ++written) {
    out(cycle_register(), bytes[written]);
    if (cycle_timed_out())
      break;
  }
  return static_cast<long>(written);
}

// pp_read: one piece of at most the kernel's buffer, of which only the
// bytes counted are copied out.
long PpdevModel::read(int number, std::uint8_t *bytes, std::size_t count) {
  File *f = file(number);
  if (f == nullptr)
    return -EBADF;
  if (!f->claimed)
    return -EINVAL;
  if (count == 0)
    return 0;
  std::uint8_t buffer[kBuffer];
  const std::size_t need = std::min(count, kBuffer);
  long got = 0;
  const int mode = port_mode_ & ~(IEEE1284_DEVICEID | IEEE1284_ADDR);
  if (mode == IEEE1284_MODE_EPP || mode == IEEE1284_MODE_EPPSWE) {
    got = epp_read(buffer, need, (f->flags & PP_FASTREAD) != 0 && mode == IEEE1284_MODE_EPP);
  } else {
    // Compatibility mode tries byte, then nibble mode; the transfers of a
    // peripheral that takes either are not modelled.
    if (mode == IEEE1284_MODE_COMPAT && negotiate(IEEE1284_MODE_BYTE) != 0)
      negotiate(IEEE1284_MODE_NIBBLE);
    return -EIO;
  }
  if (got > 0)
    std::memcpy(bytes, buffer, static_cast<std::size_t>(got));
  if (got != 0)
    return got;
  return f->nonblocking ? -EAGAIN : kReadSpins;
}

// pp_write: piece after piece of the kernel's buffer until all is written,
// or one moves nothing (a short piece is followed by another, from the
// cycle that timed out); non-blocking, one piece. A write outside the EPP
// modes would be the printer protocol.
long PpdevModel::write(int number, const std::uint8_t *bytes, std::size_t count) {
  File *f = file(number);
  if (f == nullptr)
    return -EBADF;
  if (!f->claimed)
    return -EINVAL;
  const int mode = port_mode_ & ~(IEEE1284_DEVICEID | IEEE1284_ADDR);
  if (mode != IEEE1284_MODE_EPP && mode != IEEE1284_MODE_EPPSWE)
    return -EIO;
  const bool fast = (f->flags & PP_FASTWRITE) != 0 && mode == IEEE1284_MODE_EPP;
  long written = 0;
  while (static_cast<std::size_t>(written) < count) {
    const std::size_t piece = std::min(count - static_cast<std::size_t>(written), kBuffer);
    const long wrote = epp_write(bytes + written, piece, fast);
    if (wrote <= 0) {
      if (written == 0)
        written = wrote;
      break;
    }
    written += wrote;
    if (f->nonblocking)
      break;
  }
  return written;
}

} // namespace vorn::sim
