#include "analysis/math_functions.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <functional>
#include <numbers>

#include "analysis/fft.h"
#include "analysis/spectrum.h"
#include "framework/settings/program_objects.h"

namespace norv {
namespace {

using Complex = std::complex<double>;
using Values = std::function<double(int)>;

TSignalObj Record(int n, const Values& re, const std::string& unit = "V", double scale = 0.2,
                  double offset = 0.1, double dx = 1e-9) {
  TSignalObj r;
  r.SetRecLen(static_cast<uint16_t>(n));
  r.SetDX(dx);
  r.SetHorUnit("s");
  r.SetVertUnit(unit);
  r.SetVertScale(scale);
  r.SetVertOffset(offset);
  for (int i = 0; i < n; ++i) r.SetY(i, re(i));
  return r;
}

TSignalObj ComplexRecord(int n, const std::function<Complex(int)>& value) {
  TSignalObj r = Record(n, [&](int i) { return value(i).real(); });
  r.SetSpectrum(true);
  for (int i = 0; i < n; ++i) r.SetIm(i, value(i).imag());
  return r;
}

class MathFunctionsTest : public testing::Test {
 protected:
  void TearDown() override { FreshProgramState(); }
};

TEST_F(MathFunctionsTest, TwoRecordOperatorsWithTheirScalesAndUnits) {
  const Values a = [](int i) { return 2 + std::sin(i); };
  const Values b = [](int i) { return 0.5 + 0.25 * std::cos(i); };
  struct Row {
    int op;
    const char* unit2;
    std::function<double(double, double)> value;
    const char* unit;
    double scale, offset;
  };
  // Arg1: 0.2 per division about 0.1; Arg2: 0.5 about -0.3. Division: the dividend spans
  // 0.9 at most; the divisor's level nearest 0 is 1 division (0.2), one division above it
  // is 0.7.
  for (const Row& row :
       {Row{moAdd, "V", std::plus<>(), "V", 0.5, -0.2}, Row{moSub, "A", std::minus<>(), "?", 0.5, 0.4},
        Row{moMult, "A", std::multiplies<>(), "V*A", 0.1, -0.03},
        Row{moDiv, "V", std::divides<>(), "", 0.9 / 0.7, 0},
        Row{moDiv, "A", std::divides<>(), "V/ A", 0.9 / 0.7, 0}}) {
    TSignalObj f;
    EXPECT_TRUE(MathBinaryOp(Record(64, a), Record(64, b, row.unit2, 0.5, -0.3), f, 0, false, row.op));
    for (int i = 0; i < 64; ++i) ASSERT_DOUBLE_EQ(f.GetY(i), row.value(a(i), b(i))) << row.op << " " << i;
    EXPECT_EQ(f.GetVertUnitText(), row.unit) << row.op;
    EXPECT_DOUBLE_EQ(f.GetVertScale(), row.scale) << row.op;
    EXPECT_NEAR(f.GetVertOffset(), row.offset, 1e-15) << row.op;
    EXPECT_FALSE(f.IsSpectrum());
  }
  TSignalObj f;
  // A divisor nearest 0 at its top division (4 * 0.5 - 1.9) is taken one division lower.
  MathBinaryOp(Record(8, a), Record(8, b, "V", 0.5, -1.9), f, 0, false, moDiv);
  EXPECT_DOUBLE_EQ(f.GetVertScale(), 0.9 / 0.4);
  // A unit missing on one side of a product leaves the other.
  MathBinaryOp(Record(8, a, ""), Record(8, b, "A"), f, 0, false, moMult);
  EXPECT_EQ(f.GetVertUnitText(), "A");
}

TEST_F(MathFunctionsTest, RecordsOfDifferentLengthsTakeTheShorterOnesPointsAndInterval) {
  const TSignalObj ch1 = Record(
      4096, [](int i) { return i; }, "V", 0.2, 0.1, 1e-10);
  TSignalObj m1 = Record(
      1024, [](int i) { return -i; }, "V", 0.2, 0.1, 4e-10);
  m1.SetHorUnit("m");
  for (const bool longFirst : {true, false}) {
    TSignalObj f;
    MathBinaryOp(longFirst ? ch1 : m1, longFirst ? m1 : ch1, f, 0, false, moAdd);
    ASSERT_EQ(f.GetRecLen(), 1024);
    // Every fourth point of Ch1 against each point of M1: 4i - i.
    for (int i = 0; i < 1024; ++i) ASSERT_EQ(f.GetY(i), 3 * i) << i;
    EXPECT_DOUBLE_EQ(f.GetDX(), 4e-10) << longFirst;
    EXPECT_EQ(f.GetHorUnit(), "?");
  }
}

TEST_F(MathFunctionsTest, DivisionByZeroAndComplexOperands) {
  const TSignalObj a = Record(4, [](int i) { return i + 1.0; });
  TSignalObj f;
  // Divisors within 1e-50 of 0 are 1e-50 with their sign (0 counts as positive).
  MathBinaryOp(a, a, f, -0.0, true, moDiv);
  EXPECT_DOUBLE_EQ(f.GetY(1), 2e50);
  MathBinaryOp(a, Record(4, [](int i) { return i == 0 ? 0.0 : -1e-60; }), f, 0, false, moDiv);
  EXPECT_DOUBLE_EQ(f.GetY(0), 1e50);
  EXPECT_DOUBLE_EQ(f.GetY(1), -2e50);
  const auto z = [](int i) { return Complex(1 + i, 2 - i); };
  const auto w = [](int i) { return Complex(0.5 * i - 1, 0.25 + i); };
  const auto x = [](int i) { return i - 1.5; };
  struct Row {
    int op;
    bool complex1, complex2;
    std::function<Complex(Complex, Complex)> value;
  };
  for (const Row& row :
       {Row{moAdd, true, false, std::plus<>()}, Row{moSub, false, true, std::minus<>()},
        Row{moMult, true, true, std::multiplies<>()}, Row{moMult, false, true, std::multiplies<>()},
        Row{moDiv, true, true, std::divides<>()}, Row{moDiv, true, false, std::divides<>()},
        Row{moDiv, false, true, std::divides<>()}}) {
    const TSignalObj r1 = row.complex1 ? ComplexRecord(4, z) : Record(4, x);
    const TSignalObj r2 = row.complex2 ? ComplexRecord(4, w) : Record(4, x);
    MathBinaryOp(r1, r2, f, 0, false, row.op);
    EXPECT_TRUE(f.IsSpectrum());
    for (int i = 0; i < 4; ++i) {
      const Complex expected = row.value(row.complex1 ? z(i) : x(i), row.complex2 ? w(i) : x(i));
      EXPECT_NEAR(f.GetStoredY(i), expected.real(), 1e-12) << row.op << " " << i;
      EXPECT_NEAR(f.GetIm(i), expected.imag(), 1e-12) << row.op << " " << i;
    }
  }
  // A complex divisor of magnitude 0 gives 0, not NaN.
  MathBinaryOp(Record(4, x), ComplexRecord(4, [](int) { return Complex(0, 0); }), f, 0, false, moDiv);
  EXPECT_EQ(f.GetStoredY(3), 0);
  // A constant scales both parts but shifts only the real part.
  MathBinaryOp(ComplexRecord(4, z), a, f, 2, true, moMult);
  EXPECT_EQ(Complex(f.GetStoredY(3), f.GetIm(3)), 2.0 * z(3));
  MathBinaryOp(ComplexRecord(4, z), a, f, 2, true, moAdd);
  EXPECT_EQ(Complex(f.GetStoredY(3), f.GetIm(3)), z(3) + 2.0);
}

TEST_F(MathFunctionsTest, OneRecordOperatorsWithTheirScalesAndUnits) {
  const std::vector<double> x = {-1, 0, 1e-8, 0.5, 2, 300, -300};
  const int n = static_cast<int>(x.size());
  const TSignalObj source = Record(
      n, [&](int i) { return x[static_cast<size_t>(i)]; }, "V", 0.2, -0.1);
  struct Row {
    int op;
    std::function<double(double)> value;
    const char* unit;
    double scale, offset;
  };
  const double floor10 = -1e10 / std::log(10.0);
  for (const Row& row :
       {Row{moInvert, [](double v) { return -v; }, "V", 0.2, 0.1},
        Row{moAbs, [](double v) { return std::fabs(v); }, "V", 0.2, 0.1},
        Row{moExp_e, [](double v) { return std::exp(std::clamp(v, -200.0, 200.0)); }, "", 1, 4},
        Row{moExp_10,
            [](double v) { return std::pow(10.0, std::clamp(v, -86.8588963806504, 86.8588963806504)); }, "",
            1, 4},
        Row{moLog_e, [](double v) { return v <= 1e-7 ? -1e10 : std::log(v); }, "", 1, 0},
        Row{moLog_10, [&](double v) { return v <= 1e-7 ? floor10 : std::log10(v); }, "", 1, 0}}) {
    TSignalObj f;
    EXPECT_TRUE(MathUnaryOp(source, f, row.op));
    for (int i = 0; i < n; ++i) {
      const double expected = row.value(x[static_cast<size_t>(i)]);
      EXPECT_NEAR(f.GetY(i), expected, std::fabs(expected) * 1e-12) << row.op << " " << i;
    }
    EXPECT_EQ(f.GetVertUnitText(), row.unit) << row.op;
    EXPECT_DOUBLE_EQ(f.GetVertScale(), row.scale) << row.op;
    EXPECT_DOUBLE_EQ(f.GetVertOffset(), row.offset) << row.op;
  }
  // Reflection units are used as shown (0.35 V over a 0.5 V step from 0.1 V is 0.5), and
  // the result holds them as they are.
  TSignalObj tdr = Record(4, [](int) { return 0.35; });
  tdr.SetTdrUnitKind(tukRho);
  tdr.SetTdrAmplitude(0.5);
  tdr.SetTdrBase(0.1);
  TSignalObj f;
  MathUnaryOp(tdr, f, moInvert);
  EXPECT_DOUBLE_EQ(f.GetY(2), -0.5);
  EXPECT_EQ(f.GetVertUnitText(), "Rho");
}

TEST_F(MathFunctionsTest, DerivativeAndIntegralOfASine) {
  constexpr int n = 1000;
  constexpr double dx = 1e-9, omega = 2 * std::numbers::pi * 5e6;  // 200 points per period
  const TSignalObj sine = Record(
      n, [&](int i) { return std::sin(omega * i * dx); }, "V", 0.5, 0.2, dx);
  TSignalObj f;
  MathUnaryOp(sine, f, moDif_al);
  // Central differences inside, one-sided at both ends.
  for (int i = 1; i < n - 1; ++i) ASSERT_NEAR(f.GetY(i) / omega, std::cos(omega * i * dx), 1e-3) << i;
  EXPECT_NEAR(f.GetY(0) / omega, 1, 0.02);
  EXPECT_NEAR(f.GetY(n - 1) / omega, std::cos(omega * (n - 1) * dx), 0.02);
  EXPECT_EQ(f.GetVertUnitText(), "V/ s");
  EXPECT_DOUBLE_EQ(f.GetVertScale(), 0.5 / (10 * dx));
  EXPECT_EQ(f.GetVertOffset(), 0);

  const TSignalObj cosine = Record(
      n, [&](int i) { return std::cos(omega * i * dx); }, "V", 0.5, 0.2, dx);
  MathUnaryOp(cosine, f, moInt_al);
  for (int i = 0; i < n; ++i) ASSERT_NEAR(f.GetY(i) * omega, std::sin(omega * i * dx), 1e-3) << i;
  EXPECT_EQ(f.GetVertUnitText(), "V*s");
  EXPECT_DOUBLE_EQ(f.GetVertScale(), 100 * 0.5 * dx);
}

TEST_F(MathFunctionsTest, SmoothingAveragesACentredWindowRepeatingTheEnds) {
  const Values x = [](int i) { return i * i % 17; };
  // Lengths as given by the setting: m = 0 is 3 points, m = 2 is 7; an even length
  // loses a point.
  for (const auto& [length, points] : {std::pair{3, 3}, {7, 7}, {8, 7}, {1, 3}}) {
    TSignalObj f = ComplexRecord(32, [&](int i) { return Complex(x(i), -2 * x(i)); });
    SmoothSignal(f, f, length);
    for (int i = 0; i < 32; ++i) {
      double sum = 0;
      for (int j = i - points / 2; j <= i + points / 2; ++j) sum += x(std::clamp(j, 0, 31));
      ASSERT_NEAR(f.GetStoredY(i), sum / points, 1e-12) << length << " " << i;
      ASSERT_NEAR(f.GetIm(i), -2 * sum / points, 1e-12) << length << " " << i;
    }
  }
}

TEST_F(MathFunctionsTest, InverseFFTRestoresTheSourceOfASpectrum) {
  const Values x = [](int i) { return std::sin(0.3 * i) + 0.1 * i; };
  const TSignalObj ch1 = Record(256, x, "V", 0.2, 0.1, 2e-9);
  TSignalObj s1;
  CalcSpectrum(s1, ch1, fwRectang);
  TSignalObj f;
  EXPECT_TRUE(MathUnaryOp(s1, f, moIFFT));
  EXPECT_FALSE(f.IsSpectrum());
  for (int i = 0; i < 256; ++i) ASSERT_NEAR(f.GetY(i), x(i), 1e-9) << i;
  EXPECT_DOUBLE_EQ(f.GetDX(), 2e-9);
  EXPECT_EQ(f.GetHorUnit(), "s");
  EXPECT_EQ(f.GetVertUnitText(), "V");

  // The refusals: IFFT of a time record, Invert of a spectrum; neither changes F1.
  TMathDefinition def;
  def.Operator = moIFFT;
  def.Source1 = &ch1;
  def.Source1Name = "Ch1";
  const TMathOutcome real = CalcFunctionRecord(def, f);
  EXPECT_FALSE(real.Computed);
  EXPECT_EQ(real.Refusal, "\"Inverse FFT\" function is not available for non-complex argunemt Ch1!");
  def.Operator = moInvert;
  def.Source1 = &s1;
  EXPECT_EQ(CalcFunctionRecord(def, f).Refusal, "\"Invert\" function is not available for complex argunemt!");
  EXPECT_NEAR(f.GetY(7), x(7), 1e-9);
  // A spectrum whose length cannot be transformed.
  s1.SetRecLen(96);
  EXPECT_THROW(MathUnaryOp(s1, f, moIFFT), EFFTLength);
  EXPECT_EQ(f.GetRecLen(), 256);
}

TEST_F(MathFunctionsTest, InterpolationToFiveHundredTwelvePoints) {
  const Values x = [](int i) { return std::sin(2 * std::numbers::pi * i / 16.0); };
  const TSignalObj source = Record(128, x, "V", 0.2, 0.1, 4e-9);
  TSignalObj lin, sinc;
  InterpolateSignal(source, lin, false);
  InterpolateSignal(source, sinc, true);
  for (const TSignalObj* f : {&lin, &sinc}) {
    ASSERT_EQ(f->GetRecLen(), 512);
    EXPECT_DOUBLE_EQ(f->GetDX(), 1e-9);
    for (int j = 0; j < 128; ++j) ASSERT_NEAR(f->GetY(4 * j), x(j), 1e-15) << j;
  }
  for (int p = 0; p < 508; ++p) {
    const int j = p / 4, m = p % 4;
    ASSERT_NEAR(lin.GetY(p), x(j) + (x(j + 1) - x(j)) * m / 4, 1e-12) << p;
  }
  // The last source point is held.
  for (int p = 508; p < 512; ++p) EXPECT_EQ(lin.GetY(p), x(127));
  // sin(x)/x puts a band-limited sine back between the points, away from the ends.
  for (int p = 160; p < 352; ++p)
    ASSERT_NEAR(sinc.GetY(p), std::sin(2 * std::numbers::pi * p / 64.0), 0.02) << p;
  // More than 256 points: a copy.
  InterpolateSignal(Record(1024, x), lin, false);
  EXPECT_EQ(lin.GetRecLen(), 1024);
  EXPECT_EQ(lin.GetY(1000), x(1000));
}

}  // namespace
}  // namespace norv
