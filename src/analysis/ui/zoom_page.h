#pragma once
// The zoom side menu (menu 12): the trace whose view it sets, its complex view and
// suppression on the first page; the vertical and horizontal scale and position on the
// second, bound to the scale of the trace's present view.

namespace norv {

inline constexpr int kZoomMenuId = 12;

// Registers the menu's form with the side menus.
void RegisterZoomPage();

}  // namespace norv
