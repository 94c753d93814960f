#pragma once
// The spectrum core: an in-place radix-2 complex FFT on separate real and imaginary
// arrays, the six spectral windows and their two constant tables.
//
// Output scaling of the forward transform: bin 0 is divided by N, every other bin is
// multiplied by 2 / N, so a sine of amplitude A on bin k shows magnitude A at bins k and
// N - k and a constant shows its value at bin 0. The inverse transform multiplies by 0.5;
// forward, doubling bin 0, then inverse gives the input back.

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>

namespace norv {

// Callers hold work arrays of this many entries (8192 points and four spare).
inline constexpr int kFFTWorkSize = 8196;
inline constexpr int kMaxFFTLength = 8192;

// The window byte of a spectrum record.
enum TFFTWindowKind : uint8_t {
  fwRectang = 0,
  fwHamming = 1,
  fwHanning = 2,
  fwFlattop = 3,
  fwBlackHarr = 4,
  fwKaiserBess = 5,
};
inline constexpr int kWindowKindCount = 6;

// A transform length that is not a power of two from 2 to 8192; Error() is 1 below 2
// points, 2 otherwise.
class EFFTLength : public std::runtime_error {
 public:
  EFFTLength(int n, uint8_t error);
  uint8_t Error() const { return error_; }

 private:
  uint8_t error_;
};

// 0 with log2N = log2(n) for an allowed length; 1 when n < 2; 2 when n is no power of two
// up to 8192 (log2N then 0).
uint8_t CheckFFTLength(int n, uint8_t& log2N);

// Transforms points 0..n-1 of re and im in place; entries from n on are not touched. A
// refused length throws EFFTLength, arrays shorter than n std::out_of_range; neither
// changes anything.
void FFT_Transform(int n, bool inverse, std::span<double> re, std::span<double> im);

// Lets tests run the two-wide kernel on a processor that would choose the four-wide one.
void AllowWideFFTKernel(bool allowed);

// Window values for point i of n, centred on the middle of the record; kind 0 applies
// no window (1.0).
double HammingWindow(int i, int n);
double HanningWindow(int i, int n);
double FlattopWindow(int i, int n);
double BlackmanHarrisWindow(int i, int n);
double KaiserBesselWindow(int i, int n);
// By window kind; a kind outside 0..5 throws std::out_of_range.
double WindowValue(int kind, int i, int n);
// WindowValue for points 0..n-1, made once per kind and length; n must be an allowed
// transform length (EFFTLength otherwise).
std::span<const double> WindowTable(int kind, int n);

// Table rows by the window byte of waveform record `signalIndex` (0..13); a column beyond
// the table (k >= 3, k >= 5) or a window byte outside 0..5 throws std::out_of_range.
// Peak interpolation: the fractional bin offset of a peak is d = (f0 r - f1) / (f2 r + 1)
// with r the magnitude ratio of the larger neighbour bin to the peak bin.
double GetWindowMeasFactor(int signalIndex, int k);
// The window's cosine-sum coefficients a0, a1, a2, a3 (alternating signs) and its order.
double GetWindowCoefficient(int signalIndex, int k);

}  // namespace norv
