#include "port_owners.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <vector>

namespace vorn {

namespace {

// One line of the list: "  0378-037a : parport0", two blanks per level of
// nesting.
struct Entry {
  std::size_t depth;
  unsigned long start;
  unsigned long end;
  std::string owner;
};

std::optional<Entry> parse_entry(const std::string &line) {
  const std::size_t indent = line.find_first_not_of(' ');
  if (indent == std::string::npos)
    return std::nullopt;
  Entry e{indent / 2, 0, 0, {}};
  int name_at = 0;
  if (std::sscanf(line.c_str() + indent, "%lx-%lx : %n", &e.start, &e.end, &name_at) != 2 ||
      name_at == 0 || e.end < e.start)
    return std::nullopt;
  e.owner = line.substr(indent + static_cast<std::size_t>(name_at));
  return e;
}

std::vector<Entry> read_entries(const std::string &path) {
  std::vector<Entry> entries;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);)
    if (auto e = parse_entry(line))
      entries.push_back(std::move(*e));
  return entries;
}

bool overlaps(const Entry &e, unsigned long first, unsigned long last) {
  // 0000-0000 is how the list hides its ranges from unprivileged readers.
  const bool hidden = e.start == 0 && e.end == 0;
  return !hidden && e.start <= last && first <= e.end;
}

// Only the innermost entries over the range say who owns it: a bus window
// or a card contains the entries of the drivers below it.
bool has_overlapping_child(const std::vector<Entry> &entries, std::size_t i, unsigned long first,
                           unsigned long last) {
  for (std::size_t j = i + 1; j < entries.size() && entries[j].depth > entries[i].depth; ++j)
    if (overlaps(entries[j], first, last))
      return true;
  return false;
}

bool starts_with(const std::string &text, const char *prefix) {
  return text.compare(0, std::strlen(prefix), prefix) == 0;
}

// A bus window with nothing of ours below it belongs to no driver.
bool is_free(const std::string &owner) {
  return starts_with(owner, "parport") || starts_with(owner, "PCI Bus");
}

std::string hex(unsigned long value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%lx", value);
  return text;
}

} // namespace

std::optional<std::string> foreign_port_owner(unsigned first, unsigned count,
                                              const std::string &owners_path) {
  if (count == 0)
    return std::nullopt;
  const unsigned long last = static_cast<unsigned long>(first) + count - 1;
  const std::vector<Entry> entries = read_entries(owners_path);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const Entry &e = entries[i];
    if (overlaps(e, first, last) && !has_overlapping_child(entries, i, first, last) &&
        !is_free(e.owner))
      return "port " + hex(first) + " to " + hex(last) + " belongs to " + e.owner +
             ", not to a parallel port";
  }
  return std::nullopt;
}

std::optional<std::string> port_owner_refusal(unsigned first, unsigned count,
                                              const std::string &owners_path) {
  const char *ignore = std::getenv(kIgnorePortOwnerVar);
  if (ignore != nullptr && std::strcmp(ignore, "1") == 0)
    return std::nullopt;
  return foreign_port_owner(first, count, owners_path);
}

} // namespace vorn
