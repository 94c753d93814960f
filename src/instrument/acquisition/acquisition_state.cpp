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

}  // namespace norv
