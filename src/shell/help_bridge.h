#pragma once
// Context help: the program's HTML help set below "Help/" in the program folder, else the
// one the build writes beside the executable, opened at a context in the desktop's browser.
// The set holds one page per form with an anchor per help context, an index, and the map of
// contexts to pages ("contexts.map", lines "context page.html").

#include <filesystem>
#include <map>
#include <string>

#include "framework/util/hook.h"
#include "framework/util/program_dir.h"

namespace norv {

inline constexpr const char* kHelpFolderName = "Help";
inline constexpr const char* kHelpIndexPage = "index.html";
inline constexpr const char* kHelpContextMap = "contexts.map";
// Context 1 is the table of contents; 0 asks for no topic in particular.
inline constexpr int kHelpContents = 1;

struct THelpHooks {
  // The desktop's browser opens a URL; false when none could.
  THook<bool(const std::string& url)> OpenUrl{"HelpHooks.OpenUrl"};
  // The help set shipped with the program, for a program folder without one of its own
  // (VEXILOR_NORV_HOME names a folder apart from the executable's).
  THook<std::filesystem::path()> ShippedHelpFolder{Fallback("HelpHooks.ShippedHelpFolder"),
                                                   [] { return ExecutableDir() / kHelpFolderName; }};
};
extern THelpHooks HelpHooks;

// The program folder's help set when it has one, else the shipped one when that exists,
// else the program folder's (which then holds none).
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
