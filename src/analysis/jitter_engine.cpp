#include "analysis/jitter_engine.h"

#include <algorithm>
#include <cmath>

#include "framework/settings/choice_handlers.h"
#include "framework/settings/node_access.h"
#include "framework/settings/node_path.h"
#include "framework/settings/numeric_handlers.h"
#include "framework/settings/procedure_setup.h"
#include "framework/settings/settings_tree.h"
#include "framework/util/errors.h"
#include "framework/util/numeric_utils.h"
#include "instrument/acquisition/acquisition_cycle.h"
#include "instrument/acquisition/acquisition_state.h"
#include "instrument/link/sample_stream.h"
#include "instrument/record/signal_obj.h"

namespace norv {

namespace {

constexpr int kLevelRecLen = 512;
constexpr int kEdgeRecLen = 2048;
constexpr int64_t kContextSamples = 4097;
constexpr int64_t kSpreadSamples = 30;
constexpr int64_t kEdgeSamples = 300;
constexpr int kMiddleBin = kJitterHistBins / 2;
// Spans below this are no spread at all (and would upset the E12 rounding).
constexpr double kNoSpread = 1e-15;

const char* const kHistNames[kJitterHistCount] = {
    "DDJ Histogram", "Rising Edge Histogram",   "Falling Edge Histogram",    "RJ/PJ Histogram",
    "TJ Histogram",  "Composite DDJ Histogram", "Composite Random Histogram"};

TEditHandler* Edit(std::string_view path) { return dynamic_cast<TEditHandler*>(NodeAt(path)); }

// By program, for the nodes that exist: analyses that are not built have none. Switched
// off for good, as a change of the user's (the analysis does not give them back).
void SwitchOff(std::string_view path) {
  const TOutsideProcedures users;
  SetIndexAt(path, 0);
  SetOnAt(path, false);
}

// The line through two points; the first point's value where they coincide.
double Linear(double x, double x1, double y1, double x2, double y2) {
  return x2 == x1 ? y1 : LinearInterpolate(x1, y1, x2, y2, x);
}

// Per sample: 0 high (above upper), 1 low (below lower), 2 between.
uint8_t ClassOf(double v, double upper, double lower) {
  if (v > upper) return 0;
  if (v < lower) return 1;
  return 2;
}

// The mean of the values above the middle of their range, and of those below: the two
// levels of a data signal, whatever the channel's scale shows of it.
bool TwoLevels(const std::vector<double>& values, double& upper, double& lower) {
  if (values.empty()) return false;
  const auto [lo, hi] = std::minmax_element(values.begin(), values.end());
  const double middle = (*lo + *hi) / 2;
  TStat above, below;
  for (double v : values) (v > middle ? above : below).Add(1, v);
  if (above.Count() == 0 || below.Count() == 0) return false;
  upper = above.Mean();
  lower = below.Mean();
  return upper - lower >= 1e-10;
}

}  // namespace

// --- histogram ---

void TJitterHist::SetScale(double width) {
  Clear();
  scaled_ = true;
  if (!std::isfinite(width) || width <= kJitterHistBins * kNoSpread) {
    Offset = BinWidth = 0;
    return;
  }
  Offset = width / 2;
  BinWidth = width / kJitterHistBins;
}

void TJitterHist::Add(double t) {
  if (!scaled_) throw EAssertion(Name + " - Time Scale undefined");
  int bin = kMiddleBin;
  if (BinWidth > 0) bin = static_cast<int>(RoundClamped((t + Offset) / BinWidth, 0, kJitterHistBins - 1));
  MaxCount = std::max(MaxCount, ++Bins[static_cast<size_t>(bin)]);
  Stat.Add(1, t);
}

void TJitterHist::Clear() {
  Bins.fill(0);
  MaxCount = 0;
  Stat.Reset();
}

// --- pattern and edges ---

void JitterFlagEdges(const std::vector<double>& values, double upper, double lower,
                     std::array<bool, kJitterEdgeFlagCount>& flags) {
  const auto flag = [&flags](size_t i) {
    if (i < flags.size()) flags[i] = true;
  };
  // The last point of the latest level run, and its class.
  size_t lastLevel = 0;
  int lastClass = -1;
  for (size_t i = 0; i < values.size(); ++i) {
    const uint8_t c = ClassOf(values[i], upper, lower);
    if (c == 2) continue;
    if (lastClass >= 0 && c != lastClass) {
      if (i == lastLevel + 1) {
        flag(lastLevel);
        flag(i);
      } else {
        for (size_t k = lastLevel + 1; k < i; ++k) flag(k);
      }
    }
    lastLevel = i;
    lastClass = c;
  }
}

std::array<double, kJitterEstimateCount> JitterEdgeEstimates(
    const std::array<bool, kJitterEdgeFlagCount>& flags) {
  std::vector<double> centres;
  for (size_t i = 0; i < flags.size();) {
    if (!flags[i]) {
      ++i;
      continue;
    }
    const size_t first = i;
    while (i < flags.size() && flags[i]) ++i;
    centres.push_back(static_cast<double>(first + i - 1) / 2);
  }
  std::array<double, kJitterEstimateCount> estimates;
  estimates.fill(kNoBitMean);
  for (size_t k = 0; k < estimates.size() && k + 1 < centres.size(); ++k)
    estimates[k] = (centres[k] + centres[k + 1]) / 2;
  return estimates;
}

int TJitterPattern::Bit(int32_t i) const {
  const int32_t n = Length();
  if (n == 0) return 0;
  return bits_[static_cast<size_t>(((i % n) + n) % n)];
}

int TJitterPattern::EdgeContext(int32_t i) const {
  const int32_t p1 = Prev(i), p2 = Prev(p1), p3 = Prev(p2), p4 = Prev(p3);
  if (Bit(i) == Bit(p1)) return 16 + Bit(i);
  return Bit(i) + 2 * Bit(p2) + 4 * Bit(p3) + 8 * Bit(p4);
}

int32_t TJitterPattern::NextTransition(int32_t from) const {
  for (int32_t i = std::max(from, 0); i < Length(); ++i)
    if (Bit(i) != Bit(Prev(i))) return i;
  return -1;
}

std::array<int32_t, 16> TJitterPattern::FindContexts() const {
  std::array<int32_t, 16> first;
  first.fill(-1);
  int found = 0;
  for (int32_t i = 0; i < Length() && found < 16; ++i) {
    const int c = EdgeContext(i);
    if (c < 16 && first[static_cast<size_t>(c)] < 0) {
      first[static_cast<size_t>(c)] = i;
      ++found;
    }
  }
  return first;
}

TJitterWidths JitterHistWidths(double a, double b) {
  const auto e12 = [](double x) { return x > kNoSpread ? CorrectValueE12(0, x) : 0.0; };
  TJitterWidths w;
  w.Total = w.DDJ = w.Random = e12(2.2 * (a + b));
  if (b / 4 > a) w.DDJ = e12(2.2 * a);
  if (a / 4 > b) w.Random = e12(2.2 * b);
  return w;
}

// --- view of "DDJ vs Bit" ---

namespace {
void LimitView(TJitterView& view, int32_t pattLen, int32_t shown) {
  if (view.LastBit > pattLen - 1) {
    view.LastBit = pattLen - 1;
    view.FirstBit = std::max(0, view.LastBit - shown + 2);
  }
}
}  // namespace

void JitterZoomIn(TJitterView& view, int32_t pattLen, double p, double w) {
  const int32_t n = (pattLen + 1) / view.Factor;
  if (n <= 32 || !(w > 0)) return;
  const int32_t multiplier = n == 64 ? 2 : 4;
  view.Factor *= multiplier;
  const int32_t m = n / multiplier;
  const double fraction = std::clamp(std::isfinite(p) ? p : 0.0, 0.0, w) / w;
  const int32_t clicked = view.FirstBit + static_cast<int32_t>(std::lround(n * fraction));
  view.FirstBit = std::max(0, clicked - m / 2);
  view.LastBit = view.FirstBit + m - 2;
  LimitView(view, pattLen, m);
}

void JitterZoomOut(TJitterView& view, int32_t pattLen) {
  if (view.Factor == 1) return;
  const bool quarter =
      view.Factor == 4 || view.Factor == 16 || view.Factor == 64 || view.Factor == 256 || view.Factor == 1024;
  view.Factor = std::max(1, view.Factor / (quarter ? 4 : 2));
  const int32_t m = (pattLen + 1) / view.Factor;
  const int32_t centre = (view.FirstBit + view.LastBit) / 2;
  view.FirstBit = std::max(0, centre - m / 2);
  view.LastBit = view.FirstBit + m - 2;
  LimitView(view, pattLen, m);
}

// --- engine ---

namespace {

// Sets a node by program, for the nodes that exist. The unit above runs the engine in its
// procedure's scope: what it sets is given back when the analysis ends.
class TSetter {
 public:
  void Index(std::string_view path, uint8_t index) {
    auto* h = dynamic_cast<TRadioSwHandler*>(NodeAt(path));
    if (h && index < h->GetCount()) h->SetIndexByProgram(index);
  }
  void On(std::string_view path, bool on) {
    if (auto* h = dynamic_cast<TOnOffHandler*>(NodeAt(path))) h->SetOnByProgram(on);
  }
  void Int(std::string_view path, int32_t value) {
    if (auto* h = dynamic_cast<TIntEditHandler*>(NodeAt(path))) h->SetValueByProgram(value);
  }
  void Double(std::string_view path, double value) {
    auto* h = dynamic_cast<TDoubleEditHandler*>(NodeAt(path));
    if (h && std::isfinite(value)) h->SetValueByProgram(value);
  }
};

}  // namespace

TJ_Obj::TJ_Obj(TTraceId source, TJitterOutputs outputs) : outputs_(std::move(outputs)) {
  source_ = source == TTraceId::Ch2 ? TTraceId::Ch2 : TTraceId::Ch1;
  patternSettings_ = PatternSettings();
  pattLen_ = std::max(1, patternSettings_[0]);
  const double rate = ValueAt("Trig:DataRate"_node);
  unitInterval_ = rate > 0 && std::isfinite(rate) ? 1 / rate : 1e-9;
  // Room for the pattern and one read past its end: as long as the pattern is.
  bitMap_.assign(static_cast<size_t>(pattLen_) + kJitterBitsPerRead, 0);
  bitMeans_.assign(static_cast<size_t>(pattLen_), static_cast<float>(kNoBitMean));
  shownBitMeans_ = bitMeans_;
  for (int k = 0; k < kJitterHistCount; ++k) hists_[static_cast<size_t>(k)].Name = kHistNames[k];
  results_.fill(UndefinedValue);
  units_.fill("s");
  view_ = {0, pattLen_ - 1, 1};

  // The pattern-lock check and trigger status would query the instrument between the
  // engine's acquisitions.
  if (AcquisitionCycleExists()) {
    ITimer& timer = AcquisitionCycle().FlagRegisterReadingTimer();
    savedTimerEnabled_ = timer.Enabled();
    timer.SetEnabled(false);
  }
  if (NodeAt("*Run"_node)) RootSpider->ExecCommandLine("*Run"_node, false);
  BreakAcquisition(true);
  phase_ = 0;
  ApplyLevelSettings();
}

TJ_Obj::~TJ_Obj() {
  if (AcquisitionCycleExists()) AcquisitionCycle().FlagRegisterReadingTimer().SetEnabled(savedTimerEnabled_);
}

int32_t TJ_Obj::NextReachableTransition(int32_t from) const {
  // Bits whose delay lies beyond the trigger's largest cannot be brought into the window
  // (the last ones, and bit 0 when it needs the delay of the last bit), and a bit whose
  // context shape was not measured has no expected edge.
  for (int32_t t = pattern_.NextTransition(from); t >= 0; t = pattern_.NextTransition(t + 1)) {
    if (!Reachable(t)) continue;
    const int c = pattern_.EdgeContext(t);
    if (c < 16 && contexts_[static_cast<size_t>(c)].FirstBit >= 0) return t;
  }
  return -1;
}

bool TJ_Obj::Reachable(int32_t bit) const {
  const auto* delay = dynamic_cast<const TIntEditHandler*>(NodeAt("Trig:PattDelay"_node));
  return delay != nullptr && BitDelay(bit) <= static_cast<int32_t>(delay->GetMax());
}

int32_t TJ_Obj::PatternDelay() const { return GetIntValue(Edit("Trig:PattDelay"_node)); }

std::array<int32_t, 3> TJ_Obj::PatternSettings() {
  return {GetIntValue(Edit("Trig:PattLen"_node)), GetIntValue(Edit("Trig:IntDivider"_node)),
          GetIntValue(Edit("Trig:ExtDivider"_node))};
}

// Bits the trigger cannot reach are skipped; with none left the analysis cannot go on.
bool TJ_Obj::TakeFirstTransition() {
  currentBit_ = NextReachableTransition(0);
  if (currentBit_ < 0) {
    stop_ = TStop::EdgesOutOfReach;
    return false;
  }
  SetBitDelay(currentBit_);
  return true;
}

void TJ_Obj::SetPatternDelay(int32_t delay) { TSetter().Int("Trig:PattDelay"_node, delay); }

// The edge window shows the edge of the bit `edgeShift_` after the delayed one.
int32_t TJ_Obj::BitDelay(int32_t bit) const { return ((bit - edgeShift_) % pattLen_ + pattLen_) % pattLen_; }

void TJ_Obj::SetBitDelay(int32_t bit) { SetPatternDelay(BitDelay(bit)); }

void TJ_Obj::ApplyLevelSettings() {
  TSetter set;
  const bool ch1 = source_ == TTraceId::Ch1;
  set.On("Ch1:Display"_node, ch1);
  set.On("Ch2:Display"_node, !ch1);
  set.Index(ch1 ? "Acq:Ch1:Mode"_node : "Acq:Ch2:Mode"_node, 2);
  set.Int(ch1 ? "Acq:Ch1:NAvg"_node : "Acq:Ch2:NAvg"_node, 16);
  for (std::string_view path : {"Eye:Measure"_node, "Hist:Axis"_node, "Meas:Display"_node, "Mark:Type"_node,
                                "Limit:TestOn"_node, "Mask:Test"_node})
    SwitchOff(path);
  set.Int("Acq:Ch1:RecLen"_node, kLevelRecLen);
  set.Int("Acq:Ch2:RecLen"_node, kLevelRecLen);
  set.Index("TB:Units"_node, 0);
  set.On("TB:DualDel"_node, false);
  set.Double("TB:ScaleA"_node, 10 * unitInterval_);
  set.Double("TB:ScaleB"_node, 5 * unitInterval_);
  set.Index("TB:Mode"_node, 2);
  set.Double("TB:Delay"_node, 0);
  set.Index("Acq:FitTo"_node, 0);
  SetPatternDelay(0);
}

void TJ_Obj::ApplyEdgeSettings() {
  TSetter set;
  const bool ch1 = source_ == TTraceId::Ch1;
  set.Int("Acq:Ch1:RecLen"_node, kEdgeRecLen);
  set.Int("Acq:Ch2:RecLen"_node, kEdgeRecLen);
  set.Index(ch1 ? "Acq:Ch1:Mode"_node : "Acq:Ch2:Mode"_node, 0);
  set.Index(ch1 ? "Displ:Ch1:Style"_node : "Displ:Ch2:Style"_node, 2);
  set.Double(ch1 ? "Ch1:Scale"_node : "Ch2:Scale"_node, amplitude_ / 6);
  set.Double(ch1 ? "Ch1:Offset"_node : "Ch2:Offset"_node, -(highLevel_ + lowLevel_) / 2);
  set.Double("TB:ScaleB"_node, unitInterval_ / 10);
  // A window of one bit around the leading edge of the delayed bit, or of the next one
  // when that edge lies too near the record start.
  const TSignalObj& record = SignalObjs()[source_];
  const double halfBit = (edgeEstimates_[1] - edgeEstimates_[0]) / 2;
  const double edge = record.IndexToX(edgeEstimates_[0] - halfBit);
  edgeShift_ = edge - unitInterval_ / 2 < record.IndexToX(0) ? 1 : 0;
  const double start = edge + edgeShift_ * unitInterval_ - unitInterval_ / 2;
  const double scaleA = ValueAt("TB:ScaleA"_node);
  if (scaleA > 0) set.Double("TB:Delay"_node, start / scaleA);
}

bool TJ_Obj::ReadRecord(int expectedLength) {
  const TSignalObj& record = SignalObjs()[source_];
  const int n = record.GetRecLen();
  if (n != expectedLength) {
    // A length changed from outside is put back: else no record of this length would come.
    const std::string_view length = source_ == TTraceId::Ch1 ? "Acq:Ch1:RecLen"_node : "Acq:Ch2:RecLen"_node;
    if (GetIntValue(Edit(length)) != expectedLength) TSetter().Int(length, expectedLength);
    return false;
  }
  values_.resize(static_cast<size_t>(n));
  times_.resize(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) {
    values_[static_cast<size_t>(i)] = record.GetY(i);
    times_[static_cast<size_t>(i)] = record.IndexToX(i);
  }
  return true;
}

void TJ_Obj::Step() {
  // The learnt pattern, its delays and the unit interval hold for the settings read at
  // the start only.
  if (stop_ == TStop::None && PatternSettings() != patternSettings_) stop_ = TStop::PatternChanged;
  if (stop_ != TStop::None) return;
  switch (phase_) {
    case 0:
      PhaseLevels();
      break;
    case 1:
      PhaseBitMap();
      break;
    case 2:
      PhaseContexts();
      break;
    case 3:
      PhaseSpreads();
      break;
    case 4:
      PhaseEdges();
      break;
    case 5:
      PhaseResults();
      break;
    default:
      break;
  }
}

void TJ_Obj::PhaseLevels() {
  if (!ReadRecord(kLevelRecLen)) return;
  const int32_t delay = PatternDelay();
  if (delay == 0) {
    double upper = 0, lower = 0;
    if (!TwoLevels(values_, upper, lower)) return;
    upperDecision_ = (2 * upper + lower) / 3;
    lowerDecision_ = (2 * lower + upper) / 3;
    edgeFlags_.fill(false);
  }
  JitterFlagEdges(values_, upperDecision_, lowerDecision_, edgeFlags_);
  if (delay < BitLength(pattLen_)) {
    SetPatternDelay(delay + 1);
    // A short pattern's trigger may not reach that far: the edges seen so far serve.
    if (PatternDelay() > delay) return;
  }
  edgeEstimates_ = JitterEdgeEstimates(edgeFlags_);
  phase_ = 1;
  StartBitMap();
}

void TJ_Obj::PhaseBitMap() {
  if (!ReadRecord(kLevelRecLen)) return;
  const int32_t delay = PatternDelay();
  // The bit centres must all lie in the record.
  for (int k = 0; k < kJitterBitsPerRead; ++k) {
    const double e = edgeEstimates_[static_cast<size_t>(k)];
    if (e < 0 || e > static_cast<double>(values_.size()) - 1) {
      phase_ = 0;  // the bit centres were not found: look for them again
      SetPatternDelay(0);
      return;
    }
  }
  const auto valueAt = [this](int k) {
    return values_[static_cast<size_t>(std::lround(edgeEstimates_[static_cast<size_t>(k)]))];
  };
  std::array<uint8_t, kJitterBitsPerRead> classes{};
  for (int k = 0; k < kJitterBitsPerRead; ++k) {
    classes[static_cast<size_t>(k)] = ClassOf(valueAt(k), upperDecision_, lowerDecision_);
    if (classes[static_cast<size_t>(k)] == 2) return;
  }
  if (IndexAt("Jitter:SmplLvl"_node) == 2 && delay <= pattLen_) {
    int last = std::min(delay + kJitterBitsPerRead, pattLen_) - delay;
    if (edgeEstimates_[static_cast<size_t>(last)] < 0) last = kJitterBitsPerRead - 1;
    const size_t from = static_cast<size_t>(std::lround(edgeEstimates_[0]));
    const size_t to = static_cast<size_t>(std::lround(edgeEstimates_[static_cast<size_t>(last)]));
    for (size_t i = from; i <= to && i < values_.size(); ++i) {
      averageSum_ += values_[i];
      ++averageCount_;
    }
  }
  for (int k = 0; k < kJitterBitsPerRead; ++k) {
    const bool high = classes[static_cast<size_t>(k)] == 0;
    (high ? highSum_ : lowSum_) += valueAt(k);
    ++(high ? highCount_ : lowCount_);
    const size_t bit = static_cast<size_t>(delay) + static_cast<size_t>(k);
    if (bit < bitMap_.size()) bitMap_[bit] = high ? 1 : 0;
  }
  highestBitRead_ = std::max<int64_t>(highestBitRead_, delay + kJitterBitsPerRead - 1);
  if (pattLen_ - 1 > delay) {
    SetPatternDelay(std::min(delay + kJitterBitsPerRead, pattLen_ - 1));
    // A delay the trigger cannot reach ends the reading where it stands.
    if (PatternDelay() > delay) return;
  }
  // The trigger's delay ends short of the pattern's end: the bits after its last read stay
  // unknown however often they are read again.
  if (highestBitRead_ < pattLen_ - 1) {
    stop_ = TStop::MapOutOfReach;
    return;
  }
  FinishBitMap();
}

// The bit map is read from the pattern's start with nothing summed yet.
void TJ_Obj::StartBitMap() {
  highSum_ = lowSum_ = averageSum_ = 0;
  highCount_ = lowCount_ = averageCount_ = 0;
  highestBitRead_ = -1;
  SetPatternDelay(0);
}

void TJ_Obj::FinishBitMap() {
  const size_t n = static_cast<size_t>(pattLen_);
  // The bits read past the pattern's end must repeat its start.
  bool consistent = highCount_ > 0 && lowCount_ > 0;
  for (size_t i = 0; consistent && i + 1 < kJitterBitsPerRead && i + n < bitMap_.size() &&
                     static_cast<int64_t>(i + n) <= highestBitRead_;
       ++i)
    consistent = bitMap_[i] == bitMap_[i + n];
  if (!consistent) {
    if (outputs_.BitMapError) outputs_.BitMapError("Ошибка определения Bit-Map");
    StartBitMap();
    return;
  }
  pattern_ =
      TJitterPattern(std::vector<uint8_t>(bitMap_.begin(), bitMap_.begin() + static_cast<ptrdiff_t>(n)));
  const std::array<int32_t, 16> first = pattern_.FindContexts();
  for (size_t c = 0; c < contexts_.size(); ++c) contexts_[c] = {first[c], {}, 0};
  highLevel_ = highSum_ / static_cast<double>(highCount_);
  lowLevel_ = lowSum_ / static_cast<double>(lowCount_);
  amplitude_ = highLevel_ - lowLevel_;
  lowerThreshold_ = lowLevel_ + amplitude_ / 4;
  upperThreshold_ = highLevel_ - amplitude_ / 4;
  thresholdDistance_ = upperThreshold_ - lowerThreshold_;
  for (size_t i = 0; i < levelSteps_.size(); ++i)
    levelSteps_[i] =
        lowerThreshold_ + static_cast<double>(i) * thresholdDistance_ / 10 + thresholdDistance_ / 20;
  switch (IndexAt("Jitter:SmplLvl"_node)) {
    case 1:
      samplingLevel_ = ValueAt("Jitter:CustLevel"_node);
      break;
    case 2:
      samplingLevel_ =
          averageCount_ > 0 ? averageSum_ / static_cast<double>(averageCount_) : (highLevel_ + lowLevel_) / 2;
      break;
    default: {
      const TEditHandler* percent = Edit("Jitter:PercAmpl"_node);
      samplingLevel_ = lowLevel_ + (percent ? percent->GetFloatValue() : 50.0) / 100 * amplitude_;
      break;
    }
  }
  ApplyEdgeSettings();
  // A context whose first bit the trigger cannot reach is measured at its next one.
  for (size_t c = 0; c < contexts_.size(); ++c) {
    int32_t& first = contexts_[c].FirstBit;
    if (first < 0 || Reachable(first)) continue;
    int32_t bit = first + 1;
    while (bit < pattLen_ && (pattern_.EdgeContext(bit) != static_cast<int>(c) || !Reachable(bit))) ++bit;
    first = bit < pattLen_ ? bit : -1;
  }
  currentContext_ = -1;
  for (size_t c = 0; c < contexts_.size() && currentContext_ < 0; ++c)
    if (contexts_[c].FirstBit >= 0) currentContext_ = static_cast<int>(c);
  if (currentContext_ < 0) {
    stop_ = TStop::EdgesOutOfReach;
    return;
  }
  for (TStat& s : edgeStats_) s.Reset();
  contextSamples_ = 0;
  SetBitDelay(contexts_[static_cast<size_t>(currentContext_)].FirstBit);
  phase_ = 2;
}

int TJ_Obj::SlotOf(double v) const {
  if (!(thresholdDistance_ > 0)) return 0;
  const double k = std::trunc((v - lowerThreshold_) * 10 / thresholdDistance_);
  return static_cast<int>(std::clamp(k, 0.0, 9.0));
}

double TJ_Obj::ExpectedEdgeTime(int context, double v, bool absolute) const {
  const TJitterContext& c = contexts_.at(static_cast<size_t>(context));
  int k = SlotOf(v);
  if (k >= 1 && v < levelSteps_[static_cast<size_t>(k)]) --k;
  k = std::clamp(k, 0, 8);
  const size_t s = static_cast<size_t>(k);
  const double t = Linear(v, levelSteps_[s], c.SlotMeans[s], levelSteps_[s + 1], c.SlotMeans[s + 1]);
  return absolute ? t : t - c.SamplingTime;
}

double TJ_Obj::EdgeTimeOf(int context, size_t point) const {
  return times_[point] - ExpectedEdgeTime(context, values_[point], false);
}

void TJ_Obj::PhaseContexts() {
  if (!ReadRecord(kEdgeRecLen)) return;
  for (size_t i = 0; i < values_.size(); ++i) {
    const double v = values_[i];
    if (v <= lowerThreshold_ || v >= upperThreshold_) continue;
    edgeStats_[static_cast<size_t>(SlotOf(v))].Add(1, times_[i]);
    ++contextSamples_;
  }
  if (contextSamples_ < kContextSamples) return;

  // The slot means; a slot no sample reached takes the line through its neighbours.
  TJitterContext& context = contexts_[static_cast<size_t>(currentContext_)];
  std::vector<size_t> filled;
  for (size_t k = 0; k < edgeStats_.size(); ++k)
    if (edgeStats_[k].Count() > 0) filled.push_back(k);
  for (size_t k = 0; k < edgeStats_.size(); ++k) {
    if (edgeStats_[k].Count() > 0) {
      context.SlotMeans[k] = edgeStats_[k].Mean();
      continue;
    }
    // The filled slots either side of it, or the two nearest on its one side.
    const auto above = std::upper_bound(filled.begin(), filled.end(), k);
    const size_t last = filled.size() - 1;
    size_t a = 0, b = 0;
    if (above == filled.begin()) {
      a = filled[0];
      b = filled[std::min<size_t>(1, last)];
    } else if (above == filled.end()) {
      a = filled[last == 0 ? 0 : last - 1];
      b = filled[last];
    } else {
      a = *(above - 1);
      b = *above;
    }
    context.SlotMeans[k] = Linear(static_cast<double>(k), static_cast<double>(a), edgeStats_[a].Mean(),
                                  static_cast<double>(b), edgeStats_[b].Mean());
  }
  context.SamplingTime = ExpectedEdgeTime(currentContext_, samplingLevel_, true);

  int next = -1;
  for (size_t c = static_cast<size_t>(currentContext_) + 1; c < contexts_.size() && next < 0; ++c)
    if (contexts_[c].FirstBit >= 0) next = static_cast<int>(c);
  for (TStat& s : edgeStats_) s.Reset();
  contextSamples_ = 0;
  if (next >= 0) {
    currentContext_ = next;
    SetBitDelay(contexts_[static_cast<size_t>(next)].FirstBit);
    return;
  }
  TSetter set;
  set.Int("Acq:Ch1:RecLen"_node, kLevelRecLen);
  set.Int("Acq:Ch2:RecLen"_node, kLevelRecLen);
  smallestMean_ = 1e20;
  largestMean_ = -1e20;
  spreadStat_.Reset();
  largestSpread_ = 0;
  if (TakeFirstTransition()) phase_ = 3;
}

void TJ_Obj::PhaseSpreads() {
  if (!ReadRecord(kLevelRecLen)) return;
  const int context = pattern_.EdgeContext(currentBit_);
  if (context >= 16) return;
  for (size_t i = 0; i < values_.size(); ++i)
    if (values_[i] > lowerThreshold_ && values_[i] < upperThreshold_)
      edgeStats_[0].Add(1, EdgeTimeOf(context, i));
  if (edgeStats_[0].Count() <= kSpreadSamples) return;
  const double mean = edgeStats_[0].Mean();
  edgeStats_[1].Add(1, mean);
  smallestMean_ = std::min(smallestMean_, mean);
  largestMean_ = std::max(largestMean_, mean);
  spreadStat_.Add(1, edgeStats_[0].StdDevN());
  largestSpread_ = std::max(largestSpread_, edgeStats_[0].Max() - edgeStats_[0].Min());
  edgeStats_[0].Reset();

  const int32_t next = NextReachableTransition(currentBit_ + 1);
  if (next >= 0) {
    currentBit_ = next;
    SetBitDelay(next);
    return;
  }
  meanEdgeTime_ = edgeStats_[1].Mean();
  ScaleHistograms();
  Restart();
}

void TJ_Obj::ScaleHistograms() {
  const double m = meanEdgeTime_;
  const double a = 1.3 * std::max(m - smallestMean_, largestMean_ - m);
  const double b = std::min(5 * spreadStat_.Mean(), largestSpread_);
  const TJitterWidths w = JitterHistWidths(a, b);
  for (int k : {jhDDJ, jhRising, jhFalling}) hists_[static_cast<size_t>(k)].SetScale(w.DDJ);
  hists_[jhRJPJ].SetScale(w.Random);
  for (int k : {jhTJ, jhCompositeDDJ, jhCompositeRandom}) hists_[static_cast<size_t>(k)].SetScale(w.Total);
}

void TJ_Obj::Restart() {
  std::fill(bitMeans_.begin(), bitMeans_.end(), static_cast<float>(kNoBitMean));
  edgeStats_[0].Reset();
  edgeRecords_.clear();
  roundOffset_.Reset();
  if (TakeFirstTransition()) phase_ = 4;
}

void TJ_Obj::PhaseEdges() {
  if (!ReadRecord(kLevelRecLen)) return;
  const int context = pattern_.EdgeContext(currentBit_);
  if (context >= 16) return;
  for (size_t i = 0; i < values_.size(); ++i) {
    if (values_[i] <= lowerThreshold_ || values_[i] >= upperThreshold_) continue;
    const double e = EdgeTimeOf(context, i);
    edgeStats_[0].Add(1, e);
    if (edgeRecords_.size() < kJitterEdgeRecordLimit) edgeRecords_.push_back(e);
    hists_[jhTJ].Add(e - meanEdgeTime_);
    roundOffset_.Add(1, e - meanEdgeTime_);
  }
  if (edgeStats_[0].Count() <= kEdgeSamples) return;

  const double mean = edgeStats_[0].Mean();
  bitMeans_[static_cast<size_t>(currentBit_)] = static_cast<float>(mean);
  for (double e : edgeRecords_) {
    hists_[jhRJPJ].Add(e - mean);
    hists_[jhCompositeRandom].Add(e - mean);
  }
  const int32_t next = NextReachableTransition(currentBit_ + 1);
  if (next < 0) {
    // This round's own offset only: the TJ histogram keeps the earlier rounds too.
    meanEdgeTime_ += roundOffset_.Mean();
    FillDDJ();
    ComputeResults();
    ++rounds_;
    phase_ = 5;
    return;
  }
  edgeStats_[0].Reset();
  edgeRecords_.clear();
  currentBit_ = next;
  SetBitDelay(next);
}

void TJ_Obj::FillDDJ() {
  shownBitMeans_ = bitMeans_;
  for (size_t bit = 0; bit < bitMeans_.size(); ++bit) {
    if (bitMeans_[bit] == static_cast<float>(kNoBitMean)) continue;
    const double x = static_cast<double>(bitMeans_[bit]) - meanEdgeTime_;
    hists_[jhCompositeDDJ].Add(x);
    hists_[jhDDJ].Add(x);
    hists_[pattern_.Bit(static_cast<int32_t>(bit)) ? jhRising : jhFalling].Add(x);
  }
}

void TJ_Obj::ComputeResults() {
  // A histogram whose scale saw no spread reads zero: its values differ only by rounding.
  const auto flat = [](const TJitterHist& h) { return h.ZeroScale() || h.Count() == 0; };
  const auto spread = [&](int k) {
    const TJitterHist& h = hists_[static_cast<size_t>(k)];
    return flat(h) ? 0.0 : h.Stat.StdDevN();
  };
  const auto span = [&](int k) {
    const TJitterHist& h = hists_[static_cast<size_t>(k)];
    return flat(h) ? 0.0 : h.Stat.Max() - h.Stat.Min();
  };
  const TJitterHist& rising = hists_[jhRising];
  const TJitterHist& falling = hists_[jhFalling];
  results_[jrTotal] = spread(jhTJ);
  for (int k : {jrPeriodSs, jrPeriodRms, jrDetermin}) {
    results_[static_cast<size_t>(k)] = 4.44;
    units_[static_cast<size_t>(k)] = "spg";
  }
  results_[jrDataDepend] = span(jhDDJ);
  results_[jrRandom] = spread(jhRJPJ);
  results_[jrDutyCycle] =
      flat(rising) || falling.Count() == 0 ? 0.0 : std::fabs(rising.Stat.Mean() - falling.Stat.Mean());
  results_[jrInterSymbol] = std::max(span(jhRising), span(jhFalling));
}

// The results were computed as the round ended.
void TJ_Obj::PhaseResults() {
  if (outputs_.ResultsReady) outputs_.ResultsReady();
  Restart();
}

bool TJ_Obj::JitterResult(int index, double& value, std::string& unit) const {
  if (index < 0 || index >= kJitterResultCount) return false;
  value = results_[static_cast<size_t>(index)];
  unit = units_[static_cast<size_t>(index)];
  return true;
}

}  // namespace norv
