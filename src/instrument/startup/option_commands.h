#pragma once
// The commands each option of the instrument brings. A client's command of an option the
// instrument lacks is refused by the settings tree, naming the option, and changes
// nothing; setups and undo steps still carry the option's settings.

namespace norv {

// Marks the parts of the tree each option brings; run once every unit has registered.
void MarkOptionCommands();

}  // namespace norv
