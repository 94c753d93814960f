#include <QLabel>

#include "instrument/link/instrument_identity.h"
#include "instrument/ui/instrument_pages.h"
#include "instrument/ui/page_sizes.h"

namespace norv {

namespace {

namespace size = page_sizes;

constexpr int kBelowLabel = TRC_RightMenuPanel::kFirstTop + 18;

// A button that turns to another page.
TSwitcherDecl PageLink(const char* name, const char* caption) {
  return Sw<TRC_RightPassiveCommandSwitcher>(
      {.Height = size::Link, .Items = {caption}, .WithHot = false, .Name = name});
}

const TMenuDecl& TriggerMenu() {
  static const TMenuDecl decl{
      .Name = "Trig_Form",
      .Pages = {
          {.Number = 1,
           .Panels = {{.Name = "rmpTriggerMain",
                       .Group = "Trig",
                       .Caption = "Trigger",
                       .Switchers = {Sw<TRC_RadioSwitcher>({.Mnemonics = "Source",
                                                            .Caption = "Source",
                                                            .Height = size::Radio(4),
                                                            .Items = {"Ext Direct", "Ext Prescaler",
                                                                      "Internal Clock", "Clock Recovery"},
                                                            .HelpContext = 1706,
                                                            .Name = "RC_RadioSwitcher1"}),
                                     Sw<TRC_EditSwitcher>({.Mnemonics = "IntRate",
                                                           .Caption = "INTERNAL RATE",
                                                           .Height = size::Edit,
                                                           .HelpContext = 1707,
                                                           .Name = "edswInternalRate"}),
                                     Sw<TRC_RadioSwitcher>({.Mnemonics = "Mode",
                                                            .Caption = "Mode",
                                                            .Height = size::Radio(2),
                                                            .Items = {"Freerun", "Triggered"},
                                                            .HelpContext = 1708,
                                                            .Name = "rswTrigMode"}),
                                     Sw<TRC_EditSwitcher>({.Mnemonics = "ExtLevel",
                                                           .Caption = "LEVEL",
                                                           .Height = size::Edit,
                                                           .HelpContext = 1709,
                                                           .Name = "edswTrigLevel"}),
                                     Sw<TRC_RadioSwitcher>({.Mnemonics = "Slope",
                                                            .Caption = "Slope",
                                                            .Height = size::Radio(2),
                                                            .Items = {"Positive", "Negative"},
                                                            .HelpContext = 1710,
                                                            .Name = "rswTrigSlope"}),
                                     Sw<TRC_EditSwitcher>({.Mnemonics = "Holdoff",
                                                           .Caption = "HOLDOFF",
                                                           .Height = size::Edit,
                                                           .HelpContext = 1711,
                                                           .Name = "edswHoldoff"}),
                                     Sw<TRC_RadioSwitcher>({.Mnemonics = "Hister",
                                                            .Caption = "Hysteresis",
                                                            .Height = size::Radio(2),
                                                            .Items = {"Normal", "High sensitivity"},
                                                            .HelpContext = 1712,
                                                            .Name = "rswHisteresis"}),
                                     PageLink("TriggerMore", " More...")}}}},
          {.Number = 2,
           .Panels = {{.Name = "rmpTriggerCont",
                       .Group = "Trig",
                       .Caption = "Trigger (cont.)",
                       .Switchers =
                           {// The low-jitter controls, never offered, share one hidden place.
                            Sw<TRC_OnOffSwitch>({.Mnemonics = "LowJitter",
                                                 .Caption = "Low-Jitter Mode",
                                                 .Name = "ooswLowJitter"}),
                            Sw<TRC_LabelSwitcher>({.Mnemonics = "RefFreq",
                                                   .Caption = "Reference Freq",
                                                   .Top = TRC_RightMenuPanel::kFirstTop,
                                                   .HelpContext = 1744,
                                                   .Name = "lbswRefFreq"}),
                            Sw<TRC_EditSwitcher>({.Mnemonics = "RefDivider",
                                                  .Caption = "REF. DIVIDER",
                                                  .Top = TRC_RightMenuPanel::kFirstTop,
                                                  .HelpContext = 1707,
                                                  .Name = "edswRefDivider"}),
                            Sw<TRC_RightCommandSwitcher>({.Mnemonics = "JitReset",
                                                          .Top = TRC_RightMenuPanel::kFirstTop,
                                                          .Items = {"Reset"},
                                                          .Name = "rcswJitterReset"}),
                            Sw<TRC_RadioSwitcher>({.Mnemonics = "Atten:Unit",
                                                   .Caption = "Attenuation Units",
                                                   .Top = kBelowLabel,
                                                   .Height = size::Radio(3),
                                                   .Items = {"Off", "Ratio", "Decibel"},
                                                   .HelpContext = 1714,
                                                   .Name = "rswAttenUnit"}),
                            Sw<TRC_EditSwitcher>({.Mnemonics = "Atten:DB",
                                                  .Caption = "ATTENUATION",
                                                  .Height = size::Edit,
                                                  .HelpContext = 1715,
                                                  .Name = "edswAttenRatio"}),
                            Sw<TRC_RightPassiveCommandSwitcher>({.Height = size::Link,
                                                                 .Items = {"Pattern Sync..."},
                                                                 .HelpContext = 1740,
                                                                 .WithHot = false,
                                                                 .Name = "rpcswPatternLock"}),
                            PageLink("TriggerBack", "Back")},
                       .HelpContext = 1720}}},
          {.Number = 3,
           .Panels = {{.Name = "rmpTriggerPatternLock",
                       .Group = "Trig",
                       .Caption = "Pattern Sync",
                       .Switchers = {Sw<TRC_RadioSwitcher>({.Mnemonics = "PatternLockMode",
                                                            .Caption = "Pattern Lock",
                                                            .Height = size::Radio(3),
                                                            .Items = {"Off", "Auto Detect", "Manual"},
                                                            .HelpContext = 1741,
                                                            .Name = "rswPatternLockMode"}),
                                     Sw<TRC_EditSwitcher>({.Mnemonics = "PattLen",
                                                           .Caption = "PATTERN LENGTH",
                                                           .Height = size::Edit,
                                                           .HelpContext = 1742,
                                                           .Name = "edswPatternLength"}),
                                     Sw<TRC_RightPassiveCommandSwitcher>({.Height = size::Link,
                                                                          .Items = {"Pattern Length List..."},
                                                                          .HelpContext = 1743,
                                                                          .WithHot = false,
                                                                          .Name = "pcswPatternLengthList"}),
                                     Sw<TRC_LabelSwitcher>({.Mnemonics = "DataRate",
                                                            .Caption = "Data Rate",
                                                            .Height = size::Label,
                                                            .HelpContext = 1744,
                                                            .Name = "lblswDataRate"}),
                                     Sw<TRC_EditSwitcher>({.Mnemonics = "ExtDivider",
                                                           .Caption = "TRIGGER DIVIDER",
                                                           .Height = size::Edit,
                                                           .HelpContext = 1745,
                                                           .Name = "edswTriggerDivider"}),
                                     Sw<TRC_RightCommandSwitcher>({.Mnemonics = "ResetPattLock",
                                                                   .Height = size::Link,
                                                                   .Items = {"Reset Pattern Lock"},
                                                                   .HelpContext = 1746,
                                                                   .WithHot = false,
                                                                   .Name = "rcswResetPatternLock"}),
                                     Sw<TRC_EditSwitcher>({.Mnemonics = "PattDelay",
                                                           .Caption = "START BIT",
                                                           .Height = size::Edit,
                                                           .HelpContext = 1747,
                                                           .Name = "edswPatternDelay"}),
                                     Sw<TRC_OnOffSwitch>({.Mnemonics = "PattEyeLine",
                                                          .Caption = "Eye Line",
                                                          .Height = size::OnOff,
                                                          .HelpContext = 1748,
                                                          .Name = "ooswEyeLine"}),
                                     Sw<TRC_EditSwitcher>({.Mnemonics = "PattScanBits",
                                                           .Caption = "SCAN BITS",
                                                           .Height = size::Edit,
                                                           .HelpContext = 1749,
                                                           .Name = "edswScanBits"}),
                                     PageLink("Button1", "Back")},
                       .HelpContext = 1740}}},
      },
      // Each page's buttons turn to the page they name: the third page is reached only
      // through "Pattern Sync...", which needs the option.
      .OwnPageTurns = true};
  return decl;
}

}  // namespace

TTrig_Form::TTrig_Form(QWidget* owner) : TInstrumentMenu(owner, TriggerMenu(), 1700) {
  AddPanelLabel("rmpTriggerCont", "lblExternalScale", "External Direct Scale");
  auto* lowJitter = new QLabel("Low Jitter", &PanelNamed("rmpTriggerCont"));
  lowJitter->setObjectName("lblLowJitter");
  lowJitter->hide();
  for (const char* name : {"ooswLowJitter", "lbswRefFreq", "edswRefDivider", "rcswJitterReset"})
    Control<TRC_Switcher>(name).hide();
  LinkToPage("TriggerMore", 2);
  LinkToPage("TriggerBack", 1);
  LinkToPage("rpcswPatternLock", 3);
  LinkToPage("Button1", 2);
  Control<TRC_RightPassiveCommandSwitcher>("pcswPatternLengthList").OnUpdateMe = [](TRC_Switcher&) {
    if (InstrumentPages().ShowPatternLengthList) InstrumentPages().ShowPatternLengthList();
  };
  auto attenuation = [this](TRC_Switcher&) { AttenuationUnitsUpdate(); };
  Control<TRC_RadioSwitcher>("rswAttenUnit").OnUpdateMe = attenuation;
  Control<TRC_RadioSwitcher>("rswPatternLockMode").OnUpdateMe = attenuation;
}

void TTrig_Form::AttenuationUnitsUpdate() {
  const bool decibel = Control<TRC_RadioSwitcher>("rswAttenUnit").ItemIndex() == 2;
  Control<TRC_EditSwitcher>("edswAttenRatio").SetMnemonics(decibel ? "Atten:DB" : "Atten:Ratio");
}

void TTrig_Form::ShowPage(int page) {
  TInstrumentMenu::ShowPage(page == 3 && !HasPatSyncTrigOption() ? 2 : page);
}

void TTrig_Form::PageShown(int) {
  Control<TRC_Switcher>("rpcswPatternLock").setVisible(HasPatSyncTrigOption());
}

}  // namespace norv
