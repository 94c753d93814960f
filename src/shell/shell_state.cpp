#include "shell/shell_state.h"

#include <iostream>

#include "framework/settings/program_objects.h"
#include "shell/remote/remote_control.h"

namespace norv {

TShellState ShellState;
TShellHooks ShellHooks;

namespace {
const TProgramUnit ShellUnit("shell", [] {
  ShellState = {};
  ShellHooks = {};
});
}  // namespace

bool ShellDialogsSuppressed() { return DialogsSuppressed() || ShellState.QuietClose; }

TAnswer AskUser(const std::string& text, TQuestion kind, TAnswer defaultAnswer) {
  if (ShellDialogsSuppressed() || !ShellHooks.Ask.IsSet()) {
    if (ShellHooks.Log.IsSet()) {
      ShellHooks.Log(text);
    } else {
      std::cerr << kApplicationTitle << ": " << text << '\n';
    }
    return defaultAnswer;
  }
  return ShellHooks.Ask(text, kind, defaultAnswer);
}

void TellUser(const std::string& text, TQuestion kind) { AskUser(text, kind, TAnswer::Ok); }

}  // namespace norv
