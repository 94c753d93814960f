#include "controls/help_contexts.h"

#include "controls/choice_switchers.h"
#include "controls/switcher.h"
#include "controls/translated_form.h"

namespace norv {

namespace {

constexpr const char* kGivenContext = "helpContext";
constexpr int kFirstFormBase = 1000000;
constexpr int kContextsPerForm = 1000;
constexpr uint32_t kFormBaseSlots = 9000;

int DesignedContext(const QWidget* control) {
  if (auto* switcher = qobject_cast<const TRC_Switcher*>(control)) return switcher->HelpContext();
  if (auto* panel = qobject_cast<const TRC_RightMenuPanel*>(control)) return panel->HelpContext();
  if (auto* radio = dynamic_cast<const TMyRadioButton*>(control)) return radio->HelpContext;
  if (auto* check = dynamic_cast<const TMyCheckBox*>(control)) return check->HelpContext;
  return 0;
}

// The translator the form has; none is made for a widget that is no form.
TFormTranslator* ExistingTranslator(const QWidget* form) {
  return form->findChild<TFormTranslator*>(QString(), Qt::FindDirectChildrenOnly);
}

void AssignBelow(const TFormTranslator& translator, const QWidget* container, int base, int& next) {
  for (QWidget* control : translator.Children(container)) {
    const int number = next++;
    if (HelpContextOf(control) == 0 && number < kContextsPerForm)
      control->setProperty(kGivenContext, base + number);
    AssignBelow(translator, control, base, next);
  }
}

}  // namespace

int HelpContextOf(const QWidget* control) {
  if (!control) return 0;
  if (const int designed = DesignedContext(control)) return designed;
  return control->property(kGivenContext).toInt();
}

void SetHelpContextOf(QWidget* control, int context) { control->setProperty(kGivenContext, context); }

int HelpFormBase(const std::string& section) {
  uint32_t hash = 2166136261u;  // FNV-1a
  for (const char c : section) hash = (hash ^ static_cast<uint8_t>(c)) * 16777619u;
  return kFirstFormBase + static_cast<int>(hash % kFormBaseSlots) * kContextsPerForm;
}

void AssignHelpContexts(QWidget* form) {
  const TFormTranslator* translator = ExistingTranslator(form);
  if (!translator) return;
  const int base = HelpFormBase(translator->Section());
  if (HelpContextOf(form) == 0) form->setProperty(kGivenContext, base);
  int next = 1;
  AssignBelow(*translator, form, base, next);
}

int FindHelpContextAtPos(QWidget* control, QPoint globalPos) {
  if (!control) return 0;
  QWidget* found = control;
  // childAt takes disabled children as well.
  while (QWidget* child = found->childAt(found->mapFromGlobal(globalPos))) found = child;
  // Forms shown before their translation (or never translated) get their contexts now.
  TranslatorOf(found->window());
  for (QWidget* w = found; w; w = w->parentWidget())
    if (ExistingTranslator(w)) AssignHelpContexts(w);
  for (QWidget* w = found; w; w = w->parentWidget()) {
    if (const int context = HelpContextOf(w)) return context;
    if (w == control) break;
  }
  return 0;
}

}  // namespace norv
