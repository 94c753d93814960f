#include "instrument/link/command_link.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "framework/util/errors.h"
#include "instrument/link/transport/usb_transport.h"
#include "instrument/link_fixture.h"
#include "support/fake_clock.h"
#include "support/fake_usb_pipe.h"

namespace norv {
namespace {

using test::FakeClock;
using test::FakeInstrument;
using test::LinkTest;
using test::Loopback;
using namespace std::chrono_literals;

const std::string EndMark(ReplyEndMark);

TEST_F(LinkTest, CommandsAndQueriesGoOutWithTheirExactTexts) {
  Connect();
  int stops = 0;
  PreCommandHook.Set([&](bool refresh) { stops += refresh; });
  instrument.SetReply("Pattern:Len? 3", "127");
  instrument.SetReply("Pattern:TrigFreq? 2.5E-10", "-1.25e3");
  instrument.SetReply("Info:GetTemp?", "41.5");

  SendIntCommand("Gen:Period", -12);
  SendOnOffCommand("Pattern:On", true);
  SendOnOffCommand("Pattern:AddDelay", false);
  SendFloatCommand("TB:DELAY", true, 0.1);
  SendFloatCommand("TB:TIMEDIV", false, 123456789.0);
  SendCommand("TB:DELAY 0", true);
  EXPECT_EQ(QueryIntArg("Pattern:Len", 3), 127);
  EXPECT_DOUBLE_EQ(QueryFloatArg("Pattern:TrigFreq", 2.5e-10), -1250.0);
  EXPECT_DOUBLE_EQ(QueryFloat("Info:GetTemp"), 41.5);

  const std::vector<std::string> expected = {
      "Gen:Period -12",         "Pattern:On On", "Pattern:AddDelay Off", "TB:DELAY 0.1",
      "TB:TIMEDIV 1.2345679E8", "TB:DELAY 0",    "Pattern:Len? 3",       "Pattern:TrigFreq? 2.5E-10",
      "Info:GetTemp?"};
  ASSERT_TRUE(instrument.WaitForCommands(expected.size()));
  EXPECT_EQ(instrument.Commands(), expected);
  EXPECT_EQ(stops, 7);  // all but the two that keep the acquisition
  EXPECT_FALSE(CommFailure);
}

TEST_F(LinkTest, RepliesLoseTheirCrLfAndMustBeWholeNumbers) {
  Connect();
  // A reply never read does not answer the next command.
  instrument.SetReply("Slow?", "old");
  SendCommand("Slow?", false);
  ASSERT_TRUE(instrument.WaitForReplies(2));  // the connection's and this one
  instrument.SetReply("Info:Name?", std::string("a\xB5z"));
  instrument.SetReply("N?", "12");
  SendCommand("N?", false);
  EXPECT_EQ(ReadReply(), "12" + std::string(ReplyCrMark) + EndMark);
  EXPECT_EQ(QueryCommand("Info:Name?"), "a_z");
  EXPECT_EQ(QueryUpperString("Info:Name"), "A_Z");

  const struct {
    const char* Reply;
    int32_t Int;
    double Float;
  } cases[] = {
      {"12", 12, 12.0},
      {" +7", 7, 7.0},
      {"1.5", QueryIntFailure, 1.5},
      {"12abc", QueryIntFailure, QueryFloatFailure},
      {"99999999999", QueryIntFailure, 99999999999.0},
      {"+-5", QueryIntFailure, QueryFloatFailure},
      {"nan", QueryIntFailure, QueryFloatFailure},
  };
  for (const auto& c : cases) {
    instrument.SetReply("N?", c.Reply);
    EXPECT_EQ(QueryInt("N"), c.Int) << c.Reply;
    EXPECT_EQ(QueryFloat("N"), c.Float) << c.Reply;
  }

  // A reply ending in LF alone keeps its end mark and is no number.
  instrument.SetReply("N?", "12");
  instrument.SetFault(FakeInstrument::TFault::LfOnlyReplies);
  EXPECT_EQ(QueryCommand("N?"), "12" + EndMark);
  EXPECT_EQ(QueryInt("N"), QueryIntFailure);
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
  // Error reports keep the first 32 characters of the last command.
  SendCommand("Calibr:Sampler:Linearity 0123456789ABCDEF", true);
  EXPECT_EQ(LastCommandText(), "Calibr:Sampler:Linearity 0123456");
}

TEST_F(LinkTest, AFailedConnectClosesTheLinkAndARetrySucceeds) {
  uint16_t deadPort;
  {
    FakeInstrument gone;
    deadPort = gone.Port();
  }
  std::vector<std::string> splash;
  LinkHooks.SplashStatus.Set([&](const std::string& text) { splash.push_back(text); });
  EXPECT_FALSE(ConnectInstrument(false, Loopback(), deadPort));
  EXPECT_EQ(splash.size(), 2u);  // waiting, then not found
  EXPECT_THROW(OpenTcpInstrument(TIPv4Addr{}, deadPort), EAssertion);

  instrument.SetFault(FakeInstrument::TFault::Silence);
  FakeClock clock;
  SetProgramClock(clock);
  EXPECT_FALSE(ConnectInstrument(false, Loopback(), instrument.Port()));
  EXPECT_TRUE(CommFailure);
  EXPECT_EQ(LinkKind, TLinkKind::None);

  instrument.SetFault(FakeInstrument::TFault::None);
  SetProgramClock(SystemClock());
  EXPECT_TRUE(ConnectInstrument(false, Loopback(), instrument.Port()));
  EXPECT_EQ(LinkKind, TLinkKind::LAN);
  EXPECT_FALSE(CommFailure);
  EXPECT_EQ(instrument.Connections(), 2);
  EXPECT_EQ(instrument.Commands().back(), "Info:IndivData?");
}

TEST_F(LinkTest, APeerThatClosesFailsTheLinkAndLinkAliveReconnects) {
  Connect();
  instrument.SetReply("Info:GetVer:FPGAFW?", "17");
  instrument.SetReply("Info:GetVer:SW?", "3.12.1");
  instrument.SetFault(FakeInstrument::TFault::CloseOnCommand);
  EXPECT_EQ(QueryCommand("Info:GetVer:SW?"), "Timeout");
  EXPECT_TRUE(CommFailure);
  EXPECT_FALSE(SendCommand("Acq:RecLen 512", false));

  // The probe runs over idle passes; a few seconds are plenty on a loaded machine.
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!LinkAlive() && std::chrono::steady_clock::now() < until) std::this_thread::sleep_for(1ms);
  EXPECT_EQ(instrument.Connections(), 2);
  EXPECT_EQ(QueryCommand("Info:GetVer:SW?"), "3.12.1");
}

TEST_F(LinkTest, ASilentInstrumentFailsTheLinkWhichProbesAboutOnceASecondWithoutWaiting) {
  Connect();
  FakeClock clock;
  SetProgramClock(clock);
  instrument.SetFault(FakeInstrument::TFault::Silence);
  const int64_t start = clock.NowMs();
  EXPECT_EQ(QueryCommand("Info:GetVer:SW?"), "Timeout");
  EXPECT_GE(clock.NowMs() - start, TcpReplyTimeoutMs);
  EXPECT_LE(clock.NowMs() - start, TcpReplyTimeoutMs + 10);
  EXPECT_TRUE(CommFailure);
  // Idle passes 100 ms apart for 3 s, each probe unanswered.
  for (int pass = 0; pass < 30; ++pass) {
    const int64_t before = clock.NowMs();
    EXPECT_FALSE(LinkAlive());
    ASSERT_LE(clock.NowMs() - before, 2) << "pass " << pass;
    clock.Advance(100);
  }
  ASSERT_TRUE(instrument.WaitForConnections(4));
  EXPECT_EQ(instrument.Connections(), 4);  // the first, then one a second

  // While a new connection is pending, a query is not sent and waits for nothing.
  instrument.BecomeUnreachable();
  clock.Advance(1000);
  EXPECT_FALSE(LinkAlive());
  const int64_t before = clock.NowMs();
  EXPECT_FALSE(SendCommand("Acq:RecLen 512", false));
  EXPECT_EQ(QueryCommand("Info:GetVer:SW?"), "Timeout");
  EXPECT_EQ(QueryInt("Acq:RecLen"), QueryIntFailure);
  EXPECT_LE(clock.NowMs() - before, 2);
  EXPECT_TRUE(CommFailure);
}

TEST_F(LinkTest, CommandsAndRepliesTravelOverUsb) {
  test::FakeUsbPipe pipe;
  EXPECT_FALSE(ConnectInstrument(true, TIPv4Addr{}));  // no answer: the device is closed again
  EXPECT_TRUE(CommFailure);
  EXPECT_FALSE(pipe.IsOpen());
  EXPECT_EQ(LinkKind, TLinkKind::None);

  ASSERT_TRUE(test::ConnectUsb(pipe));
  EXPECT_EQ(LinkKind, TLinkKind::USB);
  const std::string longReply(500, 'x');
  const std::map<std::string, std::string> replies{
      {"Info:GetVer:SW?", "3.12.1"}, {"Long?", longReply}, {"Slow?", "old"}, {"Fast?", "new"}};
  pipe.OnWrite = [&](std::string_view line) {
    line.remove_suffix(2);
    if (line == "Empty?") pipe.QueueIn("");
    if (auto it = replies.find(std::string(line)); it != replies.end()) pipe.QueueIn(it->second + "\r\n");
  };
  pipe.ClearOut();
  EXPECT_EQ(QueryCommand("Info:GetVer:SW?"), "3.12.1");
  EXPECT_EQ(pipe.OutText(), "Info:GetVer:SW?\r\n");

  // A reply longer than one read is read to its end; the next reply is its own. So is
  // the reply after one that was never read.
  EXPECT_EQ(QueryCommand("Long?"), longReply);
  EXPECT_EQ(QueryCommand("Info:GetVer:SW?"), "3.12.1");
  SendCommand("Slow?", false);
  EXPECT_EQ(QueryCommand("Fast?"), "new");
  EXPECT_FALSE(CommFailure);

  EXPECT_EQ(QueryCommand("Empty?"), "Timeout");
  EXPECT_EQ(QueryInt("Info:GetVer:FPGAFW"), QueryIntFailure);  // no reply: the read times out
  EXPECT_TRUE(CommFailure);
}

}  // namespace
}  // namespace norv
