// The jitter analysis in the program as main() builds it: its main-menu button stays
// disabled, its menu (opened directly) switches it on, and every plot kind is drawn into
// its window from a PRBS of the simulator; the plot windows answer their buttons, clicks
// and Close.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QThread>
#include <cmath>
#include <string>

#include "analysis/jitter_engine.h"
#include "analysis/jitter_settings.h"
#include "analysis/ui/jitter_graph.h"
#include "analysis/ui/jitter_page.h"
#include "analysis/ui/jitter_plots.h"
#include "controls/edit_switchers.h"
#include "display/ui/scan_lines_widget.h"
#include "framework/language/language.h"
#include "framework/settings/choice_handlers.h"
#include "framework/settings/settings_tree.h"
#include "instrument/link/instrument_identity.h"
#include "shell/remote/remote_control.h"
#include "shell/ui/program_fixture.h"
#include "tdr_mask/mask_editor.h"
#include "tdr_mask/mask_files.h"

namespace norv {
namespace {

class JitterProgramTest : public test::ProgramFixture {
 protected:
  // Idle passes until the engine has shown its first results.
  void RunFirstRound() {
    for (int i = 0; i < 2000000 && !(JitterObj()->RoundsDone() >= 1 && JitterObj()->Phase() == 4); ++i)
      window().IdleStep();
    ASSERT_EQ(JitterObj()->Phase(), 4);
  }
  static void SettleWindows() {
    for (int i = 0; i < 200; ++i) {
      bool pending = false;
      for (int kind = 0; kind < kJitterPlotKinds; ++kind)
        if (TJitterGraphFrm* w = JitterGraphWindow(kind)) pending = pending || w->ResizePending();
      if (!pending) return;
      QApplication::processEvents();
      QThread::msleep(5);
    }
  }
  static int Count(int kind, TColorRef colour) {
    TJitterGraphFrm* w = JitterGraphWindow(kind);
    const QImage image = SurfaceImage(w->Screen().Image());
    const TRect a = JitterPlotArea(image.width(), image.height());
    return test::CountPixels(image, QRect(a.Left, a.Top, a.Right - a.Left, a.Bottom - a.Top),
                             QColor(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF));
  }
};

// Set NORV_PNG_DIR to get jitter_plot_0.png .. jitter_plot_5.png.
TEST_F(JitterProgramTest, EveryPlotKindIsDrawnIntoItsWindow) {
  WriteDemoUnit("Default Demo", 1, 2, 0, 12, 77, true);
  Start();
  EXPECT_FALSE(window().MainMenuButton(kJitterMenuId)->isEnabled());
  ExecCommand("Header Off");
  for (const char* command :
       {"GSS:A:Waweform PRBS", "GSS:A:Amplitude 0.5", "GSS:A:Offset 0", "GSS:A:StdFreq Custom",
        "GSS:A:Frequency 1G", "GSS:A:PrbsLength 7", "GSS:A:Jitter 3p", "GSS:A:Noise 0.0005",
        "GSS:A:RiseTime 300p", "GSS:A:FallTime 300p", "GSS:A:DutyCycleDist 4", "GSS:Ch1 A", "GSS:Ch2 Off",
        "Trig:PattLen 127", "Trig:PatternLockMode Manual", "Jitter:JParam Random,DutyCycleDist"})
    ExecCommand(command);

  // The windows open while the analysis is off; the bathtub cannot be checked.
  ExecCommand("Jitter:JPlots RJPJHist,DDJHist,TJHist,CompHist,CompDDJHist,DDJvsBit,BERBathtub");
  EXPECT_EQ(ExecCommand("Jitter:JPlots?"), "RJPJHIST,DDJHIST,TJHIST,COMPHIST,COMPDDJHIST,DDJVSBIT");
  for (int kind = 0; kind < kJitterPlotKinds; ++kind)
    EXPECT_EQ(JitterGraphWindow(kind) != nullptr && JitterGraphWindow(kind)->isVisible(), kind < jpBERBathtub)
        << kind;

  // The user's mask outlives the analysis switching on (only its test goes off).
  TCurrentMask& mask = CurrentMask();
  mask.Slots[0].X = {1000, 2000, 1500};
  mask.Slots[0].Y = {300, 300, 700};
  SetMaskPolygonCount(1);

  ASSERT_TRUE(ShowSideMenu(kJitterMenuId, kLeftPanel));
  auto& onOff = LeftMenu().Control<TRC_OnOffSwitch>("ooswOnOff");
  QAbstractButton* on = onOff.Button(0)->text() == "On" ? onOff.Button(0) : onOff.Button(1);
  test::Click(on, QPoint(8, on->height() / 2));
  ASSERT_NE(JitterObj(), nullptr);
  EXPECT_EQ(mask.PolygonCount, 1);
  EXPECT_EQ(mask.Slots[0].X, (std::vector<double>{1000, 2000, 1500}));
  RunFirstRound();
  SettleWindows();
  JitterHooks.RedrawJitterPlots();

  struct Case {
    int kind;
    std::vector<TColorRef> colours;
  };
  const Case cases[] = {
      {jpRJPJHist, {kJitterOrange}},
      {jpDDJHist, {kJitterBlue}},
      {jpTJHist, {kJitterGreen}},
      {jpCompHist, {kJitterGreen, kJitterOrange, kJitterBlue}},
      {jpCompDDJHist, {kJitterBlue, kJitterYellow, kJitterMauve}},
      {jpDDJvsBit, {kJitterBlue}},
  };
  const std::string samples = "Samples: " + std::to_string(JitterObj()->Hist(jhTJ).Count());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.kind);
    TJitterGraphFrm* w = JitterGraphWindow(c.kind);
    ASSERT_NE(w, nullptr);
    for (TColorRef colour : c.colours) EXPECT_GT(Count(c.kind, colour), 0) << std::hex << colour;
    if (c.kind <= jpTJHist) {
      EXPECT_EQ(w->SamplesLabel()->text().toStdString(), samples);
    }
    test::MaybeWritePng(test::Grab(w), "jitter_plot_" + std::to_string(c.kind));
  }
  // The selected results are in the strip with the pattern channel's colour.
  ASSERT_EQ(JitterSettings().JitterResults.size(), 2u);

  // A translation of the count that does not take a number gives way to the English text.
  LanguageStrings.ChangeLangStr("Samples_n", "%s Proben");
  JitterHooks.RedrawJitterPlots();
  EXPECT_EQ(JitterGraphWindow(jpTJHist)->SamplesLabel()->text().toStdString(),
            "Samples: " + std::to_string(JitterObj()->Hist(jhTJ).Count()));
  LanguageStrings.ChangeLangStr("Samples_n", "Samples: %d");

  // A window made wider than the 513 bins leaves no column unpainted between two bins that
  // hold counts.
  TJitterGraphFrm* random = JitterGraphWindow(jpRJPJHist);
  random->resize(1100, 320);
  SettleWindows();
  {
    const QImage image = SurfaceImage(random->Screen().Image());
    const TRect a = JitterPlotArea(image.width(), image.height());
    const TJitterHist& h = JitterObj()->Hist(jhRJPJ);
    const auto x = [&a](int bin) { return a.Left + bin * (a.Right - a.Left - 1) / (kJitterHistBins - 1.0); };
    const QColor orange(255, 102, 51);
    int unpainted = 0;
    for (int bin = 0; bin + 1 < kJitterHistBins; ++bin) {
      if (h.Bins[static_cast<size_t>(bin)] == 0 || h.Bins[static_cast<size_t>(bin) + 1] == 0) continue;
      for (int px = static_cast<int>(std::ceil(x(bin))); px <= static_cast<int>(x(bin + 1)); ++px)
        unpainted += image.pixelColor(px, a.Bottom - 2) != orange;
    }
    EXPECT_EQ(unpainted, 0);
  }

  // A composite button: the pressed one on top, the one before below it, the third under.
  TJitterGraphFrm* composite = JitterGraphWindow(jpCompHist);
  test::Click(composite->ComboButton(0), {4, 4});
  EXPECT_EQ(composite->Combination(), 0 * 16 + 2 * 4 + 1);

  // "DDJ vs Bit": a click zooms in, "UNDO ZOOM" back out.
  TJitterGraphFrm* bits = JitterGraphWindow(jpDDJvsBit);
  test::Click(bits->DrawingWidget(), {bits->DrawingWidget()->width() / 2, 20});
  EXPECT_EQ(JitterObj()->View().Factor, 4);
  EXPECT_EQ(JitterObj()->View().LastBit - JitterObj()->View().FirstBit, 30);
  test::Click(bits->ComboButton(2), {4, 4});
  EXPECT_EQ(JitterObj()->View().Factor, 1);
  EXPECT_EQ(JitterObj()->View().FirstBit, 0);
  EXPECT_EQ(JitterObj()->View().LastBit, 126);

  // Close unchecks the plot; checking it again makes a new window.
  test::Click(JitterGraphWindow(jpTJHist)->CloseButton(), {5, 5});
  QApplication::processEvents();
  EXPECT_EQ(JitterGraphWindow(jpTJHist), nullptr);
  EXPECT_EQ(ExecCommand("Jitter:JPlots?"), "RJPJHIST,DDJHIST,COMPHIST,COMPDDJHIST,DDJVSBIT");
  ExecCommand("Jitter:JPlots RJPJHist,DDJHist,TJHist");
  ASSERT_NE(JitterGraphWindow(jpTJHist), nullptr);
  EXPECT_EQ(JitterGraphWindow(jpCompHist), nullptr);

  // Switching another analysis on switches the jitter off.
  ExecCommand("Meas:Display Param");
  EXPECT_EQ(JitterObj(), nullptr);
  EXPECT_EQ(ExecCommand("Jitter:JitterOn?"), "OFF");
}

// The setup page binds its level edit to the chosen sampling level.
TEST_F(JitterProgramTest, TheLevelEditFollowsTheSamplingLevelChoice) {
  Start();
  ASSERT_TRUE(ShowSideMenu(kJitterMenuId, kLeftPanel));
  LeftMenu().ShowPage(4);
  auto& edit = LeftMenu().Control<TRC_EditSwitcher>("edswSamplingLevel");
  struct Case {
    const char* item;
    const char* node;
    const char* caption;
  };
  const Case cases[] = {{"Level", ":Jitter:CustLevel", "LEVEL"},
                        {"Average", ":Jitter:PercAmpl", "AMPLITUDE"},
                        {"AmplPerc", ":Jitter:PercAmpl", "AMPLITUDE"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.item);
    ExecCommand(std::string("Jitter:SmplLvl ") + c.item);
    EXPECT_EQ(edit.Mnemonics(), c.node);
    EXPECT_EQ(edit.Caption().toStdString(), c.caption);
  }
  // Any other page shows the main one.
  LeftMenu().ShowPage(9);
  EXPECT_TRUE(LeftMenu().Page(1)->isVisible());
}

}  // namespace
}  // namespace norv
