#include "analysis/ui/eye_page.h"

#include <utility>

#include "analysis/eye_engine.h"
#include "analysis/eye_settings.h"
#include "controls/menu_pages.h"
#include "controls/side_menu.h"
#include "framework/language/language.h"
#include "framework/settings/choice_handlers.h"
#include "framework/settings/settings_tree.h"

namespace norv {

namespace {

enum TEyePage : int { epMain = 1, epXNrz, epXRz, epYNrz, epYRz, epStatistic, epDefine };

TSwitcherDecl Back(const char* name) { return WideButton(name, "Back"); }

// A parameter list: its English texts, one row each.
TSwitcherDecl Checks(const char* name, const char* mnemonics, const char* caption, uint8_t group,
                     uint8_t axis) {
  const int count = EyeParamList(group, axis).Count;
  QStringList items;
  for (int i = 0; i < count; ++i)
    items << QString::fromUtf8(EyeParamText(group, axis, static_cast<uint8_t>(i)).English);
  return RowList<TRC_CheckSwitcher>(name, mnemonics, caption, std::move(items));
}

TPageDecl Page(int number, const char* panel, const char* caption, std::vector<TSwitcherDecl> switchers) {
  return {.Number = number,
          .Panels = {{.Name = panel,
                      .Group = "Eye",
                      .Caption = caption,
                      .Switchers = std::move(switchers),
                      .HelpContext = 490}}};
}

TMenuDecl EyeMenu() {
  return {
      .Name = "Eye_Form",
      .Caption = "Eye Diagram",
      .Pages =
          {
              Page(epMain, "rmpEyeMain", "Eye Diagram",
                   {NodeRadio("rswMeasure", "Measure", "Measure", {"Off", "NRZ", "RZ"}),
                    WideButton("pcswXEyeParameters", "X Eye Parameters..."),
                    WideButton("pcswYEyeParameters", "Y Eye Parameters..."),
                    WideButton("pcswStatistics", "Statistics..."),
                    WideButton("pcswDefineParameters", "Define Parameters..."),
                    Sw<TRC_OnOffSwitch>({.Mnemonics = "DispaylWind",
                                         .Caption = "View Define Param",
                                         .Name = "ooswDisplayWindow"}),
                    Sw<TRC_SignalSourceSwitcher>(
                        {.Mnemonics = "Source", .Caption = "Source", .Name = "ssswSource"})}),
              Page(epXNrz, "rmpXNRZ", "X NRZ Eye Parameters",
                   {Back("EyeBack2"), Checks("chswXNRZ", "XNRZParam", "X NRZ Eye Parameters", egNRZ, eaX)}),
              Page(epXRz, "rmpXRZ", "X RZ Eye Parameters",
                   {Back("EyeBack3"), Checks("chswXRZ", "XRZParam", "X RZ Eye Parameters", egRZ, eaX)}),
              Page(epYNrz, "rmpYNRZ", "Y NRZ Eye Parameters",
                   {Back("EyeBack4"), Checks("chswYNRZ", "YNRZParam", "Y NRZ Eye Parameters", egNRZ, eaY)}),
              Page(epYRz, "rmpYRZ", "Y RZ Eye Parameters",
                   {Back("EyeBack5"), Checks("chswYRZ", "YRZParam", "Y RZ Eye Parameters", egRZ, eaY)}),
              Page(epStatistic, "rmpStatistic", "Statistics",
                   {Back("EyeBack6"),
                    NodeRadio("rswMode", "Mode", "Mode", {"Normal", "Window", "Exponential"}),
                    NodeEdit("edswParametr", "Window", "WAVEFORMS", 493),
                    NodeEdit("edswWfmsInCycle", "WfmsInCycle", "WFMS IN CYCLE"),
                    Sw<TRC_OnOffSwitch>(
                        {.Mnemonics = "Statistic", .Caption = "Statistics", .Name = "ooswStatisrticOnOff"})}),
              Page(epDefine, "rmpDefineParams", "Eye Define Parameters",
                   {Back("EyeBack7"), NodeEdit("edswBound1", "LeftBound", "EYE BOUNDARY 1"),
                    NodeEdit("edswBound2", "RightBound", "EYE BOUNDARY 2"),
                    NodeEdit("edswUpperTresh", "UpTresh", "UPPER THRESHOLD"),
                    NodeEdit("edswLowerTresh", "LowTresh", "LOWER THRESHOLD"),
                    NodeRadio("rswThresholds", "TreshMode", "Thresholds",
                              {"10%-90%", "20%-80%", "User Defined"})}),
          },
      .OwnPageTurns = true};
}

bool Rz() { return GetIndex(EyeSettings().Measure) == egRZ; }

void WireEyeMenu(TDeclaredSideMenu& menu, int) {
  for (auto* button : menu.findChildren<TRC_RightPassiveCommandSwitcher*>()) button->SetNoFrame(true);
  const auto turn = [&menu](const char* name, auto page) {
    menu.Control<TRC_RightPassiveCommandSwitcher>(name).OnUpdateMe = [&menu, page](TRC_Switcher&) {
      menu.ShowPage(page());
    };
  };
  turn("pcswXEyeParameters", [] { return Rz() ? epXRz : epXNrz; });
  turn("pcswYEyeParameters", [] { return Rz() ? epYRz : epYNrz; });
  turn("pcswStatistics", [] { return epStatistic; });
  turn("pcswDefineParameters", [] { return epDefine; });
  for (const char* back : {"EyeBack2", "EyeBack3", "EyeBack4", "EyeBack5", "EyeBack6", "EyeBack7"})
    turn(back, [] { return epMain; });
  menu.Control<TRC_RadioSwitcher>("rswMeasure").OnUpdateMe = [&menu](TRC_Switcher&) {
    const bool on = GetIndex(EyeSettings().Measure) != 0;
    for (const char* button : {"pcswXEyeParameters", "pcswYEyeParameters"})
      menu.Control<TRC_RightPassiveCommandSwitcher>(button).setEnabled(on);
  };
  // The statistics edit takes the window or the weight by the mode.
  menu.Control<TRC_RadioSwitcher>("rswMode").OnUpdateMe = [&menu](TRC_Switcher&) {
    const bool weight = GetIndex(EyeSettings().Mode) == 2;
    auto& edit = menu.Control<TRC_EditSwitcher>("edswParametr");
    edit.SetMnemonics(weight ? "Weight" : "Window");
    edit.SetCaption(QString::fromStdString(GetLangStr(weight ? "UpWEIGHT" : "UpWAVEFORMS")));
  };
}

}  // namespace

void RegisterEyePage() {
  RegisterSideMenu(kEyeMenuId, EyeMenu(), WireEyeMenu);
  EyePageHooks.PageToFirst.Set([] { ResetSideMenuPage(kEyeMenuId); });
}

}  // namespace norv
