#include "platform/qt_dialogs.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QImage>
#include <QKeyEvent>
#include <QMessageBox>
#include <QTimer>
#include <filesystem>
#include <utility>
#include <vector>

#include "support/temp_home.h"

namespace norv {
namespace {

TEST(QtFileFilter, PairsBecomeQtFilters) {
  for (const auto& [given, expected] : std::vector<std::pair<std::string, QString>>{
           {"Binary format (*.wfm)|*.wfm|Verbose format (*.txt)|*.txt",
            "Binary format (*.wfm);;Verbose format (*.txt)"},
           {"Text file (*.txt)|*.txt;", "Text file (*.txt)"},  // a trailing ';' in the pattern
           {"Setups|*.set;*.ini", "Setups (*.set *.ini)"},     // patterns added where missing
           {"Everything", "Everything"},
           {"", ""},
       })
    EXPECT_EQ(QtFileFilter(given), expected) << given;
}

// Presses a key in the next modal dialog once it is open.
void PressInNextDialog(Qt::Key key) {
  QTimer::singleShot(0, [key] {
    QWidget* box = QApplication::activeModalWidget();
    ASSERT_NE(box, nullptr);
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(box, &press);
  });
}

TEST(QtDialogs, EnterTakesTheDefaultAndEscapeTheLastButton) {
  TQtDialogs dialogs;
  SetDialogs(&dialogs);
  PressInNextDialog(Qt::Key_Return);
  EXPECT_EQ(dialogs.Ask(TMessageKind::Confirmation, "Store?", {TAnswer::Yes, TAnswer::No, TAnswer::Cancel},
                        TAnswer::No),
            TAnswer::No);
  PressInNextDialog(Qt::Key_Return);
  EXPECT_EQ(dialogs.AskCustom(TMessageKind::Warning, "No instrument", {"Absent", "Retry", "Demo", "Exit"}, 2),
            2);
  PressInNextDialog(Qt::Key_Escape);
  // The log names the box on each line of its text, and on no empty line.
  testing::internal::CaptureStderr();
  EXPECT_EQ(dialogs.AskCustom(TMessageKind::Warning, "\r\nNo instrument\r\nLook at the cable",
                              {"Absent", "Retry", "Exit"}, 0),
            2);
  const std::string log = testing::internal::GetCapturedStderr();  // Qt may add notes of its own
  EXPECT_NE(log.find("[shown] [warning] No instrument\n[shown] [warning] Look at the cable\n"),
            std::string::npos)
      << log;

  const uint32_t pixels[] = {0xFFFF0000, 0xFF0000FF, 0xFF00FF00, 0xFFFFFFFF};
  ASSERT_TRUE(dialogs.CopyImageToClipboard({2, 2, pixels}));
  const QImage copied = QApplication::clipboard()->image();
  ASSERT_EQ(copied.size(), QSize(2, 2));
  EXPECT_EQ(copied.pixelColor(1, 0), QColor(0, 0, 255));
  EXPECT_EQ(copied.pixelColor(0, 1), QColor(0, 255, 0));
  SetDialogs(nullptr);
}

TEST(QtDialogs, AFileDialogGivenAMissingFolderOpensInItsNearestExistingParent) {
  namespace fs = std::filesystem;
  const fs::path existing = test::MakeTempDir("dialog");
  TQtDialogs dialogs;
  SetDialogs(&dialogs);
  for (const auto& [given, shown] :
       std::vector<std::pair<fs::path, fs::path>>{{existing / "Setup Files" / "", existing},
                                                  {existing / "Waveforms" / "Waveform Files" / "", existing},
                                                  {existing, existing}}) {
    QString opened;
    QTimer::singleShot(0, [&opened] {
      auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      ASSERT_NE(dialog, nullptr);
      opened = dialog->directory().absolutePath();
      dialog->reject();
    });
    EXPECT_FALSE(dialogs.ChooseFile({.Save = true, .Title = "Save Setup As", .Folder = given.string()}));
    EXPECT_EQ(opened.toStdString(), fs::canonical(shown).string()) << given;
  }
  SetDialogs(nullptr);
}

}  // namespace
}  // namespace norv
