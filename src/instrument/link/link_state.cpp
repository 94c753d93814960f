#include "instrument/link/link_state.h"

#include "framework/settings/program_objects.h"
#include "instrument/link/link_hooks.h"

namespace norv {

TLinkState LinkState;
TLinkHooks LinkHooks;

namespace {
const TProgramUnit LinkUnit("link", [] { LinkState = {}; });
const TProgramUnit LinkHooksUnit("link hooks", [] { LinkHooks = {}; });
}  // namespace

}  // namespace norv
