#pragma once
// The side menu of the Save/Recall button (menu 6), three pages over the "Save:" settings:
// 1 the waveform memories M1-M4, 2 waveform and database files, 3 setups. The memory
// page turns to the other two by its buttons, each of which turns back by "Back".

namespace norv {

inline constexpr int kSaveMenuId = 6;

void RegisterSavePage();

}  // namespace norv
