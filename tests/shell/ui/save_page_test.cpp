// The Save/Recall menu as a user meets it: each kind of control on its three pages clicked
// and the setting or file it serves found changed; the file dialogs of its buttons answered
// from a script. Set NORV_PNG_DIR to get save_page.png (the three pages side by side, the
// disk page twice: for waveforms and for a database).

#include "shell/ui/save_page.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QPainter>
#include <filesystem>

#include "controls/controls_state.h"
#include "controls/menu_pages.h"
#include "display/settings/display_settings.h"
#include "framework/traces/display_sources.h"
#include "framework/traces/trace_names.h"
#include "framework/util/idle_pass.h"
#include "instrument/record/signal_obj.h"
#include "shell/remote/remote_control.h"
#include "shell/save/save_recall.h"
#include "shell/setup_files.h"
#include "shell/shell_fixture.h"
#include "support/qt/qt_harness.h"

namespace norv {
namespace {

namespace fs = std::filesystem;
using test::Click;

class SavePageTest : public test::ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    TakeFactoryDefaultSetup();
    ASSERT_TRUE(StartWithInstrument(true));
    ExecCommand("Header Off");
    ExecCommand("*StopSingle Stop");  // the files are written by the stopped idle step
    ShellState.IdleHandlerInstalled = true;
    ControlsState.TimerFactory = &clock;
    ControlsState.OnException.Set([this](const std::string& text) { failures.push_back(text); });
    std::array<std::string, kSourceNameCount> names;
    for (int i = 0; i < kSourceNameCount; ++i) names[static_cast<size_t>(i)] = GetTraceShortName(TTraceId(i));
    InstallSourceNames(
        names, [](int source) { return GetDisplaySourceRGB(static_cast<TTraceId>(source)); }, 0);
    SetSideMenuHost(&window);
    RegisterSavePage();
    window.ShowActive();
  }
  void TearDown() override {
    ShowSideMenu(kNoMenu, kRightPanel);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(failures.empty()) << failures.front();
    ShellTest::TearDown();
  }
  static TDeclaredSideMenu& Menu() {
    return *static_cast<TDeclaredSideMenu*>(SideMenuForms[kRightPanel].data());
  }
  template <class T = TRC_Switcher>
  static T& C(const char* name) {
    return Menu().Control<T>(name);
  }
  static void Choose(const char* name, int button) {
    auto& s = C<TRC_PolyButtonSwitcher>(name);
    Click(s.Button(button), QPoint(8, s.Button(button)->height() / 2));
  }
  static void Press(const char* name) {
    auto& s = C<TRC_CustomCmmandSwitcher>(name);
    Click(&s, s.ButtonRect(0).center());
  }
  static void NextSource(const char* name) {
    test::PressKey(C<TRC_SignalSourceSwitcher>(name).ListBox(), Qt::Key_Down);
  }
  // The next file dialog chooses `file`.
  void Choose(const fs::path& file, int filter = 0) {
    dialogs.files.push_back(TFileChoice{file.string(), file.parent_path().string(), filter});
  }
  QImage Picture() { return test::Grab(&Menu()); }

  test::TestWindow window;
  std::vector<std::string> failures;
};

TEST_F(SavePageTest, EachKindOfControlReachesItsSettingOrFile) {
  TSignalObj& ch1 = SignalObjs()[TTraceId::Ch1];
  ch1.SetRecLen(kDefaultRecLen);  // as acquired
  for (int i = 0; i < ch1.GetRecLen(); ++i) ch1.SetY(i, 0.002 * (i % 23) - 0.02);
  ASSERT_TRUE(ShowSideMenu(kSaveMenuId, kRightPanel));
  std::vector<QImage> pages;

  // Memories: Ch1 copied into M2 by the command button, which is then hidden.
  Choose("rswToMemo", 1);
  EXPECT_EQ(ExecCommand("Save:Memo:ToMemo?"), "M2");
  EXPECT_FALSE(C<TRC_CheckSwitcher>("chswMemoOn").Button(1)->isEnabled()) << "M2 is empty yet";
  Press("rcswSaveWfm");
  ShellIdleStep();
  EXPECT_TRUE(fs::exists(MemoryFilePath(1)));
  EXPECT_EQ(SignalObjs()[TTraceId::M2].GetStoredY(30), ch1.GetStoredY(30));
  EXPECT_EQ(ExecCommand("Save:Memo:On?"), "M2");
  Choose("chswMemoOn", 1);
  EXPECT_EQ(ExecCommand("Save:Memo:On?"), "ClearALL");
  pages.push_back(Picture());

  // Disk, waveforms: the dialog's file and format, automatic numbers, loaded into M3. Each
  // dialog opens after the idle pass that serves it, so that the passes go on behind it;
  // it acts on the source, memory and record shown as it was asked for, whatever a client
  // sets, or a new record brings, while it is open.
  Press("pcswGotoDisk");
  ASSERT_EQ(Menu().CurrentPage(), 2);
  Choose("rswFileNameMode", 1);
  Choose("rswLoadToMemory", 2);
  const fs::path waves = DataFolders().WaveformFilesDir;
  const double asked = ch1.GetStoredY(30);
  const auto clientMeanwhile = [&](const std::string& line) {
    dialogs.whileShown = [line, &ch1] {
      const TDialogsSuppressed remote;
      ExecCommand(line);
      ch1.SetY(30, 0.5);
    };
  };
  dialogs.idlePass = ShellIdleStep;
  dialogs.idlePasses = 3;
  clientMeanwhile("Save:Disk:Source Ch2");
  Choose(waves / "page.txt", 1);
  Press("pcswSaveToDisk");
  RunIdlePass(ShellIdleStep);
  EXPECT_TRUE(fs::exists(waves / "page_00001.txt"));
  clientMeanwhile("Save:Disk:ToMemo M2");
  Choose(waves / "page_00001.txt", 1);
  Press("pcswLoadFromDisk");
  RunIdlePass(ShellIdleStep);
  dialogs.whileShown = nullptr;
  dialogs.idlePass = nullptr;
  EXPECT_TRUE(SignalsOn.IsOn(TTraceId::M3));
  EXPECT_NEAR(SignalObjs()[TTraceId::M3].GetStoredY(30), asked, 1e-9);
  pages.push_back(Picture());

  // Disk, database: its own source, no name mode; saved and shown through the dialogs.
  Choose("rswFileType", 1);
  EXPECT_EQ(C("ssswSourceForSave").GetHandler(), RootSpider->FindHandler("Save:Disk:DbSource"));
  EXPECT_FALSE(C("rswFileNameMode").isVisible());
  NextSource("ssswSourceForSave");
  EXPECT_NE(ExecCommand("Save:Disk:DbSource?"), "CH1");
  ExecCommand("Save:Disk:DbSource Ch1");
  const fs::path db = DataFolders().DatabaseDir / "page.cgs";
  Choose(db);
  Press("pcswSaveToDisk");
  EXPECT_TRUE(SaveState.DatabaseRecording);
  AccumulateDatabaseRecord();
  Choose(db);
  Press("pcswLoadFromDisk");  // saves the recording first, then shows it
  EXPECT_EQ(fs::file_size(db), kCgsRecordSize);
  EXPECT_EQ(DisplaySettings().DataBaseExist.GetNameText(), db.string());
  pages.push_back(Picture());
  Press("SaveBack2");
  ASSERT_EQ(Menu().CurrentPage(), 1);

  // Setups: a named file saved, recalled by the dialog only as ".set".
  Press("pcswGotoSetup");
  ASSERT_EQ(Menu().CurrentPage(), 3);
  const fs::path setups = DataFolders().SetupFilesDir;
  Choose(setups / "mine");
  Press("pcswSaveSetup");
  ASSERT_TRUE(fs::exists(setups / "mine.set"));
  Press("rcswRecallFactory");
  EXPECT_EQ(ExecCommand("Save:Memo:ToMemo?"), "M1");
  fs::copy_file(setups / "mine.set", setups / "mine.txt");
  Choose(setups / "mine.txt");
  Press("pcswRecallSetup");
  EXPECT_EQ(ExecCommand("Save:Memo:ToMemo?"), "M1") << "a file not named .set was recalled";
  Choose(setups / "mine.set");
  Press("pcswRecallSetup");
  EXPECT_EQ(ExecCommand("Save:Memo:ToMemo?"), "M2");
  pages.push_back(Picture());

  std::vector<std::string> titles;
  for (const TFileRequest& r : dialogs.fileRequests) titles.push_back(r.Title);
  EXPECT_EQ(titles,
            (std::vector<std::string>{"Save Waveform As", "Load Waveform", "Save Database As",
                                      "Load Database", "Save Setup As", "Recall Setup", "Recall Setup"}));
  EXPECT_TRUE(dialogs.shown.size() == dialogs.fileRequests.size()) << "a message box was shown";

  QImage sheet(static_cast<int>(pages.size()) * (kPagePanelWidth + 4), kPagePanelHeight,
               QImage::Format_RGB32);
  sheet.fill(Qt::white);
  QPainter painter(&sheet);
  for (size_t i = 0; i < pages.size(); ++i)
    painter.drawImage(static_cast<int>(i) * (kPagePanelWidth + 4), 0, pages[i]);
  painter.end();
  test::MaybeWritePng(sheet, "save_page");
}

TEST_F(SavePageTest, OnANewProgramFolderEveryFileDialogOpensInAnExistingProgramFolder) {
  ASSERT_TRUE(ShowSideMenu(kSaveMenuId, kRightPanel));
  Press("pcswGotoDisk");
  for (const char* button : {"pcswSaveToDisk", "pcswLoadFromDisk"}) {
    dialogs.files.push_back(std::nullopt);
    Press(button);
    ShellIdleStep();
  }
  Press("SaveBack2");
  Press("pcswGotoSetup");
  for (const char* button : {"pcswSaveSetup", "pcswRecallSetup"}) {
    dialogs.files.push_back(std::nullopt);
    Press(button);
  }
  ASSERT_EQ(dialogs.fileRequests.size(), 4u);
  const fs::path program = fs::canonical(DataFolders().ProgramDir);
  for (const TFileRequest& r : dialogs.fileRequests) {
    // Qt opens a folder that is not there as the working folder.
    ASSERT_TRUE(fs::is_directory(r.Folder)) << r.Title << ": " << r.Folder;
    EXPECT_EQ(*fs::canonical(r.Folder).lexically_relative(program).begin(),
              r.Title.find("Setup") != std::string::npos ? "Setup Files" : "Waveforms")
        << r.Title;
  }
}

}  // namespace
}  // namespace norv
