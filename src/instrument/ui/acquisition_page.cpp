#include "framework/language/language.h"
#include "framework/settings/choice_handlers.h"
#include "framework/text/dot_number.h"
#include "instrument/settings/acquisition_settings.h"
#include "instrument/ui/instrument_pages.h"
#include "instrument/ui/page_sizes.h"

namespace norv {

namespace {

namespace size = page_sizes;

// The grey of a peak interval too short for the time scale.
constexpr uint32_t kGreyInterval = 0x808080;

const TMenuDecl& AcquisitionMenu() {
  static const TMenuDecl decl{
      .Name = "Acq_Form",
      .Pages = {
          {.Number = 1,
           .Panels = {{.Name = "rmpAcquisition",
                       .Group = "Acq:Ch1",
                       .Caption = "Acquisition",
                       .Switchers =
                           {Sw<TRC_RadioSwitcher>({.Mnemonics = ":Acq:FitTo",
                                                   .Caption = "Fit Acquisition To...",
                                                   .Height = size::Radio(2),
                                                   .Items = {"Multi-valued signals", "Single-valued signals"},
                                                   .HelpContext = 101,
                                                   .Name = "RC_RadioSwitcher1"}),
                            Sw<TRC_RadioSwitcher>({.Mnemonics = ":Acq:Sampl",
                                                   .Caption = "Sampling Mode",
                                                   .Height = size::Radio(2),
                                                   .Items = {"Simultaneous", "Alternate"},
                                                   .HelpContext = 102,
                                                   .Name = "RC_RadioSwitcher2"}),
                            Sw<TRC_RadioSwitcher>({.Mnemonics = ":Shadow:Acq:MenuSel",
                                                   .Caption = "Channel (Alt Mode)",
                                                   .Height = size::Radio(1),
                                                   .Items = {"Ch1", "Ch2"},
                                                   .Columns = 2,
                                                   .HelpContext = 103,
                                                   .Name = "rswMenuSelectChannel"}),
                            Sw<TRC_RadioSwitcher>(
                                {.Mnemonics = "Mode",
                                 .Caption = "Mode",
                                 .Height = size::Radio(8),
                                 .Items = {"Sample", "Stable Average", "Multiple Average", "Median Average",
                                           "Min-Max Envelope", "Max Envelope", "Min Envelope", "Peak Detect"},
                                 .HelpContext = 104,
                                 .Name = "rswMode"}),
                            Sw<TRC_EditSwitcher>({.Mnemonics = "NAvg",
                                                  .Caption = "AVERAGE N",
                                                  .Height = size::Edit,
                                                  .HelpContext = 105,
                                                  .Name = "edswParameterOfMode"}),
                            Sw<TRC_EditSwitcher>({.Mnemonics = "RecLen",
                                                  .Caption = "RECORD LENGTH",
                                                  .Height = size::Edit,
                                                  .HelpContext = 106,
                                                  .Name = "edswRecLength"})}}}},
          {.Number = 2,
           .Panels = {{.Name = "rmpAcquisitionCont",
                       .Group = "Acq",
                       .Caption = "Acquisition (cont.)",
                       .Switchers = {Sw<TRC_RadioSwitcher>({.Mnemonics = "RunUntil",
                                                            .Caption = "Run Until",
                                                            .Height = size::Radio(2),
                                                            .Items = {"Stop/Single Button", "Acquisitions"},
                                                            .HelpContext = 111,
                                                            .Name = "RC_RadioSwitcher5"}),
                                     Sw<TRC_EditSwitcher>({.Mnemonics = "NAcq",
                                                           .Caption = "# OF ACQUISITIONS",
                                                           .Height = size::Edit,
                                                           .HelpContext = 112,
                                                           .Name = "RC_EditSwitcher3"}),
                                     Sw<TRC_CheckSwitcher>({.Mnemonics = "React",
                                                            .Caption = "Action",
                                                            .Height = size::Radio(2),
                                                            .Items = {"Beep", "Save All Wfms"},
                                                            .HelpContext = 113,
                                                            .Name = "RC_CheckSwitcher1"})}}}},
      }};
  return decl;
}

// A caption as a panel draws it: "&&" is one ampersand.
QString PanelText(const std::string& text) {
  QString caption = QString::fromStdString(text);
  caption.replace("&&", "&");
  return caption;
}

}  // namespace

TAcq_Form::TAcq_Form(QWidget* owner) : TInstrumentMenu(owner, AcquisitionMenu(), 100) {
  Control<TRC_RadioSwitcher>("rswMenuSelectChannel").OnUpdateMe = [this](TRC_Switcher&) {
    ChannelSelectUpdate();
  };
  Control<TRC_RadioSwitcher>("rswMode").OnUpdateMe = [this](TRC_Switcher&) { ModeUpdate(); };
  Control<TRC_EditSwitcher>("edswParameterOfMode").OnUpdateMe = [this](TRC_Switcher&) {
    IntervalColourUpdate();
  };
}

int TAcq_Form::Channel() const { return UseCommonAcqSettings() ? 2 : GetAcqMenuChannel(); }

void TAcq_Form::ChannelSelectUpdate() {
  const int channel = Channel();
  auto& panel = PanelNamed("rmpAcquisition");
  panel.setTitle(PanelText(UseCommonAcqSettings() ? GetLangStr("AcquisitionCh12")
                                                  : FormatLangStr("AcquisitionChN", channel - 1)));
  panel.SetGroupMnemonics(Format_Dot("Acq:Ch%d", channel - 1));
  ModeUpdate();
}

void TAcq_Form::ModeUpdate() {
  const TAcqMode mode = GetAcqMode(Channel());
  auto& parameter = Control<TRC_EditSwitcher>("edswParameterOfMode");
  const char* key = "AVERAGEN";
  int help = 117;
  const char* node = "NAvg";
  if (mode >= TAcqMode::EnvMinMax && mode <= TAcqMode::EnvMin) {
    key = "ENVELOPEN";
    help = 119;
    node = "NEnv";
  } else if (mode == TAcqMode::Peak) {
    key = "DETECTINTERVAL";
    help = 121;
    node = "PkInterval";
  }
  parameter.SetCaption(QString::fromStdString(GetLangStr(key)));
  parameter.SetHelpContext(help);
  parameter.SetMnemonics(node);
  Control<TRC_EditSwitcher>("edswRecLength")
      .SetMnemonics(mode == TAcqMode::Peak ? ":SHADOW:Acq:LNonChanged" : "RecLen");
  IntervalColourUpdate();
}

void TAcq_Form::IntervalColourUpdate() {
  auto& parameter = Control<TRC_EditSwitcher>("edswParameterOfMode");
  const bool grey = parameter.Mnemonics() == "PkInterval" && PeakIntervalRatio(Channel()) < 2.2;
  parameter.SetValueColor(grey ? std::optional<uint32_t>(kGreyInterval) : std::nullopt);
}

}  // namespace norv
