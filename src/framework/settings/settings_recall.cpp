#include "framework/settings/settings_recall.h"

#include <algorithm>
#include <utility>

#include "framework/language/hint_stack.h"
#include "framework/settings/handler.h"
#include "framework/settings/settings_tree.h"
#include "framework/text/text_case.h"
#include "framework/text/text_encoding.h"
#include "framework/util/dialog_service.h"

namespace norv {

namespace {

// The settings held back by the recall in force (none: nothing is being recalled), one
// line per setting with the value it had when its procedure was held back, in the order met.
std::vector<std::pair<const THandler*, std::string>>* HeldBack = nullptr;
// Set while a recall names the settings it held back in the status line and the log.
bool ToldInStatusLine = false;
constexpr int32_t kStatusLineMs = 15000;

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

// A heading and the first few of its lines, after what the text holds already: a line each
// in a box or the log, one line for the status line.
void AppendShownLines(std::string& text, const char* heading, const std::vector<std::string>& lines,
                      bool oneLine) {
  if (lines.empty()) return;
  constexpr size_t kShownLines = 10;
  const char* const next = oneLine ? "; " : "\n";
  if (!text.empty()) text += oneLine ? " " : "\n";
  text += heading;
  for (size_t i = 0; i < lines.size() && i < kShownLines; ++i)
    text += (i == 0 && oneLine ? " " : next) + ShownLine(lines[i]);
  if (lines.size() > kShownLines)
    text += next + ("... and " + std::to_string(lines.size() - kShownLines) + " more");
}

std::string ReportText(const std::vector<std::string>& skipped, const std::vector<std::string>& heldBack,
                       bool oneLine) {
  std::string text;
  AppendShownLines(text, "These lines set no setting and were skipped:", skipped, oneLine);
  AppendShownLines(text, "These settings were recalled without starting their procedures:", heldBack,
                   oneLine);
  return text;
}

void Report(const std::vector<std::string>& skipped, const std::vector<std::string>& heldBack) {
  const std::vector<std::string> none;
  const bool heldBackToStatusLine = ToldInStatusLine && !heldBack.empty();
  if (heldBackToStatusLine) {
    PushHint(ReportText(none, heldBack, true), kStatusLineMs, THintKeep::Keep, THintStyle::Warning);
    const TDialogsSuppressed toTheLog;
    Dialogs().Inform(TMessageKind::Warning, ReportText(none, heldBack, false));
  }
  const std::string text = ReportText(skipped, heldBackToStatusLine ? none : heldBack, false);
  if (!text.empty()) Dialogs().Inform(TMessageKind::Warning, text);
}

}  // namespace

bool RecallHoldsBack(THandler& handler) {
  if (!HeldBack) return handler.GetWhoChangedRaw() == wcvReplay;
  // Named with the value that would have started it; a setup's second pass names it once.
  std::string line = HandlerPath(&handler);
  if (line.empty()) line = "?";
  line += handler.ExecCmd(std::string(), true, true);
  auto& held = *HeldBack;
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
  std::vector<std::pair<const THandler*, std::string>> held;
  {
    // A recall inside another (a setup's line that replays one) collects into its own.
    struct TInForce {
      decltype(HeldBack) const saved;
      ~TInForce() { HeldBack = saved; }
    } inForce{std::exchange(HeldBack, &held)};
    TSettingsBatch batch;
    replay(skipped);
  }
  std::vector<std::string> heldBack;
  for (auto& line : held) heldBack.push_back(std::move(line.second));
  // Once the batch and the recall have ended: the box waits for the user, who may start
  // anything meanwhile.
  Report(skipped, heldBack);
}

TRecallToldInStatusLine::TRecallToldInStatusLine() : saved_(std::exchange(ToldInStatusLine, true)) {}

TRecallToldInStatusLine::~TRecallToldInStatusLine() { ToldInStatusLine = saved_; }

std::string HandlerPath(const THandler* handler) {
  return handler && RootSpider ? PathBelow(*RootSpider, handler) : std::string();
}

}  // namespace norv
