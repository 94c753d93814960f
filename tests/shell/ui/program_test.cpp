#include "shell/ui/program.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QPrinterInfo>
#include <QTest>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "app/program_units.h"
#include "display/ui/scope_crt_widget.h"
#include "framework/settings/program_objects.h"
#include "framework/settings/settings_tree.h"
#include "framework/traces/display_sources.h"
#include "framework/util/program_dir.h"
#include "instrument/acquisition/acquisition_cycle.h"
#include "instrument/link/link_state.h"
#include "shell/remote/remote_control.h"
#include "shell/setup_files.h"
#include "shell/shell_state.h"
#include "shell/ui/main_window.h"
#include "support/fake_dialogs.h"
#include "support/qt/qt_harness.h"
#include "support/temp_home.h"

namespace norv {
namespace {

// The whole program in this process: offscreen, a fresh program folder, the simulator.
class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FreshProgramState();
    saved_home_ = std::getenv("VEXILOR_NORV_HOME");
    setenv("VEXILOR_NORV_HOME", test::MakeTempDir("program").c_str(), 1);
  }
  void TearDown() override {
    program_.reset();
    FreshProgramState();
    setenv("VEXILOR_NORV_HOME", saved_home_.c_str(), 1);
  }

  TMorda_fr& Start() {
    program_ = TProgram::Start({.Args = {"Default_Demo"},
                                .RemoteServer = false,
                                .ScopeWidget = [](TScopeCRT& crt, QWidget* parent) -> QWidget* {
                                  return new TScopeCRTWidget(crt, parent);
                                },
                                .Dialogs = &dialogs_,
                                .InstallUnits = InstallProgramUnits});
    EXPECT_NE(program_, nullptr);
    // Shown, hidden and shown again before the loop turns: the deferred start-up still
    // runs once.
    window().show();
    window().hide();
    window().show();
    for (int i = 0; i < 50 && !ShellState.DeferredStartDone; ++i) QApplication::processEvents();
    return window();
  }
  void Stop() {
    program_.reset();
    FreshProgramState();
  }
  TMorda_fr& window() { return program_->Window(); }

  // Idle passes until a cycle of both channels has begun and ended.
  void AcquireBothChannels() {
    const TAcquisitionCycle& cycle = AcquisitionCycle();
    const int before2 = cycle.AcqCycleCount(2), before3 = cycle.AcqCycleCount(3);
    for (int i = 0; i < 200000; ++i) {
      window().IdleStep();
      if (cycle.AcqCycleCount(2) > before2 && cycle.AcqCycleCount(3) > before3 && !cycle.CycleOpen()) return;
    }
    FAIL() << "no record of both channels";
  }

  // Pixels of a colour inside the scope's plot area.
  static int CountColour(const QImage& image, uint32_t bgr) {
    const QRgb wanted = qRgb(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF);
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x) count += (image.pixel(x, y) & 0xFFFFFF) == (wanted & 0xFFFFFF);
    return count;
  }
  QImage PlotArea() {
    TSignalScreenWidget* screen = static_cast<TScopeCRTWidget*>(window().ScopeWidget())->ScreenWidget(1);
    return screen->grab().toImage().convertToFormat(QImage::Format_RGB32);
  }
  static std::string FileText(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  test::FakeDialogs dialogs_;
  std::unique_ptr<TProgram> program_;
  std::string saved_home_;
};

TEST_F(ProgramTest, DemoRunsDrawsBothTracesAndKeepsThePowerOffSetupForTheNextStart) {
  Start();
  EXPECT_EQ(ShellState.DeferredStartRuns, 1);
  EXPECT_TRUE(GuiReady);
  EXPECT_TRUE(RunFlag);  // the start runs the instrument

  AcquireBothChannels();
  QApplication::processEvents();
  const QImage plot = PlotArea();
  EXPECT_GT(CountColour(plot, GetDisplaySourceRGB(TTraceId::Ch1)), 50) << "no channel 1 trace";
  EXPECT_GT(CountColour(plot, GetDisplaySourceRGB(TTraceId::Ch2)), 50) << "no channel 2 trace";

  if (std::getenv("NORV_PNG_DIR") != nullptr) {
    test::MaybeWritePng(window().grab().toImage(), "main_window_default");
    window().resize(1920, 1080);
    QApplication::processEvents();
    AcquireBothChannels();
    AcquireBothChannels();
    QApplication::processEvents();
    test::MaybeWritePng(window().grab().toImage(), "main_window_1920x1080");
  }

  // The scope screen on the clipboard, and inverted against its background: the
  // background turns white, the traces keep their places.
  ExecCommand("*Copy ScopeScreen");
  ExecCommand("*Copy InvScopeScr");
  ASSERT_EQ(dialogs_.clipboard.size(), 2u);
  const std::vector<uint32_t> copied = dialogs_.clipboard[0];
  const std::vector<uint32_t> inverted = dialogs_.clipboard[1];
  const QSize scope = window().ScopeWidget()->size();
  EXPECT_EQ(copied.size(), static_cast<size_t>(scope.width() * scope.height()));
  ASSERT_EQ(inverted.size(), copied.size());
  const size_t corner = static_cast<size_t>(scope.width()) + 1;  // pixel (1, 1)
  EXPECT_EQ(inverted[corner] & 0xFFFFFF, 0xFFFFFFu);
  EXPECT_NE(copied[corner] & 0xFFFFFF, 0xFFFFFFu);
  // F11 clicks the copy command: the last item chosen, inverted again.
  window().activateWindow();
  QTest::keyClick(&window(), Qt::Key_F11);
  ASSERT_EQ(dialogs_.clipboard.size(), 3u);
  EXPECT_EQ(dialogs_.clipboard[2].size(), copied.size());
  EXPECT_EQ(dialogs_.clipboard[2][corner] & 0xFFFFFF, 0xFFFFFFu);
  if (QPrinterInfo::defaultPrinter().isNull()) {
    // Without a printer the picture goes into a PDF file.
    ExecCommand("*Print Print");
    int pdfs = 0;
    for (const auto& entry : std::filesystem::directory_iterator(ProgramDir() / "Prints"))
      pdfs += entry.path().extension() == ".pdf" && entry.file_size() > 1000;
    EXPECT_EQ(pdfs, 1);
  }

  // Stopped, the loop may sleep; running, it is called again at once.
  ExecCommand("*StopSingle Stop");
  EXPECT_FALSE(RunFlag);
  EXPECT_TRUE(window().IdleStep());
  ExecCommand("*Run");
  EXPECT_TRUE(RunFlag);
  EXPECT_FALSE(window().IdleStep());

  ExecCommand("Header Off");
  ExecCommand("TB:ScaleA 20N");
  ExecCommand("TB:ScaleA 50N");
  ExecCommand("*Undo");
  EXPECT_EQ(ExecCommand("TB:ScaleA?"), "20 ns/div");

  window().close();
  ASSERT_TRUE(window().CloseAccepted());
  EXPECT_FALSE(RunFlag);
  const std::filesystem::path powerOff = SetupFilePath(TSetupKind::PowerOff);
  EXPECT_EQ(powerOff.filename(), "~SetpPwrOffForDefault_Demo.set");
  EXPECT_NE(FileText(powerOff).find("TB:SCALEA 20 n(s/div)"), std::string::npos);
  Stop();

  // The next start comes up with the registered settings; the power-off setup is there
  // to recall.
  Start();
  EXPECT_EQ(ShellState.DeferredStartRuns, 1);
  ExecCommand("Header Off");
  EXPECT_EQ(ExecCommand("TB:ScaleA?"), "10 ns/div");
  ExecCommand("*DefSetup PowerOff");
  EXPECT_EQ(ExecCommand("TB:ScaleA?"), "20 ns/div");
  // Undo takes the whole recall back in one step.
  ExecCommand("*Undo");
  EXPECT_EQ(ExecCommand("TB:ScaleA?"), "10 ns/div");
}

}  // namespace
}  // namespace norv
