// The O/E converter in the program as main() builds it: its menu opened once
// "DemoUnits.ini" gives the demo instrument the optics option, driven by clicks, and the
// dark-level and gain calibrations run on the simulated converter through their window.

#include <gtest/gtest.h>

#include <QApplication>
#include <QFont>
#include <QLabel>
#include <QPushButton>
#include <cmath>
#include <string>
#include <vector>

#include "framework/settings/choice_handlers.h"
#include "framework/settings/numeric_handlers.h"
#include "framework/settings/settings_tree.h"
#include "framework/util/dialog_service.h"
#include "instrument/acquisition/acquisition_state.h"
#include "instrument/link/instrument_identity.h"
#include "instrument/settings/channel_settings.h"
#include "instrument/simulator/simulator.h"
#include "service/oe_converter.h"
#include "service/ui/oe_calibration_dialog.h"
#include "service/ui/oe_page.h"
#include "shell/remote/remote_control.h"
#include "shell/ui/program_fixture.h"

namespace norv {
namespace {

const QString kMicrons131 = QString::fromUtf8("1.31 \xC2\xB5m");

class OEProgramTest : public test::ProgramFixture {
 protected:
  void TearDown() override {
    ProgramFixture::TearDown();
    ProgramSimulator().SimSetOpticalDarkZero(kSimDefaultDarkZero);
  }
  // The demo instrument with the optics option, the converter's output on Ch1 and its
  // menu open.
  TDeclaredSideMenu& StartWithConverterOnCh1() {
    // The file holds the option bits inverted.
    WriteDemoUnit("Default Demo", 1, 2, 255 - OptOptics, 12, 77, true);
    Start();
    ExecCommand("Header Off");
    test::Click(window().MainMenuButton(kMenuOE), {5, 5});
    EXPECT_EQ(CurrentSideMenu[kLeftPanel], kOEMenuId);
    dialogs_.answers.push_back(TAnswer::OK);
    Choose("rswDest", 1);
    EXPECT_TRUE(IsOEOutputOnChannel(2));
    return LeftMenu();
  }
  // Idle passes until the run has finished (or ended) or the pass budget is spent.
  void RunUntilFinished() {
    for (int i = 0; i < 3000000; ++i) {
      const TOECalState state = OEConvState().Run.State;
      if (state == TOECalState::Finish || state == TOECalState::Idle) return;
      window().IdleStep();
    }
  }
  static void ClickWindowButton(const char* name) {
    ASSERT_NE(OECalibrationWindow(), nullptr);
    auto* button = OECalibrationWindow()->findChild<QPushButton*>(name);
    ASSERT_NE(button, nullptr);
    ASSERT_TRUE(button->isEnabled()) << name;
    test::Click(button, button->rect().center());
  }
  static QString WindowText(const char* label) {
    return OECalibrationWindow()->findChild<QLabel*>(label)->text();
  }
  static std::string Reply(const std::string& query) { return ExecCommand(query); }
  static double Value(const std::string& node) {
    return dynamic_cast<TEditHandler&>(*RootSpider->FindHandler(node)).GetValue();
  }
  static void SetShadow(const std::string& node, double value) {
    dynamic_cast<TDoubleEditHandler&>(*RootSpider->FindHandler(node)).SetValueByProgram(value);
  }
  // The settings the calibration set-up changes, as their queries answer.
  static std::vector<std::string> SetupState() {
    std::vector<std::string> state;
    for (const char* query : {"Ch1:Display?", "Ch2:Display?", "Ch1:Atten:Unit?", "Trig:Source?",
                              "Trig:IntRate?", "Acq:Ch1:RecLen?", "Acq:FitTo?", "Meas:Display?"})
      state.push_back(Reply(query));
    return state;
  }
  // Light of `milliwatts` on the converter: generator A as a DC level with the little
  // noise every detector shows (a trace without any is no converter's).
  static constexpr double kNoise = 0.0005;  // V
  static void ShineDC(double milliwatts) {
    TSimGenerator dc = ProgramSimulator().SimGenerator(1);
    dc.Amplitude = 0;
    dc.Noise = kNoise;
    dc.Offset = milliwatts;
    ProgramSimulator().SimSetGenerator(1, dc);
    ProgramSimulator().SimSetChannelSource(2, 1);
  }
};

// Set NORV_PNG_DIR to get oe_page.png and oe_calibration_window.png.
TEST_F(OEProgramTest, TheOpticsOptionOpensTheMenuAndTheDarkLevelIsFound) {
  Start();
  EXPECT_FALSE(window().MainMenuButton(kMenuOE)->isEnabled());
  Stop();

  TDeclaredSideMenu& oe = StartWithConverterOnCh1();
  EXPECT_TRUE(ProgramSimulator().SimOpticalInput(2).On);
  test::MaybeWritePng(test::Grab(&oe), "oe_page");
  Press(oe, "pcswDarkLevel");
  EXPECT_EQ(oe.CurrentPage(), 2);

  // Started from the page: confirmed, then the window follows the run until OK.
  const std::vector<std::string> before = SetupState();
  dialogs_.answers.push_back(TAnswer::OK);
  // A larger font than the design's: the captions must still read whole.
  const QFont font = QApplication::font();
  QFont large = font;
  if (font.pixelSize() > 0)
    large.setPixelSize(font.pixelSize() * 3 / 2);
  else
    large.setPointSizeF(font.pointSizeF() * 1.5);
  QApplication::setFont(large);
  Press(oe, "rcswAutoDarkLvl");
  QApplication::setFont(font);
  ASSERT_EQ(OEConvState().Run.State, TOECalState::DarkLevel);
  ASSERT_NE(OECalibrationWindow(), nullptr);
  EXPECT_EQ(OECalibrationWindow()->windowTitle(), "Calibration O/E Converter");
  EXPECT_EQ(WindowText("lblChannel"), "Channel 1");
  EXPECT_EQ(Reply("Ch1:Atten:Unit?"), "OFF");  // the bare channel, in volts
  EXPECT_EQ(Reply("Trig:Source?"), "INTCLOCK");
  EXPECT_TRUE(RunFlag);
  dialogs_.shown.clear();
  RunUntilFinished();
  ASSERT_EQ(OEConvState().Run.State, TOECalState::Finish);
  EXPECT_EQ(WindowText("lblResult"), "Calibration complete!");
  // Every caption and value reads whole beside its neighbour.
  for (const QLabel* label : OECalibrationWindow()->findChildren<QLabel*>()) {
    if (!label->isVisible()) continue;
    EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->width())
        << label->text().toStdString();
    for (const QLabel* other : OECalibrationWindow()->findChildren<QLabel*>()) {
      if (other != label && other->isVisible()) {
        EXPECT_FALSE(label->geometry().intersects(other->geometry())) << label->text().toStdString();
      }
    }
  }
  test::MaybeWritePng(test::Grab(OECalibrationWindow()), "oe_calibration_window");
  ClickWindowButton("OKBtn");
  EXPECT_EQ(OEConvState().Run.State, TOECalState::Idle);
  EXPECT_TRUE(OEConvState().LastRunSucceeded);
  EXPECT_TRUE(dialogs_.shown.empty());  // the window told the outcome
  EXPECT_NEAR(OEConvState().DarkLvl->GetValue(), kSimDefaultDarkZero, 0.05);
  EXPECT_EQ(SetupState(), before);
  EXPECT_EQ(ChannelSettings().Nodes[0].AttenUnit->GetIndex(), 1);  // watts again

  // By command nobody is asked: a converter whose zero lies beyond 100 % cannot be
  // compensated, the run ends by itself and the level comes back.
  ProgramSimulator().SimSetOpticalDarkZero(130);
  const double found = OEConvState().DarkLvl->GetValue();
  ExecCommand("FLASH:OECalibr:AutoDarkLvl");
  ASSERT_EQ(OEConvState().Run.State, TOECalState::DarkLevel);
  RunUntilFinished();
  EXPECT_EQ(OEConvState().Run.State, TOECalState::Idle);
  EXPECT_FALSE(OEConvState().LastRunSucceeded);
  EXPECT_EQ(OECalibrationWindow(), nullptr);
  EXPECT_DOUBLE_EQ(OEConvState().DarkLvl->GetValue(), found);
  EXPECT_EQ(SetupState(), before);

  // A remote client's run shows no window and has ended when its command answers; its
  // outcome goes to the log, never into a box.
  ProgramSimulator().SimSetOpticalDarkZero(kSimDefaultDarkZero);
  DialogState.SuppressedLog.clear();
  dialogs_.shown.clear();
  {
    const TDialogsSuppressed quiet;  // as the remote server runs each command
    ExecCommand("FLASH:OECalibr:AutoDarkLvl");
    EXPECT_EQ(OECalibrationWindow(), nullptr);
  }
  EXPECT_EQ(OEConvState().Run.State, TOECalState::Idle);
  EXPECT_TRUE(OEConvState().LastRunSucceeded);
  EXPECT_TRUE(dialogs_.shown.empty()) << ::testing::PrintToString(dialogs_.shown);
  EXPECT_EQ(DialogState.SuppressedLog, (std::vector<std::string>{"[information] Calibration complete!"}));
  EXPECT_EQ(SetupState(), before);
}

// Cancel in the middle of a run: the level and every setting of the set-up come back, the
// acquisition stays as it was.
TEST_F(OEProgramTest, CancelInTheWindowGivesEverythingBack) {
  TDeclaredSideMenu& oe = StartWithConverterOnCh1();
  ExecCommand("FLASH:OECalibr:DarkLvl 60");
  Press(oe, "pcswDarkLevel");
  const std::vector<std::string> before = SetupState();
  const bool wasRunning = RunFlag;
  dialogs_.answers.push_back(TAnswer::OK);
  Press(oe, "rcswAutoDarkLvl");
  ASSERT_EQ(OEConvState().Run.State, TOECalState::DarkLevel);
  EXPECT_FALSE(WindowText("lblDarkLevel").isEmpty());
  for (int i = 0; i < 20000 && OEConvState().DarkLvl->GetValue() == 60; ++i) window().IdleStep();
  ASSERT_NE(OEConvState().DarkLvl->GetValue(), 60);  // the search has moved the level
  ClickWindowButton("CancelBtn");
  EXPECT_EQ(OEConvState().Run.State, TOECalState::Idle);
  EXPECT_FALSE(OEConvState().LastRunSucceeded);
  EXPECT_EQ(Value("FLASH:OECalibr:DarkLvl"), 60);
  EXPECT_EQ(SetupState(), before);
  EXPECT_EQ(RunFlag, wasRunning);
  EXPECT_EQ(OECalibrationWindow(), nullptr);

  // Cancel at the question starts nothing.
  dialogs_.answers.push_back(TAnswer::Cancel);
  Press(oe, "rcswAutoDarkLvl");
  EXPECT_EQ(OEConvState().Run.State, TOECalState::Idle);
  EXPECT_EQ(OECalibrationWindow(), nullptr);
}

// The gain of a user point measured on the simulated converter: 0.4 mW of light through a
// converter of 125 V/W gives 50 mV; with the power set to 0.4 mW the gain is 125 V/W.
TEST_F(OEProgramTest, TheGainStepMeasuresTheConverterAndStoresTheUserPoint) {
  TDeclaredSideMenu& oe = StartWithConverterOnCh1();
  SetShadow("Shadow:Adjust:OEGain1", 125);
  ExecCommand("OEConv:WaveLen WL1");
  ExecCommand("FLASH:OECalibr:DarkLvl " + std::to_string(kSimDefaultDarkZero));
  ShineDC(0.4);
  SetShadow("Shadow:OECalibr3:Wavelength", 1.31e-6);
  Press(oe, "pcswWavelengthGain");
  ASSERT_EQ(oe.CurrentPage(), 3);
  // The point list names every user point; one without its gain yet is no point.
  auto& points = LeftMenu().Control<TRC_RadioSwitcher>("rswPointNum");
  EXPECT_EQ(points.Items().value(2), "Empty");
  // Choosing a point binds its own nodes.
  Choose("rswPointNum", 2);
  EXPECT_EQ(LeftMenu().findChild<TRC_RightMenuPanel*>("rmpWavelengthGain")->GroupMnemonics(),
            "Shadow:OECalibr3");
  ExecCommand("FLASH:OECalibr:Power 0.0004");

  struct Case {
    const char* name;
    double converterGain;  // of the factory point the simulated converter follows
    double power;
    bool succeeds;
    const char* result;
  };
  // 0.4 mW x 10 V/W = 4 mV read as 0.65 mW: 6.15 V/W, not above 20: a failure. A converter
  // of no gain gives only the noise, and the window says why it failed.
  const char* const noLight =
      "Calibration failed\nNo steady light on the O/E CONVERTER: the channel's level is not above its noise.";
  for (const Case& c : {Case{"measured", 125, 0.0004, true, "Calibration complete!"},
                        Case{"too small", 10, 0.00065, false, "Calibration failed"},
                        Case{"no light", 0, 0.0004, false, noLight}}) {
    SCOPED_TRACE(c.name);
    SetShadow("Shadow:Adjust:OEGain1", c.converterGain);
    ExecCommand("FLASH:OECalibr:Power " + std::to_string(c.power));
    const double userGainBefore = Value("Shadow:OECalibr3:Gain");
    dialogs_.answers.push_back(TAnswer::OK);
    Press(oe, "rcswAutoCalGain");
    ASSERT_EQ(OEConvState().Run.State, TOECalState::Gain);
    RunUntilFinished();
    ASSERT_EQ(OEConvState().Run.State, TOECalState::Finish);
    const double expected = 0.4e-3 * c.converterGain / c.power;
    // The record holds whole codes (16000 per volt): half a code of rounding, and three
    // deviations of the mean of 12000 noisy values.
    const double tolerance = (0.5 / 16000 + 3 * kNoise / std::sqrt(12000.0)) / c.power;
    EXPECT_NEAR(OEConvState().Run.MeasuredGain, expected, tolerance);
    auto* ok = OECalibrationWindow()->findChild<QPushButton*>("OKBtn");
    EXPECT_EQ(ok->isEnabled(), c.succeeds);
    EXPECT_EQ(WindowText("lblResult"), c.result);
    ClickWindowButton(c.succeeds ? "OKBtn" : "CancelBtn");
    EXPECT_EQ(OEConvState().Run.State, TOECalState::Idle);
    EXPECT_NEAR(Value("Shadow:OECalibr3:Gain"), c.succeeds ? expected : userGainBefore, tolerance);
  }
  // The new user point is in the point list and in the ranked list of the main page.
  EXPECT_EQ(points.Items().value(2), kMicrons131);
  ASSERT_EQ(OEConvState().Ranking.Count, 1);
  EXPECT_EQ(LeftMenu().Control<TRC_ListBoxSwitcher>("lbswUserWaveLen").Items().value(0), kMicrons131);
  EXPECT_EQ(LeftMenu().Control<TRC_RadioSwitcher>("rswWaveLen").Items().value(0),
            QString::fromStdString(OEWavelengthText(Value("Shadow:Adjust:OEWaveLen1"))));
}

}  // namespace
}  // namespace norv
