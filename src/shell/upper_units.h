#pragma once
// The units above the instrument layer that exist take their steps in the program's
// registration and apply order: the display colours and display settings, save and recall, the main
// commands, the remote waveform transfer and the "Gui" node. The program fills the slots
// at start-up; tests that sweep the whole tree fill them the same way, so both see one
// tree.

namespace norv {

void FillUpperUnitSlots();

}  // namespace norv
