#pragma once
// Context help: the program's HTML help set below "Help/" in the program folder, opened
// at a context in the desktop's browser. The set holds one page per form with an anchor
// per help context, an index, and the map of contexts to pages ("contexts.map", lines
// "context page.html").

#include <filesystem>
#include <map>
#include <string>

#include "framework/util/hook.h"

namespace norv {

inline constexpr const char* kHelpFolderName = "Help";
inline constexpr const char* kHelpIndexPage = "index.html";
inline constexpr const char* kHelpContextMap = "contexts.map";
// Context 1 is the table of contents; 0 asks for no topic in particular.
inline constexpr int kHelpContents = 1;

struct THelpHooks {
  // The desktop's browser opens a URL; false when none could.
  THook<bool(const std::string& url)> OpenUrl{"HelpHooks.OpenUrl"};
};
extern THelpHooks HelpHooks;

std::filesystem::path HelpFolder();
// The anchor name of a context: "ctx" and its number.
std::string HelpAnchor(int context);
// "context page" lines; lines that are no such pair are skipped.
std::map<int, std::string> ParseHelpContextMap(const std::string& text);
// The address that shows a context: the index for 0 and 1, else page#anchor; empty when
// the set has no such context.
std::string HelpUrl(const std::filesystem::path& folder, int context);
// Opens the help at the context, or says why it cannot.
void ShowHelpContext(int context);

}  // namespace norv
