// The generator's settings as the instrument sees them: the command lines each mode
// change sends (counts worked out by hand from the 8 ns step), nothing without the
// generators option (whose client commands are refused), the trigger that the generator takes over, the
// limits and enabling that follow the period, the output texts and the zero constants the instrument answers.

#include "tdr_mask/generator_settings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/program_units.h"
#include "framework/settings/choice_handlers.h"
#include "framework/settings/numeric_handlers.h"
#include "instrument/link/instrument_identity.h"
#include "instrument/link/link_state.h"
#include "instrument/settings/trigger_settings.h"
#include "instrument/startup/program_folders.h"
#include "support/assertion_text.h"
#include "support/every_unit.h"
#include "support/fake_settings_link.h"
#include "support/settings_tree_fixture.h"

namespace norv::test {
namespace {

using Lines = std::vector<std::string>;

class GeneratorTest : public SettingsTreeTest {
 protected:
  void SetUp() override {
    SettingsTreeTest::SetUp();
    InitDataFolders();
    RegisterEveryUnit();
    InstallProgramUnits();
    Exec("Header Off");
  }
  void TearDown() override {
    InstrumentIdentity = {};
    LinkKind = TLinkKind::None;
    SettingsTreeTest::TearDown();
  }
  static void GiveOption(bool on) {
    InstrumentIdentity.ModelCode = 1;
    InstrumentIdentity.Options = on ? OptGenerators : 0;
  }
  Lines GenLines() const { return link.TextsStartingWith("Gen:"); }
  static TEditHandler& Edit(const std::string& path) {
    return dynamic_cast<TEditHandler&>(*RootSpider->FindHandler(path));
  }
  static bool Disabled(const std::string& path) { return RootSpider->FindHandler(path)->IsDisabled(); }

  FakeSettingsLink link;
};

TEST_F(GeneratorTest, EachModeSendsItsCommandsOnlyWithTheOption) {
  struct Case {
    const char* name;
    std::vector<const char*> before;  // set in mode Off
    const char* mode;
    Lines sent;
    bool pulseOrPattern, triggerSourceFree;
  };
  const std::vector<Case> cases = {
      // Step is sent as TDRTDT; a steps delay below 2 is raised to 2.
      {"step", {"Gen:StepsDelay MIN"}, "Step", {"Gen:Mode TDRTDT", "Gen:StepDly 2"}, false, true},
      {"coarse", {}, "CoarseTB", {"Gen:Mode CoarseTB"}, false, true},
      // 32 ns: n = 4, period 2; width 16 ns is 2 steps, sent as 1.
      {"pulse 32 ns", {}, "Pulse", {"Gen:Mode Pulse", "Gen:Period 2", "Gen:Width 1"}, true, false},
      // The shortest period (one step) is sent as the smallest count 0, not -1.
      {"pulse 8 ns",
       {"Gen:PulsePeriod 8n"},
       "Pulse",
       {"Gen:Mode Pulse", "Gen:Period 0", "Gen:Width 1"},
       true,
       false},
      {"nrz 8 ns", {}, "NRZ", {"Gen:Mode NRZ", "Gen:Period 0", "Gen:Width 1"}, true, false},
      {"nrz 80 ns",
       {"Gen:NrzClock 80n"},
       "NRZ",
       {"Gen:Mode NRZ", "Gen:Period 8", "Gen:Width 1"},
       true,
       false},
      // 64 ns: n = 8, period 6, width 8 / 2 - 1.
      {"rz 64 ns", {"Gen:RzClock 64n"}, "RZ", {"Gen:Mode RZ", "Gen:Period 6", "Gen:Width 3"}, true, false},
  };
  for (const bool option : {true, false}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.name) + (option ? " with option" : " without option"));
      ResetAll();
      RegisterEveryUnit();
      InstallProgramUnits();
      GiveOption(option);
      // Without the option a client's command is refused; a setup still sets it.
      for (const char* line : c.before) Exec(line, !option);
      link.Clear();
      const std::string mode = std::string("Gen:Mode ") + c.mode;
      if (!option) {
        EXPECT_EQ(AssertionText([&] { Exec(mode); }), "The instrument has no Generators option");
      }
      Exec(mode, !option);
      EXPECT_EQ(GenLines(), option ? c.sent : Lines{});
      EXPECT_EQ(IsGeneratorPulseOrPattern(), option && c.pulseOrPattern);
      const TTriggerSettingsState& trig = TriggerSettings();
      const bool free = !option || c.triggerSourceFree;
      EXPECT_EQ(trig.Source->IsDisabled(), !free);
      // The generator clocks the instrument in the pulse and pattern modes; in Step and
      // CoarseTB it triggers internally and the internal rate is the user's again.
      if (option) {
        EXPECT_EQ(trig.IntRate->IsDisabled(), c.pulseOrPattern);
      }
      if (option && c.triggerSourceFree) {
        EXPECT_EQ(TriggerSourceIndex(), TrigSourceIntClock);
      }
    }
  }
}

TEST_F(GeneratorTest, ThePeriodLimitsWidthAndDelayAndTheirEnabling) {
  GiveOption(true);
  Exec("Gen:PulseWidth 100n;:Gen:Delay 200n");
  Exec("Gen:Mode Pulse");  // 32 ns: both limited to 16 ns and pulled down to it
  for (const char* path : {"Gen:PulseWidth", "Gen:Delay"}) {
    EXPECT_NEAR(Edit(path).GetMax(), 16e-9, 1e-15) << path;
    EXPECT_NEAR(Edit(path).GetValue(), 16e-9, 1e-15) << path;
  }
  EXPECT_TRUE(Disabled("Gen:PulseWidth"));  // n = 4 < 5
  EXPECT_FALSE(Disabled("Gen:Delay"));
  Exec("Gen:PulsePeriod 24n");  // n = 3: too short for a delay
  EXPECT_TRUE(Disabled("Gen:Delay"));
  Exec("Gen:NrzClock 80n;:Gen:Mode NRZ");
  EXPECT_NEAR(Edit("Gen:Delay").GetMax(), 64e-9, 1e-15);  // (10 - 2) steps
  EXPECT_FALSE(Disabled("Gen:Length"));
  link.Clear();
  Exec("Gen:TrigPRBS Pattern");
  EXPECT_TRUE(Disabled("Gen:Delay"));
  EXPECT_EQ(GenLines(), (Lines{"Gen:Trigger Pattern"}));
}

TEST_F(GeneratorTest, OutputsSendTheirCommandsAndShowTheirUnits) {
  GiveOption(true);
  struct Text {
    const char* path;
    const char* typed;
    const char* sent;
    const char* shown;
  };
  for (const Text& t : {Text{"Gen:Out1:Offset", "4", "Gen:Out1:Offset? 52428", "4 V"},
                        Text{"Gen:Out1:Offset", "114.4m", "Gen:Out1:Offset? 1499", "114.4 mV"},
                        Text{"Gen:Out2:Deskew", "100", "Gen:Out2:Deskew 52428", "100 %"},
                        Text{"Gen:Out2:Deskew", "50", "Gen:Out2:Deskew 26864", "50 %"},
                        Text{"Gen:Out2:Deskew", "0", "Gen:Out2:Deskew 1300", " 0 %"}}) {
    SCOPED_TRACE(std::string(t.path) + " " + t.typed);
    link.Clear();
    Exec(std::string(t.path) + " " + t.typed);
    EXPECT_EQ(GenLines(), (Lines{t.sent}));
    EXPECT_EQ(Exec(std::string(t.path) + "?"), t.shown);
  }
  link.Clear();
  Exec("Gen:Out2:Polarity Neg");
  Exec("Gen:Out1:ModeOffset Var");
  EXPECT_FALSE(Disabled("Gen:Out1:Offset"));
  EXPECT_TRUE(Disabled("FLASH:Gen:Out1:PositiveZero"));
  Exec("Gen:Out1:ModeOffset Neg");
  EXPECT_TRUE(Disabled("Gen:Out1:Offset"));
  EXPECT_FALSE(Disabled("FLASH:Gen:Out1:NegativeZero"));
  Exec("Gen:Out1:ModeOffset Pos");
  EXPECT_FALSE(Disabled("FLASH:Gen:Out1:PositiveZero"));
  EXPECT_EQ(GenLines(), (Lines{"Gen:Out2:Polarity Neg", "Gen:Out1:OfsMode Var", "Gen:Out1:OfsMode Neg",
                               "Gen:Out1:OfsMode Pos,"}));
}

TEST_F(GeneratorTest, AZeroConstantTakesTheInstrumentsAnswerButNotItsSilence) {
  GiveOption(true);
  int marks = 0;
  GeneratorHooks.SetCalibrationChanged.Set([&] { ++marks; });
  std::string reply = "1234";
  link.Reply = [&](const std::string&) { return reply; };
  Exec("FLASH:Gen:Out2:NegativeZero 1000");  // the demo instrument is not asked
  EXPECT_TRUE(link.Lines.empty());
  LinkKind = TLinkKind::LAN;
  Exec("FLASH:Gen:Out2:NegativeZero 1001");
  EXPECT_EQ(Edit("FLASH:Gen:Out2:NegativeZero").GetValue(), 1234);
  int value = 700;
  for (const char* silent : {"Timeout", "12x", ""}) {
    SCOPED_TRACE(silent);
    reply = silent;
    link.Clear();
    const std::string v = std::to_string(++value);
    Exec("FLASH:Gen:Out1:PositiveZero " + v);
    EXPECT_EQ(Edit("FLASH:Gen:Out1:PositiveZero").GetValue(), value);
    EXPECT_EQ(link.Texts(), (Lines{"Gen:Out1:PosZero? " + v}));
  }
  EXPECT_EQ(marks, 6);  // every change, the answer taken over included
}

TEST_F(GeneratorTest, TheApplyPassSendsEverySettingWithTheOption) {
  GiveOption(true);
  link.Clear();
  ApplyEveryUnit();
  const Lines out1 = {"Gen:Out1:Polarity Pos", "Gen:Out1:Deskew 26864", "Gen:Out1:OfsMode Pos,",
                      "Gen:Out1:Offset? 1500"};
  Lines expected = {"Gen:Mode Off", "Gen:StepDly 3",     "Gen:Delay 0",
                    "Gen:Width 1",  "Gen:Length p2e7m1", "Gen:Trigger Clock"};
  for (const std::string& line : out1) expected.push_back(line);
  for (std::string line : out1) expected.push_back(line.replace(7, 1, "2"));
  EXPECT_EQ(GenLines(), expected);
  GiveOption(false);
  link.Clear();
  ApplyEveryUnit();
  EXPECT_EQ(GenLines(), Lines{});
}

}  // namespace
}  // namespace norv::test
