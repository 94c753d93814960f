#include "display/ui/scope_crt_widget.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QMouseEvent>
#include <cmath>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "display/display_hooks.h"
#include "framework/settings/numeric_handlers.h"
#include "framework/settings/settings_tree.h"
#include "framework/traces/display_sources.h"
#include "framework/util/numeric_utils.h"
#include "instrument/simulator/simulator.h"
#include "platform/entry_guard.h"
#include "platform/qt_text_rasteriser.h"
#include "support/fake_clock.h"
#include "support/qt/qt_harness.h"
#include "support/settings_tree_fixture.h"

namespace norv {
namespace {

// Fake nodes standing for the settings the drags belong to; their callbacks move what the
// owning features would move.
class ScopeWidgetTest : public test::SettingsTreeTest {
 protected:
  void SetUp() override {
    SettingsTreeTest::SetUp();
    widget.resize(804, 504);  // panel 800 x 500
    widget.show();
    RootSpider->AddDoubleEdit(
        {.Path = "Mark:M1:XPos", .Value = 1000, .Min = 0, .Max = 4000, .OnChange = [this](THandler& h) {
           if (auto* m = crt.CreateXMarkerLayer(1, TTraceId::Ch1)) m->SetPosition(Value(h));
         }});
    RootSpider->AddDoubleEdit({.Path = "Chan1:Position", .Value = 0, .Min = -10, .Max = 10});
    for (const char* path : {"Zoom:Left", "Zoom:Width", "Zoom:Bottom", "Zoom:Height"}) {
      RootSpider->AddDoubleEdit({.Path = path, .Value = 0, .Min = -10, .Max = 10});
    }
    DisplayHooks.MarkerDragged.Set([](int marker, bool vertical, int units) {
      if (marker == 1 && vertical) Set("Mark:M1:XPos", units);
    });
    // The view moves by the dragged fraction of the screen's 8 divisions.
    DisplayHooks.ShiftSignalView.Set([](TTraceId trace, double, double fy) {
      if (trace == TTraceId::Ch1) Set("Chan1:Position", Node("Chan1:Position") + 8 * fy);
    });
    DisplayHooks.ZoomToRectangle.Set(
        [this](const std::vector<TTraceId>& traces, double l, double w, double b, double h) {
          zoomed = traces;
          Set("Zoom:Left", l);
          Set("Zoom:Width", w);
          Set("Zoom:Bottom", b);
          Set("Zoom:Height", h);
        });
  }
  static double Value(THandler& h) { return static_cast<TDoubleEditHandler&>(h).Value(); }
  static double Node(const char* path) { return Value(*RootSpider->FindHandler(path)); }
  static void Set(const char* path, double value) {
    static_cast<TDoubleEditHandler*>(RootSpider->FindHandler(path))->SetValueByProgram(value);
  }
  // A mouse event with the buttons held after it.
  static void Send(QWidget* w, QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held) {
    QMouseEvent event(type, QPointF(at), w->mapToGlobal(QPointF(at)), button, held, Qt::NoModifier);
    QApplication::sendEvent(w, &event);
  }
  static void Drag(QWidget* w, QPoint from, QPoint to) {
    Send(w, QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
    Send(w, QEvent::MouseMove, (from + to) / 2, Qt::NoButton, Qt::LeftButton);
    Send(w, QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
    Send(w, QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
  }
  // A flat Ch1 record at Value divisions.
  TParentSignalLayer& FlatCh1(double value) {
    TParentSignalLayer& layer = *crt.GetDotLayer(TTraceId::Ch1);
    layer.SetSignalScale(512, 0, 1);
    for (int i = 0; i < 512; ++i) layer.PutSample(i, value);
    return layer;
  }
  TQtTextRasteriser font;
  test::FakeClock clock;
  TScopeCRT crt{&font, &clock, clock};
  TScopeCRTWidget widget{crt};
  std::vector<TTraceId> zoomed;
};

TEST_F(ScopeWidgetTest, ScreensAndStripsPlacedByTheLayout) {
  crt.SetFormat(TScreenFormat::Comb2YTXY);
  for (int n = 1; n <= 3; ++n) {
    const TSignalScreen& s = *crt.Screen(n);
    EXPECT_EQ(widget.ScreenWidget(n)->geometry(), QRect(2 + s.Left(), 2 + s.Top(), s.Width(), s.Height()))
        << n;
  }
  EXPECT_EQ(widget.ScreenWidget(4), nullptr);
  EXPECT_TRUE(widget.TopTextWidget()->isVisibleTo(&widget));
  crt.SetFormat(TScreenFormat::YT);
  EXPECT_EQ(widget.ScreenWidget(2), nullptr);
  EXPECT_EQ(widget.BottomStripWidget()->y(), 2 + crt.Layout().BottomStripTop);
}

TEST_F(ScopeWidgetTest, MarkerDraggedChangesItsNode) {
  FlatCh1(2);
  T_X_MarkerLayer* marker = crt.CreateXMarkerLayer(1, TTraceId::Ch1);
  ASSERT_NE(marker, nullptr);
  marker->SetPosition(Node("Mark:M1:XPos"));
  const int from = marker->Left();
  EXPECT_EQ(from, RoundClamped(marker->MaxX() * 0.25, 0, 4000));
  // Grab the line half-way down, drag it 100 pixels right.
  const int y = marker->MaxY() / 2 + 5;
  Drag(widget.ScreenWidget(1), QPoint(kMarkerStripWidth + from, y),
       QPoint(kMarkerStripWidth + from + 100, y));
  const double expected = std::nearbyint((from + 100.0) / marker->MaxX() * 4000);
  EXPECT_EQ(Node("Mark:M1:XPos"), expected);
  EXPECT_EQ(marker->Left(), from + 100);
  EXPECT_EQ(crt.Screen(1)->Image().Pixel(kMarkerStripWidth + from + 100, y),
            GetDisplaySourceRGB(TTraceId::Ch1));
}

TEST_F(ScopeWidgetTest, MouseErrorReachesTheExceptionReport) {
  FlatCh1(2);
  T_X_MarkerLayer* marker = crt.CreateXMarkerLayer(1, TTraceId::Ch1);
  ASSERT_NE(marker, nullptr);
  marker->SetPosition(1000);
  std::vector<std::string> reports;
  SetExceptionHandler([&](const std::string& message) { reports.push_back(message); });
  DisplayHooks.MarkerDragged.Set([](int, bool, int) { throw std::runtime_error("Position refused"); });
  const int x = kMarkerStripWidth + marker->Left(), y = marker->MaxY() / 2 + 5;
  Drag(widget.ScreenWidget(1), QPoint(x, y), QPoint(x + 50, y));
  SetExceptionHandler(nullptr);
  // Each of the two moves of the drag writes the position once.
  EXPECT_EQ(reports, std::vector<std::string>(2, "Position refused"));
}

TEST_F(ScopeWidgetTest, TraceDraggedByItsLevelMarker) {
  TParentSignalLayer& ch1 = FlatCh1(1);
  // A strip pixel of Ch1's level marker.
  QPoint grip(-1, -1);
  for (int c = 0; c < kMarkerStripWidth && grip.x() < 0; ++c) {
    for (int row = 1; row < ch1.MaxY() && grip.x() < 0; ++row) {
      if (ch1.StripCell(c, row)) grip = QPoint(c, row);
    }
  }
  ASSERT_GE(grip.x(), 0);
  TSignalScreenWidget* w = widget.ScreenWidget(1);
  // Hovering over the marker highlights the trace; only then can it be grabbed there.
  Send(w, QEvent::MouseMove, grip, Qt::NoButton, Qt::NoButton);
  EXPECT_EQ(crt.Mouse(1)->HighlightedLayer(), 8);
  Send(w, QEvent::MouseButtonPress, grip, Qt::LeftButton, Qt::LeftButton);
  ASSERT_NE(crt.Mouse(1)->DragImage(), nullptr);
  Send(w, QEvent::MouseMove, grip + QPoint(40, -30), Qt::NoButton, Qt::LeftButton);
  // Time base in mode A: the ghost moves only up or down.
  EXPECT_EQ(crt.Mouse(1)->DragDX(), 0);
  EXPECT_EQ(crt.Mouse(1)->DragDY(), -30);
  EXPECT_FALSE(w->grab().isNull());  // the ghost is painted
  Send(w, QEvent::MouseButtonRelease, grip + QPoint(40, -30), Qt::LeftButton, Qt::NoButton);
  EXPECT_EQ(crt.Mouse(1)->DragImage(), nullptr);
  const int h = crt.Screen(1)->Height();
  const double fy = (std::nearbyint((1 + 30.0 / (h - 1)) * 1024) - 1024) / 1024;
  EXPECT_NEAR(Node("Chan1:Position"), 8 * fy, 1e-9);
}

TEST_F(ScopeWidgetTest, ZoomFrameDrawnThenZooms) {
  FlatCh1(0.5);
  crt.GetDotLayer(TTraceId::Ch2);
  TSignalScreenWidget* w = widget.ScreenWidget(1);
  const QPoint a(kMarkerStripWidth + 100, 60);
  const QPoint b(kMarkerStripWidth + 300, 200);
  // Small moves draw no frame; beyond 10 pixels both ways the frame follows.
  Send(w, QEvent::MouseButtonPress, a, Qt::LeftButton, Qt::LeftButton);
  Send(w, QEvent::MouseMove, a + QPoint(8, 40), Qt::NoButton, Qt::LeftButton);
  EXPECT_EQ(crt.ZoomFrameLayer(), nullptr);
  Send(w, QEvent::MouseMove, b, Qt::NoButton, Qt::LeftButton);
  Send(w, QEvent::MouseButtonRelease, b, Qt::LeftButton, Qt::NoButton);
  const TFrameLayer* frame = crt.ZoomFrameLayer();
  ASSERT_NE(frame, nullptr);
  EXPECT_EQ(frame->FrameLeft(), 100);
  EXPECT_EQ(frame->FrameBottom(), 200);
  EXPECT_EQ(crt.Screen(1)->Image().Pixel(kMarkerStripWidth + 200, 60), 0xFFFFFFu);
  Send(w, QEvent::MouseMove, QPoint(kMarkerStripWidth + 350, 100), Qt::NoButton, Qt::NoButton);
  EXPECT_EQ(crt.Mouse(1)->Cursor(), TScreenCursor::NotAllowed);
  Send(w, QEvent::MouseMove, QPoint(kMarkerStripWidth + 150, 100), Qt::NoButton, Qt::NoButton);
  EXPECT_EQ(crt.Mouse(1)->Cursor(), TScreenCursor::ZoomIn);
  Send(w, QEvent::MouseButtonPress, QPoint(kMarkerStripWidth + 150, 100), Qt::LeftButton, Qt::LeftButton);
  EXPECT_EQ(crt.ZoomFrameLayer(), nullptr);
  EXPECT_EQ(zoomed, (std::vector<TTraceId>{TTraceId::Ch1, TTraceId::Ch2}));
  const double plot = crt.Screen(1)->Width() - 22;
  const double height = crt.Screen(1)->Height() - 1;
  const double left = std::nearbyint(100 / plot * 4000);
  const double right = std::nearbyint(300 / plot * 4000);
  const double top = std::nearbyint((1 - 60 / height) * 1024);
  const double bottom = std::nearbyint((1 - 200 / height) * 1024);
  EXPECT_DOUBLE_EQ(Node("Zoom:Left"), left / 4000);
  EXPECT_DOUBLE_EQ(Node("Zoom:Width"), (right - left) / 4000);
  EXPECT_DOUBLE_EQ(Node("Zoom:Bottom"), bottom / 1024);
  EXPECT_DOUBLE_EQ(Node("Zoom:Height"), (top - bottom) / 1024);
}

TEST_F(ScopeWidgetTest, StripMenuChoiceReachesTheFeature) {
  std::vector<std::pair<std::string, int>> chosen;
  DisplayHooks.MeasDisplay.Set([] { return 1; });
  DisplayHooks.MeasParamCount.Set([] { return 2; });
  DisplayHooks.BuildMeasPopupMenu.Set([](int) {
    return TPopupMenu{{{"Del", "Delete"}, {"-", ""}, {"Stat", "Statistics"}}, {}};
  });
  DisplayHooks.MeasPopupItemClick.Set(
      [&](const std::string& item, int slot) { chosen.emplace_back(item, slot); });
  TBottomStripWidget* strip = widget.BottomStripWidget();
  Send(strip, QEvent::MouseButtonPress, QPoint(20, 20), Qt::RightButton, Qt::RightButton);
  ASSERT_NE(strip->OpenMenu(), nullptr);
  ASSERT_EQ(strip->OpenMenu()->actions().size(), 3);
  EXPECT_TRUE(strip->OpenMenu()->actions()[1]->isSeparator()) << "\"-\" draws a line";
  EXPECT_EQ(strip->OpenMenu()->actions()[2]->text(), "Statistics");
  strip->OpenMenu()->actions()[2]->trigger();
  EXPECT_EQ(chosen, (std::vector<std::pair<std::string, int>>{{"Stat", 1}}));
}

// Two simulated channels: channel 2 a sine, channel 3 a pulse, as codes scaled to about
// three divisions peak to peak around Centre.
std::vector<std::vector<double>> SimulatedRecords(int points) {
  TRandomSource random(7);
  TSimulator sim(random);
  sim.SimSetRecLen(points);
  sim.SimSetTimeDiv(2e-9);
  sim.SimSetChannels(4);
  sim.SimStartRecord();
  std::vector<std::vector<double>> codes(2);
  for (int i = 0; i < 2 * points; ++i) {
    while (!sim.SimRecordReady()) {
    }
    codes[i % 2].push_back(static_cast<int16_t>(sim.SimNextSample()));
  }
  for (std::vector<double>& c : codes) {
    const auto [lo, hi] = std::minmax_element(c.begin(), c.end());
    const double mid = (*lo + *hi) / 2;
    const double span = std::max(1.0, *hi - *lo);
    for (double& v : c) v = (v - mid) / span * 3;
  }
  return codes;
}

TEST_F(ScopeWidgetTest, PicturesOfEachFormat) {
  const auto records = SimulatedRecords(1024);
  DisplayHooks.MaskLoaded.Set([] { return true; });
  // A mask of two boxes above and below the traces, with margins.
  DisplayHooks.PointInMask.Set([](int x, int y) {
    const bool inX = x > 1200 && x < 2800;
    if (inX && (y > 28000 || y < 4768)) return TMaskArea::Mask;
    if (inX && (y > 26500 || y < 6268)) return TMaskArea::Margin;
    return TMaskArea::Outside;
  });
  DisplayHooks.MaskPolygonCentre.Set([](int n) {
    return n == 1 ? std::pair(2000.0, 970.0) : n == 2 ? std::pair(2000.0, 54.0) : std::pair(0.0, 0.0);
  });
  const char* names[] = {"YT", "2YT", "4YT", "XY", "CombYTXY", "Comb2YTXY"};
  for (int f = 0; f < kScreenFormatCount; ++f) {
    crt.SetFormat(static_cast<TScreenFormat>(f));
    crt.SetSignalScreen(TTraceId::Ch2, 2);
    const TTraceId traces[] = {TTraceId::Ch1, TTraceId::Ch2};
    for (int t = 0; t < 2; ++t) {
      TParentSignalLayer* layer =
          crt.GetStyledLayer(traces[t], t == 0 ? TDisplayStyle::Vectors : TDisplayStyle::Dots);
      if (layer == nullptr) continue;
      layer->SetSignalScale(1024, 0, 1);
      for (int i = 0; i < 1024; ++i) layer->PutSample(i, records[t][i] + (t == 0 ? 1.5 : -1.5));
    }
    if (crt.XYScreenNo() != 0) {
      TParentSignalLayer& xy = *crt.GetDotXYLayer();
      xy.SetXYScale(1024, 1024, 0, 1, 0, 1);
      for (int i = 0; i < 1024; ++i) xy.PutSampleAt(i, records[1][i] * 2, records[0][i] * 2);
    }
    if (auto* m1 = crt.CreateXMarkerLayer(1, TTraceId::Ch1)) m1->SetPosition(1000);
    if (auto* m2 = crt.CreateXMarkerLayer(2, TTraceId::Ch1)) m2->SetPosition(3000);
    if (TAnnotationLayer* ann = crt.GetAnnotationLayer(1, TTraceId::Ch1)) {
      TAnnLabelParam label;
      label.Active = true;
      label.Text = "Rise 1.2 ns";
      label.AnchorX = 1700;
      label.AnchorY = 700;
      label.LeaderStyle = 0;
      ann->SetLabel(1, label);
    }
    if (TMaskLayer* mask = crt.CreateMaskLayer(TTraceId::Ch1)) mask->PaintMask();
    crt.TopText().RefreshTopText();
    crt.TopText().ShowTriggerState(1);
    crt.BottomText().WriteLine("M1 - M2   500 ps", TNizText::GetMarkCellRect(1, 1, false), -1, 0xFFFFFF);
    const QImage shot = widget.grab().toImage();
    ASSERT_EQ(shot.width(), 804);
    // Probe: the first screen's border shows the graticule colour.
    const TSignalScreen& s1 = *crt.Screen(1);
    const int left = s1.IsXYScreen() ? 0 : kMarkerStripWidth;
    const QRgb border = shot.pixel(2 + s1.Left() + left, 2 + s1.Top());
    EXPECT_EQ(qRed(border) | qGreen(border) << 8 | qBlue(border) << 16, crt.GraticuleColor()) << names[f];
    test::MaybeWritePng(shot, std::string("scope_") + names[f]);
  }
}

}  // namespace
}  // namespace norv
