#pragma once
// What the simulator needs from the instrument identity and from the calibration
// constants. Until those units fill the hooks the simulator behaves as a family-L
// instrument with factory calibration.

#include "framework/util/hook.h"
#include "instrument/simulator/simulator_settings.h"

namespace norv {

// Model families differ in how the fine delay of the sampling strobe is built.
enum class TSimModelFamily : uint8_t { Other, L, K };

// Calibration constants the simulated time base and step generator read.
struct TSimCalibrationNodes {
  double CoarseTB = 4.6e-9;  // "FLASH:Calibr:CoarseTB": coarse strobe step, s
  int FineTB = 18333;        // "FLASH:Calibr:FineTB": fine-delay code
  int CoarseDelay = 0;       // "FLASH:Calibr:CoarseDelay": coarse steps added to the delay
};

// The factory values of the calibration constants for a model family.
TSimCalibrationNodes DefaultSimCalibrationNodes(TSimModelFamily family);

struct TSimulatorHooks;
extern TSimulatorHooks SimulatorHooks;

struct TSimulatorHooks {
  // Family of the connected (or demo) model.
  THook<TSimModelFamily()> SimModelFamilyHook{"SimulatorHooks.SimModelFamilyHook",
                                              [] { return TSimModelFamily::L; }};
  // Current calibration constants.
  THook<TSimCalibrationNodes()> SimCalibrationNodesHook{
      "SimulatorHooks.SimCalibrationNodesHook",
      [] { return DefaultSimCalibrationNodes(SimulatorHooks.SimModelFamilyHook()); }};
  // The simulator changed a generator's settings itself (the TDR/TDT circuit), so the
  // settings nodes can follow. Arguments: generator 1..4 and its new settings.
  THook<void(int, const TSimGenerator&)> SimGeneratorEditedHook{"SimulatorHooks.SimGeneratorEditedHook"};
};

inline constinit THook<TSimModelFamily()>& SimModelFamilyHook = SimulatorHooks.SimModelFamilyHook;
inline constinit THook<TSimCalibrationNodes()>& SimCalibrationNodesHook =
    SimulatorHooks.SimCalibrationNodesHook;
inline constinit THook<void(int, const TSimGenerator&)>& SimGeneratorEditedHook =
    SimulatorHooks.SimGeneratorEditedHook;

}  // namespace norv
