#pragma once
// Where the program keeps its files. All program folders (setup files, masks, waveforms,
// language files, Configuration.ini) live below ProgramDir().

#include <filesystem>
#include <string_view>

namespace norv {

// A file name given as text (a command, a setup line) as a path: every file-name node
// takes its names through here. A name holding a control character raises EAssertion:
// the system calls end a name at a NUL, so "Configuration.ini\0.set" would write
// "Configuration.ini", and a line break would split the setup line that keeps the name.
std::filesystem::path FileNameFromText(std::string_view text);

// $VEXILOR_NORV_HOME when set, else the folder of the running executable.
std::filesystem::path ProgramDir();
// The folder of the running executable, where the build puts what the program ships.
std::filesystem::path ExecutableDir();
// The user's configuration folder for this program ($XDG_CONFIG_HOME or ~/.config, else
// below PrivateTempDir()), created on demand. Holds what the platform kept in the registry.
std::filesystem::path UserConfigDir();
// The temporary folder ($TMPDIR, else /tmp), shared by every user of the machine.
std::filesystem::path TempDir();
// This user's own folder in TempDir(), "vexilor-norv-<uid>", made with mode 0700. Empty when
// what stands there is not a folder of ours closed to others: another user who made it
// first could plant links in it.
std::filesystem::path PrivateTempDir();
// Where the runtime files go without a private $XDG_RUNTIME_DIR: "vexilor-norv-runtime" in
// the user's cache folder ($XDG_CACHE_HOME, else ~/.cache). Not the temporary folder, where
// another user can take the name first. Empty without a home folder.
std::filesystem::path FallbackRuntimeDir();
// The user's runtime folder, for lock files and the remote-control socket: $XDG_RUNTIME_DIR
// when it is a private folder of ours, else FallbackRuntimeDir() made with mode 0700. Empty
// when what stands there is not a folder of ours closed to others.
std::filesystem::path UserRuntimeDir();

}  // namespace norv
