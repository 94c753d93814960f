#include "tdr_mask/tdr_normalization.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "analysis/derived_settings.h"
#include "analysis/math_functions.h"
#include "analysis/spectrum.h"
#include "analysis/zoom.h"
#include "display/scope_crt.h"
#include "framework/language/language.h"
#include "framework/settings/choice_handlers.h"
#include "framework/settings/numeric_handlers.h"
#include "framework/settings/program_objects.h"
#include "framework/settings/settings_recall.h"
#include "framework/settings/settings_tree.h"
#include "framework/settings/step_rules.h"
#include "framework/settings/undo_ring.h"
#include "framework/util/dialog_service.h"
#include "framework/util/errors.h"
#include "instrument/acquisition/acquisition_hooks.h"
#include "instrument/acquisition/acquisition_state.h"
#include "instrument/acquisition/procedures.h"
#include "instrument/link/sample_stream.h"
#include "instrument/settings/acquisition_settings.h"
#include "instrument/settings/channel_settings.h"
#include "instrument/settings/timebase_settings.h"
#include "instrument/simulator/simulator.h"
#include "shell/program_shell.h"
#include "shell/shell_state.h"
#include "tdr_mask/generator_settings.h"
#include "tdr_mask/tdr_settings.h"

namespace norv {

TNormalizationHooks NormalizationHooks;

namespace {

constinit TOwned<TNormalizationState> StatePtr;
// The correction's run, from the start of its window to its end: what it sets for itself,
// the run it stops, its questions and its ground (the TDR mode, the channel's destination
// and polarity).
TProcedureLife Life(TProcedure::TdrCorrection);
// The channel whose question stands (0: none): its switch set off ends the procedure.
int QuestionChannel = 0;
const TProgramUnit LifeUnit("TDR correction", [] {
  Life.Abandon();
  QuestionChannel = 0;
});
const TProgramUnit HooksUnit("TDR normalization hooks", [] { NormalizationHooks = {}; });

constexpr double kWideScaleTdr = 5.5e-8;
constexpr double kWideScaleTdt = 2e-8;
constexpr double kShortestRunSeconds = 2e-9;
constexpr int kMaxRetries = 15;
constexpr uint8_t kNormalizeOperator = 17;
constexpr uint8_t kInvertOperator = 4;

int Slot(int channel) { return channel == 3 ? 1 : 0; }
TTraceId ChannelTrace(int channel) { return channel == 3 ? TTraceId::Ch2 : TTraceId::Ch1; }
TTraceId FunctionOf(int channel) { return channel == 3 ? TTraceId::F2 : TTraceId::F1; }
TNormChannelData& Data(int channel) {
  return NormalizationState().Channels[static_cast<size_t>(Slot(channel))];
}

std::vector<double> Values(const TSignalObj& r) {
  std::vector<double> y(r.GetRecLen());
  for (size_t i = 0; i < y.size(); ++i) y[i] = r.GetStoredY(static_cast<int>(i));
  return y;
}

double Mean(std::span<const double> y, size_t from, size_t to) {
  if (to <= from) return 0;
  double sum = 0;
  for (size_t i = from; i < to; ++i) sum += y[i];
  return sum / static_cast<double>(to - from);
}

// The time of a (fractional) point of a record, whatever unit its axis is shown in.
double TimeOf(const TSignalObj& r, double index) {
  const THorizontalUnit kind = GetHorizontalUnitKind();
  const double x = r.IndexToX(index);
  return kind >= huMetre && kind <= huInch ? UnitToTime(kind, x) : x;
}

// The sample interval in seconds: the filter and the run lengths are times, whatever
// distance unit the axis shows.
double SecondsPerPoint(const TSignalObj& r) { return TimeOf(r, 1) - TimeOf(r, 0); }

// Step followed by its mirror, one period of a square wave, transformed into `target`.
void PeriodicSpectrum(TSignalObj& r, double lo, double hi, TSignalObj& target) {
  const int n = r.GetRecLen();
  if (2 * n > kMaxRecLen) throw EAssertion("Correction of a record longer than 2048 points");
  for (int i = 0; i < n; ++i) r.SetY(i + n, lo + hi - r.GetStoredY(i));
  r.SetRecLen(static_cast<uint16_t>(2 * n));
  r.SetRaw(true);
  CalcSpectrum(target, r, 0);
  r.SetRecLen(static_cast<uint16_t>(n));
}

// --- settings the procedure drives ---

void SetTimeBase(TTimeBaseMode mode, double scaleA) {
  TTimeBaseSettingsState& tb = TimeBaseSettings();
  tb.Mode->SetIndexByProgram(mode);
  tb.ScaleA[huTime]->SetValueByProgram(scaleA);
}

void SetDelayedView(const TNormalizationDialog& d) {
  TTimeBaseSettingsState& tb = TimeBaseSettings();
  SetTimeBase(tbmB, d.SB);
  tb.ScaleB[huTime]->SetValueByProgram(d.S0);
  tb.Delay->SetValueByProgram(d.D);
}

void SetStepsDelay(int steps) {
  if (TIntEditHandler* h = GeneratorSettings().StepsDelay) h->SetValueByProgram(steps);
}

void Changed() { NormalizationHooks.DialogChanged(); }

// One more acquisition follows.
void Request() { SingleFlag = true; }

void Close() {
  TNormalizationDialog& d = *NormalizationState().Dialog;
  d.Result = TNormResult::Cancel;
  NormalizationState().Running = false;
  NormalizationHooks.CloseDialog(false);
}

// An error box: OK tries again with a new acquisition, Cancel ends the procedure. Without
// a user to answer it ends, rather than asking forever.
void AskRetry(const std::string& text) {
  Life.AskThen(TMessageKind::Error, text, {TAnswer::OK, TAnswer::Cancel}, TAnswer::Cancel,
               [](TAnswer answer) { answer == TAnswer::OK ? Request() : Close(); });
}

std::string StimulusMessage(int k) {
  const char* key = k == -3 ? "TDRBadPolarity" : k == -2 ? "TDRNotStimul" : "TDRNot50Ohm";
  return GetLangStr(key) + GetLangStr("TDRCorrectAndOK");
}

// The reference average; true when the 128th acquisition is in.
bool Accumulate(TNormalizationDialog& d, const TSignalObj& record) {
  TSignalObj& ref = Data(d.Channel).Reference;
  ++d.Count;
  if (d.Count == 1) {
    ref.Assign(record);
    ref.SetRaw(true);
  } else {
    const int n = std::min<int>(ref.GetRecLen(), record.GetRecLen());
    for (int i = 0; i < n; ++i) ref.SetY(i, ref.GetStoredY(i) + record.GetStoredY(i));
  }
  if (d.Count < kNormAverageCount) return false;
  for (int i = 0; i < ref.GetRecLen(); ++i) ref.SetY(i, ref.GetStoredY(i) / kNormAverageCount);
  return true;
}

// The edge is before the second division: the generator's step moves later, or the user
// must move the external one.
void EdgeTooEarly(TNormalizationDialog& d, bool tdr) {
  if (d.External) {
    const std::string text = GetLangStr("TDRBadFrontDelay") +
                             GetLangStr(tdr ? "TDRSetExternalDelay" : "TDTSetExternalDelay") +
                             GetLangStr("TDRSetTB") + GetLangStr("TDRRepeatNormal");
    if (tdr) {
      Life.AskThen(TMessageKind::Error, text, {TAnswer::Cancel}, TAnswer::Cancel, [](TAnswer) { Close(); });
    } else {
      AskRetry(text);
    }
    return;
  }
  if (++d.Retry > kMaxRetries) {
    Life.Tell(TMessageKind::Error, GetLangStr("TDRConnectionsError"));
    Close();
    return;
  }
  SetStepsDelay(d.Retry);
  Request();
}

// The delayed view that puts the edge at time t on the second division.
void PlaceEdge(TNormalizationDialog& d, double t, double wideScale) {
  const double delay = t - 2 * d.S0;
  const double v = (5e-10 + delay) / 10 + d.SA;
  d.SB = CorrectNewVal1_2_5(v);
  if (d.SB < v) d.SB = CorrectNewVal1_2_5(2 * v);
  d.D = delay / d.SB;
  d.SW = wideScale;
  SetTimeBase(tbmA, d.SW);
}

void CalculateFilter(TNormalizationDialog& d);

void TdrStep(TNormalizationDialog& d, const TSignalObj& record) {
  const std::vector<double> y = Values(record);
  const double sign = d.Negative ? -1 : 1;
  switch (d.TdrStage) {
    case 0: {
      const int k = FindTdrStimulus(y, sign, RoundToInt(kShortestRunSeconds / SecondsPerPoint(record)));
      if (k < -1) return AskRetry(StimulusMessage(k));
      const double t = TimeOf(record, k);
      if (t < 2 * d.S0) return EdgeTooEarly(d, true);
      PlaceEdge(d, t, kWideScaleTdr);
      d.TdrStage = 1;
      return Request();
    }
    case 1:
      d.L1 = MeanLevel(y, 2, 8);
      SetDelayedView(d);
      d.TdrStage = 2;
      return Request();
    case 2:
      if (!Accumulate(d, record)) return Request();
      ProgramSimulator().SetSimTDRCircuit(d.Channel, TSimTdrCircuit::R50);
      return Life.AskThen(TMessageKind::Confirmation, GetLangStr("TDRChNormContinue"),
                          {TAnswer::OK, TAnswer::Cancel}, TAnswer::OK, [](TAnswer answer) {
                            if (answer != TAnswer::OK) return Close();
                            TNormalizationDialog& d = *NormalizationState().Dialog;
                            NormalizationState().WorkA.Assign(Data(d.Channel).Reference);
                            d.TdrStage = 3;
                            d.Count = 0;
                            Request();
                          });
    case 3: {
      const size_t n = y.size();
      const double m = sign * Mean(y, 9 * n / 10, n);
      const double l1 = sign * d.L1;
      if (m > 1.5 * l1 && m < 2.5 * l1) {
        SetTimeBase(tbmA, d.SW);
        d.TdrStage = 4;
        return Request();  // without it the procedure would wait for ever
      }
      return AskRetry(GetLangStr("TDRNo50Ohm") + GetLangStr("TDRCorrectAndOK"));
    }
    case 4:
      d.L2 = MeanLevel(y, 2, 8);
      SetTimeBase(tbmB, d.SB);
      d.TdrStage = 5;
      return Request();
    case 5: {
      if (!Accumulate(d, record)) return Request();
      TSignalObj& ref = Data(d.Channel).Reference;
      for (int i = 0; i < ref.GetRecLen(); ++i) ref.SetY(i, ref.GetStoredY(i) - d.L2);
      TSignalObj& a = NormalizationState().WorkA;
      MathBinaryOp(a, ref, a, 0, false, moSub);
      CalculateFilter(d);
      return;
    }
    default:
      return;
  }
}

void TdtStep(TNormalizationDialog& d, const TSignalObj& record) {
  const std::vector<double> y = Values(record);
  switch (d.TdtStage) {
    case 0: {
      const int k = FindTdtEdge(y, d.Negative ? -1 : 1);
      if (k < -1) return AskRetry(StimulusMessage(k));
      const double t = TimeOf(record, k);
      if (t < 2 * d.S0) return EdgeTooEarly(d, false);
      PlaceEdge(d, t, kWideScaleTdt);
      d.TdtStage = 1;
      return Request();
    }
    case 1:
      d.H = MeanLevel(y, 2, 8);
      SetDelayedView(d);
      d.TdtStage = 2;
      return Request();
    case 2: {
      if (!Accumulate(d, record)) return Request();
      TSignalObj& a = NormalizationState().WorkA;
      a.Assign(Data(d.Channel).Reference);
      d.Z = a.GetStoredY(std::clamp(RoundToInt(a.GetRecLen() * 0.5 / 10.24), 0, a.GetRecLen() - 1));
      CalculateFilter(d);
      return;
    }
    default:
      return;
  }
}

void CalculateFilter(TNormalizationDialog& d) {
  TNormalizationState& s = NormalizationState();
  TNormChannelData& c = Data(d.Channel);
  TSignalObj& a = s.WorkA;
  const TStepLevels step = FindStep(Values(a), true);
  if (!step.Found) {
    Life.Tell(TMessageKind::Error, "Slope Not Found!");
    return Close();
  }
  c.Edge = step.Edge;
  d.P = TimeOf(a, step.Edge);
  a.SetRaw(true);
  PeriodicSpectrum(a, step.Start, step.End, c.Spectrum);
  TTdrChannelNodes& n = TdrChannel(d.Channel);
  if (d.Tdr) {
    d.Amplitude = std::fabs(d.L2 - d.L1);
    n.RefAmpl->SetValueByProgram(d.Amplitude);
    n.BaseLine->SetValueByProgram(d.L2);
    c.TdrLow = d.L2;
    c.TdrHigh = d.L1;
  } else {
    d.Amplitude = std::fabs(d.H - d.Z);
    n.RefTDTZero->SetValueByProgram(d.Z);
    n.RefTDTAmpl->SetValueByProgram(d.Amplitude);
    c.TdtLow = d.Z;
    c.TdtHigh = d.H;
  }
  c.Negative = d.Negative;
  c.FilterRecLen = a.GetRecLen();
  c.FilterDX = SecondsPerPoint(a);
  BuildNormalizationFilter(d.Channel);
  BindChannelScaleControls(d.Channel);
  s.Running = false;
  d.OKEnabled = true;
  d.Status = GetLangStr("Normalization_Ready");
  d.StatusReady = true;
  Changed();
}

// --- the dialog's show and end ---

void ShowDialog(TNormalizationDialog& d) {
  const std::string mode = d.Tdr ? "TDR" : "TDT";
  const int number = d.Channel - 1;
  d.Caption = FormatLangStr("Norm____Ch_N", mode, number);
  d.Status = FormatLangStr("___Normalization", mode);
  const TProcedureScope setup(Life.Setup());
  TChannelSettingsState& ch = ChannelSettings();
  TChannelNodes& own = ch.Nodes[static_cast<size_t>(Slot(d.Channel))];
  TChannelNodes& other = ch.Nodes[static_cast<size_t>(1 - Slot(d.Channel))];
  own.Display->SetOnByProgram(true);
  other.Display->SetOnByProgram(false);
  other.Acquire->SetOnByProgram(false);
  own.Band->SetIndexByProgram(0);
  own.Offset[0]->SetValueByProgram(0);
  own.Scale[0]->SetValueByProgram(0.1);
  own.Offset[0]->SetValueByProgram(0);
  TTdrChannelNodes& n = TdrChannel(d.Channel);
  n.VertScale->SetIndexByProgram(0);
  n.VertTDTScale->SetIndexByProgram(0);
  AcquisitionSettings().ChannelNodes[static_cast<size_t>(Slot(d.Channel))].Mode->SetIndexByProgram(0);
  d.TbModeAtShow = GetTimeBaseMode();
  d.S0 = GetTimeBaseMode() == tbmB ? GetTimeScaleB() : GetTimeScaleA();
  if (!d.External) {
    d.S0 = std::min(d.S0, 3e-8);
    SetStepsDelay(0);
  }
  d.SA = std::max(d.S0, 1e-8);
  SetTimeBase(tbmA, d.SA);
  d.Progress = NormalizationProgress(d.Tdr, 0, 0);
  NormalizationState().Running = true;
  Request();
}

void EndDialog(const TNormalizationDialog& d, bool ok) {
  Life.End();
  if (!ok) return;
  // The correction taken is the procedure's own outcome, as its set-up was: no undo step.
  const TProcedureScope own(Life.Setup());
  if (!d.External) SetStepsDelay(d.Retry);
  SetDelayedView(d);
  TTdrChannelNodes& n = TdrChannel(d.Channel);
  if (d.Tdr) {
    n.RefAmpl->SetValueByProgram(d.Amplitude);
    n.BaseLine->SetValueByProgram(d.L2);
  } else {
    n.RefTDTAmpl->SetValueByProgram(d.Amplitude);
    n.RefTDTZero->SetValueByProgram(d.Z);
  }
  n.RefPlane->SetValueByProgram(d.P);
}

// --- the function that shows the corrected trace ---

void ResetFunctionView(int channel) {
  const TTraceId f = FunctionOf(channel);
  if (ScopeCRT) ScopeCRT->DeleteSignalLayer(f);
  TZoomNodes& zoom = ZoomNodes(f);
  if (zoom.HorScale) zoom.HorScale->SetValueByProgram(1);
  if (zoom.HorPosition) zoom.HorPosition->SetValueByProgram(0);
}

void SetUpFunction(int channel) {
  TNormChannelData& c = Data(channel);
  const int function = Slot(channel);
  TFunctionNodes& f = DerivedSettings().Functions[static_cast<size_t>(function)];
  c.SavedDisplay = f.Display->IsOn();
  c.SavedOperat = f.Operat->GetIndex();
  c.SavedSource1 = static_cast<uint8_t>(TraceIndex(f.Source1->GetSource()));
  c.FunctionSetUp = true;
  SignalObjs()[FunctionOf(channel)].SetSpectrum(false);
  ResetFunctionView(channel);
  f.Display->SetOnByProgram(true);
  f.Operat->SetIndexByProgram(kNormalizeOperator);
  f.Source1->SetSourceByProgram(ChannelTrace(channel));
  BindChannelScaleControls(channel);
  UpdateFunctionMenuEnabling(function);
}

// Gives back what this channel changed, and nothing of the other channel's.
void RestoreFunction(int channel) {
  TNormChannelData& c = Data(channel);
  const int function = Slot(channel);
  TFunctionNodes& f = DerivedSettings().Functions[static_cast<size_t>(function)];
  if (c.FunctionSetUp && f.Operat && f.Operat->GetIndex() == kNormalizeOperator) {
    f.Display->SetOnByProgram(c.SavedDisplay);
    f.Operat->SetIndexByProgram(c.SavedOperat);
    f.Source1->SetSourceByProgram(static_cast<TTraceId>(c.SavedSource1));
  }
  c.FunctionSetUp = false;
  if (c.SavedMaxRecLen > 0) {
    AcquisitionSettings().ChannelNodes[static_cast<size_t>(function)].RecLen->SetMax(c.SavedMaxRecLen);
    c.SavedMaxRecLen = 0;
  }
  BindChannelScaleControls(channel);
  UpdateFunctionMenuEnabling(function);
}

void LowerRecordLength(int channel) {
  TNormChannelData& c = Data(channel);
  TIntEditHandler* recLen = AcquisitionSettings().ChannelNodes[static_cast<size_t>(Slot(channel))].RecLen;
  if (recLen->GetIntValue() > kNormMaxRecLen) recLen->SetValueByProgram(kNormMaxRecLen);
  if (c.SavedMaxRecLen == 0) c.SavedMaxRecLen = recLen->GetMax();
  recLen->SetMax(kNormMaxRecLen);
}

// The filter fits records of the length and sample interval it was built for only.
bool FilterFits(int channel, const TSignalObj& record) {
  const TNormChannelData& c = Data(channel);
  return c.FilterValid && record.GetRecLen() == c.FilterRecLen &&
         std::fabs(SecondsPerPoint(record) - c.FilterDX) <= 1e-6 * std::fabs(c.FilterDX);
}

// A correction whose filter no longer fits its channel's new record (another time base or
// record length) ends as its switch set Off ends it: its function is given back, and no old
// record stands as the corrected one. Its starter is told why. The records of a procedure
// that has the acquisitions are its own.
void EndCorrectionsThatNoLongerFit() {
  if (TakesTheRun(RunningProcedure())) return;
  for (int channel : {2, 3}) {
    const TSignalObj& record = SignalObjs()[ChannelTrace(channel)];
    if (!IsChannelNormalized(channel) || record.GetRecLen() == 0 || FilterFits(channel, record)) continue;
    {
      // Its outcome: no undo step.
      const TProcedureScope outcome(Life.Setup());
      TdrChannel(channel).Normalize->SetOnByProgram(false);
    }
    Life.Tell(TMessageKind::Warning, FormatLangStr("NormNoLongerFits", GetTDRModeText(), channel - 1));
  }
}

}  // namespace

// --- the procedure's measurements ---

int RoundToInt(double x) {
  if (!std::isfinite(x)) return 0;
  return static_cast<int>(std::clamp(std::round(x), -2147483647.0, 2147483647.0));
}

int FindTdrStimulus(std::span<const double> y, double sign, int shortestRun) {
  const int n = static_cast<int>(y.size());
  if (n == 0) return -2;
  const double level = sign * Mean(y, static_cast<size_t>(8 * n / 10), y.size());
  if (std::fabs(level) < 0.05) return -2;
  if (level < 0) return -3;
  std::vector<int> cls(y.size());
  for (size_t i = 0; i < y.size(); ++i) {
    const double v = sign * y[i];
    cls[i] = v < level / 2 ? 0 : v >= 1.5 * level ? 2 : 1;
  }
  // Short runs (noise) take the class around them, scanning from the end; the first long
  // run ends the merging.
  int background = 1, runClass = 0, runStart = 0;
  bool open = false;
  for (int i = n - 1; i >= 0; --i) {
    const int c = cls[static_cast<size_t>(i)];
    if (!open) {
      if (c == background) continue;
      open = true;
      runClass = c;
      runStart = i;
      if (i > 0) continue;
    }
    const bool ends = c != runClass;
    if (!ends && i > 0) continue;
    const int last = ends ? i + 1 : 0;
    if (runStart - last + 1 >= shortestRun) break;
    for (int j = last; j <= runStart; ++j) cls[static_cast<size_t>(j)] = background;
    open = false;
    if (ends && c != background) {
      open = true;
      runClass = c;
      runStart = i;
      if (i == 0 && shortestRun > 1) cls[0] = background;
    }
  }
  for (int i = n - 1; i >= 0; --i) {
    if (cls[static_cast<size_t>(i)] == 0) return -4;
    if (cls[static_cast<size_t>(i)] == 2) return i;
  }
  return -1;
}

int FindTdtEdge(std::span<const double> y, double sign) {
  const size_t n = y.size();
  if (n == 0) return -2;
  const double level = sign * Mean(y, 8 * n / 10, n);
  if (std::fabs(level) < 0.05) return -2;
  if (level < 0) return -3;
  for (size_t i = 0; i < n; ++i)
    if (sign * y[i] > level / 2) return static_cast<int>(i) - 1;
  return static_cast<int>(n) - 1;
}

double MeanLevel(std::span<const double> y, double start, double length) {
  if (!(start > 0 && length >= 0 && start + length <= 10.01))
    throw EAssertion("Assertion failed (SRC\\TDR_Normalization, line 244)");
  const int n = static_cast<int>(y.size());
  if (n == 0) return 0;
  const int from = std::clamp(RoundToInt(n * start / 10.24), 0, n - 1);
  const int to = std::clamp(RoundToInt(n * (start + length) / 10.24), 0, n - 1);
  return Mean(y, static_cast<size_t>(from), static_cast<size_t>(std::max(from, to) + 1));
}

TStepLevels FindStep(std::span<const double> y, bool wantEdge) {
  TStepLevels s;
  const size_t n = y.size();
  const size_t part = n / 20;
  if (n == 0) return s;
  s.Start = Mean(y, 0, std::max<size_t>(part, 1));
  s.End = Mean(y, n - std::min(n, part + 1), n);
  if (!wantEdge) {
    s.Found = true;
    return s;
  }
  const bool rising = s.End > s.Start;
  const double mid = (s.Start + s.End) / 2, amp = std::fabs(s.Start - s.End);
  if (amp < 0.005) return s;
  for (double band = amp / 20; band <= amp / 2.5; band += amp / 20) {
    double sum = 0;
    int count = 0;
    for (size_t i = n / 10; i <= n / 2 && i < n; ++i) {
      if (y[i] >= mid - band && y[i] <= mid + band) {
        sum += static_cast<double>(i);
        ++count;
      }
    }
    if (count >= 2) {
      s.Edge = sum / count;
      s.Found = true;
      return s;
    }
  }
  for (size_t i = 0; i < n; ++i) {
    if (rising ? y[i] > mid : y[i] < mid) {
      s.Edge = static_cast<double>(i) - 0.5;
      s.Found = true;
      return s;
    }
  }
  return s;
}

void IdealEdge(std::span<double> y, double lo, double hi, double edge, double width) {
  for (size_t i = 0; i < y.size(); ++i) {
    const double x = (static_cast<double>(i) - (edge - 1)) / width * 2.56;
    const double phi = (1 + std::erf(x / std::sqrt(2.0))) / 2;
    y[i] = lo - phi * (lo - hi);
  }
}

int NormalizationProgress(bool tdr, int stage, int count) {
  const int p = RoundToInt(count * 100.0 / kNormAverageCount);
  if (!tdr) return stage == 0 ? 10 : p;
  switch (stage) {
    case 0:
      return 5;
    case 1:
      return 10;
    case 2:
      return 10 + RoundToInt(0.45 * p);
    case 5:
      return 55 + RoundToInt(0.45 * p);
    default:
      return 55;
  }
}

// --- the unit ---

TNormalizationState& NormalizationState() {
  if (!StatePtr) StatePtr = std::make_unique<TNormalizationState>();
  return *StatePtr;
}

void ResetNormalizationState() { StatePtr.reset(); }

int NormalizationDialogChannel() {
  const TNormalizationState* s = StatePtr.get();
  return s && s->Dialog ? s->Dialog->Channel : 0;
}

bool IsChannelNormalized(int channel) {
  if (!TdrSettings().Mode || !IsTDRActive(channel)) return false;
  return IsOn(TdrChannel(channel).Normalize);
}

void StartNormalization(int channel) {
  TNormalizationState& s = NormalizationState();
  TTdrChannelNodes& n = TdrChannel(channel);
  // Refused as its question's Cancel ends it: the switch goes off.
  const auto switchOff = [&n] { n.Normalize->SetOnByProgram(false); };
  if (RefusedBesideProcedure(TProcedure::TdrCorrection, switchOff)) return;
  if (s.Dialog) throw EAssertion("Assertion failed (SRC\\TDR, line 1218)");
  if (!Life.Start(switchOff)) return;
  // From its question on, what it works on and its switch are its own: a change by anyone
  // else ends it before the answer can start it.
  Life.HoldGround(TdrSettings().Mode);
  Life.HoldGround(n.Destination);
  Life.HoldGround(n.Polar);
  Life.HoldSwitch(n.Normalize, "OFF");
  // Every way out ends it as its window's Cancel does, and at once: its set-up is back
  // before what ended it goes on. Before its window the switch goes off with it.
  Life.OnCancel = [&n] {
    const bool asking = !NormalizationState().Dialog;
    EndNormalizationDialog(false);
    Life.End();
    if (!asking) return;
    const TProcedureScope own(Life.Setup());
    n.Normalize->SetOnByProgram(false);
  };
  const bool tdr = IsTDRMode(channel);
  const bool external = n.Destination->GetIndex() == tdExternal;
  {
    // The simulator's line as the user is asked to connect the real one; the set-up gives
    // the user's simulated line back, however the correction ends.
    const TProcedureScope own(Life.Setup());
    if (tdr)
      ProgramSimulator().SetSimTDRCircuit(channel, TSimTdrCircuit::Short);
    else
      ProgramSimulator().SetSimTDTCircuit(channel, TSimTdtCircuit::Stimul);
  }
  std::string text = FormatLangStr(tdr ? "TDRChStartNormCal" : "TDTChStartNormCal", channel - 1);
  text += GetLangStr("TDRSetTB");
  if (external) text += GetLangStr(tdr ? "TDRSetExternalDelay" : "TDTSetExternalDelay");
  text += GetLangStr("TDRPressOK");
  QuestionChannel = channel;
  const TAnswer answer =
      Life.Ask(TMessageKind::Confirmation, text, {TAnswer::OK, TAnswer::Cancel}, TAnswer::OK);
  QuestionChannel = 0;
  if (answer != TAnswer::OK) return Life.Cancel({});
  n.Calibrated = true;
  LowerRecordLength(channel);
  s.Dialog = std::make_unique<TNormalizationDialog>();
  TNormalizationDialog& d = *s.Dialog;
  d.Channel = channel;
  d.Trace = TraceIndex(ChannelTrace(channel));
  d.Tdr = tdr;
  d.Negative = n.Polar->GetIndex() == 1;
  d.External = external;
  BreakAcquisition(true);
  // Only its own requests acquire.
  RunFlag = false;
  SingleFlag = false;
  s.Busy = true;
  const auto finish = [&] {
    Life.End();  // when the run raised before its end gave it back
    s.Running = false;
    s.Dialog.reset();
    s.Busy = false;
  };
  const bool withWindow = NormalizationHooks.ShowDialog.IsSet() && !DialogsSuppressed();
  // A client's correction that does not run answers what its run told.
  RunFailingCommand([&] {
    bool ok = false;
    try {
      ShowDialog(d);
      // Without its window (started for a remote client) nobody could click OK: the
      // procedure runs before the command answers, and the correction is taken once ready.
      if (withWindow)
        ok = NormalizationHooks.ShowDialog();
      else
        ok = IdleStepsUntil([&d] { return d.Result != TNormResult::None || d.OKEnabled; });
      ok = ok && d.Result != TNormResult::Cancel && d.OKEnabled && Life.Running();
      s.Running = false;
      EndDialog(d, ok);
      if (ok) {
        const TProcedureScope own(Life.Setup());
        SetUpFunction(channel);
        Data(channel).WasOn = true;
      }
    } catch (...) {
      finish();
      throw;
    }
    finish();
    if (ok) return true;
    {
      const TProcedureScope own(Life.Setup());
      switchOff();
    }
    if (!withWindow) ThrowIfClosing();
    return false;
  });
}

void NormalizationAfterAcquisition() {
  TNormalizationState* s = StatePtr.get();
  if (!s) return;
  if (!s->Dialog) return EndCorrectionsThatNoLongerFit();
  if (!s->Running || s->Dialog->Result != TNormResult::None) return;
  TNormalizationDialog& d = *s->Dialog;
  const TSignalObj& record = SignalObjs()[ChannelTrace(d.Channel)];
  const TProcedureScope own(Life.Setup());
  if (d.Tdr)
    TdrStep(d, record);
  else
    TdtStep(d, record);
  d.Progress = NormalizationProgress(d.Tdr, d.Tdr ? d.TdrStage : d.TdtStage, d.Count);
  Changed();
}

void EndNormalizationDialog(bool ok) {
  TNormalizationState* s = StatePtr.get();
  if (!s || !s->Dialog) return;
  TNormalizationDialog& d = *s->Dialog;
  if (ok && !d.OKEnabled) return;
  d.Result = ok ? TNormResult::OK : TNormResult::Cancel;
  s->Running = false;
  NormalizationHooks.CloseDialog(ok);
}

void BuildNormalizationFilter(int channel) {
  TNormalizationState& s = NormalizationState();
  TNormChannelData& c = Data(channel);
  const double dx = c.FilterDX;
  if (std::fabs(dx) < 1e-15 || c.FilterRecLen <= 0) return;
  // Both in seconds: the edge is as many points wide in any unit of the axis.
  const double w = TdrChannel(channel).NormTime->GetValue() / dx;
  const bool tdr = IsTDRMode(channel);
  const double lo = tdr ? c.TdrLow : c.TdtLow, hi = tdr ? c.TdrHigh : c.TdtHigh;
  TSignalObj& a = s.WorkA;
  a.AssignHeader(c.Spectrum);
  a.SetSpectrum(false);
  a.SetRaw(true);
  a.SetRecLen(static_cast<uint16_t>(c.FilterRecLen));
  a.SetDX(dx);
  std::vector<double> y(static_cast<size_t>(c.FilterRecLen));
  IdealEdge(y, lo, hi, c.Edge, w);
  for (size_t i = 0; i < y.size(); ++i) a.SetY(static_cast<int>(i), y[i]);
  PeriodicSpectrum(a, lo, hi, s.WorkB);
  MathBinaryOp(s.WorkB, c.Spectrum, c.Filter, 0, false, moDiv);
  c.FilterValid = true;
}

bool NormalizeChannel(int channel, TSignalObj& result) {
  TNormalizationState& s = NormalizationState();
  TNormChannelData& c = Data(channel);
  const TSignalObj& r = SignalObjs()[ChannelTrace(channel)];
  if (!FilterFits(channel, r)) return false;
  TSignalObj& a = s.WorkA;
  a.Assign(r);
  a.SetRaw(true);
  if (IsTDRMode(channel)) MathBinaryOp(a, c.Reference, a, 0, false, moSub);
  const TStepLevels levels = FindStep(Values(a), false);
  PeriodicSpectrum(a, levels.Start, levels.End, result);
  MathBinaryOp(c.Filter, result, s.WorkB, 0, false, moMult);
  MathUnaryOp(s.WorkB, result, moIFFT);
  // The corrected points carry the channel record's axes, units and title.
  result.AssignHeader(r);
  result.SetTitle(r.GetTitle());
  return true;
}

void SwitchOffNormalization() {
  TTdrSettingsState& tdr = TdrSettings();
  if (!tdr.Mode) return;
  NormalizationState().Pending = false;
  for (int channel : {2, 3}) {
    TTdrChannelNodes& n = TdrChannel(channel);
    // A switch whose channel is not in use shows no corrected trace and starts nothing: it
    // stays as the setup holds it, and so does the view of the function, which is the user's.
    if (!IsOn(n.Normalize) || n.Normalize->IsDisabled()) continue;
    ResetFunctionView(channel);
    TFunctionNodes& f = DerivedSettings().Functions[static_cast<size_t>(Slot(channel))];
    // A function the correction never took over (its run was cancelled) stays the user's.
    if (f.Operat && f.Operat->GetIndex() == kNormalizeOperator) {
      f.Display->SetOnByProgram(false);
      f.Operat->SetIndexByProgram(kInvertOperator);
    }
    n.Normalize->SetOnByProgram(false);
  }
}

void SwitchOffNormalizationIfPending() {
  if (StatePtr && StatePtr->Pending) SwitchOffNormalization();
}

void NormalizeBeforeChange(int channel) { Data(channel).WasOn = IsOn(TdrChannel(channel).Normalize); }

void NormalizeChanged(int channel, THandler& normalize) {
  TNormChannelData& c = Data(channel);
  const bool on = IsOn(TdrChannel(channel).Normalize);
  const bool wasOn = c.WasOn;
  c.WasOn = on;
  BreakAcquisition(true);
  if (on == wasOn) return;
  // Recalled on, it goes off once the recall has ended: its run starts only by hand.
  if (on && RecallHoldsBack(normalize)) {
    NormalizationState().Pending = true;
    return;
  }
  if (ShellState.DeferredStartDone) ResetFunctionView(channel);
  if (on) {
    StartNormalization(channel);
  } else {
    RestoreFunction(channel);
    // Switched off by someone else while its question stands: it ends before the answer.
    if (QuestionChannel == channel) Life.Cancel(MovedText(normalize));
    // Switched off while its calibration runs: the run is cancelled, not finished.
    if (NormalizationDialogChannel() == channel) EndNormalizationDialog(false);
  }
}

void NormTimeChanged(int channel) {
  TNormChannelData& c = Data(channel);
  if (IsOn(TdrChannel(channel).Normalize) && c.FilterValid) BuildNormalizationFilter(channel);
}

void InstallTdrNormalization() {
  AcqHooks.NormalizationStep.Set(NormalizationAfterAcquisition);
  MathHooks.Normalize.Set([](int function, TSignalObj& result) {
    // Only an acquisition's own pass corrects: the record is fresh.
    if (!AcqCycleRunning) return false;
    const int channel = function == 0 ? 2 : 3;
    if (!IsChannelNormalized(channel)) return false;
    return NormalizeChannel(channel, result);
  });
  MathHooks.ChannelNormalized.Set(IsChannelNormalized);
  SettingsTreeState.OnSettingsLoaded.Set(SwitchOffNormalization);
  ShellHooks.AfterUndoReplay.Set(SwitchOffNormalizationIfPending);
}

}  // namespace norv
