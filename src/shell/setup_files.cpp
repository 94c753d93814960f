#include "shell/setup_files.h"

#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string_view>
#include <system_error>

#include "framework/language/language.h"
#include "framework/settings/handler.h"
#include "framework/settings/numeric_handlers.h"
#include "framework/settings/settings_tree.h"
#include "framework/settings/undo_ring.h"
#include "framework/util/dialog_service.h"
#include "framework/util/errors.h"
#include "instrument/settings/timebase_settings.h"
#include "instrument/simulator/simulator_nodes.h"
#include "instrument/startup/dispatchers.h"
#include "instrument/startup/instrument_list.h"
#include "shell/remote/remote_protocol.h"
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

namespace {

constexpr std::string_view kTemporarySuffix = ".tmp";

std::string TemporaryPrefix(const fs::path& path) { return "." + path.filename().string() + "."; }

// The temporary files of Path whose writer has gone (interrupted before its rename): they
// would stay for ever, each as big as the target.
void RemoveStaleTemporaries(const fs::path& path) {
  const std::string prefix = TemporaryPrefix(path);
  std::error_code ec;
  for (fs::directory_iterator it(path.parent_path(), ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (!name.starts_with(prefix) || !name.ends_with(kTemporarySuffix)) continue;
    const std::string_view digits(name.data() + prefix.size(),
                                  name.size() - prefix.size() - kTemporarySuffix.size());
    pid_t pid = 0;
    const auto [last, error] = std::from_chars(digits.data(), digits.data() + digits.size(), pid);
    if (digits.empty() || error != std::errc() || last != digits.data() + digits.size()) continue;
    if (pid == getpid() || !ProcessAlive(pid)) {
      std::error_code removeError;
      fs::remove(it->path(), removeError);
    }
  }
}

}  // namespace

bool WriteFileAtomically(const fs::path& path, const std::string& bytes) {
  std::error_code ec;
  fs::create_directories(path.parent_path(), ec);
  RemoveStaleTemporaries(path);
  // The temporary name is unique to this process, so two copies never write one file.
  const fs::path temp =
      path.parent_path() /
      (TemporaryPrefix(path) + std::to_string(static_cast<long>(getpid())) + std::string(kTemporarySuffix));
  bool ok = false;
  if (FILE* f = std::fopen(temp.c_str(), "wb")) {
    ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    // The data must be on disk before the name points at it.
    ok = std::fflush(f) == 0 && ok;
    ok = fsync(fileno(f)) == 0 && ok;
    ok = std::fclose(f) == 0 && ok;
  }
  if (ok) ok = std::rename(temp.c_str(), path.c_str()) == 0;
  if (!ok) fs::remove(temp, ec);
  return ok;
}

void TakeFactoryDefaultSetup() {
  ShellState.FactoryDefaultSetup.clear();
  if (RootSpider) RootSpider->DumpSettings(ShellState.FactoryDefaultSetup);
}

bool SaveSetupFile(const fs::path& path, bool showErrors) {
  std::vector<std::string> lines;
  if (RootSpider) RootSpider->DumpSettings(lines);
  const bool ok = RootSpider && WriteFileAtomically(path, SetupFileTextFromLines(lines));
  if (!ok && showErrors)
    Dialogs().Inform(TMessageKind::Error, FormatLangStr("File___NotSaved", path.string()));
  return ok;
}

namespace {

void NotifyDelaySwitchers() {
  for (THandler* h : {static_cast<THandler*>(TimeBaseSettings().Delay),
                      static_cast<THandler*>(TimeBaseSettings().BitDelay)})
    if (h) h->NotifySwitchers();
}

// A setup that recalls a setup (itself, as often as not) would recurse until the stack
// runs out: such a line is refused and the replay goes on.
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

bool LoadSetupFile(const fs::path& path, bool showErrors) {
  std::ifstream in(path, std::ios::binary);
  std::string bytes;
  if (in) bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (!in.is_open() || in.bad() || !RootSpider) {
    if (showErrors) Dialogs().Inform(TMessageKind::Error, FormatLangStr("File___NotFound", path.string()));
    return false;
  }
  ReplaySetup(SetupLinesFromFileText(bytes));
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
  } else {
    ok = LoadSetupFile(SetupFilePath(kind), showErrors);
  }
  if (!ok) return false;
  // A setup saved with the simulator must not feed a real instrument's channels from it.
  if (kind != TSetupKind::PowerOff) AssignSimulatorGenerators();
  ShellHooks.AfterSetupRecall();
  return true;
}

}  // namespace norv
