#include "support/every_unit.h"

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
  RegisterChannelCommands();
  RegisterTimeBaseCommands();
  RegisterTriggerCommands();
  RegisterAcquisitionCommands();
  RegisterWfmCommands();
  RegisterGuiCommand();
}

void ApplyEveryUnit() {
  ForceNotify = true;
  ApplyChannelSettings();
  ApplyTimeBaseSettings();
  ApplyTriggerSettings();
  ApplyAcquisitionSettings();
  ForceNotify = false;
}

}  // namespace norv::test
