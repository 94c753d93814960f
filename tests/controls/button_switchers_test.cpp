// Choices as buttons and command buttons, driven by mouse and keys, against their handlers.

#include <gtest/gtest.h>

#include <QAction>

#include "controls/choice_switchers.h"
#include "controls/command_switchers.h"
#include "controls/list_switchers.h"
#include "controls_fixture.h"

namespace norv::test {
namespace {

class ButtonSwitchersTest : public ControlsTest {
 protected:
  // On the button's indicator, where a click always lands.
  QPoint CentreOf(TRC_PolyButtonSwitcher& s, int button) {
    const QRect r = s.Button(button)->geometry();
    return {r.left() + 8, r.center().y()};
  }
};

TEST_F(ButtonSwitchersTest, ClicksSetTheHandlerAndCommandsRepaintEveryBoundSwitcher) {
  StartUndo();
  auto* mode = RootSpider->AddRadioSw(0, "Acq:Mode", "Sample,Average,Envelope");
  auto* panel = new TRC_RightMenuPanel(&window, "Acq");
  auto& buttons =
      panel->Add<TRC_RadioSwitcher>({.Mnemonics = "Mode", .Items = {"Sample", "Average", "Envelope"}});
  auto& twin = panel->Add<TRC_RadioSwitcher>({.Mnemonics = "Mode", .Items = {"S", "A", "E"}, .Columns = 3});
  auto& list =
      panel->Add<TRC_ListBoxSwitcher>({.Mnemonics = "Mode", .Items = {"Sample", "Average", "Envelope"}});
  panel->RegisterSwitchers();
  panel->show();
  window.ShowActive();

  Click(&buttons, CentreOf(buttons, 2));
  EXPECT_EQ(mode->GetIndex(), 2);
  EXPECT_FALSE(UndoBuffer->UndoEmpty);  // a control's change opens an undo step
  for (int i = 0; i < 3; ++i) EXPECT_EQ(buttons.Button(i)->isChecked(), i == 2) << i;

  Exec("ACQ:MODE AVERAGE");
  EXPECT_EQ(buttons.ItemIndex(), 1);
  EXPECT_EQ(twin.ItemIndex(), 1);
  EXPECT_TRUE(twin.Button(1)->isChecked() && !twin.Button(2)->isChecked());
  EXPECT_EQ(list.ItemIndex(), 1);

  // A greyed option cannot be clicked; the command still reaches it.
  mode->SetDisabledMask(0b100);
  EXPECT_FALSE(buttons.Button(2)->isEnabled());
  Click(&buttons, CentreOf(buttons, 2));
  EXPECT_EQ(mode->GetIndex(), 1);

  // On/off as two buttons and as one check button.
  auto* run = RootSpider->AddOnOff(true, "Acq:Run");
  auto& onOff = panel->Add<TRC_OnOffSwitch>({.Mnemonics = "Run"});
  auto& check = panel->Add<TRC_OnOffCheckSwitcher>({.Mnemonics = "Run"});
  panel->RegisterSwitchers();
  EXPECT_EQ(onOff.ItemIndex(), 0);
  Click(&onOff, CentreOf(onOff, 1));
  EXPECT_FALSE(run->IsOn());
  EXPECT_FALSE(check.Button(0)->isChecked());
  Click(&check, CentreOf(check, 0));
  EXPECT_TRUE(run->IsOn());
  EXPECT_EQ(onOff.ItemIndex(), 0);

  // A set of flags: each click switches one button of the handler.
  auto* beeps = RootSpider->AddCheckSw(0b001, "Acq:Action", "Beep,Save,Stop");
  auto& flags = panel->Add<TRC_CheckSwitcher>({.Mnemonics = "Action", .Items = {"Beep", "Save", "Stop"}});
  panel->RegisterSwitchers();
  Click(&flags, CentreOf(flags, 2));
  Click(&flags, CentreOf(flags, 0));
  EXPECT_EQ(beeps->GetMask(), 0b100u);
  EXPECT_EQ(Exec("ACQ:ACTION?"), "ACQ:ACTION STOP");
  Exec("ACQ:ACTION BEEP,SAVE");
  EXPECT_EQ(flags.Mask(), 0b011u);
  EXPECT_TRUE(flags.Button(1)->isChecked() && !flags.Button(2)->isChecked());
}

TEST_F(ButtonSwitchersTest, LayoutLimitsAndDesignErrors) {
  // Seven buttons in two columns fill four rows, the left column first. The content of a
  // 103 x 65 switcher is 99 x 45 at (2, 18): columns (99 - 4) / 2 = 47 wide, rows 45 / 4 =
  // 11 high, one pixel of left margin, none at the top.
  auto* seven = new TRC_RadioSwitcher(&window, {.Items = {"1", "2", "3", "4", "5", "6", "7"}, .Columns = 2});
  for (const auto& [button, place] : std::vector<std::pair<int, QRect>>{
           {0, {3, 18, 47, 11}}, {3, {3, 51, 47, 11}}, {4, {50, 18, 47, 11}}, {6, {50, 40, 47, 11}}})
    EXPECT_EQ(seven->Button(button)->geometry(), place) << button;

  seven->SetItemIndex(9);
  EXPECT_EQ(seven->ItemIndex(), 6);
  seven->SetItemIndex(-7);
  EXPECT_EQ(seven->ItemIndex(), -1);
  for (int i = 0; i < 7; ++i) EXPECT_FALSE(seven->Button(i)->isChecked());

  // The mask reaches the first 32 of 40 buttons; the rest follow the switcher alone. A
  // switcher without buttons takes a mask too.
  QStringList forty;
  for (int i = 0; i < 40; ++i) forty << QString::number(i);
  auto* many = new TRC_CheckSwitcher(&window, {.Items = forty});
  many->SetDisabledMask(0xFFFFFFFF);
  EXPECT_FALSE(many->Button(31)->isEnabled());
  EXPECT_TRUE(many->Button(32)->isEnabled());
  EXPECT_EQ(many->TabButton(), 32);  // the first enabled button carries the tab stop
  many->setEnabled(false);
  EXPECT_FALSE(many->Button(39)->isEnabled());
  auto* empty = new TRC_CheckSwitcher(&window);
  empty->SetDisabledMask(0xFFFFFFFF);
  EXPECT_EQ(empty->ButtonCount(), 0);

  // Own help numbers per button, and captions without their markers.
  auto* separate = new TRC_RadioSwitcher(
      &window, {.Items = {"A", "~B", "C", "_250_D", "*E"}, .HelpContext = 100, .HelpSeparate = true});
  std::vector<std::pair<int, QString>> help;
  for (int i = 0; i < separate->ButtonCount(); ++i)
    help.emplace_back(dynamic_cast<TMyRadioButton*>(separate->Button(i))->HelpContext,
                      separate->Button(i)->text());
  EXPECT_EQ(help, (std::vector<std::pair<int, QString>>{
                      {101, "A"}, {101, "B"}, {102, "C"}, {250, "D"}, {252, "E"}}));

  // Wrong item counts and wrong handler classes are design errors with fixed texts.
  RootSpider->AddRadioSw(0, "Acq:Mode", "A,B,C,D");
  RootSpider->AddCheckSw(0, "Acq:Flags", "A,B");
  RootSpider->AddOnOff(false, "Acq:Run");
  struct Case {
    TRC_Switcher* switcher;
    const char* failure;
    int beeps;
  };
  for (const Case& c : {
           Case{new TRC_RadioSwitcher(&window, {.Mnemonics = "Acq:Mode", .Items = {"A", "B", "C"}}),
                "Incorrect Number of Buttons in Acq:Mode\r\rHandler: 4 btns; Switcher: 3 btns", 0},
           {new TRC_CheckSwitcher(&window, {.Mnemonics = "Acq:Flags", .Items = {"A"}}),
            "Incorrect Number of Buttons in Acq:Flags\r\rHandler: 2 btns; Switcher: 1 btns", 0},
           {new TRC_ListBoxSwitcher(&window, {.Mnemonics = "Acq:Mode", .Items = {"A", "B", "C"}}),
            "Incorrect Number of Items in Acq:Mode\r\rHandler: 4 itms; Switcher: 3 itms", 1},
           {new TRC_RadioSwitcher(&window, {.Mnemonics = "Acq:Run", .Items = {"On", "Off"}}),
            "Handler not TRadioSwHandler", 0},
           {new TRC_CheckSwitcher(&window, {.Mnemonics = "Acq:Mode", .Items = {"A", "B", "C", "D"}}),
            "Handler not TCheckSwHandler", 0},
       }) {
    beeps = 0;
    EXPECT_EQ(AssertionText([&] { c.switcher->RegisterInHandler(true); }), c.failure);
    EXPECT_EQ(beeps, c.beeps) << c.failure;
  }
}

TEST_F(ButtonSwitchersTest, CommandButtonsLatchReleaseAndRunOnlyWhenReleasedOnThem) {
  bool running = false, single = false;
  std::vector<std::string> actions;
  auto log = [&](const char* name) { return [&actions, name](THandler&) { actions.push_back(name); }; };
  RootSpider->AddMainCommand("*Run", &running, "", "", log("run"));
  RootSpider->AddMainCommand("*Single", &single, "Off,On", "", log("single"));
  RootSpider->AddMainCommand("*Clear", nullptr, "", "", log("clear"));
  auto* panel = new TRC_RightMenuPanel(&window, "*");
  auto& run = panel->Add<TRC_MainCommandSwitcher>({.Mnemonics = "Run", .Caption = "Run"});
  auto& once = panel->Add<TRC_MainCommandSwitcher>({.Mnemonics = "Single", .Caption = "Single"});
  auto& clear = panel->Add<TRC_MainCommandSwitcher>({.Mnemonics = "Clear", .Caption = "Clear"});
  panel->RegisterSwitchers();
  panel->show();
  window.ShowActive();
  const QPoint inside(25, 10), outside(60, 10);

  const QColor upFace = PixelOf(&run, 6, 10);
  Click(&run, inside);
  Click(&run, inside);  // without an on/off pair a latched command stays down
  EXPECT_TRUE(running);
  EXPECT_EQ(run.ButtonState(0), cbsLatched);
  EXPECT_LT(PixelOf(&run, 6, 10).lightness(), upFace.lightness());  // drawn sunken

  Click(&once, inside);
  Click(&once, inside);  // with the pair the second click releases and sends Off
  EXPECT_FALSE(single);
  EXPECT_EQ(once.ButtonState(0), cbsUp);

  MousePress(&clear, inside);
  EXPECT_EQ(clear.ButtonState(0), cbsPressed);
  MouseMove(&clear, outside);
  EXPECT_EQ(clear.ButtonState(0), cbsUp);
  MouseRelease(&clear, outside);  // released off the button: nothing runs
  clear.setFocus();
  KeyDown(&clear, Qt::Key_Space, " ");
  EXPECT_EQ(clear.ButtonState(0), cbsPressed);
  KeyUp(&clear, Qt::Key_Space, " ");
  EXPECT_EQ(actions, (std::vector<std::string>{"run", "single", "single", "clear"}));

  // A side-menu command is down while its action runs; unbound, a press is a design error
  // that reaches the program's failure handler instead of the event loop.
  auto* side = new TRC_RightMenuPanel(&window, "Acq");
  auto& autoset = side->Add<TRC_RightCommandSwitcher>({.Mnemonics = "Autoset", .Caption = "Autoset"});
  auto& passive = side->Add<TRC_RightPassiveCommandSwitcher>({.Caption = "Set Color"});
  std::vector<TCommandButtonState> seen;
  RootSpider->AddRightCommand("Acq:Autoset", [&](THandler&) { seen.push_back(autoset.ButtonState(0)); });
  auto& loose = side->Add<TRC_RightCommandSwitcher>({.Mnemonics = "Nowhere"});
  side->RegisterSwitchers();
  side->show();
  int passivePresses = 0;
  passive.OnUpdateMe = [&](TRC_Switcher&) { ++passivePresses; };
  Exec("ACQ:AUTOSET");
  Click(&autoset, autoset.ButtonRect(0).center());
  Click(&passive, passive.ButtonRect(0).center());
  Click(&loose, loose.ButtonRect(0).center());
  EXPECT_EQ(seen, (std::vector<TCommandButtonState>{cbsLatched, cbsUp}));
  EXPECT_EQ(autoset.ButtonState(0), cbsUp);
  EXPECT_EQ(passivePresses, 1);
  EXPECT_EQ(failures, (std::vector<std::string>{"HANDLER UNDEFINED"}));
}

TEST_F(ButtonSwitchersTest, TheMainCommandsMenuFollowsItsHandlerAndTheLanguage) {
  std::vector<int> chosen;
  auto* fit = RootSpider->AddMainCommand(
      "*Fit", nullptr, "", "Multi,Single",
      [&](THandler& h) { chosen.push_back(static_cast<TMainCommandHandler&>(h).GetCurrentItem()); }, 0);
  auto* menu = new TRC_MainCommandSwitcher(
      &window, {.Mnemonics = "*Fit", .Caption = "Fit", .Items = {"Multi", "~Delimiter", "Single"}});
  menu->RegisterInHandler(true);
  ASSERT_NE(menu->PopupMenu(), nullptr);
  auto texts = [&] {
    QStringList result;
    for (QAction* action : menu->PopupMenu()->actions())
      result << (action->isSeparator() ? "-" : action->text() + (action->isChecked() ? "*" : ""));
    return result;
  };
  EXPECT_EQ(texts(), (QStringList{"Multi*", "-", "Single"}));
  menu->PopupMenu()->findChild<QAction*>("Item1")->trigger();
  EXPECT_EQ(fit->GetDefaultItem(), 1);
  EXPECT_EQ(texts(), (QStringList{"Multi", "-", "Single*"}));
  Exec("*FIT MULTI");
  EXPECT_EQ(texts(), (QStringList{"Multi*", "-", "Single"}));
  EXPECT_EQ(chosen, (std::vector<int>{1, 0}));

  // A language switch gives the switcher new lines; the menu shows them.
  menu->SetMenuItems({"Mehrfach", "~Delimiter", "Einzeln"});
  EXPECT_EQ(texts(), (QStringList{"Mehrfach*", "-", "Einzeln"}));
  EXPECT_EQ(AssertionText([&] { menu->SetMenuItems({"Mehrfach"}); }), "Incorrent Number of Menu Items");
}

}  // namespace
}  // namespace norv::test
