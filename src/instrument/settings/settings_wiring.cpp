#include "instrument/settings/settings_wiring.h"

#include "framework/settings/choice_handlers.h"
#include "framework/settings/numeric_handlers.h"
#include "framework/settings/program_objects.h"
#include "instrument/acquisition/acquisition_cycle.h"
#include "instrument/acquisition/acquisition_hooks.h"
#include "instrument/acquisition/cycle_settings.h"
#include "instrument/link/command_link.h"
#include "instrument/link/instrument_identity.h"
#include "instrument/link/link_hooks.h"
#include "instrument/link/sample_stream.h"
#include "instrument/settings/acquisition_settings.h"
#include "instrument/settings/channel_settings.h"
#include "instrument/settings/setting_senders.h"
#include "instrument/settings/settings_hooks.h"
#include "instrument/settings/timebase_settings.h"
#include "instrument/settings/trigger_level_search.h"
#include "instrument/settings/trigger_settings.h"
#include "instrument/simulator/simulator_hooks.h"
#include "instrument/simulator/simulator_nodes.h"
#include "instrument/startup/dispatchers.h"
#include "instrument/startup/instrument_list.h"
#include "units/tdr_units.h"

namespace norv {

namespace {

class TProgramAcqSettings final : public IAcqSettings {
 public:
  bool IsSourceShown(TTraceId id) const override { return norv::IsSourceShown(TraceIndex(id)); }
  TChannelScales GetChannelScales(int channel) const override {
    const TChannelNodes& n = ChannelSettings().Nodes[channel == 2 ? 0 : 1];
    TChannelScales scales;
    scales.Scale = GetFloatValue(n.Scale[0]);
    scales.Offset = GetFloatValue(n.Offset[0]);
    scales.RhoScale = GetFloatValue(n.Scale[1]);
    scales.RhoOffset = GetFloatValue(n.Offset[1]);
    scales.OhmScale = GetFloatValue(n.Scale[2]);
    scales.OhmOffset = GetFloatValue(n.Offset[2]);
    scales.GainScale = GetFloatValue(n.Scale[3]);
    scales.GainOffset = GetFloatValue(n.Offset[3]);
    return scales;
  }
  double GetAttenuationFactor(int channel) const override { return norv::GetAttenuationFactor(channel); }
  std::string GetChannelVertUnit(int channel) const override {
    return norv::GetChannelVertUnit(channel, false);
  }
  double GetDeskew(int channel) const override { return GetChannelDeskew(channel); }
  int GetTDRVertUnit(int channel) const override { return SettingsHooks.TDRVertUnit(channel); }
  bool IsSimulatorAssigned(int channel) const override { return norv::IsSimulatorAssigned(channel); }

  bool UseCommonAcqSettings() const override { return norv::UseCommonAcqSettings(); }
  TAcqMode GetAcqMode(int channel) const override { return norv::GetAcqMode(channel); }
  int GetAcqNAvg(int channel) const override { return norv::GetAcqNAvg(channel); }
  int GetAcqRecLen(int channel) const override { return norv::GetAcqRecLen(channel); }
  int GetAcqCount(int channel) const override { return norv::GetAcqCount(channel); }
  double PeakIntervalRatio(int channel) const override { return norv::PeakIntervalRatio(channel); }
  bool RunUntilNAcq() const override { return GetIndex(AcquisitionSettings().RunUntil) == 1; }
  int GetNAcq() const override { return GetIntValue(AcquisitionSettings().NAcq); }
  bool AcqReactBeep() const override { return norv::AcqReactBeep(); }
  bool AcqReactSave() const override { return norv::AcqReactSave(); }
  TRequestOrigin AcqReactSaveOrigin() const override { return AcquisitionSettings().ReactSaveOrigin; }
  std::string AutoSaveBaseName() const override { return AutoSaveBase(); }
  TAcqFileFormat GetAcqFileFormat() const override {
    return static_cast<TAcqFileFormat>(GetIndex(AcquisitionSettings().FileFormat));
  }

  bool DualDelayActive() const override {
    return GetTimeBaseMode() == tbmB && IsOn(TimeBaseSettings().DualDel);
  }
  double GetRecordStartTime(int channel, bool secondWindow) const override {
    return norv::GetRecordStartTime(channel, secondWindow);
  }
  double GetActiveTimeScale() const override { return norv::GetActiveTimeScale(); }
  THorizontalUnit GetHorizontalUnitKind() const override { return norv::GetHorizontalUnitKind(); }
  double TimeToHorizontalUnit(double seconds) const override {
    return TimeToUnit(norv::GetHorizontalUnitKind(), seconds);
  }
  double GetPropagation() const override { return PropagationOfFactor(SettingsHooks.TDRPropagationFactor()); }

  bool TriggerStatusFromData() const override {
    return TriggerModeIsTriggered() && TriggerSourceIndex() == TrigSourceDirect;
  }
  double GetTriggerHoldoff() const override { return GetFloatValue(TriggerSettings().Holdoff); }
  bool PatternLockOn() const override { return norv::PatternLockOn(); }
  bool PattEyeLineOn() const override { return IsOn(TriggerSettings().PattEyeLine); }
  bool LowJitterOn() const override { return IsOn(TriggerSettings().LowJitter); }
};

// The hooks join the owner here, where they are filled; each settings unit joins from
// its own file, beside its state.
const TProgramUnit SettingsHooksUnit("settings hooks", [] { SettingsHooks = {}; });

}  // namespace

IAcqSettings& ProgramAcqSettings() {
  static TProgramAcqSettings settings;
  return settings;
}

void InstallInstrumentSettings() {
  LinkHooks.PatternLockOn.Set(PatternLockOn);
  LinkHooks.CheckPatternLockRate.Set(CheckPatternLockRate);
  LinkHooks.SendRecordSettings.Set([](uint8_t readKind, uint16_t recLen, uint16_t nAvg, double tbDelay) {
    SendTbDelay(true, tbDelay);
    SendAcqChannels(readKind, true);
    SendRecLen(recLen, true);
    SendNAvg(nAvg, true);
  });
  SettingsHooks.StopRunAndSingle.Set(StopRunAndSingle);
  SettingsHooks.AcquisitionRunning.Set([] { return RunFlag || SingleFlag; });
  LinkHooks.ResyncTrigger.Set(UpdateHoldoffMax);
  LinkHooks.RefreshAcqSettings.Set(ApplySamplingOrderRule);

  AcqHooks.RefreshTriggerStatus.Set(RefreshTriggerStatus);
  AcqHooks.UpdateTriggerStatusFromData.Set(UpdateTriggerStatusFromData);
  AcqHooks.CheckPatternLockRate.Set(CheckPatternLockRate);
  AcqHooks.PatternScanStep.Set(PatternScanStep);
  AcqHooks.NotifyChannelScales.Set(NotifyChannelScales);
  AcqHooks.SendStateAfterConnect.Set(SendStateAfterConnect);

  LinkHooks.CurrentInstrumentName.Set([] { return CurrentInstrumentName; });
  LinkHooks.RegisterAllCommandsSkip.Set([] { RegisterAllCommands(true); });
  LinkHooks.ApplyAllSettings.Set(ApplyAllSettings);
  SettingsHooks.SimulatorFollowIntRate.Set(OnHCalModeChange);
  // The simulated sampler times its strobes as the identified model's family does.
  SimModelFamilyHook.Set([] {
    if (IsLxxModel()) return TSimModelFamily::L;
    return IsKxxModel() ? TSimModelFamily::K : TSimModelFamily::Other;
  });
  // The simulator set a generator's circuit itself: its nodes follow.
  SimGeneratorEditedHook.Set([](int generator, const TSimGenerator& settings) {
    TGssGeneratorNodes& n = SimulatorNodes().Generators.at(generator - 1);
    if (!n.TDRCircuit) return;
    n.TDRCircuit->SetIndexByProgram(static_cast<uint8_t>(settings.TDRCircuit));
    n.TDTCircuit->SetIndexByProgram(static_cast<uint8_t>(settings.TDTCircuit));
  });
}

}  // namespace norv
