// The standard-mask dialogs through their widgets: the store dialog proposes a file name,
// keeps only a rate above 0, asks before replacing a file, and writes a mask the catalogue
// lists and loads back equal; the choose dialog lists the standards with masks, loads the
// row clicked and gives the mask held before back when cancelled.

#include "tdr_mask/ui/std_mask_dialogs.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTreeWidget>
#include <filesystem>
#include <fstream>
#include <ranges>
#include <sstream>

#include "framework/settings/undo_ring.h"
#include "instrument/startup/program_folders.h"
#include "shell/shell_state.h"
#include "support/fake_dialogs.h"
#include "support/qt/side_menu_fixture.h"
#include "support/temp_home.h"
#include "tdr_mask/mask_catalogue.h"
#include "tdr_mask/mask_files.h"
#include "tdr_mask/mask_object.h"
#include "tdr_mask/mask_testing.h"
#include "tdr_mask/ui/mask_page.h"

namespace norv::test {
namespace {

namespace fs = std::filesystem;

class StdMaskDialogsTest : public SideMenuPageTest {
 protected:
  void RegisterPages() override { RegisterMaskPage(); }
  void SetUp() override {
    SideMenuPageTest::SetUp();
    SetDialogs(&dialogs);
    saved = ProgramFolders;
    ProgramFolders.ProgramDir = MakeTempDir("std-masks") / "";
    ProgramFolders.MaskStandardDir = ProgramFolders.ProgramDir / "Masks" / "Standard" / "";
    fs::create_directories(DataFolders().MaskStandardDir / "Empty");  // a standard without masks
    InstallMaskFeature();
    ShellHooks.RescanMaskStandards();
    // A user mask of one triangle whose corners read back exactly.
    TCurrentMask& mask = CurrentMask();
    mask.Kind = mkUser;
    mask.MaskName = "Mine";
    mask.Slots[0].X = {800, 3200, 2000};
    mask.Slots[0].Y = {256, 256, 768};
    mask.PolygonCount = 1;
    BuildMaskObjFromCurrent();
  }
  void TearDown() override {
    ClearCurrentMask();
    CurrentMask() = TCurrentMask{};
    ProgramFolders = saved;
    SideMenuPageTest::TearDown();
  }
  static void Retype(QLineEdit* edit, const QString& text) {
    edit->setFocus();
    edit->selectAll();
    PressKey(edit, Qt::Key_Backspace);
    TypeText(edit, text);
  }
  static int UsableIndexOf(const std::string& folder) {
    for (int i = 0; i < StandardsList().UsableCount; ++i)
      if (StandardsList().Usable(i)->FolderName == folder) return i;
    return -1;
  }
  static std::string Read(const fs::path& file) {
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  TDataFolders saved;
  FakeDialogs dialogs;
};

TEST_F(StdMaskDialogsTest, StoreDialogWritesAMaskTheCatalogueLoadsBackEqual) {
  TfrmStdMaskStoreDlg dialog;
  dialog.show();
  EXPECT_EQ(dialog.MaskName()->text(), "Mine");
  EXPECT_EQ(dialog.FileName()->text(), "Noname");
  EXPECT_EQ(dialog.BitRate()->text(), "1024.000");
  EXPECT_EQ(dialog.BitRateUnit()->currentText(), "Mbps");
  EXPECT_TRUE(dialog.OkButton()->isEnabled());

  // Typing the mask name proposes the file name.
  Retype(dialog.MaskName(), "Eye a/b:c");
  EXPECT_EQ(dialog.FileName()->text(), "Eye a_b_c");
  // The rate keeps digits and one point; a lone point is no rate above 0.
  struct Rate {
    const char* typed;
    const char* kept;
    bool ok;
  };
  for (const Rate row : {Rate{"12a5", "12", true}, Rate{"1.2.5", "1.2", true}, Rate{".", ".", false},
                         Rate{"0.000", "0.000", false}, Rate{".5", ".5", true}}) {
    SCOPED_TRACE(row.typed);
    Retype(dialog.BitRate(), "");
    dialog.BitRate()->insert(row.typed);  // pasted
    EXPECT_EQ(dialog.BitRate()->text(), row.kept);
    EXPECT_EQ(dialog.OkButton()->isEnabled(), row.ok);
  }
  Retype(dialog.BitRate(), "2.5");
  // An empty name or one with a control character is refused.
  Retype(dialog.MaskName(), "");
  EXPECT_FALSE(dialog.OkButton()->isEnabled());
  Retype(dialog.MaskName(), "Eye");
  dialog.MaskName()->insert(QString("\x01"));
  EXPECT_FALSE(dialog.OkButton()->isEnabled());
  Retype(dialog.MaskName(), "Eye a/b");
  // Once typed into, the file name no longer follows; its own bad characters are replaced.
  Retype(dialog.FileName(), "my.eye");
  EXPECT_EQ(dialog.FileName()->text(), "my_eye");
  Retype(dialog.MaskName(), "Eye 2.5G");
  EXPECT_EQ(dialog.FileName()->text(), "my_eye");
  dialog.BitRateUnit()->setCurrentIndex(2);
  const int standard = dialog.Standard()->findText("Ethernet", Qt::MatchContains);
  ASSERT_GE(standard, 0);
  dialog.Standard()->setCurrentIndex(standard);
  const std::string folder = dialog.Standard()->currentData().toString().toStdString();

  dialogs.answers.push_back(TAnswer::Yes);
  Click(dialog.OkButton(), dialog.OkButton()->rect().center());
  const fs::path file = DataFolders().MaskStandardDir / folder / "my_eye.msk";
  ASSERT_TRUE(fs::exists(file));
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  ASSERT_FALSE(dialogs.shown.empty());
  EXPECT_NE(dialogs.shown.back().find("Eye 2.5G"), std::string::npos);
  EXPECT_NE(dialogs.shown.back().find("2.5 Gbps"), std::string::npos);

  // The catalogue lists it with its name and rate, and it loads back as the same polygon.
  ScanStandardMasks();
  const int s = UsableIndexOf(folder);
  ASSERT_GE(s, 0);
  ReadStandardMaskFiles(DataFolders().MaskStandardDir / folder, false);
  const auto& items = StandardMasksInCurrent().Items;
  const auto found = std::find_if(items.begin(), items.end(),
                                  [](const TMaskEntry& e) { return e.FileName == "my_eye.msk"; });
  ASSERT_NE(found, items.end());
  EXPECT_EQ(found->MaskName, "Eye 2.5G");
  EXPECT_DOUBLE_EQ(found->BitRate, 2.5e9);
  const TMaskSlot before = CurrentMask().Slots[0];
  ClearCurrentMask();
  ASSERT_TRUE(LoadStandardMask(s, static_cast<int>(found - items.begin()), 0));
  EXPECT_EQ(CurrentMask().PolygonCount, 1);
  EXPECT_EQ(CurrentMask().Slots[0].X, before.X);
  EXPECT_EQ(CurrentMask().Slots[0].Y, before.Y);

  // The same file again: it asks, and "No" leaves the file and the dialog as they were.
  const std::string written = Read(file);
  TfrmStdMaskStoreDlg again;
  again.show();
  Retype(again.MaskName(), "Other");
  Retype(again.FileName(), "my_eye");
  again.Standard()->setCurrentIndex(standard);
  dialogs.answers.push_back(TAnswer::Yes);
  dialogs.answers.push_back(TAnswer::No);
  Click(again.OkButton(), again.OkButton()->rect().center());
  EXPECT_NE(dialogs.shown.back().find("my_eye.msk"), std::string::npos);
  EXPECT_EQ(Read(file), written);
  EXPECT_TRUE(again.isVisible());
}

TEST_F(StdMaskDialogsTest, ChooseDialogLoadsTheClickedMaskAndCancelGivesTheOldOneBack) {
  StartUndo();
  SaveMaskUndo();
  TStdMaskFrm dialog;
  dialog.show();
  // One tab per standard with masks, by its name.
  ASSERT_EQ(dialog.Tabs()->count(), StandardsList().UsableCount);
  for (int i = 0; i < dialog.Tabs()->count(); ++i)
    EXPECT_EQ(dialog.Tabs()->tabText(i).toStdString(), StandardsList().Usable(i)->StandardName);
  EXPECT_FALSE(dialog.OkButton()->isEnabled());

  const int last = dialog.Tabs()->count() - 1;
  Click(dialog.Tabs(), dialog.Tabs()->tabRect(last).center());
  ReadStandardMaskFiles(DataFolders().MaskStandardDir / StandardsList().Usable(last)->FolderName, false);
  const auto items = StandardMasksInCurrent().Items;
  ASSERT_EQ(dialog.MaskList()->topLevelItemCount(), static_cast<int>(items.size()));
  ASSERT_FALSE(items.empty());
  QTreeWidgetItem* row = dialog.MaskList()->topLevelItem(0);
  EXPECT_EQ(row->text(0).toStdString(), items[0].MaskName);
  Click(dialog.MaskList()->viewport(), dialog.MaskList()->visualItemRect(row).center());
  EXPECT_EQ(CurrentMask().MaskName, items[0].MaskName);
  EXPECT_EQ(CurrentMask().StdIndex, last);
  EXPECT_TRUE(dialog.OkButton()->isEnabled());

  // Help mode: the next click shows help instead of reaching the control, then mode ends.
  Click(dialog.HelpButton(), dialog.HelpButton()->rect().center());
  EXPECT_TRUE(dialog.InHelpMode());
  const bool aligned = dialog.Align()->isChecked();
  Click(dialog.Align(), QPoint(8, dialog.Align()->height() / 2));
  EXPECT_EQ(dialog.Align()->isChecked(), aligned);
  EXPECT_FALSE(dialog.InHelpMode());
  dialogs.shown.clear();  // no help set in the test folder: that is said

  Click(dialog.CancelButton(), dialog.CancelButton()->rect().center());
  EXPECT_EQ(CurrentMask().Kind, mkUser);
  EXPECT_EQ(CurrentMask().MaskName, "Mine");
  ASSERT_NE(MaskObj, nullptr);
  EXPECT_EQ(MaskObj->MaskHitBits(2000, 400), 1u);
}

// The mask in force is known by its file: masks stored or copied before it, and a standard
// getting its first mask before its own, move its places; the list, a setup and a margin follow it.
TEST_F(StdMaskDialogsTest, MasksStoredBeforeTheMaskInForceLeaveTheListOnIt) {
  const fs::path dir = DataFolders().MaskStandardDir, zeta = dir / "Zeta";
  // A row past the last is held to the last, which is loaded.
  const auto rows = std::ranges::distance(
      fs::directory_iterator(dir / StandardsList().Usable(0)->FolderName) |
      std::views::filter([](const fs::directory_entry& e) { return e.path().extension() == ".msk"; }));
  Exec("StdMask:StdIndex 0;:StdMask:MaskIndex 10");
  EXPECT_EQ(Exec("StdMask:MaskIndex?"), std::to_string(rows - 1) + " ");
  EXPECT_EQ(CurrentMask().MaskIndex, rows - 1);
  fs::create_directories(zeta);
  fs::copy_file(dir / "SONET-SDH" / "OC-12 STM-4.msk", zeta / "OC-12 STM-4.msk");
  ScanStandardMasks();  // Zeta is standard 2, after the two the order file names
  Exec("StdMask:StdIndex 2;:StdMask:MaskIndex 0");
  std::vector<std::string> setup;
  RootSpider->DumpSettings(setup);

  TfrmStdMaskStoreDlg store;  // "OC-12 / STM-4" again at 1 Mb/s, before the one in force
  store.show();
  Retype(store.BitRate(), "1");
  store.Standard()->setCurrentIndex(store.Standard()->findText("Zeta"));
  dialogs.answers.push_back(TAnswer::Yes);
  Click(store.OkButton(), store.OkButton()->rect().center());
  Exec("StdMask:MaskIndex 0;:StdMask:MaskIndex 1");  // the last row can be chosen
  ASSERT_TRUE(StoreStandardMask(dir / "Empty" / "e.msk", "E", "1 Gbps", false));
  ScanStandardMasks();  // "Empty" comes before Zeta now
  EXPECT_EQ(Exec("StdMask:StdIndex?;:StdMask:MaskIndex?"), "3 ;1 ");

  fs::copy_file(zeta / "Noname.msk", zeta / "AAB.msk");  // from outside: OC-12 is row 2
  TStdMaskFrm dialog;
  dialog.show();
  EXPECT_EQ(dialog.MaskList()->selectedItems(), QList{dialog.MaskList()->topLevelItem(2)});
  const QTreeWidgetItem* row = dialog.MaskList()->topLevelItem(1);
  Click(dialog.MaskList()->viewport(), dialog.MaskList()->visualItemRect(row).center());
  EXPECT_EQ(CurrentMask().MaskFile, "Noname.msk");

  for (const std::string& line : setup) Exec(line, true);  // saved at (2, 0)
  EXPECT_EQ(std::pair(CurrentMask().StdIndex, CurrentMask().MaskIndex), std::pair(3, 2));
  EXPECT_EQ(Exec("StdMask:StdIndex?;:StdMask:MaskIndex?"), "3 ;2 ");  // the choice on it too
  fs::copy_file(zeta / "Noname.msk", zeta / "AAC.msk");               // row 3
  Exec("StdMask:MarginsOn ON;:StdMask:MarginsVal 10");
  EXPECT_EQ(CurrentMask().MaskFile, "OC-12 STM-4.msk");
  EXPECT_EQ(CurrentMask().MarginPercent, 10);
}

TEST(StdMaskHelp, TabTopicFollowsTheStandardsFolder) {
  struct Row {
    const char* folder;
    int context;
  };
  for (const Row row : {Row{"SONET-SDH", 981}, Row{"Gigabit Ethernet", 982}, Row{"Fiber Channel 2G", 985},
                        Row{"ITU G.703", 986}, Row{"ANSI T1.102", 988}, Row{"InfiniBand", 980},
                        Row{"Ethernet over SONET", 981}})
    EXPECT_EQ(TStdMaskFrm::StandardHelpContext(row.folder), row.context) << row.folder;
}

}  // namespace
}  // namespace norv::test
