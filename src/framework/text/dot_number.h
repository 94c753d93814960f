#pragma once
// Number text with '.' as decimal separator, whatever the user's locale: command replies,
// setup lines, waveform, measurement and ini files all read and write numbers this way.
// Nothing here consults the C or C++ locale.

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>

namespace norv {

// Malformed number text, or a format that does not fit its arguments.
class EConvertError : public std::runtime_error {
 public:
  explicit EConvertError(const std::string& text) : std::runtime_error(text) {}
};

// Parses a finite decimal number: optional blanks, optional sign, digits with an optional
// '.', optional exponent ("1.5", "-.5", "2E-3"). Anything else, "nan", "inf" and values
// beyond the double range raise EConvertError; values too small for a double read as 0.
double StrToFloat_Dot(std::string_view text);
// The same without raising; false leaves value unchanged.
bool TryStrToFloat_Dot(std::string_view text, double& value);

enum class TFloatFormat {
  ffGeneral,   // shortest of fixed and scientific, trailing zeros removed
  ffExponent,  // d.ddddE+ddd
  ffFixed,     // ddd.dd; scientific when the integer part needs more than Precision digits
  ffNumber,    // like ffFixed with ',' between thousands
};

// Precision: significant digits (1..17). Digits: ffGeneral and ffExponent the minimum
// exponent digits (0..4), ffFixed and ffNumber the decimals (0..30). Halves round away from
// zero. Non-finite values give "NAN", "INF", "-INF".
std::string FloatToStrF_Dot(double value, TFloatFormat format, int precision, int digits);
// General form with 15 significant digits: "1.5", "100", "1E20", "1.5E-6".
std::string FloatToStr_Dot(double value);
// The general form with as few significant digits as read back exactly (at most 17).
// For files whose values must survive a round trip.
std::string FloatToStrRoundTrip_Dot(double value);

// One argument of Format_Dot.
class TFormatArg {
 public:
  enum class Kind { Integer, Unsigned, Float, Text };

  template <typename T>
  requires std::is_integral_v<T> &&(!std::is_same_v<T, bool>)&&(!std::is_same_v<T, char>)
      TFormatArg(T v) {  // NOLINT: implicit on purpose, Format_Dot builds these from its arguments
    if constexpr (std::is_signed_v<T>) {
      kind_ = Kind::Integer;
      int_ = v;
    } else {
      kind_ = Kind::Unsigned;
      uint_ = v;
    }
  }
  TFormatArg(bool) = delete;                                           // neither a number nor a text
  TFormatArg(double v) : kind_(Kind::Float), float_(v) {}              // NOLINT
  TFormatArg(float v) : kind_(Kind::Float), float_(v) {}               // NOLINT
  TFormatArg(char c) : kind_(Kind::Text), text_(1, c) {}               // NOLINT
  TFormatArg(const char* s) : kind_(Kind::Text), text_(s ? s : "") {}  // NOLINT
  TFormatArg(std::string_view s) : kind_(Kind::Text), text_(s) {}      // NOLINT
  TFormatArg(const std::string& s) : kind_(Kind::Text), text_(s) {}    // NOLINT

  Kind GetKind() const { return kind_; }
  int64_t Integer() const { return int_; }
  uint64_t Unsigned() const { return uint_; }
  double Float() const { return float_; }
  const std::string& Text() const { return text_; }

 private:
  Kind kind_;
  int64_t int_ = 0;
  uint64_t uint_ = 0;
  double float_ = 0;
  std::string text_;
};

// Formats like the classic Format routine: "%[index:][-][width][.precision]type" with
// width and precision also '*' (taken from the arguments), and "%%".
//   d  integer; precision = minimum digits       u  unsigned integer
//   x  integer in upper-case hexadecimal          s  text or character; precision = max length
//   e  d.ddddE+ddd, precision = significant digits (default 15)
//   f  fixed, precision = decimals (default 2)     n  fixed with thousand separators
//   g  general, precision = significant digits (default 15)
// A missing argument, an argument of the wrong kind (a float for %d, an integer for %f)
// or an unknown type raises EConvertError; surplus arguments are ignored.
std::string FormatArgs_Dot(std::string_view format, std::span<const TFormatArg> args);

template <typename... Args>
std::string Format_Dot(std::string_view format, const Args&... args) {
  if constexpr (sizeof...(Args) == 0) {
    return FormatArgs_Dot(format, {});
  } else {
    const TFormatArg list[] = {TFormatArg(args)...};
    return FormatArgs_Dot(format, list);
  }
}

// Format_Dot of a format that comes from outside the program (a translated text); when it
// does not fit the arguments, the fallback format (the built-in text) is used instead.
template <typename... Args>
std::string FormatOr_Dot(std::string_view format, std::string_view fallback, const Args&... args) {
  try {
    return Format_Dot(format, args...);
  } catch (const EConvertError&) {
    return Format_Dot(fallback, args...);
  }
}

}  // namespace norv
