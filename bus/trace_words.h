// A word of a note line that must come back byte for byte (a line typed at
// a prompt): as it is when it is printable ASCII with no blank, quote or
// backslash and not empty; otherwise in double quotes, with \" \\ \n \r \t
// and \xHH for the rest.
#ifndef VORN_TRACE_WORDS_H
#define VORN_TRACE_WORDS_H

#include <string>
#include <string_view>

namespace vorn::trace {

std::string quote_word(std::string_view bytes);
// The bytes of the word at the start of `text`; false when it is no word
// (an unended quote, a bad escape) or something follows it.
bool unquote_word(std::string_view text, std::string &bytes);

} // namespace vorn::trace

#endif
