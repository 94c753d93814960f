#include "controls/translated_form.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QChildEvent>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QStatusBar>
#include <QTabWidget>
#include <QTextEdit>
#include <QTreeWidget>
#include <algorithm>

#include "controls/choice_switchers.h"
#include "controls/command_switchers.h"
#include "controls/controls_state.h"
#include "controls/edit_switchers.h"
#include "controls/help_contexts.h"
#include "controls/list_switchers.h"
#include "controls/look.h"
#include "controls/main_menu_button.h"
#include "framework/language/language.h"
#include "framework/settings/numeric_handlers.h"
#include "framework/settings/program_objects.h"
#include "framework/settings/settings_tree.h"
#include "framework/text/dot_number.h"

namespace norv {

TTranslatedFormsState TranslatedForms;
const TProgramUnit TranslatedFormsUnit("translated forms", [] {
  std::vector<TFormTranslator*> alive = std::move(TranslatedForms.Forms);
  TranslatedForms = {};
  TranslatedForms.Forms = std::move(alive);
});

namespace {

// How a control carries its texts.
enum class TKind : uint8_t {
  MenuPanel,  // containers: caption, children
  Panel,
  TabControl,
  GroupBox,
  Caption,         // labels and buttons: the caption alone
  ListView,        // column titles
  NoText,          // edits, status and progress bars
  MainCommand,     // button text, hint, menu lines
  Edit,            // caption, hint, unit of its setting
  Items,           // caption, hint, items (button and list switchers)
  Commands,        // caption, hint, button texts
  Switcher,        // caption, hint
  MainMenuButton,  // caption
  Unknown,
};

TKind KindOf(const QWidget* w) {
  if (qobject_cast<const TRC_RightMenuPanel*>(w)) return TKind::MenuPanel;
  if (qobject_cast<const QGroupBox*>(w)) return TKind::GroupBox;
  if (qobject_cast<const TRC_MainCommandSwitcher*>(w)) return TKind::MainCommand;
  if (qobject_cast<const TRC_EditSwitcher*>(w)) return TKind::Edit;
  if (qobject_cast<const TRC_PolyButtonSwitcher*>(w) || qobject_cast<const TRC_ListBoxSwitcher*>(w))
    return TKind::Items;
  if (qobject_cast<const TRC_CustomCmmandSwitcher*>(w)) return TKind::Commands;
  if (qobject_cast<const TRC_Switcher*>(w)) return TKind::Switcher;
  if (qobject_cast<const TButtonOfMainMenu*>(w)) return TKind::MainMenuButton;
  if (qobject_cast<const QTabWidget*>(w)) return TKind::TabControl;
  if (qobject_cast<const QTreeWidget*>(w)) return TKind::ListView;
  if (qobject_cast<const QLabel*>(w) || qobject_cast<const QAbstractButton*>(w)) return TKind::Caption;
  if (qobject_cast<const QLineEdit*>(w) || qobject_cast<const QStatusBar*>(w) ||
      qobject_cast<const QProgressBar*>(w) || qobject_cast<const QAbstractSpinBox*>(w) ||
      qobject_cast<const QComboBox*>(w) || qobject_cast<const QTextEdit*>(w) ||
      qobject_cast<const QPlainTextEdit*>(w))
    return TKind::NoText;
  if (qobject_cast<const QFrame*>(w) || w->metaObject() == &QWidget::staticMetaObject) return TKind::Panel;
  // A widget of our own that paints itself (the screen) has no texts.
  if (w->metaObject()->superClass() == &QWidget::staticMetaObject) return TKind::NoText;
  return TKind::Unknown;
}

const char* ContainerWord(TKind kind) {
  switch (kind) {
    case TKind::MenuPanel:
      return "Menu Panel ";
    case TKind::Panel:
      return "Panel ";
    case TKind::TabControl:
      return "Table Ctrl ";
    case TKind::GroupBox:
      return "Group Box ";
    default:
      return nullptr;
  }
}

// Widgets without a name (and Qt's own parts) have no texts of their own; a form inside
// another (the keypad in the main window) has a section of its own.
bool Named(const QWidget* w) {
  const QString name = w->objectName();
  return !name.isEmpty() && !name.startsWith("qt_") &&
         !w->findChild<TFormTranslator*>(QString(), Qt::FindDirectChildrenOnly);
}

std::string Std(const QString& text) { return text.toStdString(); }
QString Qs(const std::string& text) { return QString::fromStdString(text); }

// Item lists are stored as their text: every line followed by CR LF.
std::string JoinLines(const QStringList& lines) {
  std::string text;
  for (const QString& line : lines) text += Std(line) + "\r\n";
  return text;
}

QStringList SplitLines(const std::string& text) {
  QString all = Qs(text);
  all.replace("\r\n", "\n");
  QStringList lines = all.split('\n');
  if (!lines.isEmpty() && lines.back().isEmpty()) lines.pop_back();
  return lines;
}

QStringList ButtonCaptions(const TRC_CustomCmmandSwitcher& s) {
  QStringList captions;
  for (int i = 0; i < s.ButtonCount(); ++i) captions << s.ButtonCaption(i);
  return captions;
}

QStringList TabTexts(const QTabWidget& tabs) {
  QStringList texts;
  for (int i = 0; i < tabs.count(); ++i) texts << tabs.tabText(i);
  return texts;
}

QStringList ItemsOf(const QWidget* w) {
  if (auto* poly = qobject_cast<const TRC_PolyButtonSwitcher*>(w)) return poly->Items();
  if (auto* list = qobject_cast<const TRC_ListBoxSwitcher*>(w)) return list->Items();
  return {};
}

QString CaptionOf(const QWidget* w) {
  if (auto* label = qobject_cast<const QLabel*>(w)) return label->text();
  if (auto* button = qobject_cast<const QAbstractButton*>(w)) return button->text();
  if (auto* box = qobject_cast<const QGroupBox*>(w)) return box->title();
  if (auto* main = qobject_cast<const TRC_MainCommandSwitcher*>(w)) return main->TextBtn();
  if (auto* switcher = qobject_cast<const TRC_Switcher*>(w)) return switcher->Caption();
  if (auto* button = qobject_cast<const TButtonOfMainMenu*>(w)) return button->Caption();
  return {};
}

void SetCaptionOf(QWidget* w, const QString& text) {
  if (auto* label = qobject_cast<QLabel*>(w)) return label->setText(text);
  if (auto* button = qobject_cast<QAbstractButton*>(w)) return button->setText(text);
  if (auto* box = qobject_cast<QGroupBox*>(w)) return box->setTitle(text);
  if (auto* main = qobject_cast<TRC_MainCommandSwitcher*>(w)) return main->SetTextBtn(text);
  if (auto* switcher = qobject_cast<TRC_Switcher*>(w)) return switcher->SetCaption(text);
  if (auto* button = qobject_cast<TButtonOfMainMenu*>(w)) return button->SetCaption(text);
}

// The numeric setting an edit shows, bound or not.
TEditHandler* EditHandlerOf(const TRC_Switcher& s) {
  THandler* handler = s.GetHandler();
  if (!handler && RootSpider && !s.GetFullMnemonic().empty())
    handler = RootSpider->FindHandler(s.GetFullMnemonic());
  return dynamic_cast<TEditHandler*>(handler);
}

}  // namespace

// ---------------------------------------------------------------------------------------
// TFormTranslator

TFormTranslator::TFormTranslator(QWidget* form) : QObject(form), form_(form) {
  form->installEventFilter(this);
  TranslatedForms.Forms.push_back(this);
}

TFormTranslator::~TFormTranslator() { std::erase(TranslatedForms.Forms, this); }

std::string TFormTranslator::Section() const {
  std::string name = Std(form_->objectName());
  if (name.ends_with("_1")) name.resize(name.size() - 2);
  return name;
}

bool TFormTranslator::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::ChildAdded || event->type() == QEvent::ChildRemoved) {
    QObject* child = static_cast<QChildEvent*>(event)->child();
    if (child->isWidgetType()) {
      std::vector<QPointer<QObject>>& order = order_[watched];
      std::erase(order, child);
      if (event->type() == QEvent::ChildAdded) {
        order.emplace_back(child);
        child->installEventFilter(this);
      } else {
        order_.erase(child);
      }
    }
  }
  return QObject::eventFilter(watched, event);
}

std::vector<QWidget*> TFormTranslator::Children(const QWidget* container) const {
  std::vector<QWidget*> result;
  if (auto* tabs = qobject_cast<const QTabWidget*>(container)) {
    for (int i = 0; i < tabs->count(); ++i)
      if (Named(tabs->widget(i))) result.push_back(tabs->widget(i));
    return result;
  }
  auto take = [&](QObject* object) {
    auto* w = qobject_cast<QWidget*>(object);
    if (w && w->parent() == container && Named(w) &&
        std::find(result.begin(), result.end(), w) == result.end())
      result.push_back(w);
  };
  if (auto it = order_.find(container); it != order_.end())
    for (const QPointer<QObject>& child : it->second) take(child.data());
  // Children made before the order was recorded follow in Qt's order.
  for (QObject* child : container->children()) take(child);
  return result;
}

QStringList TFormTranslator::Design(const std::string& ident, const QStringList& current) const {
  auto it = design_.find(ident);
  return it != design_.end() ? it->second : current;
}

QString TFormTranslator::Text(TCustomIniFile_Dot* ini, const std::string& ident, const QString& current) {
  const QString design = design_.try_emplace(ident, QStringList{current}).first->second.value(0);
  const std::string text = ini ? ReadLangValueLogged(*ini, Section(), ident) : std::string();
  return text.empty() ? design : Qs(text);
}

QStringList TFormTranslator::Lines(TCustomIniFile_Dot* ini, const std::string& ident,
                                   const QStringList& current, const std::string& fullName) {
  const QStringList design = design_.try_emplace(ident, current).first->second;
  const std::string text = ini ? ReadLangValueLogged(*ini, Section(), ident) : std::string();
  if (text.empty() || text == " ") return design;
  QStringList lines = SplitLines(text);
  if (lines.size() == design.size()) return lines;
  LanguageMessageHook(
      Format_Dot("ERROR!!! - Component %s.%s\r\nhas %d Items, but in Language File only %d Items", Section(),
                 fullName, design.size(), lines.size()));
  return design;
}

void TFormTranslator::Apply(TCustomIniFile_Dot* ini) {
  form_->setWindowTitle(Text(ini, "Caption", form_->windowTitle()));
  // A dialog's title is all it says of itself; the main window's is long and may elide.
  if (qobject_cast<QDialog*>(form_) != nullptr) KeepTitleWhole(*form_);
  for (QWidget* child : Children(form_)) ApplyControl(ini, child, {});
  translated_ = true;
  AssignHelpContexts(form_);
}

void TFormTranslator::Translate() { Apply(CurrentLanguageFile()); }

void TFormTranslator::ApplyControl(TCustomIniFile_Dot* ini, QWidget* control, const std::string& prefix) {
  const std::string full = prefix + Std(control->objectName());
  const TKind kind = KindOf(control);
  if (const char* word = ContainerWord(kind)) {
    const std::string path = prefix + word + Std(control->objectName());
    if (kind == TKind::MenuPanel || kind == TKind::GroupBox)
      SetCaptionOf(control, Text(ini, path + ".Caption", CaptionOf(control)));
    if (auto* tabs = qobject_cast<QTabWidget*>(control)) {
      const QStringList texts = Lines(ini, full + ".Items", TabTexts(*tabs), full);
      for (int i = 0; i < tabs->count(); ++i) tabs->setTabText(i, texts.value(i));
    }
    for (QWidget* child : Children(control)) ApplyControl(ini, child, path + ".");
    return;
  }
  switch (kind) {
    case TKind::Caption:
    case TKind::MainMenuButton:
      SetCaptionOf(control, Text(ini, full + ".Caption", CaptionOf(control)));
      return;
    case TKind::ListView: {
      QTreeWidgetItem* header = static_cast<QTreeWidget*>(control)->headerItem();
      for (int n = 0; n < header->columnCount(); ++n)
        header->setText(n, Text(ini, full + Format_Dot(".Column[%d]", n), header->text(n)));
      return;
    }
    case TKind::NoText:
    case TKind::Unknown:
      return;
    default:
      break;
  }
  auto* switcher = static_cast<TRC_Switcher*>(control);
  SetCaptionOf(switcher, Text(ini, full + ".Caption", CaptionOf(switcher)));
  if (switcher->RunTimeItems) return;
  switcher->setToolTip(Text(ini, full + ".Hint", switcher->toolTip()));
  if (kind == TKind::Edit) {
    TEditHandler* handler = EditHandlerOf(*switcher);
    if (!handler) return;
    const std::string now = handler->GetUnitText();
    auto [memory, fresh] = TranslatedForms.DesignUnits.try_emplace(
        switcher->GetFullMnemonic(), TTranslatedFormsState::TUnitMemory{now, now});
    // A unit the program changed since the last translation is the design unit from now on.
    if (now != memory->second.Applied) memory->second.Design = now;
    const std::string text = ini ? ReadLangValueLogged(*ini, Section(), full + ".Dimension") : std::string();
    const std::string unit = text.empty() ? memory->second.Design : text;
    memory->second.Applied = unit;
    if (unit != now) handler->SetUnitText(unit);
  } else if (auto* main = qobject_cast<TRC_MainCommandSwitcher*>(switcher)) {
    const QStringList lines = Lines(ini, full + ".Menu", main->MenuItems(), full);
    if (lines != main->MenuItems()) main->SetMenuItems(lines);
  } else if (kind == TKind::Items) {
    const QStringList items = Lines(ini, full + ".Items", ItemsOf(switcher), full);
    if (items == ItemsOf(switcher)) return;
    if (auto* poly = qobject_cast<TRC_PolyButtonSwitcher*>(switcher)) poly->SetItems(items);
    if (auto* list = qobject_cast<TRC_ListBoxSwitcher*>(switcher)) list->SetItems(items);
    // New items forget the choice shown; the setting tells it again.
    if (switcher->GetHandler()) switcher->UpdateFromHandler();
  } else if (auto* commands = qobject_cast<TRC_CustomCmmandSwitcher*>(switcher)) {
    const QStringList captions = Lines(ini, full + ".Items", ButtonCaptions(*commands), full);
    for (int i = 0; i < commands->ButtonCount(); ++i) commands->SetButtonCaption(i, captions.value(i));
  }
}

void TFormTranslator::Write(TCustomIniFile_Dot& ini) {
  const std::string section = Section();
  const std::vector<QWidget*> children = Children(form_);
  WriteLangInt(ini, section, "Controls", static_cast<int64_t>(children.size()));
  WriteLangValue(ini, section, "Caption", Std(Design("Caption", {form_->windowTitle()}).value(0)));
  for (QWidget* child : children) WriteControl(ini, child, {});
}

void TFormTranslator::WriteControl(TCustomIniFile_Dot& ini, QWidget* control, const std::string& prefix) {
  const std::string section = Section();
  const std::string full = prefix + Std(control->objectName());
  auto write = [&](const std::string& ident, const QString& text) {
    WriteLangValue(ini, section, ident, Std(text));
  };
  auto design = [&](const std::string& ident, const QString& current) {
    return Design(ident, {current}).value(0);
  };
  const TKind kind = KindOf(control);
  if (const char* word = ContainerWord(kind)) {
    const std::string path = prefix + word + Std(control->objectName());
    WriteLangValue(ini, section, path + "._Name", full);
    const bool captioned = kind == TKind::MenuPanel || kind == TKind::GroupBox;
    write(path + ".Caption", captioned ? design(path + ".Caption", CaptionOf(control)) : QString());
    if (auto* tabs = qobject_cast<QTabWidget*>(control))
      WriteLangValue(ini, section, full + ".Items", JoinLines(Design(full + ".Items", TabTexts(*tabs))));
    for (QWidget* child : Children(control)) WriteControl(ini, child, path + ".");
    return;
  }
  switch (kind) {
    case TKind::Caption:
    case TKind::MainMenuButton:
      write(full + ".Caption", design(full + ".Caption", CaptionOf(control)));
      return;
    case TKind::ListView: {
      QTreeWidgetItem* header = static_cast<QTreeWidget*>(control)->headerItem();
      for (int n = 0; n < header->columnCount(); ++n) {
        const std::string ident = full + Format_Dot(".Column[%d]", n);
        write(ident, design(ident, header->text(n)));
      }
      return;
    }
    case TKind::NoText:
      write(full + ".Caption", {});
      return;
    case TKind::Unknown:
      WriteLangValue(ini, section, full + ".Caption",
                     "Unknown control " + full + " in " + prefix + " parent");
      return;
    default:
      break;
  }
  auto* switcher = static_cast<TRC_Switcher*>(control);
  write(full + ".Caption", design(full + ".Caption", CaptionOf(switcher)));
  if (switcher->RunTimeItems) return;
  const QString hint = design(full + ".Hint", switcher->toolTip());
  if (kind == TKind::MainCommand || !hint.isEmpty()) write(full + ".Hint", hint);
  // An edit bound only at run time (the keypad's) has no unit of its own.
  if (kind == TKind::Edit && switcher->GetFullMnemonic().empty() && !switcher->GetHandler()) return;
  if (kind == TKind::Edit) {
    std::string unit = "Dimension undefined - Switcher is undefinite";
    if (TEditHandler* handler = EditHandlerOf(*switcher)) {
      auto memory = TranslatedForms.DesignUnits.find(switcher->GetFullMnemonic());
      unit = memory != TranslatedForms.DesignUnits.end() ? memory->second.Design : handler->GetUnitText();
    } else {
      Beep();
    }
    WriteLangValue(ini, section, full + ".Dimension", unit);
  } else if (auto* main = qobject_cast<TRC_MainCommandSwitcher*>(switcher)) {
    WriteLangValue(ini, section, full + ".Menu", JoinLines(Design(full + ".Menu", main->MenuItems())));
  } else if (kind == TKind::Items) {
    WriteLangValue(ini, section, full + ".Items", JoinLines(Design(full + ".Items", ItemsOf(switcher))));
  } else if (auto* commands = qobject_cast<TRC_CustomCmmandSwitcher*>(switcher)) {
    WriteLangValue(ini, section, full + ".Items",
                   JoinLines(Design(full + ".Items", ButtonCaptions(*commands))));
  }
}

// ---------------------------------------------------------------------------------------
// Forms

TLanguageForm::TLanguageForm(QWidget* parent, Qt::WindowFlags flags)
    : QWidget(parent, flags), translator_(new TFormTranslator(this)) {
  setFont(ProgramFont());
}

void TLanguageForm::showEvent(QShowEvent* event) {
  if (!translator_->Translated()) translator_->Translate();
  QWidget::showEvent(event);
}

TFormTranslator& TranslatorOf(QWidget* form) {
  if (auto* translator = form->findChild<TFormTranslator*>(QString(), Qt::FindDirectChildrenOnly))
    return *translator;
  return *new TFormTranslator(form);
}

QString ControlCaption(const QWidget* control) { return CaptionOf(control); }

void ApplyLanguageToForm(TCustomIniFile_Dot* ini, QWidget* form) { TranslatorOf(form).Apply(ini); }

void WriteFormLanguage(TCustomIniFile_Dot& ini, QWidget* form) { TranslatorOf(form).Write(ini); }

TCustomIniFile_Dot* CurrentLanguageFile() {
  if (!Languages || EnglishFileMissing) return nullptr;
  return Languages->Ini.get();
}

bool SwitchLanguage(int index) {
  if (!LoadLanguageTexts(index)) return false;
  TCustomIniFile_Dot* ini = CurrentLanguageFile();
  // A copy: translating a form may make or free others.
  const std::vector<TFormTranslator*> forms = TranslatedForms.Forms;
  for (TFormTranslator* form : forms) {
    if (std::find(TranslatedForms.Forms.begin(), TranslatedForms.Forms.end(), form) ==
        TranslatedForms.Forms.end())
      continue;
    form->Apply(ini);
    // The texts the program sets from its settings (a channel page's caption) come last.
    for (TRC_Switcher* switcher : form->Form()->findChildren<TRC_Switcher*>()) switcher->UpdateFromHandler();
  }
  TranslatedForms.LanguageSwitched();
  return true;
}

void RegisterLanguageDialog(std::function<QWidget*(QWidget* owner)> make) {
  TranslatedForms.LanguageDialogs.push_back(std::move(make));
}

}  // namespace norv
