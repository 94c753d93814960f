#pragma once
// Heights that let the instrument pages hold all their controls within one page panel.

namespace norv::page_sizes {

// A choice of `rows` rows of buttons below its caption strip.
constexpr int Radio(int rows) { return 20 + 13 * rows; }
// An edit: caption strip, value box and its two arrow zones.
inline constexpr int Edit = 49;
// A value label: caption strip and value box.
inline constexpr int Label = 43;
// An on/off pair of buttons.
inline constexpr int OnOff = 35;
// A drop-down list below its caption strip.
inline constexpr int List = 43;
// A command button without a caption strip.
inline constexpr int Link = 24;

}  // namespace norv::page_sizes
