// The display settings as a user and a remote client meet them: a command sets a node and
// the screen control shows it.

#include "display/settings/display_settings.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <numbers>
#include <string>
#include <vector>

#include "display_test_support.h"
#include "framework/settings/numeric_handlers.h"
#include "framework/traces/display_sources.h"
#include "instrument/acquisition/acquisition_hooks.h"
#include "instrument/record/signal_obj.h"
#include "support/every_unit.h"
#include "support/fake_clock.h"
#include "support/settings_tree_fixture.h"

namespace norv {
namespace {

class DisplaySettingsTest : public test::SettingsTreeTest {
 protected:
  void SetUp() override { Start(); }

  // The program at work: every unit registered, the screen area made, then everything
  // applied as at a connection.
  void Start() {
    FreshProgramState();
    test::RegisterEveryUnit();
    MakeScreen();
    test::ApplyEveryUnit();
    InstallDisplaySettings();
  }
  void MakeScreen() {
    ScopeCRT = std::make_unique<TScopeCRT>(&font, &clock, clock);
    ScopeCRT->PlaceScreen(0, 0, 504, 804);  // panel 800 x 500
  }
  static TScopeCRT& Crt() { return *ScopeCRT; }
  static TDisplaySettingsState& S() { return DisplaySettings(); }
  static std::string Style(TTraceId id) { return DisplayStyleName(GetTraceStyle(id)); }
  static double Value(const std::string& path) {
    return dynamic_cast<TEditHandler*>(RootSpider->FindHandler(path))->GetFloatValue();
  }
  // The trace's layer as the point store asks for it.
  static TScreenLayer* DrawnLayer(TTraceId id) {
    AcqHooks.TraceLayer(id, TAcqLayerKind::Dots);
    return Crt().GetSignalLayer(id);
  }
  // A flat record at the centre row of the trace's layer; the composed pixel at point 100.
  static TColorRef ProbeFlatTrace(TTraceId id) {
    IAcqLayer* layer = AcqHooks.TraceLayer(id, TAcqLayerKind::Dots);
    layer->SetSignalScale(512, 0, 1);
    for (int i = 0; i < 512; ++i) layer->PutSample(i, 0);
    const auto* trace = dynamic_cast<TParentSignalLayer*>(Crt().GetSignalLayer(id));
    const auto [x, y] = trace->GetPointCell(100);
    return test::PixelAt(*trace->GetScreen(), x, y);
  }

  test::FakeClock clock;
  test::TBlockFont font;
};

TEST_F(DisplaySettingsTest, EachNodeSetByCommandReachesTheScreen) {
  struct Row {
    const char* what;
    std::vector<const char*> commands;
    std::function<void()> check;
  };
  const std::vector<Row> rows = {
      {"three screens, the XY one square; rectangles worked out by hand",
       {"DISPL:FORMAT COMB2YTXY"},
       [] {
         ASSERT_EQ(Crt().ScreenCount(), 3);
         EXPECT_EQ(Crt().XYScreenNo(), 3);
         const int expected[3][4] = {{9, 36, 772, 97}, {9, 136, 772, 97}, {311, 236, 177, 177}};
         for (int n = 1; n <= 3; ++n) {
           const TSignalScreen& s = *Crt().Screen(n);
           EXPECT_EQ((std::vector{s.Left(), s.Top(), s.Width(), s.Height()}),
                     std::vector(std::begin(expected[n - 1]), std::end(expected[n - 1])))
               << n;
         }
         EXPECT_TRUE(SignalsOn.IsOn(TTraceId::XY));
         EXPECT_FALSE(S().XAxis->IsDisabled());
       }},
      {"dual and quad YT place each trace by its Screen2 or Screen4 node",
       {"DISPL:SCREEN2:CH2 2", "DISPL:FORMAT 2YT", "DISPL:SCREEN2:CH1 2", "DISPL:SCREEN4:CH1 4"},
       [] {
         EXPECT_EQ(Crt().SignalScreenOf(TTraceId::Ch1), 2) << "the Screen4 node moves nothing in dual YT";
         EXPECT_EQ(Crt().SignalScreenOf(TTraceId::Ch2), 2);
         EXPECT_EQ(Crt().SignalScreenOf(TTraceId::F1), 1);
         EXPECT_FALSE(S().Screen2[0]->IsDisabled());
         EXPECT_TRUE(S().Screen4[0]->IsDisabled());
         EXPECT_FALSE(SignalsOn.IsOn(TTraceId::XY));
         RootSpider->ExecCommandLine("DISPL:FORMAT 4YT", false);
         EXPECT_EQ(Crt().ScreenCount(), 4);
         EXPECT_EQ(Crt().SignalScreenOf(TTraceId::Ch1), 4);
         EXPECT_EQ(Crt().SignalScreenOf(TTraceId::Ch2), 2);  // its default: (2 div 2) mod 4 + 1
       }},
      {"styles pick the layer class of the next draw",
       {"DISPL:TRACEMODE PERTRACE", "DISPL:CH1:STYLE VECTORS", "DISPL:CH2:STYLE ICOLORGRAD"},
       [] {
         EXPECT_NE(dynamic_cast<TVectorSignalLayer*>(DrawnLayer(TTraceId::Ch1)), nullptr);
         EXPECT_NE(dynamic_cast<TColorGrSignalLayer*>(DrawnLayer(TTraceId::Ch2)), nullptr);
         EXPECT_EQ(Crt().RefreshTime(TTraceId::Ch2), 0) << "infinite grade never restarts";
       }},
      {"the persistence time reaches the layer, in hundredths",
       {"DISPL:CH1:STYLE VARPERSIST", "DISPL:CH1:PERSISTTIME 5"},
       [] {
         auto* layer = dynamic_cast<TPersistSignalLayer*>(DrawnLayer(TTraceId::Ch1));
         ASSERT_NE(layer, nullptr);
         EXPECT_EQ(layer->PersistTime(), 500u);
         RootSpider->ExecCommandLine("DISPL:CH1:PERSISTTIME 0.5", false);
         EXPECT_EQ(layer->PersistTime(), 50u);
       }},
      {"infinite persistence stays infinite when the time node changes",
       {"DISPL:CH1:STYLE INFINPERS", "DISPL:CH1:PERSISTTIME 5"},
       [] {
         auto* layer = dynamic_cast<TPersistSignalLayer*>(DrawnLayer(TTraceId::Ch1));
         ASSERT_NE(layer, nullptr);
         EXPECT_TRUE(layer->Infinite());
       }},
      {"the graticule style on every screen",
       {"DISPL:FORMAT 2YT", "DISPL:GRATIC FRAME"},
       [] {
         for (int n = 1; n <= 2; ++n) EXPECT_EQ(Crt().Graticule(n)->Style(), TGraticStyle::Frame) << n;
         RootSpider->ExecCommandLine("DISPL:FORMAT 4YT", false);
         EXPECT_EQ(Crt().Graticule(4)->Style(), TGraticStyle::Frame) << "a screen made later";
       }},
      {"a trace colour on its drawn pixels and the screen colour behind everything",
       {"DISPL:CH1:STYLE DOTS", "DISPL:GRATIC OFF"},
       [] {
         EXPECT_EQ(ProbeFlatTrace(TTraceId::Ch1), 0x80FFFFu);
         RootSpider->ExecCommandLine("DISPL:COLOR:CH1 255", false);
         EXPECT_EQ(ProbeFlatTrace(TTraceId::Ch1), 0x0000FFu);
         RootSpider->ExecCommandLine("DISPL:COLOR:SCREEN 1056816", false);  // 0x102030
         EXPECT_EQ(Crt().Screen(1)->Image().Pixel(300, 3), 0x102030u);
       }},
      {"grade colours: node N is grade 6 - N of a colour-grade layer",
       {"DISPL:CH1:STYLE VCOLORGRAD", "DISPL:GRADECLR1 1193046", "DISPL:GRADECLR5 65793"},
       [] {
         auto* layer = dynamic_cast<TColorGrSignalLayer*>(DrawnLayer(TTraceId::Ch1));
         ASSERT_NE(layer, nullptr);
         EXPECT_EQ(layer->GradeColour(5) & 0xFFFFFFu, 0x123456u);
         EXPECT_EQ(layer->GradeColour(1) & 0xFFFFFFu, 0x010101u);
         RootSpider->ExecCommandLine("DISPL:GRADEDEFCOL", false);
         EXPECT_EQ(layer->GradeColour(5) & 0xFFFFFFu, 0xFFFFFFu);
         EXPECT_EQ(layer->GradeColour(1) & 0xFFFFFFu, 0x00AE00u);
       }},
      {"default colours: the current item only, then all",
       {"DISPL:COLOR:CH1 255", "DISPL:COLOR:CH2 255", "DISPL:DEFAULTCLR:CURRENT"},
       [] {
         EXPECT_EQ(Value("Displ:Color:Ch1"), 0x80FFFF);
         EXPECT_EQ(Value("Displ:Color:Ch2"), 255);
         RootSpider->ExecCommandLine("DISPL:DEFAULTCLR:ALL", false);
         EXPECT_EQ(Value("Displ:Color:Ch2"), 0xFFFF80);
       }},
      {"locked: a style spreads to every trace but the memories, with its refresh time",
       {"DISPL:TRACEMODE ALLLOCKED", "DISPL:CH1:REFRESHTIME 50", "DISPL:CH1:STYLE VCOLORGRAD"},
       [] {
         for (TTraceId id : {TTraceId::Ch2, TTraceId::F4, TTraceId::S2, TTraceId::XY}) {
           EXPECT_EQ(Style(id), "VColorGrad") << GetTraceShortName(id);
           EXPECT_EQ(Crt().RefreshTime(id), 50) << GetTraceShortName(id);
           EXPECT_EQ(Crt().GradeKind(id), 0) << GetTraceShortName(id);
         }
         EXPECT_EQ(Style(TTraceId::M2), "Dots");
         EXPECT_TRUE(S().TraceSel->IsDisabled());
       }},
      {"locked: a command on another trace spreads from that trace",
       {"DISPL:TRACEMODE ALLLOCKED", "DISPL:F2:STYLE VARGRAYSCAL", "DISPL:F2:REFRESHTIME 100"},
       [] {
         EXPECT_EQ(Style(TTraceId::Ch1), "VarGrayScal");
         EXPECT_EQ(Value("Displ:Ch1:RefreshTime"), 100);
         EXPECT_EQ(Crt().GradeKind(TTraceId::Ch1), 1);
       }},
      {"locked: a memory trace chosen is replaced by Ch1",
       {"DISPL:TRACEMODE PERTRACE", "CH1:DISPLAY ON", "DISPL:TRACESEL M2", "DISPL:TRACEMODE ALLLOCKED"},
       [] { EXPECT_EQ(SelectedDisplayTrace(), TTraceId::Ch1); }},
      {"Reset All on the selected trace",
       {"DISPL:TRACEMODE PERTRACE", "DISPL:TRACESEL CH2", "DISPL:CH2:STYLE DOTS", "DISPL:CH2:PERSISTTIME 10",
        "DISPL:RESETALL"},
       [] {
         EXPECT_EQ(Style(TTraceId::Ch2), "VarPersist");
         EXPECT_EQ(Value("Displ:Ch2:PersistTime"), 2);
         EXPECT_EQ(Crt().PersistTime(TTraceId::Ch2), 2);
       }},
      {"the XY axes refuse what is no waveform record",
       {"DISPL:FORMAT XY", "DISPL:XAXIS F1"},
       [] {
         EXPECT_EQ(RootSpider->ExecCommandLine("DISPL:XAXIS XY", false), "ERROR");
         EXPECT_EQ(RootSpider->ExecCommandLine("DISPL:YAXIS HIST", false), "ERROR");
         EXPECT_EQ(S().XAxis->GetSource(), TTraceId::F1);
         EXPECT_EQ(S().YAxis->GetSource(), TTraceId::Ch2);
       }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Start();
    for (const char* command : row.commands) EXPECT_EQ(Exec(command), "") << command;
    row.check();
  }
}

TEST_F(DisplaySettingsTest, ColourItemShowsAndSetsTheOpacityAndComesToTheTop) {
  TRadioSwHandler& item = *S().ColorItem;
  TIntEditHandler& transparency = *S().Transpar;
  item.SetIndexBySwitcher(kDisplaySourceHistogram);  // 50 % opaque
  EXPECT_FALSE(transparency.IsDisabled());
  EXPECT_EQ(transparency.Value(), 50);
  transparency.SetValueBySwitcher(30);
  EXPECT_EQ(Value("Displ:Color:Histogram"), 0x460000FF) << "70 % opaque, the colour kept";
  item.SetIndexBySwitcher(0);  // Ch1 has no opacity control
  EXPECT_TRUE(transparency.IsDisabled());
  EXPECT_EQ(transparency.Value(), 0);
  transparency.SetValueBySwitcher(40);
  EXPECT_EQ(Value("Displ:Color:Ch1"), 0x80FFFF);

  item.SetIndexBySwitcher(kDisplaySourceGraticule);
  S().SetOnTop->ExecCmd("", false, false);
  EXPECT_EQ(Crt().Screen(1)->OnTopLayer(), 30);
  item.SetIndexBySwitcher(kDisplaySourceScreen);  // no layer: nothing changes
  S().SetOnTop->ExecCmd("", false, false);
  EXPECT_EQ(Crt().Screen(1)->OnTopLayer(), 30);
}

// A setup recalled while every change is forced (no link runs) still gives the screen
// each trace's persistence time, refresh time and grade kind.
TEST_F(DisplaySettingsTest, StylesRecalledUnderForceNotifySetTheScreensTimesAndGrades) {
  Exec("DISPL:TRACEMODE PERTRACE");
  struct Row {
    TTraceId id;
    const char* style;
    double persist, refresh;
    int kind;
  };
  const Row rows[] = {
      {TTraceId::Ch1, "INFINPERS", 1e6, -1, -1}, {TTraceId::Ch2, "VARPERSIST", 7, -1, -1},
      {TTraceId::F1, "VARGRAYSCAL", -1, 40, 1},  {TTraceId::F2, "INFGRAYSCAL", -1, 0, 1},
      {TTraceId::F3, "VCOLORGRAD", -1, 40, 0},   {TTraceId::F4, "ICOLORGRAD", -1, 0, 0},
      {TTraceId::XY, "INFGRAYSCAL", -1, 0, 1},
  };
  std::vector<std::string> setup;
  for (const Row& r : rows) {
    const std::string base = "DISPL:" + DisplayNodeName(r.id) + ":";
    setup.push_back(base + "STYLE " + r.style);
    setup.push_back(base + "PERSISTTIME 7");
    setup.push_back(base + "REFRESHTIME 40");
  }
  // Screen parameters that the recall must replace.
  for (const Row& r : rows) {
    Crt().SetPersistTime(r.id, 3);
    Crt().SetRefreshTime(r.id, 3);
    Crt().SetGradeKind(r.id, r.kind == 1 ? 0 : 1);
  }
  ForceNotify = true;
  EXPECT_EQ(RootSpider->LoadSettings(setup), std::vector<std::string>{});
  ForceNotify = false;
  for (const Row& r : rows) {
    SCOPED_TRACE(r.style);
    if (r.persist >= 0) {
      EXPECT_EQ(Crt().PersistTime(r.id), r.persist);
    }
    if (r.refresh >= 0) {
      EXPECT_EQ(Crt().RefreshTime(r.id), r.refresh);
    }
    if (r.kind >= 0) {
      EXPECT_EQ(Crt().GradeKind(r.id), r.kind);
    }
  }
}

// Locked traces share the spread values, but a memory trace's time is its own; a recalled
// setup gives every node its line, not what a later line would spread.
TEST_F(DisplaySettingsTest, LockedSetupLoadsEachNodesOwnValue) {
  const std::vector<std::string> setup = {"DISPL:TRACEMODE ALLLOCKED", "DISPL:CH1:STYLE VARPERSIST",
                                          "DISPL:CH1:PERSISTTIME 3", "DISPL:M1:PERSISTTIME 9",
                                          "DISPL:S1:PERSISTTIME 3"};
  EXPECT_EQ(RootSpider->LoadSettings(setup), std::vector<std::string>{});
  EXPECT_EQ(Value("Displ:M1:PersistTime"), 9);
  EXPECT_EQ(Value("Displ:F1:PersistTime"), 2) << "no line for it, nothing spread to it";
}

TEST_F(DisplaySettingsTest, XYNodesAnswerAsXYAndTakeTheOlderSpelling) {
  EXPECT_EQ(Exec("DISPL:XY:STYLE?"), "DISPL:XY:STYLE VARPERSIST");
  // Lines of older setups and clients.
  const std::vector<std::string> old = {"DISPL:???:STYLE DOTS", "Displ:???:PersistTime 5",
                                        "DISPL:???:REFRESHTIME 50", "DISPL:SCREEN2:??? 2",
                                        "DISPL:SCREEN4:??? 3"};
  EXPECT_EQ(RootSpider->LoadSettings(old), std::vector<std::string>{});
  std::vector<std::string> dump;
  RootSpider->DumpSettings(dump);
  for (const char* line : {"DISPL:XY:STYLE DOTS", "DISPL:XY:PERSISTTIME 5 (s)", "DISPL:XY:REFRESHTIME 50 (s)",
                           "DISPL:SCREEN2:XY 2", "DISPL:SCREEN4:XY 3"})
    EXPECT_NE(std::find(dump.begin(), dump.end(), line), dump.end()) << line;
  for (const std::string& line : dump) EXPECT_EQ(line.find('?'), std::string::npos) << line;
  EXPECT_EQ(Exec("DISPL:???:STYLE VECTORS"), "");
  EXPECT_EQ(Exec("DISPL:XY:STYLE?"), "DISPL:XY:STYLE VECTORS");
  // Queries end at the mark as ever; the database style keeps its name.
  EXPECT_EQ(Exec("DISPL:DBSTYLE?"), "DISPL:DBSTYLE INFGRAYSCAL");
}

TEST_F(DisplaySettingsTest, StyleControlBindsTheDatabaseStyleFromTheRoot) {
  const auto bound = [](const std::string& mnemonics) {
    return mnemonics[0] == ':' ? RootSpider->FindHandler(mnemonics.substr(1))
                               : RootSpider->FindHandler(DisplayPanelGroup() + ":" + mnemonics);
  };
  Exec("DISPL:TRACEMODE PERTRACE");
  Exec("DISPL:TRACESEL XY");
  EXPECT_EQ(bound(StyleControlMnemonics()), S().Traces[TraceIndex(TTraceId::XY)].Style);
  EXPECT_EQ(bound(TimeControlMnemonics()), S().Traces[TraceIndex(TTraceId::XY)].PersistTime);
  SetDatabase(true, "eye.db");
  EXPECT_EQ(StyleControlMnemonics(), ":Displ:DBStyle");
  EXPECT_EQ(bound(StyleControlMnemonics()), S().DBStyle);
}

// Two sines a quarter period apart trace a circle of their amplitude.
TEST_F(DisplaySettingsTest, XYOfTwoSinesIsTheirLissajousCircle) {
  Exec("DISPL:FORMAT XY");
  Exec("DISPL:XY:STYLE DOTS");
  constexpr double kAmplitude = 2;  // divisions, at one unit per division
  for (TTraceId id : {TTraceId::Ch1, TTraceId::Ch2}) {
    TSignalObj& r = SignalObjs()[id];
    r.SetRecLen(512);
    r.SetVertScale(1);
    r.SetVertOffset(0);
    for (int i = 0; i < 512; ++i) {
      const double phase = 2 * std::numbers::pi * i / 512;
      r.SetY(i, kAmplitude * (id == TTraceId::Ch1 ? std::sin(phase) : std::cos(phase)));
    }
  }
  AcqHooks.RedrawXYScreen();
  auto* layer = dynamic_cast<TSimpleSignalLayer*>(Crt().GetSignalLayer(TTraceId::XY));
  ASSERT_NE(layer, nullptr);
  // Eight divisions over the height: the radius is a quarter of it.
  const int c = layer->CentreRow();
  const double radius = layer->MaxY() / 4.0;
  const int r = static_cast<int>(std::lround(radius));
  EXPECT_EQ(layer->GetPointCell(0), (std::pair{c, c - r}));    // X 0, Y at its top
  EXPECT_EQ(layer->GetPointCell(128), (std::pair{c + r, c}));  // X at its right
  EXPECT_EQ(layer->GetPointCell(256), (std::pair{c, c + r}));
  EXPECT_EQ(layer->GetPointCell(384), (std::pair{c - r, c}));
  for (int i = 0; i < 512; ++i) {
    const auto [x, y] = layer->GetPointCell(i);
    EXPECT_NEAR(std::hypot(x - c, y - c), radius, 1.0) << i;
  }
  const TSignalScreen& screen = *Crt().Screen(Crt().XYScreenNo());
  EXPECT_EQ(screen.Image().Pixel(c, c - r), 0xFFFFFFu) << "the XY colour";
}

TEST_F(DisplaySettingsTest, XYRedrawWithoutPointsOrWithANonRecordSourceDoesNothing) {
  Exec("DISPL:FORMAT XY");
  Exec("DISPL:XY:STYLE DOTS");
  SignalObjs()[TTraceId::Ch2].SetRecLen(0);
  EXPECT_NO_THROW(RedrawXYScreen());
  EXPECT_EQ(Crt().GetSignalLayer(TTraceId::XY), nullptr);
  SignalObjs()[TTraceId::Ch2].SetRecLen(512);
  S().XAxis->SetSourceByProgram(TTraceId::XY);
  EXPECT_NO_THROW(RedrawXYScreen());
  EXPECT_EQ(Crt().GetSignalLayer(TTraceId::XY), nullptr);
  S().XAxis->SetSourceByProgram(TTraceId::Ch1);
  RedrawXYScreen();
  EXPECT_NE(Crt().GetSignalLayer(TTraceId::XY), nullptr);
  // Without an XY screen (the format has none) the call is harmless too.
  Exec("DISPL:FORMAT YT");
  EXPECT_NO_THROW(RedrawXYScreen());
}

}  // namespace
}  // namespace norv
