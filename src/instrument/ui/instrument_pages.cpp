#include "instrument/ui/instrument_pages.h"

#include <QFontMetrics>
#include <QLabel>

#include "controls/help_contexts.h"
#include "controls/look.h"
#include "framework/settings/program_objects.h"
#include "framework/text/dot_number.h"
#include "instrument/settings/settings_hooks.h"
#include "instrument/simulator/simulator_nodes.h"
#include "instrument/ui/pattern_search_dialog.h"

namespace norv {

namespace {

TInstrumentPagesState PagesState;
const TProgramUnit PagesUnit("instrument pages", [] { PagesState = {}; });

// Runs `action` on every open menu of class T.
template <class T>
void ForOpenMenus(const std::function<void(T&)>& action) {
  for (const auto& form : SideMenuForms)
    if (auto* menu = qobject_cast<T*>(form.data())) action(*menu);
}

// Room for a caption in the strip, and for the text of a choice's button beside its mark.
constexpr int kCaptionMargin = 8;
constexpr int kMarkWidth = 18;
constexpr int kButtonMargin = 14;  // a command button's frames and padding
constexpr int kSmallestText = 8;

bool CaptionFits(const TRC_Switcher& s) {
  return !s.WithHot() || QFontMetrics(s.font()).horizontalAdvance(s.Caption()) <= s.width() - kCaptionMargin;
}

bool ButtonFits(const QAbstractButton& button) {
  return QFontMetrics(button.font()).horizontalAdvance(button.text()) + kMarkWidth <= button.width();
}

bool CommandFits(const TRC_Switcher& s) {
  const auto* command = qobject_cast<const TRC_CustomCmmandSwitcher*>(&s);
  if (!command || !command->NoFrame()) return true;
  return QFontMetrics(s.font()).horizontalAdvance(command->ButtonCaption(0)) + kButtonMargin <= s.width();
}

bool ButtonsFit(const TRC_Switcher& s) {
  const auto* poly = qobject_cast<const TRC_PolyButtonSwitcher*>(&s);
  if (!poly) return true;
  for (int i = 0; i < poly->ButtonCount(); ++i)
    if (!ButtonFits(*poly->Button(i))) return false;
  return true;
}

// Texts that do not fit their control: first the control takes the panel's whole width,
// then a button's text gets a smaller face and a caption tighter letters.
void FitTexts(TRC_Switcher& s) {
  if (CaptionFits(s) && ButtonsFit(s) && CommandFits(s)) return;
  s.setGeometry(2, s.y(), kPagePanelWidth - 4, s.height());
  if (auto* poly = qobject_cast<TRC_PolyButtonSwitcher*>(&s)) {
    for (int i = 0; i < poly->ButtonCount(); ++i) {
      QAbstractButton& button = *poly->Button(i);
      QFont font = button.font();
      while (!ButtonFits(button) && font.pixelSize() > kSmallestText) {
        font.setPixelSize(font.pixelSize() - 1);
        button.setFont(font);
      }
    }
  }
  QFont face = s.font();
  while (!CommandFits(s) && face.pixelSize() > kSmallestText) {
    face.setPixelSize(face.pixelSize() - 1);
    s.setFont(face);
  }
  if (!CaptionFits(s)) {
    QFont font = s.font();
    font.setLetterSpacing(QFont::AbsoluteSpacing, -0.5);
    s.setFont(font);
  }
}

}  // namespace

TInstrumentPagesState& InstrumentPages() { return PagesState; }

TInstrumentMenu::TInstrumentMenu(QWidget* owner, const TMenuDecl& decl, int helpContext)
    : TDeclaredSideMenu(owner, decl), help_context_(helpContext) {
  SetHelpContextOf(this, helpContext);
  for (TRC_Switcher* s : findChildren<TRC_Switcher*>()) {
    if (qobject_cast<TPageTurnSwitcher*>(s)) continue;
    // A command without a caption strip is one button over the whole control.
    if (auto* command = qobject_cast<TRC_CustomCmmandSwitcher*>(s); command && !command->WithHot())
      command->SetNoFrame(true);
    FitTexts(*s);
  }
}

void TInstrumentMenu::ShowPage(int page) {
  if (page < 1 || page > PageCount()) page = 1;
  TDeclaredSideMenu::ShowPage(page);
  FitPanelLabels();
  PageShown(page);
}

TRC_RightMenuPanel& TInstrumentMenu::PanelNamed(const char* name) const {
  return Control<TRC_RightMenuPanel>(name);
}

void TInstrumentMenu::AddPanelLabel(const char* panel, const char* name, const QString& text) {
  auto* label = new QLabel(text, &PanelNamed(panel));
  label->setObjectName(name);
  label->setGeometry(6, TRC_RightMenuPanel::kFirstTop, kPagePanelWidth - 12, 16);
  label->show();
  panel_labels_.push_back(label);
  FitPanelLabels();
}

void TInstrumentMenu::FitPanelLabels() {
  // A long line (or a longer translation) takes a narrower face.
  for (QLabel* label : panel_labels_) label->setFont(FittingFont(font(), label->text(), label->width()));
}

void TInstrumentMenu::LinkToPage(const char* control, int page) {
  Control<TRC_RightPassiveCommandSwitcher>(control).OnUpdateMe = [this, page](TRC_Switcher&) {
    ShowPage(page);
  };
}

void RegisterInstrumentPages() {
  RegisterSideMenuFactory(kChannelMenu, [](QWidget* owner, int panel) -> TSideMenuForm* {
    return new TUsil_Form(owner, panel == kLeftPanel);
  });
  RegisterSideMenuFactory(kTimeBaseMenu,
                          [](QWidget* owner, int) -> TSideMenuForm* { return new TTB_Form(owner); });
  RegisterSideMenuFactory(kTriggerMenu,
                          [](QWidget* owner, int) -> TSideMenuForm* { return new TTrig_Form(owner); });
  RegisterSideMenuFactory(kAcquisitionMenu,
                          [](QWidget* owner, int) -> TSideMenuForm* { return new TAcq_Form(owner); });
  RegisterSideMenuFactory(kGeneratorMenu,
                          [](QWidget* owner, int) -> TSideMenuForm* { return new TGSS_Form(owner); });

  SettingsHooks.RefreshChannelPages.Set(
      [] { ForOpenMenus<TUsil_Form>([](TUsil_Form& form) { form.ChannelSelectUpdate(); }); });
  SettingsHooks.RefreshTimeBasePages.Set(
      [] { ForOpenMenus<TTB_Form>([](TTB_Form& form) { form.UnitsUpdate(); }); });
  SettingsHooks.RefreshAcquisitionPages.Set(
      [] { ForOpenMenus<TAcq_Form>([](TAcq_Form& form) { form.ChannelSelectUpdate(); }); });
  InstallPatternSearchDialog();
  SimulatorNodes().RefreshGssWaveformPage.Set(
      [] { ForOpenMenus<TGSS_Form>([](TGSS_Form& form) { form.WaveformPageUpdate(); }); });
}

}  // namespace norv
