#include "framework/util/dialog_service.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "framework/settings/program_objects.h"
#include "framework/util/errors.h"
#include "framework/util/idle_pass.h"

namespace norv {

TDialogState DialogState;
const TProgramUnit DialogUnit("dialogs", [] { DialogState = {}; });

namespace {

const char* KindName(TMessageKind kind) {
  switch (kind) {
    case TMessageKind::Information:
      return "information";
    case TMessageKind::Warning:
      return "warning";
    case TMessageKind::Error:
      return "error";
    case TMessageKind::Confirmation:
      return "question";
  }
  return "message";
}

// Answers nothing itself: with no service installed every dialog counts as suppressed.
class TNoDialogs final : public TDialogService {
 protected:
  TAnswer DoAsk(TMessageKind, const std::string&, const std::vector<TAnswer>&, TAnswer answer) override {
    return answer;
  }
  int DoAskCustom(TMessageKind, const std::string&, const std::vector<std::string>&, int answer) override {
    return answer;
  }
  void DoInform(TMessageKind, const std::string&) override {}
  std::optional<TFileChoice> DoChooseFile(const TFileRequest&) override { return std::nullopt; }
  std::optional<uint32_t> DoChooseColour(uint32_t, bool) override { return std::nullopt; }
  bool DoPrinterSetup() override { return false; }
  bool DoCopyImageToClipboard(const TImageView&) override { return false; }
};

bool Blocked() { return DialogsSuppressed() || !DialogState.Service; }

// A suppressed dialog's text is also what a failing command tells its client.
void Log(TMessageKind kind, const std::string& text) {
  if (DialogState.Told) DialogState.Told->push_back(text);
  LogNotice(kind, text);
}

}  // namespace

void LogNotice(TMessageKind kind, const std::string& text) {
  std::string line = SuppressedLogLine(kind, text);
  if (DialogState.OnSuppressedText.IsSet())
    DialogState.OnSuppressedText(line);
  else
    std::fputs(DialogLogLines("", kind, text).c_str(), stderr);
  std::vector<std::string>& log = DialogState.SuppressedLog;
  if (log.size() >= kSuppressedLogSize)
    log.erase(log.begin(), log.begin() + (log.size() - kSuppressedLogSize + 1));
  log.push_back(std::move(line));
}

bool DialogsSuppressed() {
  return DialogState.Suppressed ||
         (DialogState.SuppressedByProgram.IsSet() && DialogState.SuppressedByProgram());
}

std::string SuppressedLogLine(TMessageKind kind, const std::string& text) {
  return std::string("[") + KindName(kind) + "] " + text;
}

std::string DialogLogLines(std::string_view prefix, TMessageKind kind, std::string_view text) {
  const std::string head = std::string(prefix) + SuppressedLogLine(kind, "");
  std::string lines;
  while (!text.empty()) {
    const size_t end = std::min(text.find_first_of("\r\n"), text.size());
    if (end > 0) lines += head + std::string(text.substr(0, end)) + '\n';
    text.remove_prefix(std::min(end + 1, text.size()));
  }
  return lines.empty() ? head + '\n' : lines;
}

void RunFailingCommand(const std::function<bool()>& action) {
  if (!DialogsSuppressed()) {
    action();
    return;
  }
  std::vector<std::string> told;
  struct TTelling {
    std::vector<std::string>* const saved = DialogState.Told;
    ~TTelling() { DialogState.Told = saved; }
  } telling;
  DialogState.Told = &told;
  if (action()) return;
  std::string text;
  for (const std::string& line : told) text += (text.empty() ? "" : "\r\n") + line;
  throw EAssertion(text.empty() ? "ERROR!  The command failed" : text);
}

void FailCommand(const std::string& text) {
  RunFailingCommand([&text] {
    Dialogs().Inform(TMessageKind::Error, text);
    return false;
  });
}

TDialogService& Dialogs() {
  static TNoDialogs none;
  return DialogState.Service ? *DialogState.Service : none;
}

void SetDialogs(TDialogService* service) { DialogState.Service = service; }

TAnswer TDialogService::Ask(TMessageKind kind, const std::string& text, const std::vector<TAnswer>& buttons,
                            TAnswer defaultAnswer) {
  const std::vector<TAnswer> shown = buttons.empty() ? std::vector<TAnswer>{TAnswer::OK} : buttons;
  if (std::find(shown.begin(), shown.end(), defaultAnswer) == shown.end())
    throw EAssertion("Dialog default button is not one of its buttons: " + text);
  if (Blocked()) {
    Log(kind, text);
    return defaultAnswer;
  }
  return DoAsk(kind, text, shown, defaultAnswer);
}

int TDialogService::AskCustom(TMessageKind kind, const std::string& text,
                              const std::vector<std::string>& captions, int defaultButton) {
  if (defaultButton < 0 || defaultButton >= static_cast<int>(captions.size()))
    throw EAssertion("Dialog default button is not one of its buttons: " + text);
  if (Blocked()) {
    Log(kind, text);
    return defaultButton;
  }
  return DoAskCustom(kind, text, captions, defaultButton);
}

void TDialogService::Inform(TMessageKind kind, const std::string& text) {
  if (Blocked()) return Log(kind, text);
  // Its box would hold the pass: it opens once the pass has ended.
  if (IdlePassRuns()) return OutsideIdlePass([kind, text] { Dialogs().Inform(kind, text); });
  DoInform(kind, text);
}

std::optional<TFileChoice> TDialogService::ChooseFile(const TFileRequest& request) {
  if (Blocked()) {
    Log(TMessageKind::Confirmation, request.Title);
    return std::nullopt;
  }
  return DoChooseFile(request);
}

std::optional<uint32_t> TDialogService::ChooseColour(uint32_t colour, bool fullOpen) {
  if (Blocked()) {
    Log(TMessageKind::Confirmation, "colour");
    return std::nullopt;
  }
  return DoChooseColour(colour & 0xFFFFFF, fullOpen);
}

bool TDialogService::PrinterSetup() {
  if (Blocked()) {
    Log(TMessageKind::Confirmation, "printer set-up");
    return false;
  }
  return DoPrinterSetup();
}

bool TDialogService::CopyImageToClipboard(const TImageView& image) {
  if (image.Width <= 0 || image.Height <= 0 || !image.Pixels) return false;
  return DoCopyImageToClipboard(image);
}

}  // namespace norv
