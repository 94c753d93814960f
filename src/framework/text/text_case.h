#pragma once
// ASCII text helpers for command words, mnemonics, names and values: only the letters a..z
// change case and only blanks and tabs are trimmed, so UTF-8 text passes through untouched.

#include <string>
#include <string_view>

namespace norv {

// One comparison per character (the subtraction wraps for those below 'a'): these run
// over every byte of command lines.
inline char UpperAscii(char c) {
  return static_cast<unsigned char>(c - 'a') <= 'z' - 'a' ? static_cast<char>(c - 'a' + 'A') : c;
}

inline std::string UpperAscii(std::string_view text) {
  std::string result(text);
  for (char& c : result) c = UpperAscii(c);
  return result;
}

inline bool IsAsciiDigit(char c) { return static_cast<unsigned char>(c - '0') <= 9; }
// Every byte below 0x80: the text reads the same in UTF-8 and in any 8-bit code page.
inline bool IsAsciiText(std::string_view text) {
  for (const char c : text)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}
// A blank, tab, line end or other control character: what separates words of a command.
inline bool IsBlankOrControl(char c) { return static_cast<unsigned char>(c) <= ' '; }

// Equal but for the case of ASCII letters.
inline bool SameTextAscii(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (UpperAscii(a[i]) != UpperAscii(b[i])) return false;
  return true;
}

// The text without leading and trailing blanks and tabs.
inline std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

}  // namespace norv
