#include "analysis/fft.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <random>
#include <vector>

#include "instrument/record/signal_obj.h"

namespace norv {
namespace {

using LComplex = std::complex<long double>;

// The plain DFT with the transform's output scaling: bin 0 over N, the others 2 / N.
std::vector<LComplex> ReferenceSpectrum(const std::vector<double>& re, const std::vector<double>& im, int n) {
  std::vector<LComplex> w(static_cast<size_t>(n));
  for (int m = 0; m < n; ++m) {
    const long double angle = -2 * std::numbers::pi_v<long double> * m / n;
    w[static_cast<size_t>(m)] = {std::cos(angle), std::sin(angle)};
  }
  std::vector<LComplex> out(static_cast<size_t>(n));
  for (int k = 0; k < n; ++k) {
    LComplex sum = 0;
    for (int i = 0; i < n; ++i) {
      sum += LComplex(re[static_cast<size_t>(i)], im[static_cast<size_t>(i)]) *
             w[static_cast<size_t>((static_cast<int64_t>(k) * i) % n)];
    }
    out[static_cast<size_t>(k)] = sum * (k == 0 ? 1.0L / n : 2.0L / n);
  }
  return out;
}

// Both kernel widths: the four-wide one where the processor has it, the two-wide one always.
class FFT_Kernels : public testing::TestWithParam<bool> {
 protected:
  void SetUp() override { AllowWideFFTKernel(GetParam()); }
  void TearDown() override { AllowWideFFTKernel(true); }
};
INSTANTIATE_TEST_SUITE_P(Widths, FFT_Kernels, testing::Values(true, false));

TEST_P(FFT_Kernels, MatchTheDftForEveryLengthAndTheInverseRestoresTheInput) {
  std::mt19937 random(26);
  std::uniform_real_distribution<double> value(-1, 1);
  for (int n = 2; n <= kMaxFFTLength; n *= 2) {
    std::vector<double> re(kFFTWorkSize), im(kFFTWorkSize);
    for (int i = 0; i < n; ++i)
      re[static_cast<size_t>(i)] = value(random), im[static_cast<size_t>(i)] = value(random);
    // The spare entries past N must stay as they are.
    re[static_cast<size_t>(n)] = 7;
    im[static_cast<size_t>(n)] = -7;
    const std::vector<double> inRe = re, inIm = im;
    const std::vector<LComplex> expected = ReferenceSpectrum(re, im, n);

    FFT_Transform(n, false, re, im);
    long double largest = 0, error = 0;
    for (int k = 0; k < n; ++k) {
      const auto u = static_cast<size_t>(k);
      largest = std::max(largest, std::abs(expected[u]));
      error = std::max(error, std::abs(LComplex(re[u], im[u]) - expected[u]));
    }
    EXPECT_LT(error / largest, 1e-9) << n;
    EXPECT_EQ(re[static_cast<size_t>(n)], 7) << n;
    EXPECT_EQ(im[static_cast<size_t>(n)], -7) << n;

    re[0] *= 2;
    im[0] *= 2;
    FFT_Transform(n, true, re, im);
    for (int i = 0; i < n; ++i) {
      const auto u = static_cast<size_t>(i);
      ASSERT_NEAR(re[u], inRe[u], 1e-9) << n << " " << i;
      ASSERT_NEAR(im[u], inIm[u], 1e-9) << n << " " << i;
    }
  }
}

TEST(FFT_Transform, RefusesLengthsOutsideThePowersOfTwoAndChangesNothing) {
  for (const auto& [n, error] : {std::pair{0, 1}, {1, 1}, {-4, 1}, {3, 2}, {6, 2}, {10000, 2}, {16384, 2}}) {
    std::vector<double> re(kFFTWorkSize, 1.5), im(kFFTWorkSize, -2.5);
    try {
      FFT_Transform(n, false, re, im);
      ADD_FAILURE() << n << " accepted";
    } catch (const EFFTLength& e) {
      EXPECT_EQ(e.Error(), error) << n;
      EXPECT_NE(std::string(e.what()).find(std::to_string(n)), std::string::npos) << e.what();
    }
    EXPECT_EQ(re, std::vector<double>(kFFTWorkSize, 1.5)) << n;
    EXPECT_EQ(im, std::vector<double>(kFFTWorkSize, -2.5)) << n;
  }
  // Arrays shorter than the length are refused rather than overrun.
  std::vector<double> re(64), im(64);
  EXPECT_THROW(FFT_Transform(128, false, re, im), std::out_of_range);
}

}  // namespace
}  // namespace norv
