// The zoom side menu bound to the trace chosen on it and to the scale of that trace's
// view; and the zoom of a derived trace by a rectangle drawn and clicked on the screen
// widget. Set NORV_PNG_DIR to get zoom_page.png and
// zoom_page_scaling.png.

#include "analysis/ui/zoom_page.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <cmath>
#include <memory>

#include "analysis/derived_signals.h"
#include "analysis/zoom.h"
#include "app/program_units.h"
#include "display/scope_crt.h"
#include "display/ui/scope_crt_widget.h"
#include "framework/settings/numeric_handlers.h"
#include "instrument/record/signal_obj.h"
#include "platform/qt_text_rasteriser.h"
#include "support/every_unit.h"
#include "support/fake_clock.h"
#include "support/fake_dialogs.h"
#include "support/qt/side_menu_fixture.h"
#include "support/settings_tree_fixture.h"

namespace norv::test {
namespace {

class ZoomPageTest : public SideMenuPageTest {
 protected:
  void RegisterPages() override { RegisterZoomPage(); }
  static void Press(TRC_CustomCmmandSwitcher& s) { Click(&s, s.ButtonRect(0).center()); }
  static THandler* Bound(TDeclaredSideMenu& menu, const char* name) {
    return menu.Control<TRC_Switcher>(name).GetHandler();
  }
};

TEST_F(ZoomPageTest, PageFollowsTheChosenTraceAndItsView) {
  TDeclaredSideMenu& menu = Open(kZoomMenuId);
  auto& view = menu.Control<TRC_RadioSwitcher>("rswComplexScale");
  // F1, the first source, is off: only the choice of source shows.
  EXPECT_TRUE(menu.Control<TRC_SignalSourceSwitcher>("ssswSource").isVisible());
  EXPECT_FALSE(view.isVisible());
  Exec("F1:Display On");
  EXPECT_TRUE(view.isVisible());
  EXPECT_EQ(menu.findChild<QLabel*>("Label1")->text(), "Complex Signal");
  EXPECT_EQ(Bound(menu, "rswComplexScale"), Node("Zoom:F1:ComplexScale"));
  EXPECT_EQ(Bound(menu, "chswSuppression"), Node("Zoom:F1:Suppress"));
  Picture(menu, "zoom_page");

  Press(menu.Control<TRC_RightPassiveCommandSwitcher>("pcswScaling"));
  EXPECT_EQ(menu.CurrentPage(), 2);
  for (const auto& [name, node] :
       {std::pair{"rswVerticalScaleType", "VScaleType"}, std::pair{"edswVertScale", "VertScale"},
        std::pair{"edswVertPosit1", "Offset"}, std::pair{"edswHorScale", "HorScale"},
        std::pair{"edsqHorPosition", "HorPosition"}})
    EXPECT_EQ(Bound(menu, name), Node(std::string("Zoom:F1:") + node)) << name;
  Up(menu.Control<TRC_EditSwitcher>("edswVertPosit1"));
  EXPECT_DOUBLE_EQ(Value("Zoom:F1:Offset"), 0.25);
  Picture(menu, "zoom_page_scaling");

  // S1 in phase view: the vertical edits set the phase scale and position.
  Exec("Spectr1:Display On");
  PressKey(menu.Control<TRC_SignalSourceSwitcher>("ssswSource").ListBox(), Qt::Key_Down);
  EXPECT_EQ(ZoomSourceTrace(), TTraceId::S1);
  // S1 has no record yet: a frequency typed is refused in a plain box, the field keeps what stands.
  FakeDialogs dialogs;
  auto& horScale = menu.Control<TRC_EditSwitcher>("edswHorScale");
  const QString standing = horScale.ValueText();
  TypeText(&horScale, "2k");
  EXPECT_EQ(dialogs.shown, std::vector<std::string>{"[error] S1 has no record yet"});
  EXPECT_TRUE(!horScale.IsTyping() && horScale.ValueText() == standing);
  EXPECT_DOUBLE_EQ(Value("Zoom:S1:HorScale"), 0.5);
  Exec("Zoom:S1:ComplexScale Phase");
  auto& scale = menu.Control<TRC_EditSwitcher>("edswVertScale");
  EXPECT_EQ(Bound(menu, "edswHorScale"), Node("Zoom:S1:HorScale"));
  EXPECT_EQ(scale.GetHandler(), Node("Zoom:S1:PhaseScale"));
  EXPECT_EQ(Bound(menu, "edswVertPosit1"), Node("Zoom:S1:OffsPhase"));
  EXPECT_EQ(scale.Caption(), "PHASE SCALE");
  Exec("Zoom:S1:ComplexScale Magnitude;:Zoom:S1:VScaleType Logaritm");
  EXPECT_EQ(scale.GetHandler(), Node("Zoom:S1:VertDBScale"));
  EXPECT_EQ(Bound(menu, "edswVertPosit1"), Node("Zoom:S1:OffsInDB"));
  EXPECT_EQ(scale.Caption(), "VERTICAL SCALE");
  Press(menu.Control<TRC_RightPassiveCommandSwitcher>("btnBack"));
  EXPECT_EQ(menu.CurrentPage(), 1);
}

TEST_F(ZoomPageTest, TraceGoingOffTakesThePageBackToItsSourceList) {
  Exec("Spectr1:Display On;:Shadow:ZoomSource S1");
  for (const bool reopen : {false, true}) {
    TDeclaredSideMenu& menu = Open(kZoomMenuId);
    Press(menu.Control<TRC_RightPassiveCommandSwitcher>("pcswScaling"));
    ASSERT_EQ(menu.CurrentPage(), 2);
    if (reopen) ShowSideMenu(kNoMenu, kRightPanel);
    Exec("Spectr1:Display Off");
    TDeclaredSideMenu& shown = reopen ? Open(kZoomMenuId) : menu;
    EXPECT_EQ(shown.CurrentPage(), 1) << reopen;
    EXPECT_TRUE(shown.Control<TRC_SignalSourceSwitcher>("ssswSource").isVisible()) << reopen;
    Exec("Spectr1:Display On");
  }
}

// F1 on the screen as the program draws it, with every unit's hooks in place.
class ZoomMouseTest : public SettingsTreeTest {
 protected:
  void SetUp() override {
    FreshProgramState();
    RegisterEveryUnit();
    ScopeCRT = std::make_unique<TScopeCRT>(&font, &clock, clock);
    ApplyEveryUnit();
    InstallProgramUnits();
    widget = std::make_unique<TScopeCRTWidget>(*ScopeCRT);
    widget->resize(804, 504);  // panel 800 x 500
    widget->show();
    TSignalObj& f1 = SignalObjs()[TTraceId::F1];
    f1.SetRecLen(512);
    f1.SetVertScale(0.1);
    f1.SetDX(1e-10);
    for (int i = 0; i < 512; ++i) f1.SetY(i, 0);
    Exec("F1:Display On");
    ResetAllZooms();
    DrawSignalToLayer(TTraceId::F1);
  }
  void TearDown() override {
    widget.reset();
    SettingsTreeTest::TearDown();
  }
  static double Value(const char* path) {
    return dynamic_cast<TEditHandler&>(*RootSpider->FindHandler(path)).GetValue();
  }
  static void Send(QWidget* w, QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held) {
    QMouseEvent event(type, QPointF(at), w->mapToGlobal(QPointF(at)), button, held, Qt::NoModifier);
    QApplication::sendEvent(w, &event);
  }

  TQtTextRasteriser font;
  FakeClock clock;
  std::unique_ptr<TScopeCRTWidget> widget;
};

TEST_F(ZoomMouseTest, RectangleDrawnAndClickedZooms) {
  // Of a memory, F1 is not on the channels' time axis: it has a view of its own to zoom.
  Exec("F1:Operat Invert;:F1:Source1 M1");
  TSignalScreenWidget* w = widget->ScreenWidget(1);
  const double plot = ScopeCRT->Screen(1)->Width() - 22;
  const double height = ScopeCRT->Screen(1)->Height() - 1;
  // A band of a quarter of the plot each way from (100, 60), then a click inside it.
  const int right = 100 + static_cast<int>(plot / 4), low = 60 + static_cast<int>(height / 4);
  Send(w, QEvent::MouseButtonPress, QPoint(kMarkerStripWidth + 100, 60), Qt::LeftButton, Qt::LeftButton);
  Send(w, QEvent::MouseMove, QPoint(kMarkerStripWidth + right, low), Qt::NoButton, Qt::LeftButton);
  Send(w, QEvent::MouseButtonRelease, QPoint(kMarkerStripWidth + right, low), Qt::LeftButton, Qt::NoButton);
  ASSERT_NE(ScopeCRT->ZoomFrameLayer(), nullptr);
  Send(w, QEvent::MouseMove, QPoint(kMarkerStripWidth + 150, 100), Qt::NoButton, Qt::NoButton);
  Send(w, QEvent::MouseButtonPress, QPoint(kMarkerStripWidth + 150, 100), Qt::LeftButton, Qt::LeftButton);
  const double left = std::nearbyint(100 / plot * 4000) / 4000;
  const double width = std::nearbyint(right / plot * 4000) / 4000 - left;
  const double top = std::nearbyint((1 - 60 / height) * 1024) / 1024;
  const double bottom = std::nearbyint((1 - low / height) * 1024) / 1024;
  const double h = top - bottom;
  // Both factors lie between 3 and 6, so they round to 4.
  ASSERT_GT(1 / h, 3);
  ASSERT_LT(1 / h, 6);
  ASSERT_GT(1 / width, 3);
  ASSERT_LT(1 / width, 6);
  EXPECT_DOUBLE_EQ(Value("Zoom:F1:VertScale"), 0.25);
  EXPECT_NEAR(Value("Zoom:F1:Offset"), -(h / 2 + bottom - 0.5) * 8, 1e-9);
  EXPECT_DOUBLE_EQ(Value("Zoom:F1:HorScale"), 0.25);
  EXPECT_EQ(Value("Zoom:F1:HorPosition"), std::nearbyint(left * 4000 / 4096 * 512));
  // The channels on the screen zoomed the time base to the band.
  EXPECT_EQ(Exec("TB:Mode?"), "TB:MODE B");
}

}  // namespace
}  // namespace norv::test
