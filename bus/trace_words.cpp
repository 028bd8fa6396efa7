#include "trace_words.h"

namespace vorn::trace {

namespace {

bool plain(char c) { return c > ' ' && c < 0x7F && c != '"' && c != '\\'; }

int hex_value(char c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  return -1;
}

} // namespace

std::string quote_word(std::string_view bytes) {
  bool quoted = bytes.empty();
  for (const char c : bytes)
    quoted = quoted || !plain(c);
  if (!quoted)
    return std::string(bytes);
  static constexpr char kHex[] = "0123456789abcdef";
  std::string word = "\"";
  for (const char c : bytes) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\')
      word.append({'\\', c});
    else if (c == '\n')
      word += "\\n";
    else if (c == '\r')
      word += "\\r";
    else if (c == '\t')
      word += "\\t";
    else if (u < ' ' || u >= 0x7F)
      word.append({'\\', 'x', kHex[u >> 4], kHex[u & 0x0F]});
    else
      word += c;
  }
  return word + '"';
}

bool unquote_word(std::string_view text, std::string &bytes) {
  bytes.clear();
  if (text.empty() || text[0] != '"') {
    for (const char c : text)
      if (!plain(c))
        return false;
    bytes = text;
    return !text.empty();
  }
  std::size_t i = 1;
  for (; i < text.size() && text[i] != '"'; ++i) {
    if (text[i] != '\\') {
      bytes += text[i];
      continue;
    }
    if (++i == text.size())
      return false;
    switch (text[i]) {
    case 'n':
      bytes += '\n';
      break;
    case 'r':
      bytes += '\r';
      break;
    case 't':
      bytes += '\t';
      break;
    case '"':
    case '\\':
      bytes += text[i];
      break;
    case 'x': {
      const int hi = i + 2 < text.size() ? hex_value(text[i + 1]) : -1;
      const int lo = hi >= 0 ? hex_value(text[i + 2]) : -1;
      if (lo < 0)
        return false;
      bytes += static_cast<char>(hi * 16 + lo);
      i += 2;
      break;
    }
    default:
      return false;
    }
  }
  return i + 1 == text.size();
}

} // namespace vorn::trace
