#include "analysis/fft.h"

#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <numbers>
#include <utility>
#include <vector>

#include "instrument/record/signal_obj.h"

namespace norv {

namespace {

constexpr int kMaxLog2 = 13;
constexpr double kHalfRoot2 = 0.7071067811865476;

// Everything a transform of one length needs, made once per length from the twiddle
// recursion and kept for the run (the results equal those of tables made per call).
struct TFFTPlan {
  int n = 0;
  int log2n = 0;
  // The twiddles of the stage with half-span h at offset h - 1, one entry per butterfly
  // index j = 0..h-1, so every stage reads its twiddles in order.
  std::vector<double> wr;
  std::vector<double> wi;
  // The index pairs (i, j), i < j, that the bit reversal swaps.
  std::vector<std::pair<uint16_t, uint16_t>> swaps;
};

// Entry k of the tables is w_k = exp(-i 2 pi k / n), each entry the previous one times w_1;
// for n < 6 only entries 0 and 1.
void MakeFFTTwiddles(int n, std::vector<double>& sine, std::vector<double>& cosine) {
  const int half = n / 2;
  sine.assign(static_cast<size_t>(std::max(half, 2)), 0.0);
  cosine.assign(sine.size(), 0.0);
  const double c = std::cos(2 * std::numbers::pi / n);
  const double s = -std::sqrt(1 - c * c);
  cosine[0] = 1;
  sine[0] = 0;
  cosine[1] = c;
  sine[1] = s;
  for (int k = 2; k < half; ++k) {
    const auto u = static_cast<size_t>(k);
    cosine[u] = cosine[u - 1] * c - sine[u - 1] * s;
    sine[u] = cosine[u - 1] * s + sine[u - 1] * c;
  }
}

std::unique_ptr<TFFTPlan> MakePlan(int log2n) {
  auto plan = std::make_unique<TFFTPlan>();
  const int n = 1 << log2n;
  plan->n = n;
  plan->log2n = log2n;
  std::vector<double> sine;
  std::vector<double> cosine;
  MakeFFTTwiddles(n, sine, cosine);
  plan->wr.resize(static_cast<size_t>(n - 1));
  plan->wi.resize(static_cast<size_t>(n - 1));
  for (int h = 1; h < n; h *= 2) {
    const int stride = n / (2 * h);
    double* wr = plan->wr.data() + h - 1;
    double* wi = plan->wi.data() + h - 1;
    for (int j = 0; j < h; ++j) {
      wr[j] = cosine[static_cast<size_t>(j * stride)];
      wi[j] = sine[static_cast<size_t>(j * stride)];
    }
    // The butterflies at 1, -i, exp(-i pi/4) and exp(-i 3pi/4) take the exact factors,
    // so the first two are free of rounding.
    wr[0] = 1;
    wi[0] = 0;
    if (h >= 2) {
      wr[h / 2] = 0;
      wi[h / 2] = -1;
    }
    if (h >= 4) {
      wr[h / 4] = kHalfRoot2;
      wi[h / 4] = -kHalfRoot2;
      wr[3 * h / 4] = -kHalfRoot2;
      wi[3 * h / 4] = -kHalfRoot2;
    }
  }
  // The classic counter: j runs through the bit-reversed indices of i.
  int j = 0;
  for (int i = 0; i < n - 1; ++i) {
    if (i < j) plan->swaps.emplace_back(static_cast<uint16_t>(i), static_cast<uint16_t>(j));
    int m = n / 2;
    while (m >= 1 && m <= j) {
      j -= m;
      m /= 2;
    }
    j += m;
  }
  return plan;
}

const TFFTPlan& PlanFor(int log2n) {
  static const std::array<std::unique_ptr<TFFTPlan>, kMaxLog2 + 1> plans = [] {
    std::array<std::unique_ptr<TFFTPlan>, kMaxLog2 + 1> all;
    for (int k = 1; k <= kMaxLog2; ++k) all[static_cast<size_t>(k)] = MakePlan(k);
    return all;
  }();
  return *plans[static_cast<size_t>(log2n)];
}

// The stages work on vectors of doubles: two wide on every x86-64 processor, four wide
// where AVX2 is present (chosen once at run time). The kernels are always inlined into the
// function built for their width, so the note that a four-wide vector passed between
// functions built without AVX would change the calling convention does not apply.
using V2 = double __attribute__((vector_size(16)));
using V4 = double __attribute__((vector_size(32)));
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpsabi"

template <class V>
[[gnu::always_inline]] inline V Load(const double* p) {
  V v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
template <class V>
[[gnu::always_inline]] inline void Store(double* p, const V& v) {
  std::memcpy(p, &v, sizeof v);
}

// t = w x[q]; x[q] = x[p] - t; x[p] = x[p] + t.
template <class T>
[[gnu::always_inline]] inline void Butterfly(T& pr, T& pi, T& qr, T& qi, T wr, T wi) {
  const T tr = qr * wr - qi * wi;
  const T ti = qr * wi + qi * wr;
  qr = pr - tr;
  qi = pi - ti;
  pr = pr + tr;
  pi = pi + ti;
}

// The output scaling, folded into the last stage: the factors are powers of two, so
// scaling there gives the same numbers as a separate pass.
struct TScale {
  double re = 1;
  double im = 1;
};

// Stages 1 and 2 on every group of four points (twiddles 1 and -i, no multiplication);
// negates the imaginary input first for the inverse transform.
template <bool Conjugate, bool Scale>
void FirstTwoStages(double* re, double* im, int n, TScale scale) {
  for (int p = 0; p < n; p += 4) {
    double r0 = re[p], r1 = re[p + 1], r2 = re[p + 2], r3 = re[p + 3];
    double i0 = im[p], i1 = im[p + 1], i2 = im[p + 2], i3 = im[p + 3];
    if constexpr (Conjugate) {
      i0 = -i0;
      i1 = -i1;
      i2 = -i2;
      i3 = -i3;
    }
    // Stage 1, twiddle 1.
    const double a0r = r0 + r1, a0i = i0 + i1, a1r = r0 - r1, a1i = i0 - i1;
    const double a2r = r2 + r3, a2i = i2 + i3, a3r = r2 - r3, a3i = i2 - i3;
    // Stage 2: twiddle 1 for (0, 2); -i for (1, 3), where t = (Im, -Re).
    double o0r = a0r + a2r, o0i = a0i + a2i, o2r = a0r - a2r, o2i = a0i - a2i;
    double o1r = a1r + a3i, o1i = a1i - a3r, o3r = a1r - a3i, o3i = a1i + a3r;
    if constexpr (Scale) {
      o0r *= scale.re, o1r *= scale.re, o2r *= scale.re, o3r *= scale.re;
      o0i *= scale.im, o1i *= scale.im, o2i *= scale.im, o3i *= scale.im;
    }
    re[p] = o0r, re[p + 1] = o1r, re[p + 2] = o2r, re[p + 3] = o3r;
    im[p] = o0i, im[p + 1] = o1i, im[p + 2] = o2i, im[p + 3] = o3i;
  }
}

// One stage of half-span h >= 4 (a multiple of the lanes).
template <class V, bool Scale>
[[gnu::always_inline]] inline void OneStage(double* re, double* im, int n, int h, const TFFTPlan& plan,
                                            TScale scale) {
  const double* wr = plan.wr.data() + h - 1;
  const double* wi = plan.wi.data() + h - 1;
  for (int b = 0; b < n; b += 2 * h) {
    for (int j = 0; j < h; j += static_cast<int>(sizeof(V) / sizeof(double))) {
      double* pr = re + b + j;
      double* pi = im + b + j;
      V xr0 = Load<V>(pr), xi0 = Load<V>(pi), xr1 = Load<V>(pr + h), xi1 = Load<V>(pi + h);
      Butterfly(xr0, xi0, xr1, xi1, Load<V>(wr + j), Load<V>(wi + j));
      if constexpr (Scale) {
        xr0 *= scale.re, xr1 *= scale.re;
        xi0 *= scale.im, xi1 *= scale.im;
      }
      Store(pr, xr0), Store(pi, xi0), Store(pr + h, xr1), Store(pi + h, xi1);
    }
  }
}

// Stages of half-span h >= 4 and 2h in one sweep: the same butterflies in the same order
// for each point, without storing between the two stages.
template <class V, bool Scale>
[[gnu::always_inline]] inline void TwoStages(double* re, double* im, int n, int h, const TFFTPlan& plan,
                                             TScale scale) {
  const double* w1r = plan.wr.data() + h - 1;
  const double* w1i = plan.wi.data() + h - 1;
  const double* w2r = plan.wr.data() + 2 * h - 1;
  const double* w2i = plan.wi.data() + 2 * h - 1;
  for (int b = 0; b < n; b += 4 * h) {
    for (int j = 0; j < h; j += static_cast<int>(sizeof(V) / sizeof(double))) {
      double* pr = re + b + j;
      double* pi = im + b + j;
      V r0 = Load<V>(pr), r1 = Load<V>(pr + h), r2 = Load<V>(pr + 2 * h), r3 = Load<V>(pr + 3 * h);
      V i0 = Load<V>(pi), i1 = Load<V>(pi + h), i2 = Load<V>(pi + 2 * h), i3 = Load<V>(pi + 3 * h);
      const V ar = Load<V>(w1r + j), ai = Load<V>(w1i + j);
      Butterfly(r0, i0, r1, i1, ar, ai);
      Butterfly(r2, i2, r3, i3, ar, ai);
      Butterfly(r0, i0, r2, i2, Load<V>(w2r + j), Load<V>(w2i + j));
      Butterfly(r1, i1, r3, i3, Load<V>(w2r + j + h), Load<V>(w2i + j + h));
      if constexpr (Scale) {
        r0 *= scale.re, r1 *= scale.re, r2 *= scale.re, r3 *= scale.re;
        i0 *= scale.im, i1 *= scale.im, i2 *= scale.im, i3 *= scale.im;
      }
      Store(pr, r0), Store(pr + h, r1), Store(pr + 2 * h, r2), Store(pr + 3 * h, r3);
      Store(pi, i0), Store(pi + h, i1), Store(pi + 2 * h, i2), Store(pi + 3 * h, i3);
    }
  }
}

// Decimation in time: input in bit-reversed order, output in natural order.
template <class V>
[[gnu::always_inline]] inline void FFTCoreWith(const TFFTPlan& plan, bool inverse, double* re, double* im) {
  const int n = plan.n;
  for (const auto& [i, j] : plan.swaps) {
    std::swap(re[i], re[j]);
    std::swap(im[i], im[j]);
  }
  const TScale scale = inverse ? TScale{0.5, -0.5} : TScale{2.0 / n, 2.0 / n};
  if (n == 2) {
    const double sign = inverse ? -1 : 1;
    const double r0 = re[0], r1 = re[1], i0 = sign * im[0], i1 = sign * im[1];
    re[0] = (r0 + r1) * scale.re, im[0] = (i0 + i1) * scale.im;
    re[1] = (r0 - r1) * scale.re, im[1] = (i0 - i1) * scale.im;
  } else {
    const bool last = n == 4;
    if (inverse) {
      last ? FirstTwoStages<true, true>(re, im, n, scale) : FirstTwoStages<true, false>(re, im, n, scale);
    } else {
      last ? FirstTwoStages<false, true>(re, im, n, scale) : FirstTwoStages<false, false>(re, im, n, scale);
    }
    int h = 4;
    for (; 4 * h <= n; h *= 4) {
      (4 * h == n) ? TwoStages<V, true>(re, im, n, h, plan, scale)
                   : TwoStages<V, false>(re, im, n, h, plan, scale);
    }
    if (h < n) OneStage<V, true>(re, im, n, h, plan, scale);
  }
  if (!inverse) {
    // Bin 0 takes 1 / N, half the factor of the others.
    re[0] *= 0.5;
    im[0] *= 0.5;
  }
}

void FFTCoreNarrow(const TFFTPlan& plan, bool inverse, double* re, double* im) {
  FFTCoreWith<V2>(plan, inverse, re, im);
}

#if defined(__x86_64__)
// Without contraction to fused multiply-adds (ISO mode), both widths give the same numbers.
[[gnu::target("avx2")]] void FFTCoreWide(const TFFTPlan& plan, bool inverse, double* re, double* im) {
  FFTCoreWith<V4>(plan, inverse, re, im);
}
#endif
#pragma GCC diagnostic pop

bool& WideKernelAllowed() {
  static bool allowed = true;
  return allowed;
}

void FFTCore(const TFFTPlan& plan, bool inverse, double* re, double* im) {
#if defined(__x86_64__)
  static const bool wide = __builtin_cpu_supports("avx2");
  if (wide && WideKernelAllowed()) return FFTCoreWide(plan, inverse, re, im);
#endif
  FFTCoreNarrow(plan, inverse, re, im);
}

std::string LengthMessage(int n, uint8_t error) {
  const std::string head =
      "FFT of " + std::to_string(n) + " points refused (Error " + std::to_string(error) + "): ";
  return head +
         (error == 1 ? "at least 2 points are needed" : "the length must be a power of two from 2 to 8192");
}

// Centred cosine sums: t = 2 pi (i - (n - 1) / 2) / n; cos 2t and cos 3t follow from
// cos t by the multiple-angle formulas.
struct TCosines {
  double c1, c2, c3;
};
TCosines CentredCosines(int i, int n) {
  const double t = 2 * std::numbers::pi * (i - (n - 1) / 2.0) / n;
  const double c = std::cos(t);
  return {c, 2 * c * c - 1, (4 * c * c - 3) * c};
}

// Rows by window kind.
constexpr double kMeasFactors[kWindowKindCount][3] = {
    {1.0, 0.0, 1.0},  {1.873259, 0.797869, 1.150778}, {2.0, 1.0, 1.0},
    {3.0, 1.95, 1.1}, {3.232614, 2.199934, 1.065358}, {3.232614, 2.199934, 1.065358},
};
constexpr double kCoefficients[kWindowKindCount][5] = {
    {1, 0, 0, 0, 0},
    {0.54, -0.46, 0, 0, 1},
    {0.5, -0.5, 0, 0, 1},
    {0.281, -0.521, 0.198, 0, 2},
    {0.35875, -0.48829, 0.14128, -0.01168, 3},
    {0.40243, -0.49804, 0.09831, -0.00122, 3},
};

template <size_t Columns>
double TableEntry(const double (&table)[kWindowKindCount][Columns], int signalIndex, int k) {
  const int kind = SignalObjs().At(signalIndex).GetFFTWindow();
  if (kind >= kWindowKindCount || k < 0 || k >= static_cast<int>(Columns)) {
    throw std::out_of_range("window table entry " + std::to_string(kind) + ", " + std::to_string(k) +
                            " out of range");
  }
  return table[kind][k];
}

}  // namespace

void AllowWideFFTKernel(bool allowed) { WideKernelAllowed() = allowed; }

EFFTLength::EFFTLength(int n, uint8_t error) : std::runtime_error(LengthMessage(n, error)), error_(error) {}

uint8_t CheckFFTLength(int n, uint8_t& log2N) {
  log2N = 0;
  if (n < 2) return 1;
  for (int k = 1; k <= kMaxLog2; ++k) {
    if (n == 1 << k) {
      log2N = static_cast<uint8_t>(k);
      return 0;
    }
  }
  return 2;
}

void FFT_Transform(int n, bool inverse, std::span<double> re, std::span<double> im) {
  uint8_t log2n = 0;
  if (const uint8_t error = CheckFFTLength(n, log2n)) throw EFFTLength(n, error);
  if (re.size() < static_cast<size_t>(n) || im.size() < static_cast<size_t>(n)) {
    throw std::out_of_range("FFT of " + std::to_string(n) + " points on shorter work arrays");
  }
  FFTCore(PlanFor(log2n), inverse, re.data(), im.data());
}

double HammingWindow(int i, int n) { return 0.543478 + 0.456522 * CentredCosines(i, n).c1; }

double HanningWindow(int i, int n) { return 0.5 + 0.5 * CentredCosines(i, n).c1; }

double FlattopWindow(int i, int n) {
  const TCosines c = CentredCosines(i, n);
  return 0.281 + 0.521 * c.c1 + 0.198 * c.c2;
}

double BlackmanHarrisWindow(int i, int n) {
  const TCosines c = CentredCosines(i, n);
  return 0.35875 + 0.48829 * c.c1 + 0.14128 * c.c2 + 0.01168 * c.c3;
}

double KaiserBesselWindow(int i, int n) {
  const TCosines c = CentredCosines(i, n);
  return 0.40243 + 0.49804 * c.c1 + 0.09831 * c.c2 + 0.00122 * c.c3;
}

double WindowValue(int kind, int i, int n) {
  switch (kind) {
    case fwRectang:
      return 1.0;
    case fwHamming:
      return HammingWindow(i, n);
    case fwHanning:
      return HanningWindow(i, n);
    case fwFlattop:
      return FlattopWindow(i, n);
    case fwBlackHarr:
      return BlackmanHarrisWindow(i, n);
    case fwKaiserBess:
      return KaiserBesselWindow(i, n);
    default:
      throw std::out_of_range("window kind " + std::to_string(kind) + " out of range");
  }
}

std::span<const double> WindowTable(int kind, int n) {
  uint8_t log2n = 0;
  if (const uint8_t error = CheckFFTLength(n, log2n)) throw EFFTLength(n, error);
  WindowValue(kind, 0, n);  // refuses an unknown kind
  static std::array<std::array<std::vector<double>, kMaxLog2 + 1>, kWindowKindCount> tables;
  std::vector<double>& table = tables[static_cast<size_t>(kind)][log2n];
  if (table.empty()) {
    table.resize(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) table[static_cast<size_t>(i)] = WindowValue(kind, i, n);
  }
  return table;
}

double GetWindowMeasFactor(int signalIndex, int k) { return TableEntry(kMeasFactors, signalIndex, k); }

double GetWindowCoefficient(int signalIndex, int k) { return TableEntry(kCoefficients, signalIndex, k); }

}  // namespace norv
