#include "instrument/settings/trigger_settings.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "framework/settings/choice_handlers.h"
#include "framework/language/language.h"
#include "framework/settings/numeric_handlers.h"
#include "framework/settings/settings_tree.h"
#include "instrument/settings/acquisition_settings.h"
#include "instrument/settings/channel_settings.h"
#include "instrument/link/instrument_identity.h"
#include "instrument/link/link_hooks.h"
#include "instrument/link/link_state.h"
#include "instrument/settings/pattern_length_list.h"
#include "instrument/link/sample_stream.h"
#include "instrument/settings/setting_rules.h"
#include "instrument/settings/setting_senders.h"
#include "instrument/settings/settings_hooks.h"
#include "instrument/simulator/simulator.h"
#include "instrument/settings/timebase_settings.h"

namespace norv {

namespace {

constexpr double PatternLockScaleAMax = 1e-5;
constexpr double PatternLockHoldoffMax = 1.5e-4;
constexpr double IntRateDefault = 1e-5;
constexpr double IntRateStep = 1.0108892860517005;  // 2^(1/64)
constexpr uint32_t ClockRecovDisabledMask = 8;
constexpr uint32_t AdvancedDisabledMask = 16;

double HoldoffMax = HoldoffMaxOld;

double ScaleA() { return GetTimeScaleA(); }

void SendHoldoff() { SendTrigHoldOff(hTrigHoldoff->GetFloatValue()); }

void SourceChanged(THandler&) {
  BreakAcquisition(true);
  const int source = TriggerSourceIndex();
  SendTrigSource(source);
  SettingsHooks.RefreshTriggerCell();
  hTrigIntRate->SetDisabled(source != TrigSourceIntClock || SettingsHooks.GeneratorPulseOrPattern());
  SettingsHooks.SimulatorFollowIntRate();
  const bool direct = source == TrigSourceDirect;
  hTrigHeadPower->SetDisabled(source != TrigSourceExtHF);
  hTrigExtLevel->SetDisabled(!direct);
  hTrigHister->SetDisabled(!direct);
  hTrigSlope->SetDisabled(!direct);
  hTrigAttenUnit->SetDisabled(!direct);
  hTrigMode->SetDisabled(source == TrigSourceIntClock);
  hTrigLowJitter->SetOnByProgram(false);
  SettingsHooks.BindMainTriggerLevel(source == TrigSourceIntClock ? "Trig:IntRate" : "Trig:ExtLevel");
  const uint8_t unit = hTrigAttenUnit->GetIndex();
  hTrigAttenRatio->SetDisabled(!direct || unit != 1);
  hTrigAttenDB->SetDisabled(!direct || unit != 2);
  hTrigExtLevel->NotifySwitchers();
}

void AttenuationUnitChanged(THandler&) {
  const bool direct = TriggerSourceIndex() == TrigSourceDirect;
  const uint8_t unit = hTrigAttenUnit->GetIndex();
  hTrigAttenRatio->SetDisabled(!direct || unit != 1);
  hTrigAttenDB->SetDisabled(!direct || unit != 2);
  hTrigExtLevel->NotifySwitchers();
}

void LevelText(const TEditHandler&, std::string& text, double volts) {
  text = FloatToEngStr(3, 4, false, volts * TriggerAttenuation(), false) + "V";
}

void LevelEntry(double& value, TEditHandler&) { value /= TriggerAttenuation(); }

void HoldoffChanged(THandler&) {
  HoldoffFollowsTimeBase = HoldoffFollowsAfterEdit(hTrigHoldoff->GetFloatValue(), ScaleA());
  SendHoldoff();
  ProgramSimulator().BuildPrbsGenerators();
  SetPatternLength(hTrigPattLen->GetIntValue());
}

void LowJitterChanged(THandler&) {
  LowJitterActive = IsOn(hTrigLowJitter);
  hTrigRefFreq->SetDisabled(!LowJitterActive);
  hTrigRefDivider->SetDisabled(!LowJitterActive);
  if (LowJitterActive) {
    SettingsHooks.SetupLowJitterReference();
  } else {
    SettingsHooks.CancelLowJitterReference();
  }
}

int32_t DelayFactor() { return PatternIsPrbs ? 1 : PatternDivider; }

void ApplyDelayLimits() {
  const TPatternLimits limits =
      PatternDelayLimits(PatternLength, hTrigExtDivider->GetIntValue(), hTrigIntDivider->GetIntValue());
  PatternDivider = limits.Divider;
  PatternIsPrbs = limits.IsPrbs;
  hTrigPattDelay->SetMax(limits.MaxDelay);
  hTrigPattScanBits->SetMax(std::max(1, limits.MaxDelay - hTrigPattDelay->GetIntValue() + 1));
}

void SendPatternDelayOf(int32_t delay) {
  if (HasPatSyncTrigOption()) {
    SendPatternDelay(PatternDelayToInstrument(delay, PatternLength, PatternDivider, PatternIsPrbs));
  }
  ProgramSimulator().SimSetPatternOffset(delay);
}

void PatternDelayChanged(THandler&) {
  const int32_t delay = hTrigPattDelay->GetIntValue();
  SendPatternDelayOf(delay);
  hTrigPattScanBits->SetMax(std::max(1, static_cast<int>(hTrigPattDelay->GetMax()) - delay + 1));
  LastPatternDelay = static_cast<uint16_t>(delay);
}

void PatternDelayText(const TEditHandler&, std::string& text, double value) {
  text = FloatToEngStr(0, 6, false, value * DelayFactor(), false) + "bit";
}

void PatternDelayEntry(double& value, TEditHandler&) { value /= DelayFactor(); }

void EyeLineChanged(THandler&) {
  BreakAcquisition(true);
  PatternDelayChanged(*hTrigPattDelay);
}

void AddDelayChanged(THandler&) {
  const bool on = IsOn(hTrigPattAddDelay);
  if (HasPatSyncTrigOption()) SendPatternAddDelay(on);
  ProgramSimulator().SimSetPatternAddDelay(on);
}

void DividerChanged(THandler&) {
  hTrigDataRate->SetValueByProgram(hTrigExtDivider->GetIntValue() * PatternClockRate);
  ApplyDelayLimits();
}

void SwitchJitterOff() {
  if (auto* jitter = dynamic_cast<TOnOffHandler*>(RootSpider->FindHandler("Jitter:JitterOn"))) {
    jitter->SetOnByProgram(false);
  }
}

// Lock dropped or not possible: the mode goes to Off.
void DropPatternLock() { hTrigPatternLockMode->SetIndexByProgram(plmOff); }

void StartAutoDetect() {
  if (PatternLengthList.empty()) {
    if (GuiReady) LinkHooks.ShowMessage(GetLangStr("PatLengthListEmpty"));
    DropPatternLock();
    return;
  }
  SettingsHooks.StartPatternSearch(PatternClockRate);
}

void PatternLockChanged(THandler&) {
  SwitchJitterOff();
  uint8_t mode = HasPatSyncTrigOption() ? hTrigPatternLockMode->GetIndex() : uint8_t{plmOff};
  const bool active = mode != plmOff && !hTrigPatternLockMode->IsDisabled();
  PatternClockRate = 0.0;
  if (active) {
    SetTimeBaseScaleAMax(PatternLockScaleAMax);
    hTrigHoldoff->SetMax(PatternLockHoldoffMax);
    hTrigHoldoff->SetValueByProgram(0.0);
    SetPatternLength(hTrigPattLen->GetIntValue());
    SendPatternOn(true);
    PatternClockRate = MeasurePatternRate(false);
    if (mode == plmAutoDetect) SendPatternOn(false);
    ProgramSimulator().SimSetPatternOn(mode == plmManual);
    if (PatternClockRate < MinimumPatternRate) {
      DropPatternLock();
      mode = plmOff;
    }
    hTrigDataRate->SetDisabled(mode == plmOff);
  } else {
    if (HasPatSyncTrigOption()) SendPatternOn(false);
    ProgramSimulator().SimSetPatternOn(false);
    SetTimeBaseScaleAMax(TimeBaseSettings().TimeBaseMaximum);
    hTrigHoldoff->SetMax(HoldoffMax);
    hTrigDataRate->SetDisabled(true);
  }
  // After the simulator has its lock state and span: the models take their step from them.
  ProgramSimulator().BuildPrbsGenerators();
  if (mode == plmAutoDetect) StartAutoDetect();
}

void ResetPatternLock(THandler&) {
  switch (hTrigPatternLockMode->GetIndex()) {
    case plmManual:
      hTrigPattAddDelay->SetOnByProgram(!IsOn(hTrigPattAddDelay));
      break;
    case plmAutoDetect:
      if (HasPatSyncTrigOption()) SendPatternOn(false);
      ProgramSimulator().SimSetPatternOn(false);
      PatternClockRate = MeasurePatternRate(false);
      if (PatternClockRate < MinimumPatternRate) {
        DropPatternLock();
      } else {
        SettingsHooks.StartPatternSearch(PatternClockRate);
      }
      break;
    default:
      break;
  }
}

}  // namespace

int TriggerSourceIndex() { return GetIndex(hTrigSource); }
bool TriggerModeIsTriggered() { return GetIndex(hTrigMode) == 1; }
void SetTriggerModeByProgram(bool triggered) { hTrigMode->SetIndexByProgram(triggered ? 1 : 0); }
void SetTriggerLevel(double volts) { hTrigExtLevel->SetValueByProgram(volts); }

double TriggerAttenuation() {
  return AttenuationFactor(GetIndex(hTrigAttenUnit), hTrigAttenRatio->GetFloatValue(), hTrigAttenDB->GetFloatValue());
}

double GetMinHoldoff() { return MinimumHoldoff(IsAcqFitToSingle(), !VersionAtLeast(InstrumentIdentity.SWVer, {3, 10, 2})); }

void UpdateHoldoffLimit() {
  if (!hTrigHoldoff) return;
  const double held = hTrigHoldoff->GetFloatValue();
  const double limit = HoldoffLimit(ScaleA(), GetMinHoldoff());
  hTrigHoldoff->SetMin(limit);
  if (const auto moved = HoldoffAfterLimitChange(held, limit, HoldoffFollowsTimeBase)) {
    HoldoffFollowsTimeBase = true;
    hTrigHoldoff->SetValueByProgram(*moved);
  }
}

void CheckHoldoffFollowsTimeBase() {
  HoldoffFollowsTimeBase = HoldoffFollowsExactly(hTrigHoldoff->GetFloatValue(), ScaleA());
}

void UpdateHoldoffMax() {
  HoldoffMax = HoldoffMaximum(IsRealInstrument(), NewTimingLogic());
  if (hTrigHoldoff) hTrigHoldoff->SetMax(HoldoffMax);
}

void SetTriggerIntClockDefault() {
  hTrigSource->SetIndexByProgram(TrigSourceIntClock);
  hTrigIntRate->SetValueByProgram(IntRateDefault);
}

void ScaleTriggerIntRate() { hTrigIntRate->SetValueByProgram(hTrigIntRate->GetFloatValue() * IntRateStep); }

void SetPatternLength(int32_t length) {
  PatternLength = length;
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
  hTrigIntDivider->SetValueByProgram(factor * prescaler);
  PatternClockRate = factor * rate;
  hTrigDataRate->SetValueByProgram(hTrigExtDivider->GetIntValue() * PatternClockRate);
  return PatternClockRate;
}

void CheckPatternLockRate() {
  // Between records the check leaves the acquisition running: a stop would reset the
  // statistics, histograms and eye results at every check.
  if (MeasurePatternRate(!Acquiring) < MinimumPatternRate) DropPatternLock();
}

void PatternScanStep() {
  LastPatternDelay = static_cast<uint16_t>(
      NextScanDelay(LastPatternDelay, hTrigPattDelay->GetIntValue(), hTrigPattScanBits->GetIntValue()));
  SendPatternDelayOf(LastPatternDelay);
}

bool PatternLockOn() { return GetIndex(hTrigPatternLockMode) != plmOff; }

void ApplyTriggerSettings() {
  hTrigLowJitter->SetDisabled(true);
  hTrigRefFreq->SetDisabled(true);
  hTrigRefDivider->SetDisabled(true);
  hTrigSource->SetDisabledMask(AdvancedDisabledMask | (HasClockRecoveryOption() ? 0 : ClockRecovDisabledMask));
  hTrigHoldoff->SetMin(GetMinHoldoff());
  UpdateHoldoffLimit();
  SourceChanged(*hTrigSource);
  hTrigIntRate->OnChange(*hTrigIntRate);
  hTrigMode->OnChange(*hTrigMode);
  hTrigSlope->OnChange(*hTrigSlope);
  HoldoffChanged(*hTrigHoldoff);
  hTrigHister->OnChange(*hTrigHister);
  hTrigLowJitter->SetOnByProgram(false);
  if (HasPatSyncTrigOption()) {
    PatternLockChanged(*hTrigPatternLockMode);
    AddDelayChanged(*hTrigPattAddDelay);
    PatternDelayChanged(*hTrigPattDelay);
  }
  hTrigPatternLockMode->SetIndexByProgram(plmOff);
}

void RegisterTriggerCommands() {
  hTrigHoldoff = nullptr;  // the node of an earlier tree is gone
  UpdateHoldoffMax();
  HoldoffFollowsTimeBase = false;
  PatternClockRate = 0.0;
  PatternLength = 127;
  PatternDivider = 1;
  PatternIsPrbs = true;
  LastPatternDelay = 0;
  LowJitterActive = false;
  TSpider& root = *RootSpider;
  // clang-format off
  hTrigSource = root.AddRadioSw(0, "Trig:Source", "Direct,ExtHF,IntClock,ClockRecov", SourceChanged);
  hTrigHeadPower = root.AddRadioSw(0, "Trig:HeadPower", "Smart,Const");
  hTrigExtLevel = root.AddDoubleEdit({
      .Path = "Trig:ExtLevel", .Value = 0.0, .Unit = "V", .Digits = 4,
      .Min = -1.0, .Mid = 0.0, .Max = 1.0,
      .CoarseRule = srQuantised, .CoarseStep = 0.01,
      .FineRule = srQuantised, .FineStep = 0.001, .Tolerance = 1e-4,
      .OnChange = [](THandler&) { SendTrigLevel(hTrigExtLevel->GetFloatValue()); },
      .OnGetText = LevelText, .OnBeforeSet = LevelEntry});
  hTrigIntRate = root.AddDoubleEdit({
      .Path = "Trig:IntRate", .Value = IntRateDefault, .Unit = "s",
      .Min = 1.6e-8, .Mid = 1e-5, .Max = 0.002,
      .CoarseRule = sr1_2_5OnFineGrid, .FineRule = srQuantised, .FineStep = 8e-9, .Tolerance = 2.4e-8,
      .OnChange = [](THandler&) {
        SendTrigIntRate(hTrigIntRate->GetFloatValue());
        SettingsHooks.RefreshTriggerCell();
      }});
  hTrigMode = root.AddRadioSw(0, "Trig:Mode", "Free,Trig", [](THandler&) {
    SettingsHooks.RefreshTriggerCell();
    SendTrigMode(TriggerModeIsTriggered());
  });
  hTrigSlope = root.AddRadioSw(0, "Trig:Slope", "Pos,Neg", [](THandler&) {
    BreakAcquisition(true);
    SendTrigSlope(hTrigSlope->GetIndex() == 1);
  });
  hTrigHoldoff = root.AddDoubleEdit({
      .Path = "Trig:Holdoff", .Value = 1e-5, .Unit = "s",
      .Min = 1e-5, .Mid = 1e-4, .Max = HoldoffMax,
      .CoarseRule = sr1_2_5, .FineRule = srQuantised, .FineStep = 8e-9, .Tolerance = 1e-9,
      .OnChange = HoldoffChanged});
  hTrigHister = root.AddRadioSw(0, "Trig:Hister", "Norm,HighSens",
                                [](THandler&) { SendTrigHister(hTrigHister->GetIndex() == 1); });
  hTrigLowJitter = root.AddOnOff(false, "Trig:LowJitter", LowJitterChanged);
  hTrigRefFreq = root.AddDoubleEdit({
      .Path = "Trig:RefFreq", .Value = 1.25e9, .Unit = "Hz", .Digits = 7,
      .Min = 1e8, .Mid = 1.25e9, .Max = 1.3e10,
      .CoarseRule = srQuantised, .CoarseStep = 2e7,
      .FineRule = srQuantised, .FineStep = 1e5, .Tolerance = 5e4});
  hTrigRefDivider = root.AddIntEdit({
      .Path = "Trig:RefDivider", .Value = 8, .Digits = 3,
      .Min = 1, .Mid = 8, .Max = 32,
      .CoarseRule = srPowerOfTwo, .FineRule = srQuantised, .FineStep = 1});
  hTrigAttenUnit = root.AddRadioSw(0, "Trig:Atten:Unit", "Off, Ratio, DB", AttenuationUnitChanged);
  const auto refreshLevel = [](THandler&) { hTrigExtLevel->NotifySwitchers(); };
  hTrigAttenRatio = root.AddDoubleEdit({
      .Path = "Trig:Atten:Ratio", .Value = 1.0, .Unit = ":1", .FormatMode = vfGeneral, .Digits = 7,
      .Min = 0.0001, .Mid = 1.0, .Max = 1000000.0,
      .CoarseRule = sr1_2_5, .FineRule = srRelative, .FineStep = 0.001, .Tolerance = 1e-6,
      .OnChange = refreshLevel});
  hTrigAttenDB = root.AddDoubleEdit({
      .Path = "Trig:Atten:DB", .Value = 0.0, .Unit = "dB", .FormatMode = vfGeneral,
      .Min = -80.0, .Mid = 0.0, .Max = 120.0,
      .CoarseRule = srDb, .FineRule = srQuantised, .FineStep = 0.2, .Tolerance = 0.05,
      .OnChange = refreshLevel});
  hTrigPatternLockMode = root.AddRadioSw(0, "Trig:PatternLockMode", "Off,AutoDetect,Manual", PatternLockChanged);
  hTrigDataRate = root.AddDoubleEdit({
      .Path = "Trig:DataRate", .Value = 1.0, .Unit = "Bit/s", .Digits = 3,
      .Min = 0.001, .Mid = 1.0, .Max = 1e15,
      .CoarseRule = srRelative, .CoarseStep = 1e-6,
      .FineRule = srRelative, .FineStep = 1e-6, .Tolerance = 0.001});
  hTrigIntDivider = root.AddIntEdit({
      .Path = "Trig:IntDivider", .Value = 1, .Digits = 1,
      .Min = 1, .Mid = 1, .Max = 512,
      .CoarseRule = srPowerOfTwo,
      .OnChange = DividerChanged});
  hTrigExtDivider = root.AddIntEdit({
      .Path = "Trig:ExtDivider", .Value = 1, .Digits = 1,
      .Min = 1, .Mid = 1, .Max = 16,
      .CoarseRule = srPowerOfTwo,
      .OnChange = DividerChanged});
  hTrigPattLen = root.AddIntEdit({
      .Path = "Trig:PattLen", .Value = 127, .FormatMode = vfEngineering, .Digits = 6,
      .Min = 7, .Mid = 127, .Max = 65535,
      .CoarseRule = srPowerOfTwo, .FineRule = srQuantised, .FineStep = 1,
      .OnChange = [](THandler&) { SetPatternLength(hTrigPattLen->GetIntValue()); }});
  hTrigPattDelay = root.AddIntEdit({
      .Path = "Trig:PattDelay", .Value = 0, .Unit = "bit", .Digits = 6,
      .Min = 0, .Mid = 32, .Max = 65535,
      .CoarseRule = srPowerOfTwo, .FineRule = srQuantised, .FineStep = 1,
      .OnChange = PatternDelayChanged, .OnGetText = PatternDelayText, .OnBeforeSet = PatternDelayEntry});
  hTrigPattAddDelay = root.AddOnOff(false, "Trig:PattAddDelay", AddDelayChanged);
  hTrigResetPattLock = root.AddRightCommand("Trig:ResetPattLock", ResetPatternLock);
  hTrigPattScanBits = root.AddIntEdit({
      .Path = "Trig:PattScanBits", .Value = 1, .Digits = 6,
      .Min = 1, .Mid = 16, .Max = 64,
      .CoarseRule = srPowerOfTwo, .FineRule = srQuantised, .FineStep = 1});
  hTrigPattEyeLine = root.AddOnOff(false, "Trig:PattEyeLine", EyeLineChanged);
  // clang-format on
}

}  // namespace norv
