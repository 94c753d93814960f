#include "instrument/record/signal_obj.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <numbers>
#include <stdexcept>
#include <string>

#include "framework/settings/handler.h"
#include "framework/settings/program_objects.h"
#include "framework/util/errors.h"
#include "framework/util/numeric_utils.h"
#include "units/tdr_units.h"

namespace norv {

namespace {

constexpr double kScreenWidth = 4096;
constexpr double kScreenHeight = 1024;
constexpr double kScreenCentreY = 512;
constexpr double kDivisions = 8;
constexpr double kDegreesPerRadian = 57.29577951308232;
constexpr double kScreenYLimit = 2147483647.0;
constexpr int kMinShownPoints = 8;

bool IsPhaseView(const TSignalObj& r) { return r.IsSpectrum() && r.GetComplexView() == cvPhase; }

}  // namespace

void TSignalObj::ThrowIndexOutOfRange(int i) {
  throw std::out_of_range("waveform point index " + std::to_string(i) + " outside 0..4095");
}

void TSignalObj::ThrowPointCount(size_t n) {
  throw std::out_of_range(std::to_string(n) + " waveform points, more than 4096");
}

void TSignalObj::SetZoomStep(int n) {
  int64_t step = 1;
  while (n > 1) {
    step *= 2;
    n = n / 2 + n % 2;  // (n + 1) div 2 without overflow at the top of the range
  }
  if (recLen_ / step < kMinShownPoints) step = recLen_ / kMinShownPoints;
  zoomStep_ = static_cast<uint16_t>(step < 1 ? 1 : step);
}

void TSignalObj::SetSuppressLevel(double dB) {
  suppressLevel_ = dB;
  UpdateSuppressThreshold();
}

double TSignalObj::InReflectionUnits(double v) const {
  const double rho = tdrAmplitude_ != 0 ? (v - tdrBase_) / tdrAmplitude_ : 0.0;
  return tdrUnitKind_ == tukOhm ? ReflectionToOhms(rho) : rho;
}

void TSignalObj::GetYs(std::span<double> values) const {
  CheckPointCount(values.size());
  if (!Converts()) {
    std::copy_n(y_.begin(), values.size(), values.begin());
    return;
  }
  for (size_t i = 0; i < values.size(); ++i) values[i] = InReflectionUnits(y_[i]);
}

void TSignalObj::SetPoints(std::span<const double> re, std::span<const double> im) {
  CheckPointCount(re.size());
  if (!im.empty() && im.size() != re.size()) {
    throw std::out_of_range(std::to_string(re.size()) + " real parts of waveform points, " +
                            std::to_string(im.size()) + " imaginary");
  }
  std::copy(re.begin(), re.end(), y_.begin());
  std::copy(im.begin(), im.end(), im_.begin());
}

double TSignalObj::GetMagnitude(int i) const {
  if (!isSpectrum_) throw EAssertion("??????  Non-Spectr   !!!");
  const std::size_t p = Checked(i);
  return std::sqrt(y_[p] * y_[p] + im_[p] * im_[p]);
}

bool TSignalObj::IsLogView() const { return isSpectrum_ && logView_ && complexView_ == cvMagnitude; }

double TSignalObj::GetEffOffset() const {
  if (IsPhaseView(*this)) return phaseOffset_;
  if (IsLogView()) return logOffset_;
  return vertOffset_ + displayOffset_;
}

double TSignalObj::GetEffScale() const {
  if (IsPhaseView(*this)) return phaseScale_ * 45;
  if (IsLogView()) return logScale_;
  return vertScale_ * displayScale_;
}

double TSignalObj::GetDisplayValue(int i) const {
  const int p = i + firstShown_;
  if (!isSpectrum_) return GetY(p);
  switch (complexView_) {
    case cvMagnitude: {
      if (p == 0 && suppressDC_) return 0;
      const double re = GetY(p);
      const double m = std::sqrt(re * re + GetIm(p) * GetIm(p));
      if (!logView_) return m;
      const double dB = RatioToDb(m);
      return vertUnit_ == "W" ? dB / 2 : dB;
    }
    case cvPhase: {
      const double re = GetY(p);
      const double im = GetIm(p);
      if (suppressPhase_ && std::sqrt(re * re + im * im) < suppressThreshold_) return 0;
      if (im == 0 || std::fabs(re) < 1e-60) return 0;
      double angle = std::atan(im / re);
      if (re < 0) angle += im < 0 ? -std::numbers::pi : std::numbers::pi;
      return angle * kDegreesPerRadian;
    }
    case cvImaginary:
      return GetIm(p);
    default:
      return GetY(p);
  }
}

std::string TSignalObj::GetVertUnitText() const {
  if (tdrUnitKind_ == tukNone || raw_) return vertUnit_;
  switch (tdrUnitKind_) {
    case tukRho:
      return "Rho";
    case tukOhm:
      return "\u2126";
    case tukNoUnit:
      return "";
    default:
      return "?";
  }
}

std::string TSignalObj::GetDisplayUnitShort() const {
  if (IsPhaseView(*this)) return "\u00B0";
  if (IsLogView()) return "dB" + GetVertUnitText();
  return GetVertUnitText();
}

std::string TSignalObj::GetVertUnitTextFull() const {
  if (IsLogView()) return "dB" + vertUnit_;
  return GetDisplayUnitShort();
}

double TSignalObj::XToIndex(double x) const {
  if (dx_ == 0) return 0;
  return (x - x0_) / dx_;
}

double TSignalObj::ScreenXToShownIndex(double sx) const { return sx / zoomStep_ / kScreenWidth * recLen_; }

double TSignalObj::ShownIndexToScreenX(double i) const {
  if (recLen_ == 0) return 0;
  return i / recLen_ * kScreenWidth * zoomStep_;
}

int32_t TSignalObj::XToScreenX(double x) const {
  const double sx = std::nearbyint(IndexToScreenX(XToIndex(x)));
  if (!(sx >= std::numeric_limits<int32_t>::min() && sx <= std::numeric_limits<int32_t>::max())) {
    throw std::out_of_range("screen position outside the 32-bit range");
  }
  return static_cast<int32_t>(sx);
}

double TSignalObj::ScreenYToValue(double sy) const {
  // (sy - 512) / (1024 / (scale * 8)), written without dividing by the scale.
  return GetEffOffset() + (sy - kScreenCentreY) * (GetEffScale() * kDivisions) / kScreenHeight;
}

double TSignalObj::ValueToScreenY(double v) const {
  const double span = GetEffScale() * kDivisions;
  const double delta = v - GetEffOffset();
  double sy;
  if (span == 0) {
    sy = delta > 0 ? kScreenYLimit : (delta < 0 ? -kScreenYLimit : kScreenCentreY);
  } else {
    sy = delta * kScreenHeight / span + kScreenCentreY;
  }
  if (std::isnan(sy)) return kScreenCentreY;
  if (sy > kScreenYLimit) return kScreenYLimit;
  if (sy < -kScreenYLimit) return -kScreenYLimit;
  return sy;
}

void TSignalObj::AssignHeader(const TSignalObj& src) {
  recLen_ = src.recLen_;
  lengthSet_ = src.lengthSet_;
  isSpectrum_ = src.isSpectrum_;
  horUnit_ = src.horUnit_;
  x0_ = src.x0_;
  dx_ = src.dx_;
  vertUnit_ = src.vertUnit_;
  vertOffset_ = src.vertOffset_;
  vertScale_ = src.vertScale_;
  fftWindow_ = src.fftWindow_;
  propagation_ = src.propagation_;
  tdrUnitKind_ = src.tdrUnitKind_;
  tdrAmplitude_ = src.tdrAmplitude_;
  tdrBase_ = src.tdrBase_;
  raw_ = src.raw_;
}

void TSignalObj::Assign(const TSignalObj& src) {
  if (src.recLen_ == 0 || src.recLen_ > kMaxRecLen) {
    throw std::out_of_range("record length " + std::to_string(src.recLen_) + " cannot be copied");
  }
  if (&src == this) return;
  AssignHeader(src);
  std::copy_n(src.y_.begin(), recLen_, y_.begin());
  if (isSpectrum_) std::copy_n(src.im_.begin(), recLen_, im_.begin());
}

void TSignalObj::UpdateMaxMagnitude() {
  if (!isSpectrum_) return;
  // The square root grows with its argument, so that of the largest square is the
  // largest magnitude.
  double largest = 0;
  const size_t n = std::min<size_t>(recLen_, kMaxRecLen);
  for (size_t i = 1; i < n; ++i) {
    const double square = y_[i] * y_[i] + im_[i] * im_[i];
    largest = square > largest ? square : largest;
  }
  maxMagnitude_ = std::sqrt(largest);
  UpdateSuppressThreshold();
}

void TSignalObj::UpdateSuppressThreshold() { suppressThreshold_ = DbToRatio(suppressLevel_) * maxMagnitude_; }

TSignalObjs::TSignalObjs() { InitChannelSignals(); }

TSignalObj& TSignalObjs::At(int index) {
  if (index < 0 || index >= kSignalObjCount) {
    throw std::out_of_range("no waveform record for trace " + std::to_string(index));
  }
  return records_[static_cast<std::size_t>(index)];
}

const TSignalObj& TSignalObjs::At(int index) const { return const_cast<TSignalObjs&>(*this).At(index); }

void TSignalObjs::InitChannelSignals() {
  for (int id = 0; id < kSignalObjCount; ++id) At(id).SetSpectrum(id >= TraceIndex(TTraceId::S1));
  for (TTraceId id : {TTraceId::Ch1, TTraceId::Ch1B2, TTraceId::Ch2, TTraceId::Ch2B2}) {
    TSignalObj& r = (*this)[id];
    r.SetVertUnit("V");
    r.SetTdrUnitKind(tukNone);
    r.SetVertScale(0.1);
    r.SetVertOffset(0);
    r.SetHorUnit("s");
    r.SetX0(0);
    r.SetDX(1e-10);
    r.ClearY();
  }
}

namespace {
constinit TOwned<TSignalObjs> ProgramRecords;
}  // namespace

TSignalObjs& SignalObjs() {
  if (!ProgramRecords) {
    ProgramRecords = std::make_unique<TSignalObjs>();
    SetRecordTitleHook.Set([](TTraceId id, const std::string& title) {
      if (IsRecordTrace(id)) SignalObjs()[id].SetTitle(title);
    });
  }
  return *ProgramRecords;
}

void CreateSignalObjects() { SignalObjs(); }

const TSignalObj* ShownRecord(TTraceId source) {
  if (!IsRecordTrace(source) || !SignalsOn.IsOn(source)) return nullptr;
  const TSignalObj& record = SignalObjs()[source];
  return record.HasLength() ? &record : nullptr;
}

}  // namespace norv
