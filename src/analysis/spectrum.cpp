#include "analysis/spectrum.h"

#include <span>
#include <stdexcept>
#include <vector>

#include "analysis/fft.h"
#include "framework/language/language.h"

namespace norv {

void CheckRecordFFTLength(int n) {
  uint8_t log2n = 0;
  const uint8_t error = CheckFFTLength(n, log2n);
  if (error != 0) throw EFFTLength(n, error);
  if (n > kMaxRecLen) throw EFFTLength(n, 2);
}

std::string SpectrumHorUnit(const std::string& unit) {
  if (unit == "s") return "Hz";
  if (unit == "m") return "1/m";
  if (unit == "Bit") return "";
  return "1/ft";
}

void CalcSpectrum(TSignalObj& result, const TSignalObj& source, int window) {
  const int n = source.GetRecLen();
  CheckRecordFFTLength(n);
  if (window < 0 || window >= kWindowKindCount) {
    throw std::out_of_range("window kind " + std::to_string(window) + " out of range");
  }
  std::vector<double> re(static_cast<size_t>(n)), im(static_cast<size_t>(n), 0.0);
  source.GetYs(re);
  if (window != fwRectang) {
    const std::span<const double> w = WindowTable(window, n);
    for (size_t i = 0; i < re.size(); ++i) re[i] *= w[i];
  }
  FFT_Transform(n, false, re, im);

  const double dx = source.GetDX();
  const std::string unit = source.GetVertUnitText();
  const std::string horUnit = SpectrumHorUnit(source.GetHorUnit());
  result.AssignHeader(source);
  // The values are already in display units.
  result.SetRaw(true);
  result.SetVertUnit(unit);
  result.SetPoints(re, im);
  result.SetSpectrum(true);
  result.SetFFTWindow(static_cast<uint8_t>(window));
  result.SetTitle(GetLangStr("Spectrum"));
  result.SetVertOffset(0);
  result.SetHorUnit(horUnit);
  result.SetDX(dx != 0 ? 1 / (n * dx) : 0);
  result.SetX0(0);
}

std::string CalcSpectrumOf(TSignalObj& result, const TSignalObj& source, const std::string& sourceName,
                           int window) {
  if (source.IsSpectrum()) return sourceName + GetLangStr("FFTErr1");
  CalcSpectrum(result, source, window);
  result.UpdateMaxMagnitude();
  result.MarkChanged();
  return "";
}

}  // namespace norv
