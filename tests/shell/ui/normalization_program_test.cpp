// The correction of TDR channels on the simulator, through the program as main() builds it
// and the procedure's own window: the corrected step rises in the time asked for, one
// channel switched off leaves the other corrected, and a correction ends once the time base
// or the record length no longer fits its filter.

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "analysis/derived_settings.h"
#include "framework/settings/choice_handlers.h"
#include "framework/settings/numeric_handlers.h"
#include "framework/text/text_case.h"
#include "framework/util/dialog_service.h"
#include "instrument/acquisition/acquisition_state.h"
#include "instrument/link/instrument_identity.h"
#include "instrument/record/signal_obj.h"
#include "instrument/settings/acquisition_settings.h"
#include "instrument/simulator/simulator.h"
#include "shell/remote/remote_control.h"
#include "shell/ui/program_fixture.h"
#include "support/qt/qt_harness.h"
#include "tdr_mask/tdr_normalization.h"
#include "tdr_mask/tdr_settings.h"
#include "tdr_mask/ui/normalization_dialog.h"

namespace norv {
namespace {

// 10 % to 90 % rise time of a rising step, the levels taken from the first and last tenth
// of the record, the crossings interpolated between points.
double RiseTime(const TSignalObj& r) {
  const int n = r.GetRecLen();
  double lo = 0, hi = 0;
  for (int i = 0; i < n / 10; ++i) {
    lo += r.GetStoredY(i);
    hi += r.GetStoredY(n - 1 - i);
  }
  lo /= n / 10;
  hi /= n / 10;
  const auto crossing = [&](double fraction) {
    const double level = lo + fraction * (hi - lo);
    int i = n - 1;
    while (i > 0 && r.GetStoredY(i - 1) > level) --i;  // the last crossing from below
    const double a = r.GetStoredY(i - 1), b = r.GetStoredY(i);
    return (i - 1 + (level - a) / (b - a)) * r.GetDX();
  };
  return crossing(0.9) - crossing(0.1);
}

class NormalizationProgramTest : public test::ProgramFixture {
 protected:
  void SetUp() override {
    ProgramFixture::SetUp();
    WriteDemoUnit("Default Demo", 1, 2, 255 - OptGenerators, 12, 77, true);
    Start();
    ExecCommand("Header Off");
    ExecCommand("TDR:Mode TDR");
    for (const char* n : {"1", "2"}) {
      const std::string ch = std::string("TDR:Ch") + n + ":";
      ExecCommand(ch + "Destination External;:" + ch + "Polar Neg");
    }
    for (const char* g : {"A", "B"}) {
      const std::string gen = std::string("GSS:") + g + ":";
      ExecCommand(gen + "Waweform TDR;:" + gen + "TDROvershot 0;:" + gen + "TDRSkol 0");
    }
    ExecCommand("TB:ScaleA 2n;:Acq:Ch1:RecLen 4096;:Acq:Ch2:RecLen 4096");
    // The procedure's window, opened and stepped by the acquisitions until its OK can be
    // clicked.
    NormalizationHooks.ShowDialog.Set([this] {
      TfrmTDR_TDT_Normalization form(&window());
      form.show();
      const TNormalizationDialog& d = *NormalizationState().Dialog;
      // The other channel is off meanwhile: idle steps, not whole cycles of both.
      for (long i = 0; i < 50000000 && d.Result == TNormResult::None && !d.OKEnabled && !cancelWhen(d); ++i)
        window().IdleStep();
      form.Refresh();
      if (d.Result == TNormResult::None && !d.OKEnabled) {
        auto* cancel = form.findChild<QPushButton*>("btnCancel");
        test::Click(cancel, cancel->rect().center());
        return d.Result == TNormResult::OK;
      }
      if (d.Result != TNormResult::None) return false;
      EXPECT_EQ(
          form.windowTitle().toStdString(),
          GetTDRModeText() + " Calibration for correction of the Channel " + std::to_string(d.Channel - 1));
      EXPECT_EQ(form.findChild<QLabel*>("LblStatus")->text(), "Calibration is Ready");
      EXPECT_EQ(form.findChild<QProgressBar*>("ProgressBar1")->value(), 100);
      auto* ok = form.findChild<QPushButton*>("btnOK");
      if (ok->isEnabled()) test::Click(ok, ok->rect().center());
      return d.Result == TNormResult::OK;
    });
  }
  // The window's Cancel is clicked once this holds.
  std::function<bool(const TNormalizationDialog&)> cancelWhen = [](const TNormalizationDialog&) {
    return false;
  };

  // The channel corrected for a rise time, on its short end again.
  void Normalize(int channel, const std::string& normTime) {
    const std::string ch = "TDR:Ch" + std::to_string(channel - 1) + ":";
    ExecCommand(ch + "NormTime " + normTime);
    dialogs_.answers = {TAnswer::OK, TAnswer::OK};  // start, then the load at the reference plane
    dialogs_.shown.clear();
    ExecCommand(ch + "Normalize ON");
    ASSERT_TRUE(IsChannelNormalized(channel)) << ::testing::PrintToString(dialogs_.shown);
    const std::string gen = std::string("GSS:") + (channel == 2 ? "A" : "B");
    if (IsTDRMode(channel)) ExecCommand(gen + ":TDRCircuit Short");
    ExecCommand("*Run");
    Acquire(2);
  }
  static bool FunctionFresh(TTraceId f) { return DerivedSignalStates[TraceIndex(f)] >= dssFresh; }
};

TEST_F(NormalizationProgramTest, TheCorrectedStepRisesInTheTimeAsked) {
  // The ideal edge's 10-90 % span is w points with x = 2.56 per w: 2 x 1.28155 / 2.56 w.
  constexpr double kSpan = 2 * 1.2815516 / 2.56;
  for (const auto& [text, seconds] :
       {std::pair{"100p", 100e-12}, std::pair{"200p", 200e-12}, std::pair{"400p", 400e-12}}) {
    SCOPED_TRACE(text);
    Normalize(2, text);
    const TSignalObj& f1 = SignalObjs()[TTraceId::F1];
    ASSERT_EQ(f1.GetRecLen(), 2048);  // the correction halves the longest record
    EXPECT_NEAR(RiseTime(f1), seconds * kSpan, seconds * 0.03);
    ExecCommand("TDR:Ch1:Normalize OFF");
    EXPECT_EQ(DerivedSettings().Functions[0].Operat->GetIndex(), 0);  // F1 back to Add
  }
}

TEST_F(NormalizationProgramTest, OneChannelSwitchedOffLeavesTheOtherCorrected) {
  Normalize(2, "200p");
  Normalize(3, "200p");
  ASSERT_EQ(DerivedSettings().Functions[1].Operat->GetIndex(), 17);
  ExecCommand("TDR:Ch2:Normalize OFF");
  TAcqChannelNodes& ch1 = AcquisitionSettings().ChannelNodes[0];
  TAcqChannelNodes& ch2 = AcquisitionSettings().ChannelNodes[1];
  EXPECT_EQ(ch1.RecLen->GetMax(), 2048);  // still corrected: twice its record must fit
  EXPECT_EQ(ch2.RecLen->GetMax(), 4096);
  EXPECT_EQ(DerivedSettings().Functions[1].Operat->GetIndex(), 1);
  ExecCommand("Acq:Ch1:RecLen 4096");
  EXPECT_EQ(ch1.RecLen->GetIntValue(), 2048);
  Acquire(3);
  EXPECT_TRUE(FunctionFresh(TTraceId::F1));
  EXPECT_NEAR(RiseTime(SignalObjs()[TTraceId::F1]), 200e-12 * 2 * 1.2815516 / 2.56, 10e-12);
  // A new rise time builds the filter again from the step measured before.
  ExecCommand("TDR:Ch1:NormTime 400p");
  Acquire(2);
  EXPECT_NEAR(RiseTime(SignalObjs()[TTraceId::F1]), 400e-12 * 2 * 1.2815516 / 2.56, 15e-12);
}

// A correction that no longer fits the time base or the record length ends as its switch set
// Off ends it: F1 is given back, and its starter is told why (the user in a box, a client in
// the log).
TEST_F(NormalizationProgramTest, ACorrectionThatNoLongerFitsEnds) {
  const std::string why =
      "The TDR correction of Channel 1 has ended: it does not fit this time base or record length. "
      "Correct the channel again.";
  for (const auto& [change, client] :
       {std::pair{"TB:ScaleB 1n", false}, std::pair{"Acq:Ch1:RecLen 1024", true}}) {
    SCOPED_TRACE(change);
    const TDialogsSuppressed remote(client);
    Normalize(2, "200p");
    EXPECT_TRUE(FunctionFresh(TTraceId::F1));
    DialogState.SuppressedLog.clear();
    ExecCommand(change);
    Acquire(2);
    EXPECT_EQ(TrimBlanks(ExecCommand("TDR:Ch1:Normalize?")), "OFF");
    EXPECT_EQ(TrimBlanks(ExecCommand("F1:Display?")), "OFF");
    EXPECT_EQ(DerivedSettings().Functions[0].Operat->GetIndex(), 0);
    const auto& told = client ? DialogState.SuppressedLog : dialogs_.shown;
    EXPECT_EQ(std::count(told.begin(), told.end(), SuppressedLogLine(TMessageKind::Warning, why)), 1);
  }
}

// The axis in metres is another view of the same samples: the filter goes on being used,
// with its edge as many points wide, and a new rise time is still a time.
TEST_F(NormalizationProgramTest, ADistanceAxisKeepsTheFilter) {
  Normalize(2, "200p");
  const TSignalObj& f1 = SignalObjs()[TTraceId::F1];
  const double points = RiseTime(f1) / f1.GetDX();
  ExecCommand("TDR:HorScale Meter");
  Acquire(2);
  ASSERT_TRUE(FunctionFresh(TTraceId::F1));
  EXPECT_EQ(f1.GetHorUnit(), "m");
  EXPECT_NEAR(RiseTime(f1) / f1.GetDX(), points, 0.03 * points);
  ExecCommand("TDR:Ch1:NormTime 400p");
  Acquire(2);
  EXPECT_NEAR(RiseTime(f1) / f1.GetDX(), 2 * points, 0.06 * points);
}

// Cancel in the middle of the averages, and a record without a step: the switch goes off,
// and the channel, time-base and record-length settings are what they were.
TEST_F(NormalizationProgramTest, CancelOrAFailureLeavesTheSettingsAsTheyWere) {
  const auto settings = [] {
    return ExecCommand("TB:Mode?;:TB:ScaleA?;:Ch2:Display?;:Ch1:Scale?;:Acq:Ch1:Mode?;:TDR:Ch1:RefAmpl?");
  };
  std::string before = settings();
  cancelWhen = [](const TNormalizationDialog& d) { return d.TdrStage == 2 && d.Count == 10; };
  dialogs_.answers = {TAnswer::OK};
  ExecCommand("TDR:Ch1:Normalize ON");
  EXPECT_FALSE(IsChannelNormalized(2));
  EXPECT_EQ(settings(), before);
  EXPECT_EQ(AcquisitionSettings().ChannelNodes[0].RecLen->GetMax(), 4096);
  EXPECT_EQ(DerivedSettings().Functions[0].Operat->GetIndex(), 0);

  // The step goes down while the channel expects it to rise: the error box's Cancel ends
  // the procedure.
  cancelWhen = [](const TNormalizationDialog&) { return false; };
  ExecCommand("TDR:Ch1:Polar Pos");
  before = settings();
  dialogs_.answers = {TAnswer::OK, TAnswer::Cancel};
  dialogs_.shown.clear();
  ExecCommand("TDR:Ch1:Normalize ON");
  EXPECT_FALSE(IsChannelNormalized(2));
  ASSERT_EQ(dialogs_.shown.size(), 2u);
  EXPECT_EQ(dialogs_.shown[1],
            "[error] The slope of the active step does not meet to declared slope\r\r\nCorrect the problem "
            "and click OK");
  EXPECT_EQ(settings(), before);

  // The open end where the 50 Ohm load belongs: asked again, then cancelled.
  ExecCommand("TDR:Ch1:Polar Neg");
  before = settings();
  cancelWhen = [](const TNormalizationDialog& d) {
    if (d.TdrStage == 3) ProgramSimulator().SetSimTDRCircuit(2, TSimTdrCircuit::Open);
    return false;
  };
  dialogs_.answers = {TAnswer::OK, TAnswer::OK, TAnswer::OK, TAnswer::Cancel};
  dialogs_.shown.clear();
  ExecCommand("TDR:Ch1:Normalize ON");
  EXPECT_FALSE(IsChannelNormalized(2));
  const std::string open =
      "[error] You didn’t connect the 50-Ohm Termination to the reference plane.\r\r\nCorrect the problem "
      "and click OK";
  EXPECT_EQ(dialogs_.shown,
            (std::vector<std::string>{dialogs_.shown.at(0), dialogs_.shown.at(1), open, open}));
  EXPECT_EQ(settings(), before);
}

// A command sent while the averages run opens an undo step after the procedure's own: the
// end still gives back the whole set-up. Switching the correction off cancels the run.
TEST_F(NormalizationProgramTest, ACommandSentWhileItRunsLeavesNoSetUpBehind) {
  const auto settings = [] {
    return ExecCommand(
        "TB:Mode?;:TB:ScaleA?;:Ch2:Display?;:Ch1:Scale?;:Acq:Ch1:Mode?;:TDR:Ch1:RefAmpl?;"
        ":TDR:Ch1:Normalize?");
  };
  const std::string before = settings();
  // A command that leaves the run going, then Cancel; the switch, which ends the run itself.
  const std::vector<std::pair<std::string, bool>> cases = {{"Ch2:Offset 0.1", true},
                                                           {"TDR:Ch1:Normalize OFF", false}};
  for (const auto& [command, cancel] : cases) {
    SCOPED_TRACE(command);
    const std::string sentCommand = command;
    const bool cancelAfter = cancel;
    bool sent = false;
    cancelWhen = [&](const TNormalizationDialog& d) {
      if (!sent && d.TdrStage == 2 && d.Count == 10) {
        sent = true;
        ExecCommand(sentCommand);
      }
      return sent && cancelAfter;
    };
    dialogs_.answers = {TAnswer::OK};
    ExecCommand("TDR:Ch1:Normalize ON");
    EXPECT_TRUE(sent);
    EXPECT_FALSE(IsChannelNormalized(2));
    EXPECT_EQ(settings(), before);
    EXPECT_EQ(DerivedSettings().Functions[0].Operat->GetIndex(), 0);
    EXPECT_FALSE(DerivedSettings().Functions[0].Display->IsOn());
  }
}

// Started by a remote client nobody could click the window's OK: the procedure runs
// without it, and the correction is taken once it is ready, before the command answers.
// Also when the user's run stops at a count of acquisitions: that ends the run, not the
// acquisitions the procedure asks for one by one.
TEST_F(NormalizationProgramTest, ARemoteClientsCorrectionEndsWithoutItsWindow) {
  bool windowShown = false;
  NormalizationHooks.ShowDialog.Set([&] {
    windowShown = true;
    return false;
  });
  for (const char* run : {"Acq:RunUntil StopBtn", "Acq:RunUntil NAcq;:Acq:NAcq 1"}) {
    SCOPED_TRACE(run);
    ExecCommand("TDR:Ch1:Normalize OFF;:TDR:Ch1:NormTime 200p");
    ExecCommand(run);
    {
      const TDialogsSuppressed quiet;  // as the remote server runs each command
      ExecCommand("TDR:Ch1:Normalize ON");
    }
    EXPECT_FALSE(windowShown);
    ASSERT_TRUE(IsChannelNormalized(2));
    EXPECT_EQ(DerivedSettings().Functions[0].Operat->GetIndex(), 17);
    ExecCommand("GSS:A:TDRCircuit Short;:Acq:RunUntil StopBtn");
    ExecCommand("*Run");
    Acquire(2);
    EXPECT_NEAR(RiseTime(SignalObjs()[TTraceId::F1]), 200e-12 * 2 * 1.2815516 / 2.56, 10e-12);
  }
}

// The program's own window, whatever window is active when the start's message closes:
// over the main window, at its Left + 360 and Top + 105.
TEST_F(NormalizationProgramTest, TheWindowOpensOverTheMainWindow) {
  InstallNormalizationDialog();
  QWidget* parent = nullptr;
  QPoint place;
  QTimer look;  // cancels the window once it is shown
  QObject::connect(&look, &QTimer::timeout, [&] {
    for (QWidget* top : QApplication::topLevelWidgets()) {
      auto* form = qobject_cast<TfrmTDR_TDT_Normalization*>(top);
      if (!form || !form->isVisible()) continue;
      look.stop();
      parent = form->parentWidget();
      place = form->pos();
      form->findChild<QPushButton*>("btnCancel")->click();
    }
  });
  look.start(0);
  QWidget other;  // another window of the program has the focus
  other.show();
  other.activateWindow();
  QApplication::processEvents();
  dialogs_.answers = {TAnswer::OK};
  ExecCommand("TDR:Ch1:Normalize ON");
  EXPECT_FALSE(IsChannelNormalized(2));
  EXPECT_EQ(parent, &window());
  EXPECT_EQ(place, window().pos() + QPoint(360, 105));
}

}  // namespace
}  // namespace norv
