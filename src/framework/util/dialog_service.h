#pragma once
// The program's one way to ask, inform and let the user choose a file, a colour or a
// printer. Callers use Dialogs(); the program installs the Qt service, tests a scripted
// fake. While dialogs are suppressed (started for a remote client, a remote command
// running) nothing blocks: each question gets its default answer at once, choices are
// cancelled, and the text goes to the log instead of the screen.
//
//   if (Dialogs().Ask(TMessageKind::Confirmation, GetLangStr("WantToPrint"),
//                     {TAnswer::Yes, TAnswer::No}, TAnswer::Yes) != TAnswer::Yes) return;

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "framework/util/hook.h"

namespace norv {

enum class TMessageKind : uint8_t { Information, Warning, Error, Confirmation };

// The standard buttons of a question; the platform gives them their captions.
enum class TAnswer : uint8_t { OK, Cancel, Yes, No, Abort, Retry, Ignore };

struct TFileRequest {
  bool Save = false;
  std::string Title = {};
  // Pairs of description and pattern: "Binary format (*.wfm)|*.wfm|Verbose format
  // (*.txt)|*.txt".
  std::string Filter = {};
  int FilterIndex = 0;  // from 0
  std::string FileName = {};
  std::string Folder = {};
};

struct TFileChoice {
  std::string FileName;  // with its folder
  std::string Folder;
  int FilterIndex = 0;
};

// A picture for the clipboard: rows top to bottom, pixel words 0xFFRRGGBB.
struct TImageView {
  int Width = 0;
  int Height = 0;
  const uint32_t* Pixels = nullptr;
};

// The text a suppressed dialog logs: "[kind] text".
std::string SuppressedLogLine(TMessageKind kind, const std::string& text);
// A dialog's text as lines of the program's log: each line of the text after the prefix and
// "[kind] ", ended by LF; empty lines are left out, so that each log line says what it is.
std::string DialogLogLines(std::string_view prefix, TMessageKind kind, std::string_view text);

class TDialogService {
 public:
  virtual ~TDialogService() = default;

  // A question with standard buttons (none given: OK); the answer is the button chosen.
  // The default must be one of the buttons (EAssertion otherwise).
  TAnswer Ask(TMessageKind kind, const std::string& text, const std::vector<TAnswer>& buttons,
              TAnswer defaultAnswer);
  // A question with buttons of the caller's own captions; the answer is the index of the
  // button chosen. The default must be a valid index (EAssertion otherwise).
  int AskCustom(TMessageKind kind, const std::string& text, const std::vector<std::string>& captions,
                int defaultButton);
  void Inform(TMessageKind kind, const std::string& text);
  // Nothing when cancelled.
  std::optional<TFileChoice> ChooseFile(const TFileRequest& request);
  // A colour 0x00BBGGRR; nothing when cancelled. fullOpen shows the custom-colour part at once.
  std::optional<uint32_t> ChooseColour(uint32_t colour, bool fullOpen = false);
  // True when the user confirmed a printer.
  bool PrinterSetup();
  // Never asks anything, so it also works while dialogs are suppressed. False for an empty
  // or inconsistent picture.
  bool CopyImageToClipboard(const TImageView& image);

 protected:
  virtual TAnswer DoAsk(TMessageKind kind, const std::string& text, const std::vector<TAnswer>& buttons,
                        TAnswer defaultAnswer) = 0;
  virtual int DoAskCustom(TMessageKind kind, const std::string& text,
                          const std::vector<std::string>& captions, int defaultButton) = 0;
  virtual void DoInform(TMessageKind kind, const std::string& text) = 0;
  virtual std::optional<TFileChoice> DoChooseFile(const TFileRequest& request) = 0;
  virtual std::optional<uint32_t> DoChooseColour(uint32_t colour, bool fullOpen) = 0;
  virtual bool DoPrinterSetup() = 0;
  virtual bool DoCopyImageToClipboard(const TImageView& image) = 0;
};

struct TDialogState {
  // The service installed by the program or a test; none: every dialog is suppressed.
  TDialogService* Service = nullptr;
  bool Suppressed = false;
  // The texts of suppressed dialogs, oldest first; the oldest go beyond kSuppressedLogSize.
  std::vector<std::string> SuppressedLog;
  // Also tells the program's log: standard error while empty.
  THook<void(const std::string& line)> OnSuppressedText{Fallback("DialogState.OnSuppressedText")};
  // The program's own reason to suppress every dialog (remote control, started for a
  // client), filled by the shell.
  THook<bool()> SuppressedByProgram{"DialogState.SuppressedByProgram"};
  // While set, the texts of suppressed dialogs are also added here (see RunFailingCommand).
  std::vector<std::string>* Told = nullptr;
};
inline constexpr size_t kSuppressedLogSize = 200;

extern TDialogState DialogState;

TDialogService& Dialogs();
void SetDialogs(TDialogService* service);

// A line of the program's log alone, whatever shows boxes: what the status line tells only
// for a moment. No reason of a failing command (see RunFailingCommand).
void LogNotice(TMessageKind kind, const std::string& text);

// Dialogs answer by themselves with their defaults: for a scope, or by the program's state.
bool DialogsSuppressed();

// Runs the action of a command that tells the user itself why it failed (false). While
// dialogs are suppressed (a remote client's command) nobody sees that, so the failure
// fails the command too: an EAssertion with what the action told, which the client gets
// as its error answer. The user at the screen has had the box.
void RunFailingCommand(const std::function<bool()>& action);
// A command refused with `text`: in a box at the screen; a client's command fails with it.
void FailCommand(const std::string& text);

// Where a request that is served later (by the idle step) comes from: one made while
// dialogs were suppressed (a remote client's command) is served with them suppressed too,
// so that what it has to say goes to the log, as its command's messages did.
class TRequestOrigin {
 public:
  TRequestOrigin() = default;
  // The origin of the command running now.
  static TRequestOrigin Here() { return TRequestOrigin(DialogsSuppressed()); }
  bool Quiet() const { return quiet_; }

 private:
  explicit TRequestOrigin(bool quiet) : quiet_(quiet) {}
  bool quiet_ = false;
};

// Suppresses dialogs for a scope (a remote command) and restores the state before it.
// With suppress false the state stays as it is: a procedure that a remote client started
// and that ends after its command has answered keeps its messages out of boxes.
class TDialogsSuppressed {
 public:
  explicit TDialogsSuppressed(bool suppress = true) : saved_(DialogState.Suppressed) {
    DialogState.Suppressed = saved_ || suppress;
  }
  // The scope of serving a request: dialogs as its origin had them.
  explicit TDialogsSuppressed(TRequestOrigin origin) : TDialogsSuppressed(origin.Quiet()) {}
  ~TDialogsSuppressed() { DialogState.Suppressed = saved_; }
  TDialogsSuppressed(const TDialogsSuppressed&) = delete;
  TDialogsSuppressed& operator=(const TDialogsSuppressed&) = delete;

 private:
  bool saved_;
};

}  // namespace norv
