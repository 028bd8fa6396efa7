// The C calls a front end such as vorndiag needs beyond the drivers: how
// the port was reached, its run events and end, the writes that give way
// to a stop, and the two register accesses of the bus tests. Over the port
// seam's state, in one place, so that a new seam is re-pointed here alone.
#include "backends.h"
#include "board_map.h"
#include "bus.h"
#include "kernel_ports.h"
#include "run_note.h"
#include "tracing_port.h"
#include "vorn.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

namespace {

// Cut to fit, as snprintf would.
template <std::size_t N> void copy_field(const std::string &text, char (&field)[N]) {
  std::snprintf(field, N, "%s", text.c_str());
}

// "key line <word>": a line read without its line end; "key part <word>":
// bytes without one (the input's last, or a line too long for one read).
constexpr std::string_view kKeyLine = " line ";
constexpr std::string_view kKeyPart = " part ";

const char *event_kind(int kind) {
  switch (kind) {
  case VORN_EVENT_STOP:
    return vorn::kStopEvent;
  case VORN_EVENT_KEYBOARD_CUT:
    return vorn::kKeyboardCutEvent;
  case VORN_EVENT_KEY_PRESS:
    return vorn::kKeyPressEvent;
  default:
    return nullptr;
  }
}

// By name: a test port that wraps the device backend is the device.
int way_of(const char *name) {
  if (std::strcmp(name, vorn::raw_backend().name()) == 0)
    return VORN_WAY_RAW;
  if (std::strcmp(name, vorn::find_backend("device")->name()) == 0)
    return VORN_WAY_DEVICE;
  return VORN_WAY_OTHER;
}

} // namespace

extern "C" {

void vornControlWrite(uint8_t value) { vorn::port_out(vorn::Reg::control, value); }

uint8_t vornEppDataRead(void) { return vorn::port_in(vorn::Reg::epp_data); }

// A port put in place is asked for no kernel port: it is not the PC's.
int vornPortWay(vorn_port_way *way) {
  const vorn::Bus &bus = vorn::current_bus();
  if (!bus.ready())
    return -1;
  const char *name = vorn::backend_in_use(vorn::current_bus()).name();
  *way = vorn_port_way{};
  way->way = way_of(name);
  copy_field(name, way->name);
  way->base = bus.base();
  way->epp = -1;
  if (way->way == VORN_WAY_OTHER)
    return 0;
  const auto kernel = vorn::kernel_port_at(way->base);
  if (!kernel)
    return 0;
  way->listed = 1;
  copy_field(kernel->device, way->device);
  copy_field(kernel->modes, way->modes);
  if (!kernel->modes.empty())
    way->epp = kernel->modes.find("EPP") != std::string::npos ? 1 : 0;
  return 0;
}

int vornTraceRefused(void) { return vorn::current_bus().trace_refused ? 1 : 0; }

int vornStopMissed(void) { return vorn::current_bus().stop_missed ? 1 : 0; }

int vornRunEvent(int kind, const char *cause, const char **taken) {
  const char *word = event_kind(kind);
  std::string &event_taken = vorn::current_bus().event_taken;
  event_taken.clear();
  if (taken != nullptr)
    *taken = event_taken.c_str();
  if (word == nullptr) {
    errno = EINVAL;
    return -1;
  }
  const bool key = kind == VORN_EVENT_KEY_PRESS;
  std::string seen;
  if (cause != nullptr && *cause != '\0')
    seen = std::string(word) + " " + (key ? vorn::trace::quote_word(cause) : cause);
  event_taken = vorn::port_event(word, std::move(seen));
  // A key is handed back as typed; a note that holds none (a departed
  // replay's, a damaged one) is no key.
  if (key && !event_taken.empty()) {
    std::string bytes;
    const std::string_view rest = std::string_view(event_taken).substr(std::strlen(word));
    if (!rest.starts_with(' ') || !vorn::trace::unquote_word(rest.substr(1), bytes) ||
        bytes.empty() || bytes.find('\0') != std::string::npos)
      bytes.clear();
    event_taken = std::move(bytes);
  }
  if (taken != nullptr)
    *taken = event_taken.c_str();
  return event_taken.empty() ? 0 : 1;
}

void vornRunNote(const char *text) { vorn::port_note(text != nullptr ? text : ""); }

enum vorn_run_end vornRunEnd(const char **message) {
  vorn::RunEnd end = vorn::end_port_run();
  std::string &end_message = vorn::current_bus().end_message;
  end_message = std::move(end.message);
  if (message != nullptr)
    *message = end_message.c_str();
  return static_cast<vorn_run_end>(end.kind);
}

void vornGiveWayWhile(const volatile sig_atomic_t *flag) { vorn::give_way_to_stop(flag); }

size_t vornWriteGivingWay(int fd, const void *data, size_t size, int *error) {
  int err = 0;
  const std::size_t n = vorn::write_giving_way(fd, static_cast<const char *>(data), size, err);
  if (error != nullptr)
    *error = err;
  return n;
}

// Anything but a line or part taken here ("key end", "key error", a departed
// replay's "key replay departed", a damaged note) ends the answers.
int vornRunKey(char *line, size_t size) {
  const std::string taken = vorn::port_event(vorn::kKeyEvent, "");
  if (taken.empty())
    return -1;
  std::string_view rest(taken);
  rest.remove_prefix(std::string_view(vorn::kKeyEvent).size());
  const bool whole = rest.starts_with(kKeyLine);
  std::string bytes;
  if ((!whole && !rest.starts_with(kKeyPart)) ||
      !vorn::trace::unquote_word(rest.substr(kKeyLine.size()), bytes) ||
      bytes.size() + (whole ? 2 : 1) > size)
    return 0;
  if (whole)
    bytes += '\n';
  std::memcpy(line, bytes.c_str(), bytes.size() + 1);
  return 1;
}

void vornRunKeyNote(const char *line, int result) {
  std::string note = vorn::kKeyEvent;
  if (result != 1) {
    vorn::port_note(note + (result < 0 ? " error" : " end"));
    return;
  }
  std::string_view bytes(line);
  const bool whole = bytes.ends_with('\n');
  if (whole)
    bytes.remove_suffix(1);
  vorn::port_note(note.append(whole ? kKeyLine : kKeyPart) + vorn::trace::quote_word(bytes));
}

} // extern "C"
