#include "framework/text/text_encoding.h"

#include <gtest/gtest.h>

namespace norv {
namespace {

// Whatever the bytes, the text is valid UTF-8 and decoding it again changes nothing: a
// file read and saved again reads back as it was.
TEST(TextEncoding, DecodedTextIsUtf8AndStable) {
  const std::string replacement = "\xEF\xBF\xBD";  // U+FFFD
  struct Case {
    std::string bytes;
    std::string utf8;
    TTextEncoding encoding;
  };
  for (const Case& c : {
           Case{"V\xFF", "V\xC3\xBF", TTextEncoding::Ansi},  // the code page's y with diaeresis
           Case{"\xEF\xBB\xBF\xC2\xB5s", "\xC2\xB5s", TTextEncoding::Utf8Bom},
           Case{"\xEF\xBB\xBFV\xFF", "V" + replacement, TTextEncoding::Utf8Bom},
           Case{"\xEF\xBB\xBF\xC3(\xE2\x82", replacement + "(" + replacement + replacement,
                TTextEncoding::Utf8Bom},
           Case{"\xEF\xBB\xBF\xED\xA0\x80!", replacement + replacement + replacement + "!",  // a surrogate
                TTextEncoding::Utf8Bom},
           Case{std::string("\xFF\xFEV\x00\x00\xD8", 6), "V" + replacement, TTextEncoding::Utf16LE},
       }) {
    const TDecodedText decoded = DecodeText(c.bytes);
    EXPECT_EQ(decoded.utf8, c.utf8) << c.bytes;
    EXPECT_EQ(decoded.encoding, c.encoding) << c.bytes;
    const TDecodedText again = DecodeText(EncodeText(decoded.utf8, decoded.encoding));
    EXPECT_EQ(again.utf8, decoded.utf8) << c.bytes;
  }
}

// Long lines are read eight bytes at a time: one byte outside ASCII decides the line's
// encoding wherever it stands.
TEST(TextEncoding, OneByteAnywhereInALongLineDecidesItsEncoding) {
  for (size_t at = 0; at < 20; ++at) {
    const std::string before(at, 'a');
    const std::string after(19 - at, 'b');
    const TDecodedText ansi = DecodeText(before + "\xB5" + after);  // the micro sign of the code page
    EXPECT_EQ(ansi.utf8, before + "\xC2\xB5" + after) << at;
    EXPECT_EQ(ansi.encoding, TTextEncoding::Ansi) << at;
    const TDecodedText utf8 = DecodeText(before + "\xC2\xB5" + after);
    EXPECT_EQ(utf8.utf8, before + "\xC2\xB5" + after) << at;
    EXPECT_EQ(utf8.encoding, TTextEncoding::Utf8) << at;
  }
}

}  // namespace
}  // namespace norv
