// The pattern-length list dialog driven by typing and clicks.

#include "instrument/ui/pattern_length_dialog.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <fstream>
#include <sstream>

#include "framework/settings/program_objects.h"
#include "support/qt/qt_harness.h"
#include "support/temp_home.h"

namespace norv::test {
namespace {

TEST(PatternLengthDialogTest, TypingAddingAndDeletingEditTheListThatOkWrites) {
  FreshProgramState();
  TfrmPatternLengthList dialog({127, 1000}, 255);
  dialog.show();
  auto* edit = dialog.findChild<QLineEdit*>("cbPatternLength");
  auto* list = dialog.findChild<QListWidget*>("lbPatternLength");
  auto* add = dialog.findChild<QPushButton*>("btnAdd");
  auto* del = dialog.findChild<QPushButton*>("btnDelete");
  ASSERT_TRUE(edit && list && add && del);
  EXPECT_EQ(edit->text(), "255");
  EXPECT_TRUE(add->isEnabled());
  EXPECT_FALSE(del->isEnabled());
  const std::pair<const char*, bool> typed[] = {
      {"30", false}, {"65536", false}, {"1000", false}, {"4096", true}};
  for (auto [text, addable] : typed) {
    edit->selectAll();
    PressKey(edit, Qt::Key_Backspace);
    TypeText(edit, text);
    EXPECT_EQ(add->isEnabled(), addable) << text;
  }
  Click(add, add->rect().center());
  EXPECT_FALSE(add->isEnabled());
  auto texts = [list] {
    std::vector<std::string> t;
    for (int i = 0; i < list->count(); ++i) t.push_back(list->item(i)->text().toStdString());
    return t;
  };
  EXPECT_EQ(texts(), (std::vector<std::string>{"127   (2^7-1)", "1000", "4096   (2^12)"}));
  QListWidgetItem* first = list->item(0);
  Click(list->viewport(), list->visualItemRect(first).center());
  EXPECT_TRUE(del->isEnabled());
  Click(del, del->rect().center());
  EXPECT_EQ(texts(), (std::vector<std::string>{"1000", "4096   (2^12)"}));
  MaybeWritePng(Grab(&dialog), "pattern_length_list");

  const std::filesystem::path folder = MakeTempDir("setup");
  EXPECT_TRUE(dialog.Editor().Accept(folder));
  std::ifstream in(PatternLengthListPath(folder), std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  EXPECT_EQ(s.str(), "1000\r\n4096\r\n");
  FreshProgramState();
}

}  // namespace
}  // namespace norv::test
