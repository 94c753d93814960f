// The histogram as a user and a remote client meet it: "Hist:" commands change what the
// pass accumulates and shows, "Hist:Res" answers with the texts of the bottom strip, and
// the bars and the window appear on the screen.

#include "measure/hist/hist_settings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "display/display_test_support.h"
#include "display/scope_crt.h"
#include "framework/settings/numeric_handlers.h"
#include "framework/settings/value_text.h"
#include "instrument/acquisition/acquisition_hooks.h"
#include "instrument/record/signal_obj.h"
#include "instrument/startup/dispatchers.h"
#include "measure/hist/hist_objects.h"
#include "support/every_unit.h"
#include "support/fake_clock.h"
#include "support/settings_tree_fixture.h"

namespace norv {
namespace {

// Ch1 holds 512 points at 1024 codes per volt. The first 500, which the vertical window
// spans (columns 0..500 of 512), are at codes 400, 500 and 600 on a quarter, a half and a
// quarter of them: mean code 500, deviation sqrt(5000) = 70.7 codes. The rest lie off the
// screen.
double ValueOfCode(double code) { return (512 - code) / 1024.0; }

class HistSettingsTest : public test::SettingsTreeTest {
 protected:
  void SetUp() override {
    FreshProgramState();
    test::RegisterEveryUnit();
    ScopeCRT = std::make_unique<TScopeCRT>(&font, &clock, clock);
    ScopeCRT->PlaceScreen(0, 0, 504, 804);
    test::ApplyEveryUnit();
    InstallHistSettings();
    // Ch1 is shown, as after its first acquisition.
    ScopeCRT->GetDotLayer(TTraceId::Ch1);
    TSignalObj& r = SignalObjs()[TTraceId::Ch1];
    r.SetRecLen(512);
    r.SetX0(1e-9);
    r.SetDX(1e-11);
    r.SetVertScale(0.125);
    r.SetVertOffset(0);
    r.SetVertUnit("V");
    for (int i = 0; i < 512; ++i)
      r.SetY(i, ValueOfCode(i >= 500 ? 2000 : i % 4 == 0 ? 400 : i % 4 == 2 ? 600 : 500));
  }
  // One acquisition as the cycle ends it.
  static void Acquire(int n = 1) {
    for (int k = 0; k < n; ++k)
      if (AcqHooks.HistogramActive()) AcqHooks.UpdateHistogram(AcqHooks.HistAxis());
  }
  static std::string Res(const std::string& key) { return Exec("Hist:Res? " + key); }
  // The number of a result text in its unit.
  static double ResNumber(const std::string& key, std::string_view unit) {
    return ReadEngineeringNumber(Res(key), unit).value_or(-1e300);
  }
  static int Value(const std::string& path) {
    return dynamic_cast<TIntEditHandler*>(RootSpider->FindHandler(path))->Value();
  }

  test::FakeClock clock;
  test::TReadableFont font;
};

TEST_F(HistSettingsTest, CommandsChangeWhatThePassCounts) {
  Exec("Header Off");
  Exec("Hist:Axis Vert");
  Acquire(3);
  struct TStep {
    std::string Commands;  // before two more acquisitions
    double Waveforms, InBox, Peak, Mean, Mean1S;
  };
  const double mean = ValueOfCode(500);
  const TStep steps[] = {
      {"", 5, 5 * 500, 5 * 250, mean, 50},
      // Accumulation stops at the set count; raising it resumes.
      {"Hist:RunUntil Wfms;:Hist:NWfm 6", 6, 6 * 500, 6 * 250, mean, 50},
      {"Hist:NWfm 7", 7, 7 * 500, 7 * 250, mean, 50},
      // A window from screen Y 600 (88 codes above the centre, typed in volts) down covers
      // codes 424..1022 and leaves out code 400.
      {"Hist:RunUntil StopSingle;:Hist:WVert:Top 85.9375m", 9, 9 * 375, 9 * 250, ValueOfCode(533.33), 66.667},
      {"Hist:RunUntil Samples;:Hist:NSample 500", 9, 9 * 375, 9 * 250, ValueOfCode(533.33), 66.667},
      // The weighted mode caps the tallest bin at the weight, at once.
      {"Hist:RunUntil StopSingle;:Hist:Mode Exponent;:Hist:Weight 64", 11, 96, 64, ValueOfCode(533.33),
       66.667},
  };
  for (const TStep& s : steps) {
    SCOPED_TRACE(s.Commands);
    Exec(s.Commands);
    Acquire(2);
    EXPECT_EQ(ResNumber("Wfm", "Wfms"), s.Waveforms);
    EXPECT_EQ(ResNumber("InBox", "Hits"), s.InBox);
    EXPECT_EQ(ResNumber("Peak", "Hits"), s.Peak);
    EXPECT_NEAR(ResNumber("MEAN", "V"), s.Mean, 1e-4);
    EXPECT_NEAR(ResNumber("Mean1S", "%"), s.Mean1S, 1e-2);
  }
  // A horizontal histogram counts by time inside its own window: codes 400..600 lie in
  // screen Y 424..624, and the window spans X 1000..3000 (columns 125..375); its edges
  // are typed in volts and seconds.
  Exec("Hist:Mode Normal;RunUntil StopSingle;Axis Horiz;WHor:Top 183.59375m;Bottom -207.03125m");
  Exec("Hist:WHor:Right 4.75n");
  EXPECT_EQ(Value("Hist:WHor:Top"), 700);
  EXPECT_EQ(Value("Hist:WHor:Bottom"), 300);
  EXPECT_EQ(Value("Hist:WHor:Right"), 3000);
  Acquire();
  EXPECT_EQ(ResNumber("InBox", "Hits"), 12 * 251);
  EXPECT_NEAR(ResNumber("Min", "s"), 1e-9 + 125e-11, 1e-15);
  EXPECT_NEAR(ResNumber("Max", "s"), 1e-9 + 375e-11, 1e-15);
  EXPECT_NEAR(ResNumber("Mean", "s"), 1e-9 + 250e-11, 1e-15);
}

TEST_F(HistSettingsTest, ResultQueriesAndTheirTexts) {
  Exec("Hist:Axis Vert");
  Acquire(4);
  Exec("Header Off");
  struct TCase {
    std::string Param, Reply;
  };
  const TCase cases[] = {
      {"Wfm", "4 Wfms"},        {"InBox", "2000 Hits"},
      {"Peak", "1000 Hits"},    {"PP", "195.31 mV"},  // 200 codes
      {"Median", "11.719 mV"},                        // code 500
      {"Max-Max", "97.656 mV"},                       // from the main level to an outer one
      {"Max", "109.38 mV"},     {"Min", "-85.938 mV"},
      {"StdDev", "69.053 mV"},  // 70.71 codes
      {"Mean2S", "100 %"},      {"mean3s", "100 %"},
      {"Mean", "11.719 mV"},    {"Average", "BAD PARAMETER"},
  };
  for (const TCase& c : cases) EXPECT_EQ(Res(c.Param), c.Reply) << c.Param;
  EXPECT_EQ(Exec("Hist:Res 1"), "");
  EXPECT_EQ(Exec("Hist:Data? VERT"), "");
  EXPECT_EQ(Exec("Hist:Data? Hor"), "");
  EXPECT_EQ(Exec("Hist:Data? Both"), " ERROR");
  // With the header the parameter follows the path; the texts stay until the next pass.
  Exec("Header On");
  Exec("Hist:WVert:Top 85.9375m");
  EXPECT_EQ(Res("Wfm"), "HIST:RES:Wfm 4 Wfms");
  Acquire();
  EXPECT_EQ(Res("Wfm"), "HIST:RES:Wfm 5 Wfms");
}

// A window without a hit has no values: each reads "  Undefined" as any measurement
// without a result does, in the strip and by query alike, and only the counts say 0 (the
// formatter's zero is " 0 "). The default horizontal window (screen Y 504..520) lies
// between the levels at Y 424, 524 and 624; the vertical one is moved above them.
TEST_F(HistSettingsTest, AnEmptyWindowHasNoValues) {
  Exec("Header Off");
  struct TCell {
    const char* Key;  // of "Hist:Res"; none for the scale cells
    int Column, Row;
    std::string Text;
  };
  const std::string undefined = "  Undefined";
  const TCell cells[] = {
      {"InBox", 1, 3, " 0 Hits"},     {"Peak", 2, 1, " 0 Hits"},    {"PP", 2, 2, undefined},
      {"Median", 2, 3, undefined},    {"Mean", 2, 4, undefined},    {"StdDev", 3, 1, undefined},
      {"Mean1S", 3, 2, undefined},    {"Mean2S", 3, 3, undefined},  {"Mean3S", 3, 4, undefined},
      {"Min", 1, 5, undefined},       {"Max-Max", 2, 5, undefined}, {"Max", 3, 5, undefined},
      {nullptr, 1, 1, " 0 Hits/div"}, {nullptr, 1, 2, " 0 Hits"},
  };
  for (const char* setup :
       {"Hist:Axis Horiz", "Hist:Axis Vert;Limits Independ;Units Percent;WVert:Bottom 98"}) {
    SCOPED_TRACE(setup);
    Exec(setup);
    Acquire();
    clock.Advance(1000);  // the strip's lines written since the last are drawn
    for (const TCell& c : cells) {
      SCOPED_TRACE(c.Key ? c.Key : "scale");
      if (c.Key) {
        EXPECT_EQ(Res(c.Key), c.Text);
      }
      EXPECT_EQ(
          test::ReadCell(ScopeCRT->BottomText(), TNizText::GetHistCellRect(c.Column, c.Row, false)).Text,
          "= " + c.Text);
    }
    EXPECT_EQ(test::ReadCell(ScopeCRT->BottomText(), TNizText::GetHistCellRect(2, 5, true)).Text, "Max-Max");
  }
}

TEST_F(HistSettingsTest, BarsWindowAndTheOtherAnalyses) {
  Exec("Hist:Axis Vert");
  Acquire();
  TScopeCRT& crt = *ScopeCRT;
  auto* bars = dynamic_cast<THistLayer*>(crt.GetSignalLayer(TTraceId::Hist));
  ASSERT_NE(bars, nullptr);
  // Auto scale: 20 % of the peak per division, so the peak bar spans five of ten divisions
  // and each outer level half of that.
  const int peak = bars->BarLength(bars->BinPosition(500));
  EXPECT_NEAR(peak, bars->MaxX() / 2, 2);
  EXPECT_NEAR(bars->BarLength(bars->BinPosition(400)), peak / 2, 2);
  EXPECT_NE(dynamic_cast<THistWindowLayer*>(crt.OverlayLayer(1)), nullptr);
  Exec("Hist:ScaleMode Manual;VertScale 50");
  EXPECT_NEAR(bars->BarLength(bars->BinPosition(500)), bars->MaxX() / 5, 2);
  Exec("Hist:Display Off");
  EXPECT_EQ(crt.OverlayLayer(1), nullptr);
  // Another analysis taking over switches the histogram off, its layers and counts go.
  SwitchOffOtherAnalyses(8);
  EXPECT_EQ(Exec("Hist:Axis?"), "HIST:AXIS OFF");
  EXPECT_EQ(crt.GetSignalLayer(TTraceId::Hist), nullptr);
  EXPECT_EQ(FullHist().SampleCount(), 0u);
  EXPECT_TRUE(RootSpider->FindHandler("Hist:Mode")->IsDisabled());
}

TEST_F(HistSettingsTest, WindowEdgesPairedAndIndependent) {
  Exec("Hist:Axis Vert");
  // Edges typed as shares of the screen: X in 40ths, Y in percent of 1024.
  Exec("Hist:Units Percent");
  Exec("Header Off");
  // Paired: moving the left or top edge moves the window whole, its far edge stopping at
  // the screen's end.
  Exec("Hist:WVert:Left 25;:Hist:WVert:Right 50;:Hist:WVert:Left 75");
  EXPECT_EQ(Value("Hist:WVert:Left"), 3000);
  EXPECT_EQ(Value("Hist:WVert:Right"), 4000);
  EXPECT_EQ(Exec("Hist:WVert:Right?"), "100 %");
  Exec("Hist:WVert:Top 75;:Hist:WVert:Bottom 50;:Hist:WVert:Top 62.5");
  EXPECT_EQ(Value("Hist:WVert:Top"), 640);
  EXPECT_EQ(Value("Hist:WVert:Bottom"), 384);
  // Independent: an edge stops at its opposite one.
  Exec("Hist:Limits Independ;:Hist:WVert:Right 25");
  EXPECT_EQ(Value("Hist:WVert:Right"), 3000);
  Exec("Hist:WVert:Bottom 90");
  EXPECT_EQ(Value("Hist:WVert:Bottom"), 640);
}

}  // namespace
}  // namespace norv
