#pragma once
// A new copy of the program, started once this one has ended: the window's close has been
// accepted and every program object (the instrument's lock among them) freed, so the new
// copy finds its instrument free.

#include <string>
#include <vector>

namespace norv {

void RequestRestartAfterExit(bool restart);
bool RestartAfterExitRequested();
// Starts the program's own executable with these arguments, detached; false on failure.
bool StartProgramCopy(const std::vector<std::string>& args);

}  // namespace norv
