#pragma once
// The O/E converter side menu (menu 1): where the converter's output is connected, the
// wavelength and the gain in use; the dark-level compensation and the gain calibration of
// a user point on panels of their own.

namespace norv {

inline constexpr int kOEMenuId = 1;

// Registers the menu's form with the side menus.
void RegisterOEPage();

}  // namespace norv
