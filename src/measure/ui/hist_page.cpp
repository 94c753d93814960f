#include "measure/ui/hist_page.h"

#include "controls/menu_pages.h"
#include "framework/settings/choice_handlers.h"
#include "framework/settings/settings_tree.h"
#include "measure/hist/hist_settings.h"

namespace norv {

namespace {

enum THistPage { hpMain = 1, hpWindow = 2, hpScale = 3, hpMode = 4 };
// The first page's panel is as tall as the page.
constexpr int kMainPanelHeight = kPagePanelHeight;

void ShowPageOnClick(TDeclaredSideMenu& menu, const char* button, int page) {
  menu.Control<TRC_RightPassiveCommandSwitcher>(button).OnUpdateMe = [&menu, page](TRC_Switcher&) {
    menu.ShowPage(page);
  };
}

TSwitcherDecl Back(const char* name) {
  return Sw<TRC_RightPassiveCommandSwitcher>({.Caption = "Back", .Items = {"Back"}, .Name = name});
}
TSwitcherDecl Edit(const char* name, const char* caption, const char* mnemonics = "") {
  return Sw<TRC_EditSwitcher>({.Mnemonics = mnemonics, .Caption = caption, .Name = name});
}

TMenuDecl HistMenu() {
  return {
      .Name = "Hist_Form",
      .Caption = "Histogram",
      .Pages = {
          {.Number = hpMain,
           .Panels = {{.Name = "rmpMainHist",
                       .Group = "Hist",
                       .Caption = "Histogram",
                       .Switchers =
                           {Sw<TRC_RadioSwitcher>({.Mnemonics = "Axis",
                                                   .Caption = "Axis",
                                                   .Items = {"Off", "Vertical", "Horizontal"},
                                                   .Name = "rswAxis"}),
                            Sw<TRC_OnOffSwitch>({.Mnemonics = "Visible", .Caption = "Histogram", .Name = "ooswVisible"}),
                            Sw<TRC_RightPassiveCommandSwitcher>(
                                {.Caption = "Mode", .Items = {"Mode..."}, .Name = "pcswMode"}),
                            Sw<TRC_RightPassiveCommandSwitcher>(
                                {.Caption = "Window", .Items = {"Window..."}, .Name = "pcswWindow"}),
                            Sw<TRC_RightPassiveCommandSwitcher>(
                                {.Caption = "Scale", .Items = {"Scale..."}, .Name = "pcswScale"}),
                            Sw<TRC_RadioSwitcher>({.Mnemonics = "RunUntil",
                                                   .Caption = "Run Until",
                                                   .Items = {"Stop / Single", "Waveforms", "Samples"},
                                                   .Name = "rswRunUntil"}),
                            Edit("edswNofWfm", "# OF WAVEFORMS", "NWfm"),
                            Sw<TRC_SignalSourceSwitcher>(
                                {.Mnemonics = "Source", .Caption = "Source", .Name = "ssswHistSource"}),
                            // Placed over the count of waveforms once the page is made.
                            Sw<TRC_EditSwitcher>({.Mnemonics = "NSample",
                                                  .Caption = "# OF SAMPLES",
                                                  .Top = 0,
                                                  .Name = "edswNofSampl"})},
                       .Height = kMainPanelHeight,
                       .HelpContext = 600}}},
          {.Number = hpWindow,
           .Panels = {{.Name = "rmpWindow",
                       .Group = "Hist",
                       .Caption = "Window",
                       .Switchers = {Back("HistBack"),
                                     Sw<TRC_RadioSwitcher>({.Mnemonics = "Limits",
                                                            .Caption = "Limits",
                                                            .Items = {"Paired", "Independent"},
                                                            .Name = "rswLimits"}),
                                     Edit("edswLeftLimit", "LEFT LIMIT"), Edit("edswTopLimit", "TOP LIMIT"),
                                     Edit("edswRightLimit", "RIGHT LIMIT"), Edit("edswBottomLimit", "BOTTOM LIMIT"),
                                     Sw<TRC_RadioSwitcher>({.Mnemonics = "Units",
                                                            .Caption = "Units",
                                                            .Items = {"Absolute", "Percent"},
                                                            .Name = "rswUnits"}),
                                     Sw<TRC_OnOffSwitch>(
                                         {.Mnemonics = "Display", .Caption = "Display", .Name = "ooswDisplay"})},
                       .HelpContext = 600}}},
          {.Number = hpScale,
           .Panels = {{.Name = "rmpScale",
                       .Group = "Hist",
                       .Caption = "Scale",
                       .Switchers = {Back("HistBack2"),
                                     Sw<TRC_RadioSwitcher>({.Mnemonics = "ScaleType",
                                                            .Caption = "Scale Type",
                                                            .Items = {"Linear", "Logarithmic"},
                                                            .Name = "rswScaleType"}),
                                     Sw<TRC_RadioSwitcher>({.Mnemonics = "ScaleMode",
                                                            .Caption = "Scale Mode",
                                                            .Items = {"Auto", "Manual"},
                                                            .Name = "rswScaleMode"}),
                                     Edit("edswScale", "SCALE"), Edit("edswOffset", "OFFSET")},
                       .HelpContext = 600}}},
          {.Number = hpMode,
           .Panels = {{.Name = "rmpMode",
                       .Group = "Hist",
                       .Caption = "Mode",
                       .Switchers = {Back("Button4"),
                                     Sw<TRC_RadioSwitcher>({.Mnemonics = "Mode",
                                                            .Caption = "Mode",
                                                            .Items = {"Normal", "Exponential"},
                                                            .Name = "rswMode"}),
                                     Edit("edswWeight", "WEIGHT", "Weight")},
                       .HelpContext = 600}}},
      },
      // Its own buttons turn the pages.
      .OwnPageTurns = true};
}

bool Horizontal() { return GetIndex(HistSettings().Axis) == static_cast<uint8_t>(THistAxis::Horiz); }

// The scale edits follow the axis and the scale type ("VertDBScale" and the like).
void BindScaleEdits(TDeclaredSideMenu& menu) {
  const bool log = GetIndex(HistSettings().ScaleType) == 1;
  const std::string axis = Horizontal() ? "Hor" : "Vert";
  menu.Control<TRC_EditSwitcher>("edswScale").SetMnemonics(axis + (log ? "DBScale" : "Scale"));
  menu.Control<TRC_EditSwitcher>("edswOffset").SetMnemonics(axis + (log ? "DBOffs" : "Offset"));
}

void WireHistMenu(TDeclaredSideMenu& menu, int) {
  ShowPageOnClick(menu, "pcswMode", hpMode);
  ShowPageOnClick(menu, "pcswWindow", hpWindow);
  ShowPageOnClick(menu, "pcswScale", hpScale);
  for (const char* back : {"HistBack", "HistBack2", "Button4"}) ShowPageOnClick(menu, back, hpMain);
  // The two counts share one place; only the one the run-until choice needs shows.
  auto& waveforms = menu.Control<TRC_EditSwitcher>("edswNofWfm");
  auto& samples = menu.Control<TRC_EditSwitcher>("edswNofSampl");
  samples.setGeometry(waveforms.geometry());
  menu.Control<TRC_RadioSwitcher>("rswRunUntil").OnUpdateMe = [&waveforms, &samples](TRC_Switcher&) {
    const bool bySamples = GetIndex(HistSettings().RunUntil) == 2;
    samples.setVisible(bySamples);
    waveforms.setVisible(!bySamples);
  };
  menu.Control<TRC_RadioSwitcher>("rswAxis").OnUpdateMe = [&menu](TRC_Switcher&) {
    const std::string prefix = Horizontal() ? "WHor:" : "WVert:";
    for (const auto& [name, edge] :
         {std::pair{"edswLeftLimit", "Left"}, std::pair{"edswRightLimit", "Right"},
          std::pair{"edswTopLimit", "Top"}, std::pair{"edswBottomLimit", "Bottom"}})
      menu.Control<TRC_EditSwitcher>(name).SetMnemonics(prefix + edge);
    const bool on = HistAxisOn();
    for (const char* button : {"pcswMode", "pcswWindow", "pcswScale"})
      menu.Control<TRC_RightPassiveCommandSwitcher>(button).setEnabled(on);
    BindScaleEdits(menu);
  };
  menu.Control<TRC_RadioSwitcher>("rswScaleType").OnUpdateMe = [&menu](TRC_Switcher&) {
    BindScaleEdits(menu);
  };
}

}  // namespace

void RegisterHistPage() { RegisterSideMenu(kHistMenuId, HistMenu(), WireHistMenu); }

}  // namespace norv
