#include "instrument/acquisition/procedures.h"

#include "framework/language/language.h"
#include "framework/util/dialog_service.h"
#include "instrument/acquisition/acquisition_hooks.h"

namespace norv {

namespace {

constexpr const char* kNameKeys[] = {"",
                                     "procAutoscale",
                                     "procAutoCalibration",
                                     "procTdrChannelCalibration",
                                     "procTdrCorrection",
                                     "procOEDarkLevel",
                                     "procOEGain",
                                     "procPatternSearch",
                                     "procLowJitterReference",
                                     "procJitterAnalysis"};

}  // namespace

TProcedure RunningProcedure() { return AcqHooks.RunningProcedure(); }

std::string ProcedureName(TProcedure procedure) {
  return GetLangStr(kNameKeys[static_cast<size_t>(procedure)]);
}

bool RefusedBesideProcedure(TProcedure starting, const std::function<void()>& withdraw) {
  const TProcedure running = RunningProcedure();
  // The jitter analysis runs on the pattern lock, which the autoscale switches off: that
  // ends the analysis as the autoscale starts.
  if (running == TProcedure::None ||
      (running == TProcedure::JitterAnalysis && starting == TProcedure::Autoscale))
    return false;
  if (withdraw) withdraw();
  const std::string text =
      FormatLangStr("CannotStartBesideProcedure", ProcedureName(starting), ProcedureName(running));
  RunFailingCommand([&] {
    Dialogs().Inform(TMessageKind::Error, text);
    return false;
  });
  return true;
}

}  // namespace norv
