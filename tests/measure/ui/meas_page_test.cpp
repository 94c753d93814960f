// The Measure page driven by clicks over the whole program: the display mode, a
// measurement added from its page, the source shown changed, statistics switched on,
// and the strip lines that follow the simulator's acquisitions. Set NORV_PNG_DIR to get
// measure_page.png (the page beside the strip).

#include "measure/ui/meas_page.h"

#include <gtest/gtest.h>

#include <QPainter>

#include "controls/controls_fixture.h"
#include "controls/menu_pages.h"
#include "display/display_hooks.h"
#include "display/scope_crt.h"
#include "framework/settings/choice_handlers.h"
#include "framework/traces/display_sources.h"
#include "instrument/acquisition/acquisition_cycle.h"
#include "instrument/link/link_state.h"
#include "instrument/simulator/simulator.h"
#include "measure/meas_settings.h"
#include "measure/meas_state.h"
#include "platform/qt_text_rasteriser.h"
#include "support/every_unit.h"
#include "support/fake_settings_link.h"

namespace norv::test {
namespace {

class MeasPageTest : public ControlsTest {
 protected:
  void SetUp() override {
    ControlsTest::SetUp();
    InstallMeasurements();
    RegisterEveryUnit();
    ApplyEveryUnit();
    RegisterMeasurePages();
    // The names the program installs at start-up.
    std::array<std::string, kSourceNameCount> names;
    for (int i = 0; i < kSourceNameCount; ++i) {
      names[static_cast<size_t>(i)] = MeasSourceName(static_cast<TTraceId>(i));
      TraceNames[static_cast<size_t>(i)] = names[static_cast<size_t>(i)];
    }
    InstallSourceNames(
        names, [](int source) { return GetDisplaySourceRGB(static_cast<TTraceId>(source)); }, 0);
    MeasHooks.SourceShown.Set([](TTraceId id) { return id == TTraceId::Ch1 || id == TTraceId::Ch2; });
    ScopeCRT = std::make_unique<TScopeCRT>(&font, nullptr, clock);
    ScopeCRT->PlaceScreen(0, 0, 500, 800);
    SetProgramClock(clock);
    GuiReady = true;
    sim.SimSetChannels(4);
    sim.SimSetRecLen(512);
    sim.SimSetTimeDiv(5e-9);
    Exec("TB:SCALEA 5 n");
    cycle.SetSimSource(&source);
    cycle.ConnectToLink();
    SetSideMenuHost(&window);
    window.ShowActive();
  }
  void TearDown() override {
    ShowSideMenu(kNoMenu, kRightPanel);
    QCoreApplication::processEvents();
    ScopeCRT.reset();
    ControlsTest::TearDown();
  }
  void Single() {
    SingleFlag = true;
    for (int steps = 0; (RunFlag || SingleFlag) && steps < 100000; ++steps) cycle.AcquisitionIdleStep();
  }
  TDeclaredSideMenu& Menu() { return *qobject_cast<TDeclaredSideMenu*>(SideMenuForms[kRightPanel].data()); }
  template <class T>
  T& Control(const char* name) {
    return Menu().Control<T>(name);
  }
  void Press(const char* name) {
    auto& b = Control<TRC_CustomCmmandSwitcher>(name);
    Click(&b, b.ButtonRect(0).center());
  }
  void Choose(const char* name, int item) {
    QAbstractButton* b = Control<TRC_CustomRadioSwitcher>(name).Button(item);
    Click(b, b->rect().center());
  }
  static int Display() {
    return GetIndex(static_cast<TRadioSwHandler*>(RootSpider->FindHandler("Meas:Display")));
  }
  // The strip as a picture.
  static QImage StripImage() {
    const TSLBMP& image = ScopeCRT->BottomText().Image();
    return QImage(reinterpret_cast<const uchar*>(image.Data()), image.Width(), image.Height(),
                  QImage::Format_RGB32)
        .copy();
  }

  FakeSettingsLink link;
  TQtTextRasteriser font;
  TRandomSource random{3};
  TSimulator sim{random};
  TSimulatorRecordSource source{sim};
  TAcquisitionCycle cycle{clock, clock};
};

TEST_F(MeasPageTest, ClicksAddAMeasurementFollowTheSourceAndShowStatistics) {
  ASSERT_TRUE(ShowSideMenu(kMeasureMenuId, kRightPanel));
  EXPECT_FALSE(Control<TRC_Switcher>("pcswYParameters").isEnabled()) << "nothing to add while Off";
  Choose("rswDisplay", 1);
  EXPECT_EQ(Display(), 1);
  EXPECT_TRUE(Control<TRC_Switcher>("pcswYParameters").isEnabled());
  EXPECT_FALSE(Control<TRC_Switcher>("pcswStatistic").isEnabled()) << "statistics only in their display";

  // Y Parameters..., then Mean of Ch1.
  Press("pcswYParameters");
  EXPECT_EQ(Menu().CurrentPage(), 6);
  QAbstractButton* mean = Control<TRC_CustomCheckSwitcher>("chswYParameters").Button(amMean);
  Click(mean, mean->rect().center());
  ASSERT_EQ(MeasState.MeasParamCount, 1);
  EXPECT_EQ(MeasSlot(0)->Source, TTraceId::Ch1);
  EXPECT_EQ(MeasSlot(0)->Index, amMean);
  Press("Button3");
  EXPECT_EQ(Menu().CurrentPage(), 1);

  // The next source: the per-source panels follow it, and a measurement added now is Ch2's.
  TColorComboBox* sources = Control<TRC_SignalSourceSwitcher>("RC_SignalSourceSwitcher1").ListBox();
  sources->setFocus();
  PressKey(sources, Qt::Key_Down);
  ASSERT_EQ(MeasState.Global.DisplSrc, TTraceId::Ch2);
  EXPECT_EQ(Menu().findChild<TRC_RightMenuPanel*>("rmpYparameters")->GroupMnemonics(), "Meas:Ch2");
  Press("pcswYParameters");
  QAbstractButton* amplitude = Control<TRC_CustomCheckSwitcher>("chswYParameters").Button(amAmplitude);
  Click(amplitude, amplitude->rect().center());
  ASSERT_EQ(MeasState.MeasParamCount, 2);
  EXPECT_EQ(MeasSlot(1)->Source, TTraceId::Ch2);
  EXPECT_EQ(MeasCaption(*MeasSlot(1)), "Amplitude (Ch2)");
  Press("Button3");

  // Statistics: the statistics page's edit follows the mode.
  Choose("rswDisplay", 2);
  EXPECT_EQ(Display(), 2);
  Press("pcswDefineParam");
  ASSERT_EQ(Menu().CurrentPage(), 2);
  Press("pcswStatistic");
  ASSERT_EQ(Menu().CurrentPage(), 8);
  Choose("rswStatisticMode", 2);
  EXPECT_EQ(Control<TRC_Switcher>("edswStatParameter").Mnemonics(), "Weight");
  Choose("rswStatisticMode", 1);
  EXPECT_EQ(Control<TRC_Switcher>("edswStatParameter").Mnemonics(), "Window");

  for (int k = 0; k < 12; ++k) Single();
  // The strip: the header, then a line per slot in its source's colour.
  QImage strip = StripImage();
  const auto inkIn = [&](TRect r, TColorRef colour) {
    const QColor c(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF);
    return CountPixels(strip, QRect(r.Left, r.Top, r.Right - r.Left, r.Bottom - r.Top), c);
  };
  EXPECT_GT(inkIn(TNizText::GetLineCellRect(-1, 6), 0xFFFFFF), 0);
  EXPECT_GT(inkIn(TNizText::GetLineCellRect(0, 6), GetDisplaySourceRGB(TTraceId::Ch1)), 0);
  EXPECT_GT(inkIn(TNizText::GetLineCellRect(1, 6), GetDisplaySourceRGB(TTraceId::Ch2)), 0);
  EXPECT_EQ(MeasSlot(0)->Statistics->Count(), 8) << "a window of the default 8 values";

  // Slot 1's picture in place of its extremes (a left click on its line).
  ScopeCRT->BottomText().MouseDown(TMouseButton::Left, 20, TNizText::GetLineCellRect(0, 1).Top + 4);
  ASSERT_TRUE(MeasSlot(0)->HisticonVisible);
  Single();
  EXPECT_FALSE(MeasSlot(0)->Statistics->Icon().CaptionShown);
  // The page beside the strip, for a look.
  Press("Button4");
  Press("Meas2Back");
  strip = StripImage();
  const QImage page = Grab(&Menu());
  QImage shot(page.width() + strip.width() + 8, std::max(page.height(), strip.height()),
              QImage::Format_RGB32);
  shot.fill(Qt::darkGray);
  QPainter painter(&shot);
  painter.drawImage(0, 0, page);
  painter.drawImage(page.width() + 8, 0, strip);
  painter.end();
  MaybeWritePng(shot, "measure_page");
}

// Every control of every page shows a setting whichever source is shown: a panel whose
// settings the source lacks (spectrum settings for a channel, a second source for a
// spectrum) stays with the last source that has them.
TEST_F(MeasPageTest, EveryPageShowsASettingWhateverTheSource) {
  ASSERT_TRUE(ShowSideMenu(kMeasureMenuId, kRightPanel));
  Choose("rswDisplay", 1);
  const auto group = [this](const char* panel) {
    return Menu().findChild<TRC_RightMenuPanel*>(panel)->GroupMnemonics();
  };
  struct Case {
    const char* source;
    const char* amplitude;  // the group of the Y parameters page
    const char* spectrum;   // of the FFT pages
    const char* dual;       // of the dual-channel page
  };
  for (const Case& c :
       {Case{"Ch1", "Meas:Ch1", "Meas:F1", "Meas:Ch1"}, Case{"F2", "Meas:F2", "Meas:F2", "Meas:F2"},
        Case{"S1", "Meas:S1", "Meas:S1", "Meas:F2"}, Case{"Ch2", "Meas:Ch2", "Meas:S1", "Meas:Ch2"}}) {
    SCOPED_TRACE(c.source);
    Exec(std::string("Meas:DisplSrc ") + c.source);
    ASSERT_EQ(MeasSourceName(MeasState.Global.DisplSrc), c.source);
    EXPECT_EQ(std::tuple(group("rmpYparameters"), group("rmpFFTDefineParams"), group("rmpFFTparameters"),
                         group("rmpDualSignParameters")),
              std::tuple(std::string(c.amplitude), std::string(c.spectrum), std::string(c.spectrum),
                         std::string(c.dual)));
    for (const TRC_Switcher* sw : Menu().findChildren<TRC_Switcher*>()) {
      if (sw->Mnemonics().empty() || sw->Mnemonics() == kNoneHandler) continue;
      EXPECT_NE(sw->GetHandler(), nullptr) << sw->objectName().toStdString();
      if (const auto* edit = qobject_cast<const TRC_EditSwitcher*>(sw)) {
        EXPECT_FALSE(edit->ValueText().isEmpty()) << sw->objectName().toStdString();
      }
    }
  }
}

}  // namespace
}  // namespace norv::test
