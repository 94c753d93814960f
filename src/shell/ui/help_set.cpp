#include "shell/ui/help_set.h"

#include <fstream>
#include <map>
#include <set>
#include <string>

#include "controls/help_contexts.h"
#include "controls/switcher.h"
#include "controls/translated_form.h"
#include "shell/help_bridge.h"
#include "shell/shell_state.h"

namespace norv {

namespace {

std::string Html(const QString& text) {
  QString plain = text;
  plain.remove('&');  // accelerator marks
  return plain.toHtmlEscaped().toStdString();
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

void WriteControls(const TFormTranslator& translator, const QWidget* container, TPage& page,
                   std::map<int, std::string>& map) {
  for (QWidget* control : translator.Children(container)) {
    const int context = HelpContextOf(control);
    QString caption = ControlCaption(control);
    if (caption.isEmpty()) caption = control->objectName();
    const bool anchor = context != 0 && page.Anchors.insert(context).second;
    page.Body += anchor ? "<section id=\"" + HelpAnchor(context) + "\">" : "<section>";
    page.Body += "<h3>" + Html(caption) + "</h3>\n";
    if (!control->toolTip().isEmpty()) page.Body += "<p>" + Html(control->toolTip()) + "</p>\n";
    if (auto* switcher = qobject_cast<const TRC_Switcher*>(control))
      if (const std::string path = switcher->GetFullMnemonic(); !path.empty())
        page.Body += "<p>Setting: <code>" + Html(QString::fromStdString(path)) + "</code></p>\n";
    if (anchor) map.emplace(context, page.File);
    WriteControls(translator, control, page, map);
    page.Body += "</section>\n";
  }
}

bool WriteFile(const std::filesystem::path& file, const std::string& text) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << text;
  return static_cast<bool>(out.flush());
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
    QString title = form->windowTitle();
    if (title.isEmpty()) title = QString::fromStdString(section);
    page.Title = Html(title);
    const int context = HelpContextOf(form);
    page.Anchors.insert(context);
    map.emplace(context, page.File);
    page.Body = "<h1 id=\"" + HelpAnchor(context) + "\">" + page.Title + "</h1>\n";
    WriteControls(translator, form, page, map);
    pages.push_back(std::move(page));
  });
  bool written = true;
  std::string index =
      PageStart(std::string(kApplicationTitle) + " Help") + "<h1>" + kApplicationTitle + " Help</h1>\n<ul>\n";
  for (const TPage& page : pages) {
    written &= WriteFile(folder / page.File, PageStart(page.Title) + "<p><a href=\"" + kHelpIndexPage +
                                                 "\">Contents</a></p>\n" + page.Body + "</body></html>\n");
    index += "<li><a href=\"" + page.File + "\">" + page.Title + "</a></li>\n";
  }
  written &= WriteFile(folder / kHelpIndexPage, index + "</ul>\n</body></html>\n");
  std::string mapText;
  for (const auto& [context, file] : map) mapText += std::to_string(context) + " " + file + "\n";
  written &= WriteFile(folder / kHelpContextMap, mapText);
  return written;
}

}  // namespace norv
