// The simulated model chosen for the next start: what the dialog offers, what it writes and
// what the next start makes of it.

#include "shell/model_selection.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <fstream>
#include <sstream>

#include "instrument/link/instrument_identity.h"
#include "platform/program_restart.h"
#include "shell/setup_files.h"
#include "shell/ui/model_selection_form.h"
#include "shell/ui/program_fixture.h"

namespace norv {
namespace {

class ModelSelectionTest : public test::ProgramFixture {
 protected:
  // Runs SelectModel, choosing `index` in the list and pressing `button` in the dialog.
  void Choose(int index, const char* button) {
    QTimer::singleShot(0, [=] {
      auto* dialog = qobject_cast<TSelectModelofInstruments*>(QApplication::activeModalWidget());
      ASSERT_NE(dialog, nullptr);
      dialog->findChild<QComboBox*>("ComboBox1")->setCurrentIndex(index);
      dialog->findChild<QPushButton*>(button)->click();
    });
    SelectModel(&program_->Window());
  }
  QWidget* MenuButton(const char* name) { return program_->Window().findChild<QWidget*>(name); }
};

TEST(ModelOptionBits, FollowTheTableOfSimulatedModels) {
  const std::pair<int, int> expected[] = {{1, 0},  {2, 135}, {3, 11},  {4, 0}, {5, 135},
                                          {6, 11}, {7, 143}, {8, 128}, {9, 0}, {0, 0}};
  for (const auto& [model, bits] : expected) EXPECT_EQ(ModelOptionBits(model), bits) << model;
}

TEST_F(ModelSelectionTest, TheDialogMarksTheCurrentModelAndKeepsOkOffForIt) {
  Start();
  ASSERT_EQ(InstrumentIdentity.ModelCode, 4);  // no demo unit written: the first model
  TSelectModelofInstruments dialog(&program_->Window());
  dialog.show();
  auto* list = dialog.findChild<QComboBox*>("ComboBox1");
  ASSERT_EQ(list->count(), 6);
  EXPECT_EQ(list->itemText(0), "Vexilor Norv-L0E (Current)");
  EXPECT_EQ(list->itemText(5), "Vexilor Norv-K0");
  EXPECT_EQ(list->currentIndex(), 0);
  auto* ok = dialog.findChild<QPushButton*>("btnOK");
  auto* restart = dialog.findChild<QPushButton*>("btnRestartNow");
  auto* dueTo = dialog.findChild<QLabel*>("lblDueTo");
  EXPECT_FALSE(ok->isEnabled());
  EXPECT_FALSE(restart->isEnabled());
  EXPECT_FALSE(dueTo->isVisible());
  list->setCurrentIndex(2);
  EXPECT_EQ(dialog.ChosenModel(), 6);
  EXPECT_TRUE(ok->isEnabled());
  EXPECT_TRUE(restart->isEnabled());
  EXPECT_TRUE(dueTo->isVisible());
  // The note has a place of its own, tall enough for all its lines, between the list and
  // the buttons.
  QApplication::processEvents();
  const QRect note = dueTo->geometry();
  EXPECT_GE(note.height(), dueTo->heightForWidth(note.width()));
  for (const QWidget* other :
       {static_cast<QWidget*>(list), static_cast<QWidget*>(ok), static_cast<QWidget*>(restart)})
    EXPECT_FALSE(note.intersects(other->geometry())) << other->objectName().toStdString();
  EXPECT_LE(note.bottom(), dialog.height());
}

// Model 7 comes with the generators (and TDR), the optics and the LAN option.
TEST_F(ModelSelectionTest, TheChosenModelRunsAfterTheRestartWithItsOptions) {
  Start();
  EXPECT_FALSE(MenuButton("bmmTDR_TDT")->isEnabled());
  dialogs_.answers = {TAnswer::Yes};  // the factory setup becomes the default
  Choose(3, "btnOK");
  // The running program keeps its model; the list now names the next one.
  EXPECT_EQ(InstrumentIdentity.ModelCode, 4);
  EXPECT_EQ(InstrumentIdentity.Options, 0);
  EXPECT_EQ(ModelChoiceEntries()[3], "Vexilor Norv-L3E (Next Run)");
  // With another model waiting, the current one may be chosen again.
  EXPECT_TRUE(ModelChoiceChangesSomething(4));
  EXPECT_TRUE(std::filesystem::exists(SetupFilePath(TSetupKind::Default)));

  Restart();
  EXPECT_EQ(InstrumentIdentity.ModelCode, 7);
  EXPECT_EQ(InstrumentIdentity.Options, 143);
  EXPECT_TRUE(HasTDROption());
  EXPECT_TRUE(MenuButton("bmmTDR_TDT")->isEnabled());
  EXPECT_TRUE(MenuButton("bmmGenerators")->isEnabled());
  EXPECT_TRUE(MenuButton("bmmOE")->isEnabled());
  EXPECT_EQ(ModelChoiceEntries()[3], "Vexilor Norv-L3E (Current)");
}

TEST_F(ModelSelectionTest, OkAsksBeforeReplacingTheDefaultSetup) {
  Start();
  const std::filesystem::path defaultSetup = SetupFilePath(TSetupKind::Default);
  std::filesystem::create_directories(defaultSetup.parent_path());
  std::ofstream(defaultSetup) << "users own setup\n";
  dialogs_.answers = {TAnswer::No};
  Choose(1, "btnOK");
  ASSERT_EQ(dialogs_.answers.size(), 0u);  // it asked
  std::ifstream in(defaultSetup);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str(), "users own setup\n");
}

// Without the simulator nothing is written, so nothing waits for the next run.
TEST_F(ModelSelectionTest, WithoutTheDemoLinkNothingIsMarkedForTheNextRun) {
  Start({"Absent"});
  dialogs_.answers = {TAnswer::No};
  Choose(2, "btnOK");
  for (const std::string& entry : ModelChoiceEntries())
    EXPECT_EQ(entry.find("(Next Run)"), std::string::npos);
  EXPECT_FALSE(
      std::filesystem::exists(std::filesystem::path(std::getenv("VEXILOR_NORV_HOME")) / "DemoUnits.ini"));
}

// A setup recalled whole notifies every measurement button, also those that are off.
TEST_F(ModelSelectionTest, TheFactorySetupSavedAsDefaultIsRecalledAtTheNextStart) {
  Start();
  ASSERT_TRUE(RecallSetup(TSetupKind::Factory, false));
  ASSERT_TRUE(SaveSetup(TSetupKind::Default, false));
  Restart();
  EXPECT_TRUE(dialogs_.shown.empty()) << dialogs_.shown.front();
}

// "Restart Now" closes the window; the new copy is asked for only when the close went through.
TEST_F(ModelSelectionTest, RestartNowAsksForTheNewCopyOnlyWhenTheCloseIsAccepted) {
  Start();
  // Changed adjustments make the close ask; Cancel keeps the program open.
  ShellHooks.AdjustmentChanged.Set([] { return true; });
  ShellHooks.AdjustAccessGranted.Set([] { return true; });
  dialogs_.answers = {TAnswer::No, TAnswer::Cancel};
  Choose(1, "btnRestartNow");
  EXPECT_FALSE(RestartAfterExitRequested());
  EXPECT_TRUE(program_->Window().isVisible());

  dialogs_.answers = {TAnswer::No, TAnswer::No};
  Choose(1, "btnRestartNow");
  EXPECT_TRUE(RestartAfterExitRequested());
  EXPECT_FALSE(program_->Window().isVisible());
  RequestRestartAfterExit(false);
}

}  // namespace
}  // namespace norv
