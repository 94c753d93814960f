#include "instrument/startup/dispatchers.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <iterator>
#include <string>
#include <system_error>

#include "framework/language/language.h"
#include "framework/settings/program_objects.h"
#include "framework/settings/settings_tree.h"
#include "framework/settings/value_text.h"
#include "framework/text/text_encoding.h"
#include "framework/util/errors.h"
#include "framework/util/program_dir.h"
#include "instrument/link/instrument_identity.h"
#include "instrument/settings/acquisition_settings.h"
#include "instrument/settings/channel_settings.h"
#include "instrument/settings/timebase_settings.h"
#include "instrument/settings/trigger_settings.h"
#include "instrument/simulator/simulator_nodes.h"
#include "instrument/startup/instrument_commands.h"

namespace norv {

TProgramStartState ProgramStart;

namespace {

using TRoutine = std::function<void()>;

template <class Step>
constexpr size_t Index(Step step) {
  return static_cast<size_t>(step);
}

struct TDispatcherState {
  std::array<TRoutine, Index(TRegistrationStep::Count)> Registration;
  std::array<TRoutine, Index(TApplyStep::Count)> Apply;
  std::array<TRoutine, Index(TModelLimitsStep::Count)> ModelLimits;
  std::array<TRoutine, 32> SwitchOff;  // by side-menu code
};

// The instrument layer's own steps; the others wait for their subsystems.
TDispatcherState StartDispatchers() {
  TDispatcherState s;
  s.Registration[Index(TRegistrationStep::RootSpider)] = CreateRootSpider;
  s.Registration[Index(TRegistrationStep::Channels)] = RegisterChannelCommands;
  s.Registration[Index(TRegistrationStep::TimeBase)] = RegisterTimeBaseCommands;
  s.Registration[Index(TRegistrationStep::Trigger)] = RegisterTriggerCommands;
  s.Registration[Index(TRegistrationStep::Acquisition)] = RegisterAcquisitionCommands;
  s.Registration[Index(TRegistrationStep::Simulator)] = RegisterSimulatorCommands;
  s.Registration[Index(TRegistrationStep::Instrument)] = RegisterInstrumentCommands;
  s.Apply[Index(TApplyStep::Channels)] = ApplyChannelSettings;
  s.Apply[Index(TApplyStep::TimeBase)] = ApplyTimeBaseSettings;
  s.Apply[Index(TApplyStep::Trigger)] = ApplyTriggerSettings;
  s.Apply[Index(TApplyStep::Acquisition)] = ApplyAcquisitionSettings;
  s.Apply[Index(TApplyStep::Simulator)] = ApplySimulatorSettings;
  s.ModelLimits[Index(TModelLimitsStep::TimeBase)] = AdaptTimeBaseToModel;
  return s;
}

TDispatcherState Dispatchers = StartDispatchers();
const TProgramUnit DispatcherUnit("dispatchers", [] { Dispatchers = StartDispatchers(); });
const TProgramUnit StartUnit("program start", [] { ProgramStart = {}; });

void Run(const TRoutine& routine) {
  if (routine) routine();
}

bool ApplyStepWanted(TApplyStep step) {
  switch (step) {
    case TApplyStep::OEConv:
      return HasOpticsOption();
    case TApplyStep::Generators:
      return HasGeneratorsOption();
    case TApplyStep::TDR:
      return HasTDROption();
    default:
      return true;
  }
}

std::filesystem::path Folder(const std::filesystem::path& base, const char* relative) {
  return base / relative / "";
}

}  // namespace

void SetRegistrationRoutine(TRegistrationStep step, std::function<void()> routine) {
  Dispatchers.Registration.at(Index(step)) = std::move(routine);
}
void SetApplyRoutine(TApplyStep step, std::function<void()> routine) {
  Dispatchers.Apply.at(Index(step)) = std::move(routine);
}
void SetModelLimitsRoutine(TModelLimitsStep step, std::function<void()> routine) {
  Dispatchers.ModelLimits.at(Index(step)) = std::move(routine);
}
void SetAnalysisSwitchOff(uint8_t menuCode, std::function<void()> switchOff) {
  Dispatchers.SwitchOff.at(menuCode) = std::move(switchOff);
}

void RegisterAllCommands(bool skip) {
  if (!skip)
    for (const TRoutine& routine : Dispatchers.Registration) Run(routine);
  CommandsRegistered = true;
}

void RegisterAllCommandsAtStart() { RegisterAllCommands(false); }

void ApplyAllSettings() {
  for (size_t i = 0; i < Dispatchers.Apply.size(); ++i)
    if (ApplyStepWanted(static_cast<TApplyStep>(i))) Run(Dispatchers.Apply[i]);
  UndefinedValueText = "  " + GetLangStr("Undefined");
}

void ApplyModelLimits() {
  for (const TRoutine& routine : Dispatchers.ModelLimits) Run(routine);
}

void SwitchOffOtherAnalyses(uint8_t keepMenuCode) {
  // The order in which the analyses let go of the acquisition.
  for (const uint8_t code : {7, 18, 8, 13, 15, 14, 17}) {
    if (code == keepMenuCode) continue;
    Run(Dispatchers.SwitchOff[code]);
  }
}

namespace {

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

// Makes the missing levels of a folder below the program folder. A link met on the way is
// followed only while it stays inside the program folder: one planted in a folder's place
// never makes the program create folders where it leads.
void MakeFolderBelow(const std::filesystem::path& programDir, const std::filesystem::path& folder) {
  namespace fs = std::filesystem;
  std::error_code error;
  const fs::path root = fs::canonical(programDir, error);
  if (error) return;
  fs::path reached = root;
  for (const fs::path& part : folder.lexically_relative(programDir)) {
    if (part.empty() || part == ".") continue;
    const fs::path next = reached / part;
    // mkdir never follows a link in its last place, even a dangling one.
    if (::mkdir(next.c_str(), 0777) != 0 && errno != EEXIST) return;
    reached = fs::canonical(next, error);
    if (error || !LiesIn(reached, root) || !fs::is_directory(reached, error)) return;
  }
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

const TDataFolders& DataFolders() {
  using TFolder = std::filesystem::path TDataFolders::*;
  static constexpr TFolder kFolders[] = {&TDataFolders::ProgramDir,       &TDataFolders::BaseDir,
                                         &TDataFolders::SetupFilesDir,    &TDataFolders::MaskStandardDir,
                                         &TDataFolders::MaskUserDir,      &TDataFolders::AcqLimitFilesDir,
                                         &TDataFolders::WaveformFilesDir, &TDataFolders::LimitTestFilesDir,
                                         &TDataFolders::MaskTestFilesDir, &TDataFolders::DatabaseDir,
                                         &TDataFolders::HelpDir};
  TDataFolders& f = ProgramStart.Folders;
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
  ProgramStart.Folders = FoldersBelow(ProgramDir());
  MakeDataFolders(ProgramStart.Folders);
}

namespace {

namespace fs = std::filesystem;

// Room beside a file for the temporary file an atomic write names after it ("." name "."
// process number ".tmp").
constexpr size_t kWriteRoom = 16;
// A name in a message: the start of a long one.
std::string Echo(std::string_view name) { return ShortenedUtf8(name, 64); }

std::string OutsideText(std::string_view name) {
  return "ERROR!  File name outside the program's folders: " + Echo(name);
}
std::string TooLongText(std::string_view name) { return "ERROR!  File name too long: " + Echo(name); }

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

std::string ConfinedStem(std::string_view name, fs::path& folder, const fs::path& start,
                         std::string_view longestEnding) {
  const bool withFolder = fs::path(name).has_parent_path();
  const fs::path full = ConfinedPath(std::string(name), withFolder || folder.empty() ? start : folder);
  const std::string stem = (full.parent_path() / full.stem()).string();
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

void RememberShiftState(bool shiftHeld) { ProgramStart.ShiftAtStart = shiftHeld; }
bool ShiftHeldAtStart() { return ProgramStart.ShiftAtStart; }

}  // namespace norv
