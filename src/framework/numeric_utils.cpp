#include "framework/numeric_utils.h"

#include <cmath>

namespace norv {

double DbToRatio(double dB) { return std::exp(0.115129255 * dB); }
double DbToPowerRatio(double dB) { return DbToRatio(2 * dB); }

double RatioToDb(double x) {
  // Written so that NaN also takes the floor branch.
  if (!(x >= 1e-200)) return -4000;
  return 8.685889638 * std::log(x);
}
double PowerRatioToDb(double x) { return RatioToDb(x) / 2; }

double LinearInterpolate(double x1, double y1, double x2, double y2, double x) {
  return y1 + (y2 - y1) * (x - x1) / (x2 - x1);
}

uint32_t DivideColor(uint32_t color, double divisor) {
  uint32_t result = 0;
  for (int shift = 0; shift <= 16; shift += 8) {
    const double part = std::nearbyint(static_cast<double>((color >> shift) & 0xFF) / divisor);
    const uint32_t byte = part < 0 ? 0u : (part > 255 ? 255u : static_cast<uint32_t>(part));
    result |= byte << shift;
  }
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

double RandomNormal(double mean, double sigma) { return ProgramRandom().Normal(mean, sigma); }

}  // namespace norv
