// Undo and redo over the settings tree: steps opened by controls and commands, program
// and replay changes joining the open step, the ring of 100 steps.

#include <gtest/gtest.h>

#include <string>

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

  static void Undo() { ReplayUndoStep(false); }
  static void Redo() { ReplayUndoStep(true); }

  TRadioSwHandler* counter = nullptr;
  TRadioSwHandler* mode = nullptr;
  TOnOffHandler* follower = nullptr;
};

TEST_F(UndoTest, StepsFromControlsAndCommandsUndoAndRedoInTurn) {
  EXPECT_TRUE(UndoBuffer->UndoEmpty);
  EXPECT_TRUE(UndoBuffer->RedoEmpty);
  counter->SetIndexBySwitcher(1);
  Exec("TEST:COUNTER V2");
  Exec("TEST:MODE DELAYED");
  EXPECT_FALSE(UndoBuffer->UndoEmpty);

  Undo();
  EXPECT_EQ(mode->GetIndex(), 0);
  EXPECT_EQ(counter->GetIndex(), 2);
  Undo();
  EXPECT_EQ(counter->GetIndex(), 1);
  Redo();
  EXPECT_EQ(counter->GetIndex(), 2);
  Undo();
  Undo();
  EXPECT_EQ(counter->GetIndex(), 0);
  EXPECT_TRUE(UndoBuffer->UndoEmpty);
  EXPECT_THROW(UndoBuffer->Undo(), EAssertion);
  Redo();
  Redo();
  Redo();
  EXPECT_EQ(counter->GetIndex(), 2);
  EXPECT_EQ(mode->GetIndex(), 1);
  EXPECT_TRUE(UndoBuffer->RedoEmpty);
  EXPECT_THROW(UndoBuffer->Redo(), EAssertion);
}

TEST_F(UndoTest, ProgramAndReplayChangesJoinTheOpenStepEachHandlerOnce) {
  mode->OnChange = [this](THandler&) {
    follower->SetOnByProgram(mode->GetIndex() == 1);
    counter->SetIndexByProgram(5);
    counter->SetIndexByProgram(6);
  };
  mode->SetIndexBySwitcher(1);
  EXPECT_TRUE(follower->IsOn());
  EXPECT_EQ(counter->GetIndex(), 6);
  // One step: the control change and every program change inside its callback.
  Undo();
  EXPECT_EQ(mode->GetIndex(), 0);
  EXPECT_FALSE(follower->IsOn());
  EXPECT_EQ(counter->GetIndex(), 0);  // the first old value of the step
  EXPECT_TRUE(UndoBuffer->UndoEmpty);
  Redo();
  EXPECT_EQ(mode->GetIndex(), 1);
  EXPECT_TRUE(follower->IsOn());
  EXPECT_EQ(counter->GetIndex(), 6);

  // A replayed setup line opens no step of its own either.
  mode->OnChange = nullptr;
  Exec("TEST:COUNTER V4");
  mode->RestoreFromText("NORMAL");
  Undo();
  EXPECT_EQ(counter->GetIndex(), 6);
  EXPECT_EQ(mode->GetIndex(), 1);
}

TEST_F(UndoTest, AFailingReplayStillEndsTheBatch) {
  Exec("TEST:MODE DELAYED");
  mode->OnChange = [](THandler&) { throw EAssertion("instrument gone"); };
  EXPECT_THROW(Undo(), EAssertion);
  EXPECT_FALSE(SettingsBatchActive);
}

TEST_F(UndoTest, ANewChangeAfterUndoDropsTheRedoSide) {
  Exec("TEST:COUNTER V1");
  Exec("TEST:COUNTER V2");
  Undo();
  EXPECT_FALSE(UndoBuffer->RedoEmpty);
  Exec("TEST:MODE DELAYED");
  EXPECT_TRUE(UndoBuffer->RedoEmpty);
  Undo();
  EXPECT_EQ(mode->GetIndex(), 0);
  EXPECT_EQ(counter->GetIndex(), 1);
  Undo();
  EXPECT_EQ(counter->GetIndex(), 0);
  EXPECT_TRUE(UndoBuffer->UndoEmpty);
}

TEST_F(UndoTest, TheRingKeepsTheLastHundredSteps) {
  for (int i = 1; i <= 100; ++i) counter->SetIndexBySwitcher(static_cast<uint8_t>(i));
  for (int i = 99; i >= 0; --i) {
    ASSERT_FALSE(UndoBuffer->UndoEmpty) << i;
    Undo();
    ASSERT_EQ(counter->GetIndex(), i);
  }
  EXPECT_TRUE(UndoBuffer->UndoEmpty);
  for (int i = 1; i <= 100; ++i) {
    ASSERT_FALSE(UndoBuffer->RedoEmpty) << i;
    Redo();
    ASSERT_EQ(counter->GetIndex(), i);
  }
  EXPECT_TRUE(UndoBuffer->RedoEmpty);

  // Step 101 overwrites the oldest: 100 undos still, down to the value after step 1.
  counter->SetIndexBySwitcher(101);
  EXPECT_EQ(UndoBuffer->GetWriteIndex(), 0);
  int undos = 0;
  while (!UndoBuffer->UndoEmpty) {
    Undo();
    ++undos;
  }
  EXPECT_EQ(undos, 100);
  EXPECT_EQ(counter->GetIndex(), 1);
}

TEST_F(UndoTest, ANewStepAfterUndoingEverythingHoldsOnlyItself) {
  Exec("TEST:COUNTER V1");
  Exec("TEST:COUNTER V2");
  Exec("TEST:COUNTER V3");
  Undo();
  Undo();
  Undo();
  EXPECT_TRUE(UndoBuffer->UndoEmpty);
  Exec("TEST:MODE DELAYED");
  // Exactly one step to undo, and it undoes the new change, nothing stale.
  ASSERT_FALSE(UndoBuffer->UndoEmpty);
  Undo();
  EXPECT_EQ(mode->GetIndex(), 0);
  EXPECT_EQ(counter->GetIndex(), 0);
  EXPECT_TRUE(UndoBuffer->UndoEmpty);
  Redo();
  EXPECT_EQ(mode->GetIndex(), 1);
  EXPECT_TRUE(UndoBuffer->RedoEmpty);
}

TEST_F(UndoTest, AStepThatChangedNothingLeavesUndoAndRedoIntact) {
  auto* noop = RootSpider->AddMainCommand("*Refresh", nullptr, "", "", [](THandler&) {});
  Exec("TEST:COUNTER V1");
  Exec("TEST:COUNTER V2");
  noop->ExecuteBySwitcher();  // opens a step, changes nothing
  Undo();
  EXPECT_EQ(counter->GetIndex(), 1);
  ASSERT_FALSE(UndoBuffer->RedoEmpty);
  noop->ExecuteBySwitcher();
  Undo();
  EXPECT_EQ(counter->GetIndex(), 0);  // an undo, not a redo
  noop->ExecuteBySwitcher();
  Redo();
  EXPECT_EQ(counter->GetIndex(), 1);
  Redo();
  EXPECT_EQ(counter->GetIndex(), 2);
  EXPECT_TRUE(UndoBuffer->RedoEmpty);
}

TEST_F(UndoTest, ANewRingRecordsChangesOfHandlersThatRecordedBefore) {
  for (int i = 1; i <= 5; ++i) counter->SetIndexBySwitcher(static_cast<uint8_t>(i));
  // The link stops and starts again: a fresh ring.
  StartUndo();
  counter->SetIndexByProgram(9);  // no new step is opened, it joins the first one
  ASSERT_FALSE(UndoBuffer->UndoEmpty);
  Undo();
  EXPECT_EQ(counter->GetIndex(), 5);
}

TEST_F(UndoTest, ADisabledRingRecordsNothing) {
  UndoBuffer->Enabled = false;
  counter->SetIndexBySwitcher(3);
  Exec("TEST:MODE DELAYED");
  EXPECT_TRUE(UndoBuffer->UndoEmpty);
  EXPECT_TRUE(UndoBuffer->Undo().empty());
  UndoBuffer->Enabled = true;
  counter->SetIndexBySwitcher(4);
  Undo();
  EXPECT_EQ(counter->GetIndex(), 3);
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
  Undo();
  EXPECT_EQ(counter->GetIndex(), 0);
  EXPECT_EQ(mode->GetIndex(), 1);
  Undo();
  EXPECT_EQ(mode->GetIndex(), 0);
  EXPECT_TRUE(UndoBuffer->UndoEmpty);
}

TEST_F(UndoTest, InternalAndNoStepHandlers) {
  auto* shadow = RootSpider->AddOnOff(false, "Shadow:Flag");
  shadow->SetOnBySwitcher(true);
  Exec("HEADER OFF");
  EXPECT_TRUE(UndoBuffer->UndoEmpty);

  Exec("TEST:COUNTER V1");
  follower->SetNoUndoStep(true);
  follower->SetOnBySwitcher(true);  // joins the open step instead of opening one
  Undo();
  EXPECT_EQ(counter->GetIndex(), 0);
  EXPECT_FALSE(follower->IsOn());
  EXPECT_TRUE(UndoBuffer->UndoEmpty);
}

}  // namespace
}  // namespace norv::test
