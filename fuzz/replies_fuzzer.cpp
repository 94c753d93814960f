// Instrument replies: an instrument answers every query with the next part of the input
// (parts separated by the byte 0x1E; an empty part is a reply that brings nothing), on the
// USB link or over TCP. The program connects, reads the instrument's identity, asks every
// question it asks of an instrument and probes the link, then names the instrument from
// what it read, as the main window does. The steps that drive the settings tree (the
// trigger level search, the resend of every setting) cost ten times the rest: they run,
// on both links, for one input in a share and for every regression input.

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "framework/settings/settings_tree.h"
#include "framework/text/ip_address.h"
#include "instrument/link/command_link.h"
#include "instrument/link/instrument_identity.h"
#include "instrument/link/link_recovery.h"
#include "instrument/settings/setting_senders.h"
#include "instrument/settings/trigger_level_search.h"
#include "instrument/settings/trigger_settings.h"
#include "support/fake_clock.h"
#include "support/fake_usb_pipe.h"
#include "support/fuzz_program.h"
#include "support/loopback_instrument.h"

using namespace norv;

namespace {

constexpr char kReplySeparator = '\x1E';

fuzz::TLoopbackInstrument& LanInstrument() {
  static fuzz::TLoopbackInstrument instrument;
  return instrument;
}

constexpr size_t kFullSessionShare = 64;

void Session(bool overTcp, bool full, const std::vector<std::string_view>& replies) {
  fuzz::ClearProgramHome();
  fuzz::UseRegisteredTree(true);
  test::FakeClock fake;
  fuzz::TServingClock clock(fake, LanInstrument());
  SetProgramClock(clock);

  std::optional<test::FakeUsbPipe> pipe;
  size_t next = 0;
  bool connected = false;
  if (overTcp) {
    LanInstrument().Start(replies, {});
    TIPv4Addr loopback;
    StrToIPv4("127.0.0.1", loopback);
    connected = ConnectInstrument(false, loopback, LanInstrument().Port());
  } else {
    pipe.emplace();
    pipe->OnWrite = [&](std::string_view bytes) {
      if (bytes.find('?') != std::string_view::npos && next < replies.size()) pipe->QueueIn(replies[next++]);
    };
    connected = ConnectInstrument(true, TIPv4Addr{});
  }

  try {
    if (connected) {
      ReadIndivData();
      QueryInt("Acq:RecLen");
      QueryIntArg("Gen:Out1:Offset", 5);
      QueryFloat("TB:TimeDiv");
      QueryFloatArg("Trig:Level", 0.25);
      QueryUpperString("Trig:Mode");
      QueryTrigOn(false);
      QueryPatternTrigFreq(false);
      ReadInstrumentTemperature(true);
      SendGenOffset(1, -7);
      RefreshTriggerStatus(false);
      fake.Advance(2000);
      RefreshTriggerStatus(true);
      if (full) {
        RootSpider->ExecCommandLine("TRIG:SOURCE DIRECT", false);
        double level = 0;
        TriggerLevelSearch(level);
      }
      if (LinkAlive()) ReadIndivData();
      if (full) ResyncAfterLinkRecovery();
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
  LanInstrument().Close();
  SetProgramClock(SystemClock());  // the clocks above end here
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::SetUpProgramHome();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 16384) return 0;
  const std::string_view input = fuzz::AsText(data, size);
  const std::vector<std::string_view> replies = fuzz::SplitOn(input, kReplySeparator);
  const bool full = fuzz::InSample(input, kFullSessionShare, NORV_FUZZ_REGRESSIONS);
  // A cheap session takes one link, chosen by the input's last byte, so both are reached.
  const bool overTcp = size > 0 && (data[size - 1] & 1) != 0;
  if (full || !overTcp) Session(false, full, replies);
  if (full || overTcp) Session(true, full, replies);
  fuzz::PutBackRegisteredTree();
  return 0;
}
