#include "framework/settings/choice_handlers.h"
#include "instrument/settings/timebase_settings.h"
#include "instrument/simulator/simulator_nodes.h"
#include "instrument/ui/instrument_pages.h"
#include "instrument/ui/page_sizes.h"

namespace norv {

namespace {

namespace size = page_sizes;

constexpr int kFirst = TRC_RightMenuPanel::kFirstTop;
constexpr int kGap = TRC_RightMenuPanel::kSwitcherGap;
// Page 1 places: what TDR and TDT show sits where the other waveforms show theirs.
constexpr int kGenerator = kFirst + size::Radio(5) + kGap;
constexpr int kAmplitude = kGenerator + size::Radio(2) + kGap;
constexpr int kFrequency = kAmplitude + size::Edit + kGap;
constexpr int kChannel1 = kFrequency + size::Edit + kGap;
constexpr int kChannel2 = kChannel1 + size::List + kGap;
constexpr int kCircuit = kChannel2 + size::List + kGap;
constexpr int kAmplitudeLink = kCircuit + size::Link + kGap;
constexpr int kMoreLink = kCircuit + size::List + kGap;
// The way back to the utility page: beside "More..." (left half), or below the amplitude
// link; it must stay above the page turns.
constexpr int kHalfLink = (kPagePanelWidth - 8) / 2;
constexpr int kBackLeft = 4 + kPagePanelWidth - 8 - kHalfLink;
constexpr int kBackBelowLinks = kAmplitudeLink + size::Link;
constexpr int kBackHeight = TDeclaredSideMenu::kTurnTop - 2 * kGap - kBackBelowLinks;
// Page 2: the pulse width, or in its place the link to the jitter page.
constexpr int kPulseWidth = kFirst + 3 * (size::Edit + kGap);

TSwitcherDecl Edit(const char* mnemonics, const char* caption, const char* name, int top = -1) {
  return Sw<TRC_EditSwitcher>(
      {.Mnemonics = mnemonics, .Caption = caption, .Top = top, .Height = size::Edit, .Name = name});
}
TSwitcherDecl Row(const char* mnemonics, const char* caption, QStringList items, const char* name) {
  const int columns = static_cast<int>(items.size());
  return Sw<TRC_RadioSwitcher>({.Mnemonics = mnemonics,
                                .Caption = caption,
                                .Height = size::Radio(1),
                                .Items = std::move(items),
                                .Columns = columns,
                                .Name = name});
}
TSwitcherDecl List(const char* mnemonics, const char* caption, QStringList items, const char* name, int top) {
  return Sw<TRC_ListBoxSwitcher>({.Mnemonics = mnemonics,
                                  .Caption = caption,
                                  .Top = top,
                                  .Height = size::List,
                                  .Items = std::move(items),
                                  .Name = name});
}
TSwitcherDecl Link(const char* caption, const char* name, int top = -1, int left = -1, int width = 0,
                   int height = size::Link) {
  return Sw<TRC_RightPassiveCommandSwitcher>({.Left = left,
                                              .Top = top,
                                              .Width = width,
                                              .Height = height,
                                              .Items = {caption},
                                              .WithHot = false,
                                              .Name = name});
}

QStringList StandardFrequencies() {
  QStringList texts{"Custom"};
  const TBitRateValue& rates = BitRateValue();
  for (int i = 0; i < rates.Count(); ++i) texts << QString::fromStdString(rates.DisplayText(i));
  return texts;
}

TPanelDecl Panel(const char* name, const char* caption, std::vector<TSwitcherDecl> switchers) {
  return {.Name = name, .Group = "GSS:A", .Caption = caption, .Switchers = std::move(switchers)};
}

const TMenuDecl& GeneratorMenu() {
  static const TMenuDecl decl{
      .Name = "GSS_Form",
      .Pages = {
          {.Number = 1,
           .Panels = {Panel(
               "rmpGssMain", "Demo Signal",
               {Sw<TRC_RadioSwitcher>({.Mnemonics = "Waweform",
                                       .Caption = "Waveform",
                                       .Height = size::Radio(5),
                                       .Items = {"Sinewave", "Pulse", "PRBS", "TDR", "TDT"},
                                       .Name = "rswWaveform"}),
                Sw<TRC_RadioSwitcher>({.Mnemonics = ":SHADOW:GssSelect",
                                       .Caption = "Generator",
                                       .Height = size::Radio(2),
                                       .Items = {"A", "B", "C", "D"},
                                       .Columns = 2,
                                       .Name = "rswGenerator"}),
                Edit("Amplitude", "AMPLITUDE", "edswAmplitude", kAmplitude),
                Edit("TDROvershot", "OVERSHOOT", "edswTDROvershot", kAmplitude),
                Edit("Frequency", "FREQUENCY", "edswFrequency", kFrequency),
                Edit("TDRSkol", "DROOP", "edswTDRSkol", kFrequency),
                List(":GSS:Ch1", "Channel 1", {"Off", "A", "B", "C", "D"}, "lbswChannel1", kChannel1),
                List(":GSS:Ch2", "Channel 2", {"Off", "A", "B", "C", "D"}, "lbswChannel2", kChannel2),
                List("TDRCircuit", "TDR Circuit",
                     {"Off", "Open End", "Short End", "50Ω Termination", "85Ω Termination", "50Ω-150Ω-50Ω",
                      "Inductance", "Capacitance"},
                     "lbswTDRCircuit", kCircuit),
                List("TDTCircuit", "TDT Circuit",
                     {"Off", "TDT Step", "6dB/3ns Attenuator", "50Ω-150Ω-50Ω", "Inductance", "Capacitance"},
                     "lbswTDTCircuit", kCircuit),
                Link("Timing...", "pcsTimingPage", kCircuit),
                Link("Amplitude...", "pcsAmplitudePage", kAmplitudeLink),
                Link("More...", "pcsMorePage", kMoreLink, 4, kHalfLink),
                Link("Back", "pcsBackToUtility", kBackBelowLinks, kBackLeft, kHalfLink, kBackHeight)})}},
          {.Number = 2,
           .Panels = {Panel(
               "rmpGssTiming", "Timing Parameters",
               {Edit("Phase", "PHASE", "edswPhase"), Edit("DeltaPhase", "DELTA PHASE", "edswDeltaPhase"),
                Edit("Jitter", "JITTER", "edswJitter"), Link("Jitter...", "pcsJitterPage", kPulseWidth),
                Edit("PulseWidth", "PULSE WIDTH", "edswPulseWidth", kPulseWidth),
                Edit("RiseTime", "RISE TIME", "edswRiseTime"), Edit("FallTime", "FALL TIME", "edswFallTime"),
                List("StdFreq", "Standard Rate", StandardFrequencies(), "lbswStdFreq", -1),
                Row("PrbsTrigger", "PRBS Trigger", {"Clock", "Pattern"}, "rswPrbsTrigger")})}},
          {.Number = 3,
           .Panels = {Panel(
               "rmpGssAmplitude", "Amplitude Parameters",
               {Edit("Noise", "NOISE", "edswNoise"), Edit("Offset", "OFFSET", "edswOffset"),
                Edit("PosOvershot", "POS. OVERSHOOT", "edswPosOvershot"),
                Edit("NegOvershot", "NEG. OVERSHOOT", "edswNegOvershot"), Edit("Droop", "DROOP", "edswDroop"),
                Row("PrbsMode", "PRBS Mode", {"NRZ", "RZ"}, "rswPrbsMode"),
                Sw<TRC_RadioSwitcher>({.Mnemonics = "PrbsLength",
                                       .Caption = "PRBS Order",
                                       .Height = size::Radio(2),
                                       .Items = {"5", "7", "11", "15"},
                                       .Columns = 2,
                                       .Name = "rswPrbsLength"}),
                Row("PrbsLenMode", "PRBS Length", {"2^N-1", "2^N"}, "rswPrbsLenMode")})}},
          {.Number = 4,
           .Panels = {Panel("rmpGssJitter", " Deterministic Jitter ",
                            {Edit("InterSymbIJ", "INTER-SYMBOL", "edswInterSymbIJ"),
                             Edit("PeriodJitter", "PERIODIC", "edswPeriodJitter"),
                             Edit("DutyCycleDist", "DUTY-CYCLE DIST.", "edswDutyCycleDist"),
                             Edit("SubRateJit", "SUB-RATE", "edswSubRateJit"),
                             Edit("SubRateDiv", "SUB-RATE DIVIDER", "edswSubRateDiv")})}},
          {.Number = 5,
           .Panels = {Panel(
               "rmpGssMore", " More Parameters ",
               {Edit("Noise", "NOISE", "edswMoreNoise"), Edit("Offset", "OFFSET", "edswMoreOffset"),
                Edit("Jitter", "JITTER", "edswMoreJitter"),
                Edit("RiseTime", "RISE TIME", "edswMoreRiseTime")})}},
      }};
  return decl;
}

constexpr const char* kGeneratorPanels[] = {"rmpGssMain", "rmpGssTiming", "rmpGssAmplitude", "rmpGssJitter",
                                            "rmpGssMore"};

}  // namespace

TGSS_Form::TGSS_Form(QWidget* owner) : TInstrumentMenu(owner, GeneratorMenu(), 0) {
  Control<TRC_RadioSwitcher>("rswGenerator").OnUpdateMe = [this](TRC_Switcher&) { GeneratorUpdate(); };
  Control<TRC_RadioSwitcher>("rswWaveform").OnUpdateMe = [this](TRC_Switcher&) { WaveformPageUpdate(); };
  Control<TRC_ListBoxSwitcher>("lbswStdFreq").SetDropDownCount(16);
  LinkToPage("pcsTimingPage", 2);
  LinkToPage("pcsAmplitudePage", 3);
  LinkToPage("pcsJitterPage", 4);
  LinkToPage("pcsMorePage", 5);
  Control<TRC_RightPassiveCommandSwitcher>("pcsBackToUtility").OnUpdateMe = [this](TRC_Switcher&) {
    SwitchUtilityFamily(Panel(), 0);
  };
}

char TGSS_Form::Generator() const {
  const TRadioSwHandler* select = SimulatorNodes().GssSelect;
  return static_cast<char>('A' + (select ? select->GetIndex() : 0));
}

void TGSS_Form::GeneratorUpdate() {
  const std::string group = std::string("GSS:") + Generator();
  for (const char* panel : kGeneratorPanels) PanelNamed(panel).SetGroupMnemonics(group);
  WaveformPageUpdate();
}

void TGSS_Form::WaveformPageUpdate() {
  const int waveform = SimulatorNodes().GssSelect ? GetSelectedGeneratorWaveform() : gwSinewave;
  const bool tdr = waveform == gwTdr, tdt = waveform == gwTdt, reflection = tdr || tdt;
  for (const char* name : {"edswAmplitude", "edswFrequency", "pcsTimingPage", "pcsAmplitudePage"})
    Control<TRC_Switcher>(name).setVisible(!reflection);
  for (const char* name : {"edswTDROvershot", "edswTDRSkol", "pcsMorePage"})
    Control<TRC_Switcher>(name).setVisible(reflection);
  Control<TRC_Switcher>("edswPulseWidth").setVisible(waveform == gwPulse);
  Control<TRC_Switcher>("pcsJitterPage").setVisible(waveform != gwPulse);
  Control<TRC_Switcher>("lbswTDRCircuit").setVisible(tdr);
  Control<TRC_Switcher>("lbswTDTCircuit").setVisible(tdt);
  auto& back = Control<TRC_Switcher>("pcsBackToUtility");
  back.setGeometry(back.x(), reflection ? kMoreLink : kBackBelowLinks, back.width(),
                   reflection ? size::Link : kBackHeight);
}

}  // namespace norv
