#pragma once
// Value texts of numeric settings in engineering notation ("15 n", "2.5 m", "2 MEG" in the
// replay form) and the reader of typed and stored numbers with their prefix letters.

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

namespace norv {

// The program-wide "no value" marker of numeric settings and results: the lowest 32-bit
// float.
inline constexpr double UndefinedValue = -static_cast<double>(std::numeric_limits<float>::max());

// The text shown for UndefinedValue on screen and in replies; the start-up puts the
// language's word in place of "  Undefined". Setup lines always carry kUndefinedText.
extern std::string UndefinedValueText;
inline constexpr std::string_view kUndefinedText = "  Undefined";

// Format modes of value texts.
enum TValueFormat : uint8_t {
  vfGeneral = 0,              // shortest of plain and exponent form
  vfGeneralAboveOne = 1,      // general from 1 up, engineering below
  vfEngineeringAboveOne = 2,  // engineering from 1 up, general below
  vfEngineering = 3,          // mantissa and prefix letter (3 and above)
};

// The value as text: " 0 " for a magnitude below 1e-15, the undefined text at or below
// UndefinedValue, "%d " for integers; otherwise with `digits` significant digits, in
// engineering form "mantissa prefix" where the exponent lies in -15..14 ("15 n", "1.5 ",
// "2 k"), else in exponent form followed by a blank. The replay form writes mega as "MEG"
// (a lone "M" reads back as milli).
std::string FloatToEngStr(uint8_t formatMode, uint8_t digits, bool isInt, double value, bool replay);

// Reads a decimal number with '.' and an optional prefix letter after it: f p n u (or µ) m
// k MEG g t, in either case; further unit letters are ignored ("1.5MS" is 0.0015, "2MEG"
// 2e6, "10 n(s)" 1e-8, "10(S)" 10). The prefix scales the decimal text itself, so a text
// with enough digits reads back to the exact double it was written from. Nothing for text
// that does not begin with a number or whose value is not a finite double.
// When all that follows the number is `unit` or its part before "/" ("1.5 m/div" or
// "1.5 m" for "m/div", "5 ft"), in either case, it has no prefix: a prefix is a letter
// before the unit.
std::optional<double> ReadEngineeringNumber(std::string_view text, std::string_view unit = {});

}  // namespace norv
