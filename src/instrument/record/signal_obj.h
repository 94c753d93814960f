#pragma once
// The waveform record: one waveform or complex spectrum of up to 4096 points with the
// axes that turn point indices into time (or bits, distance, frequency) and values into
// volts (or reflection units), and the view parameters the screen uses for zoom, spectra
// and logarithmic view. Fourteen of them, one per displayable trace, live for the run.
//
// Screen coordinates: X 0..4096 spans the shown window, Y 0..1024 spans eight divisions
// with the centre line at 512 (values grow upwards).

#include <algorithm>
#include <array>
#include <cstdint>
#include <iosfwd>
#include <span>
#include <string>
#include <vector>

#include "framework/traces/trace_names.h"

namespace norv {

inline constexpr int kMaxRecLen = 4096;
inline constexpr int kMinFileRecLen = 32;
inline constexpr int kDefaultRecLen = 512;
inline constexpr int kFFTWindowCount = 6;  // Rectangular .. Kaiser-Bessel

// How far across the plot a trace draws point k of the count points it shows, on a plot
// whose ten divisions are width wide. The shown window spans 10.24 divisions: its last
// points lie beyond the right edge.
inline double ShownPointPlotX(int k, int count, double width) {
  return k * (width / (count * 500.0 / 512.0));
}

// Reflection unit of a record's values.
enum TTdrUnitKind : uint8_t { tukNone = 0, tukRho = 1, tukOhm = 2, tukNoUnit = 3 };

// Spectrum views (ComplexView).
enum TComplexView : uint8_t { cvMagnitude = 0, cvPhase = 1, cvReal = 2, cvImaginary = 3 };

class TSignalObj {
 public:
  // --- stored fields: setters keep the value as given ------------------------------
  const std::string& GetTitle() const { return title_; }
  void SetTitle(const std::string& v) { title_ = v; }
  uint16_t GetRecLen() const { return recLen_; }
  void SetRecLen(uint16_t v) {
    recLen_ = v;
    lengthSet_ = true;
  }
  // False while the length is the placeholder of a record never acquired, computed or read.
  bool HasLength() const { return lengthSet_; }
  bool IsSpectrum() const { return isSpectrum_; }
  void SetSpectrum(bool v) { isSpectrum_ = v; }

  // Points 0..4095; any other index throws std::out_of_range.
  double GetStoredY(int i) const { return y_[Checked(i)]; }
  // Points 0..4095 in a row, for passes over many at once.
  const double* StoredYData() const { return y_.data(); }
  void SetY(int i, double v) { y_[Checked(i)] = v; }
  // Every point 0.
  void ClearY() { std::fill(y_.begin(), y_.end(), 0.0); }
  double GetIm(int i) const { return im_[Checked(i)]; }
  void SetIm(int i, double v) { im_[Checked(i)] = v; }
  const double* StoredImData() const { return im_.data(); }
  // Points 0..Re.size() - 1 set to Re, and their Im to Im unless it is empty (then of
  // Re's size); more than 4096 points, or sizes that differ, throw std::out_of_range.
  void SetPoints(std::span<const double> re, std::span<const double> im = {});

  const std::string& GetHorUnit() const { return horUnit_; }
  void SetHorUnit(const std::string& v) { horUnit_ = v; }
  double GetX0() const { return x0_; }
  void SetX0(double v) { x0_ = v; }
  double GetDX() const { return dx_; }
  void SetDX(double v) { dx_ = v; }
  uint16_t GetFirstShown() const { return firstShown_; }
  void SetFirstShown(uint16_t v) { firstShown_ = v; }
  uint16_t GetZoomStep() const { return zoomStep_; }
  // The smallest power of two not below n (1 for n <= 1), reduced to RecLen div 8 when
  // fewer than eight points would stay shown; never below 1.
  void SetZoomStep(int n);

  const std::string& GetVertUnit() const { return vertUnit_; }
  void SetVertUnit(const std::string& v) { vertUnit_ = v; }
  double GetVertOffset() const { return vertOffset_; }
  void SetVertOffset(double v) { vertOffset_ = v; }
  double GetVertScale() const { return vertScale_; }
  void SetVertScale(double v) { vertScale_ = v; }
  double GetDisplayScale() const { return displayScale_; }
  void SetDisplayScale(double v) { displayScale_ = v; }
  double GetDisplayOffset() const { return displayOffset_; }
  void SetDisplayOffset(double v) { displayOffset_ = v; }

  uint8_t GetComplexView() const { return complexView_; }
  void SetComplexView(uint8_t v) { complexView_ = v; }
  bool GetSuppressDC() const { return suppressDC_; }
  void SetSuppressDC(bool v) { suppressDC_ = v; }
  bool GetSuppressPhase() const { return suppressPhase_; }
  void SetSuppressPhase(bool v) { suppressPhase_ = v; }
  double GetSuppressLevel() const { return suppressLevel_; }
  void SetSuppressLevel(double dB);  // also updates the suppression threshold
  bool GetLogView() const { return logView_; }
  void SetLogView(bool v) { logView_ = v; }
  double GetLogScale() const { return logScale_; }
  void SetLogScale(double v) { logScale_ = v; }
  double GetLogOffset() const { return logOffset_; }
  void SetLogOffset(double v) { logOffset_ = v; }
  double GetPhaseOffset() const { return phaseOffset_; }
  void SetPhaseOffset(double v) { phaseOffset_ = v; }
  double GetPhaseScale() const { return phaseScale_; }
  void SetPhaseScale(double v) { phaseScale_ = v; }
  double GetMaxMagnitude() const { return maxMagnitude_; }
  double GetSuppressThreshold() const { return suppressThreshold_; }
  uint8_t GetFFTWindow() const { return fftWindow_; }
  void SetFFTWindow(uint8_t v) { fftWindow_ = v; }
  double GetPropagation() const { return propagation_; }
  void SetPropagation(double v) { propagation_ = v; }

  uint8_t GetTdrUnitKind() const { return tdrUnitKind_; }
  void SetTdrUnitKind(uint8_t v) { tdrUnitKind_ = v; }
  double GetTdrAmplitude() const { return tdrAmplitude_; }
  void SetTdrAmplitude(double v) { tdrAmplitude_ = v; }
  double GetTdrBase() const { return tdrBase_; }
  void SetTdrBase(double v) { tdrBase_ = v; }
  bool GetRaw() const { return raw_; }
  void SetRaw(bool v) { raw_ = v; }

  // Two consumers watch for new data; MarkChanged raises both flags and each consumer
  // clears its own once it has used the data.
  void MarkChanged() { changedA_ = changedB_ = true; }
  bool GetChangedA() const { return changedA_; }
  void ClearChangedA() { changedA_ = false; }
  bool GetChangedB() const { return changedB_; }
  void ClearChangedB() { changedB_ = false; }

  // --- values ----------------------------------------------------------------------
  // Y[i], or in reflection units (Y[i] - TdrBase) / TdrAmplitude, further in Ohm for
  // tukOhm; Raw switches the conversion off. Without an amplitude the coefficient is 0.
  double GetY(int i) const { return Converted(y_[Checked(i)]); }
  // GetY of points 0..Values.size() - 1 (at most 4096, else std::out_of_range).
  void GetYs(std::span<double> values) const;
  // |Y[i] + j Im[i]|; only for spectra (EAssertion otherwise).
  double GetMagnitude(int i) const;
  // The point FirstShown + i as drawn: waveform value, or spectrum magnitude (dB in log
  // view), phase in degrees, real or imaginary part by ComplexView.
  double GetDisplayValue(int i) const;
  double GetEffOffset() const;
  double GetEffScale() const;
  bool IsLogView() const;
  // "Rho", "Ω" or "" in reflection units, else VertUnit.
  std::string GetVertUnitText() const;
  // As shown on screen: "°" in phase view, "dB" + GetVertUnitText() in log view.
  std::string GetDisplayUnitShort() const;
  // As GetDisplayUnitShort, but log view gives "dB" + the stored VertUnit.
  std::string GetVertUnitTextFull() const;

  // --- axes and screen positions (indices may be fractional) -------------------------
  double IndexToX(double i) const { return x0_ + i * dx_; }
  double ShownIndexToX(double i) const { return IndexToX(i + firstShown_); }
  double XToIndex(double x) const;  // 0 when the record has no sample interval
  double XToShownIndex(double x) const { return XToIndex(x) - firstShown_; }
  double GetFirstShownX() const { return x0_ + firstShown_ * dx_; }
  double ScreenXToShownIndex(double sx) const;
  double ScreenXToIndex(double sx) const { return ScreenXToShownIndex(sx) + firstShown_; }
  double ScreenXToX(double sx) const { return IndexToX(ScreenXToIndex(sx)); }
  double IndexToScreenX(double i) const { return ShownIndexToScreenX(i - firstShown_); }
  double ShownIndexToScreenX(double i) const;  // 0 for an empty record
  // Rounded half to even; outside the 32-bit range (or NaN) throws std::out_of_range.
  int32_t XToScreenX(double x) const;
  double ScreenYToValue(double sy) const;
  // Clamped to +-2147483647, so callers may round it to an integer; a flat scale puts
  // values above the offset at the top limit, below it at the bottom limit, and the
  // offset itself (and NaN) on the centre line.
  double ValueToScreenY(double v) const;
  double GetTimePerDiv() const { return recLen_ / 512.0 * 50 * dx_; }
  int GetShownCount() const { return recLen_ / zoomStep_; }
  static constexpr int GetDivisionsPerHalfScreen() { return 4; }

  // --- whole record ------------------------------------------------------------------
  // Axes, units and reflection fields; not the title, points, zoom window, view
  // settings, magnitude bookkeeping or change flags.
  void AssignHeader(const TSignalObj& src);
  // AssignHeader, then the points (Im too for a spectrum). RecLen 0 (or above 4096)
  // throws std::out_of_range and leaves this record unchanged.
  void Assign(const TSignalObj& src);
  void UpdateMaxMagnitude();  // spectra only: largest magnitude of points 1..RecLen-1
  void UpdateSuppressThreshold();

  // --- files (waveform_files.cpp); never throw, change nothing unless they succeed ---
  bool SaveToBinaryFile(std::ostream& out) const;
  bool LoadFromBinaryFile(std::istream& in);
  bool SaveToTextFile(std::ostream& out, bool yOnly) const;
  bool LoadFromTextFile(std::istream& in);

 private:
  // Inline, since the point store calls it twice per point; the throw stays out of line.
  static std::size_t Checked(int i) {
    if (i < 0 || i >= kMaxRecLen) [[unlikely]]
      ThrowIndexOutOfRange(i);
    return static_cast<std::size_t>(i);
  }
  [[noreturn]] static void ThrowIndexOutOfRange(int i);
  static void CheckPointCount(size_t n) {
    if (n > kMaxRecLen) [[unlikely]]
      ThrowPointCount(n);
  }
  [[noreturn]] static void ThrowPointCount(size_t n);
  bool Converts() const { return tdrUnitKind_ != tukNone && !raw_; }
  double Converted(double v) const { return Converts() ? InReflectionUnits(v) : v; }
  double InReflectionUnits(double v) const;

  std::string title_;
  uint16_t recLen_ = kDefaultRecLen;
  bool lengthSet_ = false;
  bool isSpectrum_ = false;
  std::vector<double> y_ = std::vector<double>(kMaxRecLen, 0.0);
  std::vector<double> im_ = std::vector<double>(kMaxRecLen, 0.0);
  std::string horUnit_;
  double x0_ = 0;
  double dx_ = 0;
  uint16_t firstShown_ = 0;
  uint16_t zoomStep_ = 1;
  std::string vertUnit_;
  double vertOffset_ = 0;
  double vertScale_ = 0.5;
  double displayScale_ = 1.0;
  double displayOffset_ = 0;
  uint8_t complexView_ = cvMagnitude;
  bool suppressDC_ = false;
  bool suppressPhase_ = false;
  double suppressLevel_ = 0;
  bool logView_ = false;
  double logScale_ = 6.0;
  double logOffset_ = 0;
  double phaseOffset_ = 0;
  double phaseScale_ = 1.0;
  double maxMagnitude_ = 0;
  double suppressThreshold_ = 0;
  uint8_t fftWindow_ = 0;
  double propagation_ = 0;
  bool changedA_ = false;
  bool changedB_ = false;
  uint8_t tdrUnitKind_ = tukNone;
  double tdrAmplitude_ = 0;
  double tdrBase_ = 0;
  bool raw_ = false;
};

// The fourteen records, indexed by trace id Ch1 .. S2.
inline constexpr int kSignalObjCount = kRecordTraceCount;

class TSignalObjs {
 public:
  // Creates the records with their start-up values (InitChannelSignals).
  TSignalObjs();
  // XY and the ids after it have no record: std::out_of_range.
  TSignalObj& operator[](TTraceId id) { return At(TraceIndex(id)); }
  const TSignalObj& operator[](TTraceId id) const { return At(TraceIndex(id)); }
  // By number 0..13; any other throws std::out_of_range.
  TSignalObj& At(int index);
  const TSignalObj& At(int index) const;
  // S1 and S2 are spectra; the four channel records get volts over seconds, 0.1 V per
  // division, 100 ps sample interval and zero points.
  void InitChannelSignals();

 private:
  std::array<TSignalObj, kSignalObjCount> records_;
};

// The program's records, created on first use (or by CreateSignalObjects at start-up)
// and held by ProgramObjects. Creating them also lets BuildTraceNames set their titles.
TSignalObjs& SignalObjs();
void CreateSignalObjects();

// The record of a trace that is shown and has a record of its own; none when it is not
// shown or was switched on before its first record: its zeros and empty axes would pass
// for a waveform.
const TSignalObj* ShownRecord(TTraceId source);

}  // namespace norv
