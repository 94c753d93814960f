#include "tdr_mask/ui/generator_page.h"

#include <QLabel>

#include "controls/menu_pages.h"
#include "framework/language/language.h"
#include "framework/settings/choice_handlers.h"
#include "tdr_mask/generator_settings.h"

namespace norv {

namespace {

enum TGeneratorPage { gpMain = 1, gpOutput = 2, gpZeroCalibr = 3 };

// The zero page's "Proceed" is left out: it names no node of its group, so it could start
// nothing.
TMenuDecl GeneratorMenu() {
  return {.Name = "Generator_Form",
          .Caption = "Generators",
          .Pages = {{.Number = gpMain,
                     .Panels = {{.Name = "rmpGenerators",
                                 .Group = "Gen",
                                 .Caption = " Generators ",
                                 .Switchers = {Sw<TRC_RadioSwitcher>({.Mnemonics = "Mode",
                                                                      .Caption = "Mode",
                                                                      .Height = 107,  // a text row per item
                                                                      .Items = {"Off", "Step", "Coarse TB",
                                                                                "Pulse", "NRZ", "RZ"},
                                                                      .Name = "rswGeneratorsMode"}),
                                               NodeEdit("edswDelay", "Delay", "DELAY"),
                                               NodeEdit("edswPeriod", "PulsePeriod", "PERIOD"),
                                               NodeEdit("edswWidth", "PulseWidth", "WIDTH"),
                                               Sw<TRC_RadioSwitcher>({.Mnemonics = "TrigPRBS",
                                                                      .Caption = "Internal Trigger",
                                                                      .Items = {"Clock", "Pattern"},
                                                                      .Name = "rswTrigPRBS"}),
                                               CaptionedButton("pcswOutput1", "Output 1..."),
                                               CaptionedButton("pcswOutput2", "Output 2...")}}}},
                    {.Number = gpOutput,
                     .Panels = {{.Name = "rmpGenOuput",
                                 .Group = "Gen:Out1",
                                 .Caption = " Output 1 ",
                                 .Switchers = {CaptionedButton("btnBackToGenerator", "Back"),
                                               NodeEdit("edswDeskew", "Deskew", "DESKEW / CROSSING"),
                                               NodeEdit("edswOffset", "Offset", "OFFSET"),
                                               Sw<TRC_RadioSwitcher>({.Mnemonics = "Polarity",
                                                                      .Caption = "Slope",
                                                                      .Items = {"Positive", "Negative"},
                                                                      .Name = "rswSlope"}),
                                               Sw<TRC_RadioSwitcher>(
                                                   {.Mnemonics = "ModeOffset",
                                                    .Caption = "Offset Mode",
                                                    .Items = {"Positive", "Negative", "Variable"},
                                                    .Name = "rswOffsetMode"}),
                                               CaptionedButton("pcswOffsetZeroCalibr",
                                                               "Offset Zero Calibr...", "Zero Calibr...")}}}},
                    {.Number = gpZeroCalibr,
                     .Panels = {{.Name = "rmpGenOutZeroCalibr",
                                 .Group = "FLASH:Gen:Out1",
                                 .Caption = " Offset Zero Calibr ",
                                 .Switchers =
                                     {CaptionedButton("btnBackToGenOutput", "Back"),
                                      NodeEdit("edswPositiveZero", "PositiveZero", "POSITIVE ZERO"),
                                      NodeEdit("edswNegativeZero", "NegativeZero", "NEGATIVE ZERO"),
                                      Sw<TRC_RightCommandSwitcher>({.Mnemonics = ":Flash:Calibr:StoreAll",
                                                                    .Caption = "Store Constant",
                                                                    .Items = {"Store Constant"},
                                                                    .Name = "rcswStore"}),
                                      Sw<TRC_RightCommandSwitcher>({.Mnemonics = ":Flash:Calibr:RecallAll",
                                                                    .Caption = "Recall Last",
                                                                    .Items = {"Recall Last"},
                                                                    .Name = "rcswRecallLast"}),
                                      Sw<TRC_RightCommandSwitcher>({.Mnemonics = ":Flash:Adjust:RecallAll",
                                                                    .Caption = "Recall Factory",
                                                                    .Items = {"Recall Factory"},
                                                                    .Name = "rcswRecallFactory"})}}}}},
          .OwnPageTurns = true};
}

class TGeneratorMenu final : public TDeclaredSideMenu {
 public:
  explicit TGeneratorMenu(QWidget* owner) : TDeclaredSideMenu(owner, GeneratorMenu()) {
    main_ = findChild<TRC_RightMenuPanel*>("rmpGenerators");
    output_ = findChild<TRC_RightMenuPanel*>("rmpGenOuput");
    AddLengthControl();
    zero_ = findChild<TRC_RightMenuPanel*>("rmpGenOutZeroCalibr");
    outputLabel_ = new QLabel(zero_);
    outputLabel_->setObjectName("lblOutputNo");
    const int top = TRC_RightMenuPanel::kFirstTop;
    outputLabel_->setGeometry(TRC_RightMenuPanel::kCaptionLeft, top, kPagePanelWidth - 12, 14);
    for (TRC_Switcher* s : zero_->Switchers()) s->move(s->x(), s->y() + 16);
    zero_->resize(zero_->width(), zero_->height() + 16);
    const auto turn = [this](const char* name, int page) {
      Control<TRC_RightPassiveCommandSwitcher>(name).OnUpdateMe = [this, page](TRC_Switcher&) {
        ShowPage(page);
      };
    };
    turn("btnBackToGenerator", gpMain);
    turn("pcswOffsetZeroCalibr", gpZeroCalibr);
    turn("btnBackToGenOutput", gpOutput);
    for (int digit : {1, 2})
      Control<TRC_RightPassiveCommandSwitcher>(digit == 1 ? "pcswOutput1" : "pcswOutput2").OnUpdateMe =
          [this, digit](TRC_Switcher&) { ChooseOutput(digit); };
    Control<TRC_RadioSwitcher>("rswGeneratorsMode").OnUpdateMe = [this](TRC_Switcher&) { FollowMode(); };
  }

  void InitMenu() override { FollowMode(); }

  void ShowPage(int page) override {
    TDeclaredSideMenu::ShowPage(page >= gpMain && page <= gpZeroCalibr ? page : gpMain);
    // After the translation, which puts the design captions back.
    FollowMode();
    output_->setTitle(OutputText() + QString::number(digit_) + " ");
    outputLabel_->setText(OutputText() + QString::number(digit_));
  }

 private:
  // The pattern length shows in the width's place: only the pattern modes have one, and
  // only the others a width.
  void AddLengthControl() {
    const auto& width = Control<TRC_Switcher>("edswWidth");
    main_->Add<TRC_RadioSwitcher>({.Mnemonics = "Length",
                                   .Caption = "Length",
                                   .Top = width.y(),
                                   .Height = 77,  // a text row per item
                                   .Items = {"2^7-1", "2^10-1", "2^11-1", "2^15-1"},
                                   .Name = "rswLength"});
  }

  static QString OutputText() { return QString::fromStdString(GetLangStr("_Output_")); }

  void ChooseOutput(int digit) {
    digit_ = digit;
    output_->SetGroupMnemonics("Gen:Out" + std::to_string(digit));
    zero_->SetGroupMnemonics("FLASH:Gen:Out" + std::to_string(digit));
    ShowPage(gpOutput);
  }

  // The clock, delay and the width or length follow the mode.
  void FollowMode() {
    const TGeneratorSettingsState& g = GeneratorSettings();
    if (!g.Mode) return;
    const uint8_t m = g.Mode->GetIndex();
    const bool pattern = m == gmNRZ || m == gmRZ;
    auto& period = Control<TRC_EditSwitcher>("edswPeriod");
    const char* clock = m == gmRZ ? "RzClock" : m == gmNRZ ? "NrzClock" : "PulsePeriod";
    if (period.Mnemonics() != clock) period.SetMnemonics(clock);
    period.SetCaption(QString::fromStdString(GetLangStr(pattern ? "CLOCK" : "PERIOD")));
    auto& delay = Control<TRC_EditSwitcher>("edswDelay");
    const char* delayNode = m == gmStep || m == gmCoarseTB ? "StepsDelay" : "Delay";
    if (delay.Mnemonics() != delayNode) delay.SetMnemonics(delayNode);
    Control<TRC_RadioSwitcher>("rswLength").setVisible(pattern);
    Control<TRC_EditSwitcher>("edswWidth").setVisible(!pattern);
    CloseUpMain();
  }

  // The length is taller than the width it stands in for: the controls below it move with it.
  void CloseUpMain() {
    StackShown({"rswGeneratorsMode", "edswDelay", "edswPeriod", "edswWidth", "rswLength", "rswTrigPRBS",
                "pcswOutput1", "pcswOutput2"});
  }

  TRC_RightMenuPanel* main_ = nullptr;
  TRC_RightMenuPanel* output_ = nullptr;
  TRC_RightMenuPanel* zero_ = nullptr;
  QLabel* outputLabel_ = nullptr;
  int digit_ = 1;
};

}  // namespace

void RegisterGeneratorPage() {
  RegisterSideMenuFactory(kGeneratorMenuId, [](QWidget* owner, int) { return new TGeneratorMenu(owner); });
}

}  // namespace norv
