// The command language of the settings tree, checked through ExecCommandLine on a small
// tree registered by the test.

#include <gtest/gtest.h>

#include "framework/util/close_signal.h"
#include "support/settings_tree_fixture.h"

namespace norv::test {
namespace {

class InterpreterTest : public SettingsTreeTest {
 protected:
  void SetUp() override {
    SettingsTreeTest::SetUp();
    fitTo = RootSpider->AddRadioSw(0, "Acq:FitTo", "Multi,Single");
    acqMode = RootSpider->AddOnOff(false, "Acq:Mode");
    tbMode = RootSpider->AddRadioSw(0, "TB:Mode", "Normal,Delayed");
    RootSpider->AddOnOff(false, "TB:Trigger");
    hidden = RootSpider->AddOnOff(true, "TB:Hidden");
    hidden->SetDisabled(true);
    RootSpider->AddCheckSw(0b101, "TB:Channels", "A,B,C");
    RootSpider->AddRadioSw(1, "TB:Zoom", "Off,On");
    RootSpider->AddOnOff(false, "TB:Averaging");
    RootSpider->AddOnOff(true, "TB:Persistence");
    RootSpider->AddCheckSw(0b010, "X:Chk", "A,B,C");
    RootSpider->AddMainCommand("*Run", &running, "", "", [this](THandler&) { ++runs; });
    RootSpider->AddSignalSourceSw(0, "Trig:Source",
                                  "Ch1,Ch1B2,Ch2,Ch2B2,F1,F2,F3,F4,M1,M2,M3,M4,S1,S2,XY,DB,Hist,Const,None",
                                  1u << TraceIndex(TTraceId::Hist));
    shadow = RootSpider->AddRadioSw(0, "SHADOW:Acq:MenuSel", "One,Two");
    RootSpider->AddComplexObject("NOGPIB:DataBase", [this](std::string& text, bool, bool apply) {
      if (apply)
        database = text;
      else
        text = database;
    });
  }

  TRadioSwHandler* fitTo = nullptr;
  TOnOffHandler* acqMode = nullptr;
  TRadioSwHandler* tbMode = nullptr;
  TOnOffHandler* hidden = nullptr;
  TRadioSwHandler* shadow = nullptr;
  bool running = false;
  int runs = 0;
  std::string database = "state";
};

TEST_F(InterpreterTest, QueriesAnswerWithOrWithoutTheHeader) {
  EXPECT_EQ(Exec("ACQ:FITTO SINGLE"), "");
  EXPECT_EQ(Exec("acq:fitto?"), "ACQ:FITTO SINGLE");  // the path is matched upper-cased
  EXPECT_EQ(Exec("ACQ:FITTO multi"), "");             // keywords match in any case
  EXPECT_EQ(Exec("ACQ:FITTO XYZ"), "");               // unknown option: ignored, no answer
  EXPECT_EQ(fitTo->GetIndex(), 0);
  // A query may carry a parameter: applied first, then answered. With a blank before '?'
  // the '?' is a parameter of a set command.
  EXPECT_EQ(Exec("ACQ:FITTO? SINGLE"), "ACQ:FITTO SINGLE");
  EXPECT_EQ(Exec("ACQ:FITTO ?"), "");
  // Several replies are joined by ";" and CR LF; a trailing set command adds nothing.
  EXPECT_EQ(Exec("ACQ:FITTO?;:TB:MODE?;ZOOM OFF"), "ACQ:FITTO SINGLE;\r\nTB:MODE NORMAL");
  EXPECT_EQ(Exec("X:CHK:B?;:TRIG:SOURCE:ENABLED?"), "X:CHK:B ON;\r\nTRIG:SOURCE:ENABLED CH1,CH2,CONST");
  // Without the header every kind of reply is its bare value.
  EXPECT_EQ(Exec("HEADER OFF;HEADER?"), "OFF");
  EXPECT_EQ(Exec("ACQ:FITTO?;:TB:MODE?;ZOOM ON"), "SINGLE;NORMAL");
  EXPECT_EQ(Exec("X:CHK:B?;:TRIG:SOURCE:ENABLED?"), "ON;CH1,CH2,CONST");
  EXPECT_EQ(Exec("TB?"), "NORMAL;OFF;A,C;ON;OFF;ON");
  EXPECT_EQ(Exec("HEADER 1;HEADER?"), "HEADER ON");
}

TEST_F(InterpreterTest, RelativePathsContinueAtTheLastHandlersNode) {
  EXPECT_EQ(Exec("ACQ:FITTO SINGLE;MODE ON"), "");
  EXPECT_EQ(fitTo->GetIndex(), 1);
  EXPECT_TRUE(acqMode->IsOn());
  // TB is not below ACQ: a relative path fails, a ':' starts again at the root.
  EXPECT_EQ(Exec("ACQ:MODE OFF;TB:MODE DELAYED"), "ERROR");
  EXPECT_EQ(tbMode->GetIndex(), 0);
  EXPECT_EQ(Exec("ACQ:MODE OFF;:TB:MODE DELAYED;ZOOM OFF;MODE?"), "TB:MODE DELAYED");
  EXPECT_FALSE(acqMode->IsOn());
  // A failed command leaves the node where it was.
  EXPECT_EQ(Exec("ACQ:MODE ON;NOSUCH 1;FITTO MULTI;FITTO?"), "ERRORACQ:FITTO MULTI");
  // A line run by a command's action does not move the outer line.
  RootSpider->AddRightCommand("Acq:Recall",
                              [](THandler&) { RootSpider->ExecCommandLine("TB:MODE DELAYED", true); });
  EXPECT_EQ(Exec("ACQ:RECALL;FITTO?"), "ACQ:FITTO MULTI");
}

TEST_F(InterpreterTest, NamesMatchByLetterPartAndFifteenCharacters) {
  // Letter-only names accept extra letters; a digit ends the letter part.
  struct Case {
    const char* stored;
    const char* typed;
    int order;
  };
  const Case cases[] = {{"MODE", "MODEXYZ", 0}, {"MODEXYZ", "MODE", 0}, {"CH", "CHAN1", -1},
                        {"CHAN1", "CH", 1},     {"CH1", "CH12", -1},    {"CH1", "CH2", -1},
                        {"TB", "ACQ", 1}};
  for (const Case& c : cases)
    EXPECT_EQ(CompareMnemonics(c.stored, c.typed), c.order) << c.stored << " " << c.typed;
  EXPECT_EQ(Exec("ACQUIRE:FITTOMODE?"), "ACQ:FITTO MULTI");
  EXPECT_EQ(Exec("ACQ:FIT?;:AC:FITTO?"), "ERROR;\r\nERROR");
  auto* ch1 = RootSpider->AddOnOff(false, "Ch1:Mode");
  auto* ch12 = RootSpider->AddOnOff(false, "Ch12:Mode");
  auto* chan = RootSpider->AddOnOff(false, "Chan:Mode");
  EXPECT_EQ(RootSpider->FindHandler("CHANNEL:MODE"), chan);
  EXPECT_EQ(RootSpider->FindHandler("CH3:MODE"), nullptr);
  Exec("CH12:MODE ON");
  EXPECT_TRUE(ch12->IsOn() && !ch1->IsOn());

  // Segments are cut to 15 characters; a longer name is refused and leaves nothing behind.
  auto* longName = RootSpider->AddOnOff(false, "Meas:ABCDEFGHIJKLMNO");
  EXPECT_EQ(Exec("MEAS:ABCDEFGHIJKLMNOPQRST ON;ABCDEFGHIJKLMNOXYZ?"), "MEAS:ABCDEFGHIJKLMNO ON");
  EXPECT_TRUE(longName->IsOn());
  EXPECT_EQ(AssertionText([] { RootSpider->AddOnOff(false, "Meas:ABCDEFGHIJKLMNOP"); }),
            "ERROR!  Mnemonic too long");
  EXPECT_EQ(Exec("MEAS?"), "MEAS:ABCDEFGHIJKLMNO ON");
}

TEST_F(InterpreterTest, CommonCommandsLiveUnderTheStar) {
  EXPECT_EQ(Exec("*RUN"), "");
  EXPECT_EQ(Exec("*:RUN"), "ERROR");
  EXPECT_EQ(runs, 1);
  // A query of a Boolean command answers its state and runs nothing.
  running = false;
  EXPECT_EQ(Exec("*RUN?"), "*RUN OFF");
  EXPECT_FALSE(running);
  EXPECT_EQ(runs, 1);
}

TEST_F(InterpreterTest, NodeQueriesListTheEnabledItemsInRegistrationOrder) {
  // Names and values with a line break after every stretch of more than 32 characters;
  // the break may fall between a name and its value. TB:Hidden is disabled.
  EXPECT_EQ(Exec("TB?"),
            "TB:MODE NORMAL;TRIGGER OFF;CHANNELS A,C;\r\n"
            "ZOOM ON;AVERAGING OFF;PERSISTENCE\r\n ON");
  hidden->SetDisabled(false);
  EXPECT_EQ(Exec("TB?"),
            "TB:MODE NORMAL;TRIGGER OFF;HIDDEN ON;CHANNELS\r\n"
            " A,C;ZOOM ON;AVERAGING OFF;PERSISTENCE\r\n ON");
  EXPECT_EQ(Exec("TB 5;:TB;:TRIG:SOURCE:ENABLED"), "ERRORERRORERROR");
  // A subtree is listed with its own header.
  RootSpider->AddOnOff(false, "Meas:Top");
  RootSpider->AddOnOff(true, "Meas:Sub:Deep");
  RootSpider->AddOnOff(false, "Meas:Last");
  EXPECT_EQ(Exec("MEAS?"), "MEAS:TOP OFF;MEAS:SUB:DEEP ON;LAST OFF");
}

TEST_F(InterpreterTest, ShadowAndNoGpibItemsAreRefusedToCommands) {
  EXPECT_EQ(Exec("SHADOW:ACQ:MENUSEL?"), "ERROR");
  EXPECT_EQ(Exec("SHADOW:ACQ:MENUSEL TWO", true), "ERROR");
  EXPECT_EQ(shadow->GetIndex(), 0);
  EXPECT_EQ(RootSpider->FindHandler("Shadow:Acq:MenuSel"), shadow);  // controls still bind
  EXPECT_EQ(Exec("NOGPIB:DATABASE?"), "ERROR");
  EXPECT_EQ(Exec("NOGPIB:DATABASE other"), "ERROR");
  EXPECT_EQ(database, "state");
  // Setup and undo replays may reach them; free text keeps the case it was typed in.
  EXPECT_EQ(Exec("NOGPIB:DATABASE New Value", true), "");
  EXPECT_EQ(Exec("NOGPIB:DATABASE?", true), "NOGPIB:DATABASE New Value");
}

TEST_F(InterpreterTest, EmptyCommandsRaiseAfterTheCommandsBeforeThem) {
  EXPECT_EQ(Exec(""), "");
  EXPECT_EQ(AssertionText([] { Exec("ACQ:FITTO SINGLE;"); }), "ERROR!  Mnemonics is Absent");
  EXPECT_EQ(fitTo->GetIndex(), 1);
  EXPECT_THROW(Exec("   "), EAssertion);
  EXPECT_THROW(Exec("ACQ:MODE ON;;ACQ:MODE OFF"), EAssertion);
  EXPECT_TRUE(acqMode->IsOn());
}

// A close the system asked for while a line runs stops the line at its next command; a
// line of one command, and a setup or undo line, run whole.
TEST_F(InterpreterTest, ANotedCloseStopsALineAtItsNextCommand) {
  CloseSignalled = 1;
  EXPECT_EQ(AssertionText([] { Exec("*RUN;:*RUN;:*RUN"); }), kLineStoppedByClose);
  EXPECT_EQ(runs, 1);
  EXPECT_EQ(Exec("*RUN"), "");
  EXPECT_EQ(runs, 2);
  EXPECT_EQ(Exec("ACQ:MODE ON;:ACQ:MODE OFF;:TB:MODE DELAYED", true), "");
  EXPECT_FALSE(acqMode->IsOn());
  EXPECT_EQ(tbMode->GetIndex(), 1);
  CloseSignalled = 0;
  EXPECT_EQ(Exec("*RUN;:*RUN"), "");
  EXPECT_EQ(runs, 4);
}

TEST_F(InterpreterTest, FreeTextKeepsItsCaseAndAnEmptySetDoesNotReachTheOwner) {
  std::string seen = "untouched";
  RootSpider->AddGpibString("Save:File",
                            [&](const std::string& param, bool isQuery, uint8_t, std::string& reply) {
                              seen = param;
                              if (isQuery) reply = " " + param;
                            });
  EXPECT_EQ(Exec("SAVE:FILE"), "");
  EXPECT_EQ(seen, "untouched");
  EXPECT_EQ(Exec("save:file Scope Shot.PNG  "), "");
  EXPECT_EQ(seen, "Scope Shot.PNG");
  EXPECT_EQ(Exec("SAVE:FILE? a.b"), "SAVE:FILE a.b");
}

TEST_F(SettingsTreeTest, QuestionMarksEndAPathOnlyAfterANameInItsSegment) {
  // Free-text items that show what reached them: Q or S for a query or a set, and the
  // parameter.
  const auto echo = [](const std::string& param, bool isQuery, uint8_t, std::string& reply) {
    reply = (isQuery ? "Q[" : "S[") + param + "]";
  };
  RootSpider->AddGpibString("Echo", echo);
  RootSpider->AddGpibString("Mark:???", echo);
  RootSpider->AddGpibString("Old:???:Echo", echo);
  const std::pair<const char*, const char*> cases[] = {
      {"ECHO?", "ECHOQ[]"},
      {"ECHO??", "ECHOQ[?]"},
      {"ECHO?A?", "ECHOQ[A?]"},
      {"ECHO ?", "S[?]"},
      {"ECHO\t?", "S[?]"},
      // Marks that open a segment are its name.
      {"MARK:??? x", "S[x]"},
      {"MARK:???? x", "S[x]"},
      {"MARK:???", ""},
      {"MARK:???X?", "MARK:???Q[]"},
      {"MARK:?", "ERROR"},
      {"?", "ERROR"},
      {"????????", "ERROR"},
      {":?ECHO?", "ERROR"},
      {"OLD:???:ECHO?", "OLD:???:ECHOQ[]"},
      {"OLD:??X:ECHO?", "ERROR"},
      {"OLD:???", "ERROR"},
      // Below an item the rest of the path goes before the parameter.
      {"OLD:???:ECHO:?", "S[?]"},
      {"OLD:???:ECHO:??", "S[??]"},
      {"OLD:???:ECHO:A?", "OLD:???:ECHOQ[A]"},
      {"OLD:???:ECHO:A?B", "OLD:???:ECHOQ[A B]"},
      {"ECHO?;MARK:???? y;:OLD:???:ECHO? z", "ECHOQ[];\r\nS[y]OLD:???:ECHOQ[z]"},
  };
  for (const auto& [line, reply] : cases) EXPECT_EQ(Exec(line), reply) << line;
}

TEST_F(SettingsTreeTest, RegistrationMarksInternalPathsAndRefusesConflicts) {
  EXPECT_TRUE(HeaderHandler->IsInternal());
  for (const char* path : {"*Cls", "Shadow:X", "flash:X", "INSTR:X"})
    EXPECT_TRUE(RootSpider->AddOnOff(false, path)->IsInternal()) << path;
  EXPECT_FALSE(RootSpider->AddOnOff(false, "Acq:Shadow:X")->IsInternal());
  RootSpider->AddRadioSw(0, "Acq:FitTo", "Multi,Single");
  EXPECT_EQ(AssertionText([] { RootSpider->AddRadioSw(0, "Acq:FitTo", "Multi,Single"); }),
            "ERROR!  Command Acq:FitTo Repeated");
  EXPECT_EQ(AssertionText([] { RootSpider->AddOnOff(false, "Acq:Fit"); }),
            "New Mnemonik Acq:Fit is shorter than Old");
}

}  // namespace
}  // namespace norv::test
