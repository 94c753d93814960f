#pragma once
// The histogram's side menu (menu 13): axis, run-until and source on its first page, and
// pages for the window, the scale and the mode, reached by its own buttons.

namespace norv {

inline constexpr int kHistMenuId = 13;

// Registers the menu's form with the side menus.
void RegisterHistPage();

}  // namespace norv
