#include "framework/settings/settings_recall.h"

#include <algorithm>

#include "framework/settings/handler.h"
#include "framework/settings/settings_tree.h"
#include "framework/text/text_case.h"
#include "framework/text/text_encoding.h"
#include "framework/util/dialog_service.h"

namespace norv {

namespace {

TSettingsRecall* ActiveRecall = nullptr;

// The full path of a handler below `node`, or "".
std::string PathBelow(TSpider& node, const THandler* handler) {
  for (int i = 0; i < node.Count(); ++i) {
    const TSpiderEntry& entry = node.Entries()[i];
    if (entry.Handler.get() == handler) return node.GetItemHeader(i, false, true);
    if (entry.Child)
      if (std::string path = PathBelow(*entry.Child, handler); !path.empty()) return path;
  }
  return {};
}

// A line as the warning shows it: control characters as '?', the start of a long one.
std::string ShownLine(std::string_view line) {
  std::string shown = ShortenedUtf8(line, 80);
  for (char& c : shown)
    if (IsBlankOrControl(c) && c != ' ') c = '?';
  return shown;
}

// A heading and the first few of its lines, after what the text holds already.
void AppendShownLines(std::string& text, const char* heading, const std::vector<std::string>& lines) {
  if (lines.empty()) return;
  constexpr size_t kShownLines = 10;
  if (!text.empty()) text += "\n";
  text += heading;
  for (size_t i = 0; i < lines.size() && i < kShownLines; ++i) text += "\n" + ShownLine(lines[i]);
  if (lines.size() > kShownLines) text += "\n... and " + std::to_string(lines.size() - kShownLines) + " more";
}

void Report(const std::vector<std::string>& skipped, const std::vector<std::string>& heldBack) {
  std::string text;
  AppendShownLines(text, "These lines set no setting and were skipped:", skipped);
  AppendShownLines(text, "These settings were recalled without starting their procedures:", heldBack);
  if (!text.empty()) Dialogs().Inform(TMessageKind::Warning, text);
}

}  // namespace

TSettingsRecall::TSettingsRecall() : saved_(ActiveRecall) { ActiveRecall = this; }

TSettingsRecall::~TSettingsRecall() { ActiveRecall = saved_; }

std::vector<std::string> TSettingsRecall::HeldBackLines() const {
  std::vector<std::string> lines;
  for (const auto& held : held_back_) lines.push_back(held.second);
  return lines;
}

bool RecallHoldsBack(THandler& handler) {
  if (!ActiveRecall) return handler.GetWhoChangedRaw() == wcvReplay;
  // Named with the value that would have started it; a setup's second pass names it once.
  std::string line = HandlerPath(&handler);
  if (line.empty()) line = "?";
  line += handler.ExecCmd(std::string(), true, true);
  auto& held = ActiveRecall->held_back_;
  const auto known =
      std::find_if(held.begin(), held.end(), [&](const auto& h) { return h.first == &handler; });
  if (known != held.end())
    known->second = std::move(line);
  else
    held.emplace_back(&handler, std::move(line));
  return true;
}

void RecallSettings(const std::function<void(std::vector<std::string>& skipped)>& replay) {
  std::vector<std::string> skipped;
  std::vector<std::string> heldBack;
  {
    const TSettingsRecall recall;
    {
      TSettingsBatch batch;
      replay(skipped);
    }
    heldBack = recall.HeldBackLines();
  }
  // Once the batch and the recall have ended: the box waits for the user, who may start
  // anything meanwhile.
  Report(skipped, heldBack);
}

std::string HandlerPath(const THandler* handler) {
  return handler && RootSpider ? PathBelow(*RootSpider, handler) : std::string();
}

}  // namespace norv
