#pragma once
// Text files written by this and earlier versions of the program come in several
// encodings: UTF-16 with a byte-order mark (language files), UTF-8 with or without one,
// and the 8-bit Windows-1252 code page of old files (a lone 0xB5 for the micro sign).
// Inside the program all text is UTF-8.

#include <string>
#include <string_view>
#include <vector>

namespace norv {

enum class TTextEncoding {
  Utf8,     // no byte-order mark
  Utf8Bom,
  Utf16LE,  // with byte-order mark
  Utf16BE,  // with byte-order mark
  Ansi,     // Windows-1252, no byte-order mark
};

// Appends one Unicode code point as UTF-8.
void AppendUtf8(std::string& out, char32_t c);

struct TDecodedText {
  std::string utf8;
  TTextEncoding encoding = TTextEncoding::Utf8;
};

// The byte-order mark decides; without one, valid UTF-8 is UTF-8 and anything else is
// Windows-1252. Broken UTF-16 (odd length, lone surrogates) gives U+FFFD in its place.
TDecodedText DecodeText(std::string_view bytes);

// The file bytes of utf8 text in the given encoding, byte-order mark included. Characters
// that Windows-1252 cannot hold make an Ansi text come out as UTF-8; *used (if given)
// tells which encoding was written.
std::string EncodeText(std::string_view utf8, TTextEncoding encoding, TTextEncoding* used = nullptr);

// The lines of a text whose lines end in LF or CR LF; a final line end adds no empty line.
std::vector<std::string_view> SplitLines(std::string_view text);

}  // namespace norv
