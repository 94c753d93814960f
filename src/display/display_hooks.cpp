#include "display/display_hooks.h"

#include "framework/settings/program_objects.h"

namespace norv {

TDisplayHooks DisplayHooks;

namespace {
const TProgramUnit DisplayHooksUnit("display hooks", [] { DisplayHooks = {}; });
}  // namespace

}  // namespace norv
