// Channel and acquisition settings, the state sent after a connection, and the level
// search on the settings.

#include <gtest/gtest.h>

#include <tuple>

#include "framework/language/language.h"
#include "framework/traces/trace_names.h"
#include "instrument/settings/setting_rules.h"
#include "instrument/settings/trigger_level_search.h"
#include "instrument/settings_fixture.h"
#include "instrument/startup/program_folders.h"
#include "support/fake_clock.h"

namespace norv::test {
namespace {

using Lines = std::vector<std::string>;

using ChannelSettingsTest = AppliedSettingsTest;

TEST_F(ChannelSettingsTest, AtLeastOneChannelIsAlwaysAcquired) {
  EXPECT_TRUE(Disabled("Ch1:Acquire"));  // displayed, so acquired anyway
  Exec("CH1:ACQUIRE OFF;:CH2:DISPLAY OFF;ACQUIRE OFF");
  EXPECT_EQ(std::tuple(IsChannelAcquired(2), IsChannelAcquired(3), SignalsOn.IsOn(TTraceId::Ch2)),
            std::tuple(true, false, false));
  // Ch1 was the only one: Ch2 is switched back to acquiring, though not displayed.
  Exec("CH1:DISPLAY OFF");
  EXPECT_EQ(std::tuple(IsChannelAcquired(2), IsChannelAcquired(3), SignalsOn.IsOn(TTraceId::Ch2),
                       IsSourceShown(TraceIndex(TTraceId::Ch2))),
            std::tuple(false, true, true, false));
  EXPECT_EQ(link.TextsStartingWith("Acq:Channels"), (Lines{"Acq:Channels Ch1", "Acq:Channels Ch2"}));
}

TEST_F(ChannelSettingsTest, ScaleAndOffsetShowTheProbedQuantity) {
  Exec("CH1:ATTEN:UNIT RATIO;RATIO 10");
  Exec("CH1:SCALE 50M", true);  // stored instrument volts, as a setup holds them
  EXPECT_EQ(Exec("CH1:SCALE?"), "CH1:SCALE 500 mV/div");
  Exec("CH1:SCALE 1");  // typed in probed volts per division
  EXPECT_NEAR(Value("Ch1:Scale"), 0.1, 1e-12);
  // Two stacked graticules halve the division.
  SettingsHooks.GraticuleSplit.Set([] { return 2; });
  EXPECT_EQ(Exec("CH1:SCALE?"), "CH1:SCALE 2 V/div");
  Exec("CH1:ATTEN:UNIT DB;DB 20");
  EXPECT_NEAR(GetAttenuationFactor(2), 10.0, 1e-6);
  Exec("CH1:ATTEN:DIMENS WATT");
  EXPECT_EQ(GetChannelVertUnit(2, false), "W");
  // The offset is stored as the negated compensation, which is what is sent.
  Exec("CH2:OFFSET 0.3");
  EXPECT_NEAR(Value("Ch2:Offset"), -0.3, 1e-12);
  Exec("CH2:BAND NARROW");
  EXPECT_EQ(link.TextsStartingWith("Ch2:"), (Lines{"Ch2:Comp 0.3", "Ch2:Band Narrow"}));
}

TEST_F(ChannelSettingsTest, UnitSystemSwitching) {
  std::string scalePath;
  SettingsHooks.BindMainChannelControls.Set(
      [&](int, const std::string& scale, const std::string&) { scalePath = scale; });
  Exec("CH1:ATTEN:UNIT RATIO;RATIO 10");
  SettingsHooks.TDRVertUnit.Set([](int channel) { return channel == 2 ? 1 : 0; });
  BindChannelScaleControls(2);
  EXPECT_EQ(scalePath, "Ch1:RhoScale");
  for (const char* path : {"Ch1:RhoScale", "Ch1:RhoOffset"}) EXPECT_FALSE(Disabled(path)) << path;
  for (const char* path : {"Ch1:Scale", "Ch1:Offset", "Ch1:OhmScale", "Ch1:GainOffset"})
    EXPECT_TRUE(Disabled(path)) << path;
  EXPECT_EQ(GetChannelVertUnit(2, true), "Rho");
  EXPECT_EQ(GetAttenuationFactor(2), 1.0);
  EXPECT_EQ(GetChannelVertUnit(3, true), "V");
  SettingsHooks.TDRVertUnit.Set([](int) { return 3; });
  EXPECT_EQ(GetChannelVertUnit(2, true), "");
  EXPECT_EQ(GetChannelUnitPrefix(2), "Gain");
}

TEST_F(ChannelSettingsTest, OpticalOutputSnapsTheScale) {
  SettingsHooks.OEOutputOnChannel.Set([](int channel) { return channel == 3; });
  ApplyAll();
  auto* scale = Edit("Ch2:Scale");
  scale->SetValueBySwitcher(0.13);
  EXPECT_NEAR(scale->GetFloatValue(), 0.1, 1e-12);
  EXPECT_NEAR(Value("Ch2:Offset"), -0.3, 1e-12);  // zero three divisions below centre
}

using AcquisitionSettingsTest = AppliedSettingsTest;

TEST_F(AcquisitionSettingsTest, CommonSettingsWhenBothChannelsAreEqual) {
  Exec("ACQ:CH1:MODE AVGSTAB;NAVG 64");
  EXPECT_TRUE(UseCommonAcqSettings());
  for (const char* path : {"Acq:Ch2:Mode", "Acq:Ch2:NAvg", "SHADOW:Acq:MenuSel"})
    EXPECT_TRUE(Disabled(path)) << path;
  EXPECT_EQ(std::tuple(GetAcqMode(3), GetAcqCount(3)), std::tuple(TAcqMode::AvgStab, 64));
  // A different deskew makes the channels differ: each has its own settings.
  Exec("CH2:DESKEW 1N");
  EXPECT_EQ(std::tuple(UseCommonAcqSettings(), Disabled("Acq:Sampl"), Disabled("Acq:Ch2:Mode"), GetAcqMode(3),
                       GetAcqCount(3)),
            std::tuple(false, true, false, TAcqMode::Sample, 1));
}

TEST_F(AcquisitionSettingsTest, EnvelopeCountsAndModeLimits) {
  // Ch2 with its own settings.
  Exec("CH2:DESKEW 1N;:ACQ:CH2:MODE ENVMAX;NENV 6000");
  EXPECT_EQ(GetAcqCount(3), 6000);
  EXPECT_EQ(Exec("ACQ:CH2:NENV?"), "ACQ:CH2:NENV " + GetLangStr("Continuously"));
  Exec("ACQ:CH2:NENV 6001");
  EXPECT_EQ(GetAcqCount(3), EndlessEnvelope);
  Exec("ACQ:CH2:MODE AVGMEDIAN");
  EXPECT_EQ(Edit("Acq:Ch2:NAvg")->GetMin(), 8);
  Exec("ACQ:CH2:MODE AVGMULT");
  EXPECT_EQ(Edit("Acq:Ch2:NAvg")->GetMin(), 2);
  Exec("ACQ:RUNUNTIL STOPBTN");
  for (const char* path : {"Acq:NAcq", "Acq:React"}) EXPECT_TRUE(Disabled(path)) << path;
  Exec("ACQ:RUNUNTIL NACQ");
  EXPECT_FALSE(Disabled("Acq:NAcq"));
}

TEST_F(AcquisitionSettingsTest, RecordLengthAveragesAndSamplingModeReachTheInstrumentOnce) {
  Exec("ACQ:CH1:RECLEN 1024;RECLEN 1024;NAVG 16;:ACQ:FITTO SINGLE");
  ApplyAcqFitTo();  // the status line drawing its icon again
  EXPECT_EQ(link.TextsStartingWith("Acq:"), (Lines{"Acq:RecLen 1024", "Acq:NAvg 16", "Acq:SmplMode LFFB"}));
  EXPECT_FALSE(IsAcqFitToMulti());
  SettingsHooks.AutoscaleRunning.Set([] { return true; });
  EXPECT_TRUE(IsAcqFitToMulti());
}

TEST_F(AcquisitionSettingsTest, AutoSaveName) {
  const std::string folder = DataFolders().AcqLimitFilesDir.string();
  EXPECT_EQ(Exec("ACQ:FILENAME?"), "ACQ:FILENAME " + folder + "Noname*.wfm");
  Exec("ACQ:FILENAME run/Shot.txt;FILEFORMAT VERBOSE");
  EXPECT_EQ(Exec("ACQ:FILENAME?"), "ACQ:FILENAME " + folder + "run/Shot*.txt");
  Exec("ACQ:FILENAME Next");
  EXPECT_EQ(AutoSaveNamePattern(), folder + "run/Next*.txt");
}

using ConnectionStateTest = AppliedSettingsTest;

TEST_F(ConnectionStateTest, EverythingGoesOutAgainAfterAConnection) {
  Exec("CH1:OFFSET 0.3;:ACQ:CH1:RECLEN 1024");
  link.Clear();
  SendStateAfterConnect();
  // The hold-off (10 us) and the time base (10 ns) move away and back; the delay of mode A
  // is 0 and was sent so; the fit-to mode goes out again.
  EXPECT_EQ(link.Texts(), (Lines{"Ch1:Comp 0.3", "Ch2:Comp 0", "Trig:HoldOff 1.4E-5", "Trig:HoldOff 1E-5",
                                 "TB:TIMEDIV 8E-10", "TB:TIMEDIV 1E-8", "Trig:Source HF",
                                 "Trig:Source DIRECT", "Acq:SmplMode SIMPLE"}));

  // Fitted to single-valued signals on old firmware the hold-off can not go below 50 us:
  // it can not move away, and still goes out once. The delay cache was forgotten by the
  // first connection, so the delay goes out with the time base.
  Exec("ACQ:FITTO SINGLE");
  link.Clear();
  SendStateAfterConnect();
  EXPECT_EQ(link.Texts(),
            (Lines{"Ch1:Comp 0.3", "Ch2:Comp 0", "Trig:HoldOff 5E-5", "TB:TIMEDIV 8E-10", "TB:DELAY 0",
                   "TB:TIMEDIV 1E-8", "Trig:Source HF", "Trig:Source DIRECT", "Acq:SmplMode LFFB"}));
  // The cached settings are sent again by the next record.
  link.Clear();
  SendRecLen(1024, false);
  SendTbDelay(false, 0.0);
  EXPECT_EQ(link.Texts(), (Lines{"Acq:RecLen 1024", "TB:DELAY 0"}));
}

class LevelSearchOnSettingsTest : public AppliedSettingsTest {
 protected:
  void SetUp() override {
    AppliedSettingsTest::SetUp();
    SetProgramClock(clock);
  }
  FakeClock clock;
};

TEST_F(LevelSearchOnSettingsTest, SimulatorWindowGivesAQuarterVolt) {
  int runStops = 0;
  SettingsHooks.StopRunAndSingle.Set([&] { ++runStops; });
  double level = 0;
  ASSERT_TRUE(TriggerLevelSearch(level));
  EXPECT_DOUBLE_EQ(level, 0.25);
  EXPECT_NEAR(Value("Trig:ExtLevel"), 0.25, 1e-9);
  EXPECT_EQ(GetIndex(TriggerSettings().Mode), 1);  // triggered mode
  EXPECT_EQ(runStops, 1);
  // 19 probes (their order is the search's own test) and the final level.
  EXPECT_EQ(link.TextsStartingWith("Trig:Level").size(), 20u);
  EXPECT_TRUE(link.TextsStartingWith("Trig:GetTrigOn?").empty());  // nothing asked of no instrument
  EXPECT_EQ(clock.SleptMs(), 19 * 200);
}

// A triggering instrument is the link test's (over TCP).
TEST_F(LevelSearchOnSettingsTest, NoTriggerIsAFailureAndOtherSourcesNeedNoSearch) {
  LinkKind = TLinkKind::USB;
  link.Reply = [](const std::string&) { return std::string("TRIG_OFF"); };
  double level = 1;
  EXPECT_FALSE(TriggerLevelSearch(level));
  EXPECT_EQ(level, 1.0);

  Exec("TRIG:SOURCE EXTHF");
  link.Clear();
  EXPECT_TRUE(TriggerLevelSearch(level));
  EXPECT_TRUE(link.Lines.empty());
}

TEST_F(LevelSearchOnSettingsTest, StatusIndicatorOnTheSettings) {
  std::vector<int> shown;
  SettingsHooks.ShowTriggerState.Set([&](int state) { shown.push_back(state); });
  LinkKind = TLinkKind::USB;
  link.Reply = [](const std::string&) { return std::string("Timeout"); };
  RefreshTriggerStatus(false);  // free run, nothing triggered
  Exec("TRIG:MODE TRIG");
  clock.Advance(1000);
  RefreshTriggerStatus(true);
  EXPECT_TRUE(link.Lines.back().Keep);
  Exec("TRIG:SOURCE INTCLOCK");
  clock.Advance(1000);
  RefreshTriggerStatus(false);
  EXPECT_EQ(shown, (std::vector<int>{tsFreeRun, tsNotTriggered, tsNone}));
}

}  // namespace
}  // namespace norv::test
