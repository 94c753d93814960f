#pragma once
// The help set, written from the program's own forms: one page per form (the given ones,
// every side menu, every dialog) with an anchor per help context of its controls (their
// captions, hints and settings), the index, and the map of contexts to pages.

#include <QWidget>
#include <filesystem>
#include <vector>

namespace norv {

// False when a file could not be written.
bool WriteHelpSet(const std::filesystem::path& folder, const std::vector<QWidget*>& forms);

}  // namespace norv
