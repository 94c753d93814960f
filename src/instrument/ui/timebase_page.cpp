#include "instrument/settings/timebase_settings.h"
#include "instrument/ui/instrument_pages.h"
#include "instrument/ui/page_sizes.h"

namespace norv {

namespace {

namespace size = page_sizes;

QStringList BitRateTexts() {
  QStringList texts;
  const TBitRateValue& rates = BitRateValue();
  for (int i = 0; i < rates.Count(); ++i) texts << QString::fromStdString(rates.DisplayText(i));
  return texts;
}

const TMenuDecl& TimeBaseMenu() {
  static const TMenuDecl
      decl{.Name = "TB_Form",
           .Pages = {{.Number = 1,
                      .Panels = {{.Name = "rmpTimeBase",
                                  .Group = "TB",
                                  .Caption = "Time Base",
                                  .Switchers =
                                      {
                                          // Kept for the low-jitter mode, which is never offered.
                                          Sw<TRC_OnOffSwitch>({.Mnemonics = ":Trig:LowJitter",
                                                               .Caption = "LowJitter",
                                                               .Name = "RC_OnOffSwitch1"}),
                                          Sw<TRC_RadioSwitcher>({.Mnemonics = "Units",
                                                                 .Caption = "Units",
                                                                 .Top = TRC_RightMenuPanel::kFirstTop,
                                                                 .Height = size::Radio(2),
                                                                 .Items = {"Time", "Bit Period"},
                                                                 .HelpContext = 1601,
                                                                 .Name = "rswUnits"}),
                                          Sw<TRC_ListBoxSwitcher>({.Mnemonics = "BitRate",
                                                                   .Caption = "Bit Rate",
                                                                   .Height = size::List,
                                                                   .Items = BitRateTexts(),
                                                                   .HelpContext = 1602,
                                                                   .Name = "rclbIndBitRate",
                                                                   .RunTimeItems = true}),
                                          Sw<TRC_RadioSwitcher>({.Mnemonics = "Mode",
                                                                 .Caption = "Mode",
                                                                 .Height = size::Radio(3),
                                                                 .Items = {"Main", "Intensified", "Delayed"},
                                                                 .HelpContext = 1603,
                                                                 .Name = "rswMode"}),
                                          Sw<TRC_EditSwitcher>({.Mnemonics = "ScaleA",
                                                                .Caption = "SCALE A",
                                                                .Height = size::Edit,
                                                                .HelpContext = 1604,
                                                                .Name = "edswScaleA"}),
                                          Sw<TRC_EditSwitcher>({.Mnemonics = "ScaleB",
                                                                .Caption = "SCALE B",
                                                                .Height = size::Edit,
                                                                .HelpContext = 1605,
                                                                .Name = "edswScaleB"}),
                                          Sw<TRC_EditSwitcher>({.Mnemonics = "Delay",
                                                                .Caption = "DELAY",
                                                                .Height = size::Edit,
                                                                .HelpContext = 1606,
                                                                .Name = "edswDelay"}),
                                          Sw<TRC_OnOffSwitch>({.Mnemonics = "DualDel",
                                                               .Caption = "Dual Delayed",
                                                               .HelpContext = 1607,
                                                               .Name = "ooswDualDelayed"}),
                                          Sw<TRC_EditSwitcher>({.Mnemonics = "DeltaDel",
                                                                .Caption = "DELTA DELAY",
                                                                .Height = size::Edit,
                                                                .HelpContext = 1608,
                                                                .Name = "edswDeltaDelay"}),
                                      },
                                  .HelpContext = 1600}}}}};
  return decl;
}

}  // namespace

TTB_Form::TTB_Form(QWidget* owner) : TInstrumentMenu(owner, TimeBaseMenu(), 1600) {
  Control<TRC_OnOffSwitch>("RC_OnOffSwitch1").hide();
  Control<TRC_ListBoxSwitcher>("rclbIndBitRate").SetDropDownCount(16);
  Control<TRC_RadioSwitcher>("rswUnits").OnUpdateMe = [this](TRC_Switcher&) { UnitsUpdate(); };
  Control<TRC_RadioSwitcher>("rswMode").OnUpdateMe = [this](TRC_Switcher&) {
    Control<TRC_EditSwitcher>("edswDelay").SetMnemonics("Delay");
  };
}

void TTB_Form::UnitsUpdate() {
  const std::string scale = ScaleMnemonic(GetHorizontalUnitKind());
  Control<TRC_EditSwitcher>("edswScaleA").SetMnemonics(scale + "A");
  Control<TRC_EditSwitcher>("edswScaleB").SetMnemonics(scale + "B");
}

}  // namespace norv
