#include "support/fuzz_program.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <system_error>
#include <unordered_set>

#include "framework/language/language.h"
#include "framework/settings/choice_handlers.h"
#include "framework/settings/handler.h"
#include "framework/settings/program_objects.h"
#include "framework/settings/settings_tree.h"
#include "framework/settings/undo_ring.h"
#include "framework/traces/scale_change_flags.h"
#include "instrument/acquisition/acquisition_cycle.h"
#include "instrument/acquisition/acquisition_hooks.h"
#include "instrument/link/command_link.h"
#include "instrument/link/instrument_identity.h"
#include "instrument/link/link_hooks.h"
#include "instrument/link/link_recovery.h"
#include "instrument/link/link_state.h"
#include "instrument/link/sample_stream.h"
#include "instrument/link/transport/usb_transport.h"
#include "instrument/record/signal_obj.h"
#include "instrument/settings/acquisition_settings.h"
#include "instrument/settings/channel_settings.h"
#include "instrument/settings/setting_senders.h"
#include "instrument/settings/settings_hooks.h"
#include "instrument/settings/settings_wiring.h"
#include "instrument/settings/timebase_settings.h"
#include "instrument/settings/trigger_level_search.h"
#include "instrument/settings/trigger_settings.h"
#include "instrument/startup/dispatchers.h"
#include "support/temp_home.h"

namespace norv::fuzz {

namespace fs = std::filesystem;

std::string Printable(std::string_view text) {
  std::string shown;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\n' || (byte >= 32 && byte < 127) || byte >= 128) {
      shown += c;
    } else {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\x%02X", byte);
      shown += escape;
    }
  }
  return shown;
}

void Require(bool holds, std::string_view property, std::string_view detail) {
  if (holds) return;
  std::fprintf(stderr, "\n*** property violated: %.*s\n", static_cast<int>(property.size()), property.data());
  const std::string shown = Printable(detail);
  std::fwrite(shown.data(), 1, shown.size(), stderr);
  std::fputc('\n', stderr);
  std::abort();
}

void SetUpProgramHome() {
  static bool done = false;
  if (done) return;
  done = true;
  test::SetUpTestHome();
  std::atexit([] { test::TearDownTestHome(); });
}

int InitializeProgram() {
  SetUpProgramHome();
  ResetProgramState();
  return 0;
}

void ClearProgramHome() {
  for (const char* sub : {"home", "config", "tmp"}) {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(test::TestRoot() / sub, ec))
      fs::remove_all(entry.path(), ec);
  }
}

void ResetProgramState() {
  DisconnectInstrument(true);
  FreshProgramState();
  SetSettingsLink(nullptr);
}

void ResetRecords() { SignalObjs().InitChannelSignals(); }

void CreateRegisteredTree() {
  RegisterAllCommandsAtStart();
  InstallInstrumentSettings();
  // The start-up apply: every change action runs once, as the shell forces it.
  ForceNotify = true;
  ApplyAllSettings();
  ForceNotify = false;
  UndoBuffer = std::make_unique<TUndoBuffer>();
  UndoBuffer->Enabled = true;
}

namespace {

struct TKeptHandler;
void MarkChanged(TKeptHandler& kept);

// One handler of the kept tree, with what it held when the tree was new.
struct TKeptHandler {
  // An item with a value (its start value is replayed); otherwise a command, whose
  // action cannot be put back.
  bool Setting = false;
  // A free-text command: its query answer must not change (its state is its own).
  bool Watched = false;
  std::string StartValue;
  bool StartDisabled = false;
  bool Changed = false;
  size_t Place = 0;  // in registration order
  TSwitcherLink Link{[this] { MarkChanged(*this); }};

  THandler& Handler() const { return *Link.Bound(); }
};

struct TKeptTree {
  bool Valid = false;
  bool AfterConnection = false;  // registered as with an instrument found
  bool PutBackLast = false;      // put back as the last step of the input before
  bool Broken = false;           // a change that replaying start values cannot put back
  std::vector<std::unique_ptr<TKeptHandler>> Handlers;  // in registration order
  std::vector<TKeptHandler*> ChangedHandlers;
  TSpider* StartSpider = nullptr;
  std::vector<std::string> StartDump;
};

TKeptTree& Kept() {
  static TKeptTree kept;
  return kept;
}

void MarkChanged(TKeptHandler& kept) {
  if (kept.Changed) return;
  kept.Changed = true;
  Kept().ChangedHandlers.push_back(&kept);
  if (!kept.Setting) Kept().Broken = true;
}

bool EnvSet(const char* name) {
  const char* value = std::getenv(name);
  return value && *value && std::string_view(value) != "0";
}

// Every handler below `node`, in the order the items were registered.
void CollectHandlers(const TSpider& node, std::vector<THandler*>& handlers) {
  std::vector<const TSpiderEntry*> entries;
  for (const TSpiderEntry& entry : node.Entries()) entries.push_back(&entry);
  std::sort(entries.begin(), entries.end(), [](auto* a, auto* b) { return a->Ordinal < b->Ordinal; });
  for (const TSpiderEntry* entry : entries) {
    if (entry->Handler) handlers.push_back(entry->Handler.get());
    if (entry->Child) CollectHandlers(*entry->Child, handlers);
  }
}

std::string QueryAnswer(THandler& handler, bool replay) {
  try {
    return handler.ExecCmd(std::string(), true, replay);
  } catch (const std::runtime_error&) {
    return "(refused)";
  }
}

bool AtStart(const TKeptHandler& item) {
  return item.Handler().IsDisabled() == item.StartDisabled &&
         QueryAnswer(item.Handler(), true) == item.StartValue;
}

// Watches every handler of the new tree and notes its start value.
void KeepTree() {
  TKeptTree& kept = Kept();
  kept = {};
  std::vector<THandler*> handlers;
  CollectHandlers(*RootSpider, handlers);
  for (THandler* handler : handlers) {
    auto item = std::make_unique<TKeptHandler>();
    item->Place = kept.Handlers.size();
    const bool command =
        dynamic_cast<TMainCommandHandler*>(handler) || dynamic_cast<TRightCommandHandler*>(handler);
    item->Watched = dynamic_cast<TGpibStringHandler*>(handler) != nullptr;
    if (item->Watched) {
      item->StartValue = QueryAnswer(*handler, false);
    } else if (!command) {
      item->StartValue = QueryAnswer(*handler, true);
      item->Setting = !item->StartValue.empty();
    }
    item->StartDisabled = handler->IsDisabled();
    // The action of a command (or of any item that is no setting) cannot be put back.
    if (handler->OnChange && !item->Setting) {
      handler->OnChange = [&ref = *item, action = std::move(handler->OnChange)](THandler& h) {
        MarkChanged(ref);
        action(h);
      };
    }
    item->Link.Bind(handler);
    kept.Handlers.push_back(std::move(item));
  }
  kept.StartSpider = CurrentSpider;
  if (EnvSet("NORV_FUZZ_CHECK_TREE")) RootSpider->DumpSettings(kept.StartDump);
  for (auto& item : kept.Handlers) item->Changed = false;
  kept.ChangedHandlers.clear();
  kept.Broken = false;
  kept.Valid = true;
}

// Replays the start values of the settings changed since; false when that does not
// bring every one back.
bool PutBackSettings() {
  TKeptTree& kept = Kept();
  // A handler freed with the tree alive: the tree is not the one kept.
  for (const auto& item : kept.Handlers)
    if (!item->Link.Bound()) return false;
  // Replaying may change further settings: those are replayed in the next round.
  for (int round = 0; round < 4 && !kept.ChangedHandlers.empty() && !kept.Broken; ++round) {
    std::vector<TKeptHandler*> changed = std::exchange(kept.ChangedHandlers, {});
    for (TKeptHandler* item : changed) item->Changed = false;
    // In registration order, as a setup holds them, whatever order the input took.
    std::sort(changed.begin(), changed.end(), [](auto* a, auto* b) { return a->Place < b->Place; });
    try {
      TSettingsBatch batch;
      for (int pass = 0; pass < 2; ++pass) {
        for (TKeptHandler* item : changed) {
          item->Handler().SetDisabled(item->StartDisabled);
          // The answer is " value"; the command takes the value.
          item->Handler().RestoreFromText(item->StartValue.substr(item->StartValue.starts_with(' ')));
        }
      }
    } catch (const std::runtime_error&) {
      return false;
    }
    // Of those that changed meanwhile, the ones back at their start are done.
    std::erase_if(kept.ChangedHandlers, [](TKeptHandler* item) {
      if (!item->Setting || !AtStart(*item)) return false;
      item->Changed = false;
      return true;
    });
  }
  if (kept.Broken || !kept.ChangedHandlers.empty()) return false;
  for (const auto& item : kept.Handlers)
    if (item->Watched && QueryAnswer(item->Handler(), false) != item->StartValue) return false;
  CurrentSpider = kept.StartSpider;
  UndoGroupState = {};
  UndoBuffer = std::make_unique<TUndoBuffer>();
  UndoBuffer->Enabled = true;
  if (!kept.StartDump.empty()) {
    std::vector<std::string> dump;
    RootSpider->DumpSettings(dump);
    Require(dump == kept.StartDump, "a kept tree is put back to its start values");
  }
  return true;
}

bool FreshTreeEachInput() {
  static const bool fresh = EnvSet("NORV_FUZZ_FRESH_TREE");
  return fresh;
}

}  // namespace

void UseRegisteredTree(bool afterConnection) {
  const bool fresh = FreshTreeEachInput();
  TKeptTree& kept = Kept();
  // Nothing ran since the put-back at the end of the input before.
  if (std::exchange(kept.PutBackLast, false) && kept.AfterConnection == afterConnection) return;
  if (!fresh && kept.Valid && kept.AfterConnection == afterConnection && RootSpider && PutBackSettings())
    return;
  kept.Valid = false;
  ResetProgramState();
  // The program registers its tree after the start-up connection: with an instrument
  // found, the link's kind sets the instrument's defaults and limits.
  if (afterConnection) LinkKind = TLinkKind::USB;
  CreateRegisteredTree();
  LinkKind = TLinkKind::None;
  if (!fresh) KeepTree();
  kept.AfterConnection = afterConnection;
}

void PutBackRegisteredTree() {
  if (FreshTreeEachInput()) return;
  UseRegisteredTree(Kept().AfterConnection);
  Kept().PutBackLast = true;
}

std::optional<std::string> KeptTreeChanges() {
  const TKeptTree& kept = Kept();
  if (!kept.Valid || kept.Broken || !RootSpider) return std::nullopt;
  std::vector<const TKeptHandler*> changed(kept.ChangedHandlers.begin(), kept.ChangedHandlers.end());
  std::sort(changed.begin(), changed.end(), [](auto* a, auto* b) { return a->Place < b->Place; });
  std::string changes;
  for (const TKeptHandler* item : changed) {
    if (!item->Link.Bound()) return std::nullopt;
    changes += std::to_string(item->Place) + (item->Handler().IsDisabled() ? " off" : " on") +
               QueryAnswer(item->Handler(), true) + '\n';
  }
  for (const auto& item : kept.Handlers) {
    if (!item->Watched || !item->Link.Bound()) continue;
    const std::string answer = QueryAnswer(item->Handler(), false);
    if (answer != item->StartValue) changes += std::to_string(item->Place) + answer + '\n';
  }
  return changes;
}

bool InSample(std::string_view input, size_t share, const char* regressions) {
  static const std::unordered_set<std::string> kept = [regressions] {
    std::unordered_set<std::string> inputs;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(regressions, ec)) {
      std::ifstream in(entry.path(), std::ios::binary);
      inputs.insert(std::string(std::istreambuf_iterator<char>(in), {}));
    }
    return inputs;
  }();
  return std::hash<std::string_view>()(input) % share == 0 || kept.contains(std::string(input));
}

std::vector<std::string_view> SplitOn(std::string_view data, char separator) {
  std::vector<std::string_view> parts;
  for (size_t start = 0;;) {
    const size_t end = data.find(separator, start);
    if (end == std::string_view::npos) {
      parts.push_back(data.substr(start));
      return parts;
    }
    parts.push_back(data.substr(start, end - start));
    start = end + 1;
  }
}

}  // namespace norv::fuzz
