// The utility family of side menus in the program as main() builds it: opened from the
// "Utility" button, driven by clicks from page to page, the adjustment page only behind the
// access code, and the demo-signal page reached from the utility page and left again.
// Set NORV_PNG_DIR to get a picture of each page.

#include "service/ui/utility_pages.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest/QTest>

#include "controls/list_switchers.h"
#include "framework/settings/choice_handlers.h"
#include "framework/settings/program_objects.h"
#include "framework/settings/settings_tree.h"
#include "instrument/acquisition/acquisition_cycle.h"
#include "instrument/link/instrument_identity.h"
#include "service/calibration_settings.h"
#include "service/ui/adjust_access_form.h"
#include "shell/remote/remote_control.h"
#include "shell/ui/program_fixture.h"

namespace norv {
namespace {

constexpr int kUtilityButton = 20;
constexpr int kDemoSignalMenu = kUtilityMenu + uaDemoSignal;

class UtilityPagesTest : public test::ProgramFixture {
 protected:
  // The left panel's menu once the family's 5 ms switch has run.
  int MenuAfterSwitch(int expected) {
    for (int i = 0; i < 100 && CurrentSideMenu[kLeftPanel] != expected; ++i) QTest::qWait(5);
    return CurrentSideMenu[kLeftPanel];
  }
  void ClickUtility() { test::Click(window().MainMenuButton(kUtilityButton), {5, 5}); }
  void ClickMenu(int code) { test::Click(window().MainMenuButton(code), {5, 5}); }
  static TRC_RightMenuPanel& PanelOf(const char* name) {
    return LeftMenu().Control<TRC_RightMenuPanel>(name);
  }
  static THandler* HandlerOf(const char* control) {
    return LeftMenu().Control<TRC_Switcher>(control).GetHandler();
  }
  static void Picture(const std::string& name) { test::MaybeWritePng(test::Grab(&LeftMenu()), name); }
  // The access dialog, once it is open, gets these codes one by one, and Cancel when it is
  // still open after them. Counts the dialogs seen.
  void AnswerAccess(std::vector<std::string> codes) {
    QTimer::singleShot(0, [this, codes] {
      auto* dialog = qobject_cast<TAdjustAccess*>(QApplication::activeModalWidget());
      if (!dialog) return;
      ++accessDialogs_;
      for (const std::string& code : codes) {
        dialog->PassEnter()->setText(QString::fromStdString(code));
        dialog->OKBtn()->click();
        if (!dialog->isVisible()) return;
      }
      dialog->CancBtn()->click();
    });
  }
  int accessDialogs_ = 0;
};

TEST_F(UtilityPagesTest, TheUtilityButtonLeadsToTheCalibrationAndDemoSignalPagesAndBack) {
  WriteDemoUnit("Default Demo", 1, 2, 255 - OptGenerators, 12, 77, true);  // the TDR head's waveform
  Start();
  ExecCommand("Header Off");
  ClickUtility();
  ASSERT_EQ(CurrentSideMenu[kLeftPanel], kUtilityMenu);
  EXPECT_EQ(window().MenuCaption(true)->text(), "Utility");
  // The language list shows the languages of the language node.
  const auto& lang = *dynamic_cast<TRadioSwHandler*>(RootSpider->FindHandler("Shadow:Lang"));
  EXPECT_EQ(LeftMenu().Control<TRC_ListBoxSwitcher>("lbswLanguage").Items().size(), lang.GetCount());
  Picture("utility_page");

  Press(LeftMenu(), "pcswCalibrating");
  ASSERT_EQ(MenuAfterSwitch(kCalibrMenuId), kCalibrMenuId);
  EXPECT_EQ(PanelAltMenu[kLeftPanel], uaCalibration);
  Picture("calibration_page");
  // The store waits for a change; a changed constant makes it available.
  EXPECT_FALSE(LeftMenu().Control<TRC_Switcher>("rcswStoreAll").isEnabled());
  Press(LeftMenu(), "pcswChannels");
  EXPECT_EQ(LeftMenu().CurrentPage(), cpChannels);
  struct Case {
    int button;
    const char* group;
    const char* label;
  };
  // Index 1 is Ch2 Full and 2 Ch1 Narrow: the bands go first.
  const Case channels[] = {{2, "FLASH:Calibr:Ch1Narrow", "Ch1 Narrow BW"},
                           {1, "FLASH:Calibr:Ch2Full", "Ch2 Full BW"}};
  for (const Case& k : channels) {
    SCOPED_TRACE(k.label);
    Choose("rswChnlsBW", k.button);
    EXPECT_EQ(PanelOf("rmpCalibrChannels").GroupMnemonics(), k.group);
    EXPECT_EQ(LeftMenu().Control<QLabel>("lblChannel").text().toStdString(), k.label);
    EXPECT_EQ(HandlerOf("eswBridgeVolt"), RootSpider->FindHandler(std::string(k.group) + ":BridgeVolt"));
  }
  Choose("rswChnlsBW", 3);
  Picture("calibration_channels");
  ExecCommand("FLASH:Calibr:Ch2Narrow:Balance 0.1");
  Press(LeftMenu(), "pcswBackFromChannels");
  EXPECT_EQ(LeftMenu().CurrentPage(), cpMain);
  EXPECT_TRUE(LeftMenu().Control<TRC_Switcher>("rcswStoreAll").isEnabled());
  Press(LeftMenu(), "pcswTimeBase");
  EXPECT_EQ(HandlerOf("eswFineTB"), RootSpider->FindHandler("FLASH:Calibr:FineTB"));
  EXPECT_EQ(LeftMenu().Control<TRC_EditSwitcher>("eswFineTB").Caption(), "FINE TBASE / 4 ns");
  Press(LeftMenu(), "pcswBackFromTB");

  // Another menu and the utility button again: the panel comes back to the calibration
  // page, where it was left.
  ClickMenu(8);
  ClickUtility();
  EXPECT_EQ(CurrentSideMenu[kLeftPanel], kCalibrMenuId);
  Press(LeftMenu(), "pcswBack");
  ASSERT_EQ(MenuAfterSwitch(kUtilityMenu), kUtilityMenu);

  Press(LeftMenu(), "rpcsGSS");
  ASSERT_EQ(MenuAfterSwitch(kDemoSignalMenu), kDemoSignalMenu);
  EXPECT_EQ(LeftMenu().objectName(), "GSS_Form");
  Picture("demo_signal_page");
  // The demo page's way back, also where the reflection waveforms put their own link.
  for (const char* waveform : {"TDR", "Sinewave"}) {
    SCOPED_TRACE(waveform);
    ExecCommand(std::string("GSS:A:Waweform ") + waveform);
    const QRect back = LeftMenu().Control<TRC_Switcher>("pcsBackToUtility").geometry();
    for (const char* other : {"pcsMorePage", "pcsAmplitudePage", "lbswTDRCircuit"}) {
      const auto& w = LeftMenu().Control<TRC_Switcher>(other);
      EXPECT_FALSE(w.isVisibleTo(&LeftMenu()) && w.geometry().intersects(back)) << other;
    }
    // Beside "More..." it is a button of the same height.
    const auto& more = LeftMenu().Control<TRC_Switcher>("pcsMorePage");
    if (more.isVisibleTo(&LeftMenu())) {
      EXPECT_EQ(std::pair(back.top(), back.height()), std::pair(more.y(), more.height()));
    }
  }
  Press(LeftMenu(), "pcsBackToUtility");
  ASSERT_EQ(MenuAfterSwitch(kUtilityMenu), kUtilityMenu);
  EXPECT_EQ(PanelAltMenu[kLeftPanel], uaUtility);
  EXPECT_EQ(PanelAltMenu[kRightPanel], uaUtility) << "each panel keeps its own";
}

TEST_F(UtilityPagesTest, TheAdjustmentPageOpensOnlyBehindTheAccessCode) {
  Start();
  ExecCommand("Header Off");
  ClickUtility();
  struct Case {
    std::vector<std::string> codes;
    int menu;
  };
  // Wrong codes leave the utility page (the first code with its letters in lower case is a
  // wrong one, Cancel costs no attempt); the second code on the third attempt opens the page.
  const Case attempts[] = {{{"kr4-62m"}, kUtilityMenu}, {{"KR4-62", "Zolbrink"}, kAdjustMenuId}};
  for (const Case& k : attempts) {
    SCOPED_TRACE(k.codes.back());
    AnswerAccess(k.codes);
    Press(LeftMenu(), "pcswAdjusting");
    EXPECT_EQ(MenuAfterSwitch(k.menu), k.menu);
  }
  EXPECT_EQ(accessDialogs_, 2);
  EXPECT_EQ(PanelAltMenu[kLeftPanel], uaAdjustment);
  Picture("adjustment_page");
  // The demo instrument has no optics: no O/E entry.
  EXPECT_FALSE(LeftMenu().Control<TRC_Switcher>("pcswOEConverter").isVisibleTo(&LeftMenu()));

  // While the page is open a calibration change marks the adjustment set as well.
  ExecCommand("FLASH:Calibr:FineTB 20000");
  EXPECT_TRUE(LeftMenu().Control<TRC_Switcher>("rcswStoreFactory").isEnabled());

  Press(LeftMenu(), "pcswAdjChannels");
  struct Band {
    int button;
    bool percent;  // "% OF BRIDGE" belongs to the narrow band
  };
  for (const Band& b : {Band{2, true}, Band{1, false}, Band{3, true}}) {
    SCOPED_TRACE(b.button);
    Choose("rswAdjChnlsBW", b.button);
    EXPECT_EQ(LeftMenu().Control<TRC_Switcher>("eswPromBrNBW").isVisibleTo(&LeftMenu()), b.percent);
  }
  EXPECT_EQ(HandlerOf("eswPromBrNBW"), RootSpider->FindHandler("FLASH:Calibr:Ch2Narrow:PromBrNBW"));
  Picture("adjustment_channels");
  Press(LeftMenu(), "pcswBackFromChannels");
  // Each page of the menu and its way back.
  struct Turn {
    const char* link;
    int page;
    const char* bound;  // a control of the page and its node
    const char* node;
    const char* back;
  };
  const Turn turns[] = {
      {"pcswStrobeGenerator", apStrobe, "eswSRD3", "Flash:Calibr:Strobe:SRD3", "pcswBackFromStrobe"},
      {"pcswAdjTimeBase", apTimeBase, "eswFineDelay", "FLASH:Calibr:FineDelay", "pcswBackFromTimeBase"},
      {"pcswTrigger", apTrigger, "eswLevelZero", "FLASH:Calibr:LevelZero", "pcswBackFromTrigger"},
  };
  for (const Turn& t : turns) {
    SCOPED_TRACE(t.link);
    Press(LeftMenu(), t.link);
    EXPECT_EQ(LeftMenu().CurrentPage(), t.page);
    EXPECT_EQ(HandlerOf(t.bound), RootSpider->FindHandler(t.node));
    Press(LeftMenu(), t.back);
    EXPECT_EQ(LeftMenu().CurrentPage(), apMain);
  }

  // Leaving the page ends the double marking; access stays granted: the next request
  // opens the page without the dialog.
  Press(LeftMenu(), "pcswBack");
  ASSERT_EQ(MenuAfterSwitch(kUtilityMenu), kUtilityMenu);
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_FALSE(CalibrationState().AdjustmentPageOpen);
  AnswerAccess({});
  Press(LeftMenu(), "pcswAdjusting");
  EXPECT_EQ(MenuAfterSwitch(kAdjustMenuId), kAdjustMenuId);
  QApplication::processEvents();
  EXPECT_EQ(accessDialogs_, 2);
}

TEST_F(UtilityPagesTest, WithTheOpticsOptionTheAdjustmentPageLeadsToTheConverter) {
  WriteDemoUnit("Default Demo", 1, 2, 255 - OptOptics, 12, 77, true);
  Start();
  ClickUtility();
  AnswerAccess({"KR4-62M"});
  Press(LeftMenu(), "pcswAdjusting");
  ASSERT_EQ(MenuAfterSwitch(kAdjustMenuId), kAdjustMenuId);
  ASSERT_TRUE(LeftMenu().Control<TRC_Switcher>("pcswOEConverter").isVisibleTo(&LeftMenu()));
  Press(LeftMenu(), "pcswOEConverter");
  EXPECT_EQ(LeftMenu().CurrentPage(), apOEConverter);
  Press(LeftMenu(), "pcswWavelengthGain");
  EXPECT_EQ(HandlerOf("eswOEGain3"), RootSpider->FindHandler("Shadow:Adjust:OEGain3"));
  Picture("adjustment_wavelength_gain");
  Press(LeftMenu(), "pcswBackFromGain");
  Press(LeftMenu(), "pcswFreqCorrection");
  EXPECT_EQ(HandlerOf("rswPattLenght"), RootSpider->FindHandler("Shadow:Adjust:PattLenght"));
  Picture("adjustment_frequency_correction");
}

// "Calibration Status..." shows when the automatic calibration runs; its check waits
// while the dialog is open.
TEST_F(UtilityPagesTest, TheCalibrationStatusPausesTheAutomaticCheck) {
  Start();
  ExecCommand("Header Off;Util:CalibrWhen ClearALL");
  ClickUtility();
  Press(LeftMenu(), "pcswCalibrating");
  ASSERT_EQ(MenuAfterSwitch(kCalibrMenuId), kCalibrMenuId);
  ITimer& timer = AcquisitionCycle().AutoCalTimer();
  const bool enabledBefore = timer.Enabled();
  bool seen = false;
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<TCalibrateStatus*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    seen = true;
    EXPECT_FALSE(timer.Enabled());
    test::MaybeWritePng(test::Grab(dialog), "calibration_status");
    auto* when = dialog->findChild<TRC_CheckSwitcher*>("cswCalibrWhen");
    ASSERT_NE(when, nullptr);
    test::Click(when->Button(1), QPoint(8, when->Button(1)->height() / 2));
    EXPECT_EQ(dialog->findChild<TRC_Switcher*>("eswCalPeriod")->GetHandler(),
              RootSpider->FindHandler("Util:CalPeriod"));
    dialog->findChild<QPushButton*>("OkButton")->click();
  });
  Press(LeftMenu(), "pcswCalibrationStatus");
  EXPECT_TRUE(seen);
  EXPECT_EQ(ExecCommand("Util:CalibrWhen?"), "PERIOD");
  EXPECT_EQ(timer.Enabled(), enabledBefore);
}

}  // namespace
}  // namespace norv
