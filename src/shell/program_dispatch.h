#pragma once
// The program's registration and apply order. Every unit's registration routine runs in
// one fixed order (which is the order of the nodes in the tree, and so of every listing
// and saved setup); every apply routine in another, after each connection and recall.
//
// The routines of units that exist are in the table from the start; a unit that arrives
// later fills its slot (ProgramDispatch.Register[slot]) before the registration runs.

#include <array>
#include <cstdint>

#include "framework/util/hook.h"

namespace norv {

enum class TRegisterSlot : uint8_t {
  RootSpider,
  MaskResultObject,
  DisplayColors,
  MainCommands,
  Channels,
  OEConverter,
  TimeBase,
  Trigger,
  Acquisition,
  Display,
  Save,
  Markers,
  Measurements,
  LimitTests,
  Functions,
  Spectra,
  Zoom,
  Histograms,
  Mask,
  Eye,
  Generators,
  TDR,
  Jitter,
  WaveformTransfer,
  Simulator,
  Calibration,
  Keypad,
  RampTest,
  RampDac,
  Gui,
  Instruments,
  Count
};

enum class TApplySlot : uint8_t {
  Channels,
  OEConverter,  // with the optics option
  TimeBase,
  Trigger,
  Acquisition,
  Display,
  Save,
  Markers,
  Measurements,
  LimitTests,
  FunctionMenus,
  Zooms,
  Histograms,
  Mask,
  Eye,
  Generators,  // with the generators option
  TDR,         // with the TDR option
  Simulator,
  Calibration,
  Count
};

struct TProgramDispatch {
  std::array<THook<void()>, static_cast<size_t>(TRegisterSlot::Count)> Register;
  std::array<THook<void()>, static_cast<size_t>(TApplySlot::Count)> Apply;
};

extern TProgramDispatch ProgramDispatch;

// Puts the routines of the units that exist into their slots.
void InstallProgramDispatch();
// A fresh tree with every registered unit's nodes, in order; sets CommandsRegistered.
void RegisterAllCommandsAtStart();
// Every apply routine in order (options decide three of them).
void ApplyAllSettings();

}  // namespace norv
