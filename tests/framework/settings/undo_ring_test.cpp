// Undo and redo over the settings tree: steps opened by controls and commands, program
// and replay changes joining the open step, the ring of 100 steps.

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "support/settings_tree_fixture.h"

namespace norv::test {
namespace {

class UndoTest : public SettingsTreeTest {
 protected:
  void SetUp() override {
    SettingsTreeTest::SetUp();
    std::string items;
    for (int i = 0; i < 120; ++i) items += (i ? ",V" : "V") + std::to_string(i);
    counter = RootSpider->AddRadioSw(0, "Test:Counter", items);
    mode = RootSpider->AddRadioSw(0, "Test:Mode", "Normal,Delayed");
    follower = RootSpider->AddOnOff(false, "Test:Follow");
    StartUndo();
  }

  // Undoes ('-') or redoes ('+') step by step; gives "counter mode" after each.
  std::string Replay(std::string_view steps) const {
    std::string states;
    for (const char step : steps) {
      ReplayUndoStep(step == '+');
      states += (states.empty() ? "" : ",") + std::to_string(counter->GetIndex()) + " " +
                std::to_string(mode->GetIndex());
    }
    return states;
  }

  TRadioSwHandler* counter = nullptr;
  TRadioSwHandler* mode = nullptr;
  TOnOffHandler* follower = nullptr;
};

TEST_F(UndoTest, StepsUndoAndRedoInTurnAndANewChangeDropsTheRedoSide) {
  EXPECT_TRUE(UndoBuffer->UndoEmpty && UndoBuffer->RedoEmpty);
  counter->SetIndexBySwitcher(1);
  Exec("TEST:COUNTER V2");
  Exec("TEST:MODE DELAYED");
  EXPECT_EQ(Replay("--+--"), "2 0,1 0,2 0,1 0,0 0");
  EXPECT_TRUE(UndoBuffer->UndoEmpty);
  EXPECT_THROW(UndoBuffer->Undo(), EAssertion);
  EXPECT_EQ(Replay("+++"), "1 0,2 0,2 1");
  EXPECT_TRUE(UndoBuffer->RedoEmpty);
  EXPECT_THROW(UndoBuffer->Redo(), EAssertion);

  EXPECT_EQ(Replay("--"), "2 0,1 0");
  Exec("TEST:MODE DELAYED");
  EXPECT_TRUE(UndoBuffer->RedoEmpty);
  EXPECT_EQ(Replay("--"), "1 0,0 0");
  EXPECT_TRUE(UndoBuffer->UndoEmpty);
  // A new step after undoing everything holds only itself, nothing stale.
  Exec("TEST:MODE DELAYED");
  EXPECT_EQ(Replay("-"), "0 0");
  EXPECT_TRUE(UndoBuffer->UndoEmpty);
  EXPECT_EQ(Replay("+"), "0 1");
  EXPECT_TRUE(UndoBuffer->RedoEmpty);
}

TEST_F(UndoTest, ProgramAndReplayChangesJoinTheOpenStepEachHandlerOnce) {
  mode->OnChange = [this](THandler&) {
    follower->SetOnByProgram(mode->GetIndex() == 1);
    counter->SetIndexByProgram(5);
    counter->SetIndexByProgram(6);
  };
  mode->SetIndexBySwitcher(1);
  EXPECT_TRUE(follower->IsOn());
  // One step: the control change and every program change inside its callback, each
  // handler with its first old value of the step.
  EXPECT_EQ(Replay("-"), "0 0");
  EXPECT_FALSE(follower->IsOn());
  EXPECT_TRUE(UndoBuffer->UndoEmpty);
  EXPECT_EQ(Replay("+"), "6 1");
  EXPECT_TRUE(follower->IsOn());

  // A replayed setup line opens no step of its own either.
  mode->OnChange = nullptr;
  Exec("TEST:COUNTER V4");
  mode->RestoreFromText("NORMAL");
  EXPECT_EQ(Replay("-"), "6 1");
}

TEST_F(UndoTest, AFailingReplayStillEndsTheBatch) {
  Exec("TEST:MODE DELAYED");
  mode->OnChange = [](THandler&) { throw EAssertion("instrument gone"); };
  EXPECT_THROW(ReplayUndoStep(false), EAssertion);
  EXPECT_FALSE(SettingsBatchActive);
}

TEST_F(UndoTest, TheRingKeepsTheLastHundredSteps) {
  for (int i = 1; i <= 100; ++i) counter->SetIndexBySwitcher(static_cast<uint8_t>(i));
  for (int i = 99; i >= 0; --i) {
    ASSERT_FALSE(UndoBuffer->UndoEmpty) << i;
    ASSERT_EQ(Replay("-"), std::to_string(i) + " 0");
  }
  EXPECT_TRUE(UndoBuffer->UndoEmpty);
  for (int i = 1; i <= 100; ++i) {
    ASSERT_FALSE(UndoBuffer->RedoEmpty) << i;
    ASSERT_EQ(Replay("+"), std::to_string(i) + " 0");
  }
  EXPECT_TRUE(UndoBuffer->RedoEmpty);

  // Step 101 overwrites the oldest: 100 undos still, down to the value after step 1.
  counter->SetIndexBySwitcher(101);
  int undos = 0;
  for (; !UndoBuffer->UndoEmpty; ++undos) ReplayUndoStep(false);
  EXPECT_EQ(undos, 100);
  EXPECT_EQ(counter->GetIndex(), 1);
}

TEST_F(UndoTest, AStepThatChangedNothingLeavesUndoAndRedoIntact) {
  auto* noop = RootSpider->AddMainCommand("*Refresh", nullptr, "", "", [](THandler&) {});
  Exec("TEST:COUNTER V1");
  Exec("TEST:COUNTER V2");
  noop->ExecuteBySwitcher();  // opens a step, changes nothing
  EXPECT_EQ(Replay("-"), "1 0");
  noop->ExecuteBySwitcher();
  EXPECT_EQ(Replay("-"), "0 0");  // an undo, not a redo
  noop->ExecuteBySwitcher();
  EXPECT_EQ(Replay("++"), "1 0,2 0");
  EXPECT_TRUE(UndoBuffer->RedoEmpty);
}

TEST_F(UndoTest, ANewRingKeepsRecordingAndADisabledOneRecordsNothing) {
  for (int i = 1; i <= 5; ++i) counter->SetIndexBySwitcher(static_cast<uint8_t>(i));
  // The link stops and starts again: a fresh ring. A program change joins its first step
  // although the handler recorded into the old ring.
  StartUndo();
  counter->SetIndexByProgram(9);
  EXPECT_EQ(Replay("-"), "5 0");

  StartUndo();
  UndoBuffer->Enabled = false;
  counter->SetIndexBySwitcher(3);
  Exec("TEST:MODE DELAYED");
  EXPECT_TRUE(UndoBuffer->UndoEmpty);
  EXPECT_TRUE(UndoBuffer->Undo().empty());
  UndoBuffer->Enabled = true;
  counter->SetIndexBySwitcher(4);
  EXPECT_EQ(Replay("-"), "3 1");
  EXPECT_TRUE(UndoBuffer->UndoEmpty);
}

TEST_F(UndoTest, KeypadEntriesFormOneStep) {
  Exec("TEST:MODE DELAYED");
  UndoGroupActive = true;
  counter->SetIndexBySwitcher(7);
  counter->SetIndexBySwitcher(8);
  mode->SetIndexBySwitcher(0);
  UndoGroupActive = false;
  UndoGroupStepOpened = false;
  EXPECT_EQ(Replay("--"), "0 1,0 0");
  EXPECT_TRUE(UndoBuffer->UndoEmpty);
}

TEST_F(UndoTest, InternalAndNoStepHandlers) {
  RootSpider->AddOnOff(false, "Shadow:Flag")->SetOnBySwitcher(true);
  Exec("HEADER OFF");
  EXPECT_TRUE(UndoBuffer->UndoEmpty);

  Exec("TEST:COUNTER V1");
  follower->SetNoUndoStep(true);
  follower->SetOnBySwitcher(true);  // joins the open step instead of opening one
  EXPECT_EQ(Replay("-"), "0 0");
  EXPECT_FALSE(follower->IsOn());
  EXPECT_TRUE(UndoBuffer->UndoEmpty);
}

}  // namespace
}  // namespace norv::test
