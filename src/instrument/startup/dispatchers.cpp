#include "instrument/startup/dispatchers.h"

#include <array>

#include "framework/language/language.h"
#include "framework/settings/program_objects.h"
#include "framework/settings/settings_tree.h"
#include "framework/settings/value_text.h"
#include "instrument/link/instrument_identity.h"
#include "instrument/settings/acquisition_settings.h"
#include "instrument/settings/channel_settings.h"
#include "instrument/settings/timebase_settings.h"
#include "instrument/settings/trigger_settings.h"
#include "instrument/simulator/simulator_nodes.h"
#include "instrument/startup/instrument_commands.h"
#include "instrument/startup/option_commands.h"

namespace norv {

TProgramStartState ProgramStart;

namespace {

using TRoutine = std::function<void()>;

template <class Step>
constexpr size_t Index(Step step) {
  return static_cast<size_t>(step);
}

struct TDispatcherState {
  std::array<TRoutine, Index(TRegistrationStep::Count)> Registration;
  std::array<TRoutine, Index(TApplyStep::Count)> Apply;
  std::array<TRoutine, Index(TModelLimitsStep::Count)> ModelLimits;
  std::array<TRoutine, 32> SwitchOff;  // by side-menu code
};

// The instrument layer's own steps; the others wait for their subsystems.
TDispatcherState StartDispatchers() {
  TDispatcherState s;
  s.Registration[Index(TRegistrationStep::RootSpider)] = CreateRootSpider;
  s.Registration[Index(TRegistrationStep::Channels)] = RegisterChannelCommands;
  s.Registration[Index(TRegistrationStep::TimeBase)] = RegisterTimeBaseCommands;
  s.Registration[Index(TRegistrationStep::Trigger)] = RegisterTriggerCommands;
  s.Registration[Index(TRegistrationStep::Acquisition)] = RegisterAcquisitionCommands;
  s.Registration[Index(TRegistrationStep::Simulator)] = RegisterSimulatorCommands;
  s.Registration[Index(TRegistrationStep::Instrument)] = RegisterInstrumentCommands;
  s.Apply[Index(TApplyStep::Channels)] = ApplyChannelSettings;
  s.Apply[Index(TApplyStep::TimeBase)] = ApplyTimeBaseSettings;
  s.Apply[Index(TApplyStep::Trigger)] = ApplyTriggerSettings;
  s.Apply[Index(TApplyStep::Acquisition)] = ApplyAcquisitionSettings;
  s.Apply[Index(TApplyStep::Simulator)] = ApplySimulatorSettings;
  s.ModelLimits[Index(TModelLimitsStep::TimeBase)] = AdaptTimeBaseToModel;
  return s;
}

TDispatcherState Dispatchers = StartDispatchers();
const TProgramUnit DispatcherUnit("dispatchers", [] { Dispatchers = StartDispatchers(); });
const TProgramUnit StartUnit("program start", [] { ProgramStart = {}; });

void Run(const TRoutine& routine) {
  if (routine) routine();
}

bool ApplyStepWanted(TApplyStep step) {
  switch (step) {
    case TApplyStep::OEConv:
      return HasOpticsOption();
    case TApplyStep::Generators:
      return HasGeneratorsOption();
    case TApplyStep::TDR:
      return HasTDROption();
    default:
      return true;
  }
}

}  // namespace

void SetRegistrationRoutine(TRegistrationStep step, std::function<void()> routine) {
  Dispatchers.Registration.at(Index(step)) = std::move(routine);
}
void SetApplyRoutine(TApplyStep step, std::function<void()> routine) {
  Dispatchers.Apply.at(Index(step)) = std::move(routine);
}
void SetModelLimitsRoutine(TModelLimitsStep step, std::function<void()> routine) {
  Dispatchers.ModelLimits.at(Index(step)) = std::move(routine);
}
void SetAnalysisSwitchOff(uint8_t menuCode, std::function<void()> switchOff) {
  Dispatchers.SwitchOff.at(menuCode) = std::move(switchOff);
}

void RegisterAllCommands(bool skip) {
  if (!skip)
    for (const TRoutine& routine : Dispatchers.Registration) Run(routine);
  MarkOptionCommands();
  CommandsRegistered = true;
}

void RegisterAllCommandsAtStart() { RegisterAllCommands(false); }

void ApplyAllSettings() {
  for (size_t i = 0; i < Dispatchers.Apply.size(); ++i)
    if (ApplyStepWanted(static_cast<TApplyStep>(i))) Run(Dispatchers.Apply[i]);
  UndefinedValueText = "  " + GetLangStr("Undefined");
}

void ApplyModelLimits() {
  for (const TRoutine& routine : Dispatchers.ModelLimits) Run(routine);
}

void SwitchOffOtherAnalyses(uint8_t keepMenuCode) {
  // The order in which the analyses let go of the acquisition.
  for (const uint8_t code : {7, 18, 8, 13, 15, 14, 17}) {
    if (code == keepMenuCode) continue;
    Run(Dispatchers.SwitchOff[code]);
  }
}

void RememberShiftState(bool shiftHeld) { ProgramStart.ShiftAtStart = shiftHeld; }
bool ShiftHeldAtStart() { return ProgramStart.ShiftAtStart; }

}  // namespace norv
