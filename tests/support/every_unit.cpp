#include "support/every_unit.h"

#include "display/settings/display_settings.h"
#include "framework/settings/handler.h"
#include "framework/settings/settings_tree.h"
#include "instrument/settings/acquisition_settings.h"
#include "instrument/settings/channel_settings.h"
#include "instrument/settings/timebase_settings.h"
#include "instrument/settings/trigger_settings.h"
#include "shell/remote/remote_control.h"
#include "shell/remote/waveform_transfer.h"

namespace norv::test {

void RegisterEveryUnit() {
  CreateRootSpider();
  RegisterDisplayColorCommands();
  RegisterChannelCommands();
  RegisterTimeBaseCommands();
  RegisterTriggerCommands();
  RegisterAcquisitionCommands();
  RegisterDisplayCommands();
  RegisterWfmCommands();
  RegisterGuiCommand();
}

void ApplyEveryUnit() {
  ForceNotify = true;
  ApplyChannelSettings();
  ApplyTimeBaseSettings();
  ApplyTriggerSettings();
  ApplyAcquisitionSettings();
  ApplyDisplaySettings();
  ForceNotify = false;
}

}  // namespace norv::test
