#pragma once
// Save and recall: the four waveform memories M1-M4 that survive restarts (binary records
// in the program folder), waveform files of any record in three forms loaded back into a
// memory, named setup files, and the colour-grade database. Node handlers only raise
// requests; the files are written by the idle step between acquisitions.

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "display/top_text.h"
#include "framework/traces/trace_names.h"
#include "shell/save/color_grade_database.h"

namespace norv {

class TCheckSwHandler;
class TRadioSwHandler;
class TSignalSourceSwHandler;
class TComplexObjectHandler;

inline constexpr int kMemoryCount = 4;

struct TSaveState {
  TCheckSwHandler* MemoOn = nullptr;
  TSignalSourceSwHandler* MemoSource = nullptr;
  TRadioSwHandler* MemoToMemo = nullptr;
  TRadioSwHandler* FileType = nullptr;  // 0 Wfm, 1 Db
  TSignalSourceSwHandler* DiskSource = nullptr;
  TSignalSourceSwHandler* DbSource = nullptr;
  TRadioSwHandler* NameMode = nullptr;    // 0 Manual, 1 Auto
  TRadioSwHandler* FileFormat = nullptr;  // 0 Binary, 1 Verbose, 2 YOnly
  TRadioSwHandler* DiskToMemo = nullptr;
  TComplexObjectHandler* DataBase = nullptr;

  bool DiskSaveNoDialog = false;
  bool DiskLoadNoDialog = false;
  bool FileDialogOpen = false;
  int AutoFileNumber = 0;
  // Folder and name without extension; the setup name with ".set".
  std::string WaveformFileName;
  std::string DatabaseFileName;
  std::string SetupFileName;
  // The folders the file dialogs and bare names start from, for this run; empty: the
  // program's data folder of that kind.
  std::filesystem::path WaveformFolder, DatabaseFolder;

  // A memory whose contents changed since it was last drawn.
  std::array<bool, kMemoryCount> MemoryRedraw{};

  TColorGradeDatabase ColorGradeDatabase;
  bool DatabaseRecording = false;
  // Made while stopped, the recording is for the next Run or Single: no waveform yet.
  bool DatabaseAwaitsAcquisition = false;
  // The file the running recording goes to (no extension): the name node may move on.
  std::string DatabaseRecordingName;
  // A recording has ended whose file could not be written: its record waits for room.
  bool DatabaseUnwritten = false;
  bool DatabaseShown = false;
  TTraceId DatabaseSource = TTraceId::Ch1;
};

extern TSaveState SaveState;
inline constinit TColorGradeDatabase& ColorGradeDatabase = SaveState.ColorGradeDatabase;

void RegisterSaveCommands();
void ApplySaveSettings();
// Fills the hooks of the acquisition cycle, the waveform files and the shell.
void InstallSaveUnit();

std::filesystem::path MemoryFilePath(int memory);  // 0..3
bool SaveWaveformBinaryFile(TTraceId source, const std::string& fileName);
bool SaveWaveformTextFile(TTraceId source, const std::string& fileName, bool yOnly);
bool LoadWaveformBinaryFile(int memory, const std::string& fileName, bool silent);
bool LoadWaveformTextFile(int memory, const std::string& fileName);
bool CopySourceToMemory(TTraceId source, int memory);
void LoadMemoriesAtStart();
// Draws the memories checked in "Save:Memo:On" whose contents changed or that have no
// layer yet, and removes the layers of the others (the stopped idle step).
void RefreshMemoryTraces();

// The idle step's work on the requests; false when it did not do what it was asked.
bool CopySelectedSourceToMemory();
bool SaveWaveformToDisk();
bool LoadWaveformFromDisk();

// The page's dialog buttons. Disk: by the file type, the database dialogs (a database
// chosen to save starts recording) or a waveform request whose dialog the idle step shows.
// Setup: the setup file dialogs; a recall takes only a name ending in ".set".
void DiskSaveByDialog();
void DiskLoadByDialog();
void RecallSetupByDialog();
void SaveSetupByDialog();

// The database: the space check and header of a new recording; one waveform; the file
// at the end; a file to show. CreateDatabaseFile starts the recording of `source`.
bool CreateDatabaseFile(const std::string& fileName, TTraceId source);
void AccumulateDatabaseRecord();
// Ends the recording; false when its file cannot be written (told), and then the record is
// kept and written by the next call. One that has taken no waveform writes no file and
// says so.
bool SaveDatabaseFile();
// The end of the acquisition: a recording made while stopped waits for the acquisition it
// is for, and ends when that stops.
bool SaveDatabaseAtStop();
// The close goes on whatever the write does: a record it cannot write is named in the log.
void SaveDatabaseAtClose();
// A recording still running is written first; when that fails nothing is loaded.
bool LoadDatabaseFile(const std::string& fileName);
// What "*Run" and "*StopSingle" do to a shown database: unless one is being recorded, the
// display goes and the mask test compares with the channels again.
void RemoveShownDatabase();
// The header of the database in memory, as the top strip shows it.
TDatabaseHeader ShownDatabaseHeader();
// "*ClrDispl": the eye measurement restarts its statistics on the database.
void RestartDatabase();

}  // namespace norv
