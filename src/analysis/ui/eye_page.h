#pragma once
// The eye diagram side menu (menu 14): the mode, source and display window on the first
// page; the four parameter lists, the statistics and the eye boundaries and thresholds on
// pages of their own, each with a way back to the first.

namespace norv {

inline constexpr int kEyeMenuId = 14;

void RegisterEyePage();

}  // namespace norv
