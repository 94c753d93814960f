#include "service/ui/oe_page.h"

#include "controls/menu_pages.h"
#include "service/ui/oe_calibration_dialog.h"

namespace norv {

namespace {

enum TOEPanel { opMain = 1, opDarkLevel = 2, opWavelengthGain = 3 };

TSwitcherDecl Button(const char* name, const char* caption) {
  return Sw<TRC_RightPassiveCommandSwitcher>({.Caption = caption, .Items = {caption}, .Name = name});
}
TSwitcherDecl Command(const char* name, const char* mnemonics, const char* caption) {
  return Sw<TRC_RightCommandSwitcher>(
      {.Mnemonics = mnemonics, .Caption = caption, .Items = {caption}, .Name = name});
}
TSwitcherDecl Edit(const char* name, const char* mnemonics, const char* caption) {
  return Sw<TRC_EditSwitcher>({.Mnemonics = mnemonics, .Caption = caption, .Name = name});
}

TMenuDecl OEMenu() {
  return {
      .Name = "TOEConv_Form",
      .Caption = "O/E Converter",
      .Pages = {{.Number = opMain,
                 .Panels = {{.Name = "rmpOEConvMain",
                             .Group = "OEConv",
                             .Caption = " O/E Converter ",
                             .Switchers = {Sw<TRC_RadioSwitcher>({.Mnemonics = "Dest",
                                                                  .Caption = "Destination",
                                                                  .Items = {"O/E Converter", "Ch1", "Ch2"},
                                                                  .Name = "rswDest"}),
                                           Sw<TRC_RadioSwitcher>({.Mnemonics = "WaveLen",
                                                                  .Caption = "WaveLength",
                                                                  .Height = 72,
                                                                  .Items = {"WaveLength 1", "WaveLength 2",
                                                                            "WaveLength 3", "User Defined"},
                                                                  .Name = "rswWaveLen"}),
                                           Sw<TRC_RadioSwitcher>({.Mnemonics = "UserWaveLen",
                                                                  .Caption = "User Wavelength",
                                                                  .Height = 143,  // a text row per point
                                                                  .Items = {"WL1", "WL2", "WL3", "WL4", "WL5",
                                                                            "WL6", "WL7", "WL8"},
                                                                  .Name = "rswUserWaveLen"}),
                                           Button("pcswDarkLevel", "Dark Level..."),
                                           Button("pcswWavelengthGain", "Gain..."),
                                           Sw<TRC_LabelSwitcher>({.Mnemonics = ":Flash:OE:ConversionGain",
                                                                  .Caption = "Conversion Gain",
                                                                  .Name = "lswConversionGain"})}}}},
                {.Number = opDarkLevel,
                 .Panels = {{.Name = "rmpDarkLevel",
                             .Group = "Flash:OECalibr",
                             .Caption = " Dark Level ",
                             .Switchers = {Edit("edswDarkLvl", "DarkLvl", "COMPENSATION"),
                                           Command("rcswAutoDarkLvl", "AutoDarkLvl", "Proceed"),
                                           Command("rcswStore", ":Flash:Calibr:StoreAll", "Store Constant"),
                                           Command("rcswRecallLast", ":Flash:Calibr:RecallAll",
                                                   "Recall Last"),
                                           Command("rcswRecallFactory", ":Flash:Adjust:RecallAll",
                                                   "Recall Factory"),
                                           Button("btnBackFromDark", "Back")}}}},
                {.Number = opWavelengthGain,
                 .Panels = {{.Name = "rmpWavelengthGain",
                             .Group = "Flash:OECalibr",
                             .Caption = " Wavelength Gain ",
                             .Switchers = {Sw<TRC_RadioSwitcher>(
                                               {.Mnemonics = "PointNum",
                                                .Caption = "User Point",
                                                .Height = 143,
                                                .Items = {"1", "2", "3", "4", "5", "6", "7", "8"},
                                                .Name = "rswPointNum"}),
                                           Edit("edswPower", "Power", "POWER"),
                                           Command("rcswAutoCalGain", "AutoCalGain", "Proceed"),
                                           Button("btnBackFromGain", "Back")}}}}},
      .OwnPageTurns = true};
}

class TOEMenu final : public TDeclaredSideMenu {
 public:
  explicit TOEMenu(QWidget* owner) : TDeclaredSideMenu(owner, OEMenu()) {
    const auto turn = [this](const char* name, int page) {
      Control<TRC_RightPassiveCommandSwitcher>(name).OnUpdateMe = [this, page](TRC_Switcher&) {
        ShowPage(page);
      };
    };
    turn("pcswDarkLevel", opDarkLevel);
    turn("pcswWavelengthGain", opWavelengthGain);
    turn("btnBackFromDark", opMain);
    turn("btnBackFromGain", opMain);
  }

  void ShowPage(int page) override {
    TDeclaredSideMenu::ShowPage(page >= opMain && page <= opWavelengthGain ? page : opMain);
  }
};

}  // namespace

void RegisterOEPage() {
  RegisterSideMenuFactory(kOEMenuId, [](QWidget* owner, int) { return new TOEMenu(owner); });
  InstallOECalibrationWindow();
}

}  // namespace norv
