// The self-calibration dialogs in the started program on the demo instrument: the channel
// run acquires, polls and ends with OK; the time-base dialog shows both codes.

#include "service/ui/autocal_forms.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "framework/settings/numeric_handlers.h"
#include "framework/settings/settings_tree.h"
#include "instrument/acquisition/acquisition_state.h"
#include "service/auto_calibration.h"
#include "shell/ui/program_fixture.h"
#include "support/qt/qt_harness.h"

namespace norv::test {
namespace {

class AutocalFormsTest : public ProgramFixture {
 protected:
  void SetUp() override {
    ProgramFixture::SetUp();
    Start();
    Ask("Header Off");
  }
  static std::string Ask(const std::string& line) { return RootSpider->ExecCommandLine(line, false); }
  static double Num(const std::string& path) {
    return dynamic_cast<TEditHandler&>(*RootSpider->FindHandler(path)).GetFloatValue();
  }

  // Runs the calibration while `user` looks at the open dialog every few milliseconds (the
  // program's idle work goes on between); `user` returns true once it has closed it.
  template <class TForm>
  void RunWith(uint8_t kind, bool ask, const std::function<bool(TForm&)>& user) {
    int looks = 0;
    QTimer driver;
    driver.setInterval(5);
    QObject::connect(&driver, &QTimer::timeout, [&] {
      auto* form = qobject_cast<TForm*>(QApplication::activeModalWidget());
      if (!form) return;
      window().IdleStep();
      if (user(*form)) return;
      if (++looks > 4000) {
        ADD_FAILURE() << "the run did not end";
        form->reject();
      }
    });
    driver.start();
    RunCalibration(kind, kCalReasonNone, ask);
    driver.stop();
  }
  static void Press(QPushButton* button) { Click(button, button->rect().center()); }

  std::vector<std::string> SettingsOfTheSetUp() {
    std::vector<std::string> answers;
    for (const char* q : {"TB:ScaleA?", "Ch1:Offset?", "Ch2:Band?", "Acq:Ch1:RecLen?", "Trig:Source?"})
      answers.push_back(Ask(q));
    return answers;
  }
};

TEST_F(AutocalFormsTest, AChannelRunShowsItsProgressAndEndsWithOK) {
  for (const char* line :
       {"TB:ScaleA 2u", "Ch1:Offset 0.1", "Ch2:Band Narrow", "Acq:Ch1:RecLen 512", "Trig:Source Direct"})
    Ask(line);
  const std::vector<std::string> before = SettingsOfTheSetUp();
  const bool running = RunFlag;
  dialogs_.answers = {TAnswer::OK};  // the question before the run
  std::vector<int> progress;
  QString title, status;
  bool cancelEnabled = false;
  RunWith<TAutocalChannelsF>(kCalibrateChannels, true, [&](TAutocalChannelsF& f) {
    if (progress.empty() || progress.back() != f.ProgressBar1()->value())
      progress.push_back(f.ProgressBar1()->value());
    if (!f.OkButton()->isEnabled()) return false;
    title = f.Title()->text();
    status = f.Edit1()->text();
    cancelEnabled = f.CancelButton()->isEnabled();
    MaybeWritePng(Grab(&f), "AutocalChannelsF");
    Press(f.OkButton());
    return true;
  });
  EXPECT_EQ(title, "Calibration complete!");
  EXPECT_EQ(status, "OK");
  EXPECT_TRUE(cancelEnabled);
  ASSERT_FALSE(progress.empty());
  EXPECT_EQ(progress.back(), 100);
  EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
  EXPECT_GT(progress.size(), 5u) << "the bar moved while the status was polled";
  EXPECT_EQ(Num("FLASH:Calibr:AutocalResult"), 0);
  EXPECT_EQ(SettingsOfTheSetUp(), before);
  EXPECT_EQ(RunFlag, running);
  EXPECT_FALSE(CalibrationBusy());
}

TEST_F(AutocalFormsTest, TheTimeBaseDialogShowsBothCodesAndCancelGivesTheConstantsBack) {
  for (const char* line : {"FLASH:Calibr:CoarseTB 4.5n", "FLASH:Calibr:FineTB 20000"}) Ask(line);
  struct Case {
    const char* name;
    bool ok;
    double coarse, fine;
  };
  // The demo instrument measures 30667 (x 0.15 ps = 4.60005 ns, 4.6 ns at the node's
  // 0.25 ps steps) and 18333.
  for (const Case& k : {Case{"Cancel", false, 4.5e-9, 20000}, Case{"OK", true, 4.6e-9, 18333}}) {
    SCOPED_TRACE(k.name);
    dialogs_.answers = {TAnswer::OK};
    QString coarse, fine, title;
    RunWith<TAutocalTBF>(kCalibrateTimeBase, true, [&](TAutocalTBF& f) {
      if (!f.OkButton()->isEnabled()) return false;
      coarse = f.CoarseFreqResult()->text();
      fine = f.FineDelayResultMax()->text();
      title = f.Title()->text();
      MaybeWritePng(Grab(&f), "AutocalTBF");
      Press(k.ok ? f.OkButton() : f.CancelButton());
      return true;
    });
    EXPECT_EQ(coarse, "4.6001 ns");
    EXPECT_EQ(fine, "18333");
    EXPECT_EQ(title, "Calibration complete!");
    EXPECT_EQ(Num("FLASH:Calibr:AutocalResult"), k.ok ? 0 : 5);
    EXPECT_NEAR(Num("FLASH:Calibr:CoarseTB"), k.coarse, 1e-16);
    EXPECT_EQ(Num("FLASH:Calibr:FineTB"), k.fine);
  }
}

TEST_F(AutocalFormsTest, TheAutomaticCheckRunsBothCalibrationsOutsideTheIdlePass) {
  // The check is part of the idle work; a run inside that pass would wait in its dialog for
  // an acquisition that no idle pass could make.
  AutocalHooks.MainWindowActive.Set([] { return true; });
  Ask("Util:CalibrWhen PowerOn");
  Ask("*StopSingle Stop");
  dialogs_.answers = {TAnswer::OK, TAnswer::OK};  // the question before each run
  std::vector<std::string> confirmed;
  int ticks = 0;
  QTimer user;
  user.setInterval(5);
  QObject::connect(&user, &QTimer::timeout, [&] {
    QWidget* modal = QApplication::activeModalWidget();
    if (++ticks > 3000 && modal) {  // a dialog that waits in vain ends the test
      if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->reject();
      return;
    }
    auto* tb = qobject_cast<TAutocalTBF*>(modal);
    auto* ch = qobject_cast<TAutocalChannelsF*>(modal);
    QPushButton* ok = tb ? tb->OkButton() : ch ? ch->OkButton() : nullptr;
    if (!ok || !ok->isEnabled()) return;
    confirmed.push_back(modal->objectName().toStdString());
    Press(ok);
  });
  user.start();
  AutoCalibrationDue = true;
  for (int i = 0; i < 4000 && confirmed.size() < 2; ++i) {
    QApplication::processEvents(QEventLoop::AllEvents, 5);
    QThread::msleep(1);
  }
  user.stop();
  EXPECT_EQ(confirmed, (std::vector<std::string>{"AutocalTBF", "AutocalChannelsF"}));
  ASSERT_EQ(dialogs_.shown.size(), 2u);
  EXPECT_EQ(dialogs_.shown[0].find("[question] 0 min. after Power On.\r\n"), 0u) << dialogs_.shown[0];
  EXPECT_EQ(Num("FLASH:Calibr:AutocalResult"), 0);
  AutocalHooks.MainWindowActive.Reset();
}

}  // namespace
}  // namespace norv::test
