#include "instrument/acquisition/acquisition_state.h"

#include "framework/settings/program_objects.h"
#include "instrument/acquisition/acquisition_hooks.h"

namespace norv {

TAcquisitionState AcquisitionState;
TAcqHooks AcqHooks;

namespace {
const TProgramUnit AcquisitionUnit("acquisition", [] { AcquisitionState = {}; });
const TProgramUnit AcqHooksUnit("acquisition hooks", [] { AcqHooks = {}; });
}  // namespace

void MarkMemoryChanged(int memory) {
  if (memory >= 0 && memory < 4)
    AcquisitionState.DerivedSignalStates[TraceIndex(TTraceId::M1) + memory] = dssOn;
}

void MoveChangedMemoriesOn() {
  for (int index = TraceIndex(TTraceId::M1); index <= TraceIndex(TTraceId::M4); ++index)
    if (AcquisitionState.DerivedSignalStates[index] == dssOn)
      AcquisitionState.DerivedSignalStates[index] = dssFresh;
}

}  // namespace norv
