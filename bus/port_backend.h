// Register access: what every way to the port does, and nothing else, by
// register (the PortView of bus.h):
//
//   raw     the registers themselves, through ioperm/inb/outb (root, and no
//           kernel lockdown)
//   device  the kernel's parallel-port driver, /dev/parportN (group lp)
//   sim     the simulated board set (vorn::sim::Simulator)
#ifndef VORN_PORT_BACKEND_H
#define VORN_PORT_BACKEND_H

#include "board_map.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vorn {

class PortBackend {
public:
  virtual ~PortBackend();
  virtual const char *name() const = 0;
  // Takes the port whose registers start at `base`: 0, or the errno value
  // that explains the refusal.
  virtual int open(std::uint32_t base) = 0;
  virtual std::uint8_t read(Reg reg) = 0;
  virtual void write(Reg reg, std::uint8_t value) = 0;
  // `count` reads of the EPP data register in a row. The default reads them
  // one by one; a backend may move them in one transfer.
  virtual void read_epp_data(std::uint8_t *bytes, std::size_t count);
  // Gives the port back. Harmless when nothing is held, and may be repeated.
  virtual void release();
};

// Run control, for recording and replay: the points where a run may end or
// change course for a reason from outside the bus, the notes a trace keeps
// beside the accesses, and the end of the run. A tracer and a replay have
// both, a plain port only the register access (and the do-nothing
// RunControl).

// What the run control alone can tell about a run once it is over.
struct RunEnd {
  enum class Kind { ok, trace_failed, replay_departed };
  Kind kind = Kind::ok;
  std::string message; // one line for people, without its line end
};

// The notes of events from outside the bus that a replay must take at the
// same point as the recorded run: "stop SIGINT" where a looping test saw a
// stop signal, "keyboard cut SIGTERM" where a keyboard wait was cut short.
inline constexpr char kStopEvent[] = "stop";
inline constexpr char kKeyboardCutEvent[] = "keyboard cut";
// A line read at a prompt ("key line 100"), taken from a replay that has it.
inline constexpr char kKeyEvent[] = "key";
// A key taken on its own, as monitor takes them ("key press q").
inline constexpr char kKeyPressEvent[] = "key press";
// The first line of a trace file: "run: <program> <arguments...>".
inline constexpr char kRunNote[] = "run:";

// The defaults run as if nothing recorded or replayed the run.
class RunControl {
public:
  virtual ~RunControl();
  // `seen` is the event note for what this process saw (e.g. "stop
  // SIGINT"), empty for nothing; `kind` is its first words. Returns the
  // event the run takes here, empty for none: by default what was seen; a
  // tracer notes it; a replay gives what its recording took.
  virtual std::string event_point(std::string_view kind, std::string seen);
  // A note for the trace ("# text"); wrappers pass it on.
  virtual void note(std::string_view text);
  // After the shut-down: closes what the run wrote and tells what went
  // wrong. Wrappers ask the one they wrap first; its problem wins.
  virtual RunEnd end_run();
};

// The run control of a port that neither records nor replays.
RunControl &no_run_control();

} // namespace vorn

#endif
