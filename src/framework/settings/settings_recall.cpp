#include "framework/settings/settings_recall.h"

#include <algorithm>
#include <utility>

#include "framework/language/hint_stack.h"
#include "framework/settings/handler.h"
#include "framework/settings/settings_tree.h"
#include "framework/text/text_case.h"
#include "framework/text/text_encoding.h"
#include "framework/util/dialog_service.h"
#include "framework/util/errors.h"

namespace norv {

namespace {

// The recall in force (none: nothing is being recalled).
struct TRecall {
  // The settings held back, one line per setting with the value it had when its procedure
  // was held back, in the order met.
  std::vector<std::pair<const THandler*, std::string>> heldBack;
  // While lines are replayed: the settings each line has set, and those that do not hold
  // the value their line gave (a limit clamped it, or something else moved it since).
  std::vector<std::vector<const THandler*>>* lineSettings = nullptr;
  size_t line = 0;
  std::vector<const THandler*> moved;
};
TRecall* Recall = nullptr;
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
    LogNotice(TMessageKind::Warning, ReportText(none, heldBack, false));
  }
  const std::string text = ReportText(skipped, heldBackToStatusLine ? none : heldBack, false);
  if (!text.empty()) Dialogs().Inform(TMessageKind::Warning, text);
}

}  // namespace

bool RecallHoldsBack(THandler& handler) {
  if (!Recall) return handler.GetWhoChangedRaw() == wcvReplay;
  // Named with the value that would have started it; a setup's second pass names it once.
  std::string line = HandlerPath(&handler);
  if (line.empty()) line = "?";
  line += handler.ExecCmd(std::string(), true, true);
  auto& held = Recall->heldBack;
  const auto known =
      std::find_if(held.begin(), held.end(), [&](const auto& h) { return h.first == &handler; });
  if (known != held.end())
    known->second = std::move(line);
  else
    held.emplace_back(&handler, std::move(line));
  return true;
}

void RecallSettings(const std::function<void(std::vector<std::string>& skipped)>& replay, TRecallTold told) {
  std::vector<std::string> skipped;
  TRecall recall;
  {
    // A recall inside another (a setup's line that replays one) collects into its own.
    struct TInForce {
      TRecall* const saved;
      ~TInForce() { Recall = saved; }
    } inForce{std::exchange(Recall, &recall)};
    TSettingsBatch batch;
    replay(skipped);
  }
  if (told == TRecallTold::LogOnly) {
    if (!skipped.empty()) LogNotice(TMessageKind::Warning, ReportText(skipped, {}, false));
    return;
  }
  std::vector<std::string> heldBack;
  for (auto& line : recall.heldBack) heldBack.push_back(std::move(line.second));
  // Once the batch and the recall have ended: the box waits for the user, who may start
  // anything meanwhile.
  Report(skipped, heldBack);
}

TRecallToldInStatusLine::TRecallToldInStatusLine() : saved_(std::exchange(ToldInStatusLine, true)) {}

TRecallToldInStatusLine::~TRecallToldInStatusLine() { ToldInStatusLine = saved_; }

void ReplayRecallLines(const std::function<size_t()>& count,
                       const std::function<void(size_t line, int pass)>& replayLine) {
  if (!Recall) throw EAssertion("ReplayRecallLines outside a recall");
  std::vector<std::vector<const THandler*>> lineSettings;
  struct TReplaying {
    TRecall& recall;
    ~TReplaying() {
      recall.lineSettings = nullptr;
      recall.moved.clear();
    }
  } replaying{*Recall};
  Recall->lineSettings = &lineSettings;
  const auto run = [&](size_t line, int pass) {
    if (lineSettings.size() <= line) lineSettings.resize(line + 1);
    Recall->line = line;
    replayLine(line, pass);
  };
  for (int pass = 0; pass < 2; ++pass)
    for (size_t line = 0; line < count(); ++line) run(line, pass);
  // Set again, in their order, until nothing moves them: a round may move others in turn.
  // Two settings whose callbacks move each other end after a few rounds.
  constexpr int kRounds = 4;
  for (int pass = 2; pass < 2 + kRounds && !Recall->moved.empty(); ++pass) {
    std::vector<size_t> again;
    for (size_t line = 0; line < lineSettings.size(); ++line)
      for (const THandler* setting : lineSettings[line])
        if (std::find(Recall->moved.begin(), Recall->moved.end(), setting) != Recall->moved.end()) {
          again.push_back(line);
          break;
        }
    Recall->moved.clear();
    for (size_t line : again) run(line, pass);
  }
}

void NoteRecallLineSets(const THandler& handler) {
  if (!Recall || !Recall->lineSettings || Recall->line >= Recall->lineSettings->size()) return;
  std::erase(Recall->moved, &handler);
  auto& settings = (*Recall->lineSettings)[Recall->line];
  if (std::find(settings.begin(), settings.end(), &handler) == settings.end()) settings.push_back(&handler);
}

void NoteRecallNotHeld(const THandler& handler) {
  if (!Recall || !Recall->lineSettings) return;
  if (std::find(Recall->moved.begin(), Recall->moved.end(), &handler) == Recall->moved.end())
    Recall->moved.push_back(&handler);
}

std::string HandlerPath(const THandler* handler) {
  return handler && RootSpider ? PathBelow(*RootSpider, handler) : std::string();
}

}  // namespace norv
