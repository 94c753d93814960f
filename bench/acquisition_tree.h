#pragma once
// The settings tree of the acquisition units, as the benchmarks of commands and remote
// control drive it.

#include "framework/settings/settings_tree.h"
#include "instrument/settings/acquisition_settings.h"
#include "instrument/settings/channel_settings.h"
#include "instrument/settings/timebase_settings.h"
#include "instrument/settings/trigger_settings.h"
#include "shell/remote/waveform_transfer.h"

namespace norv::bench {

inline void CreateAcquisitionTree() {
  CreateRootSpider();
  RegisterChannelCommands();
  RegisterTimeBaseCommands();
  RegisterTriggerCommands();
  RegisterAcquisitionCommands();
  RegisterWfmCommands();
}

}  // namespace norv::bench
