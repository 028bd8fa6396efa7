#include "trace_diff.h"

#include "board_map.h"
#include "trace_decoder.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <string>

namespace vorn::sim {

namespace {

enum class Next { access, end, error };

// One trace, read access by access and decoded on the way, so that each
// data cycle has its bus address and each access its meaning.
class Side {
public:
  explicit Side(trace::Input &in) : in_(in) {}

  Next next(std::ostream &err) {
    std::string_view text;
    bool invalid = false;
    while (in_.next(text)) {
      const trace::Line line = trace::parse_line(text);
      std::uint64_t step;
      if (line.kind == trace::Line::Kind::note) {
        if (!trace::parse_time_mark(line.note, step)) // a replay keeps no time
          note(line.note);
        continue;
      }
      if (line.kind == trace::Line::Kind::invalid) {
        invalid = true;
        if (!in_.broken_on())
          err << in_.name() << ':' << in_.line_number() << ": not a trace line\n";
        break;
      }
      text_ = text;
      access_ = line.access;
      address_ = decoder_.selected();
      meaning_.clear();
      decoder_.decode(access_, meaning_);
      ++accesses_;
      return Next::access;
    }
    if (in_.failed())
      err << in_.name() << ": cannot read: " << in_.reason() << '\n';
    return in_.failed() || invalid ? Next::error : Next::end;
  }

  // "a.trace:812: R 4 ff  read 0x3f -> 0xff" for the current access.
  std::string where(Next state) const {
    std::string s = in_.name() + ':';
    if (state == Next::end)
      return s + std::to_string(in_.line_number() + 1) + ": end of trace";
    s.append(std::to_string(in_.line_number())).append(": ").append(text_);
    std::string_view meaning = meaning_;
    if (!meaning.empty())
      s += "  ";
    for (std::size_t lf; (lf = meaning.find('\n')) != std::string_view::npos;) {
      s.append(meaning.substr(0, lf));
      meaning.remove_prefix(lf + 1);
      if (!meaning.empty())
        s += "; ";
    }
    return s;
  }

  const std::string &name() const { return in_.name(); }
  const trace::Access &access() const { return access_; }
  std::uint8_t address() const { return address_; }
  std::uint64_t accesses() const { return accesses_; }
  std::uint64_t notes() const { return notes_; }
  std::uint64_t notes_hash() const { return notes_hash_; }

private:
  // The notes are told apart by count and a hash of them all (64-bit
  // FNV-1a, each note with its line end), not kept: a trace may hold any
  // number of them.
  void note(std::string_view text) {
    ++notes_;
    for (const char c : text)
      notes_hash_ = (notes_hash_ ^ static_cast<unsigned char>(c)) * 0x100000001b3u;
    notes_hash_ = (notes_hash_ ^ '\n') * 0x100000001b3u;
  }

  trace::Input &in_;
  TraceDecoder decoder_{true};
  std::string text_;
  std::string meaning_;
  trace::Access access_{};
  std::uint8_t address_ = 0; // where access_ reaches if it is a data cycle
  std::uint64_t accesses_ = 0;
  std::uint64_t notes_ = 0;
  std::uint64_t notes_hash_ = 0xcbf29ce484222325u;
};

// Differing accesses at the same place in both traces: data cycles of the
// same kind at the same bus address by that address, everything else
// (status, control, address cycles, or the traces doing different things)
// as other port accesses.
struct Tally {
  std::array<std::uint64_t, 256> reads{};
  std::array<std::uint64_t, 256> writes{};
  std::uint64_t other = 0;
  std::uint64_t total = 0;

  void add(const Side &a, const Side &b) {
    ++total;
    const trace::Access &x = a.access();
    const trace::Access &y = b.access();
    if (x.offset != map::kPortEppData || y.offset != map::kPortEppData || x.kind != y.kind ||
        a.address() != b.address())
      ++other;
    else
      ++(x.kind == 'R' ? reads : writes)[a.address()];
  }

  void print(std::ostream &out) const {
    for (unsigned address = 0; address < 256; ++address) {
      if (reads[address] == 0 && writes[address] == 0)
        continue;
      char head[40];
      std::snprintf(head, sizeof head, "  data cycles at 0x%02x: ", address);
      out << head;
      if (reads[address] != 0)
        out << reads[address] << (reads[address] == 1 ? " read" : " reads");
      if (reads[address] != 0 && writes[address] != 0)
        out << ", ";
      if (writes[address] != 0)
        out << writes[address] << (writes[address] == 1 ? " write" : " writes");
      out << '\n';
    }
    if (other != 0)
      out << "  other port accesses: " << other << '\n';
  }
};

} // namespace

int diff_traces(trace::Input &a_in, trace::Input &b_in, std::ostream &out, std::ostream &err) {
  Side a(a_in);
  Side b(b_in);
  Tally tally;
  std::string first;
  Next na = Next::end;
  Next nb = Next::end;
  for (;;) {
    if ((na = a.next(err)) == Next::error || (nb = b.next(err)) == Next::error)
      return 2;
    if (na == Next::end || nb == Next::end)
      break;
    if (a.access() == b.access())
      continue;
    if (first.empty())
      first = "  " + a.where(na) + "\n  " + b.where(nb) + '\n';
    tally.add(a, b);
  }
  if (na != nb) {
    if (first.empty())
      first = "  " + a.where(na) + "\n  " + b.where(nb) + '\n';
    Side &longer = na == Next::end ? b : a;
    Next n;
    while ((n = longer.next(err)) == Next::access) {
    }
    if (n == Next::error)
      return 2;
  }
  if (first.empty())
    return 0;

  const std::uint64_t common = std::min(a.accesses(), b.accesses());
  out << "first difference:\n" << first;
  out << "accesses: " << a.name() << ' ' << a.accesses() << ", " << b.name() << ' ' << b.accesses()
      << '\n';
  out << "differing accesses: " << tally.total << " of the first " << common << '\n';
  tally.print(out);
  if (a.accesses() != b.accesses()) {
    const Side &longer = a.accesses() > b.accesses() ? a : b;
    const std::uint64_t more = longer.accesses() - common;
    out << longer.name() << " goes on for " << more << (more == 1 ? " access" : " accesses")
        << " more\n";
  }
  if (a.notes() != b.notes() || a.notes_hash() != b.notes_hash())
    out << "notes differ: " << a.name() << " has " << a.notes() << ", " << b.name() << ' '
        << b.notes() << '\n';
  return 1;
}

} // namespace vorn::sim
