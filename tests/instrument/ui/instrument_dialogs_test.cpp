// The instrument list dialogs driven by clicks and typing: what ends up in
// "Configuration.ini", what is refused, and the desktop launcher they make.

#include "instrument/ui/instrument_dialogs.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>

#include "framework/settings/program_objects.h"
#include "support/fake_dialogs.h"
#include "support/qt/qt_harness.h"
#include "support/temp_home.h"

namespace norv::test {
namespace {

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// Runs `step` on the modal dialog that the next exec() opens.
void OnModal(std::function<void(QWidget*)> step) {
  QTimer::singleShot(0, [step] {
    QWidget* modal = QApplication::activeModalWidget();
    ASSERT_NE(modal, nullptr);
    step(modal);
  });
}

template <class W = QPushButton>
W* Child(QWidget* dialog, const char* name) {
  W* w = dialog->findChild<W*>(name);
  EXPECT_NE(w, nullptr) << name;
  return w;
}

void ClickNamed(QWidget* dialog, const char* name) {
  QPushButton* b = Child(dialog, name);
  Click(b, b->rect().center());
}

void Retype(QLineEdit* edit, const QString& text) {
  edit->setFocus();
  edit->selectAll();
  PressKey(edit, Qt::Key_Backspace);
  TypeText(edit, text);
}

// Picks the combo box entry showing `text` as the keyboard does.
void PickEntry(QComboBox* combo, const QString& text) {
  const int target = combo->findText(text);
  ASSERT_GE(target, 0) << text.toStdString();
  combo->setFocus();
  while (combo->currentIndex() != target)
    PressKey(combo, combo->currentIndex() < target ? Qt::Key_Down : Qt::Key_Up);
}

class InstrumentDialogsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::ofstream(ConfigurationFilePath(), std::ios::binary)
        << "[Instrument1 Instrument]\nName=Bench\nInterface=LAN\nIP Address=10.0.0.7\n"
           "[COMMON]\nStart Unit=Instrument1\n";
    ReadInstrumentConfiguration();
    CurrentInstrumentName = "Default Demo";
  }
  void TearDown() override { FreshProgramState(); }
  // After the fresh state, which would uninstall it.
  std::unique_ptr<FakeDialogs> fake = (FreshProgramState(), std::make_unique<FakeDialogs>());
  FakeDialogs& dialogs = *fake;
};

TEST_F(InstrumentDialogsTest, AddEditAndDeleteWriteTheConfiguration) {
  dialogs.answers = {TAnswer::Yes};
  OnModal([](QWidget* select) {
    // Add: a LAN entry; a used and a malformed address keep the entry dialog open.
    OnModal([](QWidget* edit) {
      EXPECT_EQ(edit->windowTitle(), "Add New Instrument");
      EXPECT_TRUE(Child<QGroupBox>(edit, "rgSelectInterface")->isVisibleTo(edit));
      Retype(Child<QLineEdit>(edit, "edAlias"), "Lab scope");
      MaybeWritePng(Grab(edit), "instrument_edit");
      for (const char* ip : {"10.0.0.7", "10.0.0.300", "10.0.0.9"}) {
        Retype(Child<QLineEdit>(edit, "edIP"), ip);
        ClickNamed(edit, "btnInstrOK");
      }
    });
    ClickNamed(select, "btnAdd");
    // Edit the new entry's label.
    OnModal([](QWidget* edit) {
      EXPECT_EQ(edit->windowTitle(), "Edit Instrument");
      Retype(Child<QLineEdit>(edit, "edAlias"), "Lab scope 2  [ignored]");
      ClickNamed(edit, "btnInstrOK");
    });
    ClickNamed(select, "BtnEdit");
    // The start instrument cannot go; once another is the start instrument it can.
    auto* list = Child<QComboBox>(select, "cbListOfConfiguration");
    PickEntry(list, "Bench  [Instrument1]");
    ClickNamed(select, "btnDelete");
    PickEntry(Child<QComboBox>(select, "cbStartupInstruments"), "Lab scope 2  [Instrument2]");
    ClickNamed(select, "btnDelete");
    EXPECT_EQ(list->findText("Bench  [Instrument1]"), -1);
    ClickNamed(select, "btnOK");
  });
  EXPECT_TRUE(ShowSelectInstrumentDialog());

  EXPECT_EQ(dialogs.shown, (std::vector<std::string>{
                               "[error] IP Address 10.0.0.7 is used in the System",
                               "[error] Incorrect IP: 10.0.0.300",
                               "[warning] You can not delete the current or the start instrument.",
                               "[question] The configuration of the system will be changed. Continue?",
                           }));
  EXPECT_EQ(ReadFile(ConfigurationFilePath()),
            "[Absent Instrument]\nName=\nInterface=None\n\n"
            "[Default Demo Instrument]\nName=\nInterface=Demo\n\n"
            "[Default LAN Instrument]\nName=\nInterface=LAN\nIP Address=192.168.1.55\n\n"
            "[Default USB Instrument]\nName=\nInterface=USB\n\n"
            "[Instrument2 Instrument]\nName=Lab scope 2\nInterface=LAN\nIP Address=10.0.0.9\n\n"
            "[COMMON]\nStart Unit=Instrument2\n");
}

TEST_F(InstrumentDialogsTest, CancelAfterChangesRestoresTheListAndTheFile) {
  const std::string before = ReadFile(ConfigurationFilePath());
  OnModal([](QWidget* select) {
    PickEntry(Child<QComboBox>(select, "cbStartupInstruments"), "Default Auto");
    PickEntry(Child<QComboBox>(select, "cbListOfConfiguration"), "Bench  [Instrument1]");
    ClickNamed(select, "btnDelete");
    // The default LAN entry keeps its address.
    PickEntry(Child<QComboBox>(select, "cbListOfConfiguration"), "Default LAN");
    OnModal([](QWidget* edit) {
      EXPECT_TRUE(Child<QLineEdit>(edit, "edIP")->isReadOnly());
      ClickNamed(edit, "btnInstrCancel");
    });
    ClickNamed(select, "BtnEdit");
    ClickNamed(select, "btnCancel");
  });
  EXPECT_TRUE(ShowSelectInstrumentDialog());
  EXPECT_EQ(ReadFile(ConfigurationFilePath()), before);
  EXPECT_TRUE(InstrumentList.Contains("Instrument1"));
  EXPECT_EQ(StartInstrumentName, "Instrument1");
  EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(InstrumentDialogsTest, ShortcutStartsTheProgramOnTheStartInstrument) {
  StoreInstrumentEntry("Demo2", {TLinkKind::Demo, "../.Lab/scope", {}});
  const std::filesystem::path desktop = MakeTempDir("desktop");
  TfrmSelectInstrument select;
  select.SetDesktopFolder(desktop);
  select.show();
  PickEntry(Child<QComboBox>(&select, "cbStartupInstruments"), "../.Lab/scope  [Demo2]");
  dialogs.customAnswers = {0};
  ClickNamed(&select, "btnCreateShortcut");
  const std::filesystem::path link = desktop / "VXNORV - _.Lab_scope.desktop";
  const std::string program = QCoreApplication::applicationFilePath().toStdString();
  EXPECT_EQ(ReadFile(link),
            "[Desktop Entry]\nType=Application\nName=VXNORV - _.Lab_scope\nExec=\"" + program +
                "\" \"Demo2\"\nPath=" + std::filesystem::path(program).parent_path().string() +
                "\nIcon=vexilor-norv\nTerminal=false\n");
  EXPECT_EQ(dialogs.shown, std::vector<std::string>{"[information] The shortcut was created successfully."});
  // A folder that cannot take the file gets the error message.
  select.SetDesktopFolder(link);
  ClickNamed(&select, "btnCreateShortcut");
  EXPECT_EQ(dialogs.shown.back(), "[error] Error creating the shortcut");
  MaybeWritePng(Grab(&select), "instrument_select");
}

}  // namespace
}  // namespace norv::test
