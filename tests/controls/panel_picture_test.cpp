// One panel with a switcher of every kind, bound and shown as a page shows them. Set
// NORV_PNG_DIR to a folder to get the picture (controls_panel.png) to look at.

#include <gtest/gtest.h>

#include <QFontMetrics>

#include "controls/choice_switchers.h"
#include "controls/command_switchers.h"
#include "controls/edit_switchers.h"
#include "controls/list_switchers.h"
#include "controls_fixture.h"

namespace norv::test {
namespace {

class PanelPictureTest : public ControlsTest {};

TEST_F(PanelPictureTest, EveryKindFitsItsPlaceAndCaption) {
  bool running = true;
  RootSpider->AddRadioSw(1, "Acq:Mode", "Sample,Average,Envelope");
  RootSpider->AddOnOff(true, "Acq:Persist");
  RootSpider->AddCheckSw(0b101, "Acq:Action", "Beep,Save,Stop");
  RootSpider->AddOnOff(false, "Acq:Sound");
  RootSpider->AddMainCommand("Acq:Run", &running, "", "", {});
  RootSpider->AddRightCommand("Acq:Autoset", {});
  RootSpider->AddIntEdit({.Path = "Acq:Points", .Value = 512, .Min = 32, .Max = 4096});
  RootSpider->AddDoubleEdit({.Path = "Acq:Delay", .Value = 2.5e-8, .Unit = "s", .Max = 1});
  RootSpider->AddRadioSw(0, "Acq:FitTo", "Multi,Single");
  std::array<std::string, kSourceNameCount> names{"Ch1", "Ch1B2", "Ch2", "Ch2B2", "F1",   "F2",
                                                  "F3",  "F4",    "M1",  "M2",    "M3",   "M4",
                                                  "S1",  "S2",    "XY",  "DB",    "Hist", "Const"};
  InstallSourceNames(
      names, [](int) { return 0x00FFFFu; }, 0);
  RootSpider->AddSignalSourceSw(2, "Acq:Source",
                                "Ch1,Ch1B2,Ch2,Ch2B2,F1,F2,F3,F4,M1,M2,M3,M4,S1,S2,XY,DB,Hist,Const,None", 0);

  auto* panel = new TRC_RightMenuPanel(&window, "Acq", "Acquisition");
  panel->setGeometry(10, 10, 111, 560);
  panel->Add<TRC_RadioSwitcher>(
      {.Mnemonics = "Mode", .Caption = "Mode", .Items = {"Sample", "Average", "Envelope"}});
  panel->Add<TRC_OnOffSwitch>({.Mnemonics = "Persist", .Caption = "Persistence"});
  panel->Add<TRC_CheckSwitcher>(
      {.Mnemonics = "Action", .Caption = "On Stop", .Items = {"Beep", "Save", "Stop"}});
  panel->Add<TRC_OnOffCheckSwitcher>({.Mnemonics = "Sound"});
  panel->Add<TRC_MainCommandSwitcher>({.Mnemonics = "Run", .Caption = "Run"});
  panel->Add<TRC_RightCommandSwitcher>({.Mnemonics = "Autoset", .Caption = "Autoset", .Items = {"Start"}});
  panel->Add<TRC_RightPassiveCommandSwitcher>({.Caption = "Colour", .Items = {"Set", "Reset"}});
  panel->Add<TRC_LabelSwitcher>({.Mnemonics = "Points", .Caption = "Record Length"});
  auto& delay = panel->Add<TRC_EditSwitcher>({.Mnemonics = "Delay", .Caption = "Delay"});
  panel->Add<TRC_ListBoxSwitcher>({.Mnemonics = "FitTo", .Caption = "Fit to", .Items = {"Multi", "Single"}});
  panel->Add<TRC_SignalSourceSwitcher>({.Mnemonics = "Source", .Caption = "Source"});
  panel->RegisterSwitchers();
  panel->show();
  window.ShowActive();
  delay.setFocus();

  const QFontMetrics metrics(ProgramFont());
  for (TRC_Switcher* s : panel->Switchers()) {
    EXPECT_TRUE(panel->rect().contains(s->geometry())) << s->Caption().toStdString();
    EXPECT_NE(s->GetHandler() != nullptr, s->Mnemonics() == kNoneHandler) << s->Caption().toStdString();
    if (s->WithHot() && !s->NoFrame()) {
      EXPECT_LE(metrics.horizontalAdvance(s->Caption()), s->width() - 8) << s->Caption().toStdString();
    }
  }
  EXPECT_EQ(delay.ValueText(), "25 ns");
  MaybeWritePng(Grab(panel), "controls_panel");
}

}  // namespace
}  // namespace norv::test
