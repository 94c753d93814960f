#include "shell/main_commands.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "framework/settings/choice_handlers.h"
#include "framework/util/errors.h"
#include "instrument/acquisition/acquisition_state.h"
#include "shell/program_shell.h"
#include "shell/remote/remote_control.h"
#include "shell/setup_files.h"
#include "shell/shell_fixture.h"
#include "support/assertion_text.h"

namespace norv {
namespace {

class MainCommandsTest : public test::ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    ShellHooks.CopyPicture.Set([this](int item) { copied.push_back(item); });
    ShellHooks.PrintWindow.Set([this] { ++printed; });
    ASSERT_TRUE(StartWithInstrument(true));
    ExecCommand("Header Off");
  }
  std::vector<int> copied;
  int printed = 0;
};

TEST_F(MainCommandsTest, UnknownItemNamesAreErrorsAndRunNothing) {
  for (const char* line : {"*Undo Redoo", "*Copy Everything", "*StopSingle Go", "*DefSetup Nothing",
                           "*Copy? FullScreen", "*ClrDispl X"}) {
    EXPECT_THROW(ExecCommand(line), EAssertion) << line;
  }
  EXPECT_TRUE(copied.empty());
  EXPECT_TRUE(RunFlag) << "a refused \"*StopSingle\" stopped the run";
  // Stopped, "*Run Off" starts nothing and names the way to stop.
  ExecCommand("*StopSingle Stop");
  EXPECT_NE(test::AssertionText([] { ExecCommand("*Run Off"); }).find("\"*StopSingle Stop\""),
            std::string::npos);
  EXPECT_FALSE(RunFlag);
  // Item names in any letter case are known.
  ExecCommand("*Copy invscopescr");
  EXPECT_EQ(copied, std::vector<int>{kCopyInvScopeScr});
}

TEST_F(MainCommandsTest, CopyWithoutItemTakesTheLastChosenOne) {
  MainCommands.Copy->SetBySwitcher(-1);  // F11 before any choice: the full window
  ExecCommand("*Copy ScopeScreen");
  MainCommands.Copy->SetBySwitcher(-1);
  ExecCommand("*Copy");
  EXPECT_EQ(copied,
            (std::vector<int>{kCopyFullWindow, kCopyScopeScreen, kCopyScopeScreen, kCopyScopeScreen}));
}

TEST_F(MainCommandsTest, PrintAsksTheUserButNotARemoteClient) {
  dialogs.answers = {TAnswer::No, TAnswer::Yes};
  MainCommands.Print->SetBySwitcher(0);
  EXPECT_EQ(printed, 0);
  MainCommands.Print->SetBySwitcher(0);
  EXPECT_EQ(printed, 1);
  ExecCommand("*Print Print");
  EXPECT_EQ(printed, 2);
  EXPECT_EQ(dialogs.shown.size(), 2u);
}

TEST_F(MainCommandsTest, RunStopAndSingle) {
  ExecCommand("*StopSingle Single");
  EXPECT_FALSE(RunFlag) << "Single leaves Run on";
  EXPECT_TRUE(SingleFlag);
  ExecCommand("*Run");
  EXPECT_TRUE(RunFlag);
  EXPECT_FALSE(SingleFlag) << "Run leaves a Single pending";
  ExecCommand("*StopSingle Stop");
  EXPECT_FALSE(RunFlag || SingleFlag);
  EXPECT_TRUE(ShellIdleStep()) << "stopped, the loop may sleep";
  ExecCommand("*Run");
  EXPECT_FALSE(ShellIdleStep());
  CommFailure = true;
  EXPECT_TRUE(ShellIdleStep()) << "a link failure stops the busy loop";
}

TEST_F(MainCommandsTest, UndoAndRedoWalkTheSteps) {
  for (const char* scale : {"20N", "50N", "100N"}) ExecCommand(std::string("TB:ScaleA ") + scale);
  ExecCommand("*Undo");
  ExecCommand("*Undo Undo");
  EXPECT_EQ(ExecCommand("TB:ScaleA?"), "20 ns/div");
  ExecCommand("*Undo Redo");
  EXPECT_EQ(ExecCommand("TB:ScaleA?"), "50 ns/div");
  // Undo on an empty side does nothing.
  for (int i = 0; i < 5; ++i) ExecCommand("*Undo");
  EXPECT_EQ(ExecCommand("TB:ScaleA?"), "10 ns/div");
}

TEST_F(MainCommandsTest, FactoryDefaultComesBackAndGoesAgainInOneUndoStep) {
  TakeFactoryDefaultSetup();
  ExecCommand("TB:ScaleA 50N");
  ExecCommand("Ch1:Scale 0.5");
  ExecCommand("*DefSetup Factory");
  EXPECT_EQ(ExecCommand("TB:ScaleA?"), "10 ns/div");
  EXPECT_EQ(ExecCommand("Ch1:Scale?"), "200 mV/div");
  ExecCommand("*Undo");
  EXPECT_EQ(ExecCommand("TB:ScaleA?"), "50 ns/div");
  EXPECT_EQ(ExecCommand("Ch1:Scale?"), "500 mV/div");
}

TEST_F(MainCommandsTest, DefaultRecallsTheFactorySetupUntilTheUserSavesADefault) {
  // A start on a new program folder, the factory setup taken first as the program does.
  Restart();
  TakeFactoryDefaultSetup();
  ASSERT_TRUE(StartWithInstrument(true));
  ExecCommand("Header Off");
  EXPECT_EQ(ExecCommand("TB:ScaleA?"), "10 ns/div");
  ExecCommand("TB:ScaleA 50N");
  ExecCommand("*DefSetup Default");
  EXPECT_EQ(ExecCommand("TB:ScaleA?"), "10 ns/div");
  EXPECT_TRUE(dialogs.shown.empty()) << dialogs.shown.front();

  // The user's own default is what the next start recalls, not replaced by the factory's.
  ExecCommand("TB:ScaleA 20N");
  ExecCommand("*DefSetup SaveAsDef");
  Restart();
  TakeFactoryDefaultSetup();
  ASSERT_TRUE(StartWithInstrument(true));
  ExecCommand("Header Off");
  EXPECT_EQ(ExecCommand("TB:ScaleA?"), "20 ns/div");
}

// A query of "*DefSetup" answers the item last chosen and runs nothing: the default setup
// file and the settings stay as they were.
TEST_F(MainCommandsTest, DefSetupQueryAnswersItsItemAndRunsNothing) {
  TakeFactoryDefaultSetup();
  ExecCommand("TB:ScaleA 50N");
  ASSERT_TRUE(SaveSetup(TSetupKind::PowerOff, false));
  const auto bytes = [] {
    std::ifstream in(SetupFilePath(TSetupKind::Default), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  };
  for (const std::string item : {"SaveAsDef", "Default", "Factory", "PowerOff"}) {
    ExecCommand("TB:ScaleA 20N");
    ExecCommand("*DefSetup " + item);
    ExecCommand("TB:ScaleA 5N");
    const std::string kept = bytes();
    ASSERT_FALSE(kept.empty());
    EXPECT_EQ(ExecCommand("*DefSetup?"), item);
    EXPECT_TRUE(bytes() == kept) << item;
    EXPECT_EQ(ExecCommand("TB:ScaleA?"), "5 ns/div") << item;
  }
  EXPECT_THROW(ExecCommand("*DefSetup? Factory"), EAssertion);
  EXPECT_EQ(ExecCommand("TB:ScaleA?"), "5 ns/div");
}

// Every main command of the tree, asked, answers its state or its item last chosen and runs
// no action (what stays as it was is the refusal sweep's).
TEST_F(MainCommandsTest, EveryMainCommandsQueryAnswersAndRunsNothing) {
  ExecCommand("*StopSingle Stop;:*Copy ScopeScreen");
  int ran = 0;
  std::string answers;
  const TSpider& star = *std::ranges::find(RootSpider->Entries(), "*", &TSpiderEntry::Mnemonic)->Child;
  for (int i = 0; i < star.Count(); ++i) {
    THandler& command = *star.Entries()[i].Handler;
    command.OnChange = [&ran, action = command.OnChange](THandler& h) {
      ++ran;
      action(h);
    };
    const std::string path = "*" + star.Entries()[i].Mnemonic;
    answers += path + "=" + ExecCommand(path + "?") + ";";
  }
  EXPECT_EQ(
      answers,
      "*AUTOSCALE=Auto;*CLRDISPL=;*COPY=ScopeScreen;*DEFSETUP=;*PRINT=;*RUN=OFF;*STOPSINGLE=STOP;*UNDO=;");
  EXPECT_EQ(ran, 0);
}

TEST_F(MainCommandsTest, RecalledDefaultsTakeTheSimulatorsGeneratorsAndCheckTheHoldoff) {
  // Scale A 1 us: the hold-off follows it at 15 us. 8 ns more is close enough for an edit
  // to count as following, but a recalled setup must match exactly.
  ExecCommand("TB:ScaleA 1U");
  ExecCommand("Trig:Holdoff 15.008U");
  ExecCommand("GSS:Ch1 C");
  ExecCommand("GSS:Ch2 D");
  ExecCommand("Util:CalibrWhen Period");
  ExecCommand("*DefSetup SaveAsDef");
  ASSERT_TRUE(SaveSetup(TSetupKind::PowerOff, false));
  ExecCommand("Trig:Holdoff 15U");  // following

  ExecCommand("*DefSetup Default");
  EXPECT_EQ(ExecCommand("GSS:Ch1?") + " " + ExecCommand("GSS:Ch2?"), "A B");
  EXPECT_EQ(ExecCommand("Util:CalibrWhen?"), "ClearALL");
  // Not following, the hold-off stays where it is when scale A shrinks.
  ExecCommand("TB:ScaleA 500N");
  EXPECT_EQ(ExecCommand("Trig:Holdoff?"), "15.008 \u00B5s");

  // The power-off setup is the user's last state, generators included.
  ExecCommand("*DefSetup PowerOff");
  EXPECT_EQ(ExecCommand("GSS:Ch1?") + " " + ExecCommand("GSS:Ch2?"), "C D");
}

TEST_F(MainCommandsTest, ALockedTraceModeSpreadsAChangeOnlyOnceTheStartHasFinished) {
  ASSERT_EQ(ExecCommand("Displ:TraceMode?"), "ALLLOCKED");
  ExecCommand("Displ:Ch1:PersistTime 10");
  EXPECT_EQ(ExecCommand("Displ:Ch2:PersistTime?"), "10 s");
  // A start whose identity read failed leaves the program not ready.
  ShellHooks.ReadIndivData.Set([] { return false; });
  dialogs.answers = {TAnswer::Yes};
  ASSERT_FALSE(StartWithInstrument(true));
  ExecCommand("Displ:Ch1:PersistTime 5");
  EXPECT_EQ(ExecCommand("Displ:Ch2:PersistTime?"), "10 s");
}

}  // namespace
}  // namespace norv
