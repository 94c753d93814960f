#include "display/scope_crt.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "display/display_hooks.h"
#include "display_test_support.h"
#include "framework/settings/program_objects.h"
#include "framework/traces/display_sources.h"
#include "support/fake_clock.h"
#include "support/settings_tree_fixture.h"

namespace norv {
namespace {

using test::AssertionText;

TEST(ScopeLayout, FormatsOnPanelSizes) {
  // Expected rectangles worked out by hand from the layout rules.
  struct Case {
    TScreenFormat format;
    int width, height;
    std::vector<TScreenRect> screens;  // left, top, width, height, eighths
    bool top, strip;
    int stripTop;
  };
  const Case cases[] = {
      // Large, three screens; XY square and centred.
      {TScreenFormat::Comb2YTXY,
       800,
       500,
       {{9, 36, 772, 97, 2}, {9, 136, 772, 97, 2}, {311, 236, 177, 177, 4}},
       true,
       true,
       416},
      {TScreenFormat::XY, 600, 500, {{123, 44, 353, 353, 8}}, true, true, 408},
      // 300 or less hides the status line: screens start 1 below the top plus the gap.
      {TScreenFormat::YT, 800, 280, {{9, 2, 772, 193, 8}}, false, true, 197},
      // Medium: 192 plus the remainder beyond 16.
      {TScreenFormat::YT4,
       800,
       270,
       {{9, 2, 772, 49, 2}, {9, 53, 772, 49, 2}, {9, 104, 772, 49, 2}, {9, 155, 772, 49, 2}},
       false,
       true,
       206},
      // Small without room for the strip.
      {TScreenFormat::YT2, 800, 200, {{9, 2, 772, 97, 4}, {9, 101, 772, 97, 4}}, false, false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.format));
    const TScreenLayout layout = ComputeLayout(c.format, c.width, c.height);
    ASSERT_EQ(layout.Count, static_cast<int>(c.screens.size()));
    for (size_t i = 0; i < c.screens.size(); ++i) EXPECT_EQ(layout.Screens[i], c.screens[i]) << i;
    EXPECT_EQ(layout.TopTextVisible, c.top);
    EXPECT_EQ(layout.BottomStripVisible, c.strip);
    EXPECT_EQ(c.strip ? layout.BottomStripTop : 0, c.stripTop);
  }
}

class ScopeCRTTest : public ::testing::Test {
 protected:
  static constexpr uint32_t kCh1 = 0x0080FFFF;
  void SetUp() override {
    FreshProgramState();
    crt.PlaceScreen(0, 0, 504, 804);  // panel 800 x 500
  }
  void TearDown() override { FreshProgramState(); }
  // A flat Ch1 record at Value on a layer (512 points, 1 unit per division).
  static void Flat(TParentSignalLayer& layer, double value) {
    layer.SetSignalScale(512, 0, 1);
    for (int i = 0; i < 512; ++i) layer.PutSample(i, value);
  }
  test::FakeClock clock;
  test::TBlockFont font;
  TScopeCRT crt{&font, &clock, clock};
};

TEST_F(ScopeCRTTest, SignalsLandOnTheScreensOfEachFormat) {
  struct Case {
    TScreenFormat format;
    int count, xyNo;
    int ch2Screen;  // where Ch2 lands after asking for screen 2
  };
  const Case cases[] = {{TScreenFormat::YT, 1, 0, 1},       {TScreenFormat::YT2, 2, 0, 2},
                        {TScreenFormat::YT4, 4, 0, 2},      {TScreenFormat::XY, 1, 1, 0},
                        {TScreenFormat::CombYTXY, 2, 2, 1}, {TScreenFormat::Comb2YTXY, 3, 3, 2}};
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.format));
    crt.SetFormat(c.format);
    crt.SetSignalScreen(TTraceId::Ch2, 2);
    EXPECT_EQ(crt.ScreenCount(), c.count);
    EXPECT_EQ(crt.XYScreenNo(), c.xyNo);
    for (int n = 1; n <= 4; ++n) {
      ASSERT_EQ(crt.Screen(n) != nullptr, n <= c.count) << n;
      if (n <= c.count) {
        EXPECT_EQ(crt.Screen(n)->IsXYScreen(), n == c.xyNo) << n;
      }
    }
    TParentSignalLayer* ch2 = crt.GetDotLayer(TTraceId::Ch2);
    EXPECT_EQ(ch2 != nullptr, c.ch2Screen != 0);
    EXPECT_EQ(ch2 != nullptr ? ch2->GetScreen() : nullptr, crt.Screen(c.ch2Screen));
    EXPECT_EQ(c.xyNo != 0, AssertionText([&] { crt.GetDotXYLayer(); }) == "no assertion");
  }
  EXPECT_EQ(AssertionText([&] { crt.GetZoomFrameLayer(crt.Screen(3)); }), "For XY - nizzja!");
  EXPECT_EQ(AssertionText([&] { crt.CreateXMarkerLayer(3, TTraceId::Ch1); }), "??? Bad marker Number !!!");
}

TEST_F(ScopeCRTTest, LayersFollowStyleScreenAndSwitchOff) {
  crt.SetFormat(TScreenFormat::YT2);
  crt.SetPersistTime(TTraceId::Ch1, 7);
  TSignalScreen& s1 = *crt.Screen(1);
  const uint32_t grat = crt.GraticuleColor();
  ASSERT_EQ(test::PixelAt(s1, 0, 0), grat);

  TParentSignalLayer* dots = crt.GetStyledLayer(TTraceId::Ch1, TDisplayStyle::Dots);
  Flat(*dots, 0.5);
  const auto [x, row] = dots->GetPointCell(90);
  EXPECT_EQ(test::PixelAt(s1, x, row), kCh1);
  // A new style replaces the layer; the old one's pixels go with it.
  auto* persist =
      dynamic_cast<TPersistSignalLayer*>(crt.GetStyledLayer(TTraceId::Ch1, TDisplayStyle::InfinPers));
  ASSERT_NE(persist, nullptr);
  EXPECT_EQ(persist->PersistTime(), 700u);
  EXPECT_EQ(crt.GetSignalLayer(TTraceId::Ch1), persist);
  EXPECT_EQ(test::PixelAt(s1, x, row), crt.ScreenColor());
  Flat(*persist, 0.5);
  EXPECT_EQ(crt.GetPersistLayer(TTraceId::Ch1), persist);  // same style: kept
  EXPECT_EQ(test::PixelAt(s1, x, row), kCh1);

  // Another screen: the layer goes at once and comes back there on the next draw.
  crt.SetSignalScreen(TTraceId::Ch1, 2);
  EXPECT_FALSE(crt.HasSignalLayer(TTraceId::Ch1));
  EXPECT_EQ(test::PixelAt(s1, x, row), crt.ScreenColor());
  EXPECT_EQ(crt.GetPersistLayer(TTraceId::Ch1)->GetScreen(), crt.Screen(2));
  EXPECT_TRUE(crt.IsSignalOnScreen(TTraceId::Ch1, 2));

  crt.SignalSwitchedOff(TTraceId::Ch1);
  EXPECT_FALSE(crt.HasSignalLayer(TTraceId::Ch1));
  EXPECT_EQ(test::PixelAt(s1, 0, 0), grat);
}

TEST_F(ScopeCRTTest, XYScreenGetsNoDelayedSweepWindow) {
  crt.SetXWindow(2000, 0, 0, 0);  // window 1 over the left half
  crt.SetFormat(TScreenFormat::CombYTXY);
  EXPECT_TRUE(crt.Screen(1)->XWindow(1).On);
  TSignalScreen& xy = *crt.Screen(2);
  EXPECT_FALSE(xy.XWindow(1).On);
  // An XY diagonal: every dot shows the XY colour, none the window colour.
  TParentSignalLayer& layer = *crt.GetDotXYLayer();
  layer.SetXYScale(64, 64, 0, 1, 0, 1);
  for (int i = 0; i < 64; ++i) layer.PutSampleAt(i, i / 8.0 - 4, i / 8.0 - 4);
  int dots = 0;
  for (int x = 0; x < xy.Width(); ++x) {
    for (int y = 0; y < xy.Height(); ++y) {
      if ((xy.Occupancy(x, y) & (1u << 8)) == 0) continue;
      ++dots;
      EXPECT_EQ(xy.Image().Pixel(x, y), GetDisplaySourceRGB(TTraceId::XY)) << x << "," << y;
    }
  }
  EXPECT_GT(dots, 30);
}

TEST_F(ScopeCRTTest, LinkedLayersAreFoundOnlyWhileTheyLast) {
  Flat(*crt.GetDotLayer(TTraceId::Ch1), 1);
  T_XY_MarkerLayer* marker = crt.CreateXYMarkerLayer(1, TTraceId::Ch1);
  TMaskLayer* mask = crt.CreateMaskLayer(TTraceId::Ch1);
  ASSERT_NE(marker, nullptr);
  EXPECT_EQ(crt.CreateXYMarkerLayer(1, TTraceId::Ch1), marker);
  EXPECT_EQ(crt.CreateMaskLayer(TTraceId::Ch1), mask);
  // Freed behind the screen control's back (as a TDR unit may): the marker finds nothing.
  crt.LayersOfSignals().ClearLayer(TTraceId::Ch1);
  EXPECT_EQ(marker->LinkedLayer().Get(), nullptr);
  marker->SetPointIndex(10);
  EXPECT_EQ(marker->Left(), 0);
  // A new Ch1 layer is another layer: the mask is made again, linked to it.
  TParentSignalLayer* again = crt.GetVectorLayer(TTraceId::Ch1);
  TMaskLayer* newMask = crt.CreateMaskLayer(TTraceId::Ch1);
  EXPECT_EQ(newMask->LinkedLayer().Get(), again);
  // Single-slot overlays take both slots; a style change frees the overlays linked to Ch1.
  ASSERT_NE(crt.CreateXMarkerLayer(2, TTraceId::Ch1), nullptr);
  ASSERT_NE(crt.CreateMeasParamLayer(TTraceId::Ch1), nullptr);
  EXPECT_EQ(crt.OverlayLayer(2), nullptr);
  crt.GetDotLayer(TTraceId::Ch1);
  EXPECT_EQ(crt.OverlayLayer(1), nullptr);
}

TEST_F(ScopeCRTTest, DelayedSweepWindowDraggedWithinThePlot) {
  std::vector<double> shifts;
  DisplayHooks.TimeBaseMode.Set([] { return 2; });  // AB
  DisplayHooks.ShiftTimeBaseDelay.Set([&](bool second, double fx) { shifts.push_back(second ? -1 : fx); });
  // Plot 750 columns: window 1 spans round(1000 * 750 / 4000) = 188 to 188 + 75.
  crt.SetXWindow(400, 1000, 0, 0);
  TParentSignalLayer& ch1 = *crt.GetDotLayer(TTraceId::Ch1);
  Flat(ch1, 0.5);
  int i = 0;
  while (ch1.GetPointCell(i).first < 220) ++i;
  const auto [x, y] = ch1.GetPointCell(i);
  TScreenMouse& mouse = *crt.Mouse(1);
  const TShiftState left{.Left = true};
  mouse.MouseDown(TMouseButton::Left, left, x + kMarkerStripWidth, y);
  ASSERT_NE(mouse.DragImage(), nullptr);
  EXPECT_EQ(mouse.DragMode(), TDragMode::Windows);
  EXPECT_FALSE(mouse.VerticalDragAllowed());
  // The ghost is the window's columns; the drag stops where the window meets the right edge.
  EXPECT_TRUE(mouse.DragImage()->At(188 + kMarkerStripWidth, 5));
  EXPECT_FALSE(mouse.DragImage()->At(187 + kMarkerStripWidth, 5));
  mouse.MouseMove(left, x + kMarkerStripWidth + 600, y + 40);
  EXPECT_EQ(mouse.DragDX(), 750 - 263 - 1);
  EXPECT_EQ(mouse.DragDY(), 0);
  mouse.MouseUp(TMouseButton::Left, {}, x + kMarkerStripWidth + 600, y + 40);
  EXPECT_EQ(shifts, std::vector<double>{std::nearbyint(486 / 750.0 * 4000) / 4000});
}

TEST_F(ScopeCRTTest, PersistenceTimesNeverStoreZero) {
  // The first tick at program start: a cell left then is still a kept cell.
  crt.AgePersistLayers();
  TPersistSignalLayer& layer = *crt.GetPersistLayer(TTraceId::Ch1);
  Flat(layer, 0);
  Flat(layer, 2);
  const int row = layer.CentreRow();
  EXPECT_NE(layer.Accum(100, row), 0u);
  EXPECT_TRUE(layer.IsActive(100, row));
}

}  // namespace
}  // namespace norv
