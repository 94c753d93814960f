#include "tdr_mask/ui/tdr_page.h"

#include "controls/menu_pages.h"
#include "controls/side_menu.h"
#include "framework/language/language.h"
#include "framework/settings/choice_handlers.h"
#include "tdr_mask/tdr_settings.h"

namespace norv {

namespace {

enum TTdrPage { tpMain = 1, tpChannels = 2, tpHorizontal = 3, tpCorrection = 4, tpMeasure = 5 };

// Items in columns take one row of 15 pixels each below the caption.
TSwitcherDecl Radio(const char* name, const char* mnemonics, const char* caption, QStringList items,
                    int columns = 0) {
  const int rows = columns > 0 ? (static_cast<int>(items.size()) + columns - 1) / columns : 0;
  return Sw<TRC_RadioSwitcher>({.Mnemonics = mnemonics,
                                .Caption = caption,
                                .Height = rows > 0 ? 17 + 15 * rows : 0,
                                .Items = std::move(items),
                                .Columns = columns,
                                .Name = name});
}
TSwitcherDecl ChannelChoice(const char* name) {
  return Radio(name, ":Shadow:TDRChSelect", "Channel", {"Ch1", "Ch2"}, 2);
}

TMenuDecl TdrMenu() {
  return {
      .Name = "TDR_Form",
      .Caption = "TDR / TDT",
      .Pages =
          {{.Number = tpMain,
            .Panels = {{.Name = "rmpTDR_Main",
                        .Group = "TDR",
                        .Caption = " TDR / TDT ",
                        .Switchers = {Radio("rswTDR_Mode", "Mode", "Mode", {"Off", "TDR", "TDT"}),
                                      CaptionedButton("pcswChannels", "TDR/TDT Channels...", "Channels..."),
                                      CaptionedButton("pcswHorizontal", "Horizontal..."),
                                      CaptionedButton("pcswCorrection", "Correction..."),
                                      CaptionedButton("pcswMeasure", "Measure...")}}}},
           {.Number = tpChannels,
            .Panels = {{.Name = "rmpChannels",
                        .Group = "TDR:Ch1",
                        .Caption = " Channels ",
                        .Switchers =
                            {CaptionedButton("btnBackChannels", "Back"), ChannelChoice("rswMenuChannels"),
                             // One column: beside "External" in two, "Gen 1" has no room
                             // for the gap between the columns.
                             Radio("rswDestination", "Destination", "Destination",
                                   {"Off", "Gen 1", "Gen 2", "External"}, 1),
                             Radio("rswPolarity", "Polar", "Polarity", {"Pos", "Neg"}, 2),
                             Radio("rswVertScale", "VertScale", "Vertical Scale", {"Volt", "Rho", "Ohm"}, 2),
                             NodeEdit("edswRefAmpl", "RefAmpl", "REF AMPLITUDE"),
                             NodeEdit("edswBaseLine", "BaseLine", "BASELINE CORR"),
                             NodeEdit("edswRefPlane", "RefPlane", "REFERENCE PLANE"),
                             Sw<TRC_RightCommandSwitcher>({.Mnemonics = "DoVertCalibr",
                                                           .Caption = "Calibrate",
                                                           .Items = {"Calibrate"},
                                                           .Name = "rcswCalibrate"})}}}},
           {.Number = tpHorizontal,
            .Panels = {{.Name = "rmpHorizontal",
                        .Group = "TDR",
                        .Caption = " Horizontal ",
                        .Switchers = {CaptionedButton("btnBackHorizontal", "Back"),
                                      Radio("rswHorScale", "HorScale", "Horizontal Scale",
                                            {"Time", "Meter", "Foot", "Inch"}, 1),
                                      Radio("rswPresetUnit", "Unit", "Preset Unit",
                                            {"Prop Velocity", "Dielectric Constant"}),
                                      NodeEdit("edswPropagation", "Velos", "PROP VELOCITY")}}}},
           {.Number = tpCorrection,
            .Panels = {{.Name = "rmpNormalization",
                        .Group = "TDR:Ch1",
                        .Caption = " Correction ",
                        .Switchers = {CaptionedButton("btnBackCorrection", "Back"),
                                      ChannelChoice("rswCorrChannels"),
                                      NodeEdit("edswNormTime", "NormTime", "CORRECTED TIME"),
                                      Sw<TRC_OnOffSwitch>({.Mnemonics = "Normalize",
                                                           .Caption = "Correct",
                                                           .Name = "ooswNormalize"})}}}},
           {.Number = tpMeasure,
            .Panels = {{.Name = "rmpMeasure",
                        .Group = "TDR:Ch1",
                        .Caption = " Measure ",
                        .Switchers = {CaptionedButton("btnBackMeasure", "Back"),
                                      Radio("rswMeasSource", ":TDR:Source", "Source",
                                            {"Ch1", "Ch2", "Ch1 Corrected", "Ch2 Corrected"}, 1),
                                      NodeEdit("edswLeftMargins", "LeftMargins", "LEFT MARGINS"),
                                      NodeEdit("edswRightMargins", "RightMargins", "RIGHT MARGINS"),
                                      Sw<TRC_OnOffSwitch>({.Mnemonics = ":TDR:ViewMargins",
                                                           .Caption = "View Margins",
                                                           .Name = "ooswViewMargins"}),
                                      Sw<TRC_CheckSwitcher>({.Mnemonics = "TdrParams",
                                                             .Caption = "TDR Parameters",
                                                             .Items = {"Min Reflection", "Max Reflection"},
                                                             .Name = "chswTdrParams"}),
                                      Sw<TRC_OnOffSwitch>({.Mnemonics = ":TDR:Measure",
                                                           .Caption = "Measure",
                                                           .Name = "ooswMeasure"}),
                                      Sw<TRC_CheckSwitcher>({.Mnemonics = "TdtParams",
                                                             .Caption = "TDT Parameters",
                                                             .Items = {"Propagation Dly", "Gain", "Gain dB"},
                                                             .Name = "chswTdtParams"})}}}}},
      .OwnPageTurns = true};
}

class TTdrMenu final : public TDeclaredSideMenu {
 public:
  explicit TTdrMenu(QWidget* owner) : TDeclaredSideMenu(owner, TdrMenu()) {
    channels_ = Panel("rmpChannels");
    correction_ = Panel("rmpNormalization");
    measure_ = Panel("rmpMeasure");
    AddTdtControls();
    const auto turn = [this](const char* name, int page) {
      Control<TRC_RightPassiveCommandSwitcher>(name).OnUpdateMe = [this, page](TRC_Switcher&) {
        ShowPage(page);
      };
    };
    turn("pcswChannels", tpChannels);
    turn("pcswHorizontal", tpHorizontal);
    turn("pcswCorrection", tpCorrection);
    turn("pcswMeasure", tpMeasure);
    for (const char* back : {"btnBackChannels", "btnBackHorizontal", "btnBackCorrection", "btnBackMeasure"})
      turn(back, tpMain);
    Control<TRC_RadioSwitcher>("rswTDR_Mode").OnUpdateMe = [this](TRC_Switcher&) { FollowMode(); };
    for (const char* choice : {"rswMenuChannels", "rswCorrChannels"})
      Control<TRC_RadioSwitcher>(choice).OnUpdateMe = [this](TRC_Switcher&) { FollowChannel(); };
    Control<TRC_RadioSwitcher>("rswPresetUnit").OnUpdateMe = [this](TRC_Switcher&) { FollowUnit(); };
    Control<TRC_RadioSwitcher>("rswMeasSource").OnUpdateMe = [this](TRC_Switcher&) { FollowSource(); };
  }

  void InitMenu() override { FollowAll(); }

  void ShowPage(int page) override {
    TDeclaredSideMenu::ShowPage(page >= tpMain && page <= tpMeasure ? page : tpMain);
    // After the translation, which puts the design captions back.
    FollowAll();
  }

 private:
  TRC_RightMenuPanel* Panel(const char* name) { return findChild<TRC_RightMenuPanel*>(name); }

  // The TDT controls take the places of their TDR counterparts, and their sizes: only one set
  // shows, and the controls below are placed for either.
  void AddTdtControls() {
    const auto over = [this](const char* tdrName, TSwitcherFields fields) {
      const auto& tdr = Control<TRC_Switcher>(tdrName);
      fields.Top = tdr.y();
      fields.Height = tdr.height();
      return fields;
    };
    channels_->Add<TRC_RadioSwitcher>(over("rswVertScale", {.Mnemonics = "VertTDTScale",
                                                            .Caption = "Vertical Scale",
                                                            .Items = {"Volt", "Gain"},
                                                            .Columns = 2,
                                                            .Name = "rswVertTDTScale"}));
    channels_->Add<TRC_EditSwitcher>(over(
        "edswRefAmpl", {.Mnemonics = "RefTDTAmpl", .Caption = "REF AMPLITUDE", .Name = "edswRefTDTAmpl"}));
    channels_->Add<TRC_EditSwitcher>(over(
        "edswBaseLine", {.Mnemonics = "RefTDTZero", .Caption = "INITIAL VOLTAGE", .Name = "edswRefTDTZero"}));
  }

  void FollowAll() {
    if (!TdrSettings().Mode) return;
    FollowChannel();
    FollowUnit();
    FollowMode();
    FollowSource();
  }

  void FollowMode() {
    if (!TdrSettings().Mode) return;
    const bool tdr = TdrSettings().Mode->GetIndex() == tmTDR;
    for (const char* name : {"rswVertScale", "edswRefAmpl", "edswBaseLine", "chswTdrParams"})
      Control<TRC_Switcher>(name).setVisible(tdr);
    for (const char* name : {"rswVertTDTScale", "edswRefTDTAmpl", "edswRefTDTZero", "chswTdtParams"})
      Control<TRC_Switcher>(name).setVisible(!tdr);
    const bool active = IsTDRActive();
    for (const char* name : {"pcswChannels", "pcswHorizontal", "pcswCorrection", "pcswMeasure"})
      Control<TRC_Switcher>(name).setEnabled(active);
    const QString mode = QString::fromStdString(" " + GetTDRModeText() + " ");
    channels_->setTitle(mode + "Channels ");
    correction_->setTitle(mode + "Correction ");
  }

  void FollowChannel() {
    if (!TdrSettings().ChSelect) return;
    const std::string group = TdrSettings().ChSelect->GetIndex() == 1 ? "TDR:Ch2" : "TDR:Ch1";
    for (TRC_RightMenuPanel* panel : {channels_, correction_})
      if (panel->GroupMnemonics() != group) panel->SetGroupMnemonics(group);
  }

  void FollowUnit() {
    if (!TdrSettings().Unit) return;
    const bool dielectric = TdrSettings().Unit->GetIndex() == 1;
    auto& edit = Control<TRC_EditSwitcher>("edswPropagation");
    const char* node = dielectric ? "DielConst" : "Velos";
    if (edit.Mnemonics() != node) edit.SetMnemonics(node);
    edit.SetCaption(QString::fromStdString(GetLangStr(dielectric ? "EdDIELECTRICCONST" : "EdVELOCITY")));
  }

  void FollowSource() {
    if (!TdrSettings().Source) return;
    const std::string name = TdrSourceName(TdrSettings().Source->GetIndex());
    const std::string group = "TDR:" + name;
    if (measure_->GroupMnemonics() != group) measure_->SetGroupMnemonics(group);
    const std::string shown = name.starts_with("Norm") ? name.substr(4) + " Normalized" : name;
    measure_->setTitle(QString::fromStdString(" TDR/TDT " + shown));
  }

  TRC_RightMenuPanel* channels_ = nullptr;
  TRC_RightMenuPanel* correction_ = nullptr;
  TRC_RightMenuPanel* measure_ = nullptr;
};

}  // namespace

void RegisterTdrPage() {
  RegisterSideMenuFactory(kTdrMenuId, [](QWidget* owner, int) { return new TTdrMenu(owner); });
  TdrHooks.ResetTdrMenuPage.Set([] { ResetSideMenuPage(kTdrMenuId); });
}

}  // namespace norv
