// Undo and redo over the settings tree: steps opened by controls and commands, program
// and replay changes joining the open step, the ring of 100 steps.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "framework/settings/procedure_setup.h"
#include "framework/util/numeric_utils.h"
#include "support/fake_dialogs.h"
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

// Random changes from controls and commands, steps that change nothing, undos and redos
// against a plain history of states: at most 100 steps back, a new change drops what
// could be redone. The runs go far past the ring's length.
TEST_F(UndoTest, StepsFollowAHistoryOfTheLastHundredStates) {
  auto* noop = RootSpider->AddMainCommand("*Refresh", nullptr, "", "", [](THandler&) {});
  const auto state = [&] { return 1000 * counter->GetIndex() + mode->GetIndex(); };
  TRandomSource random(17);
  std::vector<int> history{state()};
  size_t at = 0;
  for (int op = 0; op < 4000; ++op) {
    // Phases of mostly changes and of mostly undos, so both ends of the ring are reached.
    const bool filling = (op / 500) % 2 == 0;
    const int roll = random.UniformInt(10);
    if (roll < (filling ? 8 : 2)) {
      const int change = random.UniformInt(5);
      if (change < 3)
        counter->SetIndexBySwitcher(static_cast<uint8_t>(random.UniformInt(120)));
      else if (change == 3)
        Exec(random.UniformInt(2) ? "TEST:MODE DELAYED" : "TEST:MODE NORMAL");
      else
        noop->ExecuteBySwitcher();  // opens a step that changes nothing
      if (state() != history[at]) {
        history.resize(at + 1);
        history.push_back(state());
        if (history.size() > 101) history.erase(history.begin());
        at = history.size() - 1;
      }
    } else if (roll < (filling ? 9 : 8)) {
      ASSERT_EQ(UndoBuffer->UndoEmpty, at == 0) << op;
      if (at == 0) {
        EXPECT_THROW(UndoBuffer->Undo(), EAssertion);
      }
      ReplayUndoStep(false);
      at -= at > 0;
    } else {
      ASSERT_EQ(UndoBuffer->RedoEmpty, at + 1 == history.size()) << op;
      if (at + 1 == history.size()) {
        EXPECT_THROW(UndoBuffer->Redo(), EAssertion);
      }
      ReplayUndoStep(true);
      at += at + 1 < history.size();
    }
    ASSERT_EQ(state(), history[at]) << op;
  }
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

// A procedure's set-up stays out of the ring and goes back at its end. A command that sets
// what it works on ends it first (its set-up back), then comes on the values from before
// it; a setting changed meanwhile by anything but a command (the rules) goes back with the
// set-up. An undo step written meanwhile holds the value from before the procedure, never
// one it set for itself. Kept, the set-up is one step.
TEST_F(UndoTest, AProcedureGivesBackItsOwnSetUpOutsideTheRing) {
  TProcedureSetup setup;
  int ended = 0;
  const auto own = [&setup](const std::function<void()>& change) {
    const TProcedureScope scope(setup);
    change();
  };
  const auto begin = [&] {
    setup.Begin();
    setup.OnGroundMoved = [&](const THandler&) {
      ++ended;
      setup.GiveBack();
    };
  };
  Exec("TEST:COUNTER V3");
  begin();
  own([&] { mode->SetIndexByProgram(1); });
  follower->SetOnByProgram(true);  // not what it works on: it goes on
  Exec("TEST:FOLLOW OFF");
  own([&] { counter->SetIndexByProgram(9); });
  EXPECT_EQ(ended, 0);
  Exec("TEST:COUNTER V11");  // a command on what it works on
  EXPECT_EQ(ended, 1);
  EXPECT_EQ(counter->GetIndex(), 11);
  EXPECT_EQ(mode->GetIndex(), 0);
  own([&] { mode->SetIndexByProgram(1); });  // an ended set-up's outcome: no undo step
  EXPECT_EQ(Replay("--"), "3 1,3 1");
  EXPECT_EQ(Replay("-"), "3 1");

  begin();
  own([&] { counter->SetIndexByProgram(5); });
  counter->SetIndexByProgram(6);  // the rules move it meanwhile
  Exec("TEST:FOLLOW ON");
  setup.GiveBack();
  EXPECT_EQ(counter->GetIndex(), 3);
  EXPECT_EQ(ended, 1);

  begin();
  own([&] { mode->SetIndexByProgram(0); });
  setup.Keep();
  EXPECT_EQ(Replay("-"), "3 1");

  // A rule that runs at a moment of its own (a layer drawn) moves what it follows with a
  // procedure's set-up; run inside someone's change, its move is that change's.
  setup.Begin({}, true);
  const auto rule = [](const std::function<void()>& move) {
    const TFollowingRule following;
    move();
  };
  rule([&] { follower->SetOnByProgram(false); });
  mode->OnChange = [&](THandler&) { rule([&] { counter->SetIndexByProgram(7); }); };
  Exec("TEST:MODE NORMAL");
  setup.GiveBack();
  EXPECT_TRUE(follower->IsOn());
  EXPECT_EQ(counter->GetIndex(), 7);
  EXPECT_EQ(Replay("-"), "3 1");
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

// A step replays settings only: a line whose node is now a command (registered again in
// its place) runs nothing and is named.
TEST_F(UndoTest, AStepRunsNothingButSettings) {
  UndoBuffer->BeginStep();
  mode->SetIndexByProgram(1);
  counter->SetIndexByProgram(3);
  int actions = 0;
  RootSpider->AddItem("Test:Mode", std::make_unique<TRightCommandHandler>([&](THandler&) { ++actions; }),
                      true);
  FakeDialogs dialogs;
  ReplayUndoStep(false);
  EXPECT_EQ(counter->GetIndex(), 0);
  EXPECT_EQ(actions, 0);
  EXPECT_EQ(dialogs.shown, std::vector<std::string>{"[warning] These lines set no setting and were skipped:\n"
                                                    "TEST:MODE NORMAL"});
}

}  // namespace
}  // namespace norv::test
