#pragma once
// The desktop's browser (xdg-open behind QDesktopServices).

#include <string>

namespace norv {

// False when no program could open the address.
bool OpenUrlInBrowser(const std::string& url);

}  // namespace norv
