// Side menus described as pages, opened in both panels, and their texts from language
// files: page memory, requests that open nothing, a menu replaced from its own button, a
// language switch while a menu is open, and the English file written from the forms. Set
// NORV_PNG_DIR to get side_menu_english.png and side_menu_german.png.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTreeWidget>
#include <cstdlib>

#include "controls/menu_pages.h"
#include "controls_fixture.h"
#include "framework/language/language.h"
#include "support/fake_dialogs.h"
#include "support/temp_home.h"

namespace norv::test {
namespace {

const TMenuDecl kAcqMenu{
    .Name = "Acq_Form",
    .Pages = {
        {.Number = 1,
         .Panels = {{.Name = "rmpAcqMode",
                     .Group = "Acq",
                     .Caption = "Acquisition",
                     .Switchers = {Sw<TRC_RadioSwitcher>({.Mnemonics = "Mode",
                                                          .Caption = "Mode",
                                                          .Items = {"Sample", "Average", "Envelope"}}),
                                   Sw<TRC_EditSwitcher>({.Mnemonics = "NAvg", .Caption = "Averages"})}}}},
        {.Number = 2,
         .Panels = {{.Name = "rmpAcqTime",
                     .Group = "Acq",
                     .Caption = "Timing",
                     .Switchers = {Sw<TRC_EditSwitcher>(
                                       {.Mnemonics = "Delay", .Caption = "Delay", .Hint = "First point"}),
                                   Sw<TRC_OnOffSwitch>(
                                       {.Mnemonics = "Persist", .Caption = "Persistence"})}}}},
        {.Number = 3,
         .Panels = {{.Name = "rmpAcqMore",
                     .Group = "Acq",
                     .Caption = "More",
                     .Switchers = {Sw<TRC_RightPassiveCommandSwitcher>(
                         {.Caption = "Display", .Items = {"Open"}})}},
                    {.Name = "rmpDispStyle",
                     .Group = "Disp",
                     .Switchers = {Sw<TRC_RadioSwitcher>(
                         {.Mnemonics = "Style", .Caption = "Style", .Items = {"Dots", "Vectors"}})}}}},
    }};

const TMenuDecl kDispMenu{
    .Name = "Disp_Form",
    .Pages = {{.Number = 1,
               .Panels = {{.Name = "rmpDisp",
                           .Group = "Disp",
                           .Caption = "Display",
                           .Switchers = {Sw<TRC_RadioSwitcher>(
                               {.Mnemonics = "Style", .Items = {"Dots", "Vectors"}})}}}}}};

// Identifier prefixes of the first two pages' panels.
const std::string kMode = "Menu Panel rmpPage1.Menu Panel rmpAcqMode.";
const std::string kTime = "Menu Panel rmpPage2.Menu Panel rmpAcqTime.";

class SideMenuTest : public ControlsTest {
 protected:
  void SetUp() override {
    ControlsTest::SetUp();
    oldHome_ = std::getenv("VEXILOR_NORV_HOME");
    home_ = MakeTempDir("menu-home");
    setenv("VEXILOR_NORV_HOME", home_.c_str(), 1);
    LanguageMessageHook.Set([this](const std::string& m) { messages.push_back(m); });
    RootSpider->AddRadioSw(0, "Acq:Mode", "Sample,Average,Envelope");
    RootSpider->AddIntEdit({.Path = "Acq:NAvg", .Value = 16, .Min = 1, .Max = 4096});
    delay = RootSpider->AddDoubleEdit({.Path = "Acq:Delay", .Value = 2.5e-8, .Unit = "s", .Max = 1});
    RootSpider->AddOnOff(false, "Acq:Persist");
    RootSpider->AddRadioSw(0, "Disp:Style", "Dots,Vectors");
    SetSideMenuHost(&window);
    RegisterSideMenu(4, kAcqMenu, [](TDeclaredSideMenu& menu, int panel) {
      menu.Control<TRC_RightPassiveCommandSwitcher>("pcsDisplay").OnUpdateMe = [panel](TRC_Switcher&) {
        ShowSideMenu(5, panel);
      };
    });
    RegisterSideMenu(5, kDispMenu);
    window.ShowActive();
  }
  void TearDown() override {
    FlushDeletes();
    setenv("VEXILOR_NORV_HOME", oldHome_.c_str(), 1);
    ControlsTest::TearDown();
  }
  static void FlushDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }
  static TDeclaredSideMenu& Menu(int panel) {
    return *static_cast<TDeclaredSideMenu*>(SideMenuForms.at(panel).data());
  }
  static void Turn(int panel, int button) {
    auto* turn = Menu(panel).Page(Menu(panel).CurrentPage())->findChild<TPageTurnSwitcher*>();
    Click(turn, turn->ButtonRect(button).center());
  }
  void WriteLanguage(const char* code, const std::vector<std::pair<std::string, std::string>>& acqTexts) {
    TLangIniFile ini(home_ / LanguageFileName(code));
    WriteLangValue(ini, "Common", "Language", code);
    for (const auto& [ident, text] : acqTexts) WriteLangValue(ini, "Acq_Form", ident, text);
    ini.UpdateFile();
  }

  std::string oldHome_;
  std::filesystem::path home_;
  std::vector<std::string> messages;
  TDoubleEditHandler* delay = nullptr;
};

TEST_F(SideMenuTest, EachPanelRemembersThePageOfEachMenu) {
  ASSERT_TRUE(ShowSideMenu(4, kRightPanel));
  Turn(kRightPanel, 1);
  Turn(kRightPanel, 1);
  EXPECT_TRUE(Menu(kRightPanel).Page(3)->isVisible() && !Menu(kRightPanel).Page(1)->isVisible());
  ShowSideMenu(5, kRightPanel);
  ShowSideMenu(4, kRightPanel);
  EXPECT_EQ(Menu(kRightPanel).CurrentPage(), 3);
  ShowSideMenu(4, kLeftPanel);
  EXPECT_EQ(Menu(kLeftPanel).CurrentPage(), 1);
  Turn(kLeftPanel, 0);  // back from the first page: the last one
  EXPECT_TRUE(IsRightSideMenuPage(4, 3) && IsLeftSideMenuPage(4, 3));

  ResetSideMenuPage(4);  // open menus go to page 1 at once
  EXPECT_EQ(std::pair(Menu(kRightPanel).CurrentPage(), Menu(kLeftPanel).CurrentPage()), std::pair(1, 1));
  ShowSideMenu(kNoMenu, kLeftPanel);
  EXPECT_FALSE(SideMenuForms[kLeftPanel]);
  for (int id = 0; id < kNoMenu; ++id) EXPECT_FALSE(IsLeftSideMenu(id)) << id;
  Turn(kRightPanel, 1);
  ShowSideMenu(kNoMenu, kRightPanel);
  ResetSideMenuPage(4);  // a closed menu opens on page 1 next time
  ShowSideMenu(4, kRightPanel);
  EXPECT_EQ(Menu(kRightPanel).CurrentPage(), 1);
}

TEST_F(SideMenuTest, MenusBindAndRequestsThatOpenNothingChangeNothing) {
  ShowSideMenu(4, kRightPanel);
  QPointer<TSideMenuForm> first = SideMenuForms[kRightPanel];
  auto& mode = Menu(kRightPanel).Control<TRC_RadioSwitcher>("rswMode");
  Click(mode.Button(2), mode.Button(2)->rect().center());
  EXPECT_EQ(static_cast<TRadioSwHandler*>(RootSpider->FindHandler("Acq:Mode"))->GetIndex(), 2);
  EXPECT_EQ(Menu(kRightPanel).Control<TRC_RadioSwitcher>("rswStyle").GetHandler(),
            RootSpider->FindHandler("Disp:Style"));

  for (auto [id, panel] : {std::pair{19, 0}, {25, 0}, {-1, 0}, {7, 0}, {4, 2}})
    EXPECT_FALSE(ShowSideMenu(id, panel)) << id << " " << panel;
  FlushDeletes();
  EXPECT_TRUE(first && first == SideMenuForms[kRightPanel] && first->isVisible() && IsRightSideMenu(4));

  // The menu's own button replaces it: it goes once its click is over.
  Menu(kRightPanel).ShowPage(3);
  auto& display = Menu(kRightPanel).Control<TRC_RightPassiveCommandSwitcher>("pcsDisplay");
  Click(&display, display.ButtonRect(0).center());
  EXPECT_TRUE(IsRightSideMenu(5) && first && !first->isVisible());
  EXPECT_EQ(mode.GetHandler(), nullptr);
  FlushDeletes();
  EXPECT_FALSE(first);
}

TEST_F(SideMenuTest, DimensionsPlaceTheOpenMenu) {
  std::vector<std::string> calls;
  SideMenuState.RightCaptionLeft.Set([&](int left) { calls.push_back("left " + std::to_string(left)); });
  SideMenuState.CaptionPanelVisible.Set([&](int panel, bool on) {
    calls.push_back("caption " + std::to_string(panel) + (on ? " on" : " off"));
  });
  SideMenuDimensions[kLeftPanel].SetLeft(8);
  ShowSideMenu(4, kRightPanel);
  ShowSideMenu(5, kLeftPanel);
  SideMenuDimensions[kRightPanel].SetLeft(500);
  SideMenuDimensions[kRightPanel].SetTop(30);
  EXPECT_EQ(Menu(kRightPanel).geometry(), QRect(500, 30, 111, 460));
  EXPECT_EQ(Menu(kLeftPanel).geometry(), QRect(8, 0, 111, 460));
  SideMenuDimensions[kRightPanel].SetVisible(false);
  EXPECT_TRUE(!Menu(kRightPanel).isVisible() && IsRightSideMenu(4));
  EXPECT_EQ(calls, (std::vector<std::string>{"left 500", "caption 0 off"}));
}

TEST_F(SideMenuTest, DescriptionsThatCannotBeShownAreRefused) {
  std::vector<TSwitcherDecl> tall(8, Sw<TRC_RadioSwitcher>({.Items = {"A", "B"}}));
  for (int i = 0; i < 8; ++i) tall[static_cast<size_t>(i)].Fields.Name = "rsw" + std::to_string(i);
  const std::pair<TMenuDecl, const char*> cases[] = {
      {{.Name = "X_Form", .Pages = {{.Number = 2, .Panels = {}}}},
       "ERROR!  Page 2 of X_Form: pages must be numbered 1, 2, ... in order"},
      {{.Name = "X_Form",
        .Pages = {{.Number = 1,
                   .Panels = {{.Name = "rmpA",
                               .Group = "Acq",
                               .Switchers = {Sw<TRC_OnOffSwitch>({.Mnemonics = "Persist"}),
                                             Sw<TRC_OnOffSwitch>({.Mnemonics = "Persist", .Top = 100})}}}}}},
       "ERROR!  Page 1 of X_Form: two switchers named ooswPersist in rmpA"},
      {{.Name = "X_Form", .Pages = {{.Number = 1, .Panels = {{.Name = "rmpA", .Switchers = tall}}}}},
       "ERROR!  Page 1 of X_Form: 554 pixels of panels, room for 460"},
  };
  for (const auto& [decl, text] : cases)
    EXPECT_EQ(AssertionText([&] { TDeclaredSideMenu menu(&window, decl); }), text);
}

TEST_F(SideMenuTest, LanguageSwitchRetranslatesOpenMenus) {
  WriteLanguage("Eng", {});
  WriteLanguage("DEU", {{kMode + "Caption", "Erfassung"},
                        {kMode + "rswMode.Caption", "Erfassungsmodus"},
                        {kMode + "rswMode.Items", "Abtasten\r\nMittelung\r\nHüllkurve\r\n"},
                        {kTime + "eswDelay.Hint", "Erster Punkt"},
                        {kTime + "eswDelay.Dimension", "Sek"},
                        {"Menu Panel rmpPage1.pcsPageTurn.Caption", "Seite 1 von 3"},
                        {"Menu Panel rmpPage1.pcsPageTurn.Items", "Zurück\r\nWeiter\r\n"}});
  // No unit, two items where the setting has three, one blank for items.
  WriteLanguage("FRA", {{kMode + "rswMode.Caption", "Mode FR"},
                        {kMode + "rswMode.Items", "Un\r\nDeux\r\n"},
                        {kTime + "ooswPersist.Items", " "}});
  SelectStartupLanguage();
  ASSERT_TRUE(Languages && Languages->Count == 3 && Languages->Codes[0] == "DEU");
  int switched = 0;
  TranslatedForms.LanguageSwitched.Set([&] { ++switched; });
  ShowSideMenu(4, kRightPanel);
  TDeclaredSideMenu& menu = Menu(kRightPanel);
  auto& mode = menu.Control<TRC_RadioSwitcher>("rswMode");
  auto& delayEdit = menu.Control<TRC_EditSwitcher>("eswDelay");
  const QStringList english{"Sample", "Average", "Envelope"};
  auto picture = [&](const char* name) {
    const QFontMetrics metrics(ProgramFont());
    for (TRC_Switcher* s : menu.findChildren<TRC_Switcher*>())
      EXPECT_LE(metrics.horizontalAdvance(s->Caption()), s->width() - 8)
          << name << " " << s->Caption().toStdString();
    MaybeWritePng(Grab(&menu), name);
  };
  picture("side_menu_english");

  Exec("Acq:Mode Average");
  ASSERT_TRUE(SwitchLanguage(0));
  EXPECT_EQ(menu.Page(1)->findChild<TRC_RightMenuPanel*>("rmpAcqMode")->title(), "Erfassung");
  EXPECT_EQ(std::tuple(mode.Caption(), mode.Items(), mode.ItemIndex()),
            std::tuple("Erfassungsmodus", QStringList{"Abtasten", "Mittelung", "Hüllkurve"}, 1));
  EXPECT_EQ(std::tuple(delayEdit.toolTip(), delay->GetUnitText(), delayEdit.ValueText()),
            std::tuple("Erster Punkt", "Sek", "25 nSek"));
  EXPECT_EQ(menu.Page(1)->findChild<TPageTurnSwitcher*>()->ButtonCaption(1), "Weiter");
  picture("side_menu_german");
  // A menu opened now is made in the language chosen.
  ShowSideMenu(4, kLeftPanel);
  EXPECT_EQ(Menu(kLeftPanel).Control<TRC_RadioSwitcher>("rswMode").Caption(), "Erfassungsmodus");

  ASSERT_TRUE(SwitchLanguage(2));
  EXPECT_EQ(std::tuple(mode.Caption(), mode.Items(), delay->GetUnitText(), delayEdit.toolTip()),
            std::tuple("Mode FR", english, "s", "First point"));
  EXPECT_EQ(menu.Control<TRC_OnOffSwitch>("ooswPersist").Items(), QStringList({"On", "Off"}));
  EXPECT_EQ(messages.back(), "ERROR!!! - Component Acq_Form." + kMode +
                                 "rswMode\r\nhas 3 Items, but in Language File only 2 Items");
  ASSERT_TRUE(SwitchLanguage(1));
  EXPECT_EQ(std::tuple(mode.Caption(), mode.Items(), delay->GetUnitText()), std::tuple("Mode", english, "s"));
  EXPECT_FALSE(SwitchLanguage(1));
  EXPECT_EQ(switched, 3);
}

TEST_F(SideMenuTest, EnglishFileIsWrittenFromTheFormsAndReadsBackUnchanged) {
  WriteLanguage("DEU", {});
  SelectStartupLanguage();
  ASSERT_TRUE(EnglishFileMissing);
  RegisterLanguageDialog([](QWidget* owner) {
    auto* form = new TLanguageForm(owner);
    form->setObjectName("TestDlg_1");
    auto* label = new QLabel("First", form);
    label->setObjectName("lblA");
    auto* box = new QGroupBox("Box", form);
    box->setObjectName("gbB");
    (new QPushButton("OK", box))->setObjectName("btnOK");
    auto* list = new QTreeWidget(form);
    list->setObjectName("lvList");
    list->setHeaderLabels({"Name", "Value"});
    (new QSlider(form))->setObjectName("sldX");
    label->raise();  // order of creation, not of stacking
    return form;
  });
  FakeDialogs dialogs;
  ASSERT_TRUE(WriteEnglishLanguageFile({}));
  EXPECT_EQ(dialogs.shown, std::vector<std::string>{"[information] English Language File must be Created."});
  EXPECT_FALSE(SideMenuForms[kRightPanel]);

  TLangIniFile file(home_ / "Language-Quel.Eng");
  EXPECT_EQ(file.ReadSections(),
            (std::vector<std::string>{"Common", "Resource Strings", "Acq_Form", "Disp_Form", "TestDlg"}));
  std::vector<std::pair<std::string, std::string>> dialog;
  for (const std::string& key : file.ReadSection("TestDlg"))
    dialog.emplace_back(key.substr(8), ReadLangValue(file, "TestDlg", key.substr(8)));
  EXPECT_EQ(dialog, (std::vector<std::pair<std::string, std::string>>{
                        {"Controls", "4"},
                        {"Caption", ""},
                        {"lblA.Caption", "First"},
                        {"Group Box gbB._Name", "gbB"},
                        {"Group Box gbB.Caption", "Box"},
                        {"Group Box gbB.btnOK.Caption", "OK"},
                        {"lvList.Column[0]", "Name"},
                        {"lvList.Column[1]", "Value"},
                        {"sldX.Caption", "Unknown control sldX in  parent"}}));
  EXPECT_EQ(ReadLangValue(file, "Acq_Form", kMode + "rswMode.Items"), "Sample\r\nAverage\r\nEnvelope\r\n");
  EXPECT_EQ(ReadLangValue(file, "Acq_Form", kTime + "eswDelay.Dimension"), "s");

  // At the next start English is loaded from it and changes no text.
  SelectStartupLanguage();
  ASSERT_TRUE(!EnglishFileMissing && Languages->Ini);
  for (size_t i = 0; i < LanguageStrings.Count(); ++i) {
    const std::string& key = LanguageStrings.Key(i);
    ASSERT_EQ(LanguageStrings.GetLangStr(key, true), LanguageStrings.EnglishText(key, true)) << key;
  }
  ShowSideMenu(4, kRightPanel);
  auto& mode = Menu(kRightPanel).Control<TRC_RadioSwitcher>("rswMode");
  EXPECT_EQ(std::tuple(mode.Caption(), mode.Items().size(), delay->GetUnitText()),
            std::tuple("Mode", 3, "s"));
  EXPECT_TRUE(messages.empty());
}

}  // namespace
}  // namespace norv::test
