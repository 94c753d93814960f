#include "instrument/settings/setting_senders.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/settings/program_objects.h"
#include "instrument/link/instrument_identity.h"
#include "instrument/link/link_state.h"
#include "instrument/settings/settings_hooks.h"
#include "support/fake_settings_link.h"

namespace norv::test {
namespace {

using Lines = std::vector<std::string>;

class SettingSendersTest : public ::testing::Test {
 protected:
  void SetUp() override { FreshProgramState(); }
  void TearDown() override { FreshProgramState(); }
  FakeSettingsLink link;
};

// Each cached sender sends only on change; a connection makes it send again, except the
// time per division, which the instrument keeps.
TEST_F(SettingSendersTest, CachedSendersGoOutOnChangeAndAgainAfterAConnection) {
  for (int len : {512, 512}) SendRecLen(len, false);
  SendRecLen(1024, true);
  for (int code : {4, 4, 3, 7}) SendAcqChannels(code, false);  // 7: any other code names Ch1
  SendTimeDiv(1e-6);
  SendTimeDiv(1e-6 + 1e-16);  // rounding noise
  SendTbDelay(false, 0.0);
  SendTbDelay(true, 0.0);
  EXPECT_EQ(link.Texts(), (Lines{"Acq:RecLen 512", "Acq:RecLen 1024", "Acq:Channels Both", "Acq:Channels Ch2",
                                 "Acq:Channels Ch1", "TB:TIMEDIV 1E-6", "TB:DELAY 0"}));
  EXPECT_TRUE(link.Lines[1].Keep);
  EXPECT_FALSE(link.Lines[6].Keep);

  link.Clear();
  ResetSenderCachesAfterConnect();
  SendRecLen(1024, false);
  SendAcqChannels(2, false);
  SendTimeDiv(1e-6);
  SendTbDelay(true, 0.0);
  EXPECT_EQ(link.Texts(), (Lines{"Acq:RecLen 1024", "Acq:Channels Ch1", "TB:DELAY 0"}));
  EXPECT_TRUE(link.Lines.back().Keep);
}

// The mode rides along only when it changes, and with the first count after a connection.
TEST_F(SettingSendersTest, AverageCountCarriesItsModeWhenItChanges) {
  for (int n : {16, 16, 32, 1, 8}) SendNAvg(n, false);
  ResetSenderCachesAfterConnect();
  SendNAvg(8, false);
  SendNAvg(1, false);
  ResetSenderCachesAfterConnect();
  SendNAvg(1, false);
  EXPECT_EQ(link.Texts(),
            (Lines{"Acq:NAvg 16;Mode Avg", "Acq:NAvg 32", "Acq:NAvg 1;Mode Norm", "Acq:NAvg 8;Mode Avg",
                   "Acq:NAvg 8;Mode Avg", "Acq:NAvg 1;Mode Norm", "Acq:NAvg 1;Mode Norm"}));
}

TEST_F(SettingSendersTest, AlwaysSentCommandsAndTheirTexts) {
  for (int i = 0; i < 2; ++i) SendTrigHoldOff(1.5e-5);
  SendTrigIntRate(1e-5);
  for (int source = 0; source < 4; ++source) SendTrigSource(source);
  for (bool triggered : {true, false}) SendTrigMode(triggered);
  SendTrigLevel(-0.032);
  SendTrigSlope(true);
  SendTrigHister(true);
  for (int mode : {1, 0}) SendSmplMode(mode);
  SendChannelBand(2, true);
  SendChannelBand(3, false);
  SendChannelComp(2, 0.3);
  SendChannelComp(3, -0.123456789);
  EXPECT_EQ(link.Texts(),
            (Lines{"Trig:HoldOff 1.5E-5", "Trig:HoldOff 1.5E-5", "Trig:IntRate 1E-5", "Trig:Source DIRECT",
                   "Trig:Source HF", "Trig:Source INT", "Trig:Source CDR", "Trig:Mode Trig", "Trig:Mode Free",
                   "Trig:Level -0.032", "Trig:Slope Neg", "Trig:Hister HighSens", "Acq:SmplMode LFFB",
                   "Acq:SmplMode SIMPLE", "Ch1:Band Narrow", "Ch2:Band Full", "Ch1:Comp 0.3",
                   "Ch2:Comp -0.12345679"}));
}

TEST_F(SettingSendersTest, GeneratorCommandsNeedTheGeneratorsOption) {
  SendGenMode(3);
  SendGenPeriod(100);
  EXPECT_TRUE(link.Lines.empty());
  InstrumentIdentity.ModelCode = 1;
  InstrumentIdentity.Options = OptGenerators;
  SendGenMode(3);
  SendGenPeriod(100);
  SendGenStepDly(7);
  SendGenDelay(8);
  SendGenWidth(9);
  SendGenLength(3);
  SendGenTrigger(true);
  SendGenPolarity(1, true);
  SendGenDeskew(0, -5);
  SendGenOffsetMode(0, 0);
  SendGenOffsetMode(1, 2);
  SendGenOffset(1, 12);
  InstrumentIdentity = {};
  EXPECT_EQ(link.Texts(),
            (Lines{"Gen:Mode Pulse", "Gen:Period 100", "Gen:StepDly 7", "Gen:Delay 8", "Gen:Width 9",
                   "Gen:Length p2e15m1", "Gen:Trigger Pattern", "Gen:Out2:Polarity Neg", "Gen:Out1:Deskew -5",
                   "Gen:Out1:OfsMode Pos,", "Gen:Out2:OfsMode Var", "Gen:Out2:Offset? 12"}));
}

TEST_F(SettingSendersTest, QueriesReadTheirReplies) {
  std::string trigReply = "TRIG_ON";
  link.Reply = [&](const std::string& query) -> std::string {
    if (query == "Trig:GetTrigOn?") return trigReply;
    if (query == "Pattern:TrigFreq?") return "1.25E9";
    if (query == "Info:GetTemp?") return "oops";
    return "Timeout";
  };
  EXPECT_TRUE(QueryTrigOn(true));
  EXPECT_TRUE(link.Lines.back().Keep);
  trigReply = "TRIG_OFF";
  EXPECT_FALSE(QueryTrigOn(false));
  trigReply = "Timeout";
  EXPECT_FALSE(QueryTrigOn(false));
  EXPECT_DOUBLE_EQ(QueryPatternTrigFreq(true), 1.25e9);
  EXPECT_TRUE(link.Lines.back().Keep);
  link.Reply = [](const std::string&) { return std::string("Timeout"); };
  EXPECT_DOUBLE_EQ(QueryPatternTrigFreq(false), PatternRateUnreadable);

  // Without a real instrument the temperature is made up and nothing is asked.
  link.Clear();
  ReadInstrumentTemperature(false);
  EXPECT_TRUE(link.Lines.empty());
  LinkKind = TLinkKind::LAN;
  link.Reply = [](const std::string&) { return std::string("41.5"); };
  EXPECT_DOUBLE_EQ(ReadInstrumentTemperature(false), 41.5);
  link.Reply = [](const std::string&) { return std::string("hot"); };
  EXPECT_DOUBLE_EQ(ReadInstrumentTemperature(false), 0.0);
}

}  // namespace
}  // namespace norv::test
