#pragma once
// The central registration and apply routines and a few facts of the program's start.
//
// Every unit hangs its nodes in the settings tree with a registration routine and pushes
// its settings to a newly connected instrument with an apply routine. The dispatchers
// call them in one fixed order (which is the order of the nodes in the tree, so of every
// listing and saved setup). Each step is a slot: the instrument layer's own are filled
// from the start; a later subsystem fills its slot at start-up, and until then the step
// does nothing.

#include <chrono>
#include <cstdint>
#include <functional>

namespace norv {

enum class TRegistrationStep : uint8_t {
  RootSpider,  // the root, "Header" and the trace on/off notifier
  MaskResultObject,
  DisplayColors,
  MainCommands,
  Channels,
  OEConv,
  TimeBase,
  Trigger,
  Acquisition,
  Display,
  Save,
  Marks,
  Meas,
  Limits,
  Math,
  FFT,
  Zoom,
  Hist,
  Mask,
  Eye,
  Generator,
  TDR,
  Jitter,
  Wfm,
  Simulator,
  Calibration,
  Keypad,
  RampTest,
  RampDac,
  Gui,
  Instrument,
  Count
};

enum class TApplyStep : uint8_t {
  Channels,
  OEConv,  // only with the optics option
  TimeBase,
  Trigger,
  Acquisition,
  Display,
  Save,
  Marks,
  Meas,
  Limits,
  FunctionMenus,
  Zooms,
  Hist,
  Mask,
  Eye,
  Generators,  // only with the generators option
  TDR,         // only with the TDR option
  Simulator,
  Calibration,
  Count
};

enum class TModelLimitsStep : uint8_t { TimeBase, RampDac, Calibration, Count };

// Fills a step's slot (an empty function empties it).
void SetRegistrationRoutine(TRegistrationStep step, std::function<void()> routine);
void SetApplyRoutine(TApplyStep step, std::function<void()> routine);
void SetModelLimitsRoutine(TModelLimitsStep step, std::function<void()> routine);
// The switch-off of the analysis whose side-menu code is menuCode (markers 7, measure 8,
// histogram 13, eye 14, mask 15, TDR 17, jitter 18).
void SetAnalysisSwitchOff(uint8_t menuCode, std::function<void()> switchOff);

// Unless skip, every registration routine in order; then CommandsRegistered.
void RegisterAllCommands(bool skip);
void RegisterAllCommandsAtStart();
// Every apply routine in order (the optional ones with their option), then the language's
// text for undefined values.
void ApplyAllSettings();
void ApplyModelLimits();
// Switches off every analysis but the one of keepMenuCode.
void SwitchOffOtherAnalyses(uint8_t keepMenuCode);

// Facts of this run's start.
struct TProgramStartState {
  std::chrono::system_clock::time_point ProgramStartTime = std::chrono::system_clock::now();
  bool ShiftAtStart = false;
};
extern TProgramStartState ProgramStart;

// The platform tells whether SHIFT was held when the program started.
void RememberShiftState(bool shiftHeld);
bool ShiftHeldAtStart();

}  // namespace norv
