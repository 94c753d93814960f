#pragma once
// Translated forms: every window takes its captions, hints, button texts, item lists and
// unit words from the loaded language file. The texts of a form sit in the section named
// after the form ("Acq_Form"; a second instance "Acq_Form_1" shares it), under identifiers
// built from the names of the control and of the containers around it:
//
//   Menu Panel rmpPage1.Menu Panel rmpMode.rswMode.Caption     (.Items, .Hint, .Dimension)
//
// A form's controls are walked in the order they were created (not in Qt's child order,
// which raising a widget changes); unnamed widgets have no texts. Each form keeps the
// texts it was designed with, so a key missing from a language file, or a switch back to
// English, shows the design text again.
//
// A form derives from TLanguageForm and is translated when first shown (side menus: when
// opened); a window of another class (the main window) makes a TFormTranslator its child
// first thing in its constructor and calls Translate() once it is built.

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "framework/text/ini_file.h"
#include "framework/util/hook.h"

namespace norv {

class TFormTranslator : public QObject {
  Q_OBJECT
 public:
  // Becomes the child of `form` and records the order of every widget created below it
  // from now on.
  explicit TFormTranslator(QWidget* form);
  ~TFormTranslator() override;

  QWidget* Form() const { return form_; }
  // The form's name without a trailing "_1".
  std::string Section() const;
  // The named child widgets of a container in the order they were created (a tab
  // control's pages in tab order).
  std::vector<QWidget*> Children(const QWidget* container) const;

  // Applies a language file (nullptr: the design texts).
  void Apply(TCustomIniFile_Dot* ini);
  // Applies the loaded language (the design texts when none is loaded).
  void Translate();
  bool Translated() const { return translated_; }
  // Writes the form's design texts: "Controls", "Caption", then every control.
  void Write(TCustomIniFile_Dot& ini);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void ApplyControl(TCustomIniFile_Dot* ini, QWidget* control, const std::string& prefix);
  void WriteControl(TCustomIniFile_Dot& ini, QWidget* control, const std::string& prefix);
  // The text of an identifier: the translation, else the design text (recorded now when
  // this is the first visit, from `current`).
  QString Text(TCustomIniFile_Dot* ini, const std::string& ident, const QString& current);
  // An item list likewise; a translation with another number of items keeps the design
  // items (with a message), since the setting behind the control has that many.
  QStringList Lines(TCustomIniFile_Dot* ini, const std::string& ident, const QStringList& current,
                    const std::string& fullName);
  QStringList Design(const std::string& ident, const QStringList& current) const;

  QWidget* form_;
  bool translated_ = false;
  std::map<const QObject*, std::vector<QPointer<QObject>>> order_;
  // Identifier -> the texts the control had before any language touched them.
  std::map<std::string, QStringList> design_;
};

// The base of translated forms (dialogs and side menus).
class TLanguageForm : public QWidget {
  Q_OBJECT
 public:
  explicit TLanguageForm(QWidget* parent = nullptr, Qt::WindowFlags flags = {});
  TFormTranslator& Translator() const { return *translator_; }
  void Translate() { translator_->Translate(); }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  TFormTranslator* translator_;
};

// The translator of a form (made when it has none yet).
TFormTranslator& TranslatorOf(QWidget* form);
void ApplyLanguageToForm(TCustomIniFile_Dot* ini, QWidget* form);
// The caption a control shows (label, button, switcher, group box), empty for others.
QString ControlCaption(const QWidget* control);
void WriteFormLanguage(TCustomIniFile_Dot& ini, QWidget* form);
// The loaded language file; nullptr while the built-in English texts are in use.
TCustomIniFile_Dot* CurrentLanguageFile();

// Changes the language while the program runs: the texts (LoadLanguageTexts), then every
// form that exists, then LanguageSwitched. False when index is the language loaded already
// or no language.
bool SwitchLanguage(int index);

struct TTranslatedFormsState {
  // Every translator alive, in order of creation (kept when the program state is reset,
  // since it mirrors live windows).
  std::vector<TFormTranslator*> Forms;
  // Unit text of each edit setting (by path) as designed, and as the last translation left
  // it: a translation without a unit shows the design unit again.
  struct TUnitMemory {
    std::string Design;
    std::string Applied;
  };
  std::map<std::string, TUnitMemory> DesignUnits;
  // Runs after a switch has translated the forms; the shell sets the menu captions and
  // the window caption again and refreshes the screen's texts.
  THook<void()> LanguageSwitched{"TranslatedForms.LanguageSwitched"};
  // Forms that only exist while a dialog is open, made for the English language file
  // (owner: the main window); registered by their subsystems at start-up.
  std::vector<std::function<QWidget*(QWidget* owner)>> LanguageDialogs;
};
extern TTranslatedFormsState TranslatedForms;

void RegisterLanguageDialog(std::function<QWidget*(QWidget* owner)> make);

// Writes "Language-Quel.Eng" in the program folder, once, when language files exist but
// none is English: section Common, the built-in texts, the given forms (the keypad, the
// main window), every side menu (opened in the right panel, which is then emptied) and
// every registered dialog form. False when nothing was written.
bool WriteEnglishLanguageFile(const std::vector<QWidget*>& forms);
// Visits the given forms, every side menu (opened in the right panel, which is then
// emptied) and every registered dialog form (made and freed again), in that order.
void ForEachProgramForm(const std::vector<QWidget*>& forms, const std::function<void(QWidget* form)>& visit);

}  // namespace norv
