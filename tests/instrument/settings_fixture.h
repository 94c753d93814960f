#pragma once
// A fresh program state and settings tree with the channel, time-base, trigger and
// acquisition settings registered in the program's order, a recording settings link, and
// no instrument.

#include <string>
#include <vector>

#include "framework/settings/choice_handlers.h"
#include "framework/settings/numeric_handlers.h"
#include "instrument/link/instrument_identity.h"
#include "instrument/link/link_hooks.h"
#include "instrument/link/link_state.h"
#include "instrument/settings/acquisition_settings.h"
#include "instrument/settings/channel_settings.h"
#include "instrument/settings/setting_senders.h"
#include "instrument/settings/settings_hooks.h"
#include "instrument/settings/timebase_settings.h"
#include "instrument/settings/trigger_settings.h"
#include "support/fake_settings_link.h"
#include "support/settings_tree_fixture.h"

namespace norv::test {

class InstrumentSettingsTest : public SettingsTreeTest {
 protected:
  void SetUp() override {
    SettingsTreeTest::SetUp();
    RegisterChannelCommands();
    RegisterTimeBaseCommands();
    RegisterTriggerCommands();
    RegisterAcquisitionCommands();
  }

  // The apply dispatcher's part for these units, then a clean record of what is sent.
  // The shell forces every change action to run while it applies.
  void ApplyAll() {
    ForceNotify = true;
    ApplyChannelSettings();
    ApplyTimeBaseSettings();
    ApplyTriggerSettings();
    ApplyAcquisitionSettings();
    ForceNotify = false;
    link.Clear();
  }

  static TEditHandler* Edit(const char* path) {
    return dynamic_cast<TEditHandler*>(RootSpider->FindHandler(path));
  }
  static double Value(const char* path) { return Edit(path)->GetFloatValue(); }
  static bool Disabled(const char* path) { return RootSpider->FindHandler(path)->IsDisabled(); }

  FakeSettingsLink link;
};

// The same, applied as the program at work is.
class AppliedSettingsTest : public InstrumentSettingsTest {
 protected:
  void SetUp() override {
    InstrumentSettingsTest::SetUp();
    ApplyAll();
  }
};

}  // namespace norv::test
