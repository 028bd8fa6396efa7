// The command line in a trace's run note: words separated by one blank, a
// word that is empty or holds a blank, a quote, a backslash or a byte
// outside printable ASCII in double quotes with C escapes, so that every
// command line reads back exactly.
#ifndef VORN_RUN_NOTE_H
#define VORN_RUN_NOTE_H

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vorn::trace {

std::string encode_words(const std::vector<std::string> &words);
// nullopt for text no encoding gives: an open quote, an unknown escape, an
// empty unquoted word.
std::optional<std::vector<std::string>> decode_words(std::string_view text);

// One word as encode_words() writes it (a line typed at a prompt), and
// back: false for text that is not exactly one word.
std::string quote_word(std::string_view bytes);
bool unquote_word(std::string_view text, std::string &bytes);

} // namespace vorn::trace

#endif
