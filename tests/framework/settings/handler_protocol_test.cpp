// The change protocol every value-holding handler follows, the origins callbacks see,
// bindings, the settings batch and the trace on/off flags.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/settings_tree_fixture.h"

namespace norv::test {
namespace {

const char* kSources = "Ch1,Ch1B2,Ch2,Ch2B2,F1,F2,F3,F4,M1,M2,M3,M4,S1,S2,XY,DB,Hist,Const,None";

class ChangeProtocolTest : public SettingsTreeTest {
 protected:
  void SetUp() override {
    SettingsTreeTest::SetUp();
    radio = RootSpider->AddRadioSw(
        0, "Acq:FitTo", "Multi,Single",
        [this](THandler& h) {
          log.push_back("change " + static_cast<TRadioSwHandler&>(h).ItemName(radio->GetIndex()));
        },
        [this](THandler&) { log.push_back("before " + radio->ItemName(radio->GetIndex())); });
    control.onUpdate = [this] { log.push_back("control " + radio->ItemName(radio->GetIndex())); };
    control.Bind(radio);
    log.clear();
  }

  TRadioSwHandler* radio = nullptr;
  TRecordingSwitcher control;
  std::vector<std::string> log;
};

TEST_F(ChangeProtocolTest, ARealChangeRunsEveryStepInOrder) {
  StartUndo();
  // The undo record is written between OnBeforeChange and the store.
  auto recorded = [] { return std::string(UndoBuffer->UndoEmpty ? "" : " recorded"); };
  radio->OnBeforeChange = [&](THandler&) {
    log.push_back("before " + radio->ItemName(radio->GetIndex()) + recorded());
  };
  radio->SetIndexBySwitcher(1);
  EXPECT_EQ(log, (std::vector<std::string>{"before MULTI", "control SINGLE", "change SINGLE"}));
  // The undo record holds the old value in a form the command accepts back.
  const TUndoSnapshot& lines = UndoBuffer->Undo();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].Text, "MULTI");

  // The same value again does nothing, unless forced: then only OnChange runs.
  log.clear();
  radio->SetIndexBySwitcher(1);
  EXPECT_TRUE(log.empty());
  EXPECT_TRUE(UndoBuffer->UndoEmpty);
  ForceNotify = true;
  Exec("ACQ:FITTO SINGLE");
  EXPECT_EQ(log, (std::vector<std::string>{"change SINGLE"}));
}

TEST_F(ChangeProtocolTest, CallbacksSeeWhoIsChanging) {
  std::vector<TWhoChanged> origins;
  radio->OnChange = [&](THandler& h) { origins.push_back(h.GetWhoChanged()); };
  radio->SetIndexByProgram(1);
  radio->SetIndexBySwitcher(0);
  Exec("ACQ:FITTO SINGLE");
  radio->RestoreFromText("MULTI");
  EXPECT_EQ(origins, (std::vector<TWhoChanged>{wcvProgram, wcvSwitcher, wcvCommand, wcvReplay}));
  // Outside a change nobody is changing anything.
  EXPECT_EQ(radio->GetWhoChangedRaw(), wcvUnknown);
  EXPECT_EQ(AssertionText([&] { radio->GetWhoChanged(); }), "WhoChangedVariable = wcvUnknown");

  // A nested program change keeps the outer origin.
  auto* other = RootSpider->AddOnOff(false, "Acq:Other");
  origins.clear();
  radio->OnChange = [&](THandler& h) {
    static_cast<TRadioSwHandler&>(h).SetIndexByProgram(0);  // a callback correcting its own handler
    origins.push_back(h.GetWhoChanged());
    other->SetOnByProgram(true);
  };
  other->OnChange = [&](THandler& h) { origins.push_back(h.GetWhoChanged()); };
  Exec("ACQ:FITTO SINGLE");
  // The nested run of the radio's callback and the other handler's callback see the
  // program; back in the outer run the command is the origin again.
  EXPECT_EQ(origins, (std::vector<TWhoChanged>{wcvProgram, wcvProgram, wcvCommand}));
  EXPECT_EQ(radio->GetIndex(), 0);
}

TEST_F(ChangeProtocolTest, DisablingNotifiesOnlyOnAChange) {
  std::vector<bool> seen;
  radio->OnDisabledChange = [&](bool disabled) { seen.push_back(disabled); };
  const int before = control.updates;
  for (bool disabled : {false, true, true, false}) radio->SetDisabled(disabled);
  EXPECT_EQ(control.updates, before + 2);
  EXPECT_EQ(seen, (std::vector<bool>{true, false}));
}

TEST_F(SettingsTreeTest, BindingsAreCalledInOrderAndMayUnbindDuringANotification) {
  auto* h = RootSpider->AddOnOff(false, "Acq:Mode");
  TRecordingSwitcher first, second, third;
  std::vector<int> order;
  int number = 0;
  for (TRecordingSwitcher* control : {&first, &second, &third}) {
    control->onUpdate = [&order, n = ++number] { order.push_back(n); };
    control->Bind(h);
  }
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));  // each is shown the value once at binding
  EXPECT_EQ(AssertionText([&] { h->RegisterSwitcher(&second); }), "ERROR!  This Switcher already Registered");

  order.clear();
  first.onUpdate = [&] {
    order.push_back(1);
    if (h->SwitcherCount() == 3) h->UnregisterSwitcher(&second);
  };
  h->SetOnByProgram(true);
  EXPECT_EQ(order, (std::vector<int>{1, 3}));
  EXPECT_EQ(AssertionText([&] { h->UnregisterSwitcher(&second); }),
            "ERROR!  This Switcher not Found in Handler");
  h->UnregisterSwitcher(&first);
  h->UnregisterSwitcher(&third);
}

// A control that unbinds itself when it is freed, as the on-screen controls do.
class TSelfUnbinding final : public TRecordingSwitcher {
 public:
  ~TSelfUnbinding() override {
    if (handler) handler->UnregisterSwitcher(this);
  }
};

TEST_F(SettingsTreeTest, ControlsFreedWhileTheirHandlerIsLeavingAreNeverCalled) {
  // When a handler goes (replaced or freed with the tree), the first control's reaction
  // frees the second one, which unbinds itself on the way out; the leaving handler must
  // neither refuse that nor call the freed control afterwards.
  for (const bool replace : {true, false}) {
    ResetAll();
    auto* old = RootSpider->AddOnOff(false, "Acq:Mode");
    TRecordingSwitcher first;
    auto* second = new TSelfUnbinding;
    first.Bind(old);
    second->Bind(old);
    first.onReplaced = [&] { delete std::exchange(second, nullptr); };
    if (replace) {
      auto* fresh = RootSpider->AddItem("Acq:Mode", std::make_unique<TOnOffHandler>(true), true);
      EXPECT_EQ(first.handler, fresh);
      EXPECT_EQ(fresh->SwitcherCount(), 1u);
      fresh->UnregisterSwitcher(&first);
    } else {
      DestroyRootSpider();
      EXPECT_EQ(first.handler, nullptr);
    }
    EXPECT_EQ(second, nullptr);
  }
}

TEST_F(SettingsTreeTest, ReplacingAHandlerMovesItsControlsAndUndoLines) {
  StartUndo();
  auto* old = RootSpider->AddRadioSw(0, "Tdr:Model", "A,B");
  TRecordingSwitcher control;
  control.Bind(old);
  old->SetIndexBySwitcher(1);

  auto* fresh = RootSpider->AddRadioSw(1, "Tdr:Model", "A,B,C", {}, {}, true);
  EXPECT_EQ(control.handler, fresh);
  EXPECT_EQ(fresh->SwitcherCount(), 1u);
  EXPECT_EQ(Exec("TDR?"), "TDR:MODEL B");  // listed once, in the place of the old one
  // The undo line now restores the new handler.
  ReplayUndoStep(false);
  EXPECT_EQ(fresh->GetIndex(), 0);
  fresh->UnregisterSwitcher(&control);
}

TEST_F(SettingsTreeTest, FreeingTheTreeUnbindsItsControls) {
  auto* h = RootSpider->AddOnOff(false, "Acq:Mode");
  TRecordingSwitcher control;
  control.Bind(h);
  StartUndo();
  h->SetOnBySwitcher(true);
  DestroyRootSpider();
  EXPECT_EQ(control.handler, nullptr);
  // No line of the ring points at the freed handler any more.
  EXPECT_TRUE(UndoBuffer->Undo().empty());
}

// Tells, when its handler is freed, whether the undo ring still exists.
class TRingProbe final : public ISwitcher {
 public:
  void UpdateFromHandler() override {}
  void HandlerReplaced(THandler* replacement) override {
    if (!replacement) std::fprintf(stderr, "ring %s\n", UndoBuffer ? "alive" : "gone");
  }
};

TEST_F(SettingsTreeTest, AtExitTheTreeAndTheRingAreFreedNewestFirst) {
  // A ring of the start (older than the tree) and one of a later link (newer than it).
  for (const bool ringFirst : {true, false}) {
    EXPECT_EXIT(
        {
          if (ringFirst) StartUndo();
          CreateRootSpider();
          if (!ringFirst) StartUndo();
          auto* h = RootSpider->AddOnOff(false, "Acq:Mode");
          h->SetOnBySwitcher(true);                   // the ring holds a line of h
          static TRingProbe* probe = new TRingProbe;  // outlives every object freed at exit
          h->RegisterSwitcher(probe);
          std::exit(0);
        },
        ::testing::ExitedWithCode(0), ringFirst ? "^ring alive\n$" : "^ring gone\n$");
  }
}

TEST_F(SettingsTreeTest, ASettingsBatchDefersFollowUpWorkToItsEnd) {
  int followUps = 0;
  OnSettingsBatchEnd.Set([&] { ++followUps; });
  auto* colour = RootSpider->AddOnOff(false, "Displ:Color", [&](THandler&) {
    if (SettingsBatchActive)
      SettingsBatchDeferred = true;
    else
      ++followUps;
  });
  {
    TSettingsBatch batch;
    colour->SetOnByProgram(true);
    colour->SetOnByProgram(false);
    {
      TSettingsBatch nested;  // an inner batch does not end the outer one
    }
    EXPECT_TRUE(SettingsBatchActive);
    EXPECT_EQ(followUps, 0);
  }
  EXPECT_EQ(followUps, 1);
  EXPECT_FALSE(SettingsBatchActive);

  // A failure inside the batch still ends it.
  colour->OnChange = [](THandler&) {
    SettingsBatchDeferred = true;
    throw EAssertion("boom");
  };
  EXPECT_THROW(
      {
        TSettingsBatch batch;
        colour->SetOnByProgram(true);
      },
      EAssertion);
  EXPECT_FALSE(SettingsBatchActive);
  EXPECT_EQ(followUps, 2);
}

TEST_F(SettingsTreeTest, SourceChoicesFollowTheShownTracesAndTheirColours) {
  std::vector<std::string> events;
  OnSignalSwitchedOff.Set([&](TTraceId id) { events.push_back("off " + GetTraceShortName(id)); });
  OnSignalOnChanged.Set([&](TTraceId id) { events.push_back("changed " + GetTraceShortName(id)); });
  auto* colour = RootSpider->AddOnOff(false, "Displ:Color:Ch1");
  DisplayColorNodes[0] = colour;
  auto* source = RootSpider->AddSignalSourceSw(0, "Meas:Source", kSources, 0);
  RootSpider->AddSignalSourceSw(0, "Fft:Source", kSources, 0xF00);  // memories never offered
  TRecordingSwitcher control;
  bool sawColourFlag = false;
  control.onUpdate = [&] { sawColourFlag = source->GetColoursChanged(); };
  control.Bind(source);
  const int bound = control.updates;

  EXPECT_EQ(Exec("MEAS:SOURCE:ENABLED?"), "MEAS:SOURCE:ENABLED CH1,CH2,HIST,CONST");
  SignalsOn.SetOn(TTraceId::M1, true);
  SignalsOn.SetOn(TTraceId::Ch2, false);
  SignalsOn.SetOn(TTraceId::Ch2, false);  // stored again: the hooks run again, no control update
  EXPECT_EQ(events,
            (std::vector<std::string>{"changed M1", "off Ch2", "changed Ch2", "off Ch2", "changed Ch2"}));
  EXPECT_EQ(control.updates, bound + 2);
  EXPECT_EQ(Exec("MEAS:SOURCE:ENABLED?;:FFT:SOURCE:ENABLED?"),
            "MEAS:SOURCE:ENABLED CH1,M1,HIST,CONST;\r\nFFT:SOURCE:ENABLED CH1,HIST,CONST");

  // A change of a display colour repaints the source controls.
  EXPECT_FALSE(sawColourFlag);
  colour->SetOnByProgram(true);
  EXPECT_TRUE(sawColourFlag);
  EXPECT_FALSE(source->GetColoursChanged());
  source->UnregisterSwitcher(&control);

  // An excluded source is no item of its setting, shown or not: naming it changes nothing.
  Exec("FFT:SOURCE CH2;:FFT:SOURCE M1");
  EXPECT_EQ(Exec("FFT:SOURCE?"), "FFT:SOURCE CH2");
}

}  // namespace
}  // namespace norv::test
