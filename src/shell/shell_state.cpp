#include "shell/shell_state.h"

#include "framework/settings/program_objects.h"

namespace norv {

TShellState ShellState;
TShellHooks ShellHooks;

namespace {
const TProgramUnit ShellUnit("shell", [] {
  ShellState = {};
  ShellHooks = {};
});
}  // namespace

}  // namespace norv
