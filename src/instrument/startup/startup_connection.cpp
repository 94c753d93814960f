#include "instrument/startup/startup_connection.h"

#include "framework/language/language.h"
#include "framework/settings/choice_handlers.h"
#include "framework/settings/program_objects.h"
#include "framework/text/ini_file.h"
#include "framework/text/text_case.h"
#include "framework/util/dialog_service.h"
#include "framework/util/errors.h"
#include "instrument/acquisition/procedures.h"
#include "instrument/link/command_link.h"
#include "instrument/link/link_hooks.h"
#include "instrument/settings/setting_senders.h"
#include "instrument/startup/instrument_commands.h"
#include "instrument/startup/instrument_list.h"
#include "instrument/startup/instrument_lock.h"

namespace norv {

TStartupState StartupState;

namespace {

const TProgramUnit StartupUnit("start-up connection", [] { StartupState = {}; });

constinit TOwned<TInstrumentLock> RealInstrumentMutex;
constinit TOwned<TInstrumentLock> DemoInstrumentMutex;

bool Contains(std::string_view text, std::string_view upperWord) {
  return UpperAscii(text).find(upperWord) != std::string::npos;
}

void ShowStartStatus(std::string_view name) {
  const char* key = nullptr;
  if (SameTextAscii(name, AbsentName)) {
    key = "StartWithoutConnections_";
  } else if (SameTextAscii(name, DefaultUsbName)) {
    key = "InitializingUSB_";
  } else if (SameTextAscii(name, DefaultLanName)) {
    key = "InitializDefTCP_";
  } else if (IsRealInstrumentName(name)) {
    key = "InitializingTCP_";
  }
  if (key) LinkHooks.SplashStatus(GetLangStr(key));
}

TStartupAnswer Ask(const TStartupOffer& offer, bool quiet) {
  if (quiet || !StartupState.Questions) return DefaultStartupAnswer(offer);
  const TStartupAnswer answer = StartupState.Questions->AskHowToGoOn(offer);
  // An answer that was not offered ends the program, as Exit does.
  switch (answer) {
    case TStartupAnswer::Retry:
      return offer.Retry ? answer : TStartupAnswer::Exit;
    case TStartupAnswer::Demo:
      return offer.Demo ? answer : TStartupAnswer::Exit;
    case TStartupAnswer::WithoutInstrument:
      return offer.WithoutInstrument ? answer : TStartupAnswer::Exit;
    case TStartupAnswer::Exit:
      break;
  }
  return TStartupAnswer::Exit;
}

void StoreLastSmart(const std::string& name) {
  InstrumentListState.LastSmartInstrument = name;
  try {
    TIniFile_Dot ini(ConfigurationFilePath());
    ini.WriteString(CommonSection, LastSmartKey, name);
  } catch (const EIniFileError&) {
    // A read-only program folder: remembered for this run only.
  }
}

}  // namespace

TStartupAnswer DefaultStartupAnswer(const TStartupOffer& offer) {
  return offer.Demo ? TStartupAnswer::Demo : TStartupAnswer::WithoutInstrument;
}

void SetGuiReady(bool value) {
  StartupState.Hooks.EnableAutoCalTimer(value);
  GuiReady = value;
  if (TOnOffHandler* node = InstrumentCommands().GuiReady) node->SetOnByProgram(value);
}

bool TakeInstrumentMutex(std::string_view name) {
  TOwned<TInstrumentLock>& slot = IsRealInstrumentName(name) ? RealInstrumentMutex : DemoInstrumentMutex;
  if (slot) throw EAssertion("ERROR!  Instrument lock taken twice");
  std::string why;
  std::unique_ptr<TInstrumentLock> lock = TInstrumentLock::Take(name, why);
  if (!why.empty())
    Dialogs().Inform(TMessageKind::Error, FormatLangStr("InstrumentNotLocked", std::string(name), why));
  if (!lock) return false;
  slot = std::move(lock);
  return true;
}

void ReleaseInstrumentMutex() { RealInstrumentMutex.reset(); }
void ReleaseDemoMutex() { DemoInstrumentMutex.reset(); }
bool DemoMutexHeld() { return static_cast<bool>(DemoInstrumentMutex); }

bool TakeDefaultDemoMutex() { return !DemoInstrumentMutex && TakeInstrumentMutex(DefaultDemoName); }

uint8_t TryConnectInstrument(std::string_view name, bool quiet) {
  LinkKind = TLinkKind::None;
  if (!quiet) ShowStartStatus(name);
  if (SameTextAscii(name, AbsentName)) return ConnectOk;
  if (!(DemoMutexHeld() && SameTextAscii(name, DefaultDemoName)) && !TakeInstrumentMutex(name))
    return ConnectBusy;
  if (Contains(name, "DEMO")) {
    LinkKind = TLinkKind::Demo;
    return ConnectOk;
  }
  const bool useUSB = SameTextAscii(name, DefaultUsbName);
  TIPv4Addr address = DefaultLanAddress();
  if (!useUSB && !SameTextAscii(name, DefaultLanName)) {
    const TInstrumentProp* prop = InstrumentList.Find(name);
    if (!prop) throw EAssertion("ERROR!  Instrument " + std::string(name) + " is not listed");
    address = prop->Address;
  }
  // An entry without a valid address cannot be reached.
  const bool connected = (useUSB || address.Valid) &&
                         (StartupState.Connector ? StartupState.Connector(useUSB, address)
                                                 : ConnectInstrument(useUSB, address, StartupState.TcpPort));
  if (connected) return ConnectOk;
  ReleaseInstrumentMutex();
  return ConnectNotDetected;
}

uint8_t ConnectWithAutoChain(std::string& name, bool quiet) {
  if (name != DefaultAutoName) return TryConnectInstrument(name, quiet);
  name = InstrumentListState.LastSmartInstrument;
  const uint8_t first = TryConnectInstrument(name, quiet);
  if (first == ConnectOk) return ConnectOk;
  name = std::string(name == DefaultUsbName ? DefaultLanName : DefaultUsbName);
  const uint8_t second = TryConnectInstrument(name, quiet);
  if (second == ConnectOk) {
    if (first == ConnectNotDetected) StoreLastSmart(name);
    return ConnectOk;
  }
  name = std::string(DefaultAutoName);
  return second;
}

bool ConnectionLoop(std::string& name, bool quiet) {
  for (int attempt = 1;; ++attempt) {
    const uint8_t result = ConnectWithAutoChain(name, quiet);
    if (attempt == 1) FirstConnectResult = result;
    if (result == ConnectOk) return true;
    if (attempt == 1 && name == DefaultAutoName) TakeDefaultDemoMutex();

    TStartupOffer offer;
    offer.Attempt = attempt;
    offer.Retry = attempt <= 2 && IsRealInstrumentName(name);
    offer.Demo = attempt == 1 && DemoMutexHeld();
    switch (Ask(offer, quiet)) {
      case TStartupAnswer::WithoutInstrument:
        name = std::string(AbsentName);
        break;
      case TStartupAnswer::Demo:
        name = std::string(DefaultDemoName);
        break;
      case TStartupAnswer::Retry:
        break;
      case TStartupAnswer::Exit:
        return false;
    }
    if (name != DefaultDemoName) ReleaseDemoMutex();
  }
}

bool SelectAndConnectInstrument(bool atStart, std::string& name) {
  if (atStart) {
    name = StartInstrumentName;
  } else {
    // Every procedure ends first, as its Cancel ends it: the work with the instrument
    // stops on the user's own settings.
    CancelAllProcedures(GetLangStr("ProcInstrumentSwitch"));
    SetGuiReady(false);
    StartupState.Hooks.StopInstrumentWork();
    DisconnectInstrument(true);
    LinkKind = TLinkKind::None;
  }
  ReleaseInstrumentMutex();
  ReleaseDemoMutex();
  const bool ok = ConnectionLoop(name, DialogsSuppressed() || IsCommandLineParam("-Embedding"));
  if (ok) CurrentInstrumentName = name;
  if (!atStart) {
    StartupState.Hooks.StartInstrumentWork(name != AbsentName);
    SetGuiReady(true);
  }
  StartupState.ReferenceTemperature = ReadInstrumentTemperature(false);
  return ok;
}

}  // namespace norv
