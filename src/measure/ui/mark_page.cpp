#include "measure/ui/mark_page.h"

#include "controls/menu_pages.h"
#include "measure/markers/markers.h"

namespace norv {

namespace {

TMenuDecl MarkMenu() {
  return {
      .Name = "Mark_Form",
      .Caption = "Marker",
      .Pages = {
          {.Number = 1,
           .Panels = {
               {.Name = "rmpMarker",
                .Group = "Mark",
                .Caption = "Marker",
                .Switchers = {Sw<TRC_RadioSwitcher>({.Mnemonics = "Type",
                                                     .Caption = "Type",
                                                     .Height = 76,  // four rows
                                                     .Items = {"Off", "X", "Y", "XY"},
                                                     .Name = "rswType"}),
                              Sw<TRC_EditSwitcher>({.Caption = "M1 POSITION", .Name = "edswM1Position"}),
                              Sw<TRC_EditSwitcher>({.Caption = "M2 POSITION", .Name = "edswM2Position"}),
                              Sw<TRC_RadioSwitcher>({.Mnemonics = "Motion",
                                                     .Caption = "Motion",
                                                     .Items = {"Independent", "Paired"},
                                                     .Name = "rswMotion"}),
                              Sw<TRC_OnOffSwitch>(
                                  {.Mnemonics = "Refer", .Caption = "Reference", .Name = "ooswReference"}),
                              Sw<TRC_RightCommandSwitcher>({.Mnemonics = "SetRef",
                                                            .Caption = "Reference",
                                                            .Items = {"Set Reference"},
                                                            .Name = "rcswSetRefer"}),
                              Sw<TRC_SignalSourceSwitcher>(
                                  {.Mnemonics = "M1:Source", .Caption = "M1 Source", .Name = "ssswM1Source"}),
                              Sw<TRC_SignalSourceSwitcher>({.Mnemonics = "M2:Source",
                                                            .Caption = "M2 Source",
                                                            .Name = "ssswM2Source"})},
                .HelpContext = 800}}}}};
}

void WireMarkMenu(TDeclaredSideMenu& menu, int) {
  // Its text needs the whole width.
  menu.Control<TRC_RightCommandSwitcher>("rcswSetRefer").SetNoFrame(true);
  // The positions are times, or levels for type Y.
  menu.Control<TRC_RadioSwitcher>("rswType").OnUpdateMe = [&menu](TRC_Switcher&) {
    menu.Control<TRC_EditSwitcher>("edswM1Position").SetMnemonics(MarkPositionMnemonics(1));
    menu.Control<TRC_EditSwitcher>("edswM2Position").SetMnemonics(MarkPositionMnemonics(2));
  };
}

}  // namespace

void RegisterMarkPage() {
  // Showing the menu opens its first page.
  RegisterSideMenu(kMarkMenuId, MarkMenu(), WireMarkMenu);
}

}  // namespace norv
