// The TDR channel calibration and the reflection and transmission measurements in the
// program as main() builds it, on the simulator's step generator: the calibration dialog
// driven by its buttons to OK, Cancel and a failure; then the reflection of the simulated
// loads against (R - 50) / (R + 50) and the delay and gain of the simulated lines.
//
// The simulator's TDR head: 6720 codes (0.42 V) of step into a resistive divider, so the
// matched line sits 0.21 V below the generator's -368 codes (-0.023 V) and a reflection
// rho moves it a further rho x 0.105 V. Its TDT lines: the stimulus itself, a 6 dB pad of
// 3 ns and a 150 Ohm section of 2 ns (0.75 of the step at once, the rest after bounces).

#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "controls/command_switchers.h"
#include "framework/settings/numeric_handlers.h"
#include "framework/util/dialog_service.h"
#include "framework/util/errors.h"
#include "instrument/link/instrument_identity.h"
#include "instrument/record/signal_obj.h"
#include "service/tdr_channel_calibration.h"
#include "service/ui/tdr_calibration_dialog.h"
#include "shell/remote/remote_control.h"
#include "shell/ui/program_fixture.h"
#include "tdr_mask/tdr_measure.h"
#include "tdr_mask/tdr_settings.h"

namespace norv {
namespace {

constexpr double kMatchedLevel = (-368 - 3360) / 16000.0;  // V
constexpr double kReflectionVolts = 6720 * 0.25 / 16000;   // V per unit of rho

class TdrMeasureProgramTest : public test::ProgramFixture {
 protected:
  void StartWithTdr(const char* mode) {
    WriteDemoUnit("Default Demo", 1, 2, 255 - OptGenerators, 12, 77, true);
    Start();
    ExecCommand("Header Off");
    ExecCommand(std::string("TDR:Mode ") + mode + ";:TDR:Ch1:Destination External;:TDR:Ch1:Polar Neg");
    ExecCommand(std::string("GSS:A:Waweform ") + mode + ";:GSS:A:TDROvershot 0;:GSS:A:TDRSkol 0");
  }

  // `start` opens the dialog; `during` runs inside its modal loop.
  static void WithDialog(const std::function<void()>& start,
                         const std::function<void(TfrmTDR_CalibrChannel&)>& during) {
    bool opened = false;
    QTimer::singleShot(0, [&] {
      TfrmTDR_CalibrChannel* dialog = OpenTdrCalibrationDialog();
      opened = dialog != nullptr;
      if (dialog) during(*dialog);
    });
    start();
    EXPECT_TRUE(opened);
    EXPECT_EQ(OpenTdrCalibrationDialog(), nullptr);
  }
  // Acquisitions until the calibration has an outcome.
  void RunToEnd(TfrmTDR_CalibrChannel& dialog) {
    for (int i = 0; i < 4000000 && dialog.Calibration().Outcome() == TTdrCalibrationOutcome::Running; ++i)
      window().IdleStep();
  }
  static void ClickButton(TfrmTDR_CalibrChannel& dialog, const char* name) {
    auto* button = dialog.findChild<QPushButton*>(name);
    ASSERT_NE(button, nullptr);
    test::Click(button, button->rect().center());
  }
  // The page's Calibrate button of Ch1: the program asks first, then the dialog opens.
  void PressCalibrate() {
    test::Click(window().MainMenuButton(kMenuTDR), {5, 5});
    Press(LeftMenu(), "pcswChannels");
    Choose("rswMenuChannels", 0);
    Press(LeftMenu(), "rcswCalibrate");
  }
  static double Value(const TDoubleEditHandler* h) { return h->GetValue(); }

  // The four reference values of Ch1, to see that nothing moved them.
  static std::vector<double> References() {
    const TTdrChannelNodes& n = TdrChannel(2);
    return {Value(n.RefAmpl), Value(n.BaseLine), Value(n.RefTDTAmpl), Value(n.RefTDTZero), Value(n.RefPlane)};
  }
};

TEST_F(TdrMeasureProgramTest, TheCalibrationDialogToOkToCancelAndToAFailure) {
  StartWithTdr("TDR");
  ExecCommand("TB:ScaleA 2n");
  const std::vector<double> before = References();
  const std::string scale = ExecCommand("TB:ScaleA?");

  // Cancel at the end keeps the channel as it was, and gives the settings back.
  dialogs_.answers = {TAnswer::OK, TAnswer::OK};  // ready to calibrate; termination removed
  WithDialog([&] { PressCalibrate(); },
             [&](TfrmTDR_CalibrChannel& d) {
               RunToEnd(d);
               EXPECT_EQ(d.Calibration().Outcome(), TTdrCalibrationOutcome::Succeeded);
               EXPECT_TRUE(d.findChild<QPushButton*>("btnOK")->isEnabled());
               ClickButton(d, "btnCancel");
             });
  EXPECT_EQ(References(), before);
  EXPECT_FALSE(TdrChannel(2).Calibrated);
  EXPECT_EQ(ExecCommand("TB:ScaleA?"), scale);

  // Cancel at the termination question ends it at once.
  dialogs_.answers = {TAnswer::OK, TAnswer::Cancel};
  WithDialog([&] { PressCalibrate(); },
             [&](TfrmTDR_CalibrChannel& d) {
               RunToEnd(d);
               EXPECT_EQ(d.Calibration().Progress(), 50);
             });
  EXPECT_EQ(References(), before);

  // OK: the base line on the 50 Ohm load and the step to the open line.
  dialogs_.shown.clear();
  dialogs_.answers = {TAnswer::OK, TAnswer::OK};
  WithDialog([&] { PressCalibrate(); },
             [&](TfrmTDR_CalibrChannel& d) {
               RunToEnd(d);
               EXPECT_EQ(d.Calibration().Progress(), 100);
               test::MaybeWritePng(test::Grab(&d), "tdr_calibration");
               ClickButton(d, "btnOK");
             });
  ASSERT_EQ(dialogs_.shown.size(), 2u);
  EXPECT_NE(dialogs_.shown[1].find("Disconnect the 50-Ohm Termination"), std::string::npos);
  const TTdrChannelNodes& n = TdrChannel(2);
  EXPECT_NEAR(Value(n.BaseLine), kMatchedLevel, 0.003);
  EXPECT_NEAR(Value(n.RefAmpl), kReflectionVolts, 0.003);
  EXPECT_NE(Value(n.RefPlane), before[4]);
  EXPECT_TRUE(n.Calibrated);
  EXPECT_EQ(ExecCommand("TB:ScaleA?"), scale);

  // TDT with the positive polarity on the simulator's falling step: the slope is wrong.
  const std::vector<double> calibrated = References();
  ExecCommand("TDR:Mode TDT;:TDR:Ch1:Polar Pos;:GSS:A:Waweform TDT");
  dialogs_.answers = {TAnswer::OK};
  WithDialog([&] { PressCalibrate(); },
             [&](TfrmTDR_CalibrChannel& d) {
               RunToEnd(d);
               EXPECT_EQ(d.Calibration().Outcome(), TTdrCalibrationOutcome::Failed);
               EXPECT_EQ(d.findChild<QLabel*>("lblError")->text().toStdString(),
                         "The slope of the active step does not meet to declared slope");
               EXPECT_FALSE(d.findChild<QPushButton*>("btnOK")->isEnabled());
               for (const QLabel* label : d.findChildren<QLabel*>()) {
                 if (label->text().endsWith(':')) {
                   EXPECT_FALSE(label->isVisible()) << label->text().toStdString();
                 }
               }
               ClickButton(d, "btnCancel");
             });
  EXPECT_EQ(References(), calibrated);
}

// A remote client's calibration has no window: it ends before its command answers, and its
// outcome, which the window would show, goes to the log; a failure stores nothing.
TEST_F(TdrMeasureProgramTest, ARemoteClientsCalibrationTellsItsOutcomeWithoutAWindow) {
  StartWithTdr("TDT");
  struct Case {
    const char* delay;
    const char* told;
    bool stored;
  };
  const Case cases[] = {
      {nullptr, "[information] Calibration complete!", true},
      // The generator's step 69 ns into the 100 ns record: past its point 400, both levels
      // lie before it.
      {"69n", "[error] Calibration failed: Amplitude of signal is less than 50 mV", false},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.told);
    if (k.delay) ExecCommand(std::string("Gen:StepsDelay ") + k.delay);
    const std::vector<double> before = References();
    DialogState.SuppressedLog.clear();
    bool opened = false;
    QTimer::singleShot(0, [&] { opened = OpenTdrCalibrationDialog() != nullptr; });
    std::string answer;
    try {
      const TDialogsSuppressed quiet;  // as the remote server runs each command
      ExecCommand("TDR:Ch1:DoVertCalibr");
    } catch (const EAssertion& e) {
      answer = e.what();
    }
    EXPECT_EQ(DialogState.SuppressedLog, std::vector<std::string>{k.told});
    // A failure answers the client as one, with what the log tells.
    EXPECT_EQ(answer, k.stored ? "" : std::string(k.told).substr(std::string("[error] ").size()));
    EXPECT_EQ(References() != before, k.stored);
    QApplication::processEvents();
    EXPECT_FALSE(opened);
  }
}

// Margins in screen X of a 2 ns/div record (20.48 ns over 4096).
int ScreenX(double t) { return static_cast<int>(t / 20.48e-9 * 4096); }

TEST_F(TdrMeasureProgramTest, ReflectionOfTheSimulatedLoads) {
  StartWithTdr("TDR");
  // A command's calibration closes by itself; the termination question is answered.
  dialogs_.answers = {TAnswer::OK};
  ExecCommand("TDR:Ch1:DoVertCalibr");
  ASSERT_TRUE(TdrChannel(2).Calibrated);
  ExecCommand("TB:ScaleA 2n;:Acq:Ch1:Mode AvgMult;:Acq:Ch1:NAvg 64");
  ExecCommand("TDR:Ch1:TdrParams MinReflect,MaxReflect;:TDR:Measure On");
  struct Case {
    const char* circuit;
    double ohms;
    double from, to;  // the plateau after the reflection, s from the record's start
  };
  for (const Case& c :
       {Case{"Short", 0, 13e-9, 20e-9}, Case{"R50", 50, 13e-9, 20e-9}, Case{"Rx", 85, 13e-9, 20e-9},
        Case{"RR5015050", 150, 12.8e-9, 13.9e-9}, Case{"Open", 1e10, 13e-9, 20e-9}}) {
    SCOPED_TRACE(c.circuit);
    TdrSettings().Sources[0].LeftMargins->SetValueByProgram(ScreenX(c.from));
    TdrSettings().Sources[0].RightMargins->SetValueByProgram(ScreenX(c.to));
    ExecCommand(std::string("GSS:A:TDRCircuit ") + c.circuit);
    Acquire(2);
    const double rho = c.ohms > 1e9 ? 1 : (c.ohms - 50) / (c.ohms + 50);
    ASSERT_EQ(ReflectLineCount(rmTDR), 2);
    EXPECT_NEAR(ReflectLine(rmTDR, 0)->Value, 100 * rho, 2);  // MinReflect
    EXPECT_NEAR(ReflectLine(rmTDR, 1)->Value, 100 * rho, 2);  // MaxReflect
  }
}

TEST_F(TdrMeasureProgramTest, DelayAndGainOfTheSimulatedLines) {
  StartWithTdr("TDT");
  ExecCommand("TDR:Ch1:DoVertCalibr");  // on the stimulus itself
  ASSERT_TRUE(TdrChannel(2).Calibrated);
  // The averaged step, turned over for the negative polarity, is kept in M4: from the
  // generator's level up by the full step.
  const TSignalObj& m4 = SignalObjs()[TTraceId::M4];
  ASSERT_EQ(m4.GetRecLen(), 1024);
  EXPECT_NEAR(m4.GetStoredY(10), 368 / 16000.0, 0.002);
  EXPECT_NEAR(m4.GetStoredY(600), (368 + 6720) / 16000.0, 0.002);
  EXPECT_NEAR(TdrChannel(2).RefTDTAmpl->GetValue(), 6720 / 16000.0, 0.003);
  ExecCommand("TB:ScaleA 2n;:Acq:Ch1:Mode AvgMult;:Acq:Ch1:NAvg 64");
  ExecCommand("TDR:Ch1:TdtParams PropDelay,Gain,DbGain;:TDR:Measure On");
  struct Case {
    const char* circuit;
    double delay, gain;
  };
  // The 150 Ohm section passes 0.75 of the step, then a quarter of that again every 4 ns:
  // three arrivals fit the 20 ns record.
  const double section = 0.75 * (1 + 0.25 + 0.0625);
  for (const Case& c : {Case{"Stimul", 0, 1}, Case{"DB6NS3", 3e-9, 0.5}, Case{"RR5015050", 2e-9, section}}) {
    SCOPED_TRACE(c.circuit);
    ExecCommand(std::string("GSS:A:TDTCircuit ") + c.circuit);
    Acquire(2);
    ASSERT_EQ(ReflectLineCount(rmTDT), 3);
    EXPECT_NEAR(ReflectLine(rmTDT, 0)->Value, c.delay, 0.1e-9);
    EXPECT_NEAR(ReflectLine(rmTDT, 1)->Value, c.gain, 0.01);
    EXPECT_NEAR(ReflectLine(rmTDT, 2)->Value, 20 * std::log10(c.gain), 0.1);
  }
}

}  // namespace
}  // namespace norv
