#pragma once
// The "Jitter:" settings, switching the jitter analysis on and off, the selected results
// in the bottom strip and the plot windows' requests. The engine (jitter_engine.h)
// exists while "Jitter:JitterOn" is on; the graph windows above reach it through
// JitterObj() and are opened and redrawn through JitterHooks.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "framework/util/hook.h"

namespace norv {

class TJ_Obj;

inline constexpr int kJitterPlotKinds = 7;
inline constexpr int kJitterResultLines = 10;
inline constexpr uint8_t kJitterMenuId = 18;

enum TJitterPlotKind : uint8_t {
  jpRJPJHist,
  jpDDJHist,
  jpTJHist,
  jpCompHist,
  jpCompDDJHist,
  jpDDJvsBit,
  jpBERBathtub
};

// One selected result line.
struct TParameterOfJtrMeas {
  std::string Name;
  uint8_t Index = 0;  // item of "Jitter:JParam"
  double Value = 0;
  std::string Unit;
};

struct TJitterHooks {
  // Opens the plot window of the kind (none while the main window does not exist).
  THook<void(int kind)> ShowJitterPlot{"JitterHooks.ShowJitterPlot"};
  THook<void(int kind)> FreeJitterPlot{"JitterHooks.FreeJitterPlot"};
  // Redraws every open plot window.
  THook<void()> RedrawJitterPlots{"JitterHooks.RedrawJitterPlots"};
};
extern TJitterHooks JitterHooks;

struct TJitterSettingsState {
  std::unique_ptr<TJ_Obj> JitterObj;
  std::vector<TParameterOfJtrMeas> JitterResults;
  bool NamesToRewrite = true;
  uint32_t ParamMask = 0;  // the "Jitter:JParam" items the list holds
  bool Registered = false;
};
TJitterSettingsState& JitterSettings();
TJ_Obj* JitterObj();

// The language key of a plot kind.
const char* JitterPlotKey(int kind);

void RegisterJitterHandlers();
void SwitchJitterMeasurement(bool on);
// The result lines: append, remove (EAssertion "Parameter is ABSENT" for one not listed,
// except while every setter notifies), names into the strip, values from the engine.
void AddJitterResult(int index, const std::string& name);
void RemoveJitterResult(int index);
void WriteJitterResultNames();
void JitterPhaseResults();
// "Jitter:JPlots" items that are checked.
uint32_t CheckedJitterPlots();
// A plot window was hidden: its item is unchecked by program.
void JitterPlotHidden(int kind);

// Fills the acquisition's jitter hooks and the switch-off of the exclusive analyses.
void InstallJitter();

}  // namespace norv
