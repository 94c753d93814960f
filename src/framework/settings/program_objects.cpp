#include "framework/settings/program_objects.h"

#include <cstdlib>

#include "framework/settings/handler.h"
#include "framework/settings/settings_tree.h"
#include "framework/settings/undo_ring.h"
#include "framework/util/close_signal.h"

namespace norv {

namespace {
uint64_t creation_count = 0;
}  // namespace

constinit TProgramObjects ProgramObjects;

uint64_t NextCreationStamp() { return ++creation_count; }

void FreshProgramState() {
  ProgramObjects.Fresh();
  CloseSignalled = 0;
}

// ---------------------------------------------------------------------------------------
// Slots and units

TOwnedSlot::~TOwnedSlot() {
  if (enlisted_) ProgramObjects.Delist(*this);
}

void TOwnedSlot::Stamp(bool holding) {
  created_at_ = holding ? NextCreationStamp() : 0;
  if (holding && !enlisted_) ProgramObjects.Enlist(*this);
}

TProgramUnit::TProgramUnit(const char* name, void (*reset)()) : name_(name), reset_(reset) {
  ProgramObjects.Join(*this);
}

TProgramUnit::~TProgramUnit() {
  if (joined_) ProgramObjects.Leave(*this);
}

// ---------------------------------------------------------------------------------------
// The owner

TProgramObjects::~TProgramObjects() {
  FreeAll();
  // Slots and units of other files may outlive the owner: they must not reach it.
  for (TOwnedSlot* slot = slots_; slot; slot = slot->next_) slot->enlisted_ = false;
  for (TProgramUnit* unit = units_; unit; unit = unit->next_) unit->joined_ = false;
  slots_ = nullptr;
  units_ = nullptr;
}

void TProgramObjects::Enlist(TOwnedSlot& slot) {
  slot.enlisted_ = true;
  slot.next_ = slots_;
  slots_ = &slot;
  // Static objects are destroyed in reverse order of their making, and exit handlers run
  // among them by the same rule: everything made before the first object (the hooks and
  // the units' values) is still there when this runs.
  if (!freed_at_exit_) {
    freed_at_exit_ = true;
    std::atexit([] { ProgramObjects.FreeAll(); });
  }
}

void TProgramObjects::Delist(TOwnedSlot& slot) {
  for (TOwnedSlot** link = &slots_; *link; link = &(*link)->next_) {
    if (*link == &slot) {
      *link = slot.next_;
      break;
    }
  }
  slot.enlisted_ = false;
  slot.next_ = nullptr;
}

void TProgramObjects::Join(TProgramUnit& unit) {
  TProgramUnit** link = &units_;
  while (*link) link = &(*link)->next_;
  *link = &unit;
  unit.joined_ = true;
}

void TProgramObjects::Leave(TProgramUnit& unit) {
  for (TProgramUnit** link = &units_; *link; link = &(*link)->next_) {
    if (*link == &unit) {
      *link = unit.next_;
      break;
    }
  }
  unit.joined_ = false;
  unit.next_ = nullptr;
}

void TProgramObjects::FreeAll() {
  // One at a time: freeing one object may make or free others.
  while (true) {
    TOwnedSlot* newest = nullptr;
    for (TOwnedSlot* slot = slots_; slot; slot = slot->next_)
      if (slot->created_at_ != 0 && (!newest || slot->created_at_ > newest->created_at_)) newest = slot;
    if (!newest) return;
    newest->free_(*newest);
  }
}

void TProgramObjects::Fresh() {
  FreeAll();
  for (TProgramUnit* unit = units_; unit; unit = unit->next_) unit->reset_();
}

}  // namespace norv
