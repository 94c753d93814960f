// Context help: every context the program's forms carry opens an anchor of the help set the
// build ships; F1 and the what's-this mode open the topic of the control they point at.

#include <QCursor>
#include <QTest>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>

#include "controls/choice_switchers.h"
#include "controls/command_switchers.h"
#include "controls/help_contexts.h"
#include "controls/side_menu.h"
#include "controls/switcher.h"
#include "controls/translated_form.h"
#include "shell/help_bridge.h"
#include "shell/ui/program_fixture.h"

namespace norv {
namespace {

std::string ReadFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class HelpTest : public test::ProgramFixture {
 protected:
  void StartWithHelpSet() {
    std::filesystem::copy(NORV_HELP_DIR, ProgramHelp(), std::filesystem::copy_options::recursive);
    Start();
    HelpHooks.OpenUrl.Set([this](const std::string& url) {
      opened_.push_back(url);
      return true;
    });
  }
  static std::filesystem::path ProgramHelp() {
    return std::filesystem::path(std::getenv("VEXILOR_NORV_HOME")) / "Help";
  }
  // "file://" + file + "#" + anchor, split; nothing when the address is not of that form.
  static std::optional<std::pair<std::string, std::string>> Split(const std::string& url) {
    const std::string scheme = "file://";
    const size_t hash = url.rfind('#');
    if (url.rfind(scheme, 0) != 0 || hash == std::string::npos) return std::nullopt;
    return std::make_pair(url.substr(scheme.size(), hash - scheme.size()), url.substr(hash + 1));
  }
  // The page and anchor of the last address opened.
  std::pair<std::string, std::string> LastOpened() {
    if (opened_.empty()) return {};
    const auto parts = Split(opened_.back());
    if (!parts) return {opened_.back(), ""};
    return {std::filesystem::path(parts->first).filename().string(), parts->second};
  }
  bool AnchorExists(const std::string& url) {
    const auto parts = Split(url);
    return parts && ReadFile(parts->first).find("id=\"" + parts->second + "\"") != std::string::npos;
  }

  std::vector<std::string> opened_;
};

// The contexts and names of a container's controls, and the names of those without a context.
void CollectContexts(const TFormTranslator& translator, const QWidget* container, std::vector<int>& contexts,
                     std::vector<std::string>& names, std::vector<std::string>& without) {
  for (QWidget* control : translator.Children(container)) {
    const int context = HelpContextOf(control);
    names.push_back(control->objectName().toStdString());
    if (context == 0) without.push_back(names.back());
    contexts.push_back(context);
    CollectContexts(translator, control, contexts, names, without);
  }
}

TEST_F(HelpTest, EveryContextOfEveryFormOpensAnAnchorOfTheShippedHelpSet) {
  StartWithHelpSet();
  int forms = 0;
  std::set<std::string> sections;
  ForEachProgramForm({&program_->Keypad(), &program_->Window()}, [&](QWidget* form) {
    TFormTranslator& translator = TranslatorOf(form);
    translator.Translate();
    sections.insert(translator.Section());
    ++forms;
    std::vector<int> contexts{HelpContextOf(form)};
    std::vector<std::string> names, without;
    CollectContexts(translator, form, contexts, names, without);
    EXPECT_TRUE(without.empty()) << translator.Section() << ": " << without.front();
    // The reader meets captions, hints and titles, never the names of the form or its
    // controls, nor a setting for a button that sets nothing.
    const std::string page = ReadFile(ProgramHelp() / (translator.Section() + ".html"));
    EXPECT_EQ(page.find(kNoneHandler), std::string::npos) << translator.Section();
    names.push_back(translator.Section());
    for (const std::string& name : names)
      EXPECT_EQ(page.find(">" + name + "<"), std::string::npos) << translator.Section() << ": " << name;
    // The form's own topic is its page's title.
    ShellHooks.OpenHelp(contexts[0]);
    EXPECT_EQ(LastOpened().first, translator.Section() + ".html");
    for (const int context : contexts) {
      opened_.clear();
      ShellHooks.OpenHelp(context);
      ASSERT_EQ(opened_.size(), 1u) << translator.Section() << " " << context;
      EXPECT_TRUE(AnchorExists(opened_[0])) << opened_[0];
    }
  });
  EXPECT_GE(forms, 20);
  for (const char* section :
       {"Trig_Form", "TB_Form", "Morda_fr", "AboutForm", "SysInfoFrm", "SelectModelofInstruments"})
    EXPECT_TRUE(sections.contains(section)) << section;
  EXPECT_TRUE(dialogs_.shown.empty()) << dialogs_.shown.front();
}

TEST_F(HelpTest, ContentsIndexAndFailuresOfTheHelpSet) {
  StartWithHelpSet();
  for (const int context : {0, 1}) {
    ShellHooks.OpenHelp(context);
    EXPECT_EQ(opened_.back(), "file://" + (ProgramHelp() / "index.html").string());
  }
  ShellHooks.OpenHelp(424242);
  EXPECT_EQ(dialogs_.shown.back(), "[error] Unable to show help for context 424242");
  HelpHooks.OpenUrl.Set([](const std::string&) { return false; });
  ShellHooks.OpenHelp(1);
  EXPECT_NE(dialogs_.shown.back().find("browser"), std::string::npos);
  std::filesystem::remove_all(ProgramHelp());
  const size_t before = opened_.size();
  for (const int context : {0, 1701}) {
    ShellHooks.OpenHelp(context);
    EXPECT_EQ(dialogs_.shown.back(),
              "[error] Error opening Vexilor Norv Help. May be help file is not found.");
  }
  EXPECT_EQ(opened_.size(), before);
}

// VEXILOR_NORV_HOME names a program folder apart from the executable's, without a help set
// of its own: the help opens from the set shipped beside the executable, until the program
// folder has one.
TEST_F(HelpTest, AProgramFolderWithoutAHelpSetOpensTheShippedOne) {
  Start();
  HelpHooks.OpenUrl.Set([this](const std::string& url) {
    opened_.push_back(url);
    return true;
  });
  const std::filesystem::path shipped = NORV_HELP_DIR;
  HelpHooks.ShippedHelpFolder.Set([&] { return shipped; });
  ShellHooks.OpenHelp(1706);
  ASSERT_EQ(opened_.size(), 1u) << dialogs_.shown.back();
  EXPECT_EQ(opened_[0], "file://" + (shipped / "Trig_Form.html").lexically_normal().string() + "#ctx1706");
  EXPECT_TRUE(AnchorExists(opened_[0]));
  std::filesystem::copy(shipped, ProgramHelp(), std::filesystem::copy_options::recursive);
  ShellHooks.OpenHelp(1);
  EXPECT_EQ(opened_.back(), "file://" + (ProgramHelp() / "index.html").string());
  EXPECT_TRUE(dialogs_.shown.empty());
}

TEST(HelpContextMap, KeepsWellFormedLinesOnly) {
  const auto map = ParseHelpContextMap(
      "5 a.html\r\nx b.html\n7\n8 ../c.html\n9  \n10 d.html\n-3 e.html\n11 ..\n12 .\r\n13 ...\n");
  // ".." and "." are folders, not pages; "..." is a file name like any other.
  const std::map<int, std::string> expected{{5, "a.html"}, {10, "d.html"}, {-3, "e.html"}, {13, "..."}};
  EXPECT_EQ(map, expected);
}

// The trigger menu's source switcher carries context 1706 by design.
TEST_F(HelpTest, F1OverAControlOpensItsTopicOnItsPage) {
  StartWithHelpSet();
  QWidget& window = program_->Window();
  QApplication::setActiveWindow(&window);
  ASSERT_TRUE(ShowSideMenu(3, kRightPanel));
  TSideMenuForm* menu = SideMenuForms[kRightPanel];
  TRC_Switcher* target = nullptr;
  for (TRC_Switcher* s : menu->findChildren<TRC_Switcher*>())
    if (s->HelpContext() == 1706 && s->isVisible()) target = s;
  ASSERT_NE(target, nullptr);
  QCursor::setPos(target->mapToGlobal(target->rect().center()));
  QTest::keyClick(&window, Qt::Key_F1);
  EXPECT_EQ(LastOpened(), std::make_pair(std::string("Trig_Form.html"), std::string("ctx1706")));
  // Over the scope screen, which has no topic of its own: the main window's.
  opened_.clear();
  QCursor::setPos(window.mapToGlobal(QPoint(5, window.height() / 3)));
  QTest::keyClick(&window, Qt::Key_F1);
  EXPECT_EQ(LastOpened().first, "Morda_fr.html");
  ASSERT_EQ(opened_.size(), 1u);
  EXPECT_TRUE(AnchorExists(opened_[0]));
}

// Shift+F1 enters the mode; the next click asks for the clicked control's topic and does
// not reach it. A button inside a switcher without topics of its own shows the switcher's.
TEST_F(HelpTest, TheWhatsThisClickOpensTheClickedControlsTopic) {
  StartWithHelpSet();
  QWidget& window = program_->Window();
  QApplication::setActiveWindow(&window);
  ASSERT_TRUE(ShowSideMenu(3, kRightPanel));
  TRC_Switcher* choice = nullptr;
  for (TRC_Switcher* s : SideMenuForms[kRightPanel]->findChildren<TRC_Switcher*>())
    if (s->HelpContext() == 1706 && s->isVisible()) choice = s;
  ASSERT_NE(choice, nullptr);
  const auto buttons = choice->findChildren<QAbstractButton*>();
  ASSERT_FALSE(buttons.empty());
  QAbstractButton* button = buttons.back();
  ASSERT_EQ(HelpContextOf(button), 0);
  const bool wasChecked = button->isChecked();
  QTest::keyClick(&window, Qt::Key_F1, Qt::ShiftModifier);
  QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
  EXPECT_EQ(LastOpened(), std::make_pair(std::string("Trig_Form.html"), std::string("ctx1706")));
  EXPECT_EQ(button->isChecked(), wasChecked);
  // The mode ends with the click: the next one works the button again.
  opened_.clear();
  QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
  EXPECT_TRUE(opened_.empty());
}

TEST_F(HelpTest, TheHelpItemNamesTheProduct) {
  StartWithHelpSet();
  auto* help = program_->Window().findChild<TRC_MainCommandSwitcher*>("mcsHelp");
  ASSERT_NE(help, nullptr);
  EXPECT_EQ(help->MenuItems().value(0), "Vexilor Norv-L0E &Help");
}

}  // namespace
}  // namespace norv
