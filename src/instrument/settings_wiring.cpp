#include "instrument/settings_wiring.h"

#include "instrument/acq_settings.h"
#include "instrument/command_link.h"
#include "instrument/instrument_identity.h"
#include "instrument/link_hooks.h"
#include "instrument/sample_stream.h"
#include "instrument/setting_senders.h"
#include "instrument/settings_hooks.h"
#include "instrument/trigger_level_search.h"
#include "instrument/trigger_settings.h"

namespace norv {

void InstallInstrumentSettings() {
  SettingsHooks.StopAcquisition.Set([](bool refresh) { BreakAcquisition(refresh); });
  SettingsHooks.AcquisitionRunning.Set([] { return Acquiring; });
  SettingsHooks.PatternSyncOption.Set(HasPatSyncTrigOption);
  SettingsHooks.ClockRecoveryOption.Set(HasClockRecoveryOption);
  SettingsHooks.GeneratorsOption.Set(HasGeneratorsOption);
  SettingsHooks.NewTimingLogic.Set([] {
    return VersionAtLeast(InstrumentIdentity.SWVer, {3, 7, 4}) && VersionAtLeast(InstrumentIdentity.FPGAVer, {0, 3});
  });
  SettingsHooks.FirmwareBefore3_10_2.Set([] { return !VersionAtLeast(InstrumentIdentity.SWVer, {3, 10, 2}); });
  SettingsHooks.GuiReady.Set([] { return GuiReady; });
  SetTriggerSearchClock(LinkClock());

  LinkHooks.PatternLockOn.Set(PatternLockOn);
  LinkHooks.CheckPatternLockRate.Set(CheckPatternLockRate);
  LinkHooks.SendRecordSettings.Set([](uint8_t readKind, uint16_t recLen, uint16_t nAvg, double tbDelay) {
    SendTbDelay(true, tbDelay);
    SendAcqChannels(readKind, true);
    SendRecLen(recLen, true);
    SendNAvg(nAvg, true);
  });
  LinkHooks.ResyncTrigger.Set(UpdateHoldoffMax);
  LinkHooks.RefreshAcqSettings.Set(ApplySamplingOrderRule);
}

}  // namespace norv
