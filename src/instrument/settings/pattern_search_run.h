#pragma once
// The pattern search in the running program: started by the pattern lock's AutoDetect
// mode, it runs one step after each finished acquisition while the acquisition keeps
// going. The settings it changes for its own use are its set-up, given back when it ends;
// then only the length, the additional delay and the divider it found are applied, or the
// lock goes off and what the lock mode's change set goes back with them.

#include <cstdint>
#include <memory>

#include "framework/settings/procedure_setup.h"
#include "framework/traces/trace_names.h"
#include "instrument/settings/pattern_search.h"

namespace norv {

struct TPatternSearchRunState {
  std::unique_ptr<IPatternSearchTarget> Target;
  std::unique_ptr<TPatternSearch> Search;
  bool SearchActive = false;
  TTraceId Channel = TTraceId::Ch1;
  // What the lock mode's change that started it set (nothing when none did): a failed
  // search gives it back with its own set-up.
  TProcedureSetup LockSetup;
};
TPatternSearchRunState& PatternSearchRun();

// Needs the undo ring recording (the start-up has finished); otherwise the lock goes off.
void StartPatternSearch(double rate);
// One step of a running search; nothing while none runs.
void PatternSearchStep();
// Ends a running search from outside (its window closed, the lock switched away, every
// other way out of its life): it counts as failed.
void AbortPatternSearch();

// Fills SettingsHooks.StartPatternSearch and AcqHooks.PatternSearchStep.
void InstallPatternSearch();

}  // namespace norv
