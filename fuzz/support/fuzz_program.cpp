#include "support/fuzz_program.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "framework/language/language.h"
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
