#include "framework/settings/program_objects.h"

#include <algorithm>

#include "framework/settings/handler.h"
#include "framework/settings/settings_tree.h"
#include "framework/settings/undo_ring.h"

namespace norv {

namespace {
uint64_t creation_count = 0;
}  // namespace

constinit TProgramObjects ProgramObjects;

uint64_t NextCreationStamp() { return ++creation_count; }

TProgramObjects::~TProgramObjects() { FreeAll(); }

void TProgramObjects::FreeAll() {
  // One at a time: freeing one object may create or free others.
  auto freeNewest = [](auto&... slots) {
    const uint64_t newest = std::max({slots.CreatedAt()...});
    if (newest == 0) return false;
    ((slots.CreatedAt() == newest ? slots.reset() : void()), ...);
    return true;
  };
  while (freeNewest(RootSpider, HandlerSignalEnablity, UndoBuffer)) {
  }
}

}  // namespace norv
