#pragma once
// A desktop launcher that starts the program on a chosen instrument: a ".desktop" file in
// the user's desktop folder whose command line names the instrument.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace norv {

// "VXNORV - <label>.desktop" with the label made safe as one file name: '/', '\' and
// control characters become '_', leading dots and outer blanks go; an empty result
// becomes "Instrument".
std::string ShortcutFileName(std::string_view label);

// One argument of an Exec line, always quoted: '"', '`', '$' and '\' escaped inside the
// quotes, '%' doubled, and the backslashes escaped once more for the file's string syntax.
std::string QuoteExecArgument(std::string_view argument);

// The launcher's text: [Desktop Entry] of type Application named `title`, running
// `target` with the arguments from the target's folder.
std::string DesktopEntryText(std::string_view title, const std::filesystem::path& target,
                             const std::vector<std::string>& arguments);

// Writes the launcher (executable, so that desktops trust it); true when it was written.
bool CreateShortcut(const std::filesystem::path& linkFile, const std::vector<std::string>& arguments,
                    const std::filesystem::path& target);

}  // namespace norv
