#include "shell/program_dispatch.h"

#include "framework/settings/program_objects.h"
#include "framework/settings/settings_tree.h"
#include "instrument/link/instrument_identity.h"
#include "instrument/settings/acquisition_settings.h"
#include "instrument/settings/channel_settings.h"
#include "instrument/settings/timebase_settings.h"
#include "instrument/settings/trigger_settings.h"
#include "shell/main_commands.h"
#include "shell/remote/remote_control.h"
#include "shell/remote/waveform_transfer.h"

namespace norv {

TProgramDispatch ProgramDispatch;

namespace {
const TProgramUnit DispatchUnit("program dispatch", [] { ProgramDispatch = {}; });

THook<void()>& Slot(TRegisterSlot slot) { return ProgramDispatch.Register[static_cast<size_t>(slot)]; }
THook<void()>& Slot(TApplySlot slot) { return ProgramDispatch.Apply[static_cast<size_t>(slot)]; }
}  // namespace

void InstallProgramDispatch() {
  Slot(TRegisterSlot::RootSpider).Set(CreateRootSpider);
  Slot(TRegisterSlot::MainCommands).Set(RegisterMainCommands);
  Slot(TRegisterSlot::Channels).Set(RegisterChannelCommands);
  Slot(TRegisterSlot::TimeBase).Set(RegisterTimeBaseCommands);
  Slot(TRegisterSlot::Trigger).Set(RegisterTriggerCommands);
  Slot(TRegisterSlot::Acquisition).Set(RegisterAcquisitionCommands);
  Slot(TRegisterSlot::WaveformTransfer).Set(RegisterWfmCommands);
  Slot(TRegisterSlot::Gui).Set(RegisterGuiCommand);

  Slot(TApplySlot::Channels).Set(ApplyChannelSettings);
  Slot(TApplySlot::TimeBase).Set(ApplyTimeBaseSettings);
  Slot(TApplySlot::Trigger).Set(ApplyTriggerSettings);
  Slot(TApplySlot::Acquisition).Set(ApplyAcquisitionSettings);
}

void RegisterAllCommandsAtStart() {
  for (const THook<void()>& step : ProgramDispatch.Register) step();
  CommandsRegistered = true;
}

void ApplyAllSettings() {
  for (size_t i = 0; i < ProgramDispatch.Apply.size(); ++i) {
    const auto slot = static_cast<TApplySlot>(i);
    if (slot == TApplySlot::OEConverter && !HasOpticsOption()) continue;
    if (slot == TApplySlot::Generators && !HasGeneratorsOption()) continue;
    if (slot == TApplySlot::TDR && !HasTDROption()) continue;
    ProgramDispatch.Apply[i]();
  }
}

}  // namespace norv
