#pragma once
// Small numeric and text helpers shared by every subsystem: decibels, E12 rounding, colour
// scaling, hexadecimal number lists, fixed-width text, the program's reproducible random
// source.

#include <cmath>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace norv {

// Nearest integer (halves to even) limited to lo..hi; NaN gives ifNaN. Computed values that
// may be NaN, infinite or huge reach an integer only this way.
template <typename Int>
Int RoundClamped(double value, Int lo, Int hi, Int ifNaN = 0) {
  if (std::isnan(value)) return ifNaN;
  if (value <= static_cast<double>(lo)) return lo;
  if (value >= static_cast<double>(hi)) return hi;
  return static_cast<Int>(std::nearbyint(value));
}

// 10^(dB/20) and its power form 10^(dB/10).
double DbToRatio(double dB);
double DbToPowerRatio(double dB);
// 20 log10 x; never fails: tiny, zero and negative ratios give -4000.
double RatioToDb(double x);
double PowerRatioToDb(double x);
// 20 log10 |numerator / denominator|, taken without forming the quotient; nothing when
// either is 0 or not finite, since such a ratio has no level.
std::optional<double> QuotientToDb(double numerator, double denominator);

double LinearInterpolate(double x1, double y1, double x2, double y2, double x);

// Each of the three colour bytes divided by Divisor (>= 1), rounded half to even; the
// byte positions stay and the top byte is cleared. A byte that would leave 0..255 (a
// divisor below 1, zero or NaN) is held at the nearer limit, NaN at 0.
uint32_t DivideColor(uint32_t color, double divisor);

// Black (0) or white (0xFFFFFF), whichever reads better on a 0x00BBGGRR background.
uint32_t ContrastTextColor(uint32_t color);

// Rounds a positive value to the program's 12-step series 1, 1.2, 1.5, 1.8, 2, 2.5, 3, 4,
// 5, 6, 8, 10 times a power of ten: down for direction < 0, up for > 0, to the nearer one
// for 0 (a value exactly between goes up). Magnitudes below 1e-30 give 0, except that
// 1e-64..1e-32 raise EAssertion. A negative value is rounded by its magnitude (sign
// kept); a value that is not finite comes back unchanged.
double CorrectValueE12(int direction, double value);

// Binary digits of v (1 for 0 and 1); a negative v counts as -v - 1; the largest integer
// gives 32.
int BitLength(int32_t v);

// Reads hexadecimal numbers separated by runs of blanks, tabs and commas into values until
// the text ends or values is full. Gives the count stored; on any other character, or a
// number beyond 32 bits, the number being read is dropped and the result is minus the
// count stored before it. Numbers above 0x7FFFFFFF keep their 32-bit pattern.
int ParseNumberList(std::string_view text, std::span<int32_t> values);

// Clears dest and copies as much of text as fits; a text that fills dest leaves no
// terminating zero (fixed-width fields of binary files).
void StrToFixedChars(std::span<char> dest, std::string_view text);

// The text less everything from the first "(" through the first ")" (unchanged when either
// is missing or ")" comes first).
std::string RemoveParenthesized(std::string_view text);
// The text without any blank.
std::string RemoveBlanks(std::string_view text);

// The program's one seedable random source. Its generator is the 32-bit linear
// congruential one that RandomNormal is defined on (seed 3 at program start), so a seed
// reproduces every draw: normal, uniform and integer alike.
class TRandomSource {
 public:
  explicit TRandomSource(uint32_t seed = 3) : seed_(seed) {}
  void SetSeed(uint32_t seed) { seed_ = seed; }
  uint32_t Seed() const { return seed_; }

  // Advances the generator and gives the new 32-bit state.
  uint32_t Next() {
    seed_ = seed_ * 1103515245u + 12345u;
    return seed_;
  }
  // Uniform in [0, 1).
  double Uniform();
  // Uniform integer 0..n-1 (0 when n <= 0).
  int UniformInt(int n);
  // A normal sample from the piecewise-linear inverse of the distribution function.
  double Normal(double mean, double sigma);

 private:
  uint32_t seed_;
};

// The program-wide source; the simulator and the tests may reseed it.
TRandomSource& ProgramRandom();
// A normal sample from ProgramRandom().
double RandomNormal(double mean, double sigma);

}  // namespace norv
