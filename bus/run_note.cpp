#include "run_note.h"

#include <algorithm>
#include <cstdio>

namespace vorn::trace {

namespace {

bool needs_quotes(std::string_view word) {
  if (word.empty())
    return true;
  for (const char c : word) {
    const auto u = static_cast<unsigned char>(c);
    if (u <= ' ' || u >= 0x7f || c == '"' || c == '\\')
      return true;
  }
  return false;
}

void append_quoted(std::string &text, std::string_view word) {
  text += '"';
  for (const char c : word) {
    const auto u = static_cast<unsigned char>(c);
    switch (c) {
    case '"':
    case '\\':
      text += '\\';
      text += c;
      break;
    case '\n':
      text += "\\n";
      break;
    case '\r':
      text += "\\r";
      break;
    case '\t':
      text += "\\t";
      break;
    default:
      if (u < ' ' || u >= 0x7f) {
        char hex[5];
        std::snprintf(hex, sizeof hex, "\\x%02x", u);
        text += hex;
      } else {
        text += c;
      }
    }
  }
  text += '"';
}

int hex_value(char c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  return -1;
}

// One quoted word from text[i], the opening quote; i ends after the closing
// one. False on an open quote or an unknown escape.
bool read_quoted(std::string_view text, std::size_t &i, std::string &word) {
  for (++i; i < text.size(); ++i) {
    char c = text[i];
    if (c == '"') {
      ++i;
      return true;
    }
    if (c != '\\') {
      word += c;
      continue;
    }
    if (++i == text.size())
      return false;
    switch (text[i]) {
    case '"':
    case '\\':
      c = text[i];
      break;
    case 'n':
      c = '\n';
      break;
    case 'r':
      c = '\r';
      break;
    case 't':
      c = '\t';
      break;
    case 'x': {
      const int hi = i + 1 < text.size() ? hex_value(text[i + 1]) : -1;
      const int lo = i + 2 < text.size() ? hex_value(text[i + 2]) : -1;
      if (hi < 0 || lo < 0)
        return false;
      c = static_cast<char>(hi * 16 + lo);
      i += 2;
      break;
    }
    default:
      return false;
    }
    word += c;
  }
  return false;
}

} // namespace

std::string encode_words(const std::vector<std::string> &words) {
  std::string text;
  for (const std::string &word : words) {
    if (&word != &words.front())
      text += ' ';
    if (needs_quotes(word))
      append_quoted(text, word);
    else
      text += word;
  }
  return text;
}

std::optional<std::vector<std::string>> decode_words(std::string_view text) {
  std::vector<std::string> words;
  std::size_t i = 0;
  while (i < text.size()) {
    std::string word;
    if (text[i] == '"') {
      if (!read_quoted(text, i, word))
        return std::nullopt;
    } else {
      const std::size_t end = std::min(text.find(' ', i), text.size());
      if (end == i)
        return std::nullopt;
      word.assign(text.substr(i, end - i));
      i = end;
    }
    words.push_back(std::move(word));
    if (i == text.size())
      break;
    if (text[i] != ' ' || ++i == text.size())
      return std::nullopt; // after a word: one blank and another word
  }
  return words;
}

std::string quote_word(std::string_view bytes) { return encode_words({std::string(bytes)}); }

bool unquote_word(std::string_view text, std::string &bytes) {
  const auto words = decode_words(text);
  if (!words || words->size() != 1)
    return false;
  bytes = words->front();
  return true;
}

} // namespace vorn::trace
