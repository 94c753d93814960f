#include "shell/save/save_recall.h"

#include <cstdio>
#include <memory>
#include <optional>
#include <sstream>

#include "display/scope_crt.h"
#include "display/settings/display_settings.h"
#include "display/signal_layers.h"
#include "framework/language/hint_stack.h"
#include "framework/language/language.h"
#include "framework/settings/choice_handlers.h"
#include "framework/settings/node_path.h"
#include "framework/settings/program_objects.h"
#include "framework/settings/settings_tree.h"
#include "framework/text/text_case.h"
#include "framework/util/dialog_service.h"
#include "framework/util/errors.h"
#include "framework/util/file_io.h"
#include "framework/util/idle_pass.h"
#include "framework/util/program_dir.h"
#include "instrument/acquisition/acquisition_cycle.h"
#include "instrument/acquisition/acquisition_hooks.h"
#include "instrument/acquisition/acquisition_state.h"
#include "instrument/link/link_state.h"
#include "instrument/link/sample_stream.h"
#include "instrument/record/signal_obj.h"
#include "instrument/record/waveform_files.h"
#include "instrument/settings/settings_hooks.h"
#include "instrument/startup/program_folders.h"
#include "shell/program_shell.h"
#include "shell/setup_files.h"
#include "shell/shell_state.h"

namespace norv {

namespace fs = std::filesystem;

TSaveState SaveState;
const TProgramUnit SaveUnit("save and recall", [] { SaveState = {}; });

namespace {

// The origins of the requests the idle step serves, and of the recording that runs: each
// is served with dialogs as the command that made it had them.
struct TRequestOrigins {
  TRequestOrigin MemoCopy, DiskSave, DiskLoad, Recording;
};
TRequestOrigins Origins;
// Whether the last serving of each request did what it was asked.
struct TRequestResults {
  bool MemoCopy = true, DiskSave = true, DiskLoad = true;
};
TRequestResults Served;
const TProgramUnit OriginsUnit("save requests", [] {
  Origins = {};
  Served = {};
});

void ServeMemoCopy() { Served.MemoCopy = CopySelectedSourceToMemory(); }
void ServeDiskSave() { Served.DiskSave = SaveWaveformToDisk(); }
void ServeDiskLoad() { Served.DiskLoad = LoadWaveformFromDisk(); }

void Raise(bool& request, TRequestOrigin& origin) {
  request = true;
  origin = TRequestOrigin::Here();
}

// A command's request. A client's is served before its command answers, so that a failure
// answers as one: while a cycle runs, by the idle step once the record being read is whole,
// else at once. A wait cut short (the close, the link, the time limit) drops the request:
// its client has its failure, and nothing is written behind its back. The user at the
// screen is told by the idle step's box.
void RaiseByCommand(bool& request, TRequestOrigin& origin, bool& succeeded, void (*serve)()) {
  Raise(request, origin);
  if (!origin.Quiet()) return;
  RunFailingCommand([&] {
    succeeded = false;  // whichever serving runs sets it
    if (AcqCycleRunning && GuiReady && !IdleStepsUntil([&] { return !request || !AcqCycleRunning; })) {
      request = false;
      ThrowIfClosing();
      return false;
    }
    if (request) {
      request = false;
      serve();
    }
    return succeeded;
  });
}

std::string WriteErrorText(const std::string& fileName, const std::string& why) {
  return WithReason(GetLangStr("WriteFileError") + fileName + "\"", why);
}

constexpr const char* kSourceItems =
    "Ch1,Ch1B2,Ch2,Ch2B2,F1,F2,F3,F4,M1,M2,M3,M4,S1,S2,XY,DB,Hist,Const,None";
constexpr const char* kMemoryFileMark = "~memzona.no";
constexpr const char* kNoDatabase = "NONEDATABASEATTHESCREEN";
constexpr const char* kWaveformFilter =
    "Binary format (*.wfm)|*.wfm|Verbose format (*.txt)|*.txt|Y values formats (*.txty)|*.txty";
constexpr const char* kDatabaseFilter = "Database File (*.cgs)|*.cgs";
constexpr const char* kSetupFilter = "Setup File (*.set)|*.set";
constexpr int kNoticeMs = 3000;

TSaveState& S() { return SaveState; }

TTraceId MemoryTrace(int memory) { return static_cast<TTraceId>(TraceIndex(TTraceId::M1) + memory); }

TTraceId SourceOf(const TSignalSourceSwHandler* h) {
  const TTraceId id = h ? h->GetSource() : TTraceId::Ch1;
  return IsRecordTrace(id) ? id : TTraceId::Ch1;
}

fs::path WaveformFolder() {
  return S().WaveformFolder.empty() ? DataFolders().WaveformFilesDir : S().WaveformFolder;
}
fs::path DatabaseFolder() {
  return S().DatabaseFolder.empty() ? DataFolders().DatabaseDir : S().DatabaseFolder;
}

bool IsDbType() { return GetIndex(S().FileType) == 1; }

void Notice(const std::string& text) { PushHint(text, kNoticeMs, THintKeep::Keep, THintStyle::Normal); }

void RefreshMemoOnDisabled() {
  if (!S().MemoOn) return;
  uint32_t mask = 0;
  for (int m = 0; m < kMemoryCount; ++m)
    if (!SignalsOn.IsOn(MemoryTrace(m))) mask |= 1u << m;
  S().MemoOn->SetDisabledMask(mask);
}

void ApplyFileTypeEnabling() {
  const bool db = IsDbType();
  if (S().DbSource) S().DbSource->SetDisabled(!db);
  for (THandler* h : {static_cast<THandler*>(S().DiskSource), static_cast<THandler*>(S().DiskToMemo),
                      static_cast<THandler*>(S().NameMode)})
    if (h) h->SetDisabled(db);
}

std::string Unix(std::string name) {
  for (char& c : name)
    if (c == '\\') c = '/';
  return name;
}

// "Save:Disk:FileName": the name of the current file type, from a folder of its own or the
// current one.
void DiskFileNameNode(const std::string& rawParam, bool isQuery, uint8_t, std::string& reply) {
  const bool db = IsDbType();
  std::string& current = db ? S().DatabaseFileName : S().WaveformFileName;
  if (isQuery) {
    if (HeaderOn()) reply += ' ';
    if (db) {
      reply += current + ".cgs";
      return;
    }
    reply += current;
    if (S().AutoFileNumber > 0) {
      char number[16];
      std::snprintf(number, sizeof number, "_%.5d", S().AutoFileNumber);
      reply += number;
    }
    static constexpr const char* kExt[] = {".wfm", ".txt", ".txty"};
    reply += kExt[std::min<int>(GetIndex(S().FileFormat), 2)];
    return;
  }
  const std::string param = Unix(std::string(TrimBlanks(rawParam)));
  if (param.empty()) {
    if (current.empty()) current = ((db ? DatabaseFolder() : WaveformFolder()) / "Noname").string();
    return;
  }
  current = db ? ConfinedStem(param, S().DatabaseFolder, DataFolders().DatabaseDir, ".cgs")
               : ConfinedStem(param, S().WaveformFolder, DataFolders().WaveformFilesDir, "_00000.txty");
  S().AutoFileNumber = 0;
}

// "Save:Setup:FileName": a folder in the name stays with this name only.
void SetupFileNameNode(const std::string& rawParam, bool isQuery, uint8_t, std::string& reply) {
  if (isQuery) {
    reply += ' ' + S().SetupFileName;
    return;
  }
  const std::string param = Unix(std::string(TrimBlanks(rawParam)));
  if (param.empty()) {
    if (S().SetupFileName.empty()) S().SetupFileName = (DataFolders().SetupFilesDir / "Noname.set").string();
    return;
  }
  fs::path noFolder;
  S().SetupFileName = ConfinedStem(param, noFolder, DataFolders().SetupFilesDir, ".set") + ".set";
}

// A database that cannot be read: a setup naming it fails once replayed; else told here.
void TellUnread(const std::string& why) {
  if (!FailSetupLine(why)) Dialogs().Inform(TMessageKind::Error, why);
}

void DatabaseState(std::string& text, bool, bool apply) {
  if (!apply) {
    text = DisplaySettings().DataBaseExist.GetNameText();
    return;
  }
  const std::string name(TrimBlanks(text));
  if (name == kNoDatabase) {
    RemoveShownDatabase();
    return;
  }
  // A setup is replayed to its end: a name outside the folders is refused like a damaged
  // file, and the lines after it still apply.
  fs::path file;
  try {
    file = ConfinedPath(Unix(name), DatabaseFolder());
  } catch (const EAssertion&) {
    TellUnread(GetLangStr("DatabaseDamaged"));
    return;
  }
  LoadDatabaseFile(file.string());
}

bool StartRecording(const std::string& fileName, TTraceId source) {
  if (!CreateDatabaseFile(fileName, source)) return false;
  Origins.Recording = TRequestOrigin::Here();
  return true;
}

// A command asks for no file: without a name there is nothing to save or load.
void RequireName(const std::string& name, const char* noNameKey = "NoFileNameSet") {
  if (name.empty()) throw EAssertion(GetLangStr(noNameKey));
}

void DiskSaveNode(THandler&) {
  RequireName(IsDbType() ? S().DatabaseFileName : S().WaveformFileName);
  if (IsDbType()) {
    ConfinedFile(S().DatabaseFileName + ".cgs");
    RunFailingCommand([] { return StartRecording(S().DatabaseFileName, SourceOf(S().DbSource)); });
    return;
  }
  S().DiskSaveNoDialog = true;
  RaiseByCommand(DiskSaveRequest, Origins.DiskSave, Served.DiskSave, ServeDiskSave);
}

// A database to show: markers off first, as they cannot stand on a database.
bool LoadShownDatabase() {
  if (THandler* mark = RootSpider->FindHandler("Mark:Type"_node))
    if (auto* radio = dynamic_cast<TRadioSwHandler*>(mark)) radio->SetIndexByProgram(0);
  return LoadDatabaseFile(ConfinedFile(S().DatabaseFileName + ".cgs").string());
}

void DiskLoadNode(THandler&) {
  RequireName(IsDbType() ? S().DatabaseFileName : S().WaveformFileName);
  if (IsDbType()) {
    RunFailingCommand(LoadShownDatabase);
    return;
  }
  S().DiskLoadNoDialog = true;
  RaiseByCommand(DiskLoadRequest, Origins.DiskLoad, Served.DiskLoad, ServeDiskLoad);
}

void SetupSaveNode(THandler&) {
  RequireName(S().SetupFileName, "NoSetupFileNameSet");
  if (std::string failure; !SaveSetupFile(ConfinedFile(S().SetupFileName), false, &failure))
    throw EAssertion(failure);
}

void SetupRecallNode(THandler&) {
  RequireName(S().SetupFileName, "NoSetupFileNameSet");
  if (std::string failure; !LoadSetupFile(ConfinedFile(S().SetupFileName), false, &failure))
    throw EAssertion(failure);
}

bool WriteRecord(const TSignalObj& record, const std::string& fileName, int form, std::string& why) {
  std::ostringstream out(std::ios::binary);
  const bool ok = form == 0 ? record.SaveToBinaryFile(out) : record.SaveToTextFile(out, form == 2);
  return ok && WriteFileAtomically(fileName, std::move(out).str(), true, &why);
}

// A waveform file is checked as it is opened: its name may have been given long before.
bool Openable(const std::string& fileName, bool report) {
  const std::string refused = WhyFileRefused(fileName);
  if (!refused.empty() && report) Dialogs().Inform(TMessageKind::Error, refused);
  return refused.empty();
}

// A source not shown, or without a record of its own yet, has nothing to write: told.
bool Present(const TSignalObj* record) {
  if (!record) Dialogs().Inform(TMessageKind::Error, GetLangStr("SignalIsAbsent"));
  return record != nullptr;
}

// `record`: what is written in the source's name; none when the source has none to show.
bool SaveRecord(TTraceId source, const TSignalObj* record, const std::string& fileName, int form) {
  if (!Present(record)) return false;
  if (!Openable(fileName, true)) return false;
  if (std::string why; !WriteRecord(*record, fileName, form, why)) {
    Dialogs().Inform(TMessageKind::Error, WriteErrorText(fileName, why));
    return false;
  }
  if (fileName.find(kMemoryFileMark) == std::string::npos)
    Notice(TraceNames[TraceIndex(source)] + GetLangStr("SavedInFile") + fileName);
  return true;
}

bool SaveWaveform(TTraceId source, const std::string& fileName, int form) {
  return SaveRecord(source, ShownRecord(source), fileName, form);
}

// A memory's contents are kept in its file for the next start.
bool KeepMemory(int memory) { return SaveWaveform(MemoryTrace(memory), MemoryFilePath(memory).string(), 0); }

bool LoadWaveform(int memory, const std::string& fileName, bool silent, bool text) {
  if (memory < 0 || memory >= kMemoryCount) return false;
  const TTraceId trace = MemoryTrace(memory);
  const bool openable = Openable(fileName, !silent);
  const TFileRead file = openable ? ReadRegularFile(fileName) : TFileRead{};
  // A file that is not there leaves the memory as it was, and is told apart from a damaged one.
  if (openable && file.Error == TFileReadError::Absent) {
    if (!silent) Dialogs().Inform(TMessageKind::Error, FormatLangStr("FileSMissing", fileName));
    return false;
  }
  // A file that cannot be read leaves the memory, its trace and its zoom as they were: the
  // record reads nothing unless the whole file is good.
  TSignalObj& record = SignalObjs()[trace];
  std::istringstream in(file.Bytes, std::ios::binary);
  if (!openable || !file || !(text ? record.LoadFromTextFile(in) : record.LoadFromBinaryFile(in))) {
    if (!silent && openable) Dialogs().Inform(TMessageKind::Error, FormatLangStr("FileSDamaged", fileName));
    return false;
  }
  record.SetZoomStep(1);
  record.SetFirstShown(0);
  ShellHooks.ResetMemoryZoom(memory);
  if (fileName.find(kMemoryFileMark) == std::string::npos)
    Notice(FormatLangStr("Mn", memory + 1) + " is load from file " + fileName);
  SignalsOn.SetOn(trace, true);
  MarkMemoryChanged(memory);
  RefreshMemoOnDisabled();
  if (!silent && S().MemoOn) S().MemoOn->SetButtonByProgram(memory, true);
  record.MarkChanged();
  S().MemoryRedraw[static_cast<size_t>(memory)] = true;
  // Kept for the next start as a copy is; the start's own load has nothing new to keep.
  std::error_code ec;
  return fs::equivalent(fileName, MemoryFilePath(memory), ec) || KeepMemory(memory);
}

// The save and open dialogs; nothing when cancelled. One at a time: while one is open, what
// needs another is refused and told why; work that needs none is served meanwhile.
std::optional<TFileChoice> AskFile(bool save, const char* titleKey, const char* filter, int filterIndex,
                                   const std::string& name, const fs::path& folder) {
  if (S().FileDialogOpen) {
    Dialogs().Inform(TMessageKind::Error, GetLangStr("FileDialogIsOpen"));
    return std::nullopt;
  }
  S().FileDialogOpen = true;
  std::optional<TFileChoice> choice;
  try {
    choice = Dialogs().ChooseFile(
        {.Save = save,
         .Title = GetLangStr(titleKey),
         .Filter = filter,
         .FilterIndex = filterIndex,
         .FileName = save && name.empty() ? "Noname" : fs::path(name).filename().string(),
         .Folder = folder.string()});
  } catch (...) {
    S().FileDialogOpen = false;
    throw;
  }
  S().FileDialogOpen = false;
  return choice;
}

}  // namespace

fs::path MemoryFilePath(int memory) {
  char name[32];
  std::snprintf(name, sizeof name, "~memzona.no%d", memory + 1);
  return DataFolders().ProgramDir / name;
}

bool SaveWaveformBinaryFile(TTraceId source, const std::string& fileName) {
  return SaveWaveform(source, fileName, 0);
}
bool SaveWaveformTextFile(TTraceId source, const std::string& fileName, bool yOnly) {
  return SaveWaveform(source, fileName, yOnly ? 2 : 1);
}
bool LoadWaveformBinaryFile(int memory, const std::string& fileName, bool silent) {
  return LoadWaveform(memory, fileName, silent, false);
}
bool LoadWaveformTextFile(int memory, const std::string& fileName) {
  return LoadWaveform(memory, fileName, false, true);
}

bool CopySourceToMemory(TTraceId source, int memory) {
  if (!IsRecordTrace(source) || memory < 0 || memory >= kMemoryCount) return false;
  const TSignalObj* record = ShownRecord(source);
  const TTraceId trace = MemoryTrace(memory);
  // Kept for the next start first: nothing to copy, or a copy that cannot be kept, leaves
  // the memory, its switch and its file as they were.
  if (!SaveRecord(trace, record, MemoryFilePath(memory).string(), 0)) return false;
  if (trace != source) {
    TSignalObj& target = SignalObjs()[trace];
    target.Assign(*record);
    target.SetZoomStep(record->GetZoomStep());
    target.SetFirstShown(record->GetFirstShown());
    ShellHooks.CopyZoomToMemory(memory, source);
    target.MarkChanged();
    S().MemoryRedraw[static_cast<size_t>(memory)] = true;
    MarkMemoryChanged(memory);
  }
  SignalsOn.SetOn(trace, true);
  RefreshMemoOnDisabled();
  if (S().MemoOn) S().MemoOn->SetButtonByProgram(memory, true);
  return true;
}

void LoadMemoriesAtStart() {
  for (int m = 0; m < kMemoryCount; ++m)
    if (fs::exists(MemoryFilePath(m))) LoadWaveformBinaryFile(m, MemoryFilePath(m).string(), true);
  RefreshMemoOnDisabled();
}

void RefreshMemoryTraces() {
  TScopeCRT* crt = ScopeCRT.get();
  if (!crt) return;
  const uint32_t checked = S().MemoOn ? S().MemoOn->GetMask() : 0;
  for (int m = 0; m < kMemoryCount; ++m) {
    const TTraceId trace = MemoryTrace(m);
    bool& redraw = S().MemoryRedraw[static_cast<size_t>(m)];
    if (!(checked & 1u << m) || !SignalsOn.IsOn(trace)) {
      crt->DeleteSignalLayer(trace);
      continue;
    }
    if (!redraw && crt->HasSignalLayer(trace)) continue;
    if (TParentSignalLayer* layer = GetStyledTraceLayer(trace)) {
      ShellHooks.ApplyZoomToRecord(trace);
      DrawSignal(*layer, SignalObjs()[trace]);
      redraw = false;
    }
  }
}

bool CopySelectedSourceToMemory() {
  const TDialogsSuppressed quiet(Origins.MemoCopy);
  return CopySourceToMemory(SourceOf(S().MemoSource), GetIndex(S().MemoToMemo));
}

namespace {

// The file a save writes: asked for (false when the user cancels) or the next number.
std::optional<std::string> DiskSaveName(bool ask) {
  if (ask) {
    const auto choice = AskFile(true, "SaveWaveformAs", kWaveformFilter, GetIndex(S().FileFormat),
                                S().WaveformFileName, WaveformFolder());
    if (!choice) return std::nullopt;
    S().WaveformFileName = WithoutOwnExtension(choice->FileName);
    S().WaveformFolder = fs::path(choice->Folder) / "";
    S().AutoFileNumber = 0;
    if (S().FileFormat)
      S().FileFormat->SetIndexByProgram(static_cast<uint8_t>(std::clamp(choice->FilterIndex, 0, 2)));
  }
  std::string name = S().WaveformFileName;
  if (name.empty()) return std::nullopt;
  if (GetIndex(S().NameMode) != 0) {
    char number[16];
    std::snprintf(number, sizeof number, "_%.5d", ++S().AutoFileNumber);
    name += number;
  }
  return name;
}

bool SaveToDisk(TTraceId source, const TSignalObj* record, bool ask) {
  const std::optional<std::string> name = DiskSaveName(ask);
  if (!name) return false;
  const int form = GetIndex(S().FileFormat);
  return SaveRecord(source, record,
                    *name + (form == 0   ? ".wfm"
                             : form == 1 ? ".txt"
                                         : ".txty"),
                    std::min(form, 2));
}

bool LoadFromDisk(int memory, bool ask) {
  if (GetIndex(S().FileFormat) == 2 && S().FileFormat) S().FileFormat->SetIndexByProgram(1);
  bool verbose = GetIndex(S().FileFormat) == 1;
  std::string file = S().WaveformFileName + (verbose ? ".txt" : ".wfm");
  if (ask) {
    const auto choice =
        AskFile(false, "LoadWaveform", "Binary format (*.wfm)|*.wfm|Verbose format (*.txt)|*.txt",
                verbose ? 1 : 0, file, WaveformFolder());
    if (!choice) return false;
    file = choice->FileName;
    S().WaveformFileName = WithoutOwnExtension(file);
    S().WaveformFolder = fs::path(choice->Folder) / "";
    verbose = choice->FilterIndex == 1;
    if (S().FileFormat) S().FileFormat->SetIndexByProgram(verbose ? 1 : 0);
  }
  if (S().WaveformFileName.empty()) return false;
  const bool ok = verbose ? LoadWaveformTextFile(memory, file) : LoadWaveformBinaryFile(memory, file, false);
  if (ok) SignalsOn.SetOn(MemoryTrace(memory), true);
  return ok;
}

// A file dialog opened inside the idle pass would hold the acquisition while it is open: it
// opens once the pass has ended (AfterThePass), with dialogs as its request had them.
bool DialogWaitsForThePass(bool ask) { return ask && IdlePassRuns() && !DialogsSuppressed(); }
void AfterThePass(TRequestOrigin origin, std::function<void()> work) {
  OutsideIdlePass([origin, work = std::move(work)] {
    const TDialogsSuppressed quiet(origin);
    work();
  });
}

}  // namespace

bool SaveWaveformToDisk() {
  const TDialogsSuppressed quiet(Origins.DiskSave);
  // What the dialog was opened for, whatever a client sets while it is open.
  const TTraceId source = SourceOf(S().DiskSource);
  const bool ask = !S().DiskSaveNoDialog && (GetIndex(S().NameMode) == 0 || S().WaveformFileName.empty());
  S().DiskSaveNoDialog = false;
  if (!DialogWaitsForThePass(ask)) return SaveToDisk(source, ShownRecord(source), ask);
  // The record as the request found it, written once the file is chosen.
  std::shared_ptr<TSignalObj> record;
  if (const TSignalObj* shown = ShownRecord(source)) {
    record = std::make_shared<TSignalObj>();
    record->Assign(*shown);
  }
  AfterThePass(Origins.DiskSave, [source, record] { SaveToDisk(source, record.get(), true); });
  return true;
}

bool LoadWaveformFromDisk() {
  const TDialogsSuppressed quiet(Origins.DiskLoad);
  const int memory = GetIndex(S().DiskToMemo);  // the one shown when the dialog opened
  const bool ask = !S().DiskLoadNoDialog;
  S().DiskLoadNoDialog = false;
  if (!DialogWaitsForThePass(ask)) return LoadFromDisk(memory, ask);
  AfterThePass(Origins.DiskLoad, [memory] { LoadFromDisk(memory, true); });
  return true;
}

void DiskSaveByDialog() {
  if (!IsDbType()) {
    Raise(DiskSaveRequest, Origins.DiskSave);
    S().DiskSaveNoDialog = false;
    return;
  }
  const TTraceId source = SourceOf(S().DbSource);  // the one shown when the dialog opened
  if (!Present(ShownRecord(source))) return;
  const auto choice =
      AskFile(true, "SaveDatabaseAs", kDatabaseFilter, 0, S().DatabaseFileName, DatabaseFolder());
  if (!choice) return;
  S().DatabaseFolder = fs::path(choice->Folder) / "";
  StartRecording(WithoutOwnExtension(choice->FileName), source);
}

void DiskLoadByDialog() {
  if (!IsDbType()) {
    Raise(DiskLoadRequest, Origins.DiskLoad);
    S().DiskLoadNoDialog = false;
    return;
  }
  const auto choice =
      AskFile(false, "LoadDatabase", kDatabaseFilter, 0,
              S().DatabaseFileName.empty() ? "" : S().DatabaseFileName + ".cgs", DatabaseFolder());
  if (!choice) return;
  S().DatabaseFolder = fs::path(choice->Folder) / "";
  S().DatabaseFileName = WithoutOwnExtension(choice->FileName);
  LoadShownDatabase();
}

void RecallSetupByDialog() {
  const auto choice =
      AskFile(false, "RecallSetup", kSetupFilter, 0, S().SetupFileName, DataFolders().SetupFilesDir);
  if (!choice || !SameTextAscii(fs::path(choice->FileName).extension().string(), ".set")) return;
  S().SetupFileName = choice->FileName;
  LoadSetupFile(choice->FileName, true);
}

void SaveSetupByDialog() {
  const auto choice =
      AskFile(true, "SaveSetupAs", kSetupFilter, 0, S().SetupFileName, DataFolders().SetupFilesDir);
  if (!choice) return;
  const fs::path file = WithoutOwnExtension(choice->FileName) + ".set";
  S().SetupFileName = file.string();
  SaveSetupFile(file, true);
}

namespace {

std::string DatabaseSourceName() { return TraceDisplayName(S().DatabaseSource); }

// Progress of a recording in the top strip: the state as a status message, the count in
// the waveform-counter cell.
void ShowDatabaseProgress(bool acquiring) {
  if (!ScopeCRT) {
    if (!acquiring) Notice(GetLangStr("DatabaseOf_") + DatabaseSourceName() + GetLangStr(" Finished"));
    return;
  }
  ScopeCRT->TopText().ShowDatabaseProgress(acquiring, DatabaseSourceName());
  ScopeCRT->TopText().ShowWaveformCount(static_cast<int>(ColorGradeDatabase.WaveformCount()));
}

void DrawShownDatabase() {
  if (!ScopeCRT) return;
  ScopeCRT->ShowDatabase([](int x, int y) { return ColorGradeDatabase.Hits(x, y); });
  ScopeCRT->TopText().RefreshTopText();
}

}  // namespace

TDatabaseHeader ShownDatabaseHeader() {
  const TColorGradeDatabase& db = ColorGradeDatabase;
  TDatabaseHeader h;
  if (IsRecordTrace(db.Source())) h.Source = db.Source();
  h.WaveformCount = db.WaveformCount();
  h.HorizontalValue = db.HeaderValue(kCgsVert1);
  h.HorizontalUnit = db.Unit2();
  h.VerticalScale = db.HeaderValue(kCgsScale);
  h.VerticalOffset = db.HeaderValue(kCgsValue);
  h.VerticalUnit = db.Unit1();
  return h;
}

bool CreateDatabaseFile(const std::string& fileName, TTraceId source) {
  // A source with nothing to record would write its zero line over the file.
  if (!Present(ShownRecord(source))) return false;
  const fs::path target = fs::path(fileName + ".cgs");
  std::error_code ec;
  fs::create_directories(target.parent_path(), ec);
  // A recording that ended without room for its file takes the room first.
  if (S().DatabaseUnwritten && !SaveDatabaseFile()) return false;
  // The record is written when the recording ends: whether it can be is known now, before
  // anything is acquired for it.
  if (std::string why; !ReserveRoomFor(target, kCgsRecordSize, &why)) {
    Dialogs().Inform(TMessageKind::Error, WriteErrorText(target.string(), why));
    return false;
  }
  // The recording it replaces is written first; one that cannot be is told, and this one
  // does not start.
  if (!SaveDatabaseFile()) return false;
  S().DatabaseFileName = fileName;
  S().DatabaseRecordingName = fileName;
  S().DatabaseSource = source;
  ColorGradeDatabase.Start(S().DatabaseSource);
  S().DatabaseRecording = true;
  S().DatabaseAwaitsAcquisition = !RunFlag && !SingleFlag;
  ShowDatabaseProgress(true);
  return true;
}

void AccumulateDatabaseRecord() {
  if (!S().DatabaseRecording) return;
  S().DatabaseAwaitsAcquisition = false;
  const TSignalObj* record = ShownRecord(S().DatabaseSource);
  const char* why = !record                                   ? "SignalIsAbsent"
                    : !ColorGradeDatabase.Accumulate(*record) ? "DatabaseAxisChanged"
                                                              : nullptr;
  if (why) {
    // The file has one axis and holds what was taken until now.
    {
      const TDialogsSuppressed quiet(Origins.Recording);
      Dialogs().Inform(TMessageKind::Warning,
                       FormatLangStr("DatabaseEnded", DatabaseSourceName(), GetLangStr(why)));
    }
    SaveDatabaseFile();
    return;
  }
  if (ScopeCRT) ScopeCRT->TopText().ShowWaveformCount(static_cast<int>(ColorGradeDatabase.WaveformCount()));
}

bool SaveDatabaseFile() {
  if (!S().DatabaseRecording && !S().DatabaseUnwritten) return true;
  const TDialogsSuppressed quiet(Origins.Recording);
  S().DatabaseRecording = false;
  const std::string file = S().DatabaseRecordingName + ".cgs";
  // An empty record would replace a file of the same name that holds waveforms.
  if (ColorGradeDatabase.WaveformCount() == 0) {
    const std::string text = FormatLangStr("DatabaseNothingRecorded", DatabaseSourceName(), file);
    PushHint(text, kNoticeMs, THintKeep::Keep, THintStyle::Warning);
    LogNotice(TMessageKind::Warning, text);
    return true;
  }
  // A record that cannot be written is kept for the next try: a Stop, a load, a new
  // recording or the close.
  S().DatabaseUnwritten = true;
  if (std::string why; !ColorGradeDatabase.Save(file, &why)) {
    Dialogs().Inform(TMessageKind::Error, WriteErrorText(file, why));
    return false;
  }
  S().DatabaseUnwritten = false;
  ShowDatabaseProgress(false);
  return true;
}

bool SaveDatabaseAtStop() { return S().DatabaseAwaitsAcquisition || SaveDatabaseFile(); }

void SaveDatabaseAtClose() {
  if (SaveDatabaseFile()) return;
  LogNotice(TMessageKind::Error,
            FormatLangStr("DatabaseLostAtClose", S().DatabaseRecordingName + ".cgs", DatabaseSourceName()));
}

bool LoadDatabaseFile(const std::string& fileName) {
  if (!SaveDatabaseFile()) return false;
  if (IsAbsent(fileName)) {
    TellUnread(FormatLangStr("FileSMissing", fileName));
    return false;
  }
  if (const std::string why = ColorGradeDatabase.Load(fileName); !why.empty()) {
    TellUnread(GetLangStr("DatabaseDamaged"));
    return false;
  }
  S().DatabaseShown = true;
  BreakAcquisition(true);
  StopRunAndSingle();
  SetDatabase(true, fileName);
  DrawShownDatabase();
  return true;
}

void RemoveShownDatabase() {
  if (!S().DatabaseShown || S().DatabaseRecording) return;
  S().DatabaseShown = false;
  SetDatabase(false, "");
  if (ScopeCRT) {
    ScopeCRT->RemoveDatabase();
    ScopeCRT->TopText().RefreshTopText();
  }
}

void RestartDatabase() { ColorGradeDatabase.SetStateFlag(1); }

void RegisterSaveCommands() {
  TSpider& root = *RootSpider;
  uint32_t excluded = 0;
  for (int id = kRecordTraceCount; id < kTraceIdCount; ++id) excluded |= 1u << id;
  S().MemoOn = root.AddCheckSw(0, "Save:Memo:On", "M1,M2,M3,M4", [](THandler&) {
    TCheckSwHandler& h = *S().MemoOn;
    if (h.GetLastButton() < kMemoryCount && h.GetLastState()) {
      const TTraceId trace = MemoryTrace(h.GetLastButton());
      if (DerivedSignalStates[TraceIndex(trace)] == dssOff) DerivedSignalStates[TraceIndex(trace)] = dssOn;
    }
  });
  S().MemoSource = root.AddSignalSourceSw(0, "Save:Memo:Source", kSourceItems, excluded);
  S().MemoToMemo = root.AddRadioSw(0, "Save:Memo:ToMemo", "M1,M2,M3,M4");
  root.AddRightCommand("Save:Memo:Save", [](THandler&) {
    RaiseByCommand(MemoCopyRequest, Origins.MemoCopy, Served.MemoCopy, ServeMemoCopy);
  });
  S().FileType =
      root.AddRadioSw(0, "Save:Disk:FileType", "Wfm,Db", [](THandler&) { ApplyFileTypeEnabling(); });
  S().DiskSource = root.AddSignalSourceSw(0, "Save:Disk:Source", kSourceItems, excluded);
  S().DbSource = root.AddSignalSourceSw(0, "Save:Disk:DbSource", kSourceItems, excluded);
  S().NameMode = root.AddRadioSw(0, "Save:Disk:NameMode", "Manual,Auto");
  S().FileFormat = root.AddRadioSw(0, "Save:Disk:FileFormat", "Binary,Verbose,YOnly");
  root.AddGpibString("Save:Disk:FileName", DiskFileNameNode);
  root.AddRightCommand("Save:Disk:Save", DiskSaveNode);
  S().DiskToMemo = root.AddRadioSw(0, "Save:Disk:ToMemo", "M1,M2,M3,M4");
  root.AddRightCommand("Save:Disk:Load", DiskLoadNode);
  root.AddRightCommand("Save:Setup:RecFact", [](THandler&) { RecallSetup(TSetupKind::Factory, true); });
  root.AddRightCommand("Save:Setup:RecLast", [](THandler&) {
    RunFailingCommand([] { return RecallSetup(TSetupKind::PowerOff, true); });
  });
  root.AddRightCommand("Save:Setup:SvAsDefault", [](THandler&) {
    RunFailingCommand([] { return SaveSetup(TSetupKind::Default, true); });
  });
  root.AddGpibString("Save:Setup:FileName", SetupFileNameNode);
  root.AddRightCommand("Save:Setup:Save", SetupSaveNode);
  root.AddRightCommand("Save:Setup:Recall", SetupRecallNode);
  S().DataBase = root.AddComplexObject("NOGPIB:DataBase", DatabaseState);
  ApplyFileTypeEnabling();
  RefreshMemoOnDisabled();
}

void ApplySaveSettings() { ApplyFileTypeEnabling(); }

void InstallSaveUnit() {
  AcqHooks.SaveWaveformBinary.Set([](int record, const std::string& name) {
    return record >= 0 && record < kRecordTraceCount &&
           SaveWaveformBinaryFile(static_cast<TTraceId>(record), name);
  });
  AcqHooks.SaveWaveformText.Set([](int record, const std::string& name, bool yOnly) {
    return record >= 0 && record < kRecordTraceCount &&
           SaveWaveformTextFile(static_cast<TTraceId>(record), name, yOnly);
  });
  AcqHooks.DatabaseRecording.Set([] { return S().DatabaseRecording; });
  AcqHooks.AccumulateDatabaseRecord.Set(AccumulateDatabaseRecord);
  AcqHooks.SaveDatabaseFile.Set([] { SaveDatabaseAtStop(); });
  AcqHooks.RefreshMemoryTraces.Set(RefreshMemoryTraces);
  AcqHooks.CopySelectedSourceToMemory.Set(ServeMemoCopy);
  AcqHooks.SaveWaveformToDisk.Set(ServeDiskSave);
  AcqHooks.LoadWaveformFromDisk.Set(ServeDiskLoad);
  SaveWaveformBinary.Set([](TTraceId s, const std::string& n) { SaveWaveformBinaryFile(s, n); });
  SaveWaveformText.Set([](TTraceId s, const std::string& n, bool y) { SaveWaveformTextFile(s, n, y); });
  LoadWaveformBinary.Set(LoadWaveformBinaryFile);
  LoadWaveformText.Set(LoadWaveformTextFile);
  ShellHooks.LoadMemoriesAtStart.Set(LoadMemoriesAtStart);
  // The save dialog of the acquisition's "Save All Wfms" reaction.
  SettingsHooks.AskAutoSaveFile.Set([](std::string& fileName, int& filterIndex) {
    const fs::path given(fileName);
    const auto choice =
        AskFile(true, "SaveWaveformAs", kWaveformFilter, filterIndex, given.filename().string(),
                given.has_parent_path() ? given.parent_path() : WaveformFolder());
    if (!choice) return false;
    fileName = choice->FileName;
    filterIndex = choice->FilterIndex;
    return true;
  });
  // "*Undo" of a database load brings the one before back.
  DisplaySettingsHooks.SaveDatabaseUndo.Set([] {
    if (S().DataBase) S().DataBase->SaveUndo(S().DataBase->GetWhoChangedRaw() == wcvReplay);
  });
}

}  // namespace norv
