#include "framework/language/language.h"
#include "framework/settings/choice_handlers.h"
#include "framework/text/dot_number.h"
#include "instrument/settings/channel_settings.h"
#include "instrument/ui/instrument_pages.h"
#include "instrument/ui/page_sizes.h"

namespace norv {

namespace {

namespace size = page_sizes;

const TMenuDecl& ChannelMenu() {
  static const TMenuDecl decl{
      .Name = "Usil_Form",
      .Pages = {
          {.Number = 1,
           .Panels = {{.Name = "rmpChannelsMain",
                       .Group = "CH1",
                       .Caption = "Channel 1",
                       .Switchers = {Sw<TRC_RadioSwitcher>({.Mnemonics = ":SHADOW:MenuSelectR",
                                                            .Caption = "Select",
                                                            .Height = size::Radio(1),
                                                            .Items = {"Ch1", "Ch2"},
                                                            .Columns = 2,
                                                            .HelpContext = 201,
                                                            .Name = "rswChannelSelect"}),
                                     Sw<TRC_OnOffSwitch>({.Mnemonics = "Display",
                                                          .Caption = "Display",
                                                          .HelpContext = 202,
                                                          .Name = "ooswChannelsDisplay"}),
                                     Sw<TRC_OnOffSwitch>({.Mnemonics = "Acquire",
                                                          .Caption = "Acquire",
                                                          .HelpContext = 203,
                                                          .Name = "ooswChannelsAcquire"}),
                                     Sw<TRC_EditSwitcher>({.Mnemonics = "Scale",
                                                           .Caption = "SCALE",
                                                           .Height = size::Edit,
                                                           .HelpContext = 204,
                                                           .Name = "edswChannelsScale"}),
                                     Sw<TRC_EditSwitcher>({.Mnemonics = "Offset",
                                                           .Caption = "OFFSET",
                                                           .Height = size::Edit,
                                                           .HelpContext = 205,
                                                           .Name = "edswChannelsOffset"}),
                                     Sw<TRC_RadioSwitcher>({.Mnemonics = "Band",
                                                            .Caption = "Bandwidth",
                                                            .Height = size::Radio(1),
                                                            .Items = {"Full", "Narrow"},
                                                            .Columns = 2,
                                                            .HelpContext = 206,
                                                            .Name = "rswChannelsBandwith"}),
                                     Sw<TRC_EditSwitcher>({.Mnemonics = "Deskew",
                                                           .Caption = "DESKEW (Alt Acq)",
                                                           .Height = size::Edit,
                                                           .HelpContext = 207,
                                                           .Name = "edswChannelsDeskew"})},
                       .HelpContext = 209}}},
          {.Number = 2,
           .Panels = {{.Name = "rmpChannelsContinue",
                       .Group = "CH1",
                       .Caption = "Channel 1 (cont.)",
                       .Switchers = {Sw<TRC_RadioSwitcher>({.Mnemonics = "Atten:Units",
                                                            .Caption = "Attenuation Units",
                                                            .Top = TRC_RightMenuPanel::kFirstTop + 18,
                                                            .Height = size::Radio(3),
                                                            .Items = {"Off", "Ratio", "Decibel"},
                                                            .HelpContext = 213,
                                                            .Name = "rswAttenuatUnits"}),
                                     Sw<TRC_EditSwitcher>({.Mnemonics = "Atten:Ratio",
                                                           .Caption = "ATTENUATION",
                                                           .Height = size::Edit,
                                                           .HelpContext = 214,
                                                           .Name = "RC_EditSwitcher1"}),
                                     Sw<TRC_RadioSwitcher>({.Mnemonics = "Atten:Dimens",
                                                            .Caption = "Scale",
                                                            .Height = size::Radio(4),
                                                            .Items = {"Volt", "Watt", "Ampere", "Unknown"},
                                                            .HelpContext = 215,
                                                            .Name = "rswAttenuatScale"})},
                       .HelpContext = 210}}},
      }};
  return decl;
}

}  // namespace

TUsil_Form::TUsil_Form(QWidget* owner, bool onLeft)
    : TInstrumentMenu(owner, ChannelMenu(), 200), on_left_(onLeft) {
  AddPanelLabel("rmpChannelsContinue", "lblExternalScale", "External Scale");
  auto& select = Control<TRC_RadioSwitcher>("rswChannelSelect");
  select.SetMnemonics(onLeft ? ":SHADOW:MenuSelectL" : ":SHADOW:MenuSelectR");
  select.OnUpdateMe = [this](TRC_Switcher&) { ChannelSelectUpdate(); };
  Control<TRC_RadioSwitcher>("rswAttenuatUnits").OnUpdateMe = [this](TRC_Switcher&) {
    AttenuationUnitsUpdate();
  };
}

int TUsil_Form::Channel() const {
  const TChannelSettingsState& s = ChannelSettings();
  const TRadioSwHandler* node = on_left_ ? s.MenuSelectL : s.MenuSelectR;
  return node && node->GetIndex() != 0 ? 3 : 2;
}

void TUsil_Form::ChannelSelectUpdate() {
  const int number = Channel() - 1;
  const std::string group = Format_Dot("CH%d", number);
  auto& main = PanelNamed("rmpChannelsMain");
  auto& cont = PanelNamed("rmpChannelsContinue");
  main.SetGroupMnemonics(group);
  cont.SetGroupMnemonics(group);
  main.setTitle(QString::fromStdString(GetLangStr("Channel") + Format_Dot(" %d", number)));
  cont.setTitle(QString::fromStdString(FormatLangStr("ChannelCont", number)));
  const std::string prefix = GetChannelUnitPrefix(Channel());
  Control<TRC_EditSwitcher>("edswChannelsScale").SetMnemonics(prefix + "Scale");
  Control<TRC_EditSwitcher>("edswChannelsOffset").SetMnemonics(prefix + "Offset");
}

void TUsil_Form::AttenuationUnitsUpdate() {
  const bool decibel = Control<TRC_RadioSwitcher>("rswAttenuatUnits").ItemIndex() == 2;
  Control<TRC_EditSwitcher>("RC_EditSwitcher1").SetMnemonics(decibel ? "Atten:DB" : "Atten:Ratio");
}

}  // namespace norv
