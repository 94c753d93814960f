#pragma once
// A scripted dialog service: each dialog takes the next answer queued for its kind and
// records what it showed. A dialog with no answer queued is a test failure and gets the
// default (questions) or a cancel (choices). Installed for its lifetime.

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "framework/util/dialog_service.h"

namespace norv::test {

class FakeDialogs final : public TDialogService {
 public:
  FakeDialogs() { SetDialogs(this); }
  ~FakeDialogs() override {
    if (DialogState.Service == this) SetDialogs(nullptr);
  }

  std::deque<TAnswer> answers;
  std::deque<int> customAnswers;
  std::deque<std::optional<TFileChoice>> files;
  std::deque<std::optional<uint32_t>> colours;
  std::deque<bool> printers;

  // Every text shown, in order: "[kind] text" as the suppressed log writes it; file
  // dialogs show their title, colour and printer dialogs "colour" and "printer set-up".
  std::vector<std::string> shown;
  std::vector<TFileRequest> fileRequests;
  // Runs while each message box or file dialog is open, once its text is recorded: what
  // its event loop may run meanwhile (a close from the system, a client's line).
  std::function<void()> whileShown;
  // The idle passes that an open box's event loop gives, as the loop gives them
  // (RunIdlePass): `idlePasses` of `idlePass` before whileShown and as many after it. A box
  // opened inside a pass gets none, which fails the test: it would hold the acquisition.
  std::function<bool()> idlePass;
  int idlePasses = 0;
  // The pictures put on the clipboard, as pixel words.
  std::vector<std::vector<uint32_t>> clipboard;

 protected:
  TAnswer DoAsk(TMessageKind kind, const std::string& text, const std::vector<TAnswer>& buttons,
                TAnswer defaultAnswer) override;
  int DoAskCustom(TMessageKind kind, const std::string& text, const std::vector<std::string>& captions,
                  int defaultButton) override;
  void DoInform(TMessageKind kind, const std::string& text) override;
  std::optional<TFileChoice> DoChooseFile(const TFileRequest& request) override;
  std::optional<uint32_t> DoChooseColour(uint32_t colour, bool fullOpen) override;
  bool DoPrinterSetup() override;
  bool DoCopyImageToClipboard(const TImageView& image) override;

 private:
  void ShowBox(TMessageKind kind, const std::string& text);
  void KeepOpen(const std::string& text);
};

}  // namespace norv::test
