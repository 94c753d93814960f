#pragma once
// Remote control of the program: the command method behind the remote socket, the "Gui"
// node by which a client decides what becomes of the local window, the remote-mode flags
// that suppress dialogs, and the close refusal while a client is connected.
//
// The main window joins later through the hooks of RemoteHooks: it applies the "Gui" mode
// to itself, and takes the close request of a copy started for a client once that client
// has gone. Until then the hooks do nothing.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "framework/settings/program_objects.h"
#include "framework/util/hook.h"

namespace norv {

class IClock;
class TRadioSwHandler;
class TRemoteServer;

// The values of "Gui".
enum class TGuiRemoteMode : uint8_t {
  RemoteLocal = 0,  // window visible and usable
  RemoteOnly = 1,   // visible, disabled
  Invisible = 2,    // hidden
};

struct TRemoteHooks {
  // Shows, disables or hides the main window for the mode; the window also calls
  // ApplyGuiRemoteMode itself when it is first shown and after the deferred start-up.
  THook<void(TGuiRemoteMode)> ApplyGuiRemoteMode{"RemoteHooks.ApplyGuiRemoteMode"};
  // Closes the program through its normal close sequence, without questions.
  THook<void()> CloseProgram{"RemoteHooks.CloseProgram"};
};

struct TRemoteState {
  TRadioSwHandler* GuiHandler = nullptr;
  // "Gui" is not RemoteLocal.
  bool RemoteControlled = false;
  // Started for a client ("-Embedding" on the command line).
  bool StartedEmbedded = false;
};

extern TRemoteHooks RemoteHooks;
extern TRemoteState RemoteState;
inline constinit bool& RemoteControlled = RemoteState.RemoteControlled;

// The program's server, once started.
extern TOwned<TRemoteServer> RemoteServer;

// Registers "Gui" (internal: no undo, not in setups).
void RegisterGuiCommand();
TGuiRemoteMode GetGuiRemoteMode();
// Runs the window hook with the present mode.
void ApplyGuiRemoteMode();

// The remote method: the line runs on the root of the tree as a text command (undo steps
// open, "NOGPIB" and "SHADOW" nodes are refused); the joined replies of its queries come
// back. An exception raised by the line leaves the call (the server answers it as error),
// and so does a reply growing past kMaxReplyBytes (the rest of the line does not run).
// While dialogs are suppressed (a client's line), a shown spectrum the line leaves without
// a transform fails it with the refusal, the settings staying as the line set them.
std::string ExecCommand(std::string_view command);

// "-Embedding" in the command line (letter case ignored).
bool HasEmbeddingSwitch(const std::vector<std::string>& args);
// Whether the remote state suppresses dialogs: remote controlled, or started for a client.
// The dialog service asks it once the server has started.
bool SuppressedByRemote();
// The automatic calibration check runs only while the local user may work.
bool AutoCalibrationAllowed();

// Starts the server for this process (the socket named after its id) on the clock given.
// Each request line runs with dialogs suppressed, whatever the "Gui" mode.
// A copy started for a client closes through RemoteHooks.CloseProgram when its client
// hangs up. ERemoteError when the socket cannot be made.
void StartRemoteServer(IClock& clock, bool startedEmbedded);
// One step of the server, between idle steps; nothing before StartRemoteServer.
void ServiceRemote();
// Clients connected now (0 or 1).
int RemoteClientCount();
// The close query: an EAssertion with the "ActiveCOMclient" text while a client is
// connected, nothing otherwise.
void CheckNoRemoteClient();
// Ends a connected client's connection: the program closes whether or not one is there.
void DisconnectRemoteClient();

}  // namespace norv
