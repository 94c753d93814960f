#include "shell/help_bridge.h"

#include <cctype>
#include <charconv>
#include <sstream>
#include <system_error>

#include "framework/settings/program_objects.h"
#include "framework/util/dialog_service.h"
#include "framework/util/file_io.h"
#include "framework/util/program_dir.h"

namespace norv {

THelpHooks HelpHooks;

namespace {

const TProgramUnit HelpUnit("help", [] { HelpHooks = {}; });

std::string FileUrl(const std::filesystem::path& file) {
  return "file://" + file.lexically_normal().string();
}

void HelpError(const std::string& text) { Dialogs().Inform(TMessageKind::Error, text); }

bool HasHelpSet(const std::filesystem::path& folder) {
  std::error_code error;
  return std::filesystem::is_regular_file(folder / kHelpIndexPage, error);
}

}  // namespace

std::filesystem::path HelpFolder() {
  const std::filesystem::path own = ProgramDir() / kHelpFolderName;
  if (HasHelpSet(own)) return own;
  const std::filesystem::path shipped = HelpHooks.ShippedHelpFolder();
  return !shipped.empty() && HasHelpSet(shipped) ? shipped : own;
}

std::string HelpAnchor(int context) { return "ctx" + std::to_string(context); }

std::map<int, std::string> ParseHelpContextMap(const std::string& text) {
  std::map<int, std::string> map;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    const size_t blank = line.find(' ');
    if (blank == std::string::npos) continue;
    int context = 0;
    const auto [end, error] = std::from_chars(line.data(), line.data() + blank, context);
    std::string page = line.substr(blank + 1);
    while (!page.empty() && std::isspace(static_cast<unsigned char>(page.back()))) page.pop_back();
    // Pages are plain file names in the help folder ("." and ".." name folders).
    if (error != std::errc() || end != line.data() + blank || page.empty() || page == "." || page == ".." ||
        page.find_first_of("/\\") != std::string::npos)
      continue;
    map.emplace(context, page);
  }
  return map;
}

std::string HelpUrl(const std::filesystem::path& folder, int context) {
  if (context == 0 || context == kHelpContents) return FileUrl(folder / kHelpIndexPage);
  const std::map<int, std::string> map = ParseHelpContextMap(ReadRegularFile(folder / kHelpContextMap).Bytes);
  const auto it = map.find(context);
  if (it == map.end()) return {};
  return FileUrl(folder / it->second) + "#" + HelpAnchor(context);
}

void ShowHelpContext(int context) {
  const std::filesystem::path folder = HelpFolder();
  if (!HasHelpSet(folder)) {
    HelpError("Error opening Vexilor Norv Help. May be help file is not found.");
    return;
  }
  const std::string url = HelpUrl(folder, context);
  if (url.empty()) {
    HelpError("Unable to show help for context " + std::to_string(context));
    return;
  }
  if (!HelpHooks.OpenUrl(url))
    HelpError("Vexilor Norv Help needs a web browser: no browser could open " + url + ".");
}

}  // namespace norv
