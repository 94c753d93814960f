#include "measure/hist/hist_objects.h"

#include <algorithm>
#include <cmath>

#include "framework/util/errors.h"
#include "framework/util/numeric_utils.h"
#include "instrument/record/signal_obj.h"

namespace norv {

constinit TOwned<TFullHist> ProgramFullHist;

TFullHist& FullHist() {
  if (!ProgramFullHist) ProgramFullHist = std::make_unique<TFullHist>();
  return *ProgramFullHist;
}

void AccumulateRecordIntoHist(TAxisHist& hist, const TSignalObj& record) {
  const int count = std::min(record.GetShownCount(), kHistColumns);
  hist.StartWaveform(count, record.GetFirstShownX(), record.GetDX(), record.GetEffOffset(),
                     record.GetEffScale());
  for (int i = 0; i < count; ++i) hist.AddSample(i, record.GetDisplayValue(i));
}

namespace {

// A hit counter gains `n`; past the 32-bit limit it stays at the limit.
void AddHits(uint32_t& counter, uint64_t n) {
  counter = static_cast<uint32_t>(std::min<uint64_t>(uint64_t{counter} + n, kHitLimit));
}

int Nint(double x) { return RoundClamped<int>(x, INT32_MIN, INT32_MAX); }

}  // namespace

// --- TAxisHist ---

TAxisHist::TAxisHist(bool vertical) : vertical_(vertical), mapEnabled_(true) {}

void TAxisHist::SetVertical(bool vertical) {
  if (vertical == vertical_) return;
  vertical_ = vertical;
  RecountWindow();
}

void TAxisHist::SetMapEnabled(bool enabled) {
  if (enabled == mapEnabled_) return;
  mapEnabled_ = enabled;
  if (enabled) RecountWindow();
}

void TAxisHist::StartWaveform(int columns, double timeOrigin, double timePerColumn, double origin,
                              double voltsPerDiv) {
  columns = std::clamp(columns, 0, kHistColumns);
  bool changed = columns != columns_;
  const auto store = [&changed](double& field, double value) {
    if (field == value) return;
    field = value;
    changed = true;
  };
  store(timeOrigin_, timeOrigin);
  store(timePerColumn_, timePerColumn);
  store(origin_, origin);
  store(scale_, 1024.0 / (8.0 * voltsPerDiv));
  if (changed) {
    Clear();
    columns_ = columns;
    UpdateWindowColumns();
  }
  if (waveformCount_ < kHitLimit) ++waveformCount_;
}

void TAxisHist::UpdateWindowColumns() {
  winColLeft_ = Nint(winLeftX_ / 4096.0 * columns_);
  winColRight_ = Nint(winRightX_ / 4096.0 * columns_);
}

void TAxisHist::SetWindow(int left, int top, int right, int bottom) {
  left = std::clamp(left, 0, 4000);
  right = std::clamp(right, left, 4000);
  bottom = std::clamp(bottom, 2, 1022);
  top = std::clamp(top, bottom, 1022);
  const int codeLow = 1024 - top, codeHigh = 1024 - bottom;
  if (left == winLeftX_ && right == winRightX_ && codeLow == winCodeLow_ && codeHigh == winCodeHigh_) return;
  winLeftX_ = left;
  winRightX_ = right;
  winCodeLow_ = codeLow;
  winCodeHigh_ = codeHigh;
  UpdateWindowColumns();
  RecountWindow();
}

void TAxisHist::SetWindowRaw(int colLeft, int topY, int colRight, int bottomY) {
  const auto fit = [](int v) {
    if (v < 0 || v > 65535) throw EAssertion("ERROR!  Histogram window out of range");
    return v;
  };
  winColLeft_ = fit(colLeft);
  winColRight_ = fit(colRight);
  winCodeLow_ = fit(1024 - topY);
  winCodeHigh_ = fit(1024 - bottomY);
  RecountWindow();
}

void TAxisHist::CalcInWindow(bool vertical, int left, int top, int right, int bottom) {
  SetMapEnabled(false);
  SetVertical(vertical);
  SetWindow(left, top, right, bottom);
  CalcStatistics(true);
}

int TAxisHist::CodeOf(double value) const {
  const double code = zeroCode_ - (value - origin_) * scale_;
  if (!(code > -1.0 && code < 1024.0)) return -1;  // NaN too
  const int c = Nint(code);
  return c >= 0 && c < kHistCodes ? c : -1;
}

void TAxisHist::RecountWindow() {
  windowBins_.fill(0);
  const int lo = vertical_ ? winCodeLow_ : winColLeft_;
  const int hi = vertical_ ? winCodeHigh_ : winColRight_;
  for (int i = std::max(lo, 0); i <= std::min(hi, kHistColumns - 1); ++i) windowBins_[i] = fullBins_[i];
}

void TAxisHist::Clear() {
  sampleCount_ = 0;
  columns_ = 0;
  waveformCount_ = 0;
  fullBins_.fill(0);
  windowBins_.fill(0);
}

void TAxisHist::AddSample(int column, double value, uint32_t count) {
  const int code = CodeOf(value);
  if (code < 0 || column < 0 || column >= kHistColumns) return;
  sampleCount_ += count;
  const int index = vertical_ ? code : column;
  AddHits(fullBins_[index], count);
  if (InWindow(column, code)) AddHits(windowBins_[index], count);
}

void TAxisHist::CalcStatistics(bool overWindow) {
  overWindow_ = overWindow;
  const auto& bins = StatBins();
  const int n = AxisBins();
  firstBin_ = n > 0 ? static_cast<uint32_t>(n - 1) : 0;
  lastBin_ = 0;
  meanBin_ = 0;
  stdDevBins_ = 0;
  peakHits_ = 0;
  totalHits_ = 0;
  double sum = 0;
  for (int i = 0; i < n; ++i) {
    if (bins[i] == 0) continue;
    if (bins[i] > peakHits_) {
      peakHits_ = bins[i];
      peakBin_ = static_cast<uint32_t>(i);
    }
    totalHits_ += bins[i];
    sum += static_cast<double>(i) * bins[i];
  }
  if (peakHits_ == 0) return;
  const double total = static_cast<double>(totalHits_);
  meanBin_ = sum / total;
  double squares = 0;
  for (int i = 0; i < n; ++i) {
    if (bins[i] == 0) continue;
    const double d = i - meanBin_;
    squares += d * d * bins[i];
    lastBin_ = static_cast<uint32_t>(i);
  }
  stdDevBins_ = std::sqrt(squares / total);
  int first = 0;
  while (bins[first] == 0) ++first;
  firstBin_ = static_cast<uint32_t>(first);
}

double TAxisHist::BinToValue(double bin) const {
  return vertical_ ? (zeroCode_ - bin) / scale_ + origin_ : timePerColumn_ * bin + timeOrigin_;
}

double TAxisHist::SpanToValue(double bins) const { return vertical_ ? bins / scale_ : timePerColumn_ * bins; }

double TAxisHist::MaxValue() const { return BinToValue(vertical_ ? firstBin_ : lastBin_); }
double TAxisHist::MinValue() const { return BinToValue(vertical_ ? lastBin_ : firstBin_); }

double TAxisHist::MaxScreenPos() const {
  if (vertical_) return 1024.0 - firstBin_;
  return columns_ ? Nint(lastBin_ * 4096.0 / columns_) : 0;
}

double TAxisHist::MinScreenPos() const {
  if (vertical_) return 1024.0 - lastBin_;
  return columns_ ? Nint(firstBin_ * 4096.0 / columns_) : 0;
}

double TAxisHist::MiddleValue() const { return BinToValue((firstBin_ + lastBin_) / 2.0); }

double TAxisHist::MeanScreen() const {
  if (vertical_) return 1024.0 - meanBin_;
  return columns_ ? meanBin_ * 4096.0 / columns_ : 0;
}

double TAxisHist::StdDevScreen() const {
  if (vertical_) return stdDevBins_;
  return columns_ ? stdDevBins_ * 4096.0 / columns_ : 0;
}

double TAxisHist::PercentWithinSigmas(int n) const {
  if (totalHits_ == 0) return 0;
  const auto& bins = StatBins();
  const int lo = std::max(1, Nint(meanBin_ - n * stdDevBins_));
  const int hi = std::min(AxisBins() - 1, Nint(meanBin_ + n * stdDevBins_));
  uint64_t sum = 0;
  for (int i = lo; i <= hi; ++i) sum += bins[i];
  return 100.0 * static_cast<double>(sum) / static_cast<double>(totalHits_);
}

double TAxisHist::RmsValue() const {
  if (!vertical_) throw EAssertion("????????   RMS only for Vertical Hist !!!!!!!!!!!");
  if (totalHits_ == 0) return 0;
  double sum = 0;
  for (int k = 0; k < kHistCodes; ++k) {
    const double v = BinToValue(k);
    sum += windowBins_[k] * v * v;
  }
  return std::sqrt(sum / static_cast<double>(totalHits_));
}

double TAxisHist::AcRmsValue() const {
  if (!vertical_) throw EAssertion("????????   RMS only for Vertical Hist !!!!!!!!!!!");
  if (totalHits_ == 0) return 0;
  const double mean = MeanValue();
  double sum = 0;
  for (int k = 0; k < kHistCodes; ++k) {
    const double v = BinToValue(k) - mean;
    sum += windowBins_[k] * v * v;
  }
  return std::sqrt(sum / static_cast<double>(totalHits_));
}

int TAxisHist::GetBars(std::vector<uint32_t>& bars, int maxCount) const {
  int count = vertical_ ? (columns_ ? kHistCodes : 0) : columns_;
  count = std::clamp(count, 0, std::max(maxCount, 0));
  bars.assign(windowBins_.begin(), windowBins_.begin() + count);
  return count;
}

TTwoLevels TAxisHist::FindTwoLevels() const {
  TTwoLevels r;
  const auto& bins = StatBins();
  const int g = std::max(vertical_ ? 30 : columns_ / 50, 1);
  const int lo = static_cast<int>(firstBin_), hi = static_cast<int>(lastBin_);
  if (lo + g > hi) return r;
  int pos1 = lo;
  for (int i = lo; i <= hi; ++i)
    if (bins[i] > bins[pos1]) pos1 = i;
  // The envelope: the tallest of the G bins towards the main peak, never rising outwards.
  std::vector<uint32_t> e(static_cast<size_t>(hi) + 1, 1);
  const auto envelope = [&](int from, int to, int step) {
    uint32_t m = 0;
    for (int i = from; step < 0 ? i >= to : i <= to; i += step) {
      uint32_t top = 1;
      for (int k = 1; k <= g; ++k) top = std::max(top, bins[i - step * k]);
      if (i == from || top < m) m = top;
      e[i] = m;
    }
  };
  envelope(pos1 - g - 1, lo, -1);
  envelope(pos1 + g + 1, hi, 1);
  double best = 1.0;
  int pos2 = 0;
  uint32_t hits2 = 0;
  const auto search = [&](int from, int to, int step) {
    for (int i = from; step < 0 ? i >= to : i <= to; i += step) {
      const double ratio = bins[i] > e[i] ? static_cast<double>(bins[i]) / e[i] : 0.0;
      if (ratio > best) {
        best = ratio;
        pos2 = i;
        hits2 = bins[i];
      }
    }
  };
  search(pos1 - g - 1, lo, -1);
  search(pos1 + g + 1, hi, 1);
  if (best <= 1.1) return r;
  r.Found = true;
  r.Pos1 = pos1;
  r.Hits1 = bins[pos1];
  r.Pos2 = pos2;
  r.Hits2 = hits2;
  if (r.Pos1 > r.Pos2) {
    std::swap(r.Pos1, r.Pos2);
    std::swap(r.Hits1, r.Hits2);
  }
  if (vertical_) {
    r.Pos1 = 1024 - r.Pos1;
    r.Pos2 = 1024 - r.Pos2;
  }
  return r;
}

double TAxisHist::LevelDistance() const {
  const TTwoLevels t = FindTwoLevels();
  return t.Found ? SpanToValue(std::abs(t.Pos2 - t.Pos1)) : 0.0;
}

double TAxisHist::TwoLevelValues(double& upper, double& lower) const {
  const TTwoLevels t = FindTwoLevels();
  if (!t.Found) return 0.0;
  upper = BinToValue(1024 - t.Pos1);
  lower = BinToValue(1024 - t.Pos2);
  return SpanToValue(std::abs(t.Pos2 - t.Pos1));
}

TTwoLevels TAxisHist::TwoLevelScreen() const {
  TTwoLevels t = FindTwoLevels();
  if (t.Found && !vertical_ && columns_) {
    t.Pos1 = Nint(t.Pos1 * 4096.0 / columns_);
    t.Pos2 = Nint(t.Pos2 * 4096.0 / columns_);
  }
  return t;
}

// --- TFullHist ---

TFullHist::TFullHist()
    : TAxisHist(false),
      map_(static_cast<size_t>(kHistColumns) * kHistCodes, 0),
      blockMap_(static_cast<size_t>(kBlockColumns) * kBlockCodes, 0) {
  mapEnabled_ = false;
}

void TFullHist::SetWeight(int weight) {
  if (weight == weight_) return;
  weight_ = weight;
  RecountWindow();
}

void TFullHist::Clear() {
  columns_ = 0;
  waveformCount_ = 0;
  if (sampleCount_ == 0) return;
  sampleCount_ = 0;
  std::fill(map_.begin(), map_.end(), 0);
  std::fill(blockMap_.begin(), blockMap_.end(), 0);
  fullBins_.fill(0);
  windowBins_.fill(0);
  weightAcc_.fill(0);
}

void TFullHist::AddSample(int column, double value, uint32_t count) {
  const int code = CodeOf(value);
  if (code < 0 || column < 0 || column >= kHistColumns || count == 0) return;
  sampleCount_ += count;
  uint32_t& cell = map_[Cell(column, code)];
  if (cell == 0) blockMap_[static_cast<size_t>(column / kBlock) * kBlockCodes + code / kBlock] = 1;
  AddHits(cell, count);
  const int index = vertical_ ? code : column;
  if (mapEnabled_) AddHits(fullBins_[index], count);
  if (!InWindow(column, code)) return;
  if (weight_ > 0) {
    weightAcc_[index] += count;
  } else {
    AddHits(windowBins_[index], count);
  }
}

void TFullHist::RecountWindow() {
  fullBins_.fill(0);
  windowBins_.fill(0);
  weightAcc_.fill(0);
  int colLo = 0, colHi = columns_ - 1, codeLo = 1, codeHi = kHistCodes - 1;
  if (!mapEnabled_) {
    colLo = winColLeft_;
    colHi = winColRight_;
    codeLo = winCodeLow_;
    codeHi = winCodeHigh_;
  }
  colLo = std::max(colLo, 0);
  colHi = std::min(colHi, kHistColumns - 1);
  codeLo = std::max(codeLo, 0);
  codeHi = std::min(codeHi, kHistCodes - 1);
  for (int bc = colLo / kBlock; colLo <= colHi && bc <= colHi / kBlock; ++bc) {
    const int c0 = std::max(colLo, bc * kBlock), c1 = std::min(colHi, bc * kBlock + kBlock - 1);
    for (int bk = codeLo / kBlock; codeLo <= codeHi && bk <= codeHi / kBlock; ++bk) {
      if (!blockMap_[static_cast<size_t>(bc) * kBlockCodes + bk]) continue;
      const int k0 = std::max(codeLo, bk * kBlock), k1 = std::min(codeHi, bk * kBlock + kBlock - 1);
      for (int column = c0; column <= c1; ++column) {
        for (int code = k0; code <= k1; ++code) {
          const uint32_t c = map_[Cell(column, code)];
          if (c == 0) continue;
          const int index = vertical_ ? code : column;
          if (mapEnabled_) AddHits(fullBins_[index], c);
          if (!mapEnabled_ || InWindow(column, code)) AddHits(windowBins_[index], c);
        }
      }
    }
  }
  if (weight_ >= 1)
    for (int i = 0; i < AxisBins(); ++i) weightAcc_[i] = windowBins_[i];
}

void TFullHist::CalcStatistics(bool overWindow) {
  if (weight_ >= 1 && overWindow) {
    const int n = AxisBins();
    double m = 0;
    for (int i = 0; i < n; ++i) m = std::max(m, weightAcc_[i]);
    if (m > weight_)
      for (int i = 0; i < n; ++i) weightAcc_[i] *= weight_ / m;
    for (int i = 0; i < n; ++i) windowBins_[i] = RoundClamped<uint32_t>(weightAcc_[i] + 0.49, 0, kHitLimit);
  }
  TAxisHist::CalcStatistics(overWindow);
}

int TFullHist::FirstHitColumn(uint32_t code, const char* failure) const {
  for (int column = std::max(winColLeft_, 0); column <= std::min(winColRight_, kHistColumns - 1); ++column)
    if (code < kHistCodes && map_[Cell(column, static_cast<int>(code))] != 0)
      return columns_ ? Nint(column * 4096.0 / columns_) : 0;
  throw EAssertion(failure);
}

int TFullHist::FirstHitCode(uint32_t column, const char* failure) const {
  for (int code = std::max(winCodeLow_, 0); code <= std::min(winCodeHigh_, kHistCodes - 1); ++code)
    if (column < kHistColumns && map_[Cell(static_cast<int>(column), code)] != 0) return code;
  throw EAssertion(failure);
}

int TFullHist::TimeOfMax() const {
  constexpr const char* kFailure = "Pozition Of Max not Found";
  return vertical_ ? FirstHitColumn(firstBin_, kFailure) : FirstHitCode(lastBin_, kFailure);
}

int TFullHist::TimeOfMin() const {
  constexpr const char* kFailure = "Pozition Of Min not Found";
  return vertical_ ? FirstHitColumn(lastBin_, kFailure) : FirstHitCode(firstBin_, kFailure);
}

}  // namespace norv
