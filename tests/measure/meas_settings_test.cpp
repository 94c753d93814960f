// The "Meas:" nodes driving the slots through the whole program: commands add and remove
// measurements, the simulator's acquisitions are evaluated at the end of each cycle, the
// strip shows the results, "Meas:Res" answers them, and the owner's labels land on the
// screen.

#include "measure/meas_settings.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <numeric>
#include <string>
#include <tuple>
#include <vector>

#include "display/display_hooks.h"
#include "display/display_test_support.h"
#include "display/scope_crt.h"
#include "framework/settings/choice_handlers.h"
#include "framework/settings/numeric_handlers.h"
#include "framework/settings/value_text.h"
#include "framework/traces/display_sources.h"
#include "instrument/acquisition/acquisition_cycle.h"
#include "instrument/link/link_state.h"
#include "instrument/simulator/simulator.h"
#include "measure/meas_routines.h"
#include "measure/meas_slots.h"
#include "measure/meas_state.h"
#include "support/every_unit.h"
#include "support/fake_clock.h"
#include "support/fake_settings_link.h"
#include "support/settings_tree_fixture.h"

namespace norv::test {
namespace {

constexpr auto Ch1 = TTraceId::Ch1, Ch2 = TTraceId::Ch2;

class MeasSettingsTest : public SettingsTreeTest {
 protected:
  void SetUp() override {
    SettingsTreeTest::SetUp();
    InstallMeasurements();
    RegisterEveryUnit();
    ApplyEveryUnit();
    MeasHooks.SourceShown.Set([](TTraceId id) { return id == Ch1 || id == Ch2; });
    ScopeCRT = std::make_unique<TScopeCRT>(&font, nullptr, clock);
    ScopeCRT->PlaceScreen(0, 0, 500, 800);
    SetProgramClock(clock);
    GuiReady = true;
    sim.SimSetChannels(4);
    sim.SimSetRecLen(512);
    sim.SimSetNAvg(1);
    // Five periods of the 100 MHz sine in a record.
    sim.SimSetTimeDiv(5e-9);
    Exec("TB:SCALEA 5 n");
    cycle.SetSimSource(&source);
    cycle.ConnectToLink();
  }
  void TearDown() override {
    ScopeCRT.reset();
    SettingsTreeTest::TearDown();
  }

  void Single() {
    SingleFlag = true;
    for (int steps = 0; (RunFlag || SingleFlag) && steps < 100000; ++steps) cycle.AcquisitionIdleStep();
    ASSERT_FALSE(SingleFlag);
  }
  // The number of a value text ("412.3 mV").
  static double Number(const std::string& text) { return ReadEngineeringNumber(text).value_or(-1e300); }
  // What the engine gives for a measurement of the records as they are now.
  static double Engine(TTraceId source, uint8_t group, uint8_t index) {
    TParameterOfMeas probe(source, index, group, Ch2);
    auto saved = std::move(MeasState.MeasParams);
    const int8_t count = MeasState.MeasParamCount;
    MeasState.MeasParams = {};
    MeasState.MeasParams[0] = std::make_unique<TParameterOfMeas>(source, index, group, Ch2);
    MeasState.MeasParamCount = 1;
    const int owner = MeasState.Ann.SelectedParamLine;
    MeasState.Ann.SelectedParamLine = -1;
    MeasureSource(source, mrNewData);
    double value = 0;
    std::string unit;
    CalcParameter(0, value, unit);
    MeasState.MeasParams = std::move(saved);
    MeasState.MeasParamCount = count;
    MeasState.Ann.SelectedParamLine = owner;
    return value;
  }
  static uint32_t Mask(const char* path) {
    return static_cast<TCheckSwHandler*>(RootSpider->FindHandler(path))->GetMask();
  }
  // The item of a slot's menu, chosen as the user does: a right click on its caption.
  static void ChooseFromMenu(const std::string& item, int slot) {
    const TRect caption = TNizText::GetMeasCellRect(slot, true);
    ScopeCRT->BottomText().MouseDown(TMouseButton::Right, caption.Left + 4, caption.Top + 4);
    ScopeCRT->BottomText().ChoosePopupItem(item);
  }
  static std::vector<std::string> Captions() {
    std::vector<std::string> c;
    for (int n = 0; n < MeasState.MeasParamCount; ++n) c.push_back(MeasCaption(*MeasSlot(n)));
    return c;
  }
  // Pixels of the colour in a strip cell.
  static int Ink(TRect r, TColorRef colour) {
    int n = 0;
    for (int y = r.Top; y < r.Bottom; ++y)
      for (int x = r.Left; x < r.Right; ++x) n += ScopeCRT->BottomText().Image().Pixel(x, y) == colour;
    return n;
  }

  FakeSettingsLink link;
  TBlockFont font;
  FakeClock clock;
  TRandomSource random{11};
  TSimulator sim{random};
  TSimulatorRecordSource source{sim};
  TAcquisitionCycle cycle{clock, clock};
};

TEST_F(MeasSettingsTest, ResultsOfSimulatedAcquisitionsAgreeWithTheEngine) {
  Exec("MEAS:DISPLAY PARAM");
  Exec("MEAS:CH1:YPARAM AMPL,MEAN;:MEAS:CH1:XPARAM PERIOD;:MEAS:CH2:YPARAM PP");
  ASSERT_EQ(MeasState.MeasParamCount, 4);
  for (int k = 0; k < 3; ++k) Single();
  struct Row {
    int slot;
    TTraceId source;
    uint8_t group, index;
    const char* unit;
  };
  const Row rows[] = {{1, Ch1, mgAmplitude, amAmplitude, "V"},
                      {2, Ch1, mgAmplitude, amMean, "V"},
                      {3, Ch1, mgTime, tmPeriod, "s"},
                      {4, Ch2, mgAmplitude, amPeakPeak, "V"}};
  for (bool header : {true, false}) {
    Exec(header ? "HEADER ON" : "HEADER OFF");
    for (const Row& row : rows) {
      SCOPED_TRACE(testing::Message() << "slot " << row.slot << (header ? " header" : ""));
      const std::string reply = Exec("MEAS:RES? " + std::to_string(row.slot));
      const std::string prefix = header ? "MEAS:RES:" + std::to_string(row.slot) + " " : "";
      ASSERT_EQ(reply.substr(0, prefix.size()), prefix) << reply;
      const double expected = Engine(row.source, row.group, row.index);
      ASSERT_FALSE(IsUndefined(expected));
      EXPECT_NEAR(Number(reply.substr(prefix.size())), expected, 5e-4 * std::abs(expected)) << reply;
      EXPECT_EQ(reply.back(), row.unit[0] == 's' ? 's' : 'V') << reply;
    }
  }

  // Statistic display: the mean over the acquisitions against the values stored.
  // (Off forgets the statistics gathered so far.)
  Exec("HEADER OFF;MEAS:DISPLAY OFF;:MEAS:DISPLAY STATISTIC");
  std::vector<double> means;
  for (int k = 0; k < 5; ++k) {
    Single();
    means.push_back(MeasSlot(1)->Value);
  }
  const double mean = std::accumulate(means.begin(), means.end(), 0.0) / 5;
  EXPECT_EQ(Exec("MEAS:RES? 2:WFM"), "5");
  EXPECT_NEAR(Number(Exec("MEAS:RES? 2:MEAN")), mean, 5e-4 * std::abs(mean));
  const auto [lo, hi] = std::minmax_element(means.begin(), means.end());
  EXPECT_NEAR(Number(Exec("MEAS:RES? 2:MINIMUM")), *lo, 5e-4 * std::abs(*lo));
  EXPECT_NEAR(Number(Exec("MEAS:RES? 2:max")), *hi, 5e-4 * std::abs(*hi));
}

TEST_F(MeasSettingsTest, ResQueriesAnswerEveryCaseWithItsText) {
  EXPECT_EQ(Exec("MEAS:RES? 1"), "MEAS:RES:1 Measure OFF");
  Exec("MEAS:DISPLAY PARAM;:MEAS:CH1:YPARAM MAX,MIN;:MEAS:CH2:XPARAM FREQ");
  Exec("HEADER OFF");
  const std::string list = Exec("MEAS:RES? LIST");
  // (The interpreter drops the last line end of a reply.)
  EXPECT_EQ(list, "\r\n1  " + Captions()[0] + "\r\n2  " + Captions()[1] + "\r\n3  " + Captions()[2]);
  struct Row {
    const char* argument;
    std::string reply;
  };
  for (const Row& row :
       {Row{"0", "INVALID NUMBER OF PARAMETER"}, Row{"4", "INVALID NUMBER OF PARAMETER"},
        Row{"X", "INVALID NUMBER OF PARAMETER"}, Row{"2:MEAN", "NO STATISTIC OF MEASUREMENTS"},
        Row{"1", std::string(UndefinedValueText)}}) {
    EXPECT_EQ(Exec(std::string("MEAS:RES? ") + row.argument), row.reply) << row.argument;
  }
  Exec("MEAS:DISPLAY STATISTIC");
  EXPECT_EQ(Exec("MEAS:RES? 1:WFM"), "NO STATISTIC OF MEASUREMENTS") << "before the first result";
  Single();
  MeasSlot(0)->TestedCount = 7;
  for (const Row& row : {Row{"1:FOO", "BAD STATISTIC PARAMETER"}, Row{"1:WFM", "1"}, Row{"1:TESTWFM", "7"},
                         Row{"1:STDDEV", std::string(UndefinedValueText)}}) {
    EXPECT_EQ(Exec(std::string("MEAS:RES? ") + row.argument), row.reply) << row.argument;
  }
  // The latest result undefined (stored without a unit): the statistics keep the unit of
  // the measurement (a maximum of Ch1, in volts).
  Single();
  MeasSlot(0)->Value = UndefinedValue;
  MeasSlot(0)->UnitText.clear();
  for (const char* argument : {"1:MIN", "1:MAX", "1:MEAN", "1:STDDEV"}) {
    const std::string reply = Exec(std::string("MEAS:RES? ") + argument);
    EXPECT_TRUE(reply.ends_with("V") && reply.find(UndefinedValueText) == std::string::npos)
        << argument << ": " << reply;
  }
  // A set does nothing.
  EXPECT_EQ(Exec("MEAS:RES 1"), "");
}

TEST_F(MeasSettingsTest, CheckSetsKeepTheSlotListInStep) {
  Exec("MEAS:DISPLAY PARAM");
  // Eleven: the first goes, and its button with it.
  Exec("MEAS:CH1:YPARAM MAX,MIN,PP,TOP,BASE,AMPL,MIDDLE,MEAN,DCRMS,ACRMS");
  ASSERT_EQ(MeasState.MeasParamCount, 10);
  Exec("MEAS:CH2:YPARAM MEAN");
  EXPECT_EQ(MeasState.MeasParamCount, 10);
  EXPECT_EQ(MeasSlot(0)->Index, amMinimum);
  EXPECT_EQ(MeasSlot(9)->Source, Ch2);
  EXPECT_EQ(Mask("MEAS:CH1:YPARAM") & 1u, 0u);
  // The newest slot holds the labels.
  EXPECT_EQ(MeasState.Ann.SelectedParamLine, 9);

  // Statistic keeps four: those beyond go, the fifth added evicts the first.
  Exec("MEAS:DISPLAY STATISTIC");
  ASSERT_EQ(MeasState.MeasParamCount, 4);
  EXPECT_EQ(Mask("MEAS:CH2:YPARAM"), 0u);
  Exec("MEAS:CH2:XPARAM PERIOD");
  EXPECT_EQ(MeasState.MeasParamCount, 4);
  EXPECT_EQ(MeasSlot(0)->Index, amPeakPeak);
  EXPECT_EQ(Mask("MEAS:CH1:YPARAM"), (1u << amPeakPeak) | (1u << amTop) | (1u << amBase));

  // A jitter measurement of Ch2 removes those of Ch1.
  Exec("MEAS:DISPLAY PARAM;:MEAS:CLEARALL");
  EXPECT_EQ(MeasState.MeasParamCount, 0);
  Exec("MEAS:CH1:XPARAM POSJITTERPP,NEGJITTERRMS;:MEAS:CH1:YPARAM MEAN");
  Exec("MEAS:CH2:XPARAM POSJITTERRMS");
  EXPECT_EQ(Mask("MEAS:CH1:XPARAM"), 0u);
  EXPECT_EQ(MeasState.MeasParamCount, 2);
  EXPECT_EQ(MeasSlot(0)->Index, amMean);

  // Removing a slot below the owner moves the owner down with it.
  Exec("MEAS:CLEARALL;:MEAS:CH1:YPARAM MAX,MIN,PP");
  MeasPopupItemClick("Annot", 2);
  ASSERT_EQ(MeasState.Ann.SelectedParamLine, 2);
  MeasPopupItemClick("Remove", 0);
  EXPECT_EQ(MeasState.Ann.SelectedParamLine, 1);
  EXPECT_EQ(Captions().size(), 2u);
  // The menu's removal is an undo step of its own: one undo gives back that line only.
  StartUndo();
  Exec("MEAS:CH1:XPARAM PERIOD");
  ChooseFromMenu("Remove", 0);
  ReplayUndoStep(false);
  EXPECT_EQ(Mask("MEAS:CH1:YPARAM"), (1u << amMinimum) | (1u << amPeakPeak));
  EXPECT_NE(Mask("MEAS:CH1:XPARAM"), 0u) << "the line added before stays";
  // So is the set-up view's removal.
  Exec("Header Off;:MEAS:VIEW ON");
  Exec("MEAS:CH2:YPARAM MAX");
  ChooseFromMenu("DelDefParam", 0);
  ASSERT_EQ(Exec("MEAS:VIEW?"), "OFF");
  ReplayUndoStep(false);
  EXPECT_EQ(Exec("MEAS:VIEW?") + Exec("MEAS:CH2:YPARAM?"), "ONMAX");
}

// Dragging the set-up lines on the screen writes the nodes of the source shown.
TEST_F(MeasSettingsTest, DraggedSetupLinesChangeTheirNodes) {
  Exec("MEAS:DISPLAY PARAM;:MEAS:CH1:YPARAM AMPL");
  Single();
  const TMeasSourceNodes& n = MeasSettings().Sources[0];
  // The measured base becomes the node when the method turns to Marker.
  const std::string base =
      std::to_string(std::lround(SignalObjs()[Ch1].ValueToScreenY(MeasState.Frames[0].Base)));
  struct Case {
    TMeasLine line;
    int ux, uy;
    std::string expected;
  };
  const Case cases[] = {
      {TMeasLine::Top, 0, 900, "top 900 base " + base + " method 2"},
      {TMeasLine::Base, 0, 100, "top 900 base 100 method 2"},
      // (600 - 100) / (900 - 100) of the span.
      {TMeasLine::Middle, 0, 600, "mid 600 62.5% thresh 2"},
      // Not below the middle one.
      {TMeasLine::Upper, 0, 300, "up 601 62.6% thresh 2"},
      {TMeasLine::Left, 1000, 0, "left 1000 right 4000"},
      // Not past the right margin.
      {TMeasLine::Left, 4000, 0, "left 1000 right 4000"},
      {TMeasLine::Right, 3000, 0, "left 1000 right 3000"},
  };
  for (const Case& c : cases) {
    DisplayHooks.MeasLineDragged(c.line, c.ux, c.uy);
    char text[80];
    switch (c.line) {
      case TMeasLine::Top:
      case TMeasLine::Base:
        std::snprintf(text, sizeof text, "top %d base %d method %d", n.Top->Value(), n.Base->Value(),
                      GetIndex(n.Method));
        break;
      case TMeasLine::Middle:
        std::snprintf(text, sizeof text, "mid %d %.1f%% thresh %d", n.Thresholds[1]->Value(),
                      n.Percents[1]->Value(), GetIndex(n.Thresh));
        break;
      case TMeasLine::Upper:
        std::snprintf(text, sizeof text, "up %d %.1f%% thresh %d", n.Thresholds[0]->Value(),
                      n.Percents[0]->Value(), GetIndex(n.Thresh));
        break;
      default:
        std::snprintf(text, sizeof text, "left %d right %d", n.LeftMarker->Value(), n.RightMarker->Value());
    }
    EXPECT_EQ(std::string(text), c.expected) << static_cast<int>(c.line) << " to " << c.ux << ", " << c.uy;
  }
}

TEST_F(MeasSettingsTest, StripLinesShowCaptionsValuesAndStatistics) {
  Exec("MEAS:DISPLAY PARAM;:MEAS:CH1:YPARAM AMPL;:MEAS:CH2:YPARAM MEAN");
  Single();
  const TColorRef ch1 = GetDisplaySourceRGB(Ch1), ch2 = GetDisplaySourceRGB(Ch2);
  EXPECT_GT(Ink(TNizText::GetMeasCellRect(0, true), ch1), 0);
  EXPECT_GT(Ink(TNizText::GetMeasCellRect(0, false), ch1), 0);
  EXPECT_GT(Ink(TNizText::GetMeasCellRect(1, false), ch2), 0);
  EXPECT_EQ(Ink(TNizText::GetMeasCellRect(2, true), ch1), 0);

  Exec("MEAS:DISPLAY STATISTIC");
  Single();
  EXPECT_GT(Ink(TNizText::GetLineCellRect(-1, 6), 0xFFFFFF), 0) << "the header";
  for (int column : {1, 2, 3, 4, 5, 6})
    EXPECT_GT(Ink(TNizText::GetLineCellRect(0, column), ch1), 0) << column;
  // The picture takes the minimum and maximum columns, and waits for its values.
  DisplayHooks.ToggleHisticon(0);
  ASSERT_TRUE(MeasSlot(0)->Statistics->Icon().Visible);
  EXPECT_TRUE(MeasSlot(0)->Statistics->Icon().CaptionShown);

  // Each statistic cell reads as "Meas:Res" answers: the cell is unchanged when that answer
  // is written over it. After a clear, and with the latest result undefined (stored without
  // a unit).
  DisplayHooks.ToggleHisticon(0);
  Exec("HEADER OFF");
  TNizText& strip = ScopeCRT->BottomText();
  const auto pixels = [&](TRect r) {
    std::vector<uint32_t> cell;
    for (int y = r.Top; y < r.Bottom; ++y)
      for (int x = r.Left; x < r.Right; ++x) cell.push_back(strip.Image().Pixel(x, y));
    return cell;
  };
  const auto showsAnswer = [&](int column, const std::string& argument) {
    const TRect r = TNizText::GetLineCellRect(0, column);
    const std::vector<uint32_t> shown = pixels(r);
    strip.WriteLine(Exec("MEAS:RES? 1:" + argument), r, -1, ch1);
    return shown == pixels(r);
  };
  ResetMeasStatistics();
  ShowSlotStatistics(0);
  EXPECT_TRUE(showsAnswer(4, "MIN")) << "cleared";
  EXPECT_TRUE(showsAnswer(5, "MAX")) << "cleared";
  EXPECT_TRUE(showsAnswer(6, "MEAN")) << "cleared";
  EXPECT_TRUE(showsAnswer(7, "STDDEV")) << "cleared";
  Single();
  Single();
  MeasSlot(0)->Value = UndefinedValue;
  MeasSlot(0)->UnitText.clear();
  ShowSlotStatistics(0);
  int column = 4;
  for (const char* argument : {"MIN", "MAX", "MEAN", "STDDEV"})
    EXPECT_TRUE(showsAnswer(column++, argument)) << argument;
}

// The thresholds keep Up > Mid > Low by 0.1 % whichever way a value comes in.
TEST_F(MeasSettingsTest, ThresholdsKeepTheirOrderHoweverEntered) {
  const TMeasSourceNodes& n = MeasSettings().Sources[0];
  TEditHandler &up = *n.Percents[0], &low = *n.Percents[2];
  const std::tuple<const char*, TEditHandler&, std::function<void()>, double> cases[] = {
      {"typed", low, [&] { low.SetValueBySwitcher(60); }, 49.9},
      {"Max", low, [&] { low.SetToLimitBySwitcher(lcMax); }, 49.9},
      {"Mid", low, [&] { low.SetToLimitBySwitcher(lcMid); }, 49.9},
      {"Min", up, [&] { up.SetToLimitBySwitcher(lcMin); }, 50.1},
      {"arrows", low, [&] { low.StepUp(), low.StepUp(); }, 49.9},
      {"command", low, [] { Exec("MEAS:CH1:LOWTHPERC MAX"); }, 49.9},
      {"recall", low, [] { RootSpider->LoadSettings({"MEAS:CH1:LOWTHPERC 50.2 (%)"}); }, 49.9},
  };
  for (const auto& [way, h, enter, value] : cases) {
    RootSpider->LoadSettings({"MEAS:CH1:THRESH CUSTOM", "MEAS:CH1:UPTHPERC 90", "MEAS:CH1:MIDTHPERC 50",
                              "MEAS:CH1:LOWTHPERC 49.8"});
    enter();
    EXPECT_NEAR(h.GetValue(), value, 1e-9) << way;
  }
}

// The left peak takes 1 .. 40 whatever the right one holds; the right one stays above it.
// The margins keep each other in order both ways.
TEST_F(MeasSettingsTest, PeakNumbersOfASpectrumSource) {
  Exec("Header Off");
  struct Case {
    const char* commands;
    const char* pair;  // "Peak" or "FFT": its Left and Right nodes
    int left, right;
  };
  const Case cases[] = {
      {"PeakLeft 40", "Peak", 40, 41},
      {"PeakLeft 5;PeakRight 6", "Peak", 5, 6},
      {"PeakRight 10;PeakLeft 20", "Peak", 20, 21},
      {"PeakLeft 7;PeakRight 2", "Peak", 7, 8},
      {"PeakLeft 0;PeakRight 50", "Peak", 1, 41},
      {"FFTRight 100;FFTLeft 200", "FFT", 99, 100},
  };
  for (const Case& c : cases) {
    Exec("Meas:S1:PeakLeft 1;PeakRight 3;FFTLeft 1;FFTRight 4000");
    Exec(std::string("Meas:S1:") + c.commands);
    const std::string node = std::string("Meas:S1:") + c.pair;
    EXPECT_EQ(Number(Exec(node + "Left?")), c.left) << c.commands;
    EXPECT_EQ(Number(Exec(node + "Right?")), c.right) << c.commands;
  }
}

// A trace switched on or off (the histogram off) leaves the readout's names and headings.
TEST_F(MeasSettingsTest, CaptionsStayWhileTracesAreSwitched) {
  Exec("MEAS:CH1:XPARAM PERIOD,FREQ");
  const TColorRef ch1 = GetDisplaySourceRGB(Ch1);
  struct Cell {
    TRect rect;
    TColorRef ink;
  };
  struct Case {
    const char* display;
    std::vector<Cell> cells;
  };
  const Case cases[] = {
      {"PARAM", {{TNizText::GetMeasCellRect(0, true), ch1}, {TNizText::GetMeasCellRect(1, true), ch1}}},
      {"STATISTIC",
       {{TNizText::GetLineCellRect(-1, 2), 0xFFFFFF},
        {TNizText::GetLineCellRect(0, 1), ch1},
        {TNizText::GetLineCellRect(1, 1), ch1}}},
  };
  for (const Case& c : cases) {
    Exec(std::string("MEAS:DISPLAY ") + c.display);
    for (const char* line : {"", "F1:DISPLAY ON", "F1:DISPLAY OFF", "M1:DISPLAY ON", "M1:DISPLAY OFF"}) {
      Exec(line);
      Single();
      for (const Cell& cell : c.cells)
        EXPECT_GT(Ink(cell.rect, cell.ink), 0) << c.display << " after \"" << line << "\"";
    }
  }
}

TEST_F(MeasSettingsTest, OwnerLabelsLandAtTheMeasuredPlaces) {
  Exec("MEAS:DISPLAY PARAM;:MEAS:CH1:YPARAM MAX");
  Exec("MEAS:CH1:YPARAM MAX,MIN");
  ASSERT_EQ(MeasState.Ann.SelectedParamLine, 1);
  const auto check = [&](bool maximum) {
    Single();
    TAnnotationLayer* layer = ScopeCRT->AnnotationLayer(1);
    ASSERT_NE(layer, nullptr);
    ASSERT_TRUE(layer->LabelActive(1));
    // The extreme of the record, found here sample by sample.
    const TSignalObj& rec = SignalObjs()[Ch1];
    int best = 0;
    for (int i = 1; i < rec.GetShownCount(); ++i) {
      const double a = rec.GetY(i), b = rec.GetY(best);
      if (maximum ? a > b : a < b) best = i;
    }
    const int col = layer->UnitsToColumn(std::lround(rec.ShownIndexToScreenX(best)));
    const int row = layer->UnitsToRow(std::lround(rec.ValueToScreenY(rec.GetY(best))));
    // Placement 0: the text box to the left of the anchor, above it unless near the top.
    EXPECT_EQ(layer->BoxLeft(1), col - 17 - layer->BoxWidth(1)) << maximum;
    EXPECT_EQ(layer->BoxTop(1), row > 25 ? row - 22 : row + 5) << maximum;
    EXPECT_EQ(layer->PixelColor(layer->BoxLeft(1), layer->BoxTop(1)), TAnnotationLayer::kColours[3]);
  };
  check(false);
  // The other slot takes the labels from its line's menu.
  MeasPopupItemClick("Annot", 0);
  EXPECT_EQ(MeasState.Ann.SelectedParamLine, 0);
  check(true);
  // A trace switched on changes the screens the labels stand on: they go.
  Exec("F1:DISPLAY ON");
  EXPECT_EQ(ScopeCRT->AnnotationLayer(1), nullptr);
}

}  // namespace
}  // namespace norv::test
