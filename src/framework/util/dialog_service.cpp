#include "framework/util/dialog_service.h"

#include <algorithm>
#include <cstdio>

#include "framework/settings/program_objects.h"
#include "framework/util/errors.h"

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

void Log(const std::string& line) {
  std::vector<std::string>& log = DialogState.SuppressedLog;
  if (log.size() >= kSuppressedLogSize)
    log.erase(log.begin(), log.begin() + (log.size() - kSuppressedLogSize + 1));
  log.push_back(line);
  if (DialogState.OnSuppressedText.IsSet())
    DialogState.OnSuppressedText(line);
  else
    std::fprintf(stderr, "%s\n", line.c_str());
}

}  // namespace

bool DialogsSuppressed() {
  return DialogState.Suppressed ||
         (DialogState.SuppressedByProgram.IsSet() && DialogState.SuppressedByProgram());
}

std::string SuppressedLogLine(TMessageKind kind, const std::string& text) {
  return std::string("[") + KindName(kind) + "] " + text;
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
    Log(SuppressedLogLine(kind, text));
    return defaultAnswer;
  }
  return DoAsk(kind, text, shown, defaultAnswer);
}

int TDialogService::AskCustom(TMessageKind kind, const std::string& text,
                              const std::vector<std::string>& captions, int defaultButton) {
  if (defaultButton < 0 || defaultButton >= static_cast<int>(captions.size()))
    throw EAssertion("Dialog default button is not one of its buttons: " + text);
  if (Blocked()) {
    Log(SuppressedLogLine(kind, text));
    return defaultButton;
  }
  return DoAskCustom(kind, text, captions, defaultButton);
}

void TDialogService::Inform(TMessageKind kind, const std::string& text) {
  if (Blocked()) return Log(SuppressedLogLine(kind, text));
  DoInform(kind, text);
}

std::optional<TFileChoice> TDialogService::ChooseFile(const TFileRequest& request) {
  if (Blocked()) {
    Log(SuppressedLogLine(TMessageKind::Confirmation, request.Title));
    return std::nullopt;
  }
  return DoChooseFile(request);
}

std::optional<uint32_t> TDialogService::ChooseColour(uint32_t colour, bool fullOpen) {
  if (Blocked()) {
    Log(SuppressedLogLine(TMessageKind::Confirmation, "colour"));
    return std::nullopt;
  }
  return DoChooseColour(colour & 0xFFFFFF, fullOpen);
}

bool TDialogService::PrinterSetup() {
  if (Blocked()) {
    Log(SuppressedLogLine(TMessageKind::Confirmation, "printer set-up"));
    return false;
  }
  return DoPrinterSetup();
}

bool TDialogService::CopyImageToClipboard(const TImageView& image) {
  if (image.Width <= 0 || image.Height <= 0 || !image.Pixels) return false;
  return DoCopyImageToClipboard(image);
}

}  // namespace norv
