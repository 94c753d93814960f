#pragma once
// The side-menu pages of the program's menus. Each subsystem describes its own pages; this
// one list registers them all, and the program's entry point hands it to the start-up
// (TProgramOptions.RegisterPages), so that the shell opens pages it cannot name. The
// dialogs that those pages and the main window's buttons open are joined here too.

namespace norv {

void RegisterProgramPages();

}  // namespace norv
