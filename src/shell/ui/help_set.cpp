#include "shell/ui/help_set.h"

#include <QTextDocument>
#include <QTextDocumentFragment>
#include <map>
#include <set>
#include <string>

#include "controls/choice_switchers.h"
#include "controls/command_switchers.h"
#include "controls/help_contexts.h"
#include "controls/switcher.h"
#include "controls/translated_form.h"
#include "framework/util/file_io.h"
#include "shell/help_bridge.h"
#include "shell/shell_state.h"

namespace norv {

namespace {

std::string Html(const QString& text) {
  QString plain = text;
  plain.remove('&');  // accelerator marks
  return plain.toHtmlEscaped().toStdString();
}

// A text as the reader sees it: a rich text (a link) without its markup, without the
// blanks around it.
QString Plain(const QString& text) {
  const QString plain =
      Qt::mightBeRichText(text) ? QTextDocumentFragment::fromHtml(text).toPlainText() : text;
  return plain.trimmed();
}

// The texts on a control's buttons, one after the other.
QString ButtonTexts(const QWidget* control) {
  QStringList texts;
  if (auto* command = qobject_cast<const TRC_CustomCmmandSwitcher*>(control))
    for (int i = 0; i < command->ButtonCount(); ++i) texts << Plain(command->ButtonCaption(i));
  if (auto* choice = qobject_cast<const TRC_PolyButtonSwitcher*>(control))
    for (const QString& item : choice->Items()) texts << Plain(item);
  texts.removeAll(QString());
  return texts.join(" / ");
}

// What a control says of itself: its caption (the texts of its buttons when it has no
// caption strip), else its hint.
QString OwnTitle(const QWidget* control) {
  QString title = Plain(ControlCaption(control));
  if (title.isEmpty()) title = ButtonTexts(control);
  return title.isEmpty() ? Plain(control->toolTip()) : title;
}

// The title of a form's page: its caption, else that of its first panel (a side menu), else
// the program's name.
QString FormTitle(const QWidget* form) {
  if (const QString title = Plain(form->windowTitle()); !title.isEmpty()) return title;
  for (const TRC_RightMenuPanel* panel : form->findChildren<TRC_RightMenuPanel*>())
    if (const QString title = Plain(panel->title()); !title.isEmpty()) return title;
  return QString::fromUtf8(kApplicationTitle);
}

// The heading of a control that says nothing of itself: the caption of the panel or form
// it lies in.
QString SurroundingTitle(const QWidget* control, const QWidget* form) {
  for (const QWidget* w = control->parentWidget(); w != nullptr && w != form; w = w->parentWidget())
    if (const QString title = Plain(ControlCaption(w)); !title.isEmpty()) return title;
  return FormTitle(form);
}

std::string PageName(const std::string& section) {
  std::string name;
  for (const char c : section)
    name += std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-' ? c : '_';
  return name + ".html";
}

std::string PageStart(const std::string& title) {
  return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" + title +
         "</title>\n<style>body{font-family:sans-serif;max-width:50em;margin:1em auto}"
         "section{margin:0.4em 0 0.4em 1.5em}code{color:#045}</style></head><body>\n";
}

struct TPage {
  std::string File = {};
  std::string Title = {};
  std::string Body = {};
  std::set<int> Anchors = {};
};

void WriteControls(const TFormTranslator& translator, const QWidget* form, const QWidget* container,
                   TPage& page, std::map<int, std::string>& map) {
  for (QWidget* control : translator.Children(container)) {
    const int context = HelpContextOf(control);
    const std::vector<QWidget*> inside = translator.Children(control);
    QString title = OwnTitle(control);
    // A container that says nothing of itself (a page of a menu, a row of commands) holds
    // its controls without a heading of its own.
    if (title.isEmpty() && inside.empty()) title = SurroundingTitle(control, form);
    const bool anchor = context != 0 && page.Anchors.insert(context).second;
    page.Body += anchor ? "<section id=\"" + HelpAnchor(context) + "\">" : "<section>";
    if (!title.isEmpty()) page.Body += "<h3>" + Html(title) + "</h3>\n";
    const QString hint = Plain(control->toolTip());
    if (!hint.isEmpty() && hint != title) page.Body += "<p>" + Html(hint) + "</p>\n";
    // A button that only turns a page or opens a window sets nothing.
    if (auto* switcher = qobject_cast<const TRC_Switcher*>(control);
        switcher && switcher->Mnemonics() != kNoneHandler)
      if (const std::string path = switcher->GetFullMnemonic(); !path.empty())
        page.Body += "<p>Setting: <code>" + Html(QString::fromStdString(path)) + "</code></p>\n";
    if (anchor) map.emplace(context, page.File);
    WriteControls(translator, form, control, page, map);
    page.Body += "</section>\n";
  }
}

}  // namespace

bool WriteHelpSet(const std::filesystem::path& folder, const std::vector<QWidget*>& forms) {
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  std::vector<TPage> pages;
  std::map<int, std::string> map;
  std::set<std::string> sections;
  ForEachProgramForm(forms, [&](QWidget* form) {
    TFormTranslator& translator = TranslatorOf(form);
    translator.Translate();
    const std::string section = translator.Section();
    if (!sections.insert(section).second) return;  // a form shown twice (startup questions)
    TPage page{.File = PageName(section)};
    page.Title = Html(FormTitle(form));
    const int context = HelpContextOf(form);
    page.Anchors.insert(context);
    map.emplace(context, page.File);
    page.Body = "<h1 id=\"" + HelpAnchor(context) + "\">" + page.Title + "</h1>\n";
    WriteControls(translator, form, form, page, map);
    pages.push_back(std::move(page));
  });
  bool written = true;
  std::string index =
      PageStart(std::string(kApplicationTitle) + " Help") + "<h1>" + kApplicationTitle + " Help</h1>\n<ul>\n";
  for (const TPage& page : pages) {
    written &=
        WriteFileAtomically(folder / page.File, PageStart(page.Title) + "<p><a href=\"" + kHelpIndexPage +
                                                    "\">Contents</a></p>\n" + page.Body + "</body></html>\n");
    index += "<li><a href=\"" + page.File + "\">" + page.Title + "</a></li>\n";
  }
  written &= WriteFileAtomically(folder / kHelpIndexPage, index + "</ul>\n</body></html>\n");
  std::string mapText;
  for (const auto& [context, file] : map) mapText += std::to_string(context) + " " + file + "\n";
  written &= WriteFileAtomically(folder / kHelpContextMap, mapText);
  return written;
}

}  // namespace norv
