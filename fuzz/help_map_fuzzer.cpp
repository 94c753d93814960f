// The help set's map of contexts ("Help/contexts.map"), as a damaged or hand-edited help
// set may hold it: every context it maps opens a page that is a file of the help folder
// itself, at that context's anchor, and the help is shown for it through the browser hook;
// a context it does not map gives no address; contexts 0 and 1 open the index.
//
// Input: the map file.

#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "shell/help_bridge.h"
#include "support/fuzz_program.h"

using namespace norv;

namespace {

namespace fs = std::filesystem;

// Each address is looked up in the file again: the first entries stand for the others.
constexpr int kEntriesShown = 64;

void WriteBytes(const fs::path& file, std::string_view bytes) {
  std::ofstream(file, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) { return fuzz::InitializeProgram(); }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 65536) return 0;
  fuzz::ClearProgramHome();
  const fs::path folder = ProgramDir() / kHelpFolderName;
  fs::create_directories(folder);
  WriteBytes(folder / kHelpIndexPage, "<html></html>\n");
  const std::string text(fuzz::AsText(data, size));
  WriteBytes(folder / kHelpContextMap, text);

  std::string opened;
  HelpHooks.OpenUrl.Set([&](const std::string& url) {
    opened = url;
    return true;
  });
  const std::string prefix = "file://" + folder.lexically_normal().string();
  const std::map<int, std::string> map = ParseHelpContextMap(text);
  int unmapped = 2;  // the first context from 2 on that the map leaves out
  int shown = 0;
  for (const auto& [context, page] : map) {
    if (context == unmapped) ++unmapped;
    if (context == 0 || context == kHelpContents || ++shown > kEntriesShown) continue;
    const fs::path target = (folder / page).lexically_normal();
    fuzz::Require(target.parent_path() == folder.lexically_normal() && target.filename() == page,
                  "a mapped page is a file of the help folder", page);
    const std::string url = HelpUrl(folder, context);
    fuzz::Require(url == "file://" + target.string() + "#" + HelpAnchor(context),
                  "a mapped context opens its page at its anchor", url);
    ShowHelpContext(context);
    fuzz::Require(opened == url, "the help shown is the page mapped", opened);
  }
  fuzz::Require(HelpUrl(folder, unmapped).empty(), "a context not mapped has no page");
  for (const int context : {0, kHelpContents})
    fuzz::Require(HelpUrl(folder, context) == prefix + "/" + kHelpIndexPage,
                  "contexts 0 and 1 open the index");
  HelpHooks.OpenUrl.Reset();
  return 0;
}
