// The O/E converter: the gain of the selected calibration point, the channel it feeds, the
// simulated converter's output and the dark-level search.

#include "service/oe_converter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "framework/settings/choice_handlers.h"
#include "framework/settings/numeric_handlers.h"
#include "framework/settings/settings_tree.h"
#include "framework/util/dialog_service.h"
#include "framework/util/errors.h"
#include "instrument/acquisition/procedures.h"
#include "instrument/link/instrument_identity.h"
#include "instrument/record/signal_obj.h"
#include "instrument/settings/channel_settings.h"
#include "instrument/settings/timebase_settings.h"
#include "instrument/simulator/simulator.h"
#include "service/calibration_fixture.h"
#include "support/fake_dialogs.h"
#include "support/settings_tree_fixture.h"

namespace norv::test {
namespace {

class OEConverterTest : public SettingsTreeTest {
 protected:
  void SetUp() override {
    SettingsTreeTest::SetUp();
    SetDialogs(&dialogs);
    InstrumentIdentity.ModelCode = 1;
    InstrumentIdentity.Options = OptOptics;
    RegisterChannelCommands();
    RegisterTimeBaseCommands();  // the undo at a run's end keeps the time-base delays
    RegisterOEConvCommands();
  }
  void TearDown() override {
    InstrumentIdentity.Options = 0;
    for (int channel : {2, 3}) ProgramSimulator().SimSetOpticalInput(channel, {});
    SettingsTreeTest::TearDown();
  }
  static void Run(const std::string& line) { RootSpider->ExecCommandLine(line, false); }
  static double Value(const std::string& node) {
    return dynamic_cast<TEditHandler&>(*RootSpider->FindHandler(node)).GetValue();
  }
  // Shadow nodes are the controls' own: commands do not reach them.
  static void SetShadow(const std::string& node, double value) {
    dynamic_cast<TDoubleEditHandler&>(*RootSpider->FindHandler(node)).SetValueByProgram(value);
  }
  // A remote client's line, served while the user's next box is open.
  void ClientWhileAsked(const std::string& line) {
    dialogs.whileShown = [line, sent = false]() mutable {
      if (std::exchange(sent, true)) return;
      const TDialogsSuppressed client;
      Run(line);
    };
  }

  FakeDialogs dialogs;
};

// Factory points 1..3 and user points; the user list is ranked by wavelength.
TEST_F(OEConverterTest, GainOfTheSelectedPointFollowsTheCalibrationTable) {
  SetShadow("Shadow:Adjust:OEGain1", 125);
  SetShadow("Shadow:Adjust:OEGain2", 250);
  SetShadow("Shadow:Adjust:OEGain3", 31.5);
  struct Case {
    const char* waveLen;
    const char* userRank;
    double gain;
  };
  // No valid user point yet: the user choice falls back to WL1 (gain 125).
  EXPECT_EQ(GetIndex(OEConvState().WaveLen), 0);
  for (const Case& c : {Case{"WL1", "WL1", 125}, Case{"WL2", "WL1", 250}, Case{"WL3", "WL1", 31.5}}) {
    Run(std::string("OEConv:WaveLen ") + c.waveLen);
    EXPECT_DOUBLE_EQ(GetOEConversionGain(), c.gain) << c.waveLen;
    EXPECT_DOUBLE_EQ(Value("Flash:OE:ConversionGain"), c.gain) << c.waveLen;
  }
  // Point 3 at 1.55 um, point 5 at 1.31 um, point 7 an invalid wavelength.
  SetShadow("Shadow:OECalibr3:Wavelength", 1.55e-6);
  SetShadow("Shadow:OECalibr3:Gain", 600);
  SetShadow("Shadow:OECalibr5:Wavelength", 1.31e-6);
  SetShadow("Shadow:OECalibr5:Gain", 80);
  SetShadow("Shadow:OECalibr7:Gain", 90);
  ASSERT_EQ(OEConvState().Ranking.Count, 2);
  Run("OEConv:WaveLen WLUserDef");
  Run("OEConv:UserWaveLen WL1");
  EXPECT_DOUBLE_EQ(GetOEConversionGain(), 80);
  Run("OEConv:UserWaveLen WL2");
  EXPECT_DOUBLE_EQ(GetOEConversionGain(), 600);
  // A rank beyond the valid points and a vanishing gain give the stand-in gain.
  Run("OEConv:UserWaveLen WL3");
  EXPECT_DOUBLE_EQ(GetOEConversionGain(), kOEMissingGain);
}

// A user point's edit and query show the value while it is valid, "Undefined" otherwise.
TEST_F(OEConverterTest, UserPointTextsShowValidValues) {
  SetShadow("Shadow:OECalibr2:Wavelength", 1.31e-6);
  SetShadow("Shadow:OECalibr2:Gain", 80);
  SetShadow("Shadow:OECalibr4:Gain", 0.00099);
  struct Case {
    const char* node;
    const char* text;
  };
  for (const Case& c :
       {Case{"Shadow:OECalibr2:Wavelength", "1.31 \xC2\xB5m"}, Case{"Shadow:OECalibr2:Gain", "80 V/ W"},
        Case{"Shadow:OECalibr4:Wavelength", "Undefined"}, Case{"Shadow:OECalibr4:Gain", "Undefined"}}) {
    const auto& node = dynamic_cast<TEditHandler&>(*RootSpider->FindHandler(c.node));
    EXPECT_EQ(node.GetValueText(false), c.text) << c.node;
  }
}

TEST_F(OEConverterTest, RankingSortsValidPointsByWavelengthKeepingTiesInOrder) {
  std::array<TOEPoint, kOEUserPoints> points{};
  points[0] = {1.55e-6, 10};
  points[1] = {1.31e-6, 20};
  points[2] = {7.797e-7, 30};  // not above the lower limit
  points[3] = {1.31e-6, 40};
  points[4] = {8.5e-7, 0.0009};  // gain too small
  points[6] = {2e-6, 1000.4};
  const TOERanking r = RankOEUserPoints(points);
  ASSERT_EQ(r.Count, 4);
  EXPECT_EQ((std::vector<int>(r.Table.begin(), r.Table.end())), (std::vector<int>{1, 3, 0, 6, 0, 0, 0, 0}));
}

// Both spellings of the "Flash:OE" / "FLASH:OECalibr" nodes reach them.
TEST_F(OEConverterTest, ConverterAndCalibrationNodesAreAllReachable) {
  Run("FLASH:OECalibr:DarkLvl 42.5");
  EXPECT_DOUBLE_EQ(OEConvState().DarkLvl->GetValue(), 42.5);
  Run("FLASH:OECalibr:Power 0.0002");
  EXPECT_DOUBLE_EQ(Value("FLASH:OECalibr:Power"), 0.0002);
  SetShadow("Shadow:Adjust:OEGain1", 7);
  EXPECT_DOUBLE_EQ(Value("Flash:OE:ConversionGain"), 7);
  // The tree files the calibration nodes under "Flash:OE", the form a setup writes.
  Run("Flash:OE:DarkLvl 12.25");
  EXPECT_DOUBLE_EQ(Value("FLASH:OECalibr:DarkLvl"), 12.25);
}

// The electrical output: optical power (1 mW per generator volt) times the selected gain,
// shifted by the dark level against the converter's zero.
TEST_F(OEConverterTest, SimulatedChannelScalesWithTheSelectedGainAndDarkLevel) {
  SetShadow("Shadow:Adjust:OEGain1", 125);
  SetShadow("Shadow:Adjust:OEGain2", 250);
  dialogs.answers.push_back(TAnswer::OK);
  Run("OEConv:Dest Ch1");
  ASSERT_TRUE(IsOEOutputOnChannel(2));
  EXPECT_FALSE(IsOEOutputOnChannel(3));

  TSimulator& sim = ProgramSimulator();
  TSimGenerator dc = sim.SimGenerator(1);
  dc.Amplitude = 0;
  dc.Noise = 0;
  dc.Offset = 0.4;  // 0.4 mW of light
  sim.SimSetGenerator(1, dc);
  sim.SimSetChannelSource(2, 1);
  sim.SimSetChannelOffset(2, 0);
  sim.SimSetOpticalDarkZero(50);
  Run("FLASH:OECalibr:DarkLvl 50");
  const auto sample = [&] {
    sim.SimSetupChannel(2);
    return sim.SimChannelSample(2);
  };
  // 0.4e-3 W x gain volts at 16000 codes per volt.
  struct Case {
    const char* waveLen;
    int code;
  };
  for (const Case& c : {Case{"WL1", 800}, Case{"WL2", 1600}}) {
    Run(std::string("OEConv:WaveLen ") + c.waveLen);
    EXPECT_EQ(sample(), c.code) << c.waveLen;
  }
  // The channel shows watts: its attenuation undoes the gain.
  EXPECT_DOUBLE_EQ(GetAttenuationFactor(2), 1.0 / 250);
  // One percent of dark level below the zero adds 2 mV.
  Run("FLASH:OECalibr:DarkLvl 49");
  EXPECT_EQ(sample(), 1600 + 32);
}

TEST_F(OEConverterTest, DestinationChangeMovesTheConversionAndCancelKeepsItAll) {
  SetShadow("Shadow:Adjust:OEGain1", 100);
  TChannelNodes& ch1 = ChannelSettings().Nodes[0];
  TChannelNodes& ch2 = ChannelSettings().Nodes[1];
  dialogs.answers.push_back(TAnswer::Cancel);
  Run("OEConv:Dest Ch1");
  EXPECT_EQ(GetIndex(OEConvState().Dest), 0);
  EXPECT_EQ(dialogs.shown.size(), 1u);
  EXPECT_EQ(ch1.AttenUnit->GetIndex(), 0);

  dialogs.answers.push_back(TAnswer::OK);
  Run("OEConv:Dest Ch1");
  EXPECT_EQ(ch1.AttenUnit->GetIndex(), 1);
  EXPECT_DOUBLE_EQ(ch1.AttenRatio->GetValue(), 0.01);
  EXPECT_DOUBLE_EQ(ch1.Scale[0]->GetValue(), 0.0002 / 0.01);
  EXPECT_DOUBLE_EQ(ch1.Offset[0]->GetValue(), -3 * 0.2);

  dialogs.answers.push_back(TAnswer::OK);
  Run("OEConv:Dest Ch2");
  EXPECT_EQ(ch1.AttenUnit->GetIndex(), 0);
  EXPECT_DOUBLE_EQ(ch1.Scale[0]->GetValue(), 0.2);
  EXPECT_DOUBLE_EQ(ch1.Offset[0]->GetValue(), 0);
  // The channel's own volt range (up to 0.5 V/div) is reachable again.
  EXPECT_DOUBLE_EQ(ch1.Scale[0]->GetMax(), 0.5);
  EXPECT_EQ(ch2.AttenUnit->GetIndex(), 1);
  EXPECT_TRUE(IsOEOutputOnChannel(3));
  EXPECT_FALSE(IsOEOutputOnChannel(2));

  // A client's destination set while the user answers stands, whatever the answer, and a
  // disconnect gives its channel volts back; Ch1 was never connected and keeps its volts.
  Run("Ch1:Scale 0.1");
  for (const TAnswer answer : {TAnswer::Cancel, TAnswer::OK}) {
    dialogs.answers = {TAnswer::OK, answer};
    Run("OEConv:Dest OEConv");
    EXPECT_EQ(ch2.AttenUnit->GetIndex(), 0);
    ClientWhileAsked("OEConv:Dest Ch2");
    Run("OEConv:Dest Ch1");
    EXPECT_EQ(GetIndex(OEConvState().Dest), 2);
    EXPECT_EQ(ch2.AttenUnit->GetIndex(), 1);
    EXPECT_DOUBLE_EQ(ch1.Scale[0]->GetValue(), 0.1);
  }
}

// The search against a converter whose mean is (zero - level) x 2 mV/%.
struct DarkModel {
  double zero;
  TOEDarkLevelSearch::TResult Run(TOEDarkLevelSearch& search, int& records) const {
    for (records = 0; records < 10000; ++records) {
      const std::vector<double> values(499, (zero - search.Level()) * 0.002);
      const auto result = search.AddRecord(values.data(), static_cast<int>(values.size()));
      if (result == TOEDarkLevelSearch::TResult::Done || result == TOEDarkLevelSearch::TResult::Failed)
        return result;
    }
    return TOEDarkLevelSearch::TResult::Waiting;
  }
};

TEST_F(OEConverterTest, DarkLevelSearchFindsTheZeroOrFailsOutOfReach) {
  TOEDarkLevelSearch found(50);
  int records = 0;
  EXPECT_EQ((DarkModel{37.3}.Run(found, records)), TOEDarkLevelSearch::TResult::Done);
  EXPECT_NEAR(found.Level(), 37.3, 0.004);
  EXPECT_LT(found.Step(), 0.002);

  TOEDarkLevelSearch beyond(50);
  EXPECT_EQ((DarkModel{120}.Run(beyond, records)), TOEDarkLevelSearch::TResult::Failed);
  EXPECT_GE(beyond.Level(), 99.9 - 2.0);
  EXPECT_LE(beyond.Level(), 99.9);
}

TEST_F(OEConverterTest, DarkLevelSearchGathersEnoughValuesPerDecision) {
  TOEDarkLevelSearch search(50);
  const std::vector<double> values(499, 1e-3);
  // With a 2 % step it decides after 2000 values: the fifth record of 499.
  for (int i = 0; i < 4; ++i)
    EXPECT_EQ(search.AddRecord(values.data(), 499), TOEDarkLevelSearch::TResult::Waiting);
  EXPECT_EQ(search.AddRecord(values.data(), 499), TOEDarkLevelSearch::TResult::Moved);
  EXPECT_DOUBLE_EQ(search.Level(), 52);
}

TEST_F(OEConverterTest, CalibrationNeedsAConnectedOutput) {
  EXPECT_FALSE(StartOECalibration(false, false));
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_NE(dialogs.shown[0].find("is not connected to any of the CHANNEL INPUT"), std::string::npos);
  EXPECT_EQ(OEConvState().Run.State, TOECalState::Idle);
  // A client's command answers the refusal.
  for (const char* command : {"FLASH:OECalibr:AutoDarkLvl", "FLASH:OE:AutoCalGain"}) {
    SCOPED_TRACE(command);
    const TDialogsSuppressed quiet;
    try {
      Run(command);
      ADD_FAILURE() << "answered OK";
    } catch (const EAssertion& e) {
      EXPECT_NE(std::string(e.what()).find("is not connected to any of the CHANNEL INPUT"),
                std::string::npos);
    }
  }
  // Moved by a client while the user answers the question: nothing runs, and the user is told.
  StartUndo();
  dialogs.answers = {TAnswer::OK, TAnswer::OK};
  Run("OEConv:Dest Ch1");
  ClientWhileAsked("OEConv:Dest Ch2");
  EXPECT_FALSE(StartOECalibration(false, true));
  EXPECT_EQ(OEConvState().Run.State, TOECalState::Idle);
  TellWaitingProcedureMessages();  // told once the client's line has ended
  EXPECT_EQ(dialogs.shown.back(),
            "[warning] Cancelled the O/E dark level calibration: OECONV:DEST was set meanwhile");
}

// A failed run gives the remembered dark level back, and the calibration set-up goes
// back with its undo step. Without an undo ring nothing could go back: no run starts.
TEST_F(OEConverterTest, FailedDarkLevelRunRestoresTheLevelAndTheSettings) {
  dialogs.answers.push_back(TAnswer::OK);
  Run("OEConv:Dest Ch2");
  Run("FLASH:OECalibr:DarkLvl 33");
  Run("Ch1:Display On");
  EXPECT_FALSE(StartOECalibration(false, false));
  EXPECT_EQ(OEConvState().Run.State, TOECalState::Idle);

  StartUndo();
  ASSERT_TRUE(StartOECalibration(false, false));
  TChannelNodes& ch1 = ChannelSettings().Nodes[0];
  TChannelNodes& ch2 = ChannelSettings().Nodes[1];
  EXPECT_FALSE(ch1.Display->IsOn());
  EXPECT_TRUE(ch2.Display->IsOn());
  EXPECT_EQ(ch2.AttenUnit->GetIndex(), 0);  // the bare channel, in volts
  OEConvState().DarkLvl->SetValueByProgram(90);
  OEConvState().Run.State = TOECalState::Finish;
  OEConvState().Run.Succeeded = false;
  EndOECalibration(true);
  EXPECT_DOUBLE_EQ(Value("FLASH:OECalibr:DarkLvl"), 33);
  EXPECT_EQ(OEConvState().Run.State, TOECalState::Idle);
  EXPECT_FALSE(OEConvState().LastRunSucceeded);
  EXPECT_TRUE(ch1.Display->IsOn());
  EXPECT_EQ(ch2.AttenUnit->GetIndex(), 1);
}

// A gain run by command takes the channel's mean level for the light: it succeeds only
// when that level stands above the trace's noise and gives more than 20 V/W, and only then
// is the point's gain replaced. The records alternate level + noise and level - noise.
TEST_F(OEConverterTest, GainRunNeedsLightAboveTheNoise) {
  dialogs.answers.push_back(TAnswer::OK);
  Run("OEConv:Dest Ch1");
  SetShadow("Shadow:OECalibr1:Wavelength", 1.31e-6);
  SetShadow("Shadow:OECalibr1:Gain", 100);
  Run("FLASH:OECalibr:PointNum 1;:FLASH:OECalibr:Power 0.0004");
  StartUndo();
  const std::string failed = "[error] Calibration failed";
  const std::string noLight =
      failed + "\r\nNo steady light on the O/E CONVERTER: the channel's level is not above its noise.";
  struct Case {
    const char* name;
    double level, noise;  // V
    bool pattern;         // light of 4 * level in one of every four 8-point bits, else steady
    double gain;          // V/W stored afterwards
    std::string told;
  };
  const std::string complete = "[information] Calibration complete!";
  const Case cases[] = {
      {"light", 0.05, 0.002, false, 125, complete},
      {"no input: one value throughout", 0.12, 0, false, 125, noLight},
      {"a dark residue within the noise (30 V/W)", 0.012, 0.02, false, 125, noLight},
      {"too little light (10 V/W)", 0.004, 0.0005, false, 125, failed},
      // Modulation is no noise, though it spreads the values more than their mean: 126 of
      // points 2..500 carry light.
      {"light of a pattern", 0.05, 0.002, true, (126 * 0.2 + 0.002) / 499 / 0.0004, complete},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    dialogs.shown.clear();
    ASSERT_TRUE(StartOECalibration(true, false));
    TSignalObj& record = SignalObjs()[TTraceId::Ch1];
    record.SetRecLen(512);
    for (int i = 0; i < 512; ++i) {
      const double light = !c.pattern ? c.level : (i / 8 % 4 == 0 ? 4 * c.level : 0);
      record.SetY(i, light + (i % 2 == 0 ? c.noise : -c.noise));
    }
    for (int n = 0; n < 100 && OEConvState().Run.State != TOECalState::Idle; ++n) OEAutoCalStep();
    EXPECT_EQ(OEConvState().Run.State, TOECalState::Idle);
    EXPECT_EQ(dialogs.shown, std::vector<std::string>{c.told});
    // Points 2..500 hold one more value above the level than below it.
    EXPECT_NEAR(Value("Shadow:OECalibr1:Gain"), c.gain, 0.02);
  }
}

class OEOnInstrumentTest : public CalibrationOnInstrumentTest {
 protected:
  void SetUp() override {
    CalibrationOnInstrumentTest::SetUp();
    RegisterOEConvCommands();
  }
};

// The dark level is sent as a float query; a differing answer replaces it, an answer that
// is none (no number, the failure value, silence) leaves it and tells the user.
TEST_F(OEOnInstrumentTest, DarkLevelTakesTheInstrumentsAnswerOnlyWhenThereIsOne) {
  struct Case {
    const char* name;
    std::optional<std::string> reply;
    double kept;
    bool told;
  };
  const Case cases[] = {
      {"same", "42.5", 42.5, false},
      {"within 0.001", "42.5008", 42.5, false},
      {"differs", "41.75", 41.75, false},
      {"unparsable", "ERR", 42.5, true},
      {"failure value", "-2147483647", 42.5, true},
      {"time-out", std::nullopt, 42.5, true},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    OEConvState().DarkLvl->SetValueByProgram(10);
    instrument.SetArgReply("OE:DarkLevel", [&k](const std::string&) { return k.reply; });
    dialogs.shown.clear();
    instrument.ClearCommands();
    Run({"FLASH:OECalibr:DarkLvl 42.5"});
    Sync();
    EXPECT_DOUBLE_EQ(Value("FLASH:OECalibr:DarkLvl"), k.kept);
    EXPECT_EQ(dialogs.shown.size(), k.told ? 1u : 0u);
    EXPECT_TRUE(FlashChange().CalibrationChanged);
  }
}

}  // namespace
}  // namespace norv::test
