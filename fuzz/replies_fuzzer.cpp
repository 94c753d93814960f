// Instrument replies: an instrument on the USB link answers every query with the next
// part of the input (parts separated by the byte 0x1E; an empty part is a reply that
// brings nothing). The program connects, reads the instrument's identity, asks every
// question it asks of an instrument and runs the trigger level search, then names the
// instrument from what it read, as the main window does.

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "framework/settings_tree.h"
#include "instrument/command_link.h"
#include "instrument/instrument_identity.h"
#include "instrument/link_recovery.h"
#include "instrument/setting_senders.h"
#include "instrument/trigger_level_search.h"
#include "instrument/trigger_settings.h"
#include "support/fake_clock.h"
#include "support/fake_usb_pipe.h"
#include "support/fuzz_program.h"

using namespace norv;

inline constexpr char kReplySeparator = '\x1E';

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::SetUpProgramHome();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 16384) return 0;
  fuzz::ClearProgramHome();
  fuzz::ResetProgramState();
  fuzz::CreateRegisteredTree();
  test::FakeClock clock;
  SetProgramClock(clock);

  const std::vector<std::string_view> replies = fuzz::SplitOn(fuzz::AsText(data, size), kReplySeparator);
  size_t next = 0;
  test::FakeUsbPipe pipe;
  pipe.OnWrite = [&](std::string_view bytes) {
    if (bytes.find('?') != std::string_view::npos && next < replies.size()) pipe.QueueIn(replies[next++]);
  };

  try {
    if (ConnectInstrument(true, TIPv4Addr{})) {
      ReadIndivData();
      QueryInt("Acq:RecLen");
      QueryIntArg("Gen:Out1:Offset", 5);
      QueryFloat("TB:TimeDiv");
      QueryFloatArg("Trig:Level", 0.25);
      QueryUpperString("Trig:Mode");
      QueryTrigOn(false);
      QueryPatternTrigFreq();
      ReadInstrumentTemperature(true);
      SendGenOffset(1, -7);
      RefreshTriggerStatus(false);
      clock.Advance(2000);
      RefreshTriggerStatus(true);
      RootSpider->ExecCommandLine("TRIG:SOURCE DIRECT", false);
      double level = 0;
      TriggerLevelSearch(level);
      if (LinkAlive()) ReadIndivData();
      ResyncAfterLinkRecovery();
    }
    GetProductName();
    BuildMainCaption(true);
    OptionNamesText(InstrumentIdentity.ModelCode, InstrumentIdentity.Options, true);
    SerialNumberText();
    NewTimingLogic();
    VersionAtLeast(InstrumentIdentity.SWVer, {3, 9, 4});
  } catch (const std::runtime_error&) {
  }
  DisconnectInstrument(true);
  return 0;
}
