// A recorded port trace as the port: reads answered, writes checked.
#include "bus.h"
#include "run_note.h"
#include "trace_io.h"
#include "trace_time.h"
#include "vorn_port.h"
#include "vornsim.hpp"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace vorn::sim {

namespace {

// A line of the recording that the run must meet.
struct Recorded {
  enum class Kind { access, event, end, unreadable };
  Kind kind = Kind::end;
  trace::Access access{};
  std::string text; // the event's note, or why the line cannot be read
  std::uint64_t line = 0;
};

bool is_event(std::string_view note, std::string_view kind) {
  return note.starts_with(kind) && (note.size() == kind.size() || note[kind.size()] == ' ');
}

// The arguments of an older "run: <program> <arguments...>" note, written
// as they were given with one blank between (trailing blanks dropped). The
// program may be quoted ("my tool", with \" and \\ inside).
std::string_view legacy_arguments_of(std::string_view run_note) {
  run_note.remove_prefix(std::min(run_note.size(), std::string_view(kRunNote).size() + 1));
  std::size_t i = 0;
  if (!run_note.empty() && run_note[0] == '"') {
    for (i = 1; i < run_note.size() && run_note[i] != '"'; ++i)
      i += run_note[i] == '\\' ? 1 : 0;
    ++i;
  }
  const std::size_t space = run_note.find(' ', i);
  return space == std::string_view::npos ? std::string_view() : run_note.substr(space + 1);
}

// Whether a run note names the arguments `expected` (encoded as a run note
// encodes them); a note older than that encoding is read as it was written.
bool same_arguments(std::string_view run_note, const std::string &expected) {
  const std::vector<std::string> words =
      trace::decode_words(expected).value_or(std::vector<std::string>{expected});
  std::string_view text =
      run_note.substr(std::min(run_note.size(), std::string_view(kRunNote).size() + 1));
  if (const auto recorded = trace::decode_words(text);
      recorded && !recorded->empty() &&
      std::equal(recorded->begin() + 1, recorded->end(), words.begin(), words.end()))
    return true;
  std::string legacy;
  for (const std::string &word : words)
    legacy += (&word == &words.front() ? "" : " ") + word;
  for (char &c : legacy)
    c = c == '\r' || c == '\n' ? ' ' : c;
  while (!legacy.empty() && legacy.back() == ' ')
    legacy.pop_back();
  return legacy_arguments_of(run_note) == legacy;
}

// An access as its trace line, without the line end.
std::string access_text(const trace::Access &a) {
  char text[trace::kAccessLineMax];
  const std::string_view line = trace::format_access(a, text);
  return std::string(line.substr(0, line.size() - 1));
}

// A read the run makes: "R <offset>", its value being what it asks for.
std::string read_text(Reg reg) { return "R " + std::to_string(static_cast<unsigned>(reg)); }

} // namespace

class ReplayImpl {
public:
  trace::Input in;
  std::string reason;
  std::string arguments;
  bool check_arguments = false;
  std::string departure; // the first difference; empty while there is none
  bool told = false;     // end_run() has given the departure
  // The recording has time marks: it was written by a tool that records
  // every line read at a prompt, so a read it has no key for departs.
  bool timed = false;

  // The next line the run must meet, read once.
  const Recorded &next() {
    if (!pending_)
      pending_ = read_next();
    return *pending_;
  }
  void take() { pending_.reset(); }

  void depart(const Recorded &at, const std::string &this_run) {
    if (!departure.empty())
      return;
    departure = in.name() + ":" + std::to_string(at.line) + ": " + recorded(at) + ", " + this_run;
  }

private:
  Recorded read_next() {
    Recorded r;
    for (std::string_view text; in.next(text);) {
      r.line = in.line_number();
      const trace::Line line = trace::parse_line(text);
      if (line.kind == trace::Line::Kind::access) {
        r.kind = Recorded::Kind::access;
        r.access = line.access;
        return r;
      }
      if (line.kind == trace::Line::Kind::invalid) {
        r.kind = Recorded::Kind::unreadable;
        r.text = in.broken_on() ? in.reason() : "not a trace line";
        return r;
      }
      std::uint64_t step;
      if (trace::parse_time_mark(line.note, step)) {
        timed = true;
        continue;
      }
      if (is_event(line.note, kStopEvent) || is_event(line.note, kKeyboardCutEvent) ||
          is_event(line.note, kKeyEvent)) {
        r.kind = Recorded::Kind::event;
        r.text = line.note;
        return r;
      }
      if (check_arguments && is_event(line.note, kRunNote) &&
          !same_arguments(line.note, arguments)) {
        r.kind = Recorded::Kind::event;
        r.text = line.note;
        depart(r, "this run: " + arguments);
      }
    }
    r.line = in.line_number() + 1;
    r.kind = in.failed() ? Recorded::Kind::unreadable : Recorded::Kind::end;
    r.text = in.reason();
    return r;
  }

  static std::string recorded(const Recorded &r) {
    switch (r.kind) {
    case Recorded::Kind::access:
      return "recorded " + access_text(r.access);
    case Recorded::Kind::event:
      return "recorded " + r.text;
    case Recorded::Kind::unreadable:
      return "cannot read the recording (" + r.text + ")";
    case Recorded::Kind::end:
      break;
    }
    return "the recording has ended";
  }

  std::optional<Recorded> pending_;
};

Replay::Replay() : impl_(std::make_unique<ReplayImpl>()) {}

Replay::~Replay() {
  uninstall();
  if (!impl_->departure.empty() && !impl_->told)
    std::fprintf(stderr, "vornsim: %s\n", impl_->departure.c_str());
}

bool Replay::load(const std::string &path) {
  if (impl_->in.open(path)) {
    vorn_trace_protect(impl_->in.fd(), "the replay recording");
    return true;
  }
  impl_->reason = impl_->in.reason();
  return false;
}

const std::string &Replay::reason() const { return impl_->reason; }

void Replay::expect_arguments(std::string arguments) {
  impl_->arguments = std::move(arguments);
  impl_->check_arguments = true;
}

void Replay::install() {
  installed_.reset();
  installed_.emplace(*this, *this);
}

void Replay::uninstall() { installed_.reset(); }

bool Replay::departed() const { return !impl_->departure.empty(); }

const char *Replay::name() const { return "replay"; }

// The recording holds no refusal: a run that recorded one has no accesses.
int Replay::open(std::uint32_t) { return 0; }

std::uint8_t Replay::read(Reg reg) {
  if (departed())
    return 0xFF;
  const Recorded &r = impl_->next();
  if (r.kind == Recorded::Kind::access && r.access.kind == 'R' &&
      r.access.offset == static_cast<std::uint16_t>(reg)) {
    const std::uint8_t value = r.access.value;
    impl_->take();
    return value;
  }
  impl_->depart(r, "this run read " + read_text(reg));
  return 0xFF;
}

void Replay::write(Reg reg, std::uint8_t value) {
  if (departed())
    return;
  const Recorded &r = impl_->next();
  const trace::Access wrote{'W', static_cast<std::uint16_t>(reg), value};
  if (r.kind == Recorded::Kind::access && r.access == wrote) {
    impl_->take();
    return;
  }
  impl_->depart(r, "this run wrote " + access_text(wrote));
}

std::string Replay::event_point(std::string_view kind, std::string) {
  if (departed())
    return std::string(kind) + " replay departed";
  const Recorded &r = impl_->next();
  if (r.kind != Recorded::Kind::event || !is_event(r.text, kind)) {
    if (kind != kKeyEvent || !impl_->timed)
      return {};
    impl_->depart(r, "this run read a line");
    return std::string(kind) + " replay departed";
  }
  std::string taken = r.text;
  impl_->take();
  return taken;
}

RunEnd Replay::end_run() {
  if (!departed()) {
    const Recorded &r = impl_->next();
    if (r.kind != Recorded::Kind::end)
      impl_->depart(r, "this run ended");
  }
  if (!departed())
    return {};
  impl_->told = true;
  return {RunEnd::Kind::replay_departed, impl_->departure};
}

} // namespace vorn::sim
