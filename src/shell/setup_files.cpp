#include "shell/setup_files.h"

#include <string_view>

#include "framework/language/language.h"
#include "framework/settings/handler.h"
#include "framework/settings/numeric_handlers.h"
#include "framework/settings/settings_tree.h"
#include "framework/settings/undo_ring.h"
#include "framework/util/dialog_service.h"
#include "framework/util/errors.h"
#include "framework/util/file_io.h"
#include "instrument/settings/timebase_settings.h"
#include "instrument/simulator/simulator_nodes.h"
#include "instrument/startup/instrument_list.h"
#include "instrument/startup/program_folders.h"
#include "shell/shell_state.h"

namespace norv {

namespace fs = std::filesystem;

std::string InstrumentFileName(const std::string& instrument) {
  std::string name = instrument;
  for (char& c : name) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || c == ' ' || c == '/' || c == '\\' || c == ':' || c == '*' || c == '?' || c == '"' ||
        c == '<' || c == '>' || c == '|')
      c = '_';
  }
  return name;
}

fs::path SetupFilePath(TSetupKind kind) {
  const char* prefix = kind == TSetupKind::PowerOff ? "~SetpPwrOffFor" : "~SetpDefaultFor";
  return DataFolders().SetupFilesDir / (prefix + InstrumentFileName(CurrentInstrumentName) + ".set");
}

void TakeFactoryDefaultSetup() {
  ShellState.FactoryDefaultSetup.clear();
  if (RootSpider) RootSpider->DumpSettings(ShellState.FactoryDefaultSetup);
}

bool SaveSetupFile(const fs::path& path, bool showErrors, std::string* failure) {
  // Checked as it is opened: the default and power-off names hold the instrument's name.
  const std::string refused = WhyFileRefused(path);
  std::vector<std::string> lines;
  if (RootSpider) RootSpider->DumpSettings(lines);
  std::string why;
  const bool ok =
      refused.empty() && RootSpider && WriteFileAtomically(path, SetupFileTextFromLines(lines), true, &why);
  if (ok) return true;
  const std::string text =
      refused.empty() ? WithReason(FormatLangStr("File___NotSaved", path.string()), why) : refused;
  if (showErrors) Dialogs().Inform(TMessageKind::Error, text);
  if (failure) *failure = text;
  return false;
}

namespace {

void NotifyDelaySwitchers() {
  for (THandler* h : {static_cast<THandler*>(TimeBaseSettings().Delay),
                      static_cast<THandler*>(TimeBaseSettings().BitDelay)})
    if (h) h->NotifySwitchers();
}

// A recall inside a recall would recurse until the stack runs out: it is refused and the
// replay goes on. (A setup's own lines never recall one: LoadSettings runs settings only.)
bool SetupReplayRunning = false;

void ReplaySetup(const std::vector<std::string>& lines) {
  if (SetupReplayRunning) throw ERefusedCommand("ERROR!  A setup recall is running");
  struct TRunning {
    TRunning() { SetupReplayRunning = true; }
    ~TRunning() { SetupReplayRunning = false; }
  } running;
  if (UndoBuffer) UndoBuffer->BeginStep();
  RootSpider->LoadSettings(lines);
  NotifyDelaySwitchers();
}

}  // namespace

bool LoadSetupFile(const fs::path& path, bool showErrors, std::string* failure) {
  const auto fail = [&](const std::string& text) {
    if (showErrors) Dialogs().Inform(TMessageKind::Error, text);
    if (failure) *failure = text;
    return false;
  };
  if (const std::string refused = WhyFileRefused(path); !refused.empty()) return fail(refused);
  const TFileRead file = ReadRegularFile(path);
  if (!file || !RootSpider)
    return fail(WithReason(FormatLangStr("File___NotFound", path.string()), file.Why));
  ReplaySetup(SetupLinesFromFileText(file.Bytes));
  return true;
}

bool SaveSetup(TSetupKind kind, bool showErrors) {
  if (kind == TSetupKind::Factory) return true;
  return SaveSetupFile(SetupFilePath(kind), showErrors);
}

bool RecallSetup(TSetupKind kind, bool showErrors) {
  bool ok = true;
  if (kind == TSetupKind::Factory) {
    if (RootSpider) ReplaySetup(ShellState.FactoryDefaultSetup);
  } else if (const fs::path path = SetupFilePath(kind); kind == TSetupKind::PowerOff && IsAbsent(path)) {
    // Written at the first close: until then there is nothing to recall, and no file error.
    if (showErrors) Dialogs().Inform(TMessageKind::Warning, GetLangStr("NoPowerOffSetupYet"));
    ok = false;
  } else {
    ok = LoadSetupFile(path, showErrors);
  }
  if (!ok) return false;
  // A setup saved with the simulator must not feed a real instrument's channels from it.
  if (kind != TSetupKind::PowerOff) AssignSimulatorGenerators();
  ShellHooks.AfterSetupRecall();
  return true;
}

}  // namespace norv
