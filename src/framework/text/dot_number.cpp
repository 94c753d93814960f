#include "framework/text/dot_number.h"

#include <algorithm>
#include <cctype>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <limits>

#include "framework/text/text_case.h"

namespace norv {

namespace {

bool ParseFloat(std::string_view text, double& value) {
  text = TrimBlanks(text);
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  // Only digits or a point may follow; this also keeps out "inf", "nan" and a second sign.
  if (text.empty() || !(std::isdigit(static_cast<unsigned char>(text.front())) || text.front() == '.'))
    return false;
  const char* end = text.data() + text.size();
  double result = 0;
  auto [ptr, ec] = std::from_chars(text.data(), end, result, std::chars_format::general);
  if (ec == std::errc::result_out_of_range) {
    // Overflow is an error; underflow is just a very small number.
    long double wide = 0;
    auto [wptr, wec] = std::from_chars(text.data(), end, wide, std::chars_format::general);
    if (wec != std::errc() || wptr != end || std::fabs(wide) > DBL_MAX) return false;
    result = static_cast<double>(wide);
    ptr = wptr;
  } else if (ec != std::errc()) {
    return false;
  }
  if (ptr != end || !std::isfinite(result)) return false;
  value = negative ? -result : result;
  return true;
}

// A finite non-negative value as 0.D1D2D3... x 10^PointExp. Digits are empty for zero.
struct TDecimal {
  std::string digits;
  int pointExp = 0;
};

// The significant digits of a > 0, correctly rounded to a count of at most kMaxDigits, in
// a buffer on the stack: most values need 60 of them, of which only a few are kept.
constexpr int kMaxDigits = 780;  // every double's exact expansion fits in 767 digits
struct TRawDigits {
  char digits[kMaxDigits];
  size_t size = 0;
  int pointExp = 0;

  std::string_view From(size_t start) const {
    return std::string_view(digits, size).substr(std::min(start, size));
  }
};

void ReadRawDigits(double a, int count, TRawDigits& raw) {
  char buf[1100];
  auto r = std::to_chars(buf, buf + sizeof buf, a, std::chars_format::scientific, count - 1);
  std::string_view text(buf, static_cast<size_t>(r.ptr - buf));
  size_t e = text.find('e');
  raw.digits[0] = text[0];
  raw.size = 1;
  if (e > 2) {
    text.copy(raw.digits + 1, e - 2, 2);
    raw.size += e - 2;
  }
  int exp10 = 0;
  std::from_chars(text.data() + e + (text[e + 1] == '+' ? 2 : 1), text.data() + text.size(), exp10);
  raw.pointExp = exp10 + 1;
}

// Rounds a >= 0 half away from zero so that `keep(pointExp)` significant digits remain;
// trailing zeros stay. keep below 1 leaves zero or one unit of the last kept place.
template <typename KeepFn>
TDecimal RoundDecimal(double a, KeepFn keep) {
  if (a == 0) return {};
  constexpr int kGuard = 60;  // digits beyond which a double's tail hardly ever matters
  TRawDigits raw;
  ReadRawDigits(a, kGuard, raw);
  int k = keep(raw.pointExp);
  if (k >= kGuard - 8) {
    ReadRawDigits(a, kMaxDigits, raw);
    k = std::min(keep(raw.pointExp), kMaxDigits - 1);
  }
  if (k < 0) return {};
  std::string_view tail = raw.From(static_cast<size_t>(k));
  // The guard digits are themselves rounded, so a tail that looks like an exact half
  // (or just below one) is decided on the exact expansion.
  bool ambiguous =
      !tail.empty() && ((tail[0] == '5' && tail.find_first_not_of('0', 1) == std::string_view::npos) ||
                        (tail[0] == '4' && tail.find_first_not_of('9', 1) == std::string_view::npos));
  if (ambiguous && raw.size < kMaxDigits) {
    ReadRawDigits(a, kMaxDigits, raw);
    tail = raw.From(static_cast<size_t>(k));
  }
  bool roundUp = !tail.empty() && tail[0] >= '5';
  TDecimal d;
  d.pointExp = raw.pointExp;
  d.digits.assign(raw.digits, std::min(static_cast<size_t>(k), raw.size));
  d.digits.resize(static_cast<size_t>(k), '0');
  if (roundUp) {
    int i = k - 1;
    while (i >= 0 && d.digits[static_cast<size_t>(i)] == '9') d.digits[static_cast<size_t>(i--)] = '0';
    if (i >= 0) {
      ++d.digits[static_cast<size_t>(i)];
    } else {
      d.digits.insert(d.digits.begin(), '1');
      d.digits.pop_back();
      ++d.pointExp;
      if (k == 0) d.digits = "1";
    }
  }
  if (d.digits.find_first_not_of('0') == std::string::npos) return {};
  return d;
}

std::string ExponentText(int exp10, int minDigits, bool plusSign) {
  std::string s = "E";
  if (exp10 < 0)
    s += '-';
  else if (plusSign)
    s += '+';
  std::string n = std::to_string(std::abs(exp10));
  if (static_cast<int>(n.size()) < minDigits) n.insert(0, static_cast<size_t>(minDigits) - n.size(), '0');
  return s + n;
}

std::string StripTrailingZeros(std::string digits) {
  size_t last = digits.find_last_not_of('0');
  digits.resize(last == std::string::npos ? 0 : last + 1);
  return digits;
}

std::string ScientificText(const TDecimal& d, int minExpDigits, bool plusSign) {
  std::string s(1, d.digits[0]);
  if (d.digits.size() > 1) s += '.' + d.digits.substr(1);
  return s + ExponentText(d.pointExp - 1, minExpDigits, plusSign);
}

// Digits laid out around the point with `decimals` places (digits beyond them are zero).
std::string FixedText(const TDecimal& d, int decimals, bool thousands) {
  std::string intPart, frac;
  for (int pos = std::max(d.pointExp, 1) - 1; pos >= -decimals; --pos) {
    // Digit of 10^pos: index pointExp - 1 - pos in digits.
    int idx = d.pointExp - 1 - pos;
    char c = (idx >= 0 && idx < static_cast<int>(d.digits.size())) ? d.digits[static_cast<size_t>(idx)] : '0';
    (pos >= 0 ? intPart : frac) += c;
  }
  if (thousands) {
    for (int i = static_cast<int>(intPart.size()) - 3; i > 0; i -= 3)
      intPart.insert(static_cast<size_t>(i), ",");
  }
  return frac.empty() ? intPart : intPart + '.' + frac;
}

std::string NonFiniteText(double v) {
  if (std::isnan(v)) return "NAN";
  return v < 0 ? "-INF" : "INF";
}

std::string WithSign(bool negative, const TDecimal& d, std::string body) {
  return (negative && !d.digits.empty()) ? '-' + body : body;
}

std::string GeneralText(double v, int precision, int expDigits) {
  TDecimal d = RoundDecimal(std::fabs(v), [&](int) { return precision; });
  if (d.digits.empty()) return "0";
  d.digits = StripTrailingZeros(d.digits);
  bool scientific = d.pointExp > precision || d.pointExp < -3;
  return WithSign(v < 0, d,
                  scientific
                      ? ScientificText(d, expDigits, false)
                      : FixedText(d, std::max(0, static_cast<int>(d.digits.size()) - d.pointExp), false));
}

std::string ExponentFormText(double v, int precision, int expDigits) {
  TDecimal d = RoundDecimal(std::fabs(v), [&](int) { return precision; });
  if (d.digits.empty()) d = {std::string(static_cast<size_t>(precision), '0'), 1};
  return WithSign(v < 0, d, ScientificText(d, expDigits, true));
}

}  // namespace

bool TryStrToFloat_Dot(std::string_view text, double& value) { return ParseFloat(text, value); }

double StrToFloat_Dot(std::string_view text) {
  double value = 0;
  if (!ParseFloat(text, value))
    throw EConvertError("'" + std::string(text) + "' is not a valid floating point value");
  return value;
}

std::string FloatToStrF_Dot(double value, TFloatFormat format, int precision, int digits) {
  if (!std::isfinite(value)) return NonFiniteText(value);
  precision = std::clamp(precision, 1, 17);
  switch (format) {
    case TFloatFormat::ffGeneral:
      return GeneralText(value, precision, std::clamp(digits, 0, 4));
    case TFloatFormat::ffExponent:
      return ExponentFormText(value, precision, std::clamp(digits, 0, 4));
    case TFloatFormat::ffFixed:
    case TFloatFormat::ffNumber: {
      TDecimal whole = RoundDecimal(std::fabs(value), [&](int) { return precision; });
      if (whole.pointExp > precision) return ExponentFormText(value, precision, 3);
      int decimals = std::clamp(digits, 0, 30);
      TDecimal d = RoundDecimal(std::fabs(value), [&](int pointExp) { return pointExp + decimals; });
      return WithSign(value < 0, d, FixedText(d, decimals, format == TFloatFormat::ffNumber));
    }
  }
  return {};
}

std::string FloatToStr_Dot(double value) { return FloatToStrF_Dot(value, TFloatFormat::ffGeneral, 15, 0); }

std::string FloatToStrRoundTrip_Dot(double value) {
  for (int precision = 15; precision < 17; ++precision) {
    std::string text = FloatToStrF_Dot(value, TFloatFormat::ffGeneral, precision, 0);
    double back = 0;
    if (!std::isfinite(value) || (ParseFloat(text, back) && back == value)) return text;
  }
  return FloatToStrF_Dot(value, TFloatFormat::ffGeneral, 17, 0);
}

namespace {

[[noreturn]] void BadFormat(std::string_view format) {
  throw EConvertError("Format '" + std::string(format) + "' invalid or incompatible with argument");
}

std::string Pad(std::string s, int width, bool leftAlign) {
  if (width > static_cast<int>(s.size())) {
    size_t n = static_cast<size_t>(width) - s.size();
    if (leftAlign)
      s.append(n, ' ');
    else
      s.insert(0, n, ' ');
  }
  return s;
}

std::string ZeroPad(std::string digits, int minDigits) {
  if (minDigits > static_cast<int>(digits.size()))
    digits.insert(0, static_cast<size_t>(minDigits) - digits.size(), '0');
  return digits;
}

std::string HexText(uint64_t v) {
  char buf[20];
  auto r = std::to_chars(buf, buf + sizeof buf, v, 16);
  return UpperAscii(std::string_view(buf, r.ptr));
}

class TFormatter {
 public:
  TFormatter(std::string_view format, std::span<const TFormatArg> args) : format_(format), args_(args) {}

  std::string Run() {
    std::string out;
    size_t i = 0;
    while (i < format_.size()) {
      size_t pct = format_.find('%', i);
      if (pct == std::string_view::npos) {
        out.append(format_.substr(i));
        break;
      }
      out.append(format_.substr(i, pct - i));
      pos_ = pct + 1;
      if (pos_ < format_.size() && format_[pos_] == '%') {
        out += '%';
        i = pos_ + 1;
        continue;
      }
      out += OneSpecifier();
      i = pos_;
    }
    return out;
  }

 private:
  char Peek() const { return pos_ < format_.size() ? format_[pos_] : '\0'; }

  // A number, or '*' taking an integer argument; -1 when absent.
  int Number(bool allowStar = true) {
    if (allowStar && Peek() == '*') {
      ++pos_;
      const TFormatArg& a = NextArg();
      if (a.GetKind() != TFormatArg::Kind::Integer && a.GetKind() != TFormatArg::Kind::Unsigned)
        BadFormat(format_);
      int64_t v = a.GetKind() == TFormatArg::Kind::Integer
                      ? a.Integer()
                      : static_cast<int64_t>(std::min<uint64_t>(a.Unsigned(), 1000));
      return static_cast<int>(std::clamp<int64_t>(v, 0, 1000));
    }
    if (!std::isdigit(static_cast<unsigned char>(Peek()))) return -1;
    int v = 0;
    while (std::isdigit(static_cast<unsigned char>(Peek()))) {
      v = std::min(v * 10 + (format_[pos_] - '0'), 100000);
      ++pos_;
    }
    return std::min(v, 1000);
  }

  const TFormatArg& NextArg() {
    if (next_ >= args_.size()) BadFormat(format_);
    return args_[next_++];
  }

  std::string OneSpecifier() {
    // Optional "index:" - a number followed by a colon.
    size_t save = pos_;
    int n = Number(false);
    if (n >= 0 && Peek() == ':') {
      next_ = static_cast<size_t>(n);
      ++pos_;
    } else {
      pos_ = save;
    }
    bool leftAlign = false;
    if (Peek() == '-') {
      leftAlign = true;
      ++pos_;
    }
    int width = Number();
    int precision = -1;
    if (Peek() == '.') {
      ++pos_;
      precision = std::max(Number(), 0);
    }
    char type = static_cast<char>(std::tolower(static_cast<unsigned char>(Peek())));
    if (type == '\0') BadFormat(format_);
    ++pos_;
    const TFormatArg& arg = NextArg();
    return Pad(Convert(type, arg, precision), width, leftAlign);
  }

  std::string Convert(char type, const TFormatArg& arg, int precision) {
    using K = TFormatArg::Kind;
    bool integral = arg.GetKind() == K::Integer || arg.GetKind() == K::Unsigned;
    switch (type) {
      case 'd':
      case 'u':
      case 'x': {
        if (!integral) BadFormat(format_);
        bool negative = arg.GetKind() == K::Integer && arg.Integer() < 0;
        uint64_t magnitude =
            arg.GetKind() == K::Unsigned ? arg.Unsigned() : static_cast<uint64_t>(arg.Integer());
        if (type == 'd' && negative) magnitude = 0 - magnitude;
        if (type != 'd' && negative && arg.Integer() >= INT32_MIN)
          magnitude &= 0xFFFFFFFFu;  // as a 32-bit word
        std::string digits = type == 'x' ? HexText(magnitude) : std::to_string(magnitude);
        digits = ZeroPad(digits, precision);
        return (type == 'd' && negative) ? '-' + digits : digits;
      }
      case 's':
        if (arg.GetKind() != K::Text) BadFormat(format_);
        return precision >= 0 ? arg.Text().substr(0, static_cast<size_t>(precision)) : arg.Text();
      case 'e':
      case 'f':
      case 'g':
      case 'n': {
        if (arg.GetKind() != K::Float) BadFormat(format_);
        double v = arg.Float();
        if (type == 'e')
          return FloatToStrF_Dot(v, TFloatFormat::ffExponent, precision < 0 ? 15 : precision, 3);
        if (type == 'g')
          return FloatToStrF_Dot(v, TFloatFormat::ffGeneral, precision < 0 ? 15 : precision, 0);
        return FloatToStrF_Dot(v, type == 'f' ? TFloatFormat::ffFixed : TFloatFormat::ffNumber, 17,
                               precision < 0 ? 2 : precision);
      }
      default:
        BadFormat(format_);
    }
  }

  std::string_view format_;
  std::span<const TFormatArg> args_;
  size_t pos_ = 0;
  size_t next_ = 0;
};

}  // namespace

std::string FormatArgs_Dot(std::string_view format, std::span<const TFormatArg> args) {
  return TFormatter(format, args).Run();
}

}  // namespace norv
