// The view of the derived and stored traces: "Zoom:" command lines typed in the units
// shown, the record's display fields they give, the limits of the horizontal window, a
// rectangle zoomed and a trace panned (values worked out by hand from the screen's ten
// divisions across and eight up), and a memory's view on load and copy.

#include "analysis/zoom.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "analysis/derived_signals.h"
#include "app/program_units.h"
#include "display/display_hooks.h"
#include "display/display_test_support.h"
#include "display/scope_crt.h"
#include "framework/settings/handler.h"
#include "framework/settings/numeric_handlers.h"
#include "instrument/acquisition/acquisition_state.h"
#include "instrument/record/signal_obj.h"
#include "instrument/settings/timebase_settings.h"
#include "instrument/startup/program_folders.h"
#include "shell/save/save_recall.h"
#include "support/assertion_text.h"
#include "support/every_unit.h"
#include "support/fake_clock.h"
#include "support/fake_dialogs.h"
#include "support/settings_tree_fixture.h"

namespace norv::test {
namespace {

constexpr auto F1 = TTraceId::F1, M1 = TTraceId::M1, S1 = TTraceId::S1;

class ZoomTest : public SettingsTreeTest {
 protected:
  void SetUp() override {
    SettingsTreeTest::SetUp();
    InitDataFolders();
    RegisterEveryUnit();
    ApplyEveryUnit();
    InstallProgramUnits();
    SetDialogs(&dialogs);
    ScopeCRT = std::make_unique<TScopeCRT>(&font, nullptr, clock);
    ScopeCRT->PlaceScreen(0, 0, 500, 800);
    Exec("Header Off");
    // F1: 512 points, 100 ps apart (5 ns/div), 0.1 V/div about 20 mV.
    Fill(F1, 512, 1e-10, 0.1, 0.02, false);
    Fill(S1, 4096, 1e6, 1, 0, true);
    Fill(M1, 512, 1e-10, 0.1, 0, false);
    for (TTraceId t : {F1, S1, M1}) SignalsOn.SetOn(t, true);
    ResetAllZooms();
    ApplyDerivedSignalZoom(F1);  // F1's record stands for its calculated one
  }
  void TearDown() override {
    ScopeCRT.reset();
    SettingsTreeTest::TearDown();
  }

  static void Fill(TTraceId id, int length, double dx, double voltsPerDiv, double offset, bool spectrum) {
    TSignalObj& r = SignalObjs()[id];
    r.SetRecLen(static_cast<uint16_t>(length));
    r.SetSpectrum(spectrum);
    r.SetDX(dx);
    r.SetVertScale(voltsPerDiv);
    r.SetVertOffset(offset);
    r.SetVertUnit("V");
    r.SetHorUnit(spectrum ? "Hz" : "s");
    for (int i = 0; i < length; ++i) {
      r.SetY(i, std::sin(i * 0.1));
      r.SetIm(i, spectrum ? std::cos(i * 0.1) : 0);
    }
  }
  static TSignalObj& Rec(TTraceId id) { return SignalObjs()[id]; }
  static double Value(const std::string& path) {
    return dynamic_cast<TEditHandler&>(*RootSpider->FindHandler(path)).GetValue();
  }
  static double Max(const std::string& path) {
    return dynamic_cast<TEditHandler&>(*RootSpider->FindHandler(path)).GetMax();
  }
  static bool Disabled(const std::string& path) { return RootSpider->FindHandler(path)->IsDisabled(); }

  FakeDialogs dialogs;
  TBlockFont font;
  FakeClock clock;
};

// Values are typed as they are shown (per division of the screen, at the screen's centre),
// stored as factors of the record, and copied into the record before it is drawn.
TEST_F(ZoomTest, CommandLinesSetTheViewInShownUnits) {
  Exec("Zoom:F1:HorScale 1.25n");  // a quarter of the 5 ns/div
  EXPECT_DOUBLE_EQ(Value("Zoom:F1:HorScale"), 0.25);
  // 128 points shown; 125 of them on the ten divisions, plus one.
  EXPECT_EQ(LimitHorizontalZoom(F1), 126);
  EXPECT_EQ(Max("Zoom:F1:HorPosition"), 512 - 126);
  Exec("Zoom:F1:HorPosition 5n");  // 50 points of 100 ps
  EXPECT_EQ(Value("Zoom:F1:HorPosition"), 50);
  Exec("Zoom:F1:HorPosition 1u");
  EXPECT_EQ(Value("Zoom:F1:HorPosition"), 386);
  Exec("Zoom:F1:VertScale 50m");  // half of 0.1 V/div
  EXPECT_DOUBLE_EQ(Value("Zoom:F1:VertScale"), 0.5);
  EXPECT_EQ(Exec("Zoom:F1:VertScale?"), "50 mV/div");
  Exec("Zoom:F1:Offset 120m");  // 120 mV at the centre: (0.12 - 0.02) / 0.1 divisions down
  EXPECT_DOUBLE_EQ(Value("Zoom:F1:Offset"), -1.0);

  DrawSignalToLayer(F1);
  const TSignalObj& r = Rec(F1);
  EXPECT_EQ(r.GetZoomStep(), 4);
  EXPECT_EQ(r.GetShownCount(), 128);
  EXPECT_EQ(r.GetFirstShown(), 386);
  EXPECT_DOUBLE_EQ(r.GetEffScale(), 0.05);
  EXPECT_DOUBLE_EQ(r.GetEffOffset(), 0.12);
  EXPECT_DOUBLE_EQ(r.GetDisplayValue(0), std::sin(38.6));
  // A changed view is a changed presentation: the derived trace is drawn again.
  Exec("F1:Operat Invert;:F1:Source1 Ch1");
  DerivedSignals().Calculated[TraceIndex(F1)] = DerivedDefinition(F1);
  DerivedSignalStates[TraceIndex(TTraceId::Ch1)] = dssDrawn;
  EXPECT_FALSE(NeedsRecalc(F1));
  Exec("Zoom:F1:Offset 0");
  EXPECT_TRUE(NeedsRecalc(F1));
}

// A typed horizontal scale takes the power of two it is drawn at (the nearest, as a typed
// entry of the page does), and the window's limit follows it; texts carry the digits of
// their node, however the shown value came out of the record's scales.
TEST_F(ZoomTest, TypedValuesAreShownAsDrawn) {
  Fill(F1, 512, 1e-10, 0.3, 0.02, false);
  Fill(TTraceId::M2, 512, 2e-10, 0.1, 0, false);  // 10 ns/div
  Fill(TTraceId::M3, 512, 2e-10, 0.5, 0.2, false);
  const struct {
    const char* Command;
    std::string Reply;
    bool ThenCalculated = false;  // the function's record comes after the line
  } cases[] = {
      // 0.3 of 5 ns/div is 0.06, nearest 1/16: 32 points shown, 31.25 (31) + 1 on the screen.
      {"Zoom:F1:HorScale 0.3n", "312.5 ps/div"},
      {"Zoom:F1:HorPosition 2.2n", "2.2 ns"},  // 22 points of 100 ps
      {"Zoom:F1:VertScale 0.7", "700 mV/div"},
      {"Zoom:F1:Offset 70m", "70 mV"},
      {"Zoom:F1:HorScale 2.9n", "2.5 ns/div"},
      // A time typed before the function's record is one of the record it is calculated into.
      {"F2:Display On;:F2:Operat Invert;:F2:Source1 M2;:Zoom:F2:HorScale 2.5n", "2.5 ns/div", true},
      // And held to it: 11 points of 200 ps, as 501 of its 512 fill the screen.
      {"F3:Display On;:F3:Operat Invert;:F3:Source1 M2;:Zoom:F3:HorPosition 20n", "2.2 ns", true},
      {"F3:Display On;:F3:Operat Smoothing;:F3:Source1 M2;:Zoom:F3:HorScale 2.5n;:Zoom:F3:HorPosition 4n",
       "4 ns", true},  // 20 points of 200 ps
      // Not one of the record of its definition before (5 ns/div).
      {"F1:Operat Invert;:F1:Source1 M2;:Zoom:F1:HorScale 2.5n", "2.5 ns/div", true},
      {"Zoom:M4:HorScale 2.5n", "M4 has no record yet"},
      // So are the vertical ones, also where the definition before had other volts.
      {"F4:Display On;:F4:Operat Invert;:F4:Source1 M2;:Zoom:F4:VertScale 50m", "50 mV/div", true},
      {"F4:Source1 M3;:Zoom:F4:Offset 30m", "30 mV", true},  // inverted M3: -0.2 V, 0.5 V/div
      {"Zoom:M4:Offset 30m", "M4 has no record yet"},
      {"Zoom:S2:VertScale 1", "S2 has no record yet"},
  };
  for (const auto& c : cases) {
    const std::string command(c.Command);
    const size_t last = command.rfind(";:") == std::string::npos ? 0 : command.rfind(";:") + 2;
    const std::string path = command.substr(last, command.find(' ', last) - last);
    const TTraceId trace = FindZoomSource(*RootSpider->FindHandler(path));
    const double before = Value(path);
    const TDialogsSuppressed client;  // a refusal is the line's error
    if (const std::string refusal = AssertionText([&] { Exec(command); }); refusal != "no assertion") {
      EXPECT_EQ(refusal, c.Reply) << command;
      EXPECT_EQ(Value(path), before) << command;
      continue;
    }
    EXPECT_EQ(Exec(path + "?"), c.Reply) << command;
    if (c.ThenCalculated) {
      ASSERT_TRUE(CalcFunctionSignal(TraceIndex(trace) - TraceIndex(F1))) << command;
      EXPECT_EQ(Exec(path + "?"), c.Reply) << command;
    }
    if (path.ends_with("HorScale")) {
      DrawSignalToLayer(trace);
      EXPECT_EQ(Rec(trace).GetZoomStep(), 1 / Value(path)) << command;
    }
    if (c.Reply == "312.5 ps/div") {
      EXPECT_EQ(Max("Zoom:F1:HorPosition"), 512 - 32);
    }
  }
}

// The window of a spectrum covers at most half of its bins, and at least eight points
// stay shown.
TEST_F(ZoomTest, HorizontalWindowLimits) {
  EXPECT_DOUBLE_EQ(Value("Zoom:S1:HorScale"), 0.5);
  // 2048 bins shown, 2000 + 1 on the ten divisions, of the first half.
  EXPECT_EQ(Max("Zoom:S1:HorPosition"), 2048 - 2001);
  Exec("Zoom:S1:HorScale Max");
  EXPECT_DOUBLE_EQ(Value("Zoom:S1:HorScale"), 0.5);

  Exec("Zoom:M1:HorScale Min");  // 1/128 of 512 points would be 4
  EXPECT_DOUBLE_EQ(Value("Zoom:M1:HorScale"), 1.0 / 128);
  ApplyZoomToRecord(M1);
  EXPECT_EQ(Rec(M1).GetZoomStep(), 64);
  EXPECT_EQ(LimitHorizontalZoom(M1), 9);  // 8 points, 7.8 on the ten divisions

  // The last point of a 4096-point record in the window: drawing stops at the record's end.
  Fill(F1, 4096, 1e-10, 0.1, 0, false);
  ResetAllZooms();
  Exec("Zoom:F1:HorPosition Max");
  EXPECT_EQ(Value("Zoom:F1:HorPosition"), 4096 - 4001);
  EXPECT_NO_THROW(DrawSignalToLayer(F1));
  EXPECT_TRUE(ScopeCRT->HasSignalLayer(F1));
}

// Phase view: its scale and position instead of the linear ones and the dB view's choice.
TEST_F(ZoomTest, ControlsFollowTheView) {
  Exec("Zoom:S1:ComplexScale Phase");
  EXPECT_FALSE(Disabled("Zoom:S1:PhaseScale") || Disabled("Zoom:S1:OffsPhase"));
  EXPECT_TRUE(Disabled("Zoom:S1:VScaleType") && Disabled("Zoom:S1:VertScale") && Disabled("Zoom:S1:Offset"));
  // A waveform has no complex view; the suppression level waits for phase suppression.
  EXPECT_TRUE(Disabled("Zoom:F1:Suppress") && Disabled("Zoom:F1:VScaleType"));
  EXPECT_TRUE(Disabled("Zoom:S1:SupprLevel"));
  Exec("Zoom:S1:Suppress Phase");
  EXPECT_FALSE(Disabled("Zoom:S1:SupprLevel"));
}

// A rectangle 0.2 wide and 0.5 high at (0.3, 0.4) on Ch1 and M1, in time base A at 5 ns:
// factor 2 up, 4 across (1 / 0.2 rounded to a power of two); its centre lies
// (0.25 + 0.4 - 0.5) x 8 = 1.2 divisions above the screen's.
TEST_F(ZoomTest, RectangleZoomsTheTimeBaseChannelsAndTraces) {
  Exec("TB:Mode A;:TB:ScaleA 5n;:Ch1:Scale 100m;:Ch1:Offset 0");
  DisplayHooks.ZoomToRectangle({TTraceId::Ch1, M1}, 0.3, 0.2, 0.4, 0.5);
  EXPECT_EQ(Exec("TB:Mode?"), "B");
  EXPECT_NEAR(Value("TB:ScaleB"), 1e-9, 1e-21);
  EXPECT_NEAR(Value("TB:Delay"), 3, 1e-9);
  EXPECT_NEAR(Value("Ch1:Scale"), 0.05, 1e-12);
  EXPECT_NEAR(Value("Ch1:Offset"), -0.12, 1e-12);
  EXPECT_DOUBLE_EQ(Value("Zoom:M1:VertScale"), 0.5);
  EXPECT_NEAR(Value("Zoom:M1:Offset"), -1.2, 1e-9);
  EXPECT_DOUBLE_EQ(Value("Zoom:M1:HorScale"), 0.25);
  // 0.3 of the screen: 1200 of 4096 units over 512 points is 150 points.
  EXPECT_EQ(Value("Zoom:M1:HorPosition"), 150);

  // Again in mode B: the delay moves by the left edge in divisions of B.
  DisplayHooks.ZoomToRectangle({TTraceId::Ch1}, 0.5, 0.5, 0.25, 0.5);
  EXPECT_NEAR(Value("TB:ScaleB"), 0.5e-9, 1e-21);
  EXPECT_NEAR(Value("TB:Delay"), 3 + 1e-9 * 5 / 5e-9, 1e-9);

  // A flat rectangle zooms by 50 (64 as a power of two) and leaves the time base; the full
  // width keeps the window, whose position keeps its limit; a dB view takes the dB steps.
  Exec("Zoom:S1:VScaleType Logaritm;:Zoom:S1:VertDBScale 20");
  DisplayHooks.ZoomToRectangle({M1}, 0, 1, 0.49, 0.01);
  EXPECT_NEAR(Value("TB:ScaleB"), 0.5e-9, 1e-21);
  EXPECT_DOUBLE_EQ(Value("Zoom:M1:VertScale"), 0.5 / 64);
  EXPECT_DOUBLE_EQ(Value("Zoom:M1:HorScale"), 0.25);
  EXPECT_EQ(Max("Zoom:M1:HorPosition"), 386);
  DisplayHooks.ZoomToRectangle({S1}, 0, 1, 0.25, 0.5);
  EXPECT_DOUBLE_EQ(Value("Zoom:S1:VertDBScale"), 10);
}

// A function calculated from the channels on their time axis is zoomed with them by the
// time base and the channels: it keeps its own view. Other traces zoom their view; so does
// every trace when a flat rectangle leaves the time base.
TEST_F(ZoomTest, FunctionsOfTheChannelsFollowThemIntoTheRectangle) {
  Exec("F2:Operat Add;:F2:Source1 Ch1;:F2:Source2 Ch2;:Spectr1:Source Ch1");
  const struct {
    const char* Definition;
    double Height;
    bool Kept;
  } cases[] = {
      {"F1:Operat Add;:F1:Source1 Ch1;:F1:Source2 Ch2", 0.5, true},
      {"F1:Operat Smooth;:F1:Source1 F2", 0.5, true},
      {"F1:Operat IFFT;:F1:Source1 S1", 0.5, true},
      {"F1:Operat Add;:F1:Source1 Ch1;:F1:Source2 Ch2", 0.01, false},
      {"F1:Operat Invert;:F1:Source1 M1", 0.5, false},
      {"F1:Operat Trend;:F1:Source1 Ch1", 0.5, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Definition);
    Exec("TB:Mode A;:TB:ScaleA 5n;:Zoom:F1:VertScale Mid;:Zoom:F1:HorScale 5n;:Zoom:F1:HorPosition 0");
    Exec(c.Definition);
    DisplayHooks.ZoomToRectangle({TTraceId::Ch1, TTraceId::Ch2, F1}, 0.25, 0.25, 0.25, c.Height);
    EXPECT_EQ(Value("Zoom:F1:VertScale") == 1, c.Kept);
    EXPECT_EQ(Value("Zoom:F1:HorScale") == 1, c.Kept);
    EXPECT_EQ(Value("Zoom:F1:HorPosition") == 0, c.Kept);
  }
}

TEST_F(ZoomTest, DraggedTracesPan) {
  Exec("Zoom:F1:HorScale 1.25n;:Zoom:F1:HorPosition 10n");  // a quarter, from point 100
  // A quarter of the height is two divisions of 1 x the record's scale; a fifth of the
  // width is 800 units, 25 of the 128 shown points, moved to the left.
  DisplayHooks.ShiftSignalView(F1, 0.2, 0.25);
  EXPECT_DOUBLE_EQ(Value("Zoom:F1:Offset"), 2);
  EXPECT_EQ(Value("Zoom:F1:HorPosition"), 75);
  DisplayHooks.ShiftSignalView(F1, 0, 0);
  EXPECT_DOUBLE_EQ(Value("Zoom:F1:Offset"), 2);
  // Phase view: 45 degrees per division.
  Exec("Zoom:S1:ComplexScale Phase");
  DisplayHooks.ShiftSignalView(S1, 0, 0.125);
  EXPECT_DOUBLE_EQ(Value("Zoom:S1:OffsPhase"), -45);
  // A channel: its offset by its scale, the delay of B by ten divisions of B in A's.
  Exec("TB:Mode B;:TB:ScaleA 10n;:TB:ScaleB 2n;:Ch2:Scale 200m;:Ch2:Offset 0");
  TimeBaseSettings().Delay->SetValueByProgram(3);  // divisions of A (typed values are times)
  DisplayHooks.ShiftSignalView(TTraceId::Ch2, 0.5, -0.125);
  EXPECT_NEAR(Value("Ch2:Offset"), -0.2, 1e-12);
  EXPECT_NEAR(Value("TB:Delay"), 3 - 2e-9 * 10 * 0.5 / 10e-9, 1e-9);
  DisplayHooks.ShiftSignalView(TTraceId::Ch2, 1, 0);
  EXPECT_NEAR(Value("TB:Delay"), 0, 1e-12);  // not below 0
}

// A memory loaded shows its whole record; one copied from a trace takes its view, and the
// channels' view is the neutral one.
TEST_F(ZoomTest, MemoriesViewOnLoadAndCopy) {
  Exec("Zoom:F1:HorScale 1.25n;:Zoom:F1:HorPosition 20n;:Zoom:F1:VertScale 50m");
  CopySourceToMemory(F1, 0);
  EXPECT_DOUBLE_EQ(Value("Zoom:M1:HorScale"), 0.25);
  EXPECT_EQ(Value("Zoom:M1:HorPosition"), 200);
  EXPECT_DOUBLE_EQ(Value("Zoom:M1:VertScale"), 0.5);
  EXPECT_EQ(Rec(M1).GetZoomStep(), 4);

  ASSERT_TRUE(LoadWaveformBinaryFile(0, MemoryFilePath(0).string(), true));
  EXPECT_DOUBLE_EQ(Value("Zoom:M1:HorScale"), 1);
  EXPECT_EQ(Value("Zoom:M1:HorPosition"), 0);
  EXPECT_DOUBLE_EQ(Value("Zoom:M1:VertScale"), 0.5);  // only the horizontal view resets
  // A spectrum copied into a memory shows half of its bins.
  CopySourceToMemory(S1, 1);
  EXPECT_DOUBLE_EQ(Value("Zoom:M2:HorScale"), 0.5);
  EXPECT_EQ(Max("Zoom:M2:HorScale"), 0.5);
  Rec(TTraceId::Ch1).SetRecLen(512);  // as acquired
  CopySourceToMemory(TTraceId::Ch1, 0);
  EXPECT_DOUBLE_EQ(Value("Zoom:M1:VertScale"), 1);
  EXPECT_DOUBLE_EQ(Value("Zoom:M1:HorScale"), 1);
}

}  // namespace
}  // namespace norv::test
