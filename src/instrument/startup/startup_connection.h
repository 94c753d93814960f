#pragma once
// Choosing and connecting the instrument: at start (the start choice of the instrument
// list, with the automatic chain "Default Auto": the last one found, then the other of USB
// and LAN), and again whenever the user or a remote command switches instruments. When
// the instrument cannot be had, the user is asked how to go on (IStartupQuestions); with
// dialogs suppressed the default answer is taken.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "framework/text/ip_address.h"
#include "framework/util/hook.h"

namespace norv {

enum class TStartupAnswer : uint8_t { Exit = 3, WithoutInstrument = 5, Retry = 6, Demo = 7 };

// What the question after failed attempt `Attempt` (1, 2, ...) offers besides Exit.
struct TStartupOffer {
  int Attempt = 1;
  bool Retry = false;  // the same instrument again (real instruments, first two attempts)
  bool Demo = false;   // the demo instrument kept in reserve for "Default Auto"
  bool WithoutInstrument = true;
};

// The demo instrument when offered, else going on without an instrument.
TStartupAnswer DefaultStartupAnswer(const TStartupOffer& offer);

// The start-up dialogs; the program's are Qt dialogs, tests script the answers.
class IStartupQuestions {
 public:
  virtual ~IStartupQuestions() = default;
  virtual TStartupAnswer AskHowToGoOn(const TStartupOffer& offer) = 0;
};

struct TStartupHooks {
  THook<void()> StopInstrumentWork{
      "StartupHooks.StopInstrumentWork"};  // the main window closes its pages and stops
  THook<void(bool withInstrument)> StartInstrumentWork{"StartupHooks.StartInstrumentWork"};
  THook<void(bool enabled)> EnableAutoCalTimer{"StartupHooks.EnableAutoCalTimer"};
};

// Connection results.
inline constexpr uint8_t ConnectOk = 0;
inline constexpr uint8_t ConnectBusy = 1;
inline constexpr uint8_t ConnectNotDetected = 2;
inline constexpr uint8_t ConnectNone = 3;

struct TStartupState {
  TStartupHooks Hooks;
  // nullptr: every question gets its default answer.
  IStartupQuestions* Questions = nullptr;
  // The result of the first attempt of the last connection loop.
  uint8_t FirstConnectResult = ConnectNone;
  // The port LAN entries are reached at.
  uint16_t TcpPort = 55555;
  // Opens the link (USB, or LAN to the address at TcpPort); empty: the command link's
  // ConnectInstrument.
  std::function<bool(bool useUSB, const TIPv4Addr& address)> Connector;
  // The instrument's temperature when it was connected (degrees C).
  double ReferenceTemperature = 0;
};
extern TStartupState StartupState;
inline constinit uint8_t& FirstConnectResult = StartupState.FirstConnectResult;

// The main window works with an instrument: the automatic-calibration timer, the
// acquisition's gate and "INSTR:GUIReady".
void SetGuiReady(bool value);

// The lock slots of the real and the demo instrument.
bool TakeInstrumentMutex(std::string_view name);
void ReleaseInstrumentMutex();
void ReleaseDemoMutex();
bool DemoMutexHeld();
// Takes the lock of "Default Demo" when it is free; true then.
bool TakeDefaultDemoMutex();

// One attempt: ConnectOk (also for "Absent"), ConnectBusy or ConnectNotDetected.
uint8_t TryConnectInstrument(std::string_view name, bool quiet);
uint8_t ConnectWithAutoChain(std::string& name, bool quiet);
// Attempts until one succeeds or the answer is Exit (false).
bool ConnectionLoop(std::string& name, bool quiet);
// The whole selection; false when the user chose to end the program.
bool SelectAndConnectInstrument(bool atStart, std::string& name);

}  // namespace norv
