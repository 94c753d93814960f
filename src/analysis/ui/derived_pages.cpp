#include "analysis/ui/derived_pages.h"

#include <algorithm>

#include "analysis/derived_settings.h"
#include "analysis/math_functions.h"
#include "controls/menu_pages.h"
#include "framework/language/language.h"
#include "framework/settings/choice_handlers.h"

namespace norv {

namespace {

constexpr int kWindowHelp = 511;
// A choice of two rows of buttons below its caption strip.
constexpr int kTwoRowsHeight = 20 + 2 * 14;

// A panel whose group and caption follow a choice of one of several numbered items
// ("F2", "Function 2").
class TNumberedItemMenu : public TDeclaredSideMenu {
 public:
  TNumberedItemMenu(QWidget* owner, const TMenuDecl& decl, const char* panel, const char* captionKey,
                    std::function<int()> chosen, std::function<std::string(int)> group)
      : TDeclaredSideMenu(owner, decl),
        panel_(Page(1)->findChild<TRC_RightMenuPanel*>(panel)),
        caption_key_(captionKey),
        chosen_(std::move(chosen)),
        group_(std::move(group)) {}

  void InitMenu() override { FollowChoice(); }

  void ShowPage(int page) override {
    TDeclaredSideMenu::ShowPage(page);
    // After the translation, which puts the panel's design caption back.
    UpdateCaption();
  }

  void FollowChoice() {
    const std::string group = group_(chosen_());
    if (panel_->GroupMnemonics() != group) panel_->SetGroupMnemonics(group);
    // Before the first translation the panel keeps its design caption.
    if (Translator().Translated()) UpdateCaption();
  }

 private:
  void UpdateCaption() {
    panel_->setTitle(QString::fromStdString(GetLangStr(caption_key_) + " " + std::to_string(chosen_() + 1)));
  }

  TRC_RightMenuPanel* panel_;
  const char* caption_key_;
  std::function<int()> chosen_;
  std::function<std::string(int)> group_;
};

TMenuDecl MathMenu() {
  // clang-format off
  return {
      .Name = "Math_Form",
      .Caption = "Math",
      .Pages = {{.Number = 1, .Panels = {{.Name = "rmpMathematic", .Group = "F1", .Caption = "Function",
          .Switchers = {
              Sw<TRC_RadioSwitcher>({.Mnemonics = ":Shadow:FuncSelect", .Caption = "Function",
                                     .Height = kTwoRowsHeight, .Items = {"F1", "F2", "F3", "F4"}, .Columns = 2,
                                     .Name = "rswSelectFunc"}),
              Sw<TRC_OnOffSwitch>({.Mnemonics = "Display", .Caption = "Display", .Name = "ooswDisplay"}),
              Sw<TRC_ListBoxSwitcher>({.Mnemonics = "Operat", .Caption = "Operator",
                                       .Items = {"Add", "Subtract", "Multiply", "Divide", "Invert", "Absolute",
                                                 "Exponent (e)", "Exponent (10)", "Logarithm (e)",
                                                 "Logarithm (10)", "Differentiate", "Integrate", "Inverse FFT",
                                                 "Linear Interpolation", "Sin(x)/x Interpolation", "Smoothing",
                                                 "Trend", "Correction", "LowJitterDemo"},
                                       .Name = "lbswOperator"}),
              Sw<TRC_SignalSourceSwitcher>({.Mnemonics = "Source1", .Caption = "Operand 1",
                                            .Name = "ssswSource1"}),
              Sw<TRC_SignalSourceSwitcher>({.Mnemonics = "Source2", .Caption = "Operand 2",
                                            .Name = "ssswSource2"}),
              // The panel's whole inside, for the longest caption of the menu.
              Sw<TRC_EditSwitcher>({.Mnemonics = "Const", .Caption = "CONSTANT", .Left = 1,
                                    .Width = kPagePanelWidth - 2, .Name = "RC_EditSwitcher1"}),
              Sw<TRC_EditSwitcher>({.Mnemonics = "SmoothLen", .Caption = "SMOOTH  LENGTH", .Left = 1,
                                    .Width = kPagePanelWidth - 2,
                                    .Name = "RC_EditSwitcher2"}),
              // Shown in the second operand's place while the operator is Trend.
              Sw<TRC_ListBoxSwitcher>({.Mnemonics = "TrendMeas", .Caption = "Measurement",
                                       .Top = TRC_RightMenuPanel::kFirstTop,
                                       .Items = {"Period", "Frequency", "Pos Width", "Neg Width", "Rise Time",
                                                 "Fall Time", "Pos Duty Cycle", "Neg Duty Cycle"},
                                       .Name = "lbswMeasurement"})}}}}}};
  // clang-format on
}

TMenuDecl FFTMenu() {
  // clang-format off
  return {
      .Name = "FFT_Form",
      .Caption = "FFT",
      .Pages = {{.Number = 1, .Panels = {{.Name = "rmpFFT", .Group = "Spectr1", .Caption = "Spectrum",
          .Switchers = {
              Sw<TRC_RadioSwitcher>({.Mnemonics = ":Shadow:FFTSelect", .Caption = "Spectrum",
                                     .Items = {"S1", "S2"}, .Columns = 2, .Name = "RC_RadioSwitcher1"}),
              Sw<TRC_OnOffSwitch>({.Mnemonics = "Display", .Caption = "Display", .Name = "RC_OnOffSwitch1"}),
              Sw<TRC_SignalSourceSwitcher>({.Mnemonics = "Source", .Caption = "Source",
                                            .Name = "RC_SignalSourceSwitcher1"}),
              Sw<TRC_ListBoxSwitcher>({.Mnemonics = "Window", .Caption = "Window",
                                       .Items = {"Rectangular", "Hamming", "Hanning", "Flattop",
                                                 "Blackman-Harris", "Kaiser-Bessel"},
                                       .Name = "lbswFFT_Window"})}}}}}};
  // clang-format on
}

int Chosen(const TRadioSwHandler* node) { return node ? GetIndex(node) : 0; }
int ChosenFunction() { return Chosen(DerivedSettings().FuncSelect); }
int ChosenSpectrum() { return Chosen(DerivedSettings().FFTSelect); }
bool TrendChosen() {
  const TRadioSwHandler* operat = DerivedSettings().Functions[static_cast<size_t>(ChosenFunction())].Operat;
  return operat && GetIndex(operat) == moTrend;
}

TSideMenuForm* MakeMathMenu(QWidget* owner) {
  auto* menu = new TNumberedItemMenu(owner, MathMenu(), "rmpMathematic", "Function", ChosenFunction,
                                     [](int n) { return "F" + std::to_string(n + 1); });
  auto& source2 = menu->Control<TRC_SignalSourceSwitcher>("ssswSource2");
  auto& trend = menu->Control<TRC_ListBoxSwitcher>("lbswMeasurement");
  trend.setGeometry(source2.geometry());
  trend.hide();
  // The panel ends below its lowest control, as if the trend list had stacked there.
  auto* panel = menu->Page(1)->findChild<TRC_RightMenuPanel*>("rmpMathematic");
  int bottom = 0;
  for (const TRC_Switcher* s : panel->Switchers()) bottom = std::max(bottom, s->y() + s->height());
  panel->resize(panel->width(), bottom + TRC_RightMenuPanel::kSwitcherGap + 2);
  menu->Control<TRC_RadioSwitcher>("rswSelectFunc").OnUpdateMe = [menu](TRC_Switcher&) {
    menu->FollowChoice();
  };
  menu->Control<TRC_ListBoxSwitcher>("lbswOperator").OnUpdateMe = [&source2, &trend](TRC_Switcher&) {
    const bool byTrend = TrendChosen();
    trend.setVisible(byTrend);
    source2.setVisible(!byTrend);
  };
  return menu;
}

TSideMenuForm* MakeFFTMenu(QWidget* owner) {
  auto* menu = new TNumberedItemMenu(owner, FFTMenu(), "rmpFFT", "Spectrum", ChosenSpectrum,
                                     [](int k) { return SpectrumPrefix(k); });
  menu->Control<TRC_RadioSwitcher>("RC_RadioSwitcher1").OnUpdateMe = [menu](TRC_Switcher&) {
    menu->FollowChoice();
  };
  menu->Control<TRC_ListBoxSwitcher>("lbswFFT_Window").OnUpdateMe = [](TRC_Switcher& list) {
    const TRadioSwHandler* window = DerivedSettings().Spectra[static_cast<size_t>(ChosenSpectrum())].Window;
    list.SetHelpContext(kWindowHelp + Chosen(window));
  };
  return menu;
}

}  // namespace

void RegisterAnalysisPages() {
  RegisterSideMenuFactory(kMathMenuId, [](QWidget* owner, int) { return MakeMathMenu(owner); });
  RegisterSideMenuFactory(kFFTMenuId, [](QWidget* owner, int) { return MakeFFTMenu(owner); });
}

}  // namespace norv
