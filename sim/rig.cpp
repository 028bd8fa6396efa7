// Rig files: TOML read with toml++, checked key by key so that every mistake
// names its line.
#include "vorn_port.h"
#include "vornsim.hpp"

#include <toml++/toml.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <sstream>

namespace vorn::sim {

namespace {

std::string where(const std::string &file, unsigned line) {
  return line == 0 ? file : file + ":" + std::to_string(line);
}

struct ErrnoName {
  const char *name;
  int value;
};

constexpr ErrnoName kRefusals[] = {
    {"EPERM", EPERM},   {"EACCES", EACCES}, {"EINVAL", EINVAL},
    {"ENOSYS", ENOSYS}, {"EIO", EIO},       {"EBUSY", EBUSY},
};

constexpr std::int64_t kMaxCount = 0xFFFFFF;
constexpr std::int64_t kMinCount = -0x800000;

class RigReader {
public:
  explicit RigReader(std::string_view name) : name_(name) {}

  Rig read(const toml::table &top) {
    Rig rig;
    only_keys(top, {"clock", "access_time_us", "interrupt_after", "refuse_access", "boards",
                    "encoders", "wiring", "digital_inputs", "faults"});
    if (const toml::node *n = top.get("clock"))
      rig.clock = clock(*n);
    if (const toml::node *n = top.get("access_time_us"))
      rig.access_time_us = static_cast<std::uint32_t>(integer(*n, "access_time_us", 0, 1000000));
    if (const toml::node *n = top.get("interrupt_after"))
      rig.interrupt_after =
          static_cast<std::uint64_t>(integer(*n, "interrupt_after", 1, INT64_MAX));
    if (const toml::node *n = top.get("refuse_access"))
      rig.refuse_access = refusal(*n);
    if (const toml::node *n = top.get("boards"))
      rig.boards = boards(table(*n, "boards"));
    if (const toml::node *n = top.get("encoders"))
      encoders(table(*n, "encoders"), rig);
    if (const toml::node *n = top.get("wiring"))
      wiring(table(*n, "wiring"), rig);
    if (const toml::node *n = top.get("digital_inputs"))
      digital_inputs(table(*n, "digital_inputs"), rig);
    if (const toml::node *n = top.get("faults"))
      faults(table(*n, "faults"), rig);
    return rig;
  }

  [[noreturn]] void fail(const toml::source_region &at, const std::string &message) const {
    throw RigError(std::string(name_), at.begin.line, message);
  }

private:
  // The first unknown key, by line, is the one reported.
  void only_keys(const toml::table &t, std::initializer_list<std::string_view> known) const {
    const toml::key *bad = nullptr;
    for (auto &&[k, v] : t) {
      bool ok = false;
      for (std::string_view name : known)
        ok = ok || k.str() == name;
      if (!ok && (bad == nullptr || k.source().begin.line < bad->source().begin.line))
        bad = &k;
    }
    if (bad != nullptr)
      fail(bad->source(), "unknown key '" + std::string(bad->str()) + "'");
  }

  const toml::table &table(const toml::node &n, std::string_view what) const {
    if (!n.is_table())
      fail(n.source(), quoted(what) + " must be a table");
    return *n.as_table();
  }

  std::int64_t integer(const toml::node &n, std::string_view what, std::int64_t lo,
                       std::int64_t hi) const {
    const auto v = n.value<std::int64_t>();
    if (!n.is_integer() || !v || *v < lo || *v > hi)
      fail(n.source(), quoted(what) + " must be an integer from " + std::to_string(lo) + " to " +
                           std::to_string(hi));
    return *v;
  }

  std::uint8_t byte(const toml::node &n, std::string_view what) const {
    return static_cast<std::uint8_t>(integer(n, what, 0, 255));
  }

  // An array of exactly four elements.
  const toml::array &four(const toml::node &n, std::string_view what) const {
    if (!n.is_array() || n.as_array()->size() != kAxes)
      fail(n.source(), quoted(what) + " must be an array of 4 values, one per axis");
    return *n.as_array();
  }

  // Built by appending: GCC 12 warns falsely on "'" + std::string temporaries.
  static std::string quoted(std::string_view what) {
    std::string q = "'";
    q.append(what);
    q += '\'';
    return q;
  }

  static std::string element(std::string_view what, std::size_t i) {
    return std::string(what) + "[" + std::to_string(i) + "]";
  }

  Clock clock(const toml::node &n) const {
    const auto s = n.value<std::string_view>();
    if (s && *s == "wall")
      return Clock::wall;
    if (s && *s == "virtual")
      return Clock::virtual_time;
    fail(n.source(), "'clock' must be \"wall\" or \"virtual\"");
  }

  int refusal(const toml::node &n) const {
    const auto s = n.value<std::string_view>();
    std::string names;
    for (const ErrnoName &e : kRefusals) {
      if (s && *s == e.name)
        return e.value;
      names += names.empty() ? "" : ", ";
      names += e.name;
    }
    fail(n.source(), "'refuse_access' must be one of " + names);
  }

  std::array<std::optional<std::uint8_t>, kBlocks> boards(const toml::table &t) const {
    std::array<std::optional<std::uint8_t>, kBlocks> ids{};
    for (auto &&[k, v] : t) {
      int block = -1;
      std::istringstream in{std::string(k.str())};
      if (!(in >> block) || !in.eof() || block < 0 || block >= kBlocks)
        fail(k.source(), "unknown block '" + std::string(k.str()) + "': blocks are 0 to 15");
      ids[block] = byte(v, "boards." + std::string(k.str()));
    }
    return ids;
  }

  void encoders(const toml::table &t, Rig &rig) const {
    only_keys(t, {"counters", "index_period", "velocity"});
    if (const toml::node *n = t.get("counters")) {
      const toml::array &a = four(*n, "counters");
      for (std::size_t i = 0; i < a.size(); ++i)
        rig.counters[i] = static_cast<std::uint32_t>(
                              integer(a[i], element("counters", i), kMinCount, kMaxCount)) &
                          0xFFFFFF;
    }
    if (const toml::node *n = t.get("index_period"))
      rig.index_period = static_cast<std::uint32_t>(integer(*n, "index_period", 1, -kMinCount));
    if (const toml::node *n = t.get("velocity")) {
      const toml::array &a = four(*n, "velocity");
      for (std::size_t i = 0; i < a.size(); ++i)
        rig.velocity[i] =
            static_cast<std::int32_t>(integer(a[i], element("velocity", i), -10000000, 10000000));
    }
  }

  void wiring(const toml::table &t, Rig &rig) const {
    only_keys(t, {"enabled", "sign", "counts_per_pulse"});
    if (const toml::node *n = t.get("enabled")) {
      const toml::array &a = four(*n, "enabled");
      for (std::size_t i = 0; i < a.size(); ++i) {
        if (!a[i].is_boolean())
          fail(a[i].source(), quoted(element("enabled", i)) + " must be true or false");
        rig.wiring[i].enabled = *a[i].value<bool>();
      }
    }
    if (const toml::node *n = t.get("sign")) {
      const toml::array &a = four(*n, "sign");
      for (std::size_t i = 0; i < a.size(); ++i) {
        const auto v = a[i].value<std::int64_t>();
        if (!a[i].is_integer() || (*v != 1 && *v != -1))
          fail(a[i].source(), quoted(element("sign", i)) + " must be 1 or -1");
        rig.wiring[i].sign = static_cast<int>(*v);
      }
    }
    if (const toml::node *n = t.get("counts_per_pulse")) {
      const toml::array &a = four(*n, "counts_per_pulse");
      for (std::size_t i = 0; i < a.size(); ++i)
        rig.wiring[i].counts_per_pulse =
            static_cast<std::uint32_t>(integer(a[i], element("counts_per_pulse", i), 1, 65535));
    }
  }

  void digital_inputs(const toml::table &t, Rig &rig) const {
    only_keys(t, {"in0", "in1", "toggle_in0", "toggle_in1", "toggle_ms"});
    if (const toml::node *n = t.get("in0"))
      rig.digital_inputs[0] = byte(*n, "in0");
    if (const toml::node *n = t.get("in1"))
      rig.digital_inputs[1] = byte(*n, "in1");
    if (const toml::node *n = t.get("toggle_in0"))
      rig.toggle_bits[0] = byte(*n, "toggle_in0");
    if (const toml::node *n = t.get("toggle_in1"))
      rig.toggle_bits[1] = byte(*n, "toggle_in1");
    if (const toml::node *n = t.get("toggle_ms"))
      rig.toggle_ms = static_cast<std::uint32_t>(integer(*n, "toggle_ms", 1, 3600000));
  }

  void faults(const toml::table &t, Rig &rig) const {
    only_keys(t, {"seed", "flip_probability", "board_stops"});
    if (const toml::node *n = t.get("seed"))
      rig.seed = static_cast<std::uint64_t>(integer(*n, "seed", 0, INT64_MAX));
    if (const toml::node *n = t.get("flip_probability")) {
      const auto p = n->value<double>(); // integers 0 and 1 convert too
      if (!p || !(*p >= 0.0 && *p <= 1.0))
        fail(n->source(), "'flip_probability' must be a number from 0 to 1");
      rig.flip_probability = *p;
    }
    if (const toml::node *n = t.get("board_stops")) {
      if (!n->is_array_of_tables())
        fail(n->source(), "'board_stops' must be an array of tables ([[faults.board_stops]])");
      for (const toml::node &e : *n->as_array()) {
        const toml::table &stop = *e.as_table();
        only_keys(stop, {"block", "after", "until"});
        const toml::node *block = stop.get("block");
        const toml::node *after = stop.get("after");
        if (block == nullptr || after == nullptr)
          fail(stop.source(), "a board stop needs 'block' and 'after'");
        BoardStop &added = rig.board_stops.emplace_back(
            BoardStop{static_cast<int>(integer(*block, "block", 0, kBlocks - 1)),
                      static_cast<std::uint64_t>(integer(*after, "after", 0, INT64_MAX - 1))});
        if (const toml::node *until = stop.get("until"))
          added.until = static_cast<std::uint64_t>(
              integer(*until, "until", static_cast<std::int64_t>(added.after) + 1, INT64_MAX));
      }
    }
  }

  std::string_view name_;
};

} // namespace

RigError::RigError(std::string file, unsigned line, std::string message)
    : std::runtime_error(where(file, line) + ": " + message), file_(std::move(file)), line_(line),
      message_(std::move(message)) {}

Rig default_rig() { return Rig{}; }

namespace {

// toml++ follows a dotted key or a table header by recursion, one level a
// part, without a bound: a long enough key overflows the stack. No rig key
// has more than three parts.
constexpr unsigned kKeyPartsMax = 32;

bool bare_key_char(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '-' || c == '+';
}

// Past the string opening at text[i] (its quote, or three): a multi-line
// one counts its line ends into `line`. An open string ends the text: the
// parser says what is wrong with it.
std::size_t skip_string(std::string_view text, std::size_t i, unsigned &line) {
  const char quote = text[i];
  const bool multi = text.substr(i, 3) == std::string(3, quote);
  const std::string_view end = multi ? text.substr(i, 3) : text.substr(i, 1);
  for (i += end.size(); i < text.size(); ++i) {
    if (text[i] == '\\' && quote == '"') {
      ++i;
      if (i < text.size() && text[i] == '\n')
        ++line;
      continue;
    }
    if (text[i] == '\n') {
      if (!multi)
        return i;
      ++line;
    }
    if (text.substr(i, end.size()) == end)
      return i + end.size();
  }
  return text.size();
}

// Every run of key parts joined by dots, outside strings and comments, is
// at most kKeyPartsMax parts long; a value (1.5, a date) has fewer dots.
void check_before_parsing(std::string_view text, std::string_view name) {
  // toml++ reaches code it holds unreachable on some characters outside
  // ASCII (white space, escapes), in strings too: a rig is ASCII throughout.
  for (std::size_t i = 0; i < text.size(); ++i)
    if (static_cast<unsigned char>(text[i]) >= 0x80)
      throw RigError(std::string(name),
                     1 + static_cast<unsigned>(std::count(text.begin(), text.begin() + i, '\n')),
                     "a byte outside ASCII: a rig file is ASCII throughout");
  unsigned line = 1;
  unsigned parts = 0;      // in the current run
  bool after_part = false; // a part ended; a dot continues the run
  bool after_dot = false;
  char before = '\n'; // the last byte that is no blank
  for (std::size_t i = 0; i < text.size();) {
    const char c = text[i];
    if (c == '#') {
      i = std::min(text.find('\n', i), text.size());
      continue;
    }
    if (c == ' ' || c == '\t') {
      ++i;
      continue;
    }
    if (c == '.' && after_part) {
      after_part = false;
      after_dot = true;
      before = c;
      ++i;
      continue;
    }
    // A quote begins a string only where TOML has one: elsewhere (4.08'x)
    // toml++ reads on into what follows, and so must this look.
    const bool quote =
        (c == '"' || c == '\'') && before != '\0' && std::strchr("\n=[,{.", before) != nullptr;
    const bool part = quote || bare_key_char(c);
    before = c;
    if (part) {
      parts = after_dot ? parts + 1 : 1;
      if (parts > kKeyPartsMax)
        throw RigError(std::string(name), line,
                       "a key of more than " + std::to_string(kKeyPartsMax) + " dotted parts");
      if (quote)
        i = skip_string(text, i, line);
      else
        while (i < text.size() && bare_key_char(text[i]))
          ++i;
    } else {
      line += c == '\n';
      ++i;
    }
    after_part = part;
    after_dot = false;
  }
}

toml::table parse_table(std::string_view toml_text, std::string_view name) {
  check_before_parsing(toml_text, name);
  try {
    return toml::parse(toml_text, name);
  } catch (const toml::parse_error &e) {
    throw RigError(std::string(name), e.source().begin.line, std::string(e.description()));
  }
}

[[noreturn]] void unreadable(const std::string &path, int err) {
  throw RigError(path, 0, std::string("cannot read rig file: ") + std::strerror(err));
}

// A rig is a page of settings; anything much larger is the wrong file
// (/dev/zero, a trace), and reading it whole would know no end.
constexpr std::size_t kRigMax = std::size_t{1} << 20;

// The whole file, or why it cannot be had: a folder opens, but reads fail.
std::string file_text(const std::string &path) {
  std::unique_ptr<std::FILE, int (*)(std::FILE *)> file(std::fopen(path.c_str(), "rb"),
                                                        std::fclose);
  if (!file)
    unreadable(path, errno);
  vorn_trace_protect(fileno(file.get()), "the rig file");
  std::string text;
  char chunk[4096];
  std::size_t n;
  while (text.size() <= kRigMax && (n = std::fread(chunk, 1, sizeof chunk, file.get())) > 0)
    text.append(chunk, n);
  if (std::ferror(file.get()))
    unreadable(path, errno);
  if (text.size() > kRigMax)
    throw RigError(path, 0, "rig file is over " + std::to_string(kRigMax) + " bytes (1 MiB)");
  return text;
}

} // namespace

Rig parse_rig(std::string_view toml_text, std::string_view name) {
  return RigReader(name).read(parse_table(toml_text, name));
}

// A file that sets nothing is more likely the wrong file than a wish for
// the default board set, which an unset VORNSIM_RIG gives.
Rig load_rig(const std::string &path) {
  const std::string text = file_text(path);
  const toml::table top = parse_table(text, path);
  if (top.empty())
    throw RigError(path, 0, "rig file sets nothing: no key in it");
  return RigReader(path).read(top);
}

} // namespace vorn::sim
