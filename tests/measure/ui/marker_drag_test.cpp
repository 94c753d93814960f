// A marker line dragged with the mouse on the screen widget moves its node, and in paired
// motion the other marker with it.

#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <cmath>
#include <memory>

#include "display/bottom_text.h"
#include "display/scope_crt.h"
#include "display/settings/display_settings.h"
#include "display/ui/scope_crt_widget.h"
#include "framework/settings/numeric_handlers.h"
#include "instrument/acquisition/acquisition_hooks.h"
#include "measure/markers/markers.h"
#include "platform/qt_text_rasteriser.h"
#include "support/every_unit.h"
#include "support/fake_clock.h"
#include "support/settings_tree_fixture.h"

namespace norv {
namespace {

class MarkerDragTest : public test::SettingsTreeTest {
 protected:
  void SetUp() override {
    FreshProgramState();
    test::RegisterEveryUnit();
    ScopeCRT = std::make_unique<TScopeCRT>(&font, &clock, clock);
    test::ApplyEveryUnit();
    InstallDisplaySettings();
    InstallMarkers();
    widget = std::make_unique<TScopeCRTWidget>(*ScopeCRT);
    widget->resize(804, 504);  // panel 800 x 500
    widget->show();
    // Ch1 flat at two divisions, away from both markers.
    TParentSignalLayer& ch1 = *ScopeCRT->GetDotLayer(TTraceId::Ch1);
    ch1.SetSignalScale(512, 0, 1);
    for (int i = 0; i < 512; ++i) ch1.PutSample(i, 2);
  }
  void TearDown() override {
    widget.reset();
    SettingsTreeTest::TearDown();
  }
  static int Node(const char* path) {
    return dynamic_cast<TEditHandler&>(*RootSpider->FindHandler(path)).GetIntValue();
  }
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

  TQtTextRasteriser font;
  test::FakeClock clock;
  std::unique_ptr<TScopeCRTWidget> widget;
};

TEST_F(MarkerDragTest, DraggedLineMovesItsNodeAndThePairedMarker) {
  struct Row {
    const char* type;
    bool vertical;
  };
  for (const Row row : {Row{"MX", true}, Row{"MY", false}}) {
    SCOPED_TRACE(row.type);
    Exec(std::string("MARK:TYPE ") + row.type);
    Exec("MARK:MOTION PAIRED");
    AcqHooks.ShowMarker(1);
    AcqHooks.ShowMarker(2);
    const TMarkerLayer* m1 = ScopeCRT->OverlayLayer(1);
    ASSERT_NE(m1, nullptr);
    const int w = m1->MaxX();
    const int h = m1->MaxY();
    TSignalScreenWidget* screen = widget->ScreenWidget(1);
    if (row.vertical) {
      // M1 at 1000 of 4000 units; the line dragged 100 pixels right lands on a column.
      const int from = static_cast<int>(std::nearbyint(w * 1000.0 / 4000));
      ASSERT_EQ(m1->Left(), from);
      const int y = h / 2 + 5;
      Drag(screen, QPoint(kMarkerStripWidth + from, y), QPoint(kMarkerStripWidth + from + 100, y));
      const int x1 = static_cast<int>(std::nearbyint((from + 100.0) / w * 4000));
      EXPECT_EQ(Node("Mark:M1:XPos"), x1);
      EXPECT_EQ(Node("Mark:M2:XPos"), 3000 + x1 - 1000);
      EXPECT_EQ(ScopeCRT->OverlayLayer(1)->Left(), from + 100);
    } else {
      // M1 at 300 of 1024 units from the bottom; dragged 50 pixels down.
      const int from = static_cast<int>(std::nearbyint((1024 - 300) / 1024.0 * h));
      ASSERT_EQ(m1->Top(), from);
      const int x = kMarkerStripWidth + w / 2 + 5;
      Drag(screen, QPoint(x, from), QPoint(x, from + 50));
      const int y1 = static_cast<int>(std::nearbyint((1 - (from + 50.0) / h) * 1024));
      EXPECT_EQ(Node("Mark:M1:YPos"), y1);
      EXPECT_EQ(Node("Mark:M2:YPos"), 600 + y1 - 300);
      EXPECT_EQ(ScopeCRT->OverlayLayer(1)->Top(), from + 50);
    }
  }
}

// The readout captions wider than their cells ("1 / dXM =", "dYM / dXM =") stay whole:
// their values begin after them.
TEST_F(MarkerDragTest, LongReadoutCaptionsAreNotOverwrittenByTheirValues) {
  Exec("MARK:TYPE XY");
  AcqHooks.ShowMarker(1);
  AcqHooks.ShowMarker(2);
  UpdateMarkerReadout();
  const TNizText& strip = ScopeCRT->BottomText();
  struct Caption {
    const char* text;
    int left;  // the caption cell's left in row 4
  };
  for (const Caption c : {Caption{"1 / dXM =", 3}, Caption{"dYM / dXM =", 118}}) {
    SCOPED_TRACE(c.text);
    const TTextMask mask = font.RenderMask(c.text);
    ASSERT_GT(mask.Width, 34) << "wider than its cell";
    int differing = 0;
    for (int y = 0; y < mask.Height && 48 + y < strip.Height(); ++y)
      for (int x = 0; x < mask.Width; ++x)
        differing += (strip.Image().Pixel(c.left + x, 48 + y) != strip.Color()) != mask.At(x, y);
    EXPECT_EQ(differing, 0);
    // A value follows it in the same row.
    int lit = 0;
    for (int x = c.left + mask.Width; x < c.left + 115; ++x)
      for (int y = 48; y < 63; ++y) lit += strip.Image().Pixel(x, y) != strip.Color();
    EXPECT_GT(lit, 20);
  }
}

}  // namespace
}  // namespace norv
