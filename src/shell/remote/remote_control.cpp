#include "shell/remote/remote_control.h"

#include <memory>

#include "framework/language/language.h"
#include "framework/settings/choice_handlers.h"
#include "framework/settings/procedure_setup.h"
#include "framework/settings/settings_tree.h"
#include "framework/text/text_case.h"
#include "framework/util/dialog_service.h"
#include "framework/util/errors.h"
#include "shell/remote/remote_server.h"
#include "shell/shell_state.h"

namespace norv {

TRemoteHooks RemoteHooks;
TRemoteState RemoteState;
const TProgramUnit RemoteUnit("remote control", [] {
  RemoteState = {};
  RemoteHooks = {};
});
constinit TOwned<TRemoteServer> RemoteServer;

void RegisterGuiCommand() {
  RemoteState.GuiHandler =
      RootSpider->AddRadioSw(0, "Gui", "RemoteLocal,RemoteOnly,Invisible", [](THandler&) {
        RemoteControlled = GetGuiRemoteMode() != TGuiRemoteMode::RemoteLocal;
        ApplyGuiRemoteMode();
      });
  RemoteState.GuiHandler->SetInternal(true);
}

TGuiRemoteMode GetGuiRemoteMode() {
  const uint8_t index = GetIndex(RemoteState.GuiHandler);
  return index <= 2 ? static_cast<TGuiRemoteMode>(index) : TGuiRemoteMode::RemoteLocal;
}

void ApplyGuiRemoteMode() { RemoteHooks.ApplyGuiRemoteMode(GetGuiRemoteMode()); }

std::string ExecCommand(std::string_view command) {
  if (!RootSpider) throw EAssertion("The settings are not ready yet");
  // A client's line is never a procedure's own, even when it is served while one waits.
  const TOutsideProcedures client;
  // A spectrum the line leaves without a transform would open its box in a later pass: a
  // client hears it as the line's error instead. A refusal there before the line is not
  // its own, and never takes its answer.
  const bool quiet = DialogsSuppressed();
  const std::vector<std::string> before = quiet ? ShellHooks.SpectrumRefusals() : std::vector<std::string>{};
  std::string reply = RootSpider->ExecCommandLine(command, false, kMaxReplyBytes);
  if (quiet)
    if (const std::string refused = ShellHooks.TellNewSpectrumRefusals(before); !refused.empty())
      throw EAssertion(refused);
  return reply;
}

bool HasEmbeddingSwitch(const std::vector<std::string>& args) {
  for (const std::string& arg : args)
    if (SameTextAscii(arg, "-Embedding")) return true;
  return false;
}

bool SuppressedByRemote() { return RemoteControlled || RemoteState.StartedEmbedded; }

bool AutoCalibrationAllowed() { return GetGuiRemoteMode() == TGuiRemoteMode::RemoteLocal; }

void StartRemoteServer(IClock& clock, bool startedEmbedded) {
  RemoteState.StartedEmbedded = startedEmbedded;
  DialogState.SuppressedByProgram.Set(SuppressedByRemote);
  // A client waits for its answer and nobody need be at the screen: what a line would ask
  // gets its default answer and goes to the log, so no box holds the answer or the
  // server (which serves nobody else while a line runs).
  auto server = std::make_unique<TRemoteServer>(
      [](std::string_view line) {
        const TDialogsSuppressed quiet;
        return ExecCommand(line);
      },
      clock);
  server->OnClientGone = [] {
    // Started for a client: it goes when its client goes, so that it never lingers holding
    // the instrument.
    if (RemoteState.StartedEmbedded) RemoteHooks.CloseProgram();
  };
  server->Start();
  RemoteServer = std::move(server);
}

void ServiceRemote() {
  if (RemoteServer) RemoteServer->Service();
}

int RemoteClientCount() { return RemoteServer ? RemoteServer->ClientCount() : 0; }

void CheckNoRemoteClient() {
  if (RemoteClientCount() > 0) throw EAssertion(GetLangStr("ActiveCOMclient"));
}

void DisconnectRemoteClient() {
  if (RemoteServer) RemoteServer->DropClient();
}

}  // namespace norv
