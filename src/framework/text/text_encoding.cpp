#include "framework/text/text_encoding.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <optional>

#include "framework/text/text_case.h"

namespace norv {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// The characters of the bytes 0x80..0xFF; 0 marks an unassigned byte (read as the C1
// control of the same number, and written back as that byte).
using TUpperHalf = std::array<char16_t, 128>;

constexpr TUpperHalf kCp1250 = {
    0x20AC, 0,      0x201A, 0,      0x201E, 0x2026, 0x2020, 0x2021,  // 0x80
    0,      0x2030, 0x0160, 0x2039, 0x015A, 0x0164, 0x017D, 0x0179,  // 0x88
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 0x90
    0,      0x2122, 0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A,  // 0x98
    0x00A0, 0x02C7, 0x02D8, 0x0141, 0x00A4, 0x0104, 0x00A6, 0x00A7,  // 0xA0
    0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B,  // 0xA8
    0x00B0, 0x00B1, 0x02DB, 0x0142, 0x00B4, 0x00B5, 0x00B6, 0x00B7,  // 0xB0
    0x00B8, 0x0105, 0x015F, 0x00BB, 0x013D, 0x02DD, 0x013E, 0x017C,  // 0xB8
    0x0154, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7,  // 0xC0
    0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E,  // 0xC8
    0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x00D7,  // 0xD0
    0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF,  // 0xD8
    0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7,  // 0xE0
    0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED, 0x00EE, 0x010F,  // 0xE8
    0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7,  // 0xF0
    0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9,  // 0xF8
};

constexpr TUpperHalf MakeCp1251() {
  TUpperHalf t = {
      0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,  // 0x80
      0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,  // 0x88
      0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 0x90
      0,      0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,  // 0x98
      0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,  // 0xA0
      0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,  // 0xA8
      0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,  // 0xB0
      0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,  // 0xB8
  };
  // 0xC0..0xFF: the Russian alphabet А..я in order.
  for (int i = 0x40; i < 0x80; ++i) t[i] = static_cast<char16_t>(0x0410 + i - 0x40);
  return t;
}
constexpr TUpperHalf kCp1251 = MakeCp1251();

constexpr TUpperHalf MakeCp1252() {
  TUpperHalf t = {
      0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 0x80
      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,       // 0x88
      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 0x90
      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,  // 0x98
  };
  // 0xA0..0xFF are Latin-1.
  for (int i = 0x20; i < 0x80; ++i) t[i] = static_cast<char16_t>(0x80 + i);
  return t;
}
constexpr TUpperHalf kCp1252 = MakeCp1252();

const TUpperHalf& UpperHalf(TCodePage codePage) {
  switch (codePage) {
    case TCodePage::Windows1250:
      return kCp1250;
    case TCodePage::Windows1251:
      return kCp1251;
    case TCodePage::Windows1252:
      break;
  }
  return kCp1252;
}

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
  for (size_t i = 0; i < s.size();) {
    // Most text is ASCII: eight bytes at a time while none has its top bit set.
    uint64_t word = 0;
    if (s.size() - i >= sizeof word) {
      std::memcpy(&word, s.data() + i, sizeof word);
      if ((word & 0x8080808080808080u) == 0) {
        i += sizeof word;
        continue;
      }
    }
    if (static_cast<unsigned char>(s[i]) < 0x80) {
      ++i;
      continue;
    }
    if (!NextUtf8(s, i)) return false;
  }
  return true;
}

// Text marked as UTF-8 that is not: each stray byte becomes one replacement character, so
// the text reads back the same after a save.
std::string RepairedUtf8(std::string_view s) {
  if (IsValidUtf8(s)) return std::string(s);
  std::string out;
  out.reserve(s.size() + s.size() / 2);
  for (size_t i = 0; i < s.size();) {
    const size_t start = i;
    if (NextUtf8(s, i)) {
      out.append(s.substr(start, i - start));
    } else {
      AppendUtf8(out, kReplacement);
      ++i;
    }
  }
  return out;
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

std::string DecodeCodePage(std::string_view bytes, TCodePage codePage) {
  const TUpperHalf& upper = UpperHalf(codePage);
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 2);
  for (size_t i = 0; i < bytes.size();) {
    // ASCII runs are copied whole: most of a file is ASCII.
    const size_t run =
        std::find_if(bytes.begin() + i, bytes.end(), [](char ch) { return ch & 0x80; }) - (bytes.begin() + i);
    out.append(bytes.substr(i, run));
    i += run;
    if (i == bytes.size()) break;
    const auto b = static_cast<unsigned char>(bytes[i++]);
    AppendUtf8(out, upper[b - 0x80] != 0 ? upper[b - 0x80] : char32_t{b});
  }
  return out;
}

std::optional<std::string> EncodeCodePage(std::string_view utf8, TCodePage codePage) {
  const TUpperHalf& upper = UpperHalf(codePage);
  std::string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    auto c = NextUtf8(utf8, i);
    if (!c) return std::nullopt;
    if (*c < 0x80) {
      out += static_cast<char>(*c);
      continue;
    }
    bool found = false;
    for (size_t k = 0; k < upper.size() && !found; ++k) {
      if (upper[k] == *c || (upper[k] == 0 && *c == 0x80 + k)) {
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

std::string ShortenedUtf8(std::string_view text, size_t maxBytes) {
  if (text.size() <= maxBytes) return std::string(text);
  size_t end = maxBytes;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return std::string(text.substr(0, end)) + "...";
}

std::string EchoedInput(std::string_view text) { return ShortenedUtf8(text, 64); }

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

TDecodedText DecodeText(std::string_view bytes, TCodePage codePage) {
  if (bytes.starts_with("\xEF\xBB\xBF")) return {RepairedUtf8(bytes.substr(3)), TTextEncoding::Utf8Bom};
  if (bytes.starts_with("\xFF\xFE")) return {DecodeUtf16(bytes.substr(2), false), TTextEncoding::Utf16LE};
  if (bytes.starts_with("\xFE\xFF")) return {DecodeUtf16(bytes.substr(2), true), TTextEncoding::Utf16BE};
  return DecodeUnmarkedText(bytes, codePage);
}

TDecodedText DecodeUnmarkedText(std::string_view bytes, TCodePage codePage) {
  if (IsValidUtf8(bytes)) return {std::string(bytes), TTextEncoding::Utf8};
  return {DecodeCodePage(bytes, codePage), TTextEncoding::Ansi};
}

std::string EncodeText(std::string_view utf8, TTextEncoding encoding, TTextEncoding* used,
                       TCodePage codePage) {
  if (used) *used = encoding;
  switch (encoding) {
    case TTextEncoding::Utf8Bom:
      return "\xEF\xBB\xBF" + std::string(utf8);
    case TTextEncoding::Utf16LE:
      return EncodeUtf16(utf8, false);
    case TTextEncoding::Utf16BE:
      return EncodeUtf16(utf8, true);
    case TTextEncoding::Ansi:
      if (auto ansi = EncodeCodePage(utf8, codePage)) {
        // 8-bit bytes that happen to form UTF-8 would read back as other characters.
        if (!IsValidUtf8(*ansi) || IsAsciiText(*ansi)) return *ansi;
        if (used) *used = TTextEncoding::Utf8Bom;
        return "\xEF\xBB\xBF" + std::string(utf8);
      }
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
