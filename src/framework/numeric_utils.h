#pragma once
// Small numeric helpers shared by every subsystem: decibels, colour scaling, the
// program's reproducible random source.

#include <cstdint>

namespace norv {

// 10^(dB/20) and its power form 10^(dB/10).
double DbToRatio(double dB);
double DbToPowerRatio(double dB);
// 20 log10 x; never fails: tiny, zero and negative ratios give -4000.
double RatioToDb(double x);
double PowerRatioToDb(double x);

double LinearInterpolate(double x1, double y1, double x2, double y2, double x);

// Each of the three colour bytes divided by Divisor (>= 1), rounded half to even; the
// byte positions stay and the top byte is cleared.
uint32_t DivideColor(uint32_t color, double divisor);

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
