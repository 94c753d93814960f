// The mask test on the simulated instrument as a remote client drives it: "Mask:" commands
// set the test up, acquisitions count the points of the compared trace, the run-until rule
// ends the run, failed waveforms go to numbered files and "Mask:Res" answers the counts.

#include "tdr_mask/mask_testing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>

#include "app/program_units.h"
#include "display/display_test_support.h"
#include "display/mask_layers.h"
#include "display/scope_crt.h"
#include "framework/settings/choice_handlers.h"
#include "framework/settings/numeric_handlers.h"
#include "framework/settings/program_objects.h"
#include "framework/settings/settings_tree.h"
#include "framework/text/dot_number.h"
#include "framework/traces/display_sources.h"
#include "framework/util/errors.h"
#include "instrument/acquisition/acquisition_state.h"
#include "instrument/link/link_hooks.h"
#include "instrument/link/link_state.h"
#include "instrument/record/signal_obj.h"
#include "instrument/startup/instrument_list.h"
#include "instrument/startup/program_folders.h"
#include "shell/program_shell.h"
#include "shell/remote/remote_control.h"
#include "shell/screen_wiring.h"
#include "shell/shell_fixture.h"
#include "shell/shell_state.h"
#include "support/temp_home.h"
#include "tdr_mask/mask_catalogue.h"
#include "tdr_mask/mask_editor.h"
#include "tdr_mask/mask_files.h"
#include "tdr_mask/mask_object.h"

namespace norv {
namespace {

namespace fs = std::filesystem;

class MaskTestTest : public test::ShellTest {
 protected:
  void InstallUnits() override { InstallProgramUnits(); }
  void SetUp() override {
    ShellTest::SetUp();
    ShellState.IdleHandlerInstalled = true;
    ASSERT_TRUE(StartWithInstrument(true));
    ShellHooks.RescanMaskStandards();
    LinkHooks.SystemBeep.Set([this] { ++beeps; });
    ExecCommand("Header Off");
  }
  void TearDown() override {
    ClearCurrentMask();
    CurrentMask() = TCurrentMask{};
    ShellTest::TearDown();
  }

  // Acquisitions until `cycles` have finished or the run has stopped.
  static void Acquire(int cycles) {
    for (int c = 0; c < cycles && RunFlag; ++c) {
      for (int i = 0; i < 100000 && !AcqCycleRunning && RunFlag; ++i) ShellIdleStep();
      for (int i = 0; i < 100000 && AcqCycleRunning; ++i) ShellIdleStep();
    }
  }
  static uint64_t Res(const std::string& word) { return std::stoull(ExecCommand("Mask:Res? " + word)); }
  static void Sine(double amplitude) {
    ExecCommand("GSS:A:Waweform Sinewave");
    ExecCommand("GSS:A:Amplitude " + std::to_string(amplitude));
    ExecCommand("GSS:A:Offset 0");
    ExecCommand("GSS:A:Noise 0");
    ExecCommand("Ch1:Scale 0.1");
    ExecCommand("Ch1:Offset 0");
  }
  // One rectangle in screen units as the only polygon.
  static void RectangleMask(double x1, double y1, double x2, double y2) {
    TCurrentMask& mask = CurrentMask();
    mask.Kind = mkUser;
    mask.SetMarginPercent(0);
    mask.Slots[0].X = {x1, x2, x2, x1};
    mask.Slots[0].Y = {y1, y1, y2, y2};
    mask.PolygonCount = 1;
    BuildMaskObjFromCurrent();
    UpdateMaskMenuEnabling();
  }

  int beeps = 0;
};

// A rectangle across the middle of a sine: every waveform fails; the failed samples are the
// shown points inside it, counted here from the record; three waveforms end the run, each
// saved to the next numbered file and beeped.
TEST_F(MaskTestTest, ClippingMaskCountsStopsTheRunAndNumbersTheFailureFiles) {
  Sine(0.4);
  ExecCommand("Mask:Test On");
  EXPECT_EQ(ExecCommand("Mask:Test?"), "OFF");  // no mask yet
  RectangleMask(1000, 400, 3000, 624);
  ExecCommand("Mask:RunUntil Wfms");
  EXPECT_TRUE(RootSpider->FindHandler("Mask:FailWfms")->IsDisabled());
  EXPECT_FALSE(RootSpider->FindHandler("Mask:NWfms")->IsDisabled());
  ExecCommand("Mask:NWfms 3");
  ExecCommand("Mask:Action Beep,Save");
  const fs::path folder = DataFolders().MaskTestFilesDir;
  ExecCommand("Mask:FileName fail");
  EXPECT_EQ(ExecCommand("Mask:FileName?"), (folder / "fail.wfm").string());
  ExecCommand("Mask:Test On");
  ASSERT_EQ(ExecCommand("Mask:Test?"), "ON");
  ExecCommand("*Run On");
  Acquire(10);
  EXPECT_FALSE(RunFlag);
  EXPECT_EQ(ExecCommand("Mask:Test?"), "OFF");
  const TSignalObj& r = SignalObjs()[TTraceId::Ch1];
  EXPECT_EQ(Res("AllWfm"), 3u);
  EXPECT_EQ(Res("FailWfm"), 3u);
  EXPECT_EQ(Res("AllSmpl"), 3u * static_cast<uint64_t>(r.GetShownCount()));
  // The last waveform's points inside the rectangle, boundary points either way.
  int inside = 0, onOrInside = 0;
  for (int i = 0; i < r.GetShownCount(); ++i) {
    const double x = std::nearbyint(r.ShownIndexToScreenX(i));
    const double y = std::nearbyint(std::clamp(r.ValueToScreenY(r.GetY(i)), 1.0, 1023.0));
    inside += x > 1000 && x < 3000 && y > 400 && y < 624;
    onOrInside += x >= 1000 && x <= 3000 && y >= 400 && y <= 624;
  }
  ASSERT_GT(inside, 0);
  // The simulator's sine is the same on every record: three times the last one's.
  const uint64_t failed = Res("FailSmpl");
  EXPECT_GE(failed, 3u * inside);
  EXPECT_LE(failed, 3u * onOrInside);
  EXPECT_EQ(Res("Poly1"), failed);
  EXPECT_EQ(beeps, 3);
  for (const char* name : {"fail.wfm", "fail-00001.wfm", "fail-00002.wfm"})
    EXPECT_TRUE(fs::exists(folder / name)) << name;
  EXPECT_FALSE(fs::exists(folder / "fail-00003.wfm"));
  EXPECT_EQ(ExecCommand("Mask:FileName?"), (folder / "fail-00003.wfm").string());
  ExecCommand("Mask:FileFormat YOnly");
  EXPECT_EQ(ExecCommand("Mask:FileName?"), (folder / "fail-00003.txty").string());

  // The replies, header on and off.
  ExecCommand("Header On");
  EXPECT_EQ(ExecCommand("Mask:Res? AllWfm"), "MASK:RES:ALLWFM 3");
  EXPECT_EQ(ExecCommand("Mask:Res? failwfm"), "MASK:RES:FAILWFM 3");
  EXPECT_EQ(ExecCommand("Mask:Res? Poly9"), "MASK:RES:Poly9 BAD PARAMETR");
  EXPECT_EQ(ExecCommand("Mask:Res? Poly2"), "MASK:RES:Poly2 BAD POLYGON'S NUMBER");
  EXPECT_EQ(ExecCommand("Mask:Res? Total"), "MASK:RES:Total BAD PARAMETR");
  ExecCommand("Header Off");
  EXPECT_EQ(ExecCommand("Mask:Res? Poly2"), "BAD POLYGON'S NUMBER");

  // The clear-display command zeroes the counters.
  ExecCommand("*ClrDispl");
  EXPECT_EQ(Res("AllWfm"), 0u);
  EXPECT_EQ(Res("FailSmpl"), 0u);
}

// Each run-until rule ends the run at the waveform that reaches its limit; with no action
// failed waveforms are only counted.
TEST_F(MaskTestTest, EachRunUntilRuleStopsAtItsLimit) {
  Sine(0.4);
  RectangleMask(1000, 400, 3000, 624);
  const uint64_t shown = static_cast<uint64_t>(SignalObjs()[TTraceId::Ch1].GetShownCount());
  struct TCase {
    const char* Rule;
    const char* Node;
    uint64_t Limit;
    uint64_t Waveforms;  // tested when the run stops
  };
  const TCase cases[] = {
      {"FailedWfms", "Mask:FailWfms", 2, 2},
      {"FailedSmpls", "Mask:FailSmpls", 1, 1},
      {"Wfms", "Mask:NWfms", 4, 4},
      {"Samples", "Mask:NSamples", shown + 1, 2},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Rule);
    ExecCommand(std::string("Mask:RunUntil ") + c.Rule);
    ExecCommand(std::string(c.Node) + " " + std::to_string(c.Limit));
    ExecCommand("Mask:Test On");
    ExecCommand("*Run On");
    Acquire(10);
    EXPECT_FALSE(RunFlag);
    EXPECT_EQ(ExecCommand("Mask:Test?"), "OFF");
    EXPECT_EQ(Res("AllWfm"), c.Waveforms);
    EXPECT_EQ(Res("FailWfm"), c.Waveforms);
  }
  // Stop / Single never ends the test.
  ExecCommand("Mask:RunUntil StopBtn");
  ExecCommand("Mask:Test On");
  ExecCommand("*Run On");
  Acquire(6);
  EXPECT_TRUE(RunFlag);
  EXPECT_EQ(ExecCommand("Mask:Test?"), "ON");
  EXPECT_GE(Res("AllWfm"), 5u);
  EXPECT_EQ(beeps, 0);
  EXPECT_FALSE(fs::exists(DataFolders().MaskTestFilesDir / "Noname.wfm"));
}

// The counters are 64-bit and never wrap; with margins "Poly1" reads polygon 1 and its
// margin polygon, not polygon 2's counts.
TEST_F(MaskTestTest, CountersAreWideAndMarginQueriesReadTheirPolygon) {
  TCurrentMask& mask = CurrentMask();
  mask.Kind = mkUser;
  mask.SetMarginPercent(20);
  mask.MarginsType = mtSquare;
  // Polygon 1 inside its margin 1 (left), polygon 2 inside its margin 2 (right).
  const auto square = [](TMaskSlot& slot, double x1, double x2) {
    slot.X = {x1, x2, x2, x1};
    slot.Y = {100, 100, 900, 900};
  };
  square(mask.Slots[0], 500, 1000);
  square(mask.Slots[1], 2500, 3000);
  square(mask.Slots[4], 400, 1100);
  square(mask.Slots[5], 2400, 3100);
  mask.PolygonCount = 2;
  mask.MarginPolygonCount = 2;
  BuildMaskObjFromCurrent();
  UpdateMaskMenuEnabling();
  ExecCommand("Mask:Test On");
  ASSERT_EQ(ExecCommand("Mask:Test?"), "ON");
  TSignalObj& r = SignalObjs()[TTraceId::Ch1];
  // Points of the record placed by hand: find the indexes at wanted screen columns.
  const auto indexAt = [&](double sx) { return static_cast<int>(std::lround(r.ScreenXToIndex(sx))); };
  const double middle = r.ScreenYToValue(512);
  const int inMargin1 = indexAt(450), inMask1 = indexAt(700), inMask2 = indexAt(2700);
  for (int i : {inMargin1, inMask1, inMask2}) r.SetY(i, middle);
  const uint64_t big = 3'000'000'000ull;  // beyond a signed 32-bit count
  CountMaskHitsInRun(0, inMargin1, 1, big);
  CountMaskHitsInRun(0, inMask1, 1, 5);
  CountMaskHitsInRun(0, inMask2, 1, 7);
  EXPECT_EQ(Res("FailSmpl"), big + 12);
  EXPECT_EQ(Res("Poly1"), 5u);
  EXPECT_EQ(Res("Poly1MAR"), big + 5);  // the mask polygon lies inside its margin
  EXPECT_EQ(Res("Poly1ALL"), big + 10);
  EXPECT_EQ(Res("Poly2"), 7u);
  EXPECT_EQ(Res("Poly2MAR"), 7u);
  EXPECT_EQ(ExecCommand("Mask:Res? Poly3"), "BAD POLYGON'S NUMBER");
  MaskSettings().Counters[mcFailSmpl] = UINT64_MAX - 1;
  CountMaskHitsInRun(0, inMask1, 1, 5);
  EXPECT_EQ(Res("FailSmpl"), UINT64_MAX);

  // The whole record in one run, a zigzag through masks and margins, counts what the points
  // count one by one.
  ClearMaskTestCounters();
  std::array<uint64_t, 8> expected{};
  uint64_t expectedFailed = 0;
  for (int i = 0; i < kMaxRecLen; ++i) {
    const int y = 50 + (i * 37) % 920;
    r.SetY(i, r.ScreenYToValue(y));
    const double sx = std::nearbyint(r.IndexToScreenX(i));
    if (sx < 0 || sx > 4000) continue;
    const uint32_t bits = MaskObj->MaskHitBits(static_cast<int>(sx),
                                               static_cast<int>(std::nearbyint(r.ValueToScreenY(r.GetY(i)))));
    expectedFailed += bits != 0;
    for (int b = 0; b < 8; ++b) expected[b] += bits >> b & 1u;
  }
  ASSERT_GT(expectedFailed, 100u);
  ASSERT_GT(expected[4], expected[0]);  // margin hits outside the mask too
  CountMaskHitsInRun(0, 0, kMaxRecLen);
  EXPECT_EQ(MaskSettings().Counters[mcFailSmpl], expectedFailed);
  for (int b = 0; b < 8; ++b) EXPECT_EQ(MaskSettings().Counters[mcPoly + b], expected[b]) << b;
}

// A mask travels through setups and undo: erasing it switches the test off and is undone
// by "*Undo". So does a user mask whose polygon was longer than a setup carries: it is
// loaded cut to what the setup text holds.
TEST_F(MaskTestTest, EraseIsUndoneAndTheMaskTravelsInTheSetup) {
  const int count = kMaxMaskVertexes + 100;
  std::string text =
      "[COMMON]\nSignature=User Mask\nTime by Division=1E-9\nValue by Division=0.1\nList of Polygons=1\n"
      "[Polygon 1]\nNumber of Vertex=" +
      std::to_string(count) + "\n";
  // A square wave from X 1000 along Y 600 and 650, closed 300 below.
  for (int i = 0; i < count - 2; ++i)
    text += Format_Dot("Vertex %d=%d, %d\n", i + 1, 1000 + i / 2, (i + 1) / 2 % 2 ? 650 : 600);
  text += Format_Dot("Vertex %d=%d, 300\nVertex %d=1000, 300\n", count - 1, 1000 + (count - 3) / 2, count);
  fs::create_directories(DataFolders().MaskUserDir);
  {
    std::ofstream out(DataFolders().MaskUserDir / "long.pcm", std::ios::binary);
    out << text;
  }
  ExecCommand("Mask:MaskFile long");
  ExecCommand("Mask:LoadUser");
  ASSERT_NE(MaskObj, nullptr);
  EXPECT_EQ(dialogs.shown.size(), 1u);  // told of the cut
  ASSERT_EQ(CurrentMask().Slots[0].VertexCount(), kMaxMaskVertexes);
  const std::vector<double> xs = CurrentMask().Slots[0].X, ys = CurrentMask().Slots[0].Y;
  ExecCommand("Mask:Test On");
  std::vector<std::string> lines;
  RootSpider->DumpSettings(lines);
  EXPECT_TRUE(std::ranges::any_of(lines, [](const std::string& l) { return l.starts_with("NOGPIB:MASK"); }));

  ExecCommand("Mask:EraseMask");
  EXPECT_EQ(MaskObj, nullptr);
  EXPECT_EQ(ExecCommand("Mask:Test?"), "OFF");
  EXPECT_TRUE(RootSpider->FindHandler("Mask:Test")->IsDisabled());
  ExecCommand("*Undo Undo");
  ASSERT_NE(MaskObj, nullptr);
  EXPECT_EQ(CurrentMask().Slots[0].X, xs);
  EXPECT_EQ(CurrentMask().Slots[0].Y, ys);
  ExecCommand("Mask:Test On");
  EXPECT_EQ(ExecCommand("Mask:Test?"), "ON");

  ExecCommand("Mask:EraseMask");
  for (const std::string& line : lines) RootSpider->ExecCommandLine(line, true);
  ASSERT_NE(MaskObj, nullptr);
  EXPECT_EQ(CurrentMask().Slots[0].Y, ys);
  EXPECT_EQ(ExecCommand("Mask:Test?"), "ON");
}

// Another analysis switched on ends the test; the histogram holds it off while it is on.
TEST_F(MaskTestTest, HistogramSwitchesTheTestOffAndHoldsItOff) {
  RectangleMask(1000, 400, 3000, 624);
  ExecCommand("Mask:Test On");
  ASSERT_EQ(ExecCommand("Mask:Test?"), "ON");
  ExecCommand("Hist:Axis Vert");
  EXPECT_EQ(ExecCommand("Mask:Test?"), "OFF");
  EXPECT_TRUE(RootSpider->FindHandler("Mask:Test")->IsDisabled());
  EXPECT_TRUE(RootSpider->FindHandler("Mask:Action")->IsDisabled());
  ExecCommand("Hist:Axis Off");
  EXPECT_FALSE(RootSpider->FindHandler("Mask:Test")->IsDisabled());
  ExecCommand("Mask:Test On");
  ExecCommand("Meas:Display Statistic");
  EXPECT_EQ(ExecCommand("Mask:Test?"), "OFF");
}

// The results panel in the bottom strip: labels in the compared trace's colour, the counts
// beside them after each tested acquisition.
class MaskResultsPanelTest : public MaskTestTest {
 protected:
  void SetUp() override {
    MaskTestTest::SetUp();
    ScopeCRT = std::make_unique<TScopeCRT>(&font, &clock, clock);
    ConnectTopText();
    ScopeCRT->PlaceScreen(0, 0, 504, 804);
  }
  void TearDown() override {
    ClearCurrentMask();
    ScopeCRT.reset();
    MaskTestTest::TearDown();
  }
  static test::TCellText Cell(int n, bool caption) {
    return test::ReadCell(ScopeCRT->BottomText(), TNizText::GetMeasCellRect(n, caption));
  }
  test::TReadableFont font;
};

TEST_F(MaskResultsPanelTest, LabelsAndCountsInTheComparedTracesColourAndTheMaskOnItsScreen) {
  Sine(0.4);
  ExecCommand("Displ:Format 2YT");  // Ch1 above, Ch2 below
  RectangleMask(1000, 400, 3000, 624);
  // A second polygon far off the trace: never hit.
  CurrentMask().Slots[1].X = {100, 300, 300, 100};
  CurrentMask().Slots[1].Y = {1000, 1000, 1020, 1020};
  CurrentMask().PolygonCount = 2;
  BuildMaskObjFromCurrent();
  for (const auto& [channel, screen] : {std::pair{"Ch2", 2}, std::pair{"Ch1", 1}}) {
    ExecCommand(std::string("Mask:CompareWith ") + channel);
    ASSERT_NE(ScopeCRT->MaskLayer(), nullptr) << channel;
    EXPECT_EQ(ScopeCRT->MaskLayer()->GetScreen(), ScopeCRT->Screen(screen)) << channel;
  }
  ExecCommand("Mask:Test On");
  EXPECT_EQ(Cell(0, true).Text, "Total Wfms");
  EXPECT_EQ(Cell(1, true).Text, "Failed Samples");
  EXPECT_EQ(Cell(2, true).Text, "   in Polygon1");
  EXPECT_EQ(Cell(3, true).Text, "   in Polygon2");
  EXPECT_EQ(Cell(0, true).Ink, GetDisplaySourceRGB(TTraceId::Ch1));
  ExecCommand("Mask:RunUntil Wfms");
  ExecCommand("Mask:NWfms 2");
  ExecCommand("*Run On");
  Acquire(4);
  EXPECT_EQ(Res("AllWfm"), 2u);
  EXPECT_EQ(std::stod(Cell(0, false).Text), 2.0);
  const std::string failed = Cell(1, false).Text;
  EXPECT_TRUE(failed.ends_with(" hits")) << failed;
  EXPECT_EQ(std::stod(failed), static_cast<double>(Res("FailSmpl")));
  EXPECT_EQ(std::stod(Cell(3, false).Text), 0.0);
  EXPECT_TRUE(Cell(3, false).Text.ends_with(" Hits"));
  // The failed points are marked on the mask error layer.
  EXPECT_NE(ScopeCRT->MaskErrorLayer(), nullptr);

  // Compared with Ch2: laid out anew in its colour, the counts from zero.
  ExecCommand("Mask:Test On");
  ExecCommand("Mask:CompareWith Ch2");
  EXPECT_EQ(Cell(0, true).Ink, GetDisplaySourceRGB(TTraceId::Ch2));
  EXPECT_EQ(Res("AllWfm"), 0u);
  SetMaskEditMode(true);
  ASSERT_NE(ScopeCRT->MaskEditLayer(), nullptr);
  EXPECT_EQ(ScopeCRT->MaskEditLayer()->GetScreen(), ScopeCRT->Screen(2));
  SetMaskEditMode(false);
}

// A user mask saved and recalled by its commands; a name without folder goes to the
// user-mask folder. Mask and failure-file names stay inside the program's folders: one with
// a folder there keeps it, one outside them is refused and the name before stays.
TEST_F(MaskTestTest, UserMaskCommandsSaveAndRecallTheMask) {
  const fs::path folder = DataFolders().MaskUserDir;
  EXPECT_EQ(ExecCommand("Mask:MaskFile?"), " " + (folder / "Noname.pcm").string());
  RectangleMask(1000, 400, 3000, 624);
  ExecCommand("Mask:MaskFile band.pcm");
  EXPECT_EQ(ExecCommand("Mask:MaskFile?"), " " + (folder / "band.pcm").string());
  ExecCommand("Mask:SaveUser");
  ASSERT_TRUE(fs::exists(folder / "band.pcm"));
  ExecCommand("Mask:EraseMask");
  ASSERT_EQ(MaskObj, nullptr);
  ExecCommand("Mask:LoadUser");
  ASSERT_NE(MaskObj, nullptr);
  EXPECT_EQ(MaskObj->MaskHitBits(2000, 512), 1u);
  EXPECT_EQ(MaskObj->MaskHitBits(900, 512), 0u);

  const fs::path outside = test::MakeTempDir("outside");
  const fs::path home = DataFolders().ProgramDir, tests = DataFolders().MaskTestFilesDir;
  struct Case {
    const char* node;
    std::string name;
    std::string expected;  // the query's answer; empty: refused
  } cases[] = {
      {"Mask:MaskFile", (outside / "new" / "m").string(), ""},
      {"Mask:MaskFile", "../../../../m", ""},
      {"Mask:MaskFile", "sub/m", " " + (folder / "sub" / "m.pcm").string()},
      {"Mask:MaskFile", (home / "Mine" / "m.pcm").string(), " " + (home / "Mine" / "m.pcm").string()},
      // The folder named is the folder of the names after it.
      {"Mask:MaskFile", "n", " " + (home / "Mine" / "n.pcm").string()},
      // Only the program's own extensions are taken off: "my mask.v2" is not "my mask.pcm".
      {"Mask:MaskFile", "my mask.v2", " " + (home / "Mine" / "my mask.v2.pcm").string()},
      {"Mask:FileName", "f.2", (tests / "f.2.wfm").string()},
      // A relative folder starts in the user-mask folder, not in the one named before.
      {"Mask:MaskFile", "sub/m2", " " + (folder / "sub" / "m2.pcm").string()},
      {"Mask:FileName", (outside / "f").string(), ""},
      {"Mask:FileName", "../../f", ""},
      {"Mask:FileName", "sub/f.txt", (tests / "sub" / "f.wfm").string()},
      {"Mask:FileName", "g", (tests / "sub" / "g.wfm").string()},
      {"Mask:FileName", "sub/h", (tests / "sub" / "h.wfm").string()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string query = std::string(c.node) + "?";
    const std::string before = ExecCommand(query);
    if (c.expected.empty()) {
      EXPECT_THROW(ExecCommand(std::string(c.node) + " " + c.name), EAssertion);
      EXPECT_EQ(ExecCommand(query), before);
    } else {
      ExecCommand(std::string(c.node) + " " + c.name);
      EXPECT_EQ(ExecCommand(query), c.expected);
    }
    ExecCommand("Mask:SaveUser");
  }
  EXPECT_TRUE(fs::exists(home / "Mine" / "n.pcm"));
  EXPECT_TRUE(fs::is_empty(outside));

  // A link at the mask file that leads out of the folders is refused when it is read.
  const fs::path away = test::MakeTempDir("away");
  fs::copy_file(folder / "band.pcm", away / "band.pcm");
  fs::create_symlink(away / "band.pcm", folder / "sub" / "v.pcm");
  ExecCommand("Mask:EraseMask");
  ExecCommand("Mask:MaskFile v");
  EXPECT_THROW(ExecCommand("Mask:LoadUser"), EAssertion);
  EXPECT_EQ(MaskObj, nullptr);
}

// Margins of a catalogue mask: switched on by its choice, set by value; a setup replayed
// keeps the mask it carries rather than loading the catalogue mask its index names.
TEST_F(MaskTestTest, StandardMaskMarginsAndSetupReplay) {
  ExecCommand("StdMask:StdIndex 0");
  ExecCommand("StdMask:MaskIndex 1");
  ExecCommand("StdMask:MaskIndex 0");
  ASSERT_EQ(CurrentMask().MarginsType, mtHexagon);
  EXPECT_EQ(ExecCommand("StdMask:MarginsOn?"), "ON");
  EXPECT_EQ(CurrentMask().MarginPercent, 0);
  ExecCommand("StdMask:MarginsVal 20");
  EXPECT_EQ(CurrentMask().MarginPercent, 20);
  EXPECT_GT(CurrentMask().MarginPolygonCount, 0);
  ExecCommand("StdMask:MarginsOn Off");
  EXPECT_EQ(CurrentMask().MarginPercent, 0);

  RectangleMask(1000, 400, 3000, 624);
  std::vector<std::string> setup;
  RootSpider->DumpSettings(setup);
  ExecCommand("StdMask:MaskIndex 1");
  ASSERT_NE(CurrentMask().Kind, mkUser);
  for (const std::string& line : setup) RootSpider->ExecCommandLine(line, true);
  EXPECT_EQ(CurrentMask().Kind, mkUser);
  EXPECT_EQ(CurrentMask().PolygonCount, 1);
}

// "StdMask:" lists answer the catalogue; a chosen standard mask loads by its index, also
// by the index already chosen; the standard's index goes no further than the catalogue.
TEST_F(MaskTestTest, StandardListsAndMaskIndexLoadTheCatalogue) {
  const std::string standards = ExecCommand("StdMask:StdsList?");
  ASSERT_TRUE(standards.starts_with(" =\r\n0: ")) << standards;
  ExecCommand("StdMask:StdIndex 0");
  const std::string masks = ExecCommand("StdMask:MasksList?");
  ASSERT_TRUE(masks.starts_with(" =\r\n0: ")) << masks;
  EXPECT_NE(masks.find(StandardMasksInCurrent().Items.at(0).MaskName + ";   "), std::string::npos);
  ExecCommand("StdMask:MaskIndex 1");
  ExecCommand("StdMask:MaskIndex 0");
  ASSERT_NE(MaskObj, nullptr);
  EXPECT_EQ(CurrentMask().MaskName, StandardMasksInCurrent().Items.at(0).MaskName);

  // The shipped catalogue: SONET/SDH, then Ethernet with its one mask, whose index is 0
  // already once Ethernet is chosen.
  ASSERT_EQ(StandardsList().UsableCount, 2);
  ExecCommand("StdMask:StdIndex 1");
  ASSERT_EQ(MaskSettings().StdMaskIndex->Value(), 0);
  ExecCommand("StdMask:MaskIndex 0");
  EXPECT_EQ(CurrentMask().StdIndex, 1);
  EXPECT_EQ(CurrentMask().MaskName, "1000BASE-SX / LX");
  ExecCommand("StdMask:StdIndex 5");
  EXPECT_EQ(MaskSettings().StdIndex->Value(), 1);
  EXPECT_NE(ExecCommand("StdMask:MasksList?").find("0: 1000BASE-SX / LX;"), std::string::npos);
}

// An automask of a sine, tested on the same sine, passes; a larger sine fails it.
TEST_F(MaskTestTest, AutomaskOfASinePassesItAndFailsALargerOne) {
  // Only traces with a record are sources: naming another changes nothing.
  for (const char* name : {"XY", "DB", "Hist", "Const", "None"}) {
    ExecCommand(std::string("Automask:Source ") + name);
    EXPECT_EQ(ExecCommand("Automask:Source?"), "CH1") << name;
  }
  Sine(0.4);
  ExecCommand("*Run On");
  Acquire(2);
  ExecCommand("Automask:BuildAMask");
  ASSERT_NE(MaskObj, nullptr);
  EXPECT_EQ(CurrentMask().Kind, mkAutomask);
  EXPECT_EQ(CurrentMask().PolygonCount, 2);
  ExecCommand("Mask:Test On");
  ExecCommand("Mask:RunUntil Wfms");
  ExecCommand("Mask:NWfms 5");
  Acquire(8);
  EXPECT_EQ(Res("AllWfm"), 5u);
  EXPECT_EQ(Res("FailSmpl"), 0u);
  ExecCommand("GSS:A:Amplitude 0.6");
  ExecCommand("Mask:Test On");
  ExecCommand("*Run On");
  Acquire(8);
  EXPECT_EQ(Res("AllWfm"), 5u);
  EXPECT_GT(Res("FailSmpl"), 0u);
  EXPECT_EQ(Res("FailWfm"), Res("AllWfm"));
}

// The OC-3 eye mask from the catalogue, aligned, on the simulator's 155.52 Mb/s pattern:
// the levels 0 and 0.4 V at 0.1 V/div around 0.2 V lie on the mask's eye levels (two
// divisions each side of the centre); the delay puts bit edges (whole bit periods after
// the trigger) on the mask's crossings, two divisions of a sixth of a bit from the left.
// Low noise passes with no failed sample; high noise fails.
TEST_F(MaskTestTest, StandardEyeMaskPassesTheSimulatedEyeAtLowNoiseAndFailsAtHighNoise) {
  ExecCommand("GSS:A:Waweform PRBS");
  ExecCommand("GSS:A:StdFreq Custom");
  const double rate = 155.52e6;
  ExecCommand("GSS:A:Frequency 155.52e6");
  ExecCommand("GSS:A:Amplitude 0.4");
  ExecCommand("GSS:A:Offset 0");
  ExecCommand("GSS:A:Noise 0.005");
  ExecCommand("StdMask:Align On");
  ExecCommand("StdMask:StdIndex 0");
  ExecCommand("StdMask:MaskIndex 1");
  ExecCommand("StdMask:MaskIndex 0");
  ASSERT_EQ(CurrentMask().MaskName, "OC-3 / STM-1");
  ASSERT_NE(MaskObj, nullptr);
  // Alignment set the sixth of a bit per division.
  auto* scaleB = dynamic_cast<TEditHandler*>(RootSpider->FindHandler("TB:ScaleB"));
  ASSERT_NE(scaleB, nullptr);
  EXPECT_NEAR(scaleB->GetFloatValue(), 1 / rate / 6, 0.01 / rate / 6);
  ExecCommand("Ch1:Scale 0.1");
  ExecCommand("Ch1:Offset 0.2");
  char delay[64];
  std::snprintf(delay, sizeof delay, "TB:Delay %.6gn", 1e9 * (2 / rate - 2 * scaleB->GetFloatValue()));
  ExecCommand(delay);
  ExecCommand("Mask:RunUntil Wfms");
  ExecCommand("Mask:NWfms 5");
  ExecCommand("Mask:Test On");
  ExecCommand("*Run On");
  Acquire(8);
  EXPECT_EQ(Res("AllWfm"), 5u);
  EXPECT_GT(Res("AllSmpl"), 5u * 400);
  EXPECT_EQ(Res("FailSmpl"), 0u);

  // Half a bit later the edges cross the eye's middle: the inner polygon is hit.
  std::snprintf(delay, sizeof delay, "TB:Delay %.6gn", 1e9 * (2.5 / rate - 2 * scaleB->GetFloatValue()));
  ExecCommand(delay);
  ExecCommand("Mask:Test On");
  ExecCommand("*Run On");
  Acquire(8);
  EXPECT_GT(Res("Poly1"), 0u);
  EXPECT_EQ(Res("Poly2") + Res("Poly3"), 0u);

  std::snprintf(delay, sizeof delay, "TB:Delay %.6gn", 1e9 * (2 / rate - 2 * scaleB->GetFloatValue()));
  ExecCommand(delay);
  ExecCommand("GSS:A:Noise 0.05");
  ExecCommand("Mask:Test On");
  ExecCommand("*Run On");
  Acquire(8);
  EXPECT_EQ(Res("AllWfm"), 5u);
  EXPECT_EQ(Res("FailWfm"), 5u);
  EXPECT_GT(Res("FailSmpl"), 0u);
  EXPECT_GT(Res("Poly2") + Res("Poly3"), 0u);  // the bands above one and below zero
}

// In Current units the deltas read and take the source's units: DeltaY times the volts per
// division, DeltaX times the time per division; the value kept is in divisions.
TEST_F(MaskTestTest, AutomaskDeltasInTheSourcesUnits) {
  Sine(0.4);  // 0.1 V/div
  ExecCommand("*Run On");
  Acquire(1);
  ExecCommand("*StopSingle Stop");
  const double perDiv = SignalObjs()[TTraceId::Ch1].GetTimePerDiv();
  ASSERT_GT(perDiv, 0);
  auto* dx = dynamic_cast<TEditHandler*>(RootSpider->FindHandler("Automask:DeltaX"));
  auto* dy = dynamic_cast<TEditHandler*>(RootSpider->FindHandler("Automask:Deltay"));
  ASSERT_TRUE(dx && dy);
  ExecCommand("Automask:Unit Current");
  EXPECT_NEAR(std::stod(ExecCommand("Automask:Deltay?")), 25, 1e-9);  // 0.25 div x 100 mV, in mV
  EXPECT_NE(ExecCommand("Automask:Deltay?").find("mV"), std::string::npos);
  ExecCommand("Automask:Deltay 50m");
  EXPECT_NEAR(dy->GetFloatValue(), 0.5, 1e-9);
  char command[64];
  std::snprintf(command, sizeof command, "Automask:DeltaX %.9g", 0.3 * perDiv);
  ExecCommand(command);
  EXPECT_NEAR(dx->GetFloatValue(), 0.3, 0.002);
  ExecCommand("Automask:Unit Division");
  ExecCommand("Automask:Deltay 1");
  EXPECT_NEAR(dy->GetFloatValue(), 1, 1e-9);
  EXPECT_NE(ExecCommand("Automask:Deltay?").find("div"), std::string::npos);
}

// Margins of the automask: 0.02 division is 8 columns, 0.25 is 32 units. A flat trace at
// the centre keeps only the screen-edge corners and the ends of its stretch, 32 units
// below and above it; one at the top squeezes the upper polygon against row 1023.
TEST_F(MaskTestTest, AutomaskOfFlatTraces) {
  EXPECT_EQ(AutomaskDX(0.02), 8);
  EXPECT_EQ(AutomaskDY(0.25), 32);
  EXPECT_EQ(AutomaskDX(2), 800);
  Sine(0.4);
  ExecCommand("*Run On");
  Acquire(1);
  ExecCommand("*StopSingle Stop");
  TSignalObj& r = SignalObjs()[TTraceId::Ch1];
  const auto flat = [&r](double screenY) {
    const double v = r.ScreenYToValue(screenY);
    for (int i = 0; i < r.GetRecLen(); ++i) r.SetY(i, v);
  };
  flat(512);
  BuildAutomask(0, 8, 32);
  const TCurrentMask& mask = CurrentMask();
  ASSERT_EQ(mask.PolygonCount, 2);
  EXPECT_EQ(mask.Kind, mkAutomask);
  EXPECT_EQ(mask.Slots[0].X, (std::vector<double>{8, 8, 3992, 3992}));
  EXPECT_EQ(mask.Slots[0].Y, (std::vector<double>{1, 480, 480, 1}));
  EXPECT_EQ(mask.Slots[1].X, (std::vector<double>{8, 8, 3992, 3992}));
  EXPECT_EQ(mask.Slots[1].Y, (std::vector<double>{1023, 544, 544, 1023}));
  ASSERT_NE(MaskObj, nullptr);
  EXPECT_EQ(MaskObj->MaskHitBits(2000, 512), 0u);
  EXPECT_EQ(MaskObj->MaskHitBits(2000, 470), 1u);
  EXPECT_EQ(MaskObj->MaskHitBits(2000, 560), 2u);

  flat(1010);
  BuildAutomask(0, 8, 32);
  for (double y : mask.Slots[1].Y) EXPECT_EQ(y, 1023);
  EXPECT_EQ(mask.Slots[0].Y[1], 1010 - 32);
}

// A mask reshaped in the editor: its band above the sine deleted and a rectangle drawn
// across the sine's middle; the test then counts the points inside the new rectangle.
TEST_F(MaskTestTest, EditedMaskCountsHitsWhereItsNewPolygonLies) {
  Sine(0.2);  // two divisions each side: screen Y 256..768
  RectangleMask(100, 900, 3900, 1000);
  SetMaskEditMode(true);
  CurrentMask().SelectedPolygon = 0;
  MaskEditDeletePolygon();
  MaskEditStartPolygon();
  const std::pair<int, int> corners[] = {{1000, 450}, {3000, 450}, {3000, 574}, {1000, 574}, {1010, 455}};
  for (const auto& [x, y] : corners) {
    MaskEditDragTo(x, y);
    MaskEditAddVertexAt(x, y);
  }
  SetMaskEditMode(false);
  ASSERT_EQ(CurrentMask().PolygonCount, 1);
  ASSERT_EQ(CurrentMask().Slots[0].VertexCount(), 4);
  ExecCommand("Mask:Test On");
  ASSERT_EQ(ExecCommand("Mask:Test?"), "ON");
  ExecCommand("*Run On");
  Acquire(1);
  ExecCommand("*StopSingle Stop");
  const TSignalObj& r = SignalObjs()[TTraceId::Ch1];
  int inside = 0, onOrInside = 0;
  for (int i = 0; i < r.GetShownCount(); ++i) {
    const double x = std::nearbyint(r.ShownIndexToScreenX(i));
    const double y = std::nearbyint(std::clamp(r.ValueToScreenY(r.GetY(i)), 1.0, 1023.0));
    inside += x > 1000 && x < 3000 && y > 450 && y < 574;
    onOrInside += x >= 1000 && x <= 3000 && y >= 450 && y <= 574;
  }
  ASSERT_GT(inside, 0);
  const uint64_t waveforms = Res("AllWfm");
  ASSERT_GE(waveforms, 1u);
  EXPECT_GE(Res("Poly1"), waveforms * inside);
  EXPECT_LE(Res("Poly1"), waveforms * onOrInside);
  EXPECT_EQ(Res("FailSmpl"), Res("Poly1"));
}

}  // namespace
}  // namespace norv
