#pragma once
// The central registration and apply routines, the program folders and a few facts of the
// program's start.
//
// Every unit hangs its nodes in the settings tree with a registration routine and pushes
// its settings to a newly connected instrument with an apply routine. The dispatchers
// call them in one fixed order (which is the order of the nodes in the tree, so of every
// listing and saved setup). Each step is a slot: the instrument layer's own are filled
// from the start; a later subsystem fills its slot at start-up, and until then the step
// does nothing.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace norv {

enum class TRegistrationStep : uint8_t {
  RootSpider,  // the root, "Header" and the trace on/off notifier
  MaskResultObject,
  DisplayColors,
  MainCommands,
  Channels,
  OEConv,
  TimeBase,
  Trigger,
  Acquisition,
  Display,
  Save,
  Marks,
  Meas,
  Limits,
  Math,
  FFT,
  Zoom,
  Hist,
  Mask,
  Eye,
  Generator,
  TDR,
  Jitter,
  Wfm,
  Simulator,
  Calibration,
  Keypad,
  RampTest,
  RampDac,
  Gui,
  Instrument,
  Count
};

enum class TApplyStep : uint8_t {
  Channels,
  OEConv,  // only with the optics option
  TimeBase,
  Trigger,
  Acquisition,
  Display,
  Save,
  Marks,
  Meas,
  Limits,
  FunctionMenus,
  Zooms,
  Hist,
  Mask,
  Eye,
  Generators,  // only with the generators option
  TDR,         // only with the TDR option
  Simulator,
  Calibration,
  Count
};

enum class TModelLimitsStep : uint8_t { TimeBase, RampDac, Calibration, Count };

// Fills a step's slot (an empty function empties it).
void SetRegistrationRoutine(TRegistrationStep step, std::function<void()> routine);
void SetApplyRoutine(TApplyStep step, std::function<void()> routine);
void SetModelLimitsRoutine(TModelLimitsStep step, std::function<void()> routine);
// The switch-off of the analysis whose side-menu code is menuCode (markers 7, measure 8,
// histogram 13, eye 14, mask 15, TDR 17, jitter 18).
void SetAnalysisSwitchOff(uint8_t menuCode, std::function<void()> switchOff);

// Unless skip, every registration routine in order; then CommandsRegistered.
void RegisterAllCommands(bool skip);
void RegisterAllCommandsAtStart();
// Every apply routine in order (the optional ones with their option), then the language's
// text for undefined values.
void ApplyAllSettings();
void ApplyModelLimits();
// Switches off every analysis but the one of keepMenuCode.
void SwitchOffOtherAnalyses(uint8_t keepMenuCode);

// --- program folders, each ending in a separator ---
struct TDataFolders {
  std::filesystem::path ProgramDir, BaseDir, SetupFilesDir, MaskStandardDir, MaskUserDir, AcqLimitFilesDir,
      WaveformFilesDir, LimitTestFilesDir, MaskTestFilesDir, DatabaseDir, HelpDir;
};

struct TProgramStartState {
  TDataFolders Folders;
  std::chrono::system_clock::time_point ProgramStartTime = std::chrono::system_clock::now();
  bool ShiftAtStart = false;
};
extern TProgramStartState ProgramStart;
// The program folders. One not set yet (InitDataFolders has not run since the program
// objects were made) is taken below ProgramDir() then, so a file name made from a folder
// never lacks it and lands in the working folder.
const TDataFolders& DataFolders();

// The folders below the program folder.
void InitDataFolders();

// File names given by a user's command or a remote client. A name that leaves the program
// folder (with symbolic links followed, or by "..") raises ERefusedCommand "ERROR!  File name
// outside the program's folders: ", one longer than the system takes (NAME_MAX a part,
// PATH_MAX in all, with room for a write's temporary file) "ERROR!  File name too long: ",
// each with the start of the name.
//
// The name as a path: a relative name starts from `folder`.
std::filesystem::path ConfinedPath(const std::string& name, const std::filesystem::path& folder);
// The same name without its extension, for a series of files named by command: a plain
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
// The platform tells whether SHIFT was held when the program started.
void RememberShiftState(bool shiftHeld);
bool ShiftHeldAtStart();

}  // namespace norv
