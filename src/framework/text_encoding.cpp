#include "framework/text_encoding.h"

#include <array>
#include <cstdint>
#include <optional>

namespace norv {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Windows-1252 bytes 0x80..0x9F; 0 marks the five unassigned ones (read as C1 controls).
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};


// Next code point of valid UTF-8 at i, or nothing when the bytes there are not valid
// UTF-8 (overlong forms and surrogates included).
std::optional<char32_t> NextUtf8(std::string_view s, size_t& i) {
  auto b = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
  unsigned char c0 = b(i);
  if (c0 < 0x80) {
    ++i;
    return c0;
  }
  int len = c0 >= 0xF0 ? 4 : c0 >= 0xE0 ? 3 : c0 >= 0xC0 ? 2 : 0;
  if (len == 0 || c0 > 0xF4 || i + static_cast<size_t>(len) > s.size()) return std::nullopt;
  char32_t c = c0 & (0x7F >> len);
  for (int k = 1; k < len; ++k) {
    unsigned char ck = b(i + static_cast<size_t>(k));
    if ((ck & 0xC0) != 0x80) return std::nullopt;
    c = (c << 6) | (ck & 0x3F);
  }
  static constexpr char32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
  if (c < kMin[len] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return std::nullopt;
  i += static_cast<size_t>(len);
  return c;
}

bool IsValidUtf8(std::string_view s) {
  for (size_t i = 0; i < s.size();)
    if (!NextUtf8(s, i)) return false;
  return true;
}

std::string DecodeUtf16(std::string_view bytes, bool bigEndian) {
  std::string out;
  out.reserve(bytes.size());
  auto unit = [&](size_t k) -> char16_t {
    auto lo = static_cast<unsigned char>(bytes[k + (bigEndian ? 1 : 0)]);
    auto hi = static_cast<unsigned char>(bytes[k + (bigEndian ? 0 : 1)]);
    return static_cast<char16_t>((hi << 8) | lo);
  };
  size_t i = 0;
  for (; i + 1 < bytes.size(); i += 2) {
    char16_t u = unit(i);
    if (u >= 0xD800 && u <= 0xDBFF && i + 3 < bytes.size()) {
      char16_t low = unit(i + 2);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        AppendUtf8(out, 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (low - 0xDC00));
        i += 2;
        continue;
      }
    }
    AppendUtf8(out, (u >= 0xD800 && u <= 0xDFFF) ? kReplacement : u);
  }
  if (i < bytes.size()) AppendUtf8(out, kReplacement);
  return out;
}

std::string DecodeCp1252(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 4);
  for (char ch : bytes) {
    auto b = static_cast<unsigned char>(ch);
    char32_t c = b;
    if (b >= 0x80 && b <= 0x9F && kCp1252High[b - 0x80] != 0) c = kCp1252High[b - 0x80];
    AppendUtf8(out, c);
  }
  return out;
}

std::optional<std::string> EncodeCp1252(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    auto c = NextUtf8(utf8, i);
    if (!c) return std::nullopt;
    if (*c < 0x80 || (*c >= 0xA0 && *c <= 0xFF)) {
      out += static_cast<char>(*c);
      continue;
    }
    bool found = false;
    for (size_t k = 0; k < kCp1252High.size() && !found; ++k) {
      if (kCp1252High[k] == *c || (kCp1252High[k] == 0 && *c == 0x80 + k)) {
        out += static_cast<char>(0x80 + k);
        found = true;
      }
    }
    if (!found) return std::nullopt;
  }
  return out;
}

std::string EncodeUtf16(std::string_view utf8, bool bigEndian) {
  std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
  auto put = [&](char16_t u) {
    char hi = static_cast<char>(u >> 8), lo = static_cast<char>(u & 0xFF);
    out += bigEndian ? hi : lo;
    out += bigEndian ? lo : hi;
  };
  for (size_t i = 0; i < utf8.size();) {
    auto next = NextUtf8(utf8, i);
    if (!next) ++i;  // a stray byte becomes one replacement character
    char32_t c = next.value_or(kReplacement);
    if (c >= 0x10000) {
      put(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
      put(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
    } else {
      put(static_cast<char16_t>(c));
    }
  }
  return out;
}

}  // namespace

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

TDecodedText DecodeText(std::string_view bytes) {
  if (bytes.starts_with("\xEF\xBB\xBF")) return {std::string(bytes.substr(3)), TTextEncoding::Utf8Bom};
  if (bytes.starts_with("\xFF\xFE")) return {DecodeUtf16(bytes.substr(2), false), TTextEncoding::Utf16LE};
  if (bytes.starts_with("\xFE\xFF")) return {DecodeUtf16(bytes.substr(2), true), TTextEncoding::Utf16BE};
  if (IsValidUtf8(bytes)) return {std::string(bytes), TTextEncoding::Utf8};
  return {DecodeCp1252(bytes), TTextEncoding::Ansi};
}

std::string EncodeText(std::string_view utf8, TTextEncoding encoding, TTextEncoding* used) {
  if (used) *used = encoding;
  switch (encoding) {
    case TTextEncoding::Utf8Bom:
      return "\xEF\xBB\xBF" + std::string(utf8);
    case TTextEncoding::Utf16LE:
      return EncodeUtf16(utf8, false);
    case TTextEncoding::Utf16BE:
      return EncodeUtf16(utf8, true);
    case TTextEncoding::Ansi:
      if (auto ansi = EncodeCp1252(utf8)) return *ansi;
      if (used) *used = TTextEncoding::Utf8;
      return std::string(utf8);
    case TTextEncoding::Utf8:
      break;
  }
  return std::string(utf8);
}

std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

}  // namespace norv
