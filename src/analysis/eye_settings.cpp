#include "analysis/eye_settings.h"

#include <algorithm>
#include <cstdio>
#include <span>

#include "analysis/eye_engine.h"
#include "display/display_hooks.h"
#include "display/scope_crt.h"
#include "display/settings/display_settings.h"
#include "framework/language/hint_stack.h"
#include "framework/language/language.h"
#include "framework/settings/choice_handlers.h"
#include "framework/settings/numeric_handlers.h"
#include "framework/settings/program_objects.h"
#include "framework/settings/settings_tree.h"
#include "framework/text/text_case.h"
#include "framework/text/text_encoding.h"
#include "framework/traces/display_sources.h"
#include "instrument/acquisition/acquisition_hooks.h"
#include "instrument/link/instrument_identity.h"
#include "instrument/link/link_hooks.h"
#include "instrument/record/signal_obj.h"
#include "instrument/startup/dispatchers.h"
#include "measure/hist/hist_objects.h"
#include "measure/meas_settings.h"
#include "measure/meas_state.h"

namespace norv {

TEyePageHooks EyePageHooks;

namespace {

TEyeSettingsState State;
const TProgramUnit StateUnit("eye settings", ResetEyeSettingsState);

// The traces with a waveform record; the sources after them are not the eye's to take.
constexpr const char* kSourceList = "Ch1,Ch1B2,Ch2,Ch2B2,F1,F2,F3,F4,M1,M2,M3,M4,S1,S2";

constexpr TEyeParamText kXNrzTexts[] = {
    {"Area", "Area", "Area"},
    {"BitRate", "BitRate", "Bit Rate"},
    {"BitTime", "BitTime", "Bit Time"},
    {"CrossTime", "CrossingTime", "Crossing Time"},
    {"CycleArea", "CycleArea", "Cycle Area"},
    {"DutCycDistP", "DutCycDistPerc", "DutCycDist %"},
    {"DutCycDistS", "DutCycDist_s", "DutCycDist s"},
    {"EyeWidth", "EyeWidth", "Eye Width"},
    {"EyeWidthP", "EyeWidthPerc", "Eye Width %"},
    {"FallTime", "FallTime", "Fall Time"},
    {"Freq", "Frequency", "Frequency"},
    {"JitterPP", "JitterPp", "Jitter P-p"},
    {"JitterRMS", "JitterRMS", "Jitter RMS"},
    {"Period", "Period", "Period"},
    {"RiseTime", "RiseTime", "Rise Time"},
};
constexpr TEyeParamText kYNrzTexts[] = {
    {"AcRMS", "acRMS", "ac RMS"},
    {"AvgPower", "AvgPower", "Avg Power"},
    {"AvgPWdBm", "AvgPower_dBm", "Avg Power dBm"},
    {"CrossPerc", "CrossingPerc", "Crossing %"},
    {"CrossLevel", "CrossingLevel", "Crossing Level"},
    {"ExtRatioDB", "ExtRatio_dB", "Ext Ratio dB"},
    {"ExtRatioP", "ExtRatioPerc", "Ext Ratio %"},
    {"ExtRatio", "ExtRatio", "Ext Ratio"},
    {"EyeAmpl", "EyeAmplitude", "Eye Amplitude"},
    {"EyeHeight", "EyeHeight", "Eye Height"},
    {"EyeHeightDB", "EyeHeight_dB", "Eye Height dB"},
    {"Max", "Maximum", "Maximum"},
    {"Mean", "Mean", "Mean"},
    {"Mid", "Mid", "Mid"},
    {"Min", "Minimum", "Minimum"},
    {"NegOver", "NegOvershoot", "Neg Overshoot"},
    {"PPNoiseOne", "NoisePpOne", "Noise P-p One"},
    {"PPNoiseZero", "NoisePpZero", "Noise P-p Zero"},
    {"RMSNoiseOne", "NoiseRMS_One", "Noise RMS One"},
    {"RMSNoiseZero", "NoiseRMS_Zero", "Noise RMS Zero"},
    {"OneLevel", "OneLevel", "One Level"},
    {"PeakPeak", "PeakPeak", "Peak-Peak"},
    {"PosOver", "PosOvershoot", "Pos Overshoot"},
    {"RMS", "RMS", "RMS"},
    {"SNRaio", "S_N_Ratio", "S/N Ratio"},
    {"SNRaioDB", "S_N_Ratio_dB", "S/N Ratio dB"},
    {"ZeroLevel", "ZeroLevel", "Zero Level"},
};
constexpr TEyeParamText kXRzTexts[] = {
    {"Area", "Area", "Area"},
    {"BitRate", "BitRate", "Bit Rate"},
    {"BitTime", "BitTime", "Bit Time"},
    {"CycleArea", "CycleArea", "Cycle Area"},
    {"EyeWidth", "EyeWidth", "Eye Width"},
    {"EyeWidthP", "EyeWidthPerc", "Eye Width %"},
    {"FallTime", "FallTime", "Fall Time"},
    {"JittPpFall", "JitterPpFall", "Jitter P-p Fall"},
    {"JittPpRise", "JitterPpRise", "Jitter P-p Rise"},
    {"JittRMSFall", "JitterRMS_Fall", "Jitter RMS Fall"},
    {"JittRMSRise", "JitterRMS_Rise", "Jitter RMS Rise"},
    {"NegCross", "NegCrossing", "Neg Crossing"},
    {"PosCross", "PosCrossing", "Pos Crossing"},
    {"PosDutyCyc", "PosDutyCycle", "Pos Duty Cycle"},
    {"PulseSymm", "PulseSymmetry", "Pulse Symmetry"},
    {"PulseWidth", "PulseWidth", "Pulse Width"},
    {"RiseTime", "RiseTime", "Rise Time"},
};
constexpr TEyeParamText kYRzTexts[] = {
    {"AcRMS", "ACRMS", "ac RMS"},
    {"AvgPower", "AvgPower", "Avg Power"},
    {"AvgPWdBm", "AvgPower_dBm", "Avg Power dBm"},
    {"Contrast", "ContrastRatio", "Contrast Ratio"},
    {"ContrastBb", "ContrastRatio_dB", "ContrastRatio dB"},
    {"ContrastP", "ContrastRatioPerc", "ContrastRatio %"},
    {"ExtRatioDB", "ExtRatio_dB", "Ext Ratio dB"},
    {"ExtRatioP", "ExtRatioPerc", "Ext Ratio %"},
    {"ExtRatio", "ExtRatio", "Ext Ratio"},
    {"EyeAmpl", "EyeAmplitude", "Eye Amplitude"},
    {"EyeHeight", "EyeHeight", "Eye Height"},
    {"EyeHeightDB", "EyeHeight_dB", "Eye Height dB"},
    {"EyeOpenFact", "EyeOpening", "Eye Opening"},
    {"Max", "Maximum", "Maximum"},
    {"Mean", "Mean", "Mean"},
    {"Mid", "Mid", "Mid"},
    {"Min", "Minimum", "Minimum"},
    {"PPNoiseOne", "NoisePpOne", "Noise P-p One"},
    {"PPNoiseZero", "NoisePpZero", "Noise P-p Zero"},
    {"RmsNoiseOne", "NoiseRMS_One", "Noise RMS One"},
    {"RMSNoiseZero", "NoiseRMS_Zero", "Noise RMS Zero"},
    {"OneLevel", "OneLevel", "One Level"},
    {"PeakPeak", "PeakPeak", "Peak-Peak"},
    {"RMS", "RMS", "RMS"},
    {"SignToNoise", "SignaltoNoise", "Signal to Noise"},
    {"ZeroLevel", "ZeroLevel", "Zero Level"},
};

// The items of the Y lists (NRZ, RZ) that need the optical converter: the average powers
// and the extinction ratios.
constexpr uint32_t kOpticalItems[2] = {1u << 1 | 1u << 2 | 1u << 5 | 1u << 6 | 1u << 7,
                                       1u << 1 | 1u << 2 | 1u << 6 | 1u << 7 | 1u << 8};

// [group - 1][axis]
constexpr std::span<const TEyeParamText> kTexts[2][2] = {{kXNrzTexts, kYNrzTexts}, {kXRzTexts, kYRzTexts}};

std::span<const TEyeParamText> Texts(uint8_t group, uint8_t axis) {
  return kTexts[group == egRZ][axis != eaX];
}

std::string ItemList(std::span<const TEyeParamText> texts) {
  std::string list;
  for (const TEyeParamText& t : texts) list += (list.empty() ? "" : ",") + std::string(t.Mnemonic);
  return list;
}

TEyeState& Eye() { return EyeState(); }
uint8_t Mode() { return GetIndex(State.Measure); }
bool MeasureOn() { return Mode() != egNone; }
bool StatisticOn() { return IsOn(State.Statistic); }
TTraceId SourceId() {
  const TTraceId id = State.Source ? State.Source->GetSource() : TTraceId::Ch1;
  return IsRecordTrace(id) ? id : TTraceId::Ch1;
}
TNizText* Strip() { return ScopeCRT ? &ScopeCRT->BottomText() : nullptr; }
TColorRef SourceColour() { return GetDisplaySourceRGB(SourceId()); }

void SetRestartFlag() { Eye().RestartRequested = true; }

// --- node follow-ups ---

void RemoveOverlays() {
  if (!ScopeCRT) return;
  ScopeCRT->DeleteMarkerLayer(1);
  ScopeCRT->DeleteMarkerLayer(2);
}

// While the eye is off the strip belongs to the other analyses.
void ClearStrip() {
  State.LinesBuilt = false;
  if (TNizText* strip = Strip(); strip && (MeasureOn() || State.WasOn)) strip->Clear();
}

void ReleaseEyeAnnotations() {
  ClearAllAnnotations();
  MeasState.Ann.SelectedParamLine = -1;
}

void EyeSourceChanged() {
  UpdateEyeParamMasks();
  const auto colour = static_cast<uint8_t>(SourceId());
  for (TEditHandler* node :
       std::initializer_list<TEditHandler*>{State.WfmsInCycle, State.Window, State.Weight, State.LeftBound,
                                            State.RightBound, State.UpTresh, State.LowTresh})
    node->SetColorSource(colour);
  ReadEyeConfig();
  if (EyeSourceOn()) {
    RebuildEyeParamLines();
    if (MeasureOn()) ClearEyeMeasurement();
  }
  RelabelEyeParams();
}

void EyeModeChanged() {
  const bool stat = StatisticOn();
  const auto mode = GetIndex(State.Mode);
  State.Window->SetDisabled(!stat || mode != 1);
  State.Weight->SetDisabled(!stat || mode != 2);
  ReadEyeConfig();
  RestartEyeStatistics();
  ApplyEyeStatMode();
}

void EyeStatisticChanged() {
  State.Mode->SetDisabled(!StatisticOn());
  ClearStrip();
  RebuildEyeParamLines();
  EyeModeChanged();
}

bool Checked(uint8_t group, uint8_t axis, int index) {
  return (State.Sets[group - 1][axis]->GetMask() >> index) & 1;
}

// The RZ list drops the items unchecked while the eye was off and takes, in item order,
// those checked meanwhile.
void TakeRzParamSets() {
  for (int n = Eye().Count(egRZ) - 1; n >= 0; --n) {
    const TEyeParam& p = *EyeParam(egRZ, n);
    if (!Checked(egRZ, p.Axis, p.Index)) RemoveEyeParam(egRZ, p.Axis, p.Index);
  }
  for (uint8_t axis : {eaX, eaY})
    for (int i = 0; i < State.Sets[egRZ - 1][axis]->GetCount(); ++i)
      if (Checked(egRZ, axis, i)) AddEyeParam(egRZ, axis, static_cast<uint8_t>(i));
}

void EyeMeasureChanged() {
  EyePageHooks.PageToFirst();
  const bool on = MeasureOn();
  // Staying off (a recall, the default setup) leaves the other analyses' labels, strip
  // and overlays alone.
  const bool ours = on || State.WasOn;
  if (ours) ReleaseEyeAnnotations();
  RemoveEyeHint();
  if (on) SwitchOffOtherAnalyses(kEyeMenuCode);
  EyeSourceChanged();
  State.DisplayWindow->SetDisabled(!on);
  ReadEyeConfig();
  RestartEyeStatistics();
  ClearStrip();
  if (ours) RemoveOverlays();
  State.WasOn = on;
  if (on) {
    TakeRzParamSets();
    ClearEyeMeasurement();
    RebuildEyeParamLines();
  } else if (ProgramFullHist) {
    ProgramFullHist->Clear();
  }
}

void EyeDisplayWindowChanged() {
  if (IsOn(State.DisplayWindow)) {
    RedrawEyeDisplayWindow();
  } else if (ScopeCRT) {
    ScopeCRT->DeleteMarkerLayer(1);
  }
}

constexpr double kMinBoundGap = 2.5;

void EyeBoundChanged(bool left) {
  const double l = State.LeftBound->GetValue(), r = State.RightBound->GetValue();
  if (l + kMinBoundGap > r) {
    if (left) {
      State.RightBound->SetValueByProgram(l + kMinBoundGap);
    } else {
      State.LeftBound->SetValueByProgram(r - kMinBoundGap);
    }
    SetRestartFlag();
  }
  ReadEyeConfig();
  if (!left) UpdateEyeMeasureWindow();
}

void EyeTreshModeChanged() {
  const bool custom = GetIndex(State.TreshMode) == 2;
  State.UpTresh->SetDisabled(!custom);
  State.LowTresh->SetDisabled(!custom);
  SetRestartFlag();
  ReadEyeConfig();
}

void EyeParamSetChanged(uint8_t group, uint8_t axis) {
  // While the eye is off the RZ sets are only sets; the measure takes them when it starts.
  if (group == egRZ && !MeasureOn()) return;
  TCheckSwHandler* set = State.Sets[group - 1][axis];
  const uint8_t index = set->GetLastButton();
  ReadEyeConfig();
  if (set->GetLastState()) {
    AddEyeParam(group, axis, index);
  } else {
    RemoveEyeParam(group, axis, index);
  }
  State.LinesBuilt = false;
  RebuildEyeParamLines();
}

// --- lines ---

int LineCount() { return MeasureOn() ? Eye().Count(Mode()) : 0; }

}  // namespace

TEyeSettingsState& EyeSettings() { return State; }
void ResetEyeSettingsState() { State = {}; }

const TEyeParamText& EyeParamText(uint8_t group, uint8_t axis, uint8_t index) {
  const std::span<const TEyeParamText> texts = Texts(group, axis);
  return texts[std::min<size_t>(index, texts.size() - 1)];
}

std::string EyeParamLabel(int line) {
  const TEyeParam* p = EyeParam(Mode(), line);
  if (!p) return {};
  std::string label = GetLangStr(EyeParamText(p->Group, p->Axis, p->Index).Key);
  if (!IsAveragePower(p->Kind())) label += " (" + TraceDisplayName(SourceId()) + ")";
  return label;
}

void ReadEyeConfig() {
  TEyeConfig& c = Eye().Config;
  if (!State.Measure) return;
  c.Measure = Mode();
  c.Source = SourceId();
  c.WfmsInCycle = State.WfmsInCycle->Value();
  c.Statistic = StatisticOn();
  c.StatMode = static_cast<TStatMode>(GetIndex(State.Mode));
  c.Window = State.Window->Value();
  c.Weight = State.Weight->Value();
  c.LeftBound = State.LeftBound->GetValue();
  c.RightBound = State.RightBound->GetValue();
  c.TreshMode = GetIndex(State.TreshMode);
  c.UpTresh = State.UpTresh->GetValue();
  c.LowTresh = State.LowTresh->GetValue();
}

bool EyeDatabaseShown() { return DisplaySettings().DataBaseExist.Exists; }
bool EyeSourceOn() { return SignalsOn.IsOn(SourceId()); }

void UpdateEyeParamMasks() {
  for (int g = 0; g < 2; ++g) {
    TCheckSwHandler* set = State.Sets[g][eaY];
    if (!set) continue;
    if (HasOpticsOption()) {
      set->SetDisabledMask(0b110);
      continue;
    }
    const uint32_t optical = kOpticalItems[g];
    set->SetDisabledMask(optical);
    for (int i = 0; i < set->GetCount(); ++i)
      if ((optical >> i & 1u) && (set->GetMask() >> i & 1u)) set->SetButtonByProgram(i, false);
  }
}

bool EyeLinesBuilt() { return State.LinesBuilt; }

void RebuildEyeParamLines() {
  State.LinesBuilt = true;
  TNizText* strip = Strip();
  if (!strip || !MeasureOn()) return;
  strip->Clear();
  ShowStatisticsHeader(2);
  for (int n = 0; n < LineCount(); ++n) {
    strip->WriteLine(EyeParamLabel(n), TNizText::GetLineCellRect(n, 1), -1, SourceColour());
    ShowEyeLine(n);
  }
}

void ShowEyeCounter(int line, const std::string& text) {
  TNizText* strip = Strip();
  if (!strip || line >= LineCount()) return;
  strip->WriteLine(text, TNizText::GetLineCellRect(line, 3), -1, SourceColour());
}

void ShowEyeLine(int line) {
  TNizText* strip = Strip();
  const TEyeParam* p = EyeParam(Mode(), line);
  if (!strip || !p) return;
  const TModedStat& st = p->Stat;
  const std::string& unit = p->StatUnit;
  const bool any = st.Count() > 0;
  const auto put = [&](int column, const std::string& text) {
    strip->WriteLine(text, TNizText::GetLineCellRect(line, column), -1, SourceColour());
  };
  put(2, any ? StatValueText(p->Value, p->UnitText) : "");
  put(4, any ? StatValueText(st.Min(), unit) : "");
  put(5, any ? StatValueText(st.Max(), unit) : "");
  if (StatisticOn()) {
    put(6, any ? StatValueText(st.Mean(), unit) : "");
    put(7, !any ? "" : st.Count() == 1 ? GetLangStr("Undefined") : StatValueText(st.StdDev(), unit));
  }
}

void RedrawEyeDisplayWindow() {
  if (!ScopeCRT || !MeasureOn() || !IsOn(State.DisplayWindow)) return;
  T_Eye_ParamLayer* layer = ScopeCRT->CreateEyeParamLayer(SourceId());
  if (!layer) return;
  const TEyeRect& d = Eye().DisplayWindow;
  const TEyeRect& m = Eye().MeasureWindow;
  layer->PaintEye_Params({.WindowLeftX = d.XLow,
                          .WindowTopY = d.YHigh,
                          .WindowRightX = d.XHigh,
                          .WindowBottomY = d.YLow,
                          .Level2Y = m.YLow,
                          .Level1Y = m.YHigh,
                          .Line1X = m.XLow,
                          .Line2X = m.XHigh});
}

void RemoveEyeHint() {
  if (Eye().EyeHintId != 0) RemoveHint(Eye().EyeHintId);
  Eye().EyeHintId = 0;
}

void UncheckEyeParam(uint8_t group, uint8_t axis, uint8_t index) {
  if (TCheckSwHandler* set = State.Sets[group - 1][axis]) set->SetButtonByProgram(index, false);
}

bool EyeAnnotationsOwned() { return MeasureOn() && MeasState.Ann.SelectedParamLine >= 0; }

void DefineEyeLabels(TEyeParam& p) {
  TAnnSet& a = p.Annotations;
  a.Clear();
  const TTraceId source = SourceId();
  const auto def = [&](int n, const std::string& text, uint8_t placement) {
    DefineAnnLabel(a, n, 1, source, 0, text, placement);
  };
  const auto key = [](const char* k) { return GetLangStr(k); };
  const auto level = [](const std::string& text) { return " " + text + " "; };
  // Labels 1 and 2: the left and right ends of an X result, the two levels of a Y one.
  const auto ends = [&](const std::string& left, const std::string& right) {
    def(1, left, 0);
    def(2, right, 1);
  };
  const auto levels = [&](const std::string& first, const std::string& second) {
    def(1, first, 4);
    def(2, second, 4);
  };
  using K = TEyeKind;
  const K k = p.Kind();
  if (p.Axis == eaX) {
    switch (k) {
      case K::Area:
        return;
      case K::CrossTime:
        def(1, key("an_Crossing"), 0);
        return;
      case K::DutCycDistP:
      case K::DutCycDistS:
        ends(key("an_L50Perc"), key("an_R50Perc"));
        return;
      case K::JitterPP:
      case K::JittPpFall:
      case K::JittPpRise:
        ends(key("anLPp"), key("anRPp"));
        return;
      case K::JitterRMS:
      case K::JittRMSFall:
      case K::JittRMSRise:
        ends(key("anL_RMS"), key("anR_RMS"));
        return;
      case K::NegCross:
      case K::PosCross:
        def(1, (k == K::NegCross ? "- " : "+ ") + key("an_Crossing"), 0);
        return;
      case K::RiseTime:
      case K::FallTime: {
        const auto [low, up] = EyeThresholdFractions();
        char lo[24], hi[24];
        std::snprintf(lo, sizeof lo, " %4.1f%% ", low * 100);
        std::snprintf(hi, sizeof hi, " %4.1f%% ", up * 100);
        const bool rise = k == K::RiseTime;
        ends(rise ? lo : hi, rise ? hi : lo);
        return;
      }
      case K::PosDutyCyc:
        ends(key("an_L_Cross"), key("an_R_Cross"));
        def(3, key("anL_Width"), 2);
        def(4, key("anR_Width"), 3);
        return;
      case K::PulseSymm:
      case K::PulseWidth:
        ends(key("anL_Width"), key("anR_Width"));
        if (k == K::PulseSymm) def(3, key("Max"), 2);
        return;
      default:
        if (k == K::EyeWidth || k == K::EyeWidthP) {
          ends(key(p.Group == egRZ ? "an_L_Cross" : "anL_Open"),
               key(p.Group == egRZ ? "an_R_Cross" : "anR_Open"));
          if (p.Group == egRZ) {
            def(3, key("anL_Open"), 2);
            def(4, key("anR_Open"), 3);
          }
          return;
        }
        ends(key("an_L_Cross"), key("an_R_Cross"));
        return;
    }
  }
  switch (k) {
    case K::AvgPower:
    case K::AvgPowerDBm:
      return;
    case K::AcRMS:
      def(1, p.Group == egRZ ? key("RMS") : "AC RMS", 4);
      return;
    case K::RMS:
      def(1, key("RMS"), 4);
      return;
    case K::Max:
    case K::Mean:
    case K::Mid:
    case K::Min: {
      static constexpr const char* kKeys[] = {"Max", "Mean", "Mid", "Min"};
      def(1, level(key(kKeys[static_cast<int>(k) - static_cast<int>(K::Max)])), 4);
      return;
    }
    case K::PeakPeak:
      levels(level(key("Max")), level(key("Min")));
      return;
    case K::PPNoiseOne:
    case K::PPNoiseZero:
      levels(key("anPlusPeak"), key("anMinusPeak"));
      return;
    case K::RMSNoiseOne:
    case K::RMSNoiseZero:
      levels(key("anPlusRMS"), key("anMinusRMS"));
      return;
    case K::OneLevel:
      levels(level(key("an1_Lvl")), level(key("an1_Lvl")));
      return;
    case K::ZeroLevel:
      levels(level(key("an0_Lvl")), level(key("an0_Lvl")));
      return;
    case K::SNR:
    case K::SNRdB:
      levels(level(key("an0_Lvl")), level(key("an1_Lvl")));
      def(3, key("an1_Noise"), 4);
      def(4, key("an0_Noise"), 4);
      return;
    case K::EyeHeight:
    case K::EyeHeightDB:
      def(1, level(key("an1_Open")), 4);
      def(3, level(key("an0_Open")), 4);
      return;
    case K::EyeOpenFact:
      def(1, "1 " + level(key("an1_Lvl")), 4);
      def(3, "0 " + level(key("an0_Lvl")), 4);
      return;
    default: {
      const bool ratio = k == K::ExtRatio || k == K::ExtRatioDB || k == K::ExtRatioP || k == K::Contrast ||
                         k == K::ContrastDB || k == K::ContrastP;
      def(1, level(key(ratio && p.Group == egRZ ? "an1P_Level" : "an1_Lvl")), 4);
      def(3, level(key(ratio && p.Group == egRZ ? "anDarkLevel" : "an0_Lvl")), 4);
      if (p.Group == egNRZ && (k == K::CrossPerc || k == K::CrossLevel)) def(5, key("an_Crossing"), 0);
      if (p.Group == egNRZ && ratio) def(5, key("anDarkLevel"), 0);
      if (k == K::NegOver) def(5, key("anMinusPeak"), 4);
      if (k == K::PosOver) def(5, key("anPlusPeak"), 4);
      return;
    }
  }
}

void RelabelEyeParams() {
  const int owner = MeasState.Ann.SelectedParamLine;
  TEyeParam* p = EyeParam(Mode(), owner);
  if (!p || !MeasureOn()) return;
  ClearAllAnnotations();
  MeasState.Ann.SelectedParamLine = owner;
  DefineEyeLabels(*p);
  ShowAnnotations(p->Annotations);
}

// --- annotations of a line ---

namespace {

void ShowLineAnnotations(int line) {
  TEyeParam* p = EyeParam(Mode(), line);
  if (!p) return;
  ClearAllAnnotations();
  MeasState.Ann.SelectedParamLine = line;
  MeasState.Ann.AnnotationsShown = true;
  DefineEyeLabels(*p);
  // The labels need an analysed map; the next evaluation shows them otherwise.
  if (p->Stat.Count() > 0) ComputeEyeParam(line);
}

void StatisticsAnswer(const TEyeParam& p, const std::string& word, std::string& reply) {
  const TModedStat& st = p.Stat;
  const bool empty = st.Count() == 0;
  const auto value = [&](double v) {
    return empty || v == UndefinedValue ? FloatToEngStr(vfEngineering, 4, false, UndefinedValue, false)
                                        : FloatToEngStr(vfEngineering, 4, false, v, false) + p.StatUnit;
  };
  const auto starts = [&](std::string_view key) { return UpperAscii(word).starts_with(UpperAscii(key)); };
  if (starts("Cycle")) {
    reply += std::to_string(st.Count());
  } else if (starts("Wfm")) {
    reply += std::to_string(EyeWaveformsOf(p));
  } else if (starts("Min")) {
    reply += value(st.Min());
  } else if (starts("Max")) {
    reply += value(st.Max());
  } else if (starts("Mean")) {
    reply += value(st.Mean());
  } else if (starts("StdDev")) {
    reply += value(st.Count() < 2 ? UndefinedValue : st.StdDev());
  } else {
    reply += "BAD STATISTIC PARAMETER";
  }
}

}  // namespace

std::string EyeResQuery(const std::string& rawParameter, bool isQuery) {
  std::string reply;
  if (!isQuery || !MeasureOn()) return reply;
  const std::string param(TrimBlanks(rawParameter));
  if (HeaderOn()) reply += ":" + EchoedInput(param) + " ";
  const int count = LineCount();
  if (UpperAscii(param).starts_with("LIST")) {
    reply += "\r\n";
    for (int n = 0; n < count; ++n) reply += std::to_string(n + 1) + "  " + EyeParamLabel(n) + "\r\n";
    return reply;
  }
  if (count == 0) return reply + "Eye Measure OFF";
  const size_t colon = param.find(':');
  const std::string number(TrimBlanks(std::string_view(param).substr(0, colon)));
  const bool digits =
      !number.empty() && number.size() < 4 && std::all_of(number.begin(), number.end(), IsAsciiDigit);
  const int n = digits ? std::stoi(number) : 0;
  if (n < 1 || n > count) return reply + "INVALID NUMBER OF PARAMETER";
  const TEyeParam& p = *EyeParam(Mode(), n - 1);
  if (colon == std::string::npos) {
    reply += FloatToEngStr(vfEngineering, 4, false, p.Value, false) + p.UnitText;
  } else {
    StatisticsAnswer(p, std::string(TrimBlanks(std::string_view(param).substr(colon + 1))), reply);
  }
  return reply;
}

TPopupMenu BuildEyeParamPopupMenu(int line) {
  TPopupMenu menu;
  if (!EyeParam(Mode(), line)) return menu;
  const bool owner = MeasState.Ann.SelectedParamLine == line;
  const bool view = IsOn(State.DisplayWindow);
  menu.Items.push_back({"AllVisible", EyeParamLabel(line), view && owner, true});
  menu.Items.push_back({"-", "", false, true});
  menu.Items.push_back({"-", "", false, true});
  menu.Items.push_back({"Annot", GetLangStr("pumpSetAnnotation"), owner, !owner});
  menu.Items.push_back(
      {"DelAnnot", GetLangStr("pumpDelAnnotations"), false, MeasState.Ann.SelectedParamLine >= 0});
  menu.Items.push_back({"-", "", false, true});
  menu.Items.push_back({"DefParam", GetLangStr("pumpViewDefParams"), view, !view});
  menu.Items.push_back({"DelDefParam", GetLangStr("pumpUnViewDefPars"), false, view});
  menu.Items.push_back({"-", "", false, true});
  menu.Items.push_back({"Remove", GetLangStr("pumpRemoveParam"), false, true});
  menu.Items.push_back({"RemoveAll", GetLangStr("pumpRemoveAll"), false, true});
  return menu;
}

void EyeParamPopupCommand(const std::string& command, int line) {
  const TEyeParam* p = EyeParam(Mode(), line);
  if (!p) return;
  if (command == "AllVisible") {
    State.DisplayWindow->SetOnByProgram(true);
    ShowLineAnnotations(line);
  } else if (command == "Annot") {
    ShowLineAnnotations(line);
  } else if (command == "DelAnnot") {
    ReleaseEyeAnnotations();
  } else if (command == "DefParam" || command == "DelDefParam") {
    State.DisplayWindow->SetOnByProgram(command == "DefParam");
  } else if (command == "Remove") {
    UncheckEyeParam(p->Group, p->Axis, p->Index);
  } else if (command == "RemoveAll") {
    const uint8_t g = Mode();
    for (int n = Eye().Count(g) - 1; n >= 0; --n) {
      const TEyeParam& q = *EyeParam(g, n);
      UncheckEyeParam(q.Group, q.Axis, q.Index);
    }
  }
}

void RegisterEyeHandlers() {
  TSpider& root = *RootSpider;
  State.LinesBuilt = false;
  State.Measure = root.AddRadioSw(0, "Eye:Measure", "Off,NRZ,RZ", [](THandler&) { EyeMeasureChanged(); });
  State.Source =
      root.AddSignalSourceSw(0, "Eye:Source", kSourceList, 0, [](THandler&) { EyeSourceChanged(); });
  const auto powersOfTwo = [](const char* path, int32_t value, double min, double mid, double max,
                              const char* unit, THandlerEvent onChange) {
    return RootSpider->AddIntEdit({.Path = path,
                                   .Value = value,
                                   .Unit = unit,
                                   .Min = min,
                                   .Mid = mid,
                                   .Max = max,
                                   .CoarseRule = srPowerOfTwo,
                                   .CoarseStep = 2,
                                   .OnChange = std::move(onChange)});
  };
  State.WfmsInCycle = powersOfTwo("Eye:WfmsInCycle", 64, 64, 256, 1024, "Wfms", {});
  State.DisplayWindow = root.AddOnOff(true, "Eye:DispaylWind", [](THandler&) { EyeDisplayWindowChanged(); });
  State.Statistic = root.AddOnOff(false, "Eye:Statistic", [](THandler&) { EyeStatisticChanged(); });
  State.Mode = root.AddRadioSw(0, "Eye:Mode", "Permanent,Window,Weight", [](THandler&) { EyeModeChanged(); });
  const auto statWindow = [](THandler&) {
    ReadEyeConfig();
    ApplyEyeStatMode();
  };
  State.Window = powersOfTwo("Eye:Window", 8, 8, 8, 8192, "", statWindow);
  State.Weight = powersOfTwo("Eye:Weight", 8, 8, 8, 8192, "", statWindow);
  const auto percent = [](const char* path, double value, double min, double mid, double max,
                          THandlerEvent onChange) {
    return RootSpider->AddDoubleEdit({.Path = path,
                                      .Value = value,
                                      .Unit = "%",
                                      .Digits = 4,
                                      .Min = min,
                                      .Mid = mid,
                                      .Max = max,
                                      .CoarseRule = srLinear,
                                      .CoarseStep = 2.5,
                                      .FineRule = srLinear,
                                      .FineStep = 0.5,
                                      .Tolerance = 0.01,
                                      .OnChange = std::move(onChange)});
  };
  State.LeftBound = percent("Eye:LeftBound", 40, 10, 40, 87.5, [](THandler&) { EyeBoundChanged(true); });
  State.RightBound = percent("Eye:RightBound", 60, 12.5, 60, 90, [](THandler&) { EyeBoundChanged(false); });
  State.TreshMode =
      root.AddRadioSw(1, "Eye:TreshMode", "10-90,20-80,Custom", [](THandler&) { EyeTreshModeChanged(); });
  const auto tresh = [](THandler&) {
    SetRestartFlag();
    ReadEyeConfig();
    UpdateEyeMeasureWindow();
  };
  State.UpTresh = percent("Eye:UpTresh", 80, 55, 80, 95, tresh);
  State.LowTresh = percent("Eye:LowTresh", 20, 5, 20, 45, tresh);
  const auto set = [&](uint8_t group, uint8_t axis, const char* path, uint32_t disabled) {
    State.Sets[group - 1][axis] = root.AddCheckSw(
        0, path, ItemList(Texts(group, axis)), [group, axis](THandler&) { EyeParamSetChanged(group, axis); },
        {}, disabled);
  };
  set(egNRZ, eaX, "Eye:XNRZParam", 0);
  set(egNRZ, eaY, "Eye:YNRZParam", kOpticalItems[0]);
  set(egRZ, eaX, "Eye:XRZParam", 0);
  set(egRZ, eaY, "Eye:YRZParam", kOpticalItems[1]);
  State.Res = root.AddGpibString("Eye:Res", [](const std::string& param, bool isQuery, uint8_t,
                                               std::string& reply) { reply += EyeResQuery(param, isQuery); });
  State.DisplayWindow->SetDisabled(true);
  State.Mode->SetDisabled(true);
  State.Window->SetDisabled(true);
  State.Weight->SetDisabled(true);
  State.UpTresh->SetDisabled(true);
  State.LowTresh->SetDisabled(true);
  ReadEyeConfig();
}

void ApplyEyeSettings() {
  EyeMeasureChanged();
  EyeStatisticChanged();
  EyeTreshModeChanged();
  if (EyeDatabaseShown()) SetRestartFlag();
  UpdateEyeParamMasks();
}

void InstallEyeSettings() {
  AcqHooks.EyeMeasurementPass.Set(EyeMeasurementPass);
  LinkHooks.EyeMeasureOn.Set(MeasureOn);
  LinkHooks.ClearEyeMeasurement.Set(ClearEyeMeasurement);
  DisplayHooks.EyeMeasureOn.Set(MeasureOn);
  DisplayHooks.EyeParamLineCount.Set(LineCount);
  // The strip numbers the eye lines from 1.
  DisplayHooks.BuildEyeParamPopupMenu.Set([](int line) { return BuildEyeParamPopupMenu(line - 1); });
  DisplayHooks.EyeParamPopupCommand.Set(
      [](const std::string& command, int line) { EyeParamPopupCommand(command, line - 1); });
  SetAnalysisSwitchOff(kEyeMenuCode, [] {
    if (State.Measure && MeasureOn()) State.Measure->SetIndexByProgram(0);
  });
}

}  // namespace norv
