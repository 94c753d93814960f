#include "instrument/command_link.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/errors.h"
#include "instrument/command_settings_link.h"
#include "instrument/link_fixture.h"
#include "instrument/usb_transport.h"
#include "support/fake_clock.h"
#include "support/fake_usb_pipe.h"

namespace norv {
namespace {

using test::FakeClock;
using test::FakeInstrument;
using test::LinkTest;
using test::Loopback;

const std::string EndMark(ReplyEndMark);

TEST_F(LinkTest, CommandsAndQueriesGoOutWithTheirExactTexts) {
  Connect();
  instrument.SetReply("Pattern:Len? 3", "127");
  instrument.SetReply("Pattern:TrigFreq? 2.5E-10", "-1.25e3");
  instrument.SetReply("Info:GetTemp?", "41.5");

  SendIntCommand("Gen:Period", -12);
  SendOnOffCommand("Pattern:On", true);
  SendOnOffCommand("Pattern:AddDelay", false);
  SendFloatCommand("TB:DELAY", true, 0.1);
  SendFloatCommand("TB:TIMEDIV", false, 123456789.0);
  EXPECT_EQ(QueryIntArg("Pattern:Len", 3), 127);
  EXPECT_DOUBLE_EQ(QueryFloatArg("Pattern:TrigFreq", 2.5e-10), -1250.0);
  EXPECT_DOUBLE_EQ(QueryFloat("Info:GetTemp"), 41.5);

  const std::vector<std::string> expected = {
      "Gen:Period -12",        "Pattern:On On",        "Pattern:AddDelay Off",
      "TB:DELAY 0.1",          "TB:TIMEDIV 1.2345679E8", "Pattern:Len? 3",
      "Pattern:TrigFreq? 2.5E-10", "Info:GetTemp?"};
  ASSERT_TRUE(instrument.WaitForCommands(expected.size()));
  EXPECT_EQ(instrument.Commands(), expected);
  EXPECT_FALSE(CommFailure);
}

TEST_F(LinkTest, RepliesLoseTheirCrLfWhileLfAloneSpoilsANumber) {
  Connect();
  instrument.SetReply("Acq:RecLen?", "12");
  instrument.SetReply("Info:Name?", std::string("a\xB5z"));

  SendCommand("Acq:RecLen?", false);
  EXPECT_EQ(ReadReply(), "12" + std::string(ReplyCrMark) + EndMark);
  EXPECT_EQ(QueryCommand("Acq:RecLen?"), "12");
  EXPECT_EQ(QueryInt("Acq:RecLen"), 12);
  EXPECT_EQ(QueryCommand("Info:Name?"), "a_z");
  EXPECT_EQ(QueryUpperString("Info:Name"), "A_Z");

  instrument.SetFault(FakeInstrument::TFault::LfOnlyReplies);
  EXPECT_EQ(QueryCommand("Acq:RecLen?"), "12" + EndMark);
  EXPECT_EQ(QueryInt("Acq:RecLen"), QueryIntFailure);
  EXPECT_EQ(QueryFloat("Acq:RecLen"), QueryFloatFailure);
}

TEST_F(LinkTest, RepliesThatAreNoNumbersGiveTheFailureValues) {
  Connect();
  instrument.SetReply("A?", "12abc");
  instrument.SetReply("B?", "99999999999");
  instrument.SetReply("C?", "nan");
  instrument.SetReply("D?", "1.5");
  instrument.SetReply("E?", "+-5");
  EXPECT_EQ(QueryInt("E"), QueryIntFailure);
  EXPECT_EQ(QueryInt("A"), QueryIntFailure);
  EXPECT_EQ(QueryInt("B"), QueryIntFailure);
  EXPECT_EQ(QueryFloat("C"), QueryFloatFailure);
  EXPECT_EQ(QueryInt("D"), QueryIntFailure);
  EXPECT_DOUBLE_EQ(QueryFloat("D"), 1.5);
}

TEST_F(LinkTest, ASilentInstrumentGivesTimeoutWithinTheTimeOutAndFailsTheLink) {
  Connect();
  FakeClock clock;
  SetLinkClock(clock);
  instrument.SetFault(FakeInstrument::TFault::Silence);

  const int64_t start = clock.NowMs();
  EXPECT_EQ(QueryCommand("Info:GetVer:SW?"), "Timeout");
  const int64_t waited = clock.NowMs() - start;
  EXPECT_GE(waited, TcpReplyTimeoutMs);
  EXPECT_LE(waited, TcpReplyTimeoutMs + 10);
  EXPECT_TRUE(CommFailure);

  EXPECT_EQ(QueryInt("Acq:RecLen"), QueryIntFailure);
  EXPECT_EQ(QueryFloat("Trig:Level"), QueryFloatFailure);
}

TEST_F(LinkTest, WithoutARealInstrumentCommandsAreDroppedAndRepliesFixed) {
  int hookCalls = 0;
  PreCommandHook.Set([&](bool) { ++hookCalls; });
  for (TLinkKind kind : {TLinkKind::None, TLinkKind::Demo}) {
    LinkKind = kind;
    EXPECT_TRUE(SendCommand("Acq:RecLen 512", false));
    EXPECT_EQ(ReadReply(), "Not Pribor");
    EXPECT_EQ(QueryCommand("Info:GetVer:SW?"), "Not Pribor");
    EXPECT_EQ(QueryInt("Acq:RecLen"), 0);
    EXPECT_EQ(QueryFloat("Trig:Level"), 0.0);
    EXPECT_TRUE(LinkAlive());
    EXPECT_FALSE(IsInstrumentConnected());
  }
  EXPECT_EQ(hookCalls, 8);
  EXPECT_FALSE(CommFailure);
}

TEST_F(LinkTest, OnlyCommandsThatDoNotKeepTheAcquisitionRunThePreCommandHook) {
  Connect();
  std::vector<bool> refreshes;
  PreCommandHook.Set([&](bool refresh) { refreshes.push_back(refresh); });
  SendCommand("Acq:RecLen 512", false);
  SendCommand("TB:DELAY 0", true);
  SendFloatCommand("TB:DELAY", true, 1e-9);
  SendIntCommand("Acq:NAvg", 4);
  EXPECT_EQ(refreshes, (std::vector<bool>{true, true}));
}

TEST_F(LinkTest, OnlyTheFirst32CharactersOfACommandAreKept) {
  LinkKind = TLinkKind::Demo;
  SendCommand("Calibr:Sampler:Linearity 0123456789ABCDEF", true);
  EXPECT_EQ(LastCommandText(), "Calibr:Sampler:Linearity 0123456");
  SendCommand("*", true);
  EXPECT_EQ(LastCommandText(), "*");
}

TEST_F(LinkTest, AStaleReplyDoesNotAnswerTheNextQuery) {
  Connect();
  instrument.SetReply("Slow?", "old");
  instrument.SetReply("Fast?", "new");
  SendCommand("Slow?", false);  // its reply is never read
  ASSERT_TRUE(test::WaitForInput());
  EXPECT_EQ(QueryCommand("Fast?"), "new");
}

TEST_F(LinkTest, AnUnansweredConnectClosesTheLinkAndARetrySucceeds) {
  instrument.SetFault(FakeInstrument::TFault::Silence);
  FakeClock clock;
  SetLinkClock(clock);
  EXPECT_FALSE(ConnectInstrument(false, Loopback(), instrument.Port()));
  EXPECT_TRUE(CommFailure);
  EXPECT_EQ(TcpLink(), nullptr);
  EXPECT_EQ(LinkKind, TLinkKind::None);

  instrument.SetFault(FakeInstrument::TFault::None);
  SetLinkClock(SystemClock());
  EXPECT_TRUE(ConnectInstrument(false, Loopback(), instrument.Port()));
  EXPECT_EQ(LinkKind, TLinkKind::LAN);
  EXPECT_FALSE(CommFailure);
  EXPECT_EQ(instrument.Connections(), 2);
  EXPECT_EQ(instrument.Commands().back(), "Info:IndivData?");
}

TEST_F(LinkTest, ConnectingWhereNothingListensFails) {
  uint16_t port;
  {
    FakeInstrument gone;
    port = gone.Port();
  }
  std::vector<std::string> splash;
  LinkHooks.SplashStatus.Set([&](const std::string& text) { splash.push_back(text); });
  EXPECT_FALSE(ConnectInstrument(false, Loopback(), port));
  EXPECT_EQ(TcpLink(), nullptr);
  EXPECT_EQ(LinkKind, TLinkKind::None);
  EXPECT_EQ(splash.size(), 2u);
  EXPECT_THROW(OpenTcpInstrument(TIPv4Addr{}, port), EAssertion);
}

TEST_F(LinkTest, APeerThatClosesFailsTheLinkAndLinkAliveReconnects) {
  Connect();
  instrument.SetReply("Info:GetVer:FPGAFW?", "17");
  instrument.SetReply("Info:GetVer:SW?", "3.12.1");
  instrument.SetFault(FakeInstrument::TFault::CloseOnCommand);
  EXPECT_EQ(QueryCommand("Info:GetVer:SW?"), "Timeout");
  EXPECT_TRUE(CommFailure);
  EXPECT_FALSE(SendCommand("Acq:RecLen 512", false));

  EXPECT_TRUE(LinkAlive());
  EXPECT_EQ(instrument.Connections(), 2);
  EXPECT_EQ(QueryCommand("Info:GetVer:SW?"), "3.12.1");
}

TEST_F(LinkTest, LinkAliveFailsWhileTheInstrumentStaysSilent) {
  Connect();
  FakeClock clock;
  SetLinkClock(clock);
  instrument.SetFault(FakeInstrument::TFault::Silence);
  EXPECT_FALSE(LinkAlive());
}

TEST_F(LinkTest, TheSettingSendersReachTheInstrumentThroughTheLink) {
  Connect();
  instrument.SetReply("Trig:GetTrigOn?", "TRIG_ON");
  SetSettingsLink(&CommandSettingsLink());
  ResetSenderCachesAfterConnect();
  SendRecLen(512, false);
  EXPECT_TRUE(QueryTrigOn(true));
  SetSettingsLink(nullptr);
  EXPECT_EQ(instrument.Commands(), (std::vector<std::string>{"Acq:RecLen 512", "Trig:GetTrigOn?"}));
}

class UsbLinkTest : public LinkTest {
 protected:
  test::FakeUsbPipe pipe;
};

TEST_F(UsbLinkTest, CommandsAndRepliesTravelOverUsb) {
  pipe.OnWrite = [&](std::string_view bytes) {
    if (bytes == "Info:IndivData?\r\n") pipe.QueueIn("1 255 251 9 1234\r\n");
  };
  ASSERT_TRUE(ConnectInstrument(true, TIPv4Addr{}));
  EXPECT_EQ(LinkKind, TLinkKind::USB);
  pipe.ClearOut();

  pipe.QueueIn("3.12.1\r\n");
  EXPECT_EQ(QueryCommand("Info:GetVer:SW?"), "3.12.1");
  EXPECT_EQ(pipe.OutText(), "Info:GetVer:SW?\r\n");
  EXPECT_EQ(pipe.Reads().back().Length, UsbReplyBytes);
  EXPECT_EQ(pipe.Reads().back().TimeoutMs, UsbReplyTimeoutMs);

  pipe.QueueIn("");
  EXPECT_EQ(QueryCommand("Info:GetVer:SW?"), "Timeout");
  EXPECT_EQ(QueryInt("Info:GetVer:FPGAFW"), QueryIntFailure);  // nothing queued: read times out
  EXPECT_TRUE(CommFailure);

  pipe.FailWrites("gone");
  EXPECT_FALSE(SendCommand("Acq:RecLen 512", false));
}

TEST_F(UsbLinkTest, AnUnansweredUsbConnectClosesTheDevice) {
  EXPECT_FALSE(ConnectInstrument(true, TIPv4Addr{}));
  EXPECT_TRUE(CommFailure);
  EXPECT_FALSE(pipe.IsOpen());
  EXPECT_EQ(LinkKind, TLinkKind::None);
}

}  // namespace
}  // namespace norv
