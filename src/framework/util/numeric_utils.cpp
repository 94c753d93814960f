#include "framework/util/numeric_utils.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>

#include "framework/settings/program_objects.h"
#include "framework/util/errors.h"

namespace norv {

double DbToRatio(double dB) { return std::exp(0.115129255 * dB); }
double DbToPowerRatio(double dB) { return DbToRatio(2 * dB); }

double RatioToDb(double x) {
  // Written so that NaN also takes the floor branch.
  if (!(x >= 1e-200)) return -4000;
  return 8.685889638 * std::log(x);
}
double PowerRatioToDb(double x) { return RatioToDb(x) / 2; }

std::optional<double> QuotientToDb(double numerator, double denominator) {
  if (!std::isfinite(numerator) || !std::isfinite(denominator) || numerator == 0 || denominator == 0) {
    return std::nullopt;
  }
  // Two logarithms: a quotient of extreme values would overflow or vanish.
  return 20 * (std::log10(std::fabs(numerator)) - std::log10(std::fabs(denominator)));
}

double LinearInterpolate(double x1, double y1, double x2, double y2, double x) {
  return y1 + (y2 - y1) * (x - x1) / (x2 - x1);
}

uint32_t DivideColor(uint32_t color, double divisor) {
  uint32_t result = 0;
  for (int shift = 0; shift <= 16; shift += 8) {
    const double part = std::nearbyint(static_cast<double>((color >> shift) & 0xFF) / divisor);
    const uint32_t byte = !(part > 0) ? 0u : (part > 255 ? 255u : static_cast<uint32_t>(part));
    result |= byte << shift;
  }
  return result;
}

uint32_t ContrastTextColor(uint32_t color) {
  const double lightness =
      0.33 * (color & 0xFF) + 0.66 * ((color >> 8) & 0xFF) + 0.11 * ((color >> 16) & 0xFF);
  return lightness > 128 ? 0u : 0xFFFFFFu;
}

double CorrectValueE12(int direction, double value) {
  static constexpr double kSeries[12] = {1.0, 1.2, 1.5, 1.8, 2.0, 2.5, 3.0, 4.0, 5.0, 6.0, 8.0, 10.0};
  if (!std::isfinite(value)) return value;
  const double magnitude = std::abs(value);
  if (magnitude < 1e-64) return 0;
  if (magnitude <= 1e-32) throw EAssertion("CorrectValueE12 - Value = 0");
  if (magnitude < 1e-30) return 0;

  double v = magnitude;
  int exponent = 0;
  while (v < 1) {
    v *= 10;
    --exponent;
  }
  while (v > 10) {
    v /= 10;
    ++exponent;
  }
  // Bisection over the table; a value equal to an entry is bracketed from below, except
  // 1.0 which is the bracket's lower end.
  int lo = 0, hi = 11, mid = 5;
  double lower = 0, upper = 0;
  for (;;) {
    if (v > kSeries[mid]) {
      if (hi - mid == 1) {
        lower = kSeries[mid];
        upper = kSeries[hi];
        break;
      }
      lo = mid;
      mid = (mid + hi) / 2;
    } else {
      if (mid - lo == 1) {
        lower = kSeries[lo];
        upper = kSeries[mid];
        break;
      }
      hi = mid;
      mid = (mid + lo) / 2;
    }
  }
  double result = direction < 0 ? lower : direction > 0 ? upper : ((lower + upper) / 2 > v ? lower : upper);
  for (; exponent > 0; --exponent) result *= 10;
  for (; exponent < 0; ++exponent) result /= 10;
  return value < 0 ? -result : result;
}

int BitLength(int32_t v) {
  if (v < 0) v = ~v;  // -v - 1 without overflow
  if (v == std::numeric_limits<int32_t>::max()) return 32;
  if (v <= 1) return 1;
  return std::bit_width(static_cast<uint32_t>(v));
}

namespace {

bool IsListSeparator(char c) { return c == ' ' || c == '\t' || c == ','; }

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

int ParseNumberList(std::string_view text, std::span<int32_t> values) {
  int count = 0;
  size_t i = 0;
  while (static_cast<size_t>(count) < values.size()) {
    while (i < text.size() && IsListSeparator(text[i])) ++i;
    if (i == text.size()) break;
    uint64_t number = 0;
    for (; i < text.size() && !IsListSeparator(text[i]); ++i) {
      const int digit = HexDigitValue(text[i]);
      if (digit < 0) return -count;
      number = number * 16 + static_cast<uint64_t>(digit);
      if (number > 0xFFFFFFFFu) return -count;
    }
    values[count++] = static_cast<int32_t>(static_cast<uint32_t>(number));
  }
  return count;
}

void StrToFixedChars(std::span<char> dest, std::string_view text) {
  std::fill(dest.begin(), dest.end(), '\0');
  std::copy_n(text.begin(), std::min(text.size(), dest.size()), dest.begin());
}

std::string RemoveParenthesized(std::string_view text) {
  const size_t open = text.find('(');
  const size_t close = text.find(')');
  if (open == std::string_view::npos || close == std::string_view::npos || close < open)
    return std::string(text);
  return std::string(text.substr(0, open)) + std::string(text.substr(close + 1));
}

std::string RemoveBlanks(std::string_view text) {
  std::string result(text);
  std::erase(result, ' ');
  return result;
}

double TRandomSource::Uniform() { return Next() / 4294967296.0; }

int TRandomSource::UniformInt(int n) {
  if (n <= 0) return 0;
  return static_cast<int>(Uniform() * n);
}

double TRandomSource::Normal(double mean, double sigma) {
  static constexpr double kP[21] = {0.5,     0.57926, 0.65542, 0.72575, 0.78814, 0.84134, 0.88493,
                                    0.91924, 0.9452,  0.96407, 0.97725, 0.9861,  0.9918,  0.99534,
                                    0.99744, 0.99865, 0.99931, 0.99966, 0.99984, 0.99993, 1.0};
  double u = static_cast<double>((Next() & 0x7FFF0000u) >> 16) / 32768.0;
  double sign = 1;
  if (u < 0.5) {
    sign = -1;
    u += 0.5;
  }
  int i = 1;
  while (i < 20 && u > kP[i]) ++i;
  const double z = sign * 0.2 * (i - (kP[i] - u) / (kP[i] - kP[i - 1]));
  return mean + sigma * z;
}

TRandomSource& ProgramRandom() {
  static TRandomSource source;
  return source;
}

namespace {
const TProgramUnit ProgramRandomUnit("program random", [] { ProgramRandom() = TRandomSource(); });
}  // namespace

double RandomNormal(double mean, double sigma) { return ProgramRandom().Normal(mean, sigma); }

}  // namespace norv
