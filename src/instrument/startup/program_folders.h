#pragma once
// The program's folders and the checks of file names given from outside: every file the
// program names by command lies inside them.

#include <filesystem>
#include <string>
#include <string_view>

namespace norv {

// Each ending in a separator.
struct TDataFolders {
  std::filesystem::path ProgramDir, BaseDir, SetupFilesDir, MaskStandardDir, MaskUserDir, AcqLimitFilesDir,
      WaveformFilesDir, LimitTestFilesDir, MaskTestFilesDir, DatabaseDir, HelpDir;
};

// The folders of this run as set (tests point one or all of them elsewhere).
extern TDataFolders ProgramFolders;
// The program folders. One not set yet (InitDataFolders has not run since the program
// objects were made) is taken below ProgramDir() then, so a file name made from a folder
// never lacks it and lands in the working folder.
const TDataFolders& DataFolders();

// The folders below the program folder, made where they are missing.
void InitDataFolders();
// Makes the missing levels of `folder` below `programDir`. A link met on the way is
// followed only while it stays inside the program folder: one planted in a folder's place
// never makes the program create anything where it leads. False when the folder is not
// there at the end.
bool MakeFolderBelow(const std::filesystem::path& programDir, const std::filesystem::path& folder);

// File names given by a user's command or a remote client. A name that leaves the program
// folder (with symbolic links followed, or by "..") raises ERefusedCommand "ERROR!  File name
// outside the program's folders: ", one longer than the system takes (NAME_MAX a part,
// PATH_MAX in all, with room for a write's temporary file) "ERROR!  File name too long: ",
// each with the start of the name.
//
// The name as a path: a relative name starts from `folder`.
std::filesystem::path ConfinedPath(const std::string& name, const std::filesystem::path& folder);
// A file name without the extension of a kind of file the program writes (".wfm", ".set",
// ... in any case); another dot is part of the name ("run.1" stays "run.1").
std::string WithoutOwnExtension(const std::filesystem::path& file);
// The same name without its own extension, for a series of files named by command: a plain
// name goes to `folder` (`start` while it is empty), a relative name with a folder starts
// from `start`, and its folder becomes `folder` for the plain names after it. Every file of
// the series (the stem and `longestEnding`, the longest counter and extension it adds) must
// have a name the system takes. A refused name leaves `folder` as it was.
std::string ConfinedStem(std::string_view name, std::filesystem::path& folder,
                         const std::filesystem::path& start, std::string_view longestEnding);
// The file a name opens, checked as it is opened (a link made after the name was given,
// a counter grown long): a file named inside the program folder must lie inside it with
// links followed. One named outside was chosen by the user in a file dialog and is taken
// as it is.
std::filesystem::path ConfinedFile(const std::filesystem::path& file);
// The same check with its message returned; empty when the file may be opened.
std::string WhyFileRefused(const std::filesystem::path& file);

}  // namespace norv
