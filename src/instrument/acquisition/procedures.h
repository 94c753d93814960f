#pragma once
// The procedures that drive the acquisition for themselves (each started by its command,
// control or setting) and the one rule between them: one runs at a time. A procedure asked
// for while another runs does not start, and the refusal names the one that runs, so that
// nothing waits on an acquisition another procedure holds and neither is left half done.

#include <cstdint>
#include <functional>
#include <string>

namespace norv {

enum class TProcedure : uint8_t {
  None,
  Autoscale,
  AutoCalibration,
  TdrChannelCalibration,
  TdrCorrection,
  OEDarkLevel,
  OEGain,
  PatternSearch,
  LowJitterReference,
  JitterAnalysis,  // runs until it is switched off
};

// The procedure that drives the acquisition now; None while the acquisitions are the user's.
TProcedure RunningProcedure();
// Its name in the messages ("the pattern search").
std::string ProcedureName(TProcedure procedure);

// True when `starting` must not start because another procedure runs. The setting that
// asked for it is first taken back (`withdraw`); then the refusal is told: in a box at the
// screen, while a client's command fails with it (EAssertion).
bool RefusedBesideProcedure(TProcedure starting, const std::function<void()>& withdraw = {});

}  // namespace norv
