#include "shell/setup_files.h"

#include <algorithm>
#include <string_view>
#include <utility>

#include "framework/language/language.h"
#include "framework/settings/handler.h"
#include "framework/settings/numeric_handlers.h"
#include "framework/settings/settings_tree.h"
#include "framework/settings/undo_ring.h"
#include "framework/text/text_case.h"
#include "framework/util/dialog_service.h"
#include "framework/util/errors.h"
#include "framework/util/file_io.h"
#include "instrument/acquisition/acquisition_cycle.h"
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

namespace {

// A failure: in a box when asked, and to the caller when it takes the text.
bool Tell(const std::string& text, bool showErrors, std::string* failure) {
  if (showErrors) Dialogs().Inform(TMessageKind::Error, text);
  if (failure) *failure = text;
  return false;
}

}  // namespace

bool SaveSetupFile(const fs::path& path, bool showErrors, std::string* failure) {
  // Checked as it is opened: the default and power-off names hold the instrument's name.
  const std::string refused = WhyFileRefused(path);
  std::vector<std::string> lines;
  if (RootSpider) RootSpider->DumpSettings(lines);
  std::string why;
  const bool ok =
      refused.empty() && RootSpider && WriteFileAtomically(path, SetupFileTextFromLines(lines), true, &why);
  return ok ||
         Tell(refused.empty() ? WithReason(FormatLangStr("File___NotSaved", path.string()), why) : refused,
              showErrors, failure);
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
// Why a line of the setup being replayed could not be recalled whole (the first reason).
std::string SetupLineFailure;

// Replays the lines; gives back why a line could not be recalled whole ("" when none).
std::string ReplaySetup(const std::vector<std::string>& lines) {
  if (SetupReplayRunning) throw ERefusedCommand("ERROR!  A setup recall is running");
  struct TRunning {
    TRunning() {
      SetupReplayRunning = true;
      SetupLineFailure.clear();
    }
    ~TRunning() { SetupReplayRunning = false; }
  } running;
  if (UndoBuffer) UndoBuffer->BeginStep();
  RootSpider->LoadSettings(lines);
  NotifyDelaySwitchers();
  // A counted run goes on as the recalled one: from its first cycle.
  CountRunAfresh();
  return std::exchange(SetupLineFailure, {});
}

// A line that sets a setting: its first command names one (through an older path too).
bool NamesASetting(std::string_view line) {
  // Blanks and root colons before the path are passed over, as the line's reader does.
  const auto start =
      std::find_if_not(line.begin(), line.end(), [](char c) { return IsBlankOrControl(c) || c == ':'; });
  const auto end =
      std::find_if(start, line.end(), [](char c) { return IsBlankOrControl(c) || c == ';' || c == '?'; });
  const std::string_view path(start, end);
  const THandler* handler = path.empty() ? nullptr : RootSpider->FindHandler(path);
  if (const auto* alias = dynamic_cast<const TPathAlias*>(handler)) handler = alias->Target();
  return IsSetupHandler(handler);
}

// Reads a setup file and replays it. False, with why, when it cannot be read or is no
// setup (no line of it names a setting): nothing changed. Else `lineFailure` tells why a
// line could not be recalled whole; the other lines are.
bool ReplaySetupFile(const fs::path& path, std::string& why, std::string& lineFailure) {
  if (why = WhyFileRefused(path); !why.empty()) return false;
  const TFileRead file = ReadRegularFile(path);
  if (!file || !RootSpider) {
    why = WithReason(FormatLangStr("File___NotFound", path.string()), file.Why);
    return false;
  }
  const std::vector<std::string> lines = SetupLinesFromFileText(file.Bytes);
  if (std::none_of(lines.begin(), lines.end(), NamesASetting)) {
    why = WithReason(FormatLangStr("File___NotFound", path.string()),
                     "it is not a setup file (no line of it names a setting)");
    return false;
  }
  lineFailure = ReplaySetup(lines);
  return true;
}

}  // namespace

bool FailSetupLine(const std::string& why) {
  if (!SetupReplayRunning) return false;
  if (SetupLineFailure.empty()) SetupLineFailure = why;
  return true;
}

bool LoadSetupFile(const fs::path& path, bool showErrors, std::string* failure) {
  std::string why, lineFailure;
  if (!ReplaySetupFile(path, why, lineFailure)) return Tell(why, showErrors, failure);
  return lineFailure.empty() || Tell(lineFailure, showErrors, failure);
}

bool SaveSetup(TSetupKind kind, bool showErrors) {
  if (kind == TSetupKind::Factory) return true;
  return SaveSetupFile(SetupFilePath(kind), showErrors);
}

bool RecallSetup(TSetupKind kind, bool showErrors) {
  std::string lineFailure;
  if (kind == TSetupKind::Factory) {
    if (RootSpider) lineFailure = ReplaySetup(ShellState.FactoryDefaultSetup);
  } else if (const fs::path path = SetupFilePath(kind); kind == TSetupKind::PowerOff && IsAbsent(path)) {
    // Written at the first close: until then there is nothing to recall, and no file error.
    if (showErrors) Dialogs().Inform(TMessageKind::Warning, GetLangStr("NoPowerOffSetupYet"));
    return false;
  } else if (std::string why; !ReplaySetupFile(path, why, lineFailure)) {
    return Tell(why, showErrors, nullptr);
  }
  // A setup saved with the simulator must not feed a real instrument's channels from it.
  if (kind != TSetupKind::PowerOff) AssignSimulatorGenerators();
  ShellHooks.AfterSetupRecall();
  // Told even to the start's recall, which takes no file errors, as the line told it itself.
  return lineFailure.empty() || Tell(lineFailure, true, nullptr);
}

}  // namespace norv
