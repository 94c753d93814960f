// Numeric settings through the command interpreter and the control side: limits, value
// text, prefixes, stepping rules, auto-repeat and colours.

#include "framework/settings/numeric_handlers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "support/settings_tree_fixture.h"

namespace norv::test {
namespace {

constexpr uint8_t kNoColour = 18;

class NumericItemsTest : public SettingsTreeTest {
 protected:
  void SetUp() override {
    SettingsTreeTest::SetUp();
    // A count from 1 to 65535, default 32, coarse steps by powers of two, fine steps of one.
    nacq = RootSpider->AddIntEdit(32, "Acq:NAcq", kNoColour, "", vfGeneral, 0, 1, 32, 65535, srPowerOfTwo, 0,
                                  srQuantised, 1);
    // A time per division from 10 ps to 1 s in 1-2-5 steps.
    scale = RootSpider->AddDoubleEdit("TB:ScaleA", kNoColour, 1e-8, "s", vfEngineering, 6, 1e-11, 1e-8, 1.0,
                                      sr1_2_5, 0, srRelative, 0.001, 1e-15);
  }

  // The value after each arrow code.
  static std::vector<double> Steps(TEditHandler& h, std::initializer_list<uint8_t> codes) {
    std::vector<double> values;
    for (const uint8_t code : codes) {
      h.StepCommand(code);
      values.push_back(h.GetValue());
    }
    return values;
  }

  TIntEditHandler* nacq = nullptr;
  TDoubleEditHandler* scale = nullptr;
  // Members, so that they outlive the tree they bind to.
  TRecordingSwitcher control;
  TRecordingSwitcher offsetControl;
};

TEST_F(NumericItemsTest, CommandsClampAndAnswerInEngineeringText) {
  // Integers: "1MEG" and 0 are held at the limits, halves round to even.
  const std::pair<const char*, int> counts[] = {{"100", 100}, {"1MEG", 65535}, {"0", 1},  {"MAX", 65535},
                                                {"MID", 32},  {"4.5", 4},      {"5.5", 6}};
  for (const auto& [text, value] : counts) {
    Exec(std::string("ACQ:NACQ ") + text);
    EXPECT_EQ(nacq->Value(), value) << text;
  }
  EXPECT_EQ(Exec("ACQ:NACQ?"), "ACQ:NACQ 6 ");
  // Floating values with unit suffixes and prefix letters; a query may carry a value.
  Exec("TB:SCALEA 2.5MS");
  EXPECT_EQ(Exec("TB:SCALEA?"), "TB:SCALEA 2.5 ms");
  EXPECT_EQ(Exec("TB:SCALEA? 10N"), "TB:SCALEA 10 ns");
  Exec("TB:SCALEA 1K");
  EXPECT_EQ(scale->Value(), 1.0);  // the 1 s limit
  EXPECT_EQ(Exec("TB:SCALEA MIN;SCALEA?"), "TB:SCALEA 10 ps");
}

TEST_F(NumericItemsTest, ValuesThatAreNotFiniteNumbersChangeNothing) {
  Exec("ACQ:NACQ 100");
  Exec("TB:SCALEA 2N");
  int changes = 0;
  nacq->OnChange = scale->OnChange = [&](THandler&) { ++changes; };
  for (const char* bad : {"NAN", "INF", "-INF", "ABC", "1E999", "-", "K5", "?"}) {
    EXPECT_EQ(Exec(std::string("ACQ:NACQ ") + bad), "") << bad;
    EXPECT_EQ(Exec(std::string("TB:SCALEA ") + bad), "") << bad;
  }
  nacq->SetValueBySwitcher(std::nan(""));
  scale->SetValue(std::nan(""));
  // The words of the arrow keys are accepted and change nothing.
  for (const char* word : {"UP", "DOWN", "UPFAST", "STEPCOARSE", "STEPFINE"})
    Exec(std::string("ACQ:NACQ ") + word);
  EXPECT_EQ(nacq->Value(), 100);
  EXPECT_EQ(scale->Value(), 2e-9);
  EXPECT_EQ(changes, 0);
}

TEST_F(NumericItemsTest, SetupAndUndoFormsGiveTheValueBack) {
  // A bit rate shown with 6 digits keeps in its setup form every digit its value needs.
  auto* rate = RootSpider->AddDoubleEdit("TB:BitRate", kNoColour, 10.709225e9, "b/s", vfEngineering, 6, 1e6,
                                         1e9, 20e9, sr1_2_5, 0, srRelative, 0.001, 1e-3);
  EXPECT_EQ(rate->GetValueText(false), "10.7092 Gb/s");
  EXPECT_EQ(rate->GetValueText(true), "10.709225 G(b/s)");
  // Replies show the node's digits, as the screen does, with "M" for mega where setups
  // write "MEG".
  auto* freq = RootSpider->AddDoubleEdit("Trig:Freq", kNoColour, 2.5e6, "Hz", vfEngineering, 6, 1, 1e6, 1e9,
                                         sr1_2_5, 0, srRelative, 0.001, 1e-3);
  EXPECT_EQ(Exec("TB:BITRATE?;:TRIG:FREQ?"), "TB:BITRATE 10.7092 Gb/s;\r\nTRIG:FREQ 2.5 MHz");
  EXPECT_EQ(freq->GetValueText(true), "2.5 MEG(Hz)");
  // Zero and the undefined marker have forms of their own.
  auto* level = RootSpider->AddDoubleEdit("Trig:Level", kNoColour, 0, "V", vfEngineering, 4, UndefinedValue,
                                          0, 1, srLinear, 0.1, srLinear, 0.001, 1e-6);
  EXPECT_EQ(level->GetValueText(true), " 0 (V)");
  level->SetValueByProgram(UndefinedValue);
  EXPECT_EQ(Exec("TRIG:LEVEL?"), "TRIG:LEVEL   UndefinedV");
  EXPECT_EQ(level->GetValueText(true), "  Undefined(V)");
  // Setup lines and undo steps restore each value exactly.
  for (TDoubleEditHandler* h : {rate, level}) {
    const double value = h->Value();
    const std::string line = Exec(h == rate ? "TB:BITRATE?" : "TRIG:LEVEL?", true);
    h->SetValueByProgram(h == rate ? 1e9 : 0.5);
    Exec(line, true);
    EXPECT_EQ(h->Value(), value) << line;
  }
  // A value held at a limit that follows another setting (a lower limit's upper one) comes
  // back from its line alone, as a recall gives it before that setting.
  auto* upper = RootSpider->AddDoubleEdit("Limit:Upper", kNoColour, 0.1, "", vfEngineering, 5, -1, 0, 1,
                                          srLinear, 0.1, srLinear, 0.01, 1e-12);
  upper->SetMin(0.123454);
  const std::string upperLine = Exec("LIMIT:UPPER?", true);
  upper->SetMin(-1);
  Exec(upperLine, true);
  EXPECT_EQ(upper->Value(), 0.123454) << upperLine;
  StartUndo();
  rate->SetValueBySwitcher(1e10 / 3);
  const double third = rate->Value();
  rate->SetValueBySwitcher(2e9);
  ReplayUndoStep(false);
  EXPECT_EQ(rate->Value(), third);
}

TEST_F(NumericItemsTest, ChangesBelowHalfTheResolutionAreNoChanges) {
  StartUndo();
  int changes = 0;
  scale->OnChange = [&](THandler&) { ++changes; };
  scale->SetValueBySwitcher(1e-8 + 4e-16);
  EXPECT_EQ(changes, 0);
  EXPECT_TRUE(UndoBuffer->UndoEmpty);
  EXPECT_FALSE(scale->SetValueByProgram(1e-8 + 4e-16));
  EXPECT_TRUE(scale->SetValueByProgram(1e-8 + 3e-15));
  EXPECT_EQ(changes, 1);
  // Values are kept on the resolution grid.
  EXPECT_NEAR(scale->Value(), 1.0000003e-8, 1e-23);
  EXPECT_FALSE(nacq->SetValueByProgram(32));
  EXPECT_TRUE(nacq->SetValueByProgram(33));
}

TEST_F(NumericItemsTest, ControlEntriesSnapByTheCoarseRuleOnlyWithoutAFineRule) {
  // With a fine rule a typed value is kept.
  scale->SetValueBySwitcher(3.3e-9);
  EXPECT_DOUBLE_EQ(scale->Value(), 3.3e-9);
  // Without one it is snapped by the coarse rule: 1-2-5 here.
  auto* coarse = RootSpider->AddDoubleEdit("TB:ScaleB", kNoColour, 1e-8, "s", vfEngineering, 6, 1e-11, 1e-8,
                                           1.0, sr1_2_5, 0, srNone, 0, 1e-15);
  coarse->SetValueBySwitcher(4.2e-9);
  EXPECT_DOUBLE_EQ(coarse->Value(), 5e-9);
  // Negative, zero and tiny entries are limited first and never raise.
  for (double v : {-5.0, 0.0, 1e-40, 3e-33}) {
    EXPECT_NO_THROW(coarse->SetValueBySwitcher(v)) << v;
    EXPECT_DOUBLE_EQ(coarse->Value(), 1e-11) << v;
  }
  // Max and Mid from the control.
  coarse->SetToLimitBySwitcher(lcMax);
  EXPECT_EQ(coarse->Value(), 1.0);
  coarse->SetToLimitBySwitcher(lcMid);
  EXPECT_DOUBLE_EQ(coarse->Value(), 1e-8);
}

TEST_F(NumericItemsTest, HooksAdjustEnteredValuesAndTheShownText) {
  // OnBeforeSet sees control and command values, not replays.
  scale->SetOnBeforeSet([](double& value, TEditHandler&) { value *= 2; });
  Exec("TB:SCALEA 2N");
  EXPECT_DOUBLE_EQ(scale->Value(), 4e-9);
  scale->SetValueBySwitcher(1e-6);
  EXPECT_DOUBLE_EQ(scale->Value(), 2e-6);
  Exec("TB:SCALEA 2 n(s)", true);
  EXPECT_DOUBLE_EQ(scale->Value(), 2e-9);
  // A scale stored per division and shown per probe of ten: the setup form stays plain.
  scale->SetOnGetText([](const TEditHandler& h, std::string& text, double value) {
    text = FloatToEngStr(h.GetFormatMode(), h.GetDigits(), false, value * 10, false) + "s/div";
  });
  EXPECT_EQ(Exec("TB:SCALEA?"), "TB:SCALEA 20 ns/div");
  EXPECT_EQ(scale->GetValueText(true), "2 n(s)");
}

TEST_F(NumericItemsTest, SteppingFollowsTheRulesAndStopsAtTheLimits) {
  // Coarse powers of two, fine steps of one, a repeat tick repeats the press; at the
  // limits a step is clamped.
  EXPECT_EQ(Steps(*nacq, {scCoarseUp, scCoarseDown, scCoarseDown, scFineUp, scRepeat, scRelease}),
            (std::vector<double>{64, 32, 16, 17, 18, 18}));
  Exec("ACQ:NACQ 65000");
  EXPECT_EQ(Steps(*nacq, {scCoarseUp, scRelease}), (std::vector<double>{65535, 65535}));
  Exec("ACQ:NACQ 2");
  EXPECT_EQ(Steps(*nacq, {scCoarseDown, scCoarseDown, scRelease}), (std::vector<double>{1, 1, 1}));
  Exec("TB:SCALEA 1N");
  scale->StepUp();
  EXPECT_DOUBLE_EQ(scale->Value(), 2e-9);
  // Coarse 1-2-5 kept on a grid of 0.5: entries snap to the grid, and near zero the
  // coarse step moves by the fine step instead of doubling nothing.
  auto* width = RootSpider->AddDoubleEdit("Meas:Width", kNoColour, 10, "", vfGeneral, 6, 0, 10, 100,
                                          sr1_2_5OnFineGrid, 0, srQuantised, 0.5, 1e-12);
  width->SetValueBySwitcher(3.7);
  EXPECT_EQ(width->Value(), 3.5);
  width->SetValueByProgram(0);
  EXPECT_EQ(Steps(*width, {scCoarseUp, scRelease}), (std::vector<double>{0.5, 0.5}));
}

TEST_F(NumericItemsTest, CallbacksSeeTheStepDirectionAndAHookMayTakeTheStep) {
  std::vector<int> steps;
  nacq->OnChange = [&](THandler& h) { steps.push_back(static_cast<TEditHandler&>(h).GetLastStep()); };
  Steps(*nacq, {scCoarseUp, scCoarseDown, scRelease});
  Exec("ACQ:NACQ 7");
  EXPECT_EQ(steps, (std::vector<int>{1, 2, 0}));
  EXPECT_EQ(nacq->GetLastStep(), 0);
  nacq->OnStep = [](double& value, TStepMode mode, bool up) {
    if (mode != smCoarse) return false;
    value += up ? 1000 : -1000;
    return true;
  };
  EXPECT_EQ(Steps(*nacq, {scCoarseUp, scFineDown, scRelease}), (std::vector<double>{1007, 1006, 1006}));
}

TEST_F(NumericItemsTest, HoldingAnArrowIsOneUndoStep) {
  StartUndo();
  Steps(*nacq, {scFineUp, scRepeat, scRepeat, scRepeat, scRepeat, scRepeat, scRelease});
  EXPECT_EQ(nacq->Value(), 38);
  Steps(*nacq, {scFineDown, scRelease});  // a second press is a step of its own
  const auto replay = [&](bool redo) {
    ReplayUndoStep(redo);
    return nacq->Value();
  };
  EXPECT_EQ((std::vector{replay(false), replay(false), replay(true)}), (std::vector{38, 32, 38}));
}

TEST_F(NumericItemsTest, LimitsFollowEachOtherAndHoldTheValue) {
  std::vector<TWhoChanged> origins;
  scale->OnChange = [&](THandler& h) { origins.push_back(h.GetWhoChanged()); };
  Exec("TB:SCALEA 500M");
  scale->SetMax(0.1);
  EXPECT_DOUBLE_EQ(scale->Value(), 0.1);
  scale->SetMin(0.2);
  EXPECT_DOUBLE_EQ(scale->GetMax(), 0.2);
  EXPECT_DOUBLE_EQ(scale->Value(), 0.2);
  scale->SetMax(1e-12);
  EXPECT_DOUBLE_EQ(scale->GetMin(), 1e-12);
  EXPECT_DOUBLE_EQ(scale->Value(), 1e-12);
  EXPECT_EQ(origins, (std::vector<TWhoChanged>{wcvCommand, wcvProgram, wcvProgram, wcvProgram}));
  // Mid is used inside the limits.
  scale->SetMax(1);
  scale->SetMid(5);
  EXPECT_EQ(scale->GetMid(), 1);
}

TEST_F(NumericItemsTest, ReconfigureReplacesTheRangeAndTellsTheControls) {
  control.Bind(nacq);
  Exec("ACQ:NACQ 1000");
  control.updates = 0;
  std::vector<TWhoChanged> origins;
  nacq->OnChange = [&](THandler& h) { origins.push_back(h.GetWhoChanged()); };
  nacq->Reconfigure("pts", vfGeneral, 1, 16, 512, sr1_2_5, 0, srNone, 0, {}, {});
  EXPECT_EQ(nacq->Value(), 512);
  EXPECT_EQ(origins, (std::vector<TWhoChanged>{wcvProgram}));
  EXPECT_GE(control.updates, 2);  // the value changed, then the new range
  EXPECT_EQ(Exec("ACQ:NACQ?"), "ACQ:NACQ 512 pts");
  EXPECT_FALSE(nacq->HasFineStep());
  // The resolution grows to a millionth of a millionth of the range, and shrinks to half
  // the fine step.
  scale->Reconfigure("s", vfEngineering, 0, 1, 1e6, sr1_2_5, 0, srRelative, 0.001, {}, {});
  EXPECT_DOUBLE_EQ(scale->GetTolerance(), 1e-6);
  scale->Reconfigure("s", vfEngineering, 0, 1, 1, srQuantised, 0.1, srQuantised, 1e-9, {}, {});
  EXPECT_DOUBLE_EQ(scale->GetTolerance(), 5e-10);
}

TEST_F(NumericItemsTest, ColoursFollowHighlightAndTheColourSource) {
  // Without a source: white on black, yellow on red when highlighted.
  control.Bind(nacq);
  EXPECT_EQ(nacq->GetTextColor(), 0xFFFFFFu);
  control.updates = 0;
  nacq->SetHighlight(true);
  nacq->SetHighlight(true);  // no change, no repaint
  EXPECT_EQ(nacq->GetTextColor(), 0x00FFFFu);
  EXPECT_EQ(nacq->GetBackColor(), 0x0000FFu);
  EXPECT_EQ(control.updates, 1);

  // Colour items of the display sources; the opacity byte is not part of the colour.
  std::vector<TIntEditHandler*> colours;
  for (int i = 0; i < kDisplaySourceCount; ++i) {
    colours.push_back(RootSpider->AddIntEdit(static_cast<int32_t>(0x32000000u + 0x10101u * i),
                                             "Displ:Color:C" + std::to_string(i), kNoColour, "", vfGeneral, 0,
                                             0, 5592405, 1694498815, srQuantised, 4095, srQuantised, 1));
    DisplayColorNodes[static_cast<size_t>(i)] = colours.back();
  }
  auto* offset = RootSpider->AddDoubleEdit("Chan:Offset", static_cast<uint8_t>(TTraceId::Ch2), 0, "V",
                                           vfEngineering, 4, -1, 0, 1, srLinear, 0.1, srLinear, 0.001, 1e-6);
  EXPECT_EQ(offset->GetTextColor(), 0x10101u * 2);
  EXPECT_EQ(offset->GetBackColor(), 0x10101u * kDisplaySourceScreen);
  // A change of the source's colour or of the screen colour repaints the edit.
  offsetControl.Bind(offset);
  offsetControl.updates = 0;
  colours[2]->SetValueByProgram(0x0000AB);
  EXPECT_EQ(offset->GetTextColor(), 0xABu);
  colours[kDisplaySourceScreen]->SetValueByProgram(0x123456);
  EXPECT_EQ(offset->GetBackColor(), 0x123456u);
  EXPECT_EQ(offsetControl.updates, 2);
  // A change of source rebinds: XY shows colour item 15, and Ch2's colour no longer counts.
  offset->SetColorSource(static_cast<uint8_t>(TTraceId::XY));
  colours[2]->SetValueByProgram(0x0000CD);
  EXPECT_EQ(offset->GetTextColor(), 0x10101u * 15);
  DisplayColorNodes.fill(nullptr);
}

}  // namespace
}  // namespace norv::test
