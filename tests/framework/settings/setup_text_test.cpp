// Setup text: the settings dumped as command lines and played back into a fresh tree.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "framework/settings/numeric_handlers.h"
#include "support/fake_dialogs.h"
#include "support/settings_tree_fixture.h"

namespace norv::test {
namespace {

using TLines = std::vector<std::string>;

class SetupTextTest : public SettingsTreeTest {
 protected:
  void SetUp() override {
    SettingsTreeTest::SetUp();
    Register();
  }
  // One item of every kind, in the order a feature unit would register them, plus items
  // that never belong in a setup.
  void Register() {
    fitTo = RootSpider->AddRadioSw(0, "Acq:FitTo", "Multi,Single");
    RootSpider->AddMainCommand("*Run", &running, "", "", [](THandler&) {});
    scale = RootSpider->AddDoubleEdit("TB:ScaleA", 18, 1e-8, "s", vfEngineering, 6, 1e-11, 1e-8, 1, sr1_2_5,
                                      0, srRelative, 0.001, 1e-15);
    // Registered after TB, but it joins the Acq node, whose lines come first.
    nacq = RootSpider->AddIntEdit(32, "Acq:NAcq", 18, "", vfGeneral, 0, 1, 32, 65535, srPowerOfTwo, 0,
                                  srQuantised, 1);
    RootSpider->AddRightCommand("Acq:Clear", [](THandler&) {});
    show = RootSpider->AddCheckSw(0b101, "Meas:Show", "Amp,Rise,Fall");
    grid = RootSpider->AddOnOff(true, "Displ:Grid");
    RootSpider->AddComplexObject("Mask:Shape", [this](std::string& text, bool, bool apply) {
      if (apply)
        shape = text;
      else
        text = shape;
    });
    RootSpider->AddGpibString("Util:Echo",
                              [](const std::string& p, bool, uint8_t, std::string& r) { r = p; });
    RootSpider->AddRadioSw(0, "SHADOW:Acq:MenuSel", "A,B");
    RootSpider->AddIntEdit(5, "FLASH:Cal:Gain", 18, "", vfGeneral, 0, 0, 5, 10, srLinear, 1, srNone, 0);
    RootSpider->AddOnOff(false, "INSTR:Locked");
  }

  static TLines Dump() {
    TLines lines;
    RootSpider->DumpSettings(lines);
    return lines;
  }

  TRadioSwHandler* fitTo = nullptr;
  TDoubleEditHandler* scale = nullptr;
  TIntEditHandler* nacq = nullptr;
  TCheckSwHandler* show = nullptr;
  TOnOffHandler* grid = nullptr;
  bool running = false;
  std::string shape = "0,0 1,1";
};

// Loading a dump back, the second pass of a load included, is swept over every unit's
// settings in the settings sweep; here the lines themselves.
TEST_F(SetupTextTest, OneLinePerSettingInNodeOrder) {
  Exec("HEADER OFF");  // replies without headers give the same lines
  EXPECT_EQ(Dump(), (TLines{"ACQ:FITTO MULTI", "ACQ:NACQ 32 ", "TB:SCALEA 10 n(s)", "MEAS:SHOW AMP,FALL",
                            "DISPL:GRID ON", "MASK:SHAPE 0,0 1,1"}));
}

TEST_F(SetupTextTest, DeeperNodesNameEveryLevelAndHandBackToTheirParent) {
  Exec("HEADER OFF");
  RootSpider->AddOnOff(true, "Ch1:Atten:Auto");
  RootSpider->AddIntEdit(10, "Ch1:Atten:Ratio", 18, "", vfGeneral, 0, 1, 10, 100, srLinear, 1, srNone, 0);
  RootSpider->AddOnOff(false, "Ch1:Band");  // after the deeper node, on the level above
  RootSpider->AddOnOff(true, "Ch1:Atten:Probe:Sense");
  const TLines dump = Dump();
  EXPECT_EQ(TLines(dump.end() - 4, dump.end()),
            (TLines{"CH1:ATTEN:AUTO ON", "CH1:ATTEN:RATIO 10 ", "CH1:ATTEN:PROBE:SENSE ON", "CH1:BAND OFF"}));
}

TEST_F(SetupTextTest, AnItemAQueryAddsIsDumpedToo) {
  Exec("HEADER OFF");
  // Its query registers an item that sorts before it in the node.
  bool added = false;
  RootSpider->AddComplexObject("Late:B", [&](std::string& text, bool, bool apply) {
    if (!apply && !added) RootSpider->AddOnOff(true, "Late:A");
    added = true;
    text = "1";
  });
  const TLines dump = Dump();
  EXPECT_EQ(TLines(dump.end() - 2, dump.end()), (TLines{"LATE:B 1", "LATE:A ON"}));
}

TEST_F(SetupTextTest, LoadSkipsBadLinesAndKeepsTheRest) {
  const TLines lines{"NOPE:X 5",
                     ";ACQ:NACQ 64",
                     "",
                     "   \r",
                     "ACQ:FITTO SINGLE\r",
                     "ACQ:NACQ 128 \r",
                     "TB:SCALEA 4.7 \xB5(s)",
                     "MEAS:SHOW RISE"};
  const TLines refused = RootSpider->LoadSettings(lines);
  EXPECT_EQ(refused, (TLines{"NOPE:X 5", ";ACQ:NACQ 64"}));
  EXPECT_EQ(fitTo->GetIndex(), 1);
  EXPECT_EQ(nacq->Value(), 128);
  EXPECT_DOUBLE_EQ(scale->Value(), 4.7e-6);
  EXPECT_EQ(show->GetMask(), 0b010u);
}

// Setups are files users exchange: a line that reaches anything but a setting the dump
// writes runs nothing, however it is spelt, and the user is told which lines went.
TEST_F(SetupTextTest, ASetupSetsSettingsAndRunsNothingElse) {
  int actions = 0;
  RootSpider->AddRightCommand("Acq:Store", [&](THandler&) { ++actions; });
  RootSpider->AddMainCommand("*Clear", nullptr, "", "", [&](THandler&) { ++actions; });
  RootSpider->AddGpibString("Util:Do", [&](const std::string&, bool, uint8_t, std::string&) { ++actions; });
  auto* gain = static_cast<TIntEditHandler*>(RootSpider->FindHandler("FLASH:Cal:Gain"));
  auto* menu = static_cast<TRadioSwHandler*>(RootSpider->FindHandler("SHADOW:Acq:MenuSel"));
  auto* locked = static_cast<TOnOffHandler*>(RootSpider->FindHandler("INSTR:Locked"));
  const TLines forbidden = {"FLASH:CAL:GAIN 9", "ACQ:STORE", "*RUN", "*CLEAR", "UTIL:DO anything",
                            "UTIL?",  // a listing queries the free-text command
                            "SHADOW:ACQ:MENUSEL B", "instr:locked on", "HEADER OFF",
                            // The commands of a line are judged one by one, relative paths
                            // where they lead.
                            "ACQ:NACQ 64;STORE;:TB:SCALEA 2U", ":ACQ:FITTO SINGLE;:UTIL:ECHO x;DO y"};
  TLines setup = forbidden;
  setup.insert(setup.begin() + 4, "MEAS:SHOW RISE");
  FakeDialogs dialogs;
  EXPECT_EQ(RootSpider->LoadSettings(setup), forbidden);
  EXPECT_EQ(fitTo->GetIndex(), 1);
  EXPECT_EQ(nacq->Value(), 64);
  EXPECT_DOUBLE_EQ(scale->Value(), 2e-6);
  EXPECT_EQ(show->GetMask(), 0b010u);
  EXPECT_EQ(actions, 0);
  EXPECT_FALSE(running);
  EXPECT_EQ(gain->Value(), 5);
  EXPECT_EQ(menu->GetIndex(), 0);
  EXPECT_FALSE(locked->IsOn());
  EXPECT_EQ(Exec("ACQ:FITTO?"), "ACQ:FITTO SINGLE") << "Header was switched off";
  std::string message = "[warning] These lines set no setting and were skipped:";
  for (size_t i = 0; i < 10; ++i) message += "\n" + forbidden[i];
  EXPECT_EQ(dialogs.shown, TLines{message + "\n... and 1 more"});

  // Long lines are cut at a character's start.
  dialogs.shown.clear();
  const std::string longLine = "UTIL:DO " + std::string(71, 'x') + "\xC2\xB5" + std::string(40, 'y');
  RootSpider->LoadSettings({longLine});
  EXPECT_EQ(dialogs.shown, TLines{"[warning] These lines set no setting and were skipped:\n" +
                                  longLine.substr(0, 79) + "..."});
}

TEST_F(SetupTextTest, FilesWithEitherLineEndAndOldEncodingsLoadTheSame) {
  Exec("ACQ:FITTO SINGLE;NACQ 1000;:TB:SCALEA 4.7U");
  const TLines written = Dump();
  const std::string lf = SetupFileTextFromLines(written);
  std::string crlf;
  for (const char c : lf) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  // An older file in the 8-bit code page: the micro sign is the single byte 0xB5.
  std::string ansi = crlf;
  ansi.replace(ansi.find("\xC2\xB5"), 2, "\xB5");
  // One line in the old code page among UTF-8 ones is read alone in it.
  const std::string mixed = lf + "UTIL:ECHO caf\xE9\n";
  // UTF-16 little-endian with its byte-order mark (the text is ASCII but for the micro sign).
  std::string utf16 = "\xFF\xFE";
  for (const char c : ansi) utf16 += {c, '\0'};
  for (const std::string& file : {lf, crlf, ansi, mixed, utf16}) {
    TLines lines = SetupLinesFromFileText(file);
    if (file == mixed) {
      ASSERT_EQ(lines.back(), "UTIL:ECHO caf\xC3\xA9");
      lines.pop_back();
    }
    EXPECT_EQ(lines, written);
    CreateRootSpider();
    Register();
    // The free-text command is no setting: given back, not run.
    EXPECT_EQ(RootSpider->LoadSettings(SetupLinesFromFileText(file)),
              file == mixed ? TLines{"UTIL:ECHO caf\xC3\xA9"} : TLines{});
    EXPECT_EQ(Dump(), written);
  }
  // Written files are UTF-8 throughout, whatever the lines hold.
  EXPECT_EQ(SetupFileTextFromLines({"TB:SCALEA 4.7 \xB5(s)", "A caf\xC3\xA9"}),
            "TB:SCALEA 4.7 \xC2\xB5(s)\nA caf\xC3\xA9\n");
}

TEST_F(SetupTextTest, AComplexStateComesBackWhateverItHolds) {
  for (const std::string state : {"a;:*RUN", " lead", "trail ", "two\r\nlines", "50% \"q\"", "\"%41\"",
                                  "caf\xE9", "tab\tx\x7F", "", "2,2 \xC2\xB5"}) {
    shape = state;
    const TLines written = Dump();
    CreateRootSpider();
    Register();
    shape = "other";
    EXPECT_EQ(RootSpider->LoadSettings(SetupLinesFromFileText(SetupFileTextFromLines(written))), TLines{});
    EXPECT_EQ(shape, state);
    EXPECT_FALSE(running) << state;  // no part of the state ran as a command
  }
  // States that need nothing special are written as they are, and lines of older setups
  // (a '%' or a quote in the text) still load as written.
  shape = "2,2 \xC2\xB5";
  EXPECT_EQ(Dump()[5], "MASK:SHAPE 2,2 \xC2\xB5");
  for (const std::string old : {"5% off", "\"%4G\"", "\"a\"b\"", "say \"hi\""}) {
    RootSpider->LoadSettings({"MASK:SHAPE " + old});
    EXPECT_EQ(shape, old);
  }
}

TEST_F(SetupTextTest, LoadRunsAsOneBatchOfReplayChanges) {
  int loaded = 0;
  bool batchDuringLoad = false;
  OnSettingsLoaded.Set([&] {
    ++loaded;
    batchDuringLoad = SettingsBatchActive;
  });
  int batchEnds = 0;
  OnSettingsBatchEnd.Set([&] { ++batchEnds; });
  std::vector<TWhoChanged> origins;
  nacq->OnChange = [&](THandler& h) {
    origins.push_back(h.GetWhoChanged());
    SettingsBatchDeferred = true;  // costly follow-up work waits for the end
  };
  nacq->SetOnBeforeSet([](double& value, TEditHandler&) { value = 1; });

  RootSpider->LoadSettings({"ACQ:NACQ 64", "ACQ:NACQ 256"});
  EXPECT_EQ(nacq->Value(), 256);  // no OnBeforeSet on replay
  EXPECT_TRUE(batchDuringLoad);
  EXPECT_EQ(origins, (std::vector<TWhoChanged>{wcvReplay, wcvReplay, wcvReplay, wcvReplay}));
  // An empty setup still tells the instrument side and ends the batch.
  EXPECT_EQ(RootSpider->LoadSettings({}), TLines{});
  EXPECT_EQ(loaded, 2);
  EXPECT_EQ(batchEnds, 1);  // the deferred work of the first load, none for the empty one
  EXPECT_FALSE(SettingsBatchActive);
}

// Whatever the order of the lines: a later line's callback that moves an earlier line's
// setting by program, or that narrows its range just as the line is replayed, does not keep
// it from the value the setup holds.
TEST_F(SetupTextTest, EveryLineKeepsItsValueWhateverTheOtherLinesCallbacksDo) {
  fitTo->OnChange = [&](THandler&) { nacq->SetValueByProgram(1); };
  grid->OnChange = [&](THandler&) { fitTo->SetIndexByProgram(0); };
  auto* low = RootSpider->AddDoubleEdit({.Path = "Lim:Low", .Value = -1, .Min = -1, .Max = 1});
  auto* high = RootSpider->AddDoubleEdit({.Path = "Lim:High", .Value = -1, .Min = -1, .Max = 1});
  low->OnChange = [&](THandler&) { high->SetMin(low->GetFloatValue()); };
  high->OnChange = [&](THandler&) { low->SetMax(high->GetFloatValue()); };
  show->OnChange = [&](THandler&) {  // starts both limits afresh
    low->SetValueByProgram(-1);
    high->SetValueByProgram(-1);
  };
  // As the dump writes them.
  for (TLines lines : {TLines{"ACQ:NACQ 64 ", "ACQ:FITTO SINGLE", "DISPL:GRID OFF"},
                       TLines{"LIM:LOW -500 m", "LIM:HIGH 500 m", "MEAS:SHOW AMP"}}) {
    for (bool reversed : {false, true}) {
      grid->SetOnByProgram(true);
      nacq->SetValueByProgram(32);
      show->SetMaskByProgram(0b101);
      if (reversed) std::reverse(lines.begin(), lines.end());
      EXPECT_EQ(RootSpider->LoadSettings(lines), TLines{});
      const TLines dump = Dump();
      for (const std::string& line : lines)
        EXPECT_TRUE(std::find(dump.begin(), dump.end(), line) != dump.end())
            << line << (reversed ? ", reversed" : "");
    }
  }
}

TEST_F(SetupTextTest, LoadJoinsTheOpenUndoStep) {
  StartUndo();
  Exec("ACQ:NACQ 8");
  RootSpider->LoadSettings({"ACQ:FITTO SINGLE", "ACQ:NACQ 16"});
  // The replay joins the open step: one undo brings back both items' values of before.
  ReplayUndoStep(false);
  EXPECT_EQ(fitTo->GetIndex(), 0);
  EXPECT_EQ(nacq->Value(), 32);
}

}  // namespace
}  // namespace norv::test
