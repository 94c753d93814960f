#pragma once
// Text files written by this and earlier versions of the program come in several
// encodings: UTF-16 with a byte-order mark (language files), UTF-8 with or without one,
// and an 8-bit Windows code page in old files (a lone 0xB5 for the micro sign; Cyrillic
// language files in Windows-1251). Inside the program all text is UTF-8.

#include <string>
#include <string_view>
#include <vector>

namespace norv {

enum class TTextEncoding {
  Utf8,  // no byte-order mark
  Utf8Bom,
  Utf16LE,  // with byte-order mark
  Utf16BE,  // with byte-order mark
  Ansi,     // an 8-bit code page (Windows-1252 unless the reader names another)
};

// The 8-bit code pages old files may be in: Central European, Cyrillic, Western.
enum class TCodePage { Windows1250, Windows1251, Windows1252 };

// Appends one Unicode code point as UTF-8.
void AppendUtf8(std::string& out, char32_t c);

// The text in a message: whole up to maxBytes, else its start, never cut inside a UTF-8
// character, followed by "...".
std::string ShortenedUtf8(std::string_view text, size_t maxBytes);
// What a command named, repeated in its reply or message: the start of a long name, so
// that an answer never grows with what was sent.
std::string EchoedInput(std::string_view text);

struct TDecodedText {
  std::string utf8;
  TTextEncoding encoding = TTextEncoding::Utf8;
};

// The byte-order mark decides; without one, valid UTF-8 is UTF-8 and anything else is in
// the code page. Broken UTF-16 (odd length, lone surrogates) and bytes that are not UTF-8
// after a UTF-8 mark give U+FFFD in their place: the result is always valid UTF-8.
TDecodedText DecodeText(std::string_view bytes, TCodePage codePage = TCodePage::Windows1252);
// As DecodeText for bytes after the start of a text, where no byte-order mark can stand:
// valid UTF-8 is UTF-8 (a U+FEFF at its start included), anything else is in the code page.
TDecodedText DecodeUnmarkedText(std::string_view bytes, TCodePage codePage = TCodePage::Windows1252);

// The file bytes of utf8 text in the given encoding, byte-order mark included. Characters
// that the code page cannot hold make an Ansi text come out as UTF-8; *used (if given)
// tells which encoding was written.
std::string EncodeText(std::string_view utf8, TTextEncoding encoding, TTextEncoding* used = nullptr,
                       TCodePage codePage = TCodePage::Windows1252);

// The lines of a text whose lines end in LF or CR LF; a final line end adds no empty line.
std::vector<std::string_view> SplitLines(std::string_view text);

}  // namespace norv
