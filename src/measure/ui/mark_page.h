#pragma once
// The markers' side menu (menu 7): type, the two positions, motion, reference and the two
// sources.

namespace norv {

inline constexpr int kMarkMenuId = 7;

void RegisterMarkPage();

}  // namespace norv
