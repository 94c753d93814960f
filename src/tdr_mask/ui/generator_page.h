#pragma once
// The generator side menu (menu 16): the mode with its clock, delay and width on the
// first page; an output's deskew, offset and slope on the second; that output's zero
// constants on the third.

namespace norv {

inline constexpr int kGeneratorMenuId = 16;

void RegisterGeneratorPage();

}  // namespace norv
