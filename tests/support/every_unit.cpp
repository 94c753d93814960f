#include "support/every_unit.h"

#include "framework/handler.h"
#include "framework/settings_tree.h"
#include "instrument/acquisition_settings.h"
#include "instrument/channel_settings.h"
#include "instrument/timebase_settings.h"
#include "instrument/trigger_settings.h"

namespace norv::test {

void RegisterEveryUnit() {
  CreateRootSpider();
  RegisterChannelCommands();
  RegisterTimeBaseCommands();
  RegisterTriggerCommands();
  RegisterAcquisitionCommands();
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
