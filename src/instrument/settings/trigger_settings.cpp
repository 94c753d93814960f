#include "instrument/settings/trigger_settings.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "framework/language/language.h"
#include "framework/settings/choice_handlers.h"
#include "framework/settings/node_path.h"
#include "framework/settings/numeric_handlers.h"
#include "framework/settings/program_objects.h"
#include "framework/settings/settings_recall.h"
#include "framework/settings/settings_tree.h"
#include "framework/util/dialog_service.h"
#include "instrument/acquisition/procedures.h"
#include "instrument/link/instrument_identity.h"
#include "instrument/link/link_hooks.h"
#include "instrument/link/link_state.h"
#include "instrument/link/sample_stream.h"
#include "instrument/settings/acquisition_settings.h"
#include "instrument/settings/channel_settings.h"
#include "instrument/settings/pattern_length_list.h"
#include "instrument/settings/pattern_search_run.h"
#include "instrument/settings/setting_rules.h"
#include "instrument/settings/setting_senders.h"
#include "instrument/settings/settings_hooks.h"
#include "instrument/settings/timebase_settings.h"
#include "instrument/simulator/simulator.h"

namespace norv {

namespace {

constexpr double PatternLockScaleAMax = 1e-5;
constexpr double PatternLockHoldoffMax = 1.5e-4;
constexpr double IntRateDefault = 1e-5;
constexpr double IntRateStep = 1.0108892860517005;  // 2^(1/64)
constexpr uint32_t ClockRecovDisabledMask = 8;
constexpr uint32_t AdvancedDisabledMask = 16;

constinit TTriggerSettingsState State;
const TProgramUnit StateUnit("trigger settings", ResetTriggerSettingsState);
// While the source goes out again unchanged (ResendTriggerSource).
constinit bool ResendingSource = false;
// While a refused mode goes back to the lock in force (RestoreLockMode).
constinit bool RestoringLockMode = false;

double ScaleA() { return GetTimeScaleA(); }

void SendHoldoff() { SendTrigHoldOff(State.Holdoff->GetFloatValue()); }

void SourceChanged(THandler&) {
  BreakAcquisition(true);
  const int source = TriggerSourceIndex();
  SendTrigSource(source);
  SettingsHooks.RefreshTriggerCell();
  State.IntRate->SetDisabled(source != TrigSourceIntClock || SettingsHooks.GeneratorPulseOrPattern());
  SettingsHooks.SimulatorFollowIntRate();
  const bool direct = source == TrigSourceDirect;
  State.HeadPower->SetDisabled(source != TrigSourceExtHF);
  State.ExtLevel->SetDisabled(!direct);
  State.Hister->SetDisabled(!direct);
  State.Slope->SetDisabled(!direct);
  State.AttenUnit->SetDisabled(!direct);
  State.Mode->SetDisabled(source == TrigSourceIntClock);
  // The reference was measured through the old source; a source only sent again keeps it.
  if (!ResendingSource) State.LowJitter->SetOnByProgram(false);
  SettingsHooks.BindMainTriggerLevel(source == TrigSourceIntClock ? "Trig:IntRate" : "Trig:ExtLevel");
  const uint8_t unit = State.AttenUnit->GetIndex();
  State.AttenRatio->SetDisabled(!direct || unit != 1);
  State.AttenDB->SetDisabled(!direct || unit != 2);
  State.ExtLevel->NotifySwitchers();
}

void AttenuationUnitChanged(THandler&) {
  const bool direct = TriggerSourceIndex() == TrigSourceDirect;
  const uint8_t unit = State.AttenUnit->GetIndex();
  State.AttenRatio->SetDisabled(!direct || unit != 1);
  State.AttenDB->SetDisabled(!direct || unit != 2);
  State.ExtLevel->NotifySwitchers();
}

void LevelText(const TEditHandler&, std::string& text, double volts) {
  text = FloatToEngStr(3, 4, false, volts * TriggerAttenuation(), false) + "V";
}

void LevelEntry(double& value, TEditHandler&) { value /= TriggerAttenuation(); }

void HoldoffChanged(THandler&) {
  State.HoldoffFollowsTimeBase = HoldoffFollowsAfterEdit(State.Holdoff->GetFloatValue(), ScaleA());
  SendHoldoff();
  ProgramSimulator().BuildPrbsGenerators();
  SetPatternLength(State.PattLen->GetIntValue());
}

void LowJitterChanged(THandler&) {
  State.LowJitterActive = IsOn(State.LowJitter);
  State.RefFreq->SetDisabled(!State.LowJitterActive);
  State.RefDivider->SetDisabled(!State.LowJitterActive);
  if (State.LowJitterActive) {
    SettingsHooks.SetupLowJitterReference();
  } else {
    SettingsHooks.CancelLowJitterReference();
  }
}

int32_t DelayFactor() { return State.PatternIsPrbs ? 1 : State.PatternDivider; }

void ApplyDelayLimits() {
  const TPatternLimits limits = PatternDelayLimits(State.PatternLength, State.ExtDivider->GetIntValue(),
                                                   State.IntDivider->GetIntValue());
  State.PatternDivider = limits.Divider;
  State.PatternIsPrbs = limits.IsPrbs;
  State.PattDelay->SetMax(limits.MaxDelay);
  State.PattScanBits->SetMax(std::max(1, limits.MaxDelay - State.PattDelay->GetIntValue() + 1));
}

void SendPatternDelayOf(int32_t delay) {
  if (HasPatSyncTrigOption()) {
    SendPatternDelay(
        PatternDelayToInstrument(delay, State.PatternLength, State.PatternDivider, State.PatternIsPrbs));
  }
  ProgramSimulator().SimSetPatternOffset(delay);
}

void PatternDelayChanged(THandler&) {
  const int32_t delay = State.PattDelay->GetIntValue();
  SendPatternDelayOf(delay);
  State.PattScanBits->SetMax(std::max(1, static_cast<int>(State.PattDelay->GetMax()) - delay + 1));
  State.LastPatternDelay = static_cast<uint16_t>(delay);
}

void PatternDelayText(const TEditHandler&, std::string& text, double value) {
  text = FloatToEngStr(0, 6, false, value * DelayFactor(), false) + "bit";
}

void PatternDelayEntry(double& value, TEditHandler&) { value /= DelayFactor(); }

void EyeLineChanged(THandler&) {
  BreakAcquisition(true);
  PatternDelayChanged(*State.PattDelay);
}

void AddDelayChanged(THandler&) {
  const bool on = IsOn(State.PattAddDelay);
  if (HasPatSyncTrigOption()) SendPatternAddDelay(on);
  ProgramSimulator().SimSetPatternAddDelay(on);
}

void DividerChanged(THandler&) {
  State.DataRate->SetValueByProgram(State.ExtDivider->GetIntValue() * State.PatternClockRate);
  ApplyDelayLimits();
}

void SwitchJitterOff() {
  if (auto* jitter = dynamic_cast<TOnOffHandler*>(RootSpider->FindHandler("Jitter:JitterOn"_node))) {
    jitter->SetOnByProgram(false);
  }
}

// Lock dropped or not possible: the mode goes to Off.
void DropPatternLock() { State.PatternLockMode->SetIndexByProgram(plmOff); }

// A start of the lock that did not take: the asking line's error (at the screen, its box);
// a start nobody asked for is told once the start-up has finished, and a recall tells
// itself what it could not hold.
void TellLockNotStarted(TWhoChanged who, const std::string& why) {
  if (who == wcvSwitcher || who == wcvCommand) {
    FailCommand(why);
  } else if (who != wcvReplay && GuiReady) {
    LinkHooks.ShowMessage(why);
  }
}

// The mode goes back to the lock in force, which runs on untouched.
void RestoreLockMode() {
  struct TRestoring {
    ~TRestoring() { RestoringLockMode = false; }
  } restoring;
  RestoringLockMode = true;
  State.PatternLockMode->SetIndexByProgram(State.PatternLockInForce);
}

// Why a search cannot start now ("" when it can): no lengths to search for.
std::string SearchCannotStart() {
  return State.PatternLengthList.empty() ? GetLangStr("PatLengthListEmpty") : std::string();
}

// AutoDetect that cannot start (no lengths to search for, another procedure running) is
// refused before anything of the lock, the trigger or the jitter analysis changes: the
// mode goes back to the lock in force. The jitter analysis is no obstacle: a change of
// the lock ends it. A recalled lock keeps the length, delay and divider its setup holds.
bool AutoDetectRefused(TWhoChanged who) {
  if (RecallHoldsBack(*State.PatternLockMode)) return false;
  if (const std::string why = SearchCannotStart(); !why.empty()) {
    RestoreLockMode();
    TellLockNotStarted(who, why);
    return true;
  }
  return RunningProcedure() != TProcedure::JitterAnalysis &&
         RefusedBesideProcedure(TProcedure::PatternSearch, RestoreLockMode);
}

void PatternLockChanged(THandler& h) {
  if (RestoringLockMode) return;
  const TWhoChanged who = h.GetWhoChangedRaw();  // before the drop's own change
  uint8_t mode = HasPatSyncTrigOption() ? State.PatternLockMode->GetIndex() : uint8_t{plmOff};
  const bool active = mode != plmOff && !State.PatternLockMode->IsDisabled();
  if (active && mode == plmAutoDetect && AutoDetectRefused(who)) return;
  std::string notStarted;
  // Switched away from AutoDetect, the lock ends its search as a Cancel does.
  if (State.PatternLockMode->GetIndex() != plmAutoDetect) AbortPatternSearch();
  // A change of the lock ends the jitter analysis, which runs on it.
  SwitchJitterOff();
  State.PatternClockRate = 0.0;
  TDoubleEditHandler& scaleA = *TimeBaseSettings().ScaleA[huTime];
  const double holdoffBefore = State.Holdoff->GetFloatValue();
  const double scaleABefore = scaleA.GetFloatValue();
  if (active) {
    SetTimeBaseScaleAMax(PatternLockScaleAMax);
    State.Holdoff->SetMax(PatternLockHoldoffMax);
    State.Holdoff->SetValueByProgram(0.0);
    SetPatternLength(State.PattLen->GetIntValue());
    SendPatternOn(true);
    State.PatternClockRate = MeasurePatternRate(false);
    if (mode == plmAutoDetect) SendPatternOn(false);
    ProgramSimulator().SimSetPatternOn(mode == plmManual);
    if (State.PatternClockRate < MinimumPatternRate) {
      DropPatternLock();
      mode = plmOff;
      notStarted = GetLangStr("PatternClockNotMeasured");
    }
    State.DataRate->SetDisabled(mode == plmOff);
  } else {
    if (HasPatSyncTrigOption()) SendPatternOn(false);
    ProgramSimulator().SimSetPatternOn(false);
    SetTimeBaseScaleAMax(TimeBaseSettings().TimeBaseMaximum);
    State.Holdoff->SetMax(State.HoldoffMax);
    State.DataRate->SetDisabled(true);
  }
  // After the simulator has its lock state and span: the models take their step from them.
  ProgramSimulator().BuildPrbsGenerators();
  // A recalled lock keeps the length, delay and divider its setup holds.
  if (mode == plmAutoDetect && !RecallHoldsBack(*State.PatternLockMode))
    SettingsHooks.StartPatternSearch(State.PatternClockRate);
  // A lock dropped at once (no clock to lock to) leaves the trigger as it was: the hold-off
  // and time scale its limits cut come back.
  if (active && State.PatternLockMode->GetIndex() == plmOff) {
    scaleA.SetValueByProgram(scaleABefore);
    State.Holdoff->SetValueByProgram(holdoffBefore);
  }
  State.PatternLockInForce = State.PatternLockMode->GetIndex();
  if (!notStarted.empty()) TellLockNotStarted(who, notStarted);
}

void ResetPatternLock(THandler& h) {
  switch (State.PatternLockMode->GetIndex()) {
    case plmManual:
      State.PattAddDelay->SetOnByProgram(!IsOn(State.PattAddDelay));
      break;
    case plmAutoDetect:
      if (const std::string why = SearchCannotStart(); !why.empty()) {
        TellLockNotStarted(h.GetWhoChangedRaw(), why);
        break;
      }
      if (RefusedBesideProcedure(TProcedure::PatternSearch)) break;
      if (HasPatSyncTrigOption()) SendPatternOn(false);
      ProgramSimulator().SimSetPatternOn(false);
      State.PatternClockRate = MeasurePatternRate(false);
      if (State.PatternClockRate < MinimumPatternRate) {
        DropPatternLock();
        TellLockNotStarted(h.GetWhoChangedRaw(), GetLangStr("PatternClockNotMeasured"));
      } else {
        SettingsHooks.StartPatternSearch(State.PatternClockRate);
      }
      break;
    default:
      break;
  }
}

}  // namespace

TTriggerSettingsState& TriggerSettings() { return State; }
void ResetTriggerSettingsState() { State = {}; }

int TriggerSourceIndex() { return GetIndex(State.Source); }
bool TriggerModeIsTriggered() { return GetIndex(State.Mode) == 1; }
void SetTriggerModeByProgram(bool triggered) { State.Mode->SetIndexByProgram(triggered ? 1 : 0); }
void SetTriggerLevel(double volts) { State.ExtLevel->SetValueByProgram(volts); }

double TriggerAttenuation() {
  return AttenuationFactor(GetIndex(State.AttenUnit), State.AttenRatio->GetFloatValue(),
                           State.AttenDB->GetFloatValue());
}

double GetMinHoldoff() {
  return MinimumHoldoff(IsAcqFitToSingle(), !VersionAtLeast(InstrumentIdentity.SWVer, {3, 10, 2}));
}

void UpdateHoldoffLimit() {
  if (!State.Holdoff) return;
  const double held = State.Holdoff->GetFloatValue();
  const double limit = HoldoffLimit(ScaleA(), GetMinHoldoff());
  State.Holdoff->SetMin(limit);
  if (const auto moved = HoldoffAfterLimitChange(held, limit, State.HoldoffFollowsTimeBase)) {
    State.HoldoffFollowsTimeBase = true;
    State.Holdoff->SetValueByProgram(*moved);
  }
}

void CheckHoldoffFollowsTimeBase() {
  State.HoldoffFollowsTimeBase = HoldoffFollowsExactly(State.Holdoff->GetFloatValue(), ScaleA());
}

void UpdateHoldoffMax() {
  State.HoldoffMax = HoldoffMaximum(IsRealInstrument(), NewTimingLogic());
  if (State.Holdoff) State.Holdoff->SetMax(State.HoldoffMax);
}

void OnTrigSourceChange() {
  if (State.Source) SourceChanged(*State.Source);
}

void ResendTriggerSource() {
  if (!State.Source) return;
  struct TResending {
    ~TResending() { ResendingSource = false; }
  } resending;
  ResendingSource = true;
  const uint8_t source = State.Source->GetIndex();
  State.Source->SetIndexByProgram(source == 0 ? 1 : 0);
  State.Source->SetIndexByProgram(source);
}

void SetTriggerIntClockDefault() {
  State.Source->SetIndexByProgram(TrigSourceIntClock);
  State.IntRate->SetValueByProgram(IntRateDefault);
}

void ScaleTriggerIntRate() { State.IntRate->SetValueByProgram(State.IntRate->GetFloatValue() * IntRateStep); }

void SetPatternLength(int32_t length) {
  State.PatternLength = length;
  if (HasPatSyncTrigOption()) SendPatternLength(PatternLengthCommandValue(length));
  ProgramSimulator().SimSetPatternSpan(length);
  ApplyDelayLimits();
}

double MeasurePatternRate(bool keepAcquisition) {
  double rate;
  int32_t prescaler;
  if (IsRealInstrument()) {
    prescaler = 8;
    rate = QueryPatternTrigFreq(keepAcquisition);
  } else {
    prescaler = 1;
    rate = ProgramSimulator().SimChannelFrequency(IsOn(ChannelSettings().Nodes[0].Display) ? 2 : 3);
  }
  prescaler = PatternPrescaler(rate, prescaler);
  const int32_t factor = TriggerSourceFactor(TriggerSourceIndex());
  State.IntDivider->SetValueByProgram(factor * prescaler);
  State.PatternClockRate = factor * rate;
  State.DataRate->SetValueByProgram(State.ExtDivider->GetIntValue() * State.PatternClockRate);
  return State.PatternClockRate;
}

void CheckPatternLockRate() {
  // Between records the check leaves the acquisition running: a stop would reset the
  // statistics, histograms and eye results at every check.
  if (MeasurePatternRate(!Acquiring) < MinimumPatternRate) DropPatternLock();
}

void PatternScanStep() {
  State.LastPatternDelay = static_cast<uint16_t>(NextScanDelay(
      State.LastPatternDelay, State.PattDelay->GetIntValue(), State.PattScanBits->GetIntValue()));
  SendPatternDelayOf(State.LastPatternDelay);
}

bool PatternLockOn() { return GetIndex(State.PatternLockMode) != plmOff; }

void ApplyTriggerSettings() {
  State.LowJitter->SetDisabled(true);
  State.RefFreq->SetDisabled(true);
  State.RefDivider->SetDisabled(true);
  State.Source->SetDisabledMask(AdvancedDisabledMask |
                                (HasClockRecoveryOption() ? 0 : ClockRecovDisabledMask));
  State.Holdoff->SetMin(GetMinHoldoff());
  UpdateHoldoffLimit();
  SourceChanged(*State.Source);
  State.IntRate->OnChange(*State.IntRate);
  State.Mode->OnChange(*State.Mode);
  State.Slope->OnChange(*State.Slope);
  HoldoffChanged(*State.Holdoff);
  State.Hister->OnChange(*State.Hister);
  State.LowJitter->SetOnByProgram(false);
  if (HasPatSyncTrigOption()) {
    PatternLockChanged(*State.PatternLockMode);
    AddDelayChanged(*State.PattAddDelay);
    PatternDelayChanged(*State.PattDelay);
  }
  State.PatternLockMode->SetIndexByProgram(plmOff);
}

void RegisterTriggerCommands() {
  State.Holdoff = nullptr;  // the node of an earlier tree is gone
  UpdateHoldoffMax();
  State.HoldoffFollowsTimeBase = false;
  State.PatternClockRate = 0.0;
  State.PatternLength = 127;
  State.PatternDivider = 1;
  State.PatternIsPrbs = true;
  State.LastPatternDelay = 0;
  State.LowJitterActive = false;
  TSpider& root = *RootSpider;
  // clang-format off
  State.Source = root.AddRadioSw(0, "Trig:Source", "Direct,ExtHF,IntClock,ClockRecov", SourceChanged);
  State.HeadPower = root.AddRadioSw(0, "Trig:HeadPower", "Smart,Const");
  State.ExtLevel = root.AddDoubleEdit({
      .Path = "Trig:ExtLevel", .Value = 0.0, .Unit = "V", .Digits = 4,
      .Min = -1.0, .Mid = 0.0, .Max = 1.0,
      .CoarseRule = srQuantised, .CoarseStep = 0.01,
      .FineRule = srQuantised, .FineStep = 0.001, .Tolerance = 1e-4,
      .OnChange = [](THandler&) { SendTrigLevel(State.ExtLevel->GetFloatValue()); },
      .OnGetText = LevelText, .OnBeforeSet = LevelEntry});
  State.IntRate = root.AddDoubleEdit({
      .Path = "Trig:IntRate", .Value = IntRateDefault, .Unit = "s",
      .Min = 1.6e-8, .Mid = 1e-5, .Max = 0.002,
      .CoarseRule = sr1_2_5OnFineGrid, .FineRule = srQuantised, .FineStep = 8e-9, .Tolerance = 2.4e-8,
      .OnChange = [](THandler&) {
        SendTrigIntRate(State.IntRate->GetFloatValue());
        SettingsHooks.RefreshTriggerCell();
        // The simulator's calibration clock is this clock while the trigger runs on it.
        SettingsHooks.SimulatorFollowIntRate();
      }});
  State.Mode = root.AddRadioSw(0, "Trig:Mode", "Free,Trig", [](THandler&) {
    SettingsHooks.RefreshTriggerCell();
    SendTrigMode(TriggerModeIsTriggered());
  });
  State.Slope = root.AddRadioSw(0, "Trig:Slope", "Pos,Neg", [](THandler&) {
    BreakAcquisition(true);
    SendTrigSlope(State.Slope->GetIndex() == 1);
  });
  State.Holdoff = root.AddDoubleEdit({
      .Path = "Trig:Holdoff", .Value = 1e-5, .Unit = "s",
      .Min = 1e-5, .Mid = 1e-4, .Max = State.HoldoffMax,
      .CoarseRule = sr1_2_5, .FineRule = srQuantised, .FineStep = 8e-9, .Tolerance = 1e-9,
      .OnChange = HoldoffChanged});
  State.Hister = root.AddRadioSw(0, "Trig:Hister", "Norm,HighSens",
                                [](THandler&) { SendTrigHister(State.Hister->GetIndex() == 1); });
  State.LowJitter = root.AddOnOff(false, "Trig:LowJitter", LowJitterChanged);
  State.RefFreq = root.AddDoubleEdit({
      .Path = "Trig:RefFreq", .Value = 1.25e9, .Unit = "Hz", .Digits = 7,
      .Min = 1e8, .Mid = 1.25e9, .Max = 1.3e10,
      .CoarseRule = srQuantised, .CoarseStep = 2e7,
      .FineRule = srQuantised, .FineStep = 1e5, .Tolerance = 5e4});
  State.RefDivider = root.AddIntEdit({
      .Path = "Trig:RefDivider", .Value = 8, .Digits = 3,
      .Min = 1, .Mid = 8, .Max = 32,
      .CoarseRule = srPowerOfTwo, .FineRule = srQuantised, .FineStep = 1});
  State.AttenUnit = root.AddRadioSw(0, "Trig:Atten:Unit", "Off, Ratio, DB", AttenuationUnitChanged);
  const auto refreshLevel = [](THandler&) { State.ExtLevel->NotifySwitchers(); };
  State.AttenRatio = root.AddDoubleEdit({
      .Path = "Trig:Atten:Ratio", .Value = 1.0, .Unit = ":1", .FormatMode = vfGeneral, .Digits = 7,
      .Min = 0.0001, .Mid = 1.0, .Max = 1000000.0,
      .CoarseRule = sr1_2_5, .FineRule = srRelative, .FineStep = 0.001, .Tolerance = 1e-6,
      .OnChange = refreshLevel});
  State.AttenDB = root.AddDoubleEdit({
      .Path = "Trig:Atten:DB", .Value = 0.0, .Unit = "dB", .FormatMode = vfGeneral,
      .Min = -80.0, .Mid = 0.0, .Max = 120.0,
      .CoarseRule = srDb, .FineRule = srQuantised, .FineStep = 0.2, .Tolerance = 0.05,
      .OnChange = refreshLevel});
  State.PatternLockMode =
      root.AddRadioSw(0, "Trig:PatternLockMode", "Off,AutoDetect,Manual", PatternLockChanged);
  State.DataRate = root.AddDoubleEdit({
      .Path = "Trig:DataRate", .Value = 1.0, .Unit = "Bit/s", .Digits = 3,
      .Min = 0.001, .Mid = 1.0, .Max = 1e15,
      .CoarseRule = srRelative, .CoarseStep = 1e-6,
      .FineRule = srRelative, .FineStep = 1e-6, .Tolerance = 0.001});
  State.IntDivider = root.AddIntEdit({
      .Path = "Trig:IntDivider", .Value = 1, .Digits = 1,
      .Min = 1, .Mid = 1, .Max = 512,
      .CoarseRule = srPowerOfTwo,
      .OnChange = DividerChanged});
  State.ExtDivider = root.AddIntEdit({
      .Path = "Trig:ExtDivider", .Value = 1, .Digits = 1,
      .Min = 1, .Mid = 1, .Max = 16,
      .CoarseRule = srPowerOfTwo,
      .OnChange = DividerChanged});
  State.PattLen = root.AddIntEdit({
      .Path = "Trig:PattLen", .Value = 127, .FormatMode = vfEngineering, .Digits = 6,
      .Min = 7, .Mid = 127, .Max = 65535,
      .CoarseRule = srPowerOfTwo, .FineRule = srQuantised, .FineStep = 1,
      .OnChange = [](THandler&) { SetPatternLength(State.PattLen->GetIntValue()); }});
  State.PattDelay = root.AddIntEdit({
      .Path = "Trig:PattDelay", .Value = 0, .Unit = "bit", .Digits = 6,
      .Min = 0, .Mid = 32, .Max = 65535,
      .CoarseRule = srPowerOfTwo, .FineRule = srQuantised, .FineStep = 1,
      .OnChange = PatternDelayChanged, .OnGetText = PatternDelayText, .OnBeforeSet = PatternDelayEntry});
  State.PattAddDelay = root.AddOnOff(false, "Trig:PattAddDelay", AddDelayChanged);
  State.ResetPattLock = root.AddRightCommand("Trig:ResetPattLock", ResetPatternLock);
  State.PattScanBits = root.AddIntEdit({
      .Path = "Trig:PattScanBits", .Value = 1, .Digits = 6,
      .Min = 1, .Mid = 16, .Max = 64,
      .CoarseRule = srPowerOfTwo, .FineRule = srQuantised, .FineStep = 1});
  State.PattEyeLine = root.AddOnOff(false, "Trig:PattEyeLine", EyeLineChanged);
  // clang-format on
}

}  // namespace norv
