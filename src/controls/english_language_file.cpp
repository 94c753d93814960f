// The English language file, written from the built-in texts and the forms themselves, so
// that translators start from a complete list.

#include <memory>

#include "controls/side_menu.h"
#include "controls/translated_form.h"
#include "framework/language/language.h"
#include "framework/util/dialog_service.h"
#include "framework/util/program_dir.h"

namespace norv {

void ForEachProgramForm(const std::vector<QWidget*>& forms, const std::function<void(QWidget* form)>& visit) {
  for (QWidget* form : forms)
    if (form) visit(form);
  // Each menu as it opens, so that its edits' units are those of their settings.
  for (int id = 0; id < kNoMenu; ++id) {
    try {
      if (ShowSideMenu(id, kRightPanel) && SideMenuForms[kRightPanel]) visit(SideMenuForms[kRightPanel]);
    } catch (const std::exception&) {
      // A menu that cannot be built is left out; the others are still visited.
    }
  }
  ShowSideMenu(kNoMenu, kRightPanel);
  for (const auto& make : TranslatedForms.LanguageDialogs) {
    try {
      std::unique_ptr<QWidget> dialog(make(SideMenuState.Host));
      if (dialog) visit(dialog.get());
    } catch (const std::exception&) {
    }
  }
}

bool WriteEnglishLanguageFile(const std::vector<QWidget*>& forms) {
  if (!EnglishFileMissing) return false;
  Dialogs().Inform(TMessageKind::Information, "English Language File must be Created.");
  try {
    TLangIniFile ini(ProgramDir() / LanguageFileName("Eng"));
    ini.Clear();
    ini.SetEncoding(TTextEncoding::Utf16LE);
    WriteLangValue(ini, "Common", "Language", "English");
    WriteLangValue(ini, "Common", "CheckFont", "Delta Δ, фронт _/ˉ, бесконечность ∞");
    WriteResourceStrings(LanguageStrings, ini);
    WritingEnglishFile = true;
    ForEachProgramForm(forms, [&ini](QWidget* form) { WriteFormLanguage(ini, form); });
    WritingEnglishFile = false;
    ini.UpdateFile();
  } catch (const EIniFileError& e) {
    WritingEnglishFile = false;
    LanguageMessageHook(e.what());
    return false;
  }
  return true;
}

}  // namespace norv
