#include "instrument/startup/program_folders.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <iterator>
#include <system_error>

#include "framework/settings/program_objects.h"
#include "framework/text/text_case.h"
#include "framework/text/text_encoding.h"
#include "framework/util/errors.h"
#include "framework/util/program_dir.h"

namespace norv {

TDataFolders ProgramFolders;

namespace {

const TProgramUnit FoldersUnit("program folders", [] { ProgramFolders = {}; });

std::filesystem::path Folder(const std::filesystem::path& base, const char* relative) {
  return base / relative / "";
}

TDataFolders FoldersBelow(const std::filesystem::path& programDir) {
  TDataFolders f;
  f.ProgramDir = programDir / "";
  f.BaseDir = f.ProgramDir;
  f.SetupFilesDir = Folder(f.BaseDir, "Setup Files");
  f.MaskStandardDir = Folder(f.BaseDir, "Masks/Standard");
  f.MaskUserDir = Folder(f.BaseDir, "Masks/User");
  f.AcqLimitFilesDir = Folder(f.BaseDir, "Waveforms/Acquisition Limit Files");
  f.WaveformFilesDir = Folder(f.BaseDir, "Waveforms/Waveform Files");
  f.LimitTestFilesDir = Folder(f.BaseDir, "Waveforms/Limit Test Files");
  f.MaskTestFilesDir = Folder(f.BaseDir, "Waveforms/Mask Test Files");
  f.DatabaseDir = Folder(f.BaseDir, "Database");
  f.HelpDir = Folder(f.BaseDir, "Help");
  return f;
}

bool LiesIn(const std::filesystem::path& path, const std::filesystem::path& root) {
  const std::filesystem::path inside = path.lexically_relative(root);
  return !inside.empty() && *inside.begin() != "..";
}

// The folders the program and its dialogs keep files in; the help pages make their own.
void MakeDataFolders(const TDataFolders& f) {
  std::error_code error;
  std::filesystem::create_directories(f.ProgramDir, error);
  for (const std::filesystem::path* folder :
       {&f.SetupFilesDir, &f.MaskStandardDir, &f.MaskUserDir, &f.AcqLimitFilesDir, &f.WaveformFilesDir,
        &f.LimitTestFilesDir, &f.MaskTestFilesDir, &f.DatabaseDir})
    MakeFolderBelow(f.ProgramDir, *folder);
}

}  // namespace

bool MakeFolderBelow(const std::filesystem::path& programDir, const std::filesystem::path& folder) {
  namespace fs = std::filesystem;
  std::error_code error;
  const fs::path root = fs::canonical(programDir, error);
  if (error) return false;
  fs::path reached = root;
  for (const fs::path& part : folder.lexically_relative(programDir)) {
    if (part.empty() || part == ".") continue;
    if (part == "..") return false;
    const fs::path next = reached / part;
    // mkdir never follows a link in its last place, even a dangling one.
    if (::mkdir(next.c_str(), 0777) != 0 && errno != EEXIST) return false;
    reached = fs::canonical(next, error);
    if (error || !LiesIn(reached, root) || !fs::is_directory(reached, error)) return false;
  }
  return true;
}

const TDataFolders& DataFolders() {
  using TFolder = std::filesystem::path TDataFolders::*;
  static constexpr TFolder kFolders[] = {&TDataFolders::ProgramDir,       &TDataFolders::BaseDir,
                                         &TDataFolders::SetupFilesDir,    &TDataFolders::MaskStandardDir,
                                         &TDataFolders::MaskUserDir,      &TDataFolders::AcqLimitFilesDir,
                                         &TDataFolders::WaveformFilesDir, &TDataFolders::LimitTestFilesDir,
                                         &TDataFolders::MaskTestFilesDir, &TDataFolders::DatabaseDir,
                                         &TDataFolders::HelpDir};
  TDataFolders& f = ProgramFolders;
  const auto unset = [&](TFolder folder) { return (f.*folder).empty(); };
  if (std::any_of(std::begin(kFolders), std::end(kFolders), unset)) {
    // Folders set one by one are kept.
    const TDataFolders below = FoldersBelow(f.ProgramDir.empty() ? ProgramDir() : f.ProgramDir);
    for (const TFolder folder : kFolders)
      if (unset(folder)) f.*folder = below.*folder;
  }
  return f;
}

void InitDataFolders() {
  ProgramFolders = FoldersBelow(ProgramDir());
  MakeDataFolders(ProgramFolders);
}

namespace {

namespace fs = std::filesystem;

// Room beside a file for the temporary file an atomic write names after it ("." name "."
// process number ".tmp").
constexpr size_t kWriteRoom = 16;
std::string OutsideText(std::string_view name) {
  return "ERROR!  File name outside the program's folders: " + EchoedInput(name);
}
std::string TooLongText(std::string_view name) { return "ERROR!  File name too long: " + EchoedInput(name); }

// A refused name refuses its command: a setup replay passes its line over and goes on.
[[noreturn]] void RefuseOutside(std::string_view name) { throw ERefusedCommand(OutsideText(name)); }
[[noreturn]] void RefuseTooLong(std::string_view name) { throw ERefusedCommand(TooLongText(name)); }

// What the system takes (NAME_MAX a part, less than PATH_MAX in all), with room for the
// temporary file a write puts beside the file.
bool FitsTheSystem(const fs::path& full) {
  if (full.native().size() + kWriteRoom >= PATH_MAX) return false;
  for (const fs::path& part : full)
    if (part.native().size() > NAME_MAX) return false;
  return full.filename().native().size() + kWriteRoom <= NAME_MAX;
}

// The program folder as its files are named, and as it is reached with links followed.
struct TProgramRoots {
  fs::path Named, Resolved;
  std::error_code Error;
};

TProgramRoots ProgramRoots() {
  TProgramRoots roots;
  roots.Named = fs::absolute(DataFolders().ProgramDir, roots.Error).lexically_normal();
  if (!roots.Named.has_filename()) roots.Named = roots.Named.parent_path();
  if (!roots.Error) roots.Resolved = fs::weakly_canonical(roots.Named, roots.Error);
  return roots;
}

// Where a path leads with symbolic links followed (as the system calls follow them),
// relative to the program folder: "." for the folder itself, ".." first outside it, empty
// when it cannot be resolved.
fs::path PlaceOf(const fs::path& path, const TProgramRoots& roots) {
  std::error_code error;
  const fs::path resolved = fs::weakly_canonical(path, error);
  if (error || roots.Error) return {};
  return resolved.lexically_relative(roots.Resolved);
}

bool LeadsOut(const fs::path& place) { return place.empty() || *place.begin() == ".."; }

// Whether a full name lies in the program folder as it is written, before links are followed.
bool NamedInside(const fs::path& full, const TProgramRoots& roots) {
  return LiesIn(full, roots.Named) || LiesIn(full, roots.Resolved);
}

}  // namespace

fs::path ConfinedPath(const std::string& name, const fs::path& folder) {
  const fs::path given = FileNameFromText(name);
  if (name.size() >= PATH_MAX) RefuseTooLong(name);
  for (const fs::path& part : given)
    if (part == "..") RefuseOutside(name);
  const fs::path full = (given.is_absolute() ? given : folder / given).lexically_normal();
  if (full.filename().empty()) RefuseOutside(name);
  if (!FitsTheSystem(full)) RefuseTooLong(name);
  const TProgramRoots roots = ProgramRoots();
  const fs::path place = PlaceOf(full, roots);
  if (LeadsOut(place) || place == "." || LeadsOut(PlaceOf(full.parent_path(), roots))) RefuseOutside(name);
  // Named through a link from elsewhere, it is named as it lies, so that it is checked
  // again when it is opened.
  return NamedInside(full, roots) ? full : roots.Resolved / place;
}

std::string WithoutOwnExtension(const fs::path& file) {
  // Every kind of file the program saves or loads under a name given to it.
  static constexpr std::string_view kOwnExtensions[] = {".wfm", ".txt", ".txty", ".cgs",
                                                        ".pcm", ".set", ".msk"};
  const std::string extension = file.extension().string();
  const bool own = std::any_of(std::begin(kOwnExtensions), std::end(kOwnExtensions),
                               [&](std::string_view e) { return SameTextAscii(extension, e); });
  return (file.parent_path() / (own ? file.stem() : file.filename())).string();
}

std::string ConfinedStem(std::string_view name, fs::path& folder, const fs::path& start,
                         std::string_view longestEnding) {
  const bool withFolder = fs::path(name).has_parent_path();
  const fs::path full = ConfinedPath(std::string(name), withFolder || folder.empty() ? start : folder);
  const std::string stem = WithoutOwnExtension(full);
  if (!FitsTheSystem(stem + std::string(longestEnding))) RefuseTooLong(name);
  if (withFolder) folder = full.parent_path() / "";
  return stem;
}

std::string WhyFileRefused(const fs::path& file) {
  std::error_code error;
  const fs::path full = fs::absolute(file, error).lexically_normal();
  if (error || full.filename().empty()) return OutsideText(file.native());
  if (!FitsTheSystem(full)) return TooLongText(file.native());
  const TProgramRoots roots = ProgramRoots();
  if (!NamedInside(full, roots)) return {};
  const fs::path place = PlaceOf(full, roots);
  return LeadsOut(place) || place == "." ? OutsideText(file.native()) : std::string();
}

fs::path ConfinedFile(const fs::path& file) {
  if (std::string why = WhyFileRefused(file); !why.empty()) throw EAssertion(why);
  return file;
}

}  // namespace norv
