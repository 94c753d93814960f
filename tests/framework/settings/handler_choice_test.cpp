// Choice and command handlers: their command words, replies and callbacks.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/settings_tree_fixture.h"

namespace norv::test {
namespace {

TEST(CommaTextToStrings, SplitsAtCommasAndDropsBlanks) {
  EXPECT_EQ(CommaTextToStrings(" Multi, Single", true), (TItemList{"MULTI", "SINGLE"}));
  EXPECT_EQ(CommaTextToStrings("Ch1 B2,Eye Markers", false), (TItemList{"Ch1B2", "EyeMarkers"}));
  EXPECT_EQ(CommaTextToStrings("a,,b", true), (TItemList{"A", "", "B"}));
  EXPECT_TRUE(CommaTextToStrings("", true).empty());
  EXPECT_EQ(FindItem({"MULTI", "SINGLE"}, "single"), 1);
  EXPECT_EQ(FindItem({"MULTI", "SINGLE"}, "SING"), -1);
}

class CheckSetTest : public SettingsTreeTest {
 protected:
  void SetUp() override {
    SettingsTreeTest::SetUp();
    check = RootSpider->AddCheckSw(0, "X:Chk", "A,B,C", [this](THandler& h) {
      auto& c = static_cast<TCheckSwHandler&>(h);
      calls.push_back(c.Items()[c.GetLastButton()] + (c.GetLastState() ? "+" : "-"));
    });
  }
  TCheckSwHandler* check = nullptr;
  std::vector<std::string> calls;
};

TEST_F(CheckSetTest, IncludeExcludeAndClearAll) {
  EXPECT_EQ(Exec("X:CHK? INCLUDE A,C"), "X:CHK A,C");
  EXPECT_EQ(Exec("X:CHK EXCLUDE A;CHK?"), "X:CHK C");
  EXPECT_EQ(Exec("X:CHK include b, nosuch"), "");
  EXPECT_EQ(check->GetMask(), 0b110u);
  EXPECT_EQ(Exec("X:CHK CLEARALL;CHK?"), "X:CHK ClearALL");
  EXPECT_EQ(Exec("X:CHK A,A;CHK?"), "X:CHK A");
  // A button by name; reading one button leaves the others alone.
  EXPECT_EQ(Exec("X:CHK B ON;CHK? B"), "X:CHK:B ON");
  EXPECT_EQ(Exec("X:CHK B MAYBE;CHK:B?"), "X:CHK:B ON");
  EXPECT_EQ(Exec("X:CHK:NOSUCH? ON"), "X:CHK");
  // Unknown names alone, as a sub-item or as a list, leave the set as it is.
  EXPECT_EQ(Exec("X:CHK:NOSUCH?;CHK NOSUCH,NONE;CHK?"), "X:CHK A,B;\r\nX:CHK A,B");
  EXPECT_EQ(Exec("X:CHK C,NOSUCH;CHK?"), "X:CHK C");
}

TEST_F(CheckSetTest, AnAssignSwitchesButtonsOffFirstAndOneByOne) {
  check->SetMaskByProgram(0b001);
  calls.clear();
  Exec("X:CHK B,C");
  EXPECT_EQ(calls, (std::vector<std::string>{"A-", "B+", "C+"}));
  calls.clear();
  ForceNotify = true;
  check->SetMaskByProgram(0b010);
  EXPECT_EQ(calls, (std::vector<std::string>{"A-", "C-", "B+"}));
  calls.clear();
  Exec("X:CHK EXCLUDE B");  // forced: every button runs, none is switched on
  EXPECT_EQ(calls, (std::vector<std::string>{"A-", "B-", "C-"}));
}

TEST_F(SettingsTreeTest, CheckSetsHoldAtMost32Buttons) {
  EXPECT_EQ(GetMaskForButtinNr(31), 0x80000000u);
  EXPECT_EQ(AssertionText([] { GetMaskForButtinNr(32); }),
            "ERROR in GetMaskForButtinNr - Number of Button > 31");
  std::string items;
  for (int i = 0; i < 33; ++i) items += (i ? ",B" : "B") + std::to_string(i);
  EXPECT_THROW(RootSpider->AddCheckSw(0, "X:Many", items), EAssertion);
}

TEST_F(SettingsTreeTest, RadioOptionListsAndDisabledMasks) {
  auto* radio = RootSpider->AddRadioSw(1, "Acq:FitTo", "Multi,Single", {}, {}, false, 0b10);
  TRecordingSwitcher control;
  control.Bind(radio);
  EXPECT_EQ(radio->GetDisabledMask(), 0b10u);
  EXPECT_EQ(Exec("ACQ:FITTO SINGLE;FITTO?"), "ACQ:FITTO SINGLE");  // greyed but selectable
  const int bound = control.updates;
  radio->SetDisabledMask(0b10);
  EXPECT_EQ(control.updates, bound + 1);
  radio->SetItems("Low,Mid,High");
  EXPECT_EQ(radio->GetIndex(), 0);
  EXPECT_EQ(control.updates, bound + 1);
  EXPECT_EQ(Exec("ACQ:FITTO HIGH;FITTO?"), "ACQ:FITTO HIGH");
  // Nodes a unit has not registered read as the first option and off.
  EXPECT_EQ(GetIndex(static_cast<TRadioSwHandler*>(nullptr)), 0);
  EXPECT_FALSE(IsOn(static_cast<TOnOffHandler*>(nullptr)));
  radio->UnregisterSwitcher(&control);
}

TEST_F(SettingsTreeTest, MainCommandWithAnOnOffPair) {
  bool single = false;
  int actions = 0;
  auto* cmd =
      RootSpider->AddMainCommand("*StopSingle", &single, "Stop,Single", "", [&](THandler&) { ++actions; });
  TRecordingSwitcher control;
  control.Bind(cmd);
  EXPECT_EQ(Exec("*STOPSINGLE single"), "");
  EXPECT_TRUE(single);
  EXPECT_EQ(actions, 1);
  EXPECT_EQ(Exec("*STOPSINGLE?"), "*STOPSINGLE SINGLE");
  EXPECT_EQ(actions, 1);
  const int updates = control.updates;
  EXPECT_EQ(Exec("*STOPSINGLE XYZ"), "");
  EXPECT_EQ(actions, 1);
  EXPECT_EQ(control.updates, updates + 1);  // controls are told in every case
  Exec("*STOPSINGLE STOP");
  EXPECT_FALSE(single);
  EXPECT_EQ(actions, 2);
  cmd->SetBySwitcher(0);  // already off: nothing runs
  EXPECT_EQ(actions, 2);
  cmd->SetBySwitcher(1);
  EXPECT_TRUE(cmd->GetBool());
  EXPECT_EQ(actions, 3);
  cmd->UnregisterSwitcher(&control);
}

TEST_F(SettingsTreeTest, MainCommandWithAMenu) {
  std::vector<int> currents;
  auto* cmd = RootSpider->AddMainCommand("Save:Setup", nullptr, "", "Disk,Memory", [&](THandler& h) {
    currents.push_back(static_cast<TMainCommandHandler&>(h).GetCurrentItem());
  });
  EXPECT_EQ(Exec("SAVE:SETUP?"), "SAVE:SETUP");  // no default yet: nothing to name
  EXPECT_EQ(Exec("SAVE:SETUP memory"), "");
  EXPECT_EQ(Exec("SAVE:SETUP? DISK"), "SAVE:SETUP Memory");  // names keep their case
  EXPECT_EQ(currents, (std::vector<int>{1}));                // queries only answer
  EXPECT_EQ(cmd->GetDefaultItem(), 1);
  cmd->SetBySwitcher(0);
  EXPECT_EQ(cmd->GetDefaultItem(), 0);
  EXPECT_EQ(cmd->GetState().MenuCount, 2);
}

TEST_F(SettingsTreeTest, RightCommandsAreBusyWhileTheirActionRuns) {
  TRightCommandHandler* cmd = nullptr;
  bool busyInAction = false;
  bool fail = false;
  cmd = RootSpider->AddRightCommand("Save:Disk:Store", [&](THandler&) {
    busyInAction = cmd->IsBusy();
    if (fail) throw EAssertion("disk full");
  });
  TRecordingSwitcher control;
  std::vector<bool> seen;
  control.onUpdate = [&] { seen.push_back(cmd->IsBusy()); };
  control.Bind(cmd);
  seen.clear();
  EXPECT_EQ(Exec("SAVE:DISK:STORE?"), "SAVE:DISK:STORE");  // a query does nothing
  EXPECT_TRUE(seen.empty());
  EXPECT_EQ(Exec("SAVE:DISK:STORE"), "");
  EXPECT_TRUE(busyInAction);
  EXPECT_EQ(seen, (std::vector<bool>{true, false}));
  fail = true;
  EXPECT_THROW(Exec("SAVE:DISK:STORE"), EAssertion);
  EXPECT_FALSE(cmd->IsBusy());
  cmd->UnregisterSwitcher(&control);
}

TEST_F(SettingsTreeTest, SignalSourceChoice) {
  auto* src = RootSpider->AddSignalSourceSw(
      2, "Trig:Source", "Ch1,Ch1B2,Ch2,Ch2B2,F1,F2,F3,F4,M1,M2,M3,M4,S1,S2,XY,DB,Hist,Const,None", 0);
  EXPECT_EQ(Exec("TRIG:SOURCE?"), "TRIG:SOURCE CH2");
  EXPECT_EQ(Exec("TRIG:SOURCE f1;SOURCE?"), "TRIG:SOURCE F1");  // selectable though not shown
  EXPECT_EQ(src->GetSource(), TTraceId::F1);
  EXPECT_EQ(Exec("TRIG:SOURCE XX;SOURCE?"), "TRIG:SOURCE F1");
}

TEST_F(SettingsTreeTest, ComplexObjectsApplyAndReportTheirState) {
  std::string state = "a b";
  std::vector<bool> flags;
  auto* obj = RootSpider->AddComplexObject("Displ:Grid", [&](std::string& text, bool flag, bool apply) {
    flags.push_back(flag);
    if (apply)
      state = text;
    else
      text = state;
  });
  EXPECT_EQ(Exec("DISPL:GRID?"), "DISPL:GRID a b");
  Exec("HEADER OFF");
  EXPECT_EQ(Exec("DISPL:GRID?"), " a b");  // the state always follows a blank
  EXPECT_EQ(Exec("DISPL:GRID Mixed Case"), "");
  EXPECT_EQ(state, "Mixed Case");

  StartUndo();
  obj->SaveUndo(false);  // the owner is about to change the object from a control
  state = "changed";
  ReplayUndoStep(false);
  EXPECT_EQ(state, "Mixed Case");

  auto* bare = RootSpider->AddComplexObject("Displ:Bare", {});
  EXPECT_EQ(AssertionText([&] { bare->ExecCmd("", true, false); }), "NO FUNCTION");
}

}  // namespace
}  // namespace norv::test
