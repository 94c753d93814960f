#pragma once
// Where the program keeps its files. All program folders (setup files, masks, waveforms,
// language files, Configuration.ini) live below ProgramDir().

#include <filesystem>

namespace norv {

// $VEXILOR_NORV_HOME when set, else the folder of the running executable.
std::filesystem::path ProgramDir();
// The user's configuration folder for this program ($XDG_CONFIG_HOME or ~/.config),
// created on demand. Holds what the platform kept in the registry.
std::filesystem::path UserConfigDir();
// The user's runtime folder ($XDG_RUNTIME_DIR, else the temporary folder), for lock files
// and the remote-control socket.
std::filesystem::path UserRuntimeDir();

}  // namespace norv
