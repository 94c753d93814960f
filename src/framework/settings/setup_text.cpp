// Setup text: the settings of the tree as command lines that restore them, and their
// playback.

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "framework/settings/choice_handlers.h"
#include "framework/settings/procedure_setup.h"
#include "framework/settings/settings_recall.h"
#include "framework/settings/settings_tree.h"
#include "framework/text/text_case.h"
#include "framework/text/text_encoding.h"
#include "framework/util/errors.h"

namespace norv {

namespace {

bool IsBlankLine(std::string_view line) { return std::all_of(line.begin(), line.end(), IsBlankOrControl); }

bool IsRefused(std::string_view reply) { return reply.find("ERROR") != std::string_view::npos; }

}  // namespace

std::string TPathAlias::Execute(const std::string& param, bool isQuery, bool replay) {
  return target_->ExecCmd(param, isQuery, replay);
}

THandler* TSpider::AddAlias(std::string_view path, THandler* target) {
  THandler* alias = AddItem(path, std::make_unique<TPathAlias>(target));
  alias->SetInternal(true);  // not written to setups: the setting itself is
  alias->SetDisabled(true);  // nor listed
  return alias;
}

bool IsSetupHandler(const THandler* handler) {
  return handler && !handler->IsInternal() && !dynamic_cast<const TGpibStringHandler*>(handler) &&
         !dynamic_cast<const TMainCommandHandler*>(handler) &&
         !dynamic_cast<const TRightCommandHandler*>(handler);
}

TSetupCommandsOnly::TSetupCommandsOnly() : saved_(SettingsTreeState.SetupCommandsOnly) {
  SettingsTreeState.SetupCommandsOnly = this;
}

TSetupCommandsOnly::~TSetupCommandsOnly() { SettingsTreeState.SetupCommandsOnly = saved_; }

bool TSetupCommandsOnly::PassesOver(const TSpiderEntry* entry) {
  TSetupCommandsOnly* const active = SettingsTreeState.SetupCommandsOnly;
  if (!active) return false;
  // The dump writes the items below a node, never a handler of the node itself.
  const THandler* handler = entry && !entry->Child ? entry->Handler.get() : nullptr;
  if (const auto* alias = dynamic_cast<const TPathAlias*>(handler)) handler = alias->Target();
  if (IsSetupHandler(handler)) return false;
  ++active->passed_over_;
  return true;
}

TAnyCommands::TAnyCommands() : saved_(std::exchange(SettingsTreeState.SetupCommandsOnly, nullptr)) {}

TAnyCommands::~TAnyCommands() { SettingsTreeState.SetupCommandsOnly = saved_; }

void TSpider::DumpSettings(std::vector<std::string>& list) {
  std::string prefix;
  AppendPathPrefix(prefix);
  DumpSettingsBelow(list, prefix);
}

void TSpider::DumpSettingsBelow(std::vector<std::string>& list, std::string& prefix) {
  ForEachInOrder([&](int index) {
    const TSpiderEntry& entry = entries_[index];
    if (entry.Child) {
      const size_t length = prefix.size();
      AppendPathPiece(prefix, entry.Mnemonic);
      entry.Child->DumpSettingsBelow(list, prefix);
      prefix.resize(length);
      return;
    }
    THandler* handler = entry.Handler.get();
    if (!IsSetupHandler(handler)) return;
    // Named before the query runs: a callback adding entries here would move this one.
    std::string line = prefix + entry.Mnemonic;
    // A setting a running procedure set for itself is written as the procedure will give
    // it back: a setup taken meanwhile holds the user's settings, as the close's does.
    const std::optional<std::string> before = TProcedureSetup::ValueBeforeProcedures(*handler);
    const std::string answer =
        before ? handler->SetupAnswerOf(*before) : handler->ExecCmd(std::string(), true, true);
    if (answer.empty()) return;
    line += answer;
    list.push_back(std::move(line));
  });
}

std::vector<std::string> TSpider::LoadSettings(const std::vector<std::string>& list) {
  std::vector<std::string> refused;
  RecallSettings([&](std::vector<std::string>& skipped) {
    ReplayRecallLines([&] { return list.size(); },
                      [&](size_t index, int pass) {
                        const std::string& line = list[index];
                        if (IsBlankLine(line)) return;
                        // A damaged line (an empty command, as in "X 1;") and a refused command are
                        // passed over like an unknown one and the rest of the setup still loads; faults
                        // of handlers still reach the caller.
                        const TSetupCommandsOnly settingsOnly;
                        bool ok = true;
                        try {
                          ok = !IsRefused(ExecCommandLine(line, true));
                        } catch (const ERefusedCommand&) {
                          ok = false;
                        } catch (const EAssertion& e) {
                          if (std::string_view(e.what()) != kMnemonicsAbsent) throw;
                          ok = false;
                        }
                        if (pass != 1) return;
                        if (settingsOnly.PassedOver() > 0) skipped.push_back(line);
                        if (!ok || settingsOnly.PassedOver() > 0) refused.push_back(line);
                      });
    OnSettingsLoaded();
  });
  return refused;
}

std::vector<std::string> SetupLinesFromFileText(std::string_view bytes) {
  std::vector<std::string> lines;
  if (bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF")) {
    const std::string text = DecodeText(bytes).utf8;  // the lines point into it
    for (std::string_view line : SplitLines(text)) lines.emplace_back(line);
    return lines;
  }
  if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
  // Each line decides its own encoding: one line in the code page of older files (a
  // free text "caf\xE9") must not turn the UTF-8 of all others ("\xC2\xB5(s)") into
  // other characters. A line begins with its ASCII path, never with a byte-order mark.
  const std::vector<std::string_view> split = SplitLines(bytes);
  lines.reserve(split.size());
  for (std::string_view line : split) lines.push_back(DecodeText(line).utf8);
  return lines;
}

std::string SetupFileTextFromLines(const std::vector<std::string>& lines) {
  std::string text;
  size_t size = 0;
  for (const std::string& line : lines) size += line.size() + 1;
  text.reserve(size);
  for (const std::string& line : lines) {
    // Always UTF-8: a line still in the old code page is converted on the way out.
    if (IsAsciiText(line))
      text += line;
    else
      text += DecodeText(line).utf8;
    text += '\n';
  }
  return text;
}

}  // namespace norv
