#include "instrument/startup/desktop_shortcut.h"

#include <system_error>

#include "framework/text/text_case.h"
#include "framework/util/file_io.h"

namespace norv {

namespace {

// A value of the file's string syntax: one line, backslashes escaped.
std::string EntryValue(std::string_view text) {
  std::string value;
  for (char c : text) {
    if (c == '\\') {
      value += "\\\\";
    } else if (static_cast<unsigned char>(c) < ' ') {
      value += ' ';
    } else {
      value += c;
    }
  }
  return value;
}

}  // namespace

std::string ShortcutFileName(std::string_view label) {
  std::string safe;
  for (char c : label)
    safe += c == '/' || c == '\\' || static_cast<unsigned char>(c) < ' ' || c == 0x7f ? '_' : c;
  std::string_view trimmed = TrimBlanks(safe);
  while (!trimmed.empty() && trimmed.front() == '.') trimmed.remove_prefix(1);
  trimmed = TrimBlanks(trimmed);
  return "VXNORV - " + std::string(trimmed.empty() ? "Instrument" : trimmed) + ".desktop";
}

std::string QuoteExecArgument(std::string_view argument) {
  std::string quoted = "\"";
  for (char c : argument) {
    if (c == '"' || c == '`' || c == '$') {
      quoted += '\\';
      quoted += c;
    } else if (c == '\\') {
      quoted += "\\\\";
    } else if (c == '%') {
      quoted += "%%";
    } else {
      quoted += c;
    }
  }
  return EntryValue(quoted + "\"");
}

std::string DesktopEntryText(std::string_view title, const std::filesystem::path& target,
                             const std::vector<std::string>& arguments) {
  std::string exec = QuoteExecArgument(target.string());
  for (const std::string& argument : arguments) exec += " " + QuoteExecArgument(argument);
  return "[Desktop Entry]\nType=Application\nName=" + EntryValue(title) + "\nExec=" + exec +
         "\nPath=" + EntryValue(target.parent_path().string()) + "\nIcon=vexilor-norv\nTerminal=false\n";
}

bool CreateShortcut(const std::filesystem::path& linkFile, const std::vector<std::string>& arguments,
                    const std::filesystem::path& target) {
  if (!WriteFileAtomically(linkFile, DesktopEntryText(linkFile.stem().string(), target, arguments), false))
    return false;
  // A link put in the file's place since the write is not followed out of the folder.
  std::error_code error;
  std::filesystem::permissions(linkFile,
                               std::filesystem::perms::owner_exec | std::filesystem::perms::group_exec |
                                   std::filesystem::perms::others_exec,
                               std::filesystem::perm_options::add | std::filesystem::perm_options::nofollow,
                               error);
  return true;
}

}  // namespace norv
