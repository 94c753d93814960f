#include "framework/settings/value_text.h"

#include <charconv>
#include <cmath>

#include "framework/settings/program_objects.h"
#include "framework/text/dot_number.h"
#include "framework/text/text_case.h"

namespace norv {

std::string UndefinedValueText(kUndefinedText);
const TProgramUnit ValueTextUnit("value text", [] { UndefinedValueText = kUndefinedText; });

namespace {

// Prefix letters by exponent group: index 0 none, 1 kilo ... 4 tera; and milli .. femto.
const char* const kUpPrefixes[] = {"", "k", "M", "G", "T"};
const char* const kDownPrefixes[] = {"", "m", "\xC2\xB5", "n", "p", "f"};

// Moves the decimal point of a mantissa ("-1.500") s places to the right, dropping
// trailing zeros after a point that remains ("15", "150", "1.5").
std::string ShiftPoint(std::string mantissa, size_t s) {
  std::string sign;
  if (!mantissa.empty() && (mantissa[0] == '-' || mantissa[0] == '+')) {
    if (mantissa[0] == '-') sign = "-";
    mantissa.erase(0, 1);
  }
  size_t point = mantissa.find('.');
  if (point == std::string::npos)
    point = mantissa.size();
  else
    mantissa.erase(point, 1);
  const size_t target = point + s;
  if (target >= mantissa.size()) {
    mantissa.append(target - mantissa.size(), '0');
  } else {
    mantissa.insert(target, ".");
    while (mantissa.back() == '0') mantissa.pop_back();
    if (mantissa.back() == '.') mantissa.pop_back();
  }
  return sign + mantissa;
}

// An exponent-form text ("1.500E-008") in engineering form; other texts get a blank.
std::string EngineeringForm(const std::string& text, bool replay) {
  const size_t e = text.find('E');
  if (e == std::string::npos) return text + " ";
  int x = 0;
  const char* first = text.data() + e + 1;
  if (*first == '+') ++first;
  const auto [end, ec] = std::from_chars(first, text.data() + text.size(), x);
  if (ec != std::errc() || x < -15 || x > 14) return text + " ";
  std::string prefix;
  size_t s = 0;
  if (x >= 0) {
    prefix = kUpPrefixes[x / 3];
    if (replay && x / 3 == 2) prefix = "MEG";
    s = static_cast<size_t>(x % 3);
  } else {
    prefix = kDownPrefixes[(-x - 1) / 3 + 1];
    s = static_cast<size_t>(2 - (-x - 1) % 3);
  }
  return ShiftPoint(text.substr(0, e), s) + " " + prefix;
}

// The exponent of ten a prefix letter stands for.
int PrefixExponent(std::string_view suffix) {
  if (suffix.empty()) return 0;
  const auto first = static_cast<unsigned char>(suffix[0]);
  // µ as the micro sign in UTF-8, as the single byte of older files, or as Greek mu.
  if (first == 0xB5) return -6;
  if (suffix.size() >= 2 && ((first == 0xC2 && static_cast<unsigned char>(suffix[1]) == 0xB5) ||
                             (first == 0xCE && static_cast<unsigned char>(suffix[1]) == 0xBC)))
    return -6;
  switch (UpperAscii(suffix[0])) {
    case 'F':
      return -15;
    case 'P':
      return -12;
    case 'N':
      return -9;
    case 'U':
      return -6;
    case 'M':
      return suffix.size() >= 3 && UpperAscii(suffix.substr(1, 2)) == "EG" ? 6 : -3;
    case 'K':
      return 3;
    case 'G':
      return 9;
    case 'T':
      return 12;
    default:
      return 0;
  }
}

// Whether the text after a number is the unit itself ("m/div", "m") rather than a prefix
// and unit: units such as "m" and "ft" begin with a prefix letter.
bool IsUnit(std::string_view rest, std::string_view unit) {
  rest = TrimBlanks(rest);
  const std::string_view base = unit.substr(0, unit.find('/'));
  return !rest.empty() && (SameTextAscii(rest, unit) || SameTextAscii(rest, base));
}

// Length of the number at the start of text: sign, digits with an optional point, and an
// exponent when digits follow its "E". 0 when there is no digit.
size_t NumberLength(std::string_view text, size_t& exponentAt) {
  size_t i = 0;
  exponentAt = std::string_view::npos;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  size_t digits = 0;
  while (i < text.size() && IsAsciiDigit(text[i])) ++i, ++digits;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && IsAsciiDigit(text[i])) ++i, ++digits;
  }
  if (digits == 0) return 0;
  if (i < text.size() && (text[i] == 'E' || text[i] == 'e')) {
    size_t j = i + 1;
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
    if (j < text.size() && IsAsciiDigit(text[j])) {
      exponentAt = i;
      i = j;
      while (i < text.size() && IsAsciiDigit(text[i])) ++i;
    }
  }
  return i;
}

}  // namespace

std::string FloatToEngStr(uint8_t formatMode, uint8_t digits, bool isInt, double value, bool replay) {
  if (std::fabs(value) < 1e-15) return " 0 ";
  if (value <= UndefinedValue) return replay ? std::string(kUndefinedText) : UndefinedValueText;
  if (!std::isfinite(value)) return FloatToStr_Dot(value) + " ";
  if (isInt && std::fabs(value) < 9.2e18) return std::to_string(std::llround(value)) + " ";
  const bool atLeastOne = std::fabs(value) >= 1;
  if (formatMode == vfGeneral || (formatMode == vfGeneralAboveOne && atLeastOne) ||
      (formatMode == vfEngineeringAboveOne && !atLeastOne))
    return FloatToStrF_Dot(value, TFloatFormat::ffGeneral, digits, 0) + " ";
  return EngineeringForm(FloatToStrF_Dot(value, TFloatFormat::ffExponent, digits, 3), replay);
}

std::optional<double> ReadEngineeringNumber(std::string_view text, std::string_view unit) {
  while (!text.empty() && IsBlankOrControl(text.front())) text.remove_prefix(1);
  size_t exponentAt = 0;
  const size_t length = NumberLength(text, exponentAt);
  if (length == 0) return std::nullopt;
  std::string_view rest = text.substr(length);
  while (!rest.empty() && IsBlankOrControl(rest.front())) rest.remove_prefix(1);
  size_t suffixLength = 0;
  while (suffixLength < rest.size() && suffixLength < 3 && !IsBlankOrControl(rest[suffixLength]))
    ++suffixLength;
  const int prefixExponent = IsUnit(rest, unit) ? 0 : PrefixExponent(rest.substr(0, suffixLength));

  // The prefix is added to the text's own exponent, so the decimal value is read in one
  // correctly rounded conversion.
  const std::string_view mantissa = text.substr(0, std::min(length, exponentAt));
  long long exponent = 0;
  if (exponentAt != std::string_view::npos) {
    std::string_view digits = text.substr(exponentAt + 1, length - exponentAt - 1);
    if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), exponent);
    if (ec != std::errc() || std::llabs(exponent) > 100000) return std::nullopt;
  }
  exponent += prefixExponent;
  // "mantissaEexponent", on the stack for all but very long mantissas.
  char stack[64];
  std::string heap;
  char* number = stack;
  const size_t room = mantissa.size() + 24;
  if (room > sizeof stack) {
    heap.resize(room);
    number = heap.data();
  }
  mantissa.copy(number, mantissa.size());
  number[mantissa.size()] = 'E';
  const auto written = std::to_chars(number + mantissa.size() + 1, number + room, exponent);
  double value = 0;
  if (!TryStrToFloat_Dot(std::string_view(number, static_cast<size_t>(written.ptr - number)), value) ||
      !std::isfinite(value))
    return std::nullopt;
  return value;
}

}  // namespace norv
