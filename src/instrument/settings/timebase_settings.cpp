#include "instrument/settings/timebase_settings.h"

#include <algorithm>
#include <cmath>

#include "framework/language/language.h"
#include "framework/settings/choice_handlers.h"
#include "framework/settings/numeric_handlers.h"
#include "framework/settings/program_objects.h"
#include "framework/settings/settings_tree.h"
#include "framework/settings/undo_ring.h"
#include "instrument/link/instrument_identity.h"
#include "instrument/link/link_state.h"
#include "instrument/link/sample_stream.h"
#include "instrument/settings/channel_settings.h"
#include "instrument/settings/setting_rules.h"
#include "instrument/settings/setting_senders.h"
#include "instrument/settings/settings_hooks.h"
#include "instrument/settings/trigger_settings.h"
#include "units/tdr_units.h"

namespace norv {

namespace {

constexpr double BitRates[] = {
    1.544e6,    2.048e6,    3.152e6,    6.312e6,   8.448e6,    34.368e6,  44.736e6, 51.84e6,   125e6,
    132.813e6,  139.264e6,  155.52e6,   265.625e6, 393.22e6,   466.56e6,  480e6,    531.25e6,  622.08e6,
    786.43e6,   933.12e6,   1.0625e9,   1.24416e9, 1.25e9,     1.5e9,     1.5729e9, 1.86625e9, 2.125e9,
    2.1231e9,   2.48832e9,  2.5e9,      2.66606e9, 3.0e9,      3.125e9,   3.187e9,  3.32e9,    4.25e9,
    5.0e9,      8.5e9,      9.95328e9,  10.3125e9, 10.51875e9, 10.6642e9, 10.709e9, 11.0957e9, 12.2495e9,
    19.90656e9, 39.81312e9, 42.65691e9, 43.01841e9};
constexpr int InitialBitRate = 7;

const char* const ScaleMnemonics[] = {"Scale", "BitScale", "ScaleMetre", "ScaleFoot", "ScaleInch"};
// The middle value of each unit's scales when it lies within the converted limits.
constexpr double UnitMids[] = {1e-8, 1.0, 1.0, 1.0, 10.0};

constinit TTimeBaseSettingsState State;
const TProgramUnit StateUnit("time-base settings", ResetTimeBaseSettingsState);

TDoubleEditHandler* TimeScale(bool b) { return b ? State.ScaleB[huTime] : State.ScaleA[huTime]; }
std::array<TDoubleEditHandler*, 5>& Scales(bool b) { return b ? State.ScaleB : State.ScaleA; }

bool IsUserChange(const THandler& h) {
  const TWhoChanged who = h.GetWhoChangedRaw();
  return who == wcvSwitcher || who == wcvCommand || State.ProgramCountsAsUser;
}

double Nearest125(double v) { return CorrectNewVal1_2_5(v); }

// Mid of a scale: the unit's usual value when the limits allow it.
double ScaleMid(THorizontalUnit kind, double min, double max) {
  const double mid = UnitMids[kind];
  if (mid >= min && mid <= max) return mid;
  return Nearest125(std::sqrt(min * max));
}

void SetLimits(TEditHandler* h, double min, double mid, double max) {
  // Twice, so that the order of the old limits does not matter.
  for (int pass = 0; pass < 2; ++pass) {
    h->SetMin(min);
    h->SetMax(max);
  }
  h->SetMid(mid);
}

// The limits of the time scale A or B converted into each other unit.
void ConvertLimits(bool b, double min, double max) {
  for (int k = huBit; k <= huInch; ++k) {
    const auto kind = static_cast<THorizontalUnit>(k);
    const double unitMin = TimeToUnit(kind, min);
    const double unitMax = TimeToUnit(kind, max);
    SetLimits(Scales(b)[k], unitMin, ScaleMid(kind, unitMin, unitMax), unitMax);
  }
}

void ApplyLimitRule(bool b) {
  const double min = b ? TimeBaseResolution(GetTimeScaleA()) : TimeBaseMin;
  const double max = b ? GetTimeScaleA() : State.ScaleAMax;
  SetLimits(TimeScale(b), min, ScaleMid(huTime, min, max), max);
  ConvertLimits(b, min, max);
}

void ConvertIntoUnits(bool b) {
  const TDoubleEditHandler& time = *TimeScale(b);
  const double t = time.Value();
  for (int k = huBit; k <= huInch; ++k) {
    if (k == State.EditedUnit) continue;
    const auto kind = static_cast<THorizontalUnit>(k);
    TDoubleEditHandler& scale = *Scales(b)[k];
    // A scale the time scale was set from keeps its digits, which the time scale, held to a
    // femtosecond, may not all carry back (160 m bits at 2.48832 Gb/s).
    if (std::fabs(UnitToTime(kind, scale.Value()) - t) <= time.GetTolerance() / 2) continue;
    scale.SetValueByProgram(TimeToUnit(kind, t));
  }
}

void UpdateWindowMarks() {
  if (SettingsHooks.AcquisitionRunning()) return;
  if (GetTimeBaseMode() != tbmAB) {
    SettingsHooks.ShowTimeBaseWindows(0, 0, 0, false);
    return;
  }
  const TTimeBaseWindows marks = TimeBaseWindowMarks(
      GetTimeScaleA(), GetTimeScaleB(), State.Delay->GetFloatValue(), State.DeltaDel->GetFloatValue());
  SettingsHooks.ShowTimeBaseWindows(marks.Start1, marks.Start2, marks.Width, IsOn(State.DualDel));
}

double HalfMid(double rest) { return rest <= 0.6 ? 0.0 : Nearest125(rest / 2); }

void DeltaChanged(THandler&) {
  BreakAcquisition(true);
  UpdateWindowMarks();
}

void DelayChanged(THandler&) {
  const double rest =
      std::max(0.0, DeltaDelayMaximum(GetTimeScaleA(), GetTimeScaleB(), State.Delay->GetFloatValue()));
  State.DeltaDel->SetMax(rest);
  State.DeltaDel->SetMid(HalfMid(rest));
  DeltaChanged(*State.DeltaDel);
  SendTimeBase();
  UpdateWindowMarks();
}

void ScaleBChanged(THandler& h) {
  if (State.BothScalesPending) return;
  if (IsUserChange(h)) State.EditedUnit = huTime;
  BreakAcquisition(true);
  ConvertIntoUnits(true);
  const double max = DelayMaximum(GetTimeScaleA(), GetTimeScaleB());
  State.Delay->SetMax(max);
  State.Delay->SetMid(max >= 6 ? 5.0 : HalfMid(max));
  SettingsHooks.RefreshSamplingRateCells();
  DelayChanged(*State.Delay);
  SendTimeBase();
  SettingsHooks.RefreshAcquisitionPages();
  UpdateWindowMarks();
}

void ScaleAChanged(THandler& h) {
  if (State.BothScalesPending) return;
  if (IsUserChange(h)) State.EditedUnit = huTime;
  BreakAcquisition(true);
  UpdateHoldoffLimit();
  ConvertIntoUnits(false);
  ApplyLimitRule(true);
  State.Delay->NotifySwitchers();
  State.DeltaDel->NotifySwitchers();
  SettingsHooks.RefreshSamplingRateCells();
  ScaleBChanged(*State.ScaleB[huTime]);
  SendTimeBase();
}

// Sets A and B by program as one change. Set one at a time, B would be clamped to a new A
// below it (and the delay with it) before its own new value arrives, and a time base that
// is no setting at all would be sent in between.
void SetTimeScales(double a, double b) {
  {
    State.BothScalesPending = true;
    struct TReset {
      ~TReset() { State.BothScalesPending = false; }
    } reset;
    TimeScale(false)->SetValueByProgram(a);
    ApplyLimitRule(false);
    ApplyLimitRule(true);
    TimeScale(true)->SetValueByProgram(b);
  }
  ScaleAChanged(*TimeScale(false));
}

void UnitScaleChanged(THandler& h, bool b, THorizontalUnit kind) {
  // The node's own origin: a conversion inside a change that counts as the user's is none.
  const TWhoChanged who = h.GetWhoChangedRaw();
  const bool user = who == wcvSwitcher || who == wcvCommand;
  // A unit edited, shown or not, moves the time scale and keeps its value while the other
  // units follow, and only then: kept out of conversions longer, it would miss every later
  // change of the time scale until the next start converts it.
  const THorizontalUnit before = State.EditedUnit;
  if (user) State.EditedUnit = kind;
  if (kind == State.EditedUnit)
    TimeScale(b)->SetValueByProgram(UnitToTime(kind, Scales(b)[kind]->GetFloatValue()));
  if (user) State.EditedUnit = before;
}

void ApplyEnabling() {
  const THorizontalUnit kind = GetHorizontalUnitKind();
  const TTimeBaseMode mode = GetTimeBaseMode();
  State.Units->SetDisabled(SettingsHooks.TDRActive());
  for (int k = huTime; k <= huInch; ++k) {
    State.ScaleA[k]->SetDisabled(k != kind);
    State.ScaleB[k]->SetDisabled(k != kind || mode == tbmA);
  }
  State.Delay->SetDisabled(mode == tbmA);
  State.DualDel->SetDisabled(mode == tbmA);
  State.DeltaDel->SetDisabled(mode == tbmA || !IsOn(State.DualDel));
}

void UnitsChanged(THandler&) {
  const uint8_t now = State.Units->GetIndex();
  if (State.UnitsBefore == huTime) {
    State.ScaleA[huBit]->SetValueByProgram(TimeToUnit(huBit, GetTimeScaleA()));
    State.ScaleB[huBit]->SetValueByProgram(TimeToUnit(huBit, GetTimeScaleB()));
  } else if (now == huBit) {
    SetTimeScales(UnitToTime(huBit, State.ScaleA[huBit]->GetFloatValue()),
                  UnitToTime(huBit, State.ScaleB[huBit]->GetFloatValue()));
  }
  ApplyHorizontalUnits(true);
}

void ModeChanged(THandler&) {
  State.Units->SetDisabledMask(0);
  ApplyHorizontalUnits(false);
  SendTimeBase();
  UpdateWindowMarks();
  const bool b = GetTimeBaseMode() == tbmB;
  SignalsOn.SetOn(TTraceId::Ch1B2, b && SignalsOn.IsOn(TTraceId::Ch1));
  SignalsOn.SetOn(TTraceId::Ch2B2, b && SignalsOn.IsOn(TTraceId::Ch2));
}

void DualDelayChanged(THandler&) {
  BreakAcquisition(true);
  State.DeltaDel->SetDisabled(GetTimeBaseMode() == tbmA || !IsOn(State.DualDel));
  UpdateWindowMarks();
}

void StopBitChanged(THandler&) {
  // As an edit in bits, so that the time scale (the master) follows.
  const THorizontalUnit edited = State.EditedUnit;
  State.EditedUnit = huBit;
  struct TRestore {
    THorizontalUnit Unit;
    ~TRestore() { State.EditedUnit = Unit; }
  } restore{edited};
  State.ScaleA[huBit]->SetValueByProgram((State.StopBit->GetIntValue() + 20) / 10.0);
}

void StartBitChanged(THandler&) {
  State.StopBit->SetMin(State.StartBit->GetIntValue());
  StopBitChanged(*State.StopBit);
}

// Delays are stored in divisions of A and shown in the horizontal unit.
double DelayUnitScale() { return State.ScaleA[GetHorizontalUnitKind()]->GetFloatValue(); }

void DelayText(const TEditHandler&, std::string& text, double divisions) {
  const THorizontalUnit kind = GetHorizontalUnitKind();
  static const char* const units[] = {"s", "", "m", "ft", "in"};
  const int digits = kind == huTime || kind == huBit ? 6 : 5;
  const std::string unit = kind == huBit ? GetLangStr("Bits") : units[kind];
  text = FloatToEngStr(3, digits, false, divisions * DelayUnitScale(), false) + unit;
}

void DelayEntry(double& value, TEditHandler&) {
  const double scale = DelayUnitScale();
  if (scale > 0) value /= scale;
}

// Every scale starts with the limits of A, steps 1-2-5 and finely by a fraction of itself.
TDoubleEditHandler* AddScale(TDoubleEditFields item) {
  item.Min = TimeBaseMin;
  item.Mid = 1e-8;
  item.Max = State.TimeBaseMaximum;
  item.CoarseRule = sr1_2_5;
  item.FineRule = srRelative;
  return RootSpider->AddDoubleEdit(std::move(item));
}

}  // namespace

TTimeBaseSettingsState& TimeBaseSettings() { return State; }
void ResetTimeBaseSettingsState() { State = {}; }

// --- bit rates ---

TBitRateValue::TBitRateValue() {
  for (double rate : BitRates) {
    TEntry& e = entries_[count_++];
    e.Rate = rate;
    const std::string eng = FloatToEngStr(3, 6, false, rate, false);  // "51.84 M"
    e.Display = eng + "b/s";
    const size_t blank = eng.find(' ');
    std::string number = eng.substr(0, blank);
    const std::string prefix = blank == std::string::npos ? "" : eng.substr(blank + 1);
    const size_t point = number.find('.');
    if (point == std::string::npos) {
      number += prefix;
    } else {
      number.replace(point, 1, prefix);
    }
    if (number.size() < 5) number += "000";
    e.Mnemonic = number;
  }
}

double TBitRateValue::GetRate(int index) const {
  return index >= 0 && index < count_ ? entries_[index].Rate : 0.0;
}

const std::string& TBitRateValue::Mnemonic(int index) const { return entries_.at(index).Mnemonic; }
const std::string& TBitRateValue::DisplayText(int index) const { return entries_.at(index).Display; }

std::string TBitRateValue::MnemonicList() const {
  std::string list;
  for (int i = 0; i < count_; ++i) list += (i ? "," : "") + entries_[i].Mnemonic;
  return list;
}

std::string TBitRateValue::DisplayList() const {
  std::string list;
  for (int i = 0; i < count_; ++i) list += (i ? ",\"" : "\"") + entries_[i].Display + "\"";
  return list;
}

const TBitRateValue& BitRateValue() {
  static const TBitRateValue table;
  return table;
}

// --- units ---

THorizontalUnit GetHorizontalUnitKind() {
  if (SettingsHooks.TDRActive()) {
    switch (SettingsHooks.TDRHorizontalScale()) {
      case 1:
        return huMetre;
      case 2:
        return huFoot;
      case 3:
        return huInch;
      default:
        return huTime;
    }
  }
  return GetIndex(State.Units) == 1 ? huBit : huTime;
}

const char* ScaleMnemonic(THorizontalUnit kind) { return ScaleMnemonics[kind <= huInch ? kind : huTime]; }

double TimeToUnit(THorizontalUnit kind, double seconds) {
  const double factor = SettingsHooks.TDRPropagationFactor();
  const double divisor = SettingsHooks.TDRPathDivisor();
  switch (kind) {
    case huBit:
      return seconds * BitRateValue().GetRate(GetIndex(State.BitRate));
    case huMetre:
      return TimeToMetres(seconds, factor, divisor);
    case huFoot:
      return TimeToFeet(seconds, factor, divisor);
    case huInch:
      return TimeToInches(seconds, factor, divisor);
    default:
      return seconds;
  }
}

double UnitToTime(THorizontalUnit kind, double value) {
  const double factor = SettingsHooks.TDRPropagationFactor();
  const double divisor = SettingsHooks.TDRPathDivisor();
  switch (kind) {
    case huBit: {
      const double rate = BitRateValue().GetRate(GetIndex(State.BitRate));
      return rate > 0 ? value / rate : value;
    }
    case huMetre:
      return MetresToTime(value, factor, divisor);
    case huFoot:
      return FeetToTime(value, factor, divisor);
    case huInch:
      return InchesToTime(value, factor, divisor);
    default:
      return value;
  }
}

// --- getters ---

double GetTimeScaleA() { return State.ScaleA[huTime] ? State.ScaleA[huTime]->GetFloatValue() : 1e-8; }
double GetTimeScaleB() { return State.ScaleB[huTime] ? State.ScaleB[huTime]->GetFloatValue() : 2e-9; }
TTimeBaseMode GetTimeBaseMode() { return static_cast<TTimeBaseMode>(GetIndex(State.Mode)); }
double GetActiveTimeScale() { return GetTimeBaseMode() == tbmB ? GetTimeScaleB() : GetTimeScaleA(); }
bool IsTimeBaseModeAB() { return GetTimeBaseMode() == tbmAB; }
double GetTimeBaseResolution() { return TimeBaseResolution(GetTimeScaleA()); }

double GetRecordStartTime(int channel, bool secondWindow) {
  const double deskew = GetChannelDeskew(channel);
  if (GetTimeBaseMode() != tbmB) return deskew;
  double divisions = State.Delay->GetFloatValue();
  if (secondWindow) divisions += State.DeltaDel->GetFloatValue();
  return GetTimeScaleA() * divisions + deskew;
}

// --- actions ---

void SetTimeBaseScale(bool scaleB, double seconds) {
  State.ProgramCountsAsUser = true;
  struct TReset {
    ~TReset() { State.ProgramCountsAsUser = false; }
  } reset;
  TimeScale(scaleB)->SetValueByProgram(seconds);
}

void ShiftTimeBaseDelay(bool delta, double fraction) {
  TDoubleEditHandler* h = delta ? State.DeltaDel : State.Delay;
  // A drag of the mouse, made by program: a step of its own, as a zoom's.
  if (UndoBuffer) UndoBuffer->BeginStep();
  h->SetValueByProgram(h->GetFloatValue() + 10.0 * fraction);
  BreakAcquisition(true);
  UpdateWindowMarks();
}

void RecalcTimeBaseScales() {
  const THorizontalUnit kind = GetHorizontalUnitKind();
  State.EditedUnit = kind;
  const double keptA = State.ScaleA[kind]->GetFloatValue();
  const double keptB = State.ScaleB[kind]->GetFloatValue();
  const auto toTime = [kind](double value) {
    const double t = UnitToTime(kind, value);
    return kind == huTime ? t : std::clamp(t, TimeBaseMin, State.TimeBaseMaximum);
  };
  SetTimeScales(toTime(keptA), toTime(keptB));
  State.ScaleA[kind]->SetValueByProgram(keptA);
  State.ScaleB[kind]->SetValueByProgram(keptB);
  State.EditedUnit = huNone;
}

void ApplyHorizontalUnits(bool rebind) {
  if (!State.Units) return;
  BreakAcquisition(true);
  ApplyEnabling();
  const THorizontalUnit kind = GetHorizontalUnitKind();
  State.BitRate->SetDisabled(kind != huBit);
  if (rebind) {
    State.Delay->NotifySwitchers();
    State.DeltaDel->NotifySwitchers();
  }
  const bool a = GetTimeBaseMode() == tbmA;
  SettingsHooks.BindMainHorizontalScale(std::string("TB:") + ScaleMnemonic(kind) + (a ? "A" : "B"),
                                        a ? "SCALE A" : "SCALE B");
  SettingsHooks.BindMainDelay("TB:Delay");
  SettingsHooks.RefreshSamplingRateCells();
  SettingsHooks.RefreshTimeBasePages();
  SettingsHooks.RefreshAcquisitionPages();
}

void SendTimeBase() {
  SendTimeDiv(GetActiveTimeScale());
  SendTbDelay(false, GetTimeBaseMode() == tbmB ? GetTimeScaleA() * State.Delay->GetFloatValue() : 0.0);
}

void SetTimeBaseScaleAMax(double max) {
  State.ScaleAMax = max;
  ApplyLimitRule(false);
}

void UpdateTimeBaseMax() {
  State.TimeBaseMaximum = TimeBaseModelMaximum(IsRealInstrument(), NewTimingLogic());
  State.ScaleAMax = State.TimeBaseMaximum;
}

void AdaptTimeBaseToModel() {
  UpdateTimeBaseMax();
  ApplyLimitRule(false);
}

void ApplyTimeBaseSettings() {
  State.UnitsBefore = GetIndex(State.Units);
  UnitsChanged(*State.Units);
  DualDelayChanged(*State.DualDel);
  RecalcTimeBaseScales();
  ModeChanged(*State.Mode);
}

void RegisterTimeBaseCommands() {
  TSpider& root = *RootSpider;
  State.ScaleA = {};
  State.ScaleB = {};
  State.EditedUnit = huNone;
  State.ScaleAMax = State.TimeBaseMaximum;
  State.Units = root.AddRadioSw(0, "TB:Units", "Time,Bit", UnitsChanged,
                                [](THandler&) { State.UnitsBefore = GetIndex(State.Units); });
  const auto recalc = [](THandler&) { RecalcTimeBaseScales(); };
  State.BitRate = root.AddRadioSw(InitialBitRate, "TB:BitRate", BitRateValue().MnemonicList(), recalc);
  // clang-format off
  State.CustomBit = root.AddDoubleEdit({
      .Path = "TB:CustomBit", .Value = 2.5e9, .Unit = "b/s",
      .Min = 1e6, .Mid = 2.5e9, .Max = 4.4e10,
      .CoarseRule = sr1_2_5, .FineRule = srRelative, .FineStep = 1e-4, .Tolerance = 500,
      .OnChange = recalc});
  // clang-format on
  State.Mode = root.AddRadioSw(0, "TB:Mode", "A,AB,B", ModeChanged);

  const std::string byDiv = GetLangStr("ByDiv");
  // clang-format off
  State.ScaleA[huTime] = AddScale({.Path = "TB:ScaleA", .Value = 1e-8, .Unit = "s" + byDiv,
                                .FineStep = 0.001, .Tolerance = 1e-15, .OnChange = ScaleAChanged});
  State.ScaleB[huTime] = AddScale({.Path = "TB:ScaleB", .Value = 2e-9, .Unit = "s" + byDiv,
                                .FineStep = 1e-4, .Tolerance = 1e-15, .OnChange = ScaleBChanged});
  // clang-format on
  struct TUnitScales {
    THorizontalUnit Kind;
    const char* Unit;
    double A;
    double B;
    double Tolerance;
  };
  const TUnitScales units[] = {{huBit, "Bit", 1.0, 0.2, 1e-6},
                               {huMetre, "m", 1.0, 0.2, 1e-5},
                               {huFoot, "ft", 5.0, 1.0, 1e-5},
                               {huInch, "in", 20.0, 4.0, 1e-5}};
  for (const TUnitScales& u : units) {
    const std::string base = std::string("TB:") + ScaleMnemonic(u.Kind);
    const std::string unit = u.Unit + byDiv;
    const THorizontalUnit kind = u.Kind;
    // clang-format off
    State.ScaleA[kind] = AddScale({.Path = base + "A", .Value = u.A, .Unit = unit,
                                .FineStep = 1e-4, .Tolerance = u.Tolerance,
                                .OnChange = [kind](THandler& h) { UnitScaleChanged(h, false, kind); }});
    State.ScaleB[kind] = AddScale({.Path = base + "B", .Value = u.B, .Unit = unit,
                                .FineStep = 1e-4, .Tolerance = u.Tolerance,
                                .OnChange = [kind](THandler& h) { UnitScaleChanged(h, true, kind); }});
    // clang-format on
  }
  // In their own units from the start: a setup loaded before the first apply must not be
  // clamped to limits in seconds.
  for (bool b : {false, true}) ConvertLimits(b, TimeScale(b)->GetMin(), TimeScale(b)->GetMax());

  // clang-format off
  State.Delay = root.AddDoubleEdit({
      .Path = "TB:Delay", .Value = 2.0,
      .Min = 0, .Mid = 5, .Max = 10,
      .CoarseRule = srQuantised, .CoarseStep = 0.5,
      .FineRule = srQuantised, .FineStep = 0.001, .Tolerance = 1e-4,
      .OnChange = DelayChanged, .OnGetText = DelayText, .OnBeforeSet = DelayEntry});
  State.BitDelay = root.AddDoubleEdit({
      .Path = "TB:BitDelay", .Value = 1.0, .Unit = "bits", .Digits = 3,
      .Min = 0, .Mid = 1, .Max = 3,
      .CoarseRule = srQuantised, .CoarseStep = 0.1,
      .FineRule = srQuantised, .FineStep = 0.001, .Tolerance = 1e-4});
  State.DualDel = root.AddOnOff(false, "TB:DualDel", DualDelayChanged);
  State.DeltaDel = root.AddDoubleEdit({
      .Path = "TB:DeltaDel", .Value = 3.0,
      .Min = 0, .Mid = 5, .Max = 10,
      .CoarseRule = srQuantised, .CoarseStep = 0.5,
      .FineRule = srQuantised, .FineStep = 0.001, .Tolerance = 1e-4,
      .OnChange = DeltaChanged, .OnGetText = DelayText, .OnBeforeSet = DelayEntry});
  State.StartBit = root.AddIntEdit({
      .Path = "TB:StartBit", .Value = 0,
      .Min = 0, .Mid = 0, .Max = 1000,
      .CoarseRule = srQuantised, .CoarseStep = 1,
      .OnChange = StartBitChanged});
  // The middle of the stop bit is its minimum: it can never lie below the start bit.
  State.StopBit = root.AddIntEdit({
      .Path = "TB:StopBit", .Value = 1,
      .Min = 1, .Mid = 1, .Max = 1000,
      .CoarseRule = srQuantised, .CoarseStep = 1,
      .OnChange = StopBitChanged});
  // clang-format on
}

}  // namespace norv
