#include "framework/settings/undo_ring.h"

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "framework/settings/handler.h"
#include "framework/settings/settings_recall.h"
#include "framework/settings/settings_tree.h"
#include "framework/util/errors.h"

namespace norv {

namespace {

// Replays one line of a step when it is of the kind a setup holds; else names it.
void Restore(const TUndoLine& line, std::vector<std::string>& skipped) {
  if (!line.Handler) return;
  if (IsSetupHandler(line.Handler)) {
    line.Handler->RestoreFromText(line.Text);
    return;
  }
  const std::string path = HandlerPath(line.Handler);
  skipped.push_back((path.empty() ? std::string("?") : path) + " " + line.Text);
}

}  // namespace

constinit TOwned<TUndoBuffer>& UndoBuffer = ProgramObjects.UndoBuffer;
TUndoGroupState UndoGroupState;
const TProgramUnit UndoGroupUnit("undo group", [] { UndoGroupState = {}; });

uint64_t TUndoBuffer::stamp_counter_ = 0;

TUndoBuffer::TUndoBuffer() { ++stamp_counter_; }

int TUndoBuffer::NextIndex(int i) {
  if (i < 0 || i >= kSlots) throw EAssertion("Incorrect Index");
  return i == kSlots - 1 ? 0 : i + 1;
}

int TUndoBuffer::PrevIndex(int i) {
  if (i < 0 || i >= kSlots) throw EAssertion("Incorrect Index");
  return i == 0 ? kSlots - 1 : i - 1;
}

void TUndoBuffer::BeginStep() {
  if (!Enabled) return;
  if (UndoGroupActive) {
    if (UndoGroupStepOpened) return;
    UndoGroupStepOpened = true;
  }
  ++stamp_counter_;
  step_pending_ = true;
}

void TUndoBuffer::WriteItem(const std::string& text, THandler* handler) {
  if (!Enabled) return;
  if (step_pending_ && !(after_slot_ && untouched_)) {
    if (after_slot_) {
      write_index_ = NextIndex(write_index_);
      // Only a step that moves onto the oldest slot overwrites it. Reusing the slot of an
      // undone step leaves the oldest where it is (else the ring would claim 100 steps).
      if (oldest_index_ == write_index_) oldest_index_ = NextIndex(oldest_index_);
    } else {
      after_slot_ = true;
    }
    RedoEmpty = true;
    write_slot_ = write_index_;
    snapshots_[write_slot_].clear();
    redo_limit_ = write_index_;
  }
  snapshots_[write_slot_].push_back({text, handler});
  ++write_count_;
  step_pending_ = false;
  untouched_ = false;
  if (after_slot_) UndoEmpty = false;
}

const TUndoSnapshot& TUndoBuffer::TakeSlot() {
  current_ = std::move(snapshots_[write_index_]);
  snapshots_[write_index_].clear();
  write_slot_ = write_index_;
  // The replay writes into the slot just taken. A step opened without any change must
  // not turn those writes into a new step (that would drop the redo side).
  step_pending_ = false;
  ++stamp_counter_;
  return current_;
}

const TUndoSnapshot& TUndoBuffer::Undo() {
  if (!Enabled) {
    current_.clear();
    return current_;
  }
  if (UndoEmpty) throw EAssertion("Undo Buffer EMPTY!");
  if (!after_slot_)
    write_index_ = PrevIndex(write_index_);
  else
    after_slot_ = false;
  const TUndoSnapshot& taken = TakeSlot();
  if (write_index_ == oldest_index_) UndoEmpty = true;
  RedoEmpty = false;
  return taken;
}

const TUndoSnapshot& TUndoBuffer::Redo() {
  if (!Enabled) {
    current_.clear();
    return current_;
  }
  if (RedoEmpty) throw EAssertion("Redo Buffer EMPTY!");
  if (after_slot_)
    write_index_ = NextIndex(write_index_);
  else
    after_slot_ = true;
  const TUndoSnapshot& taken = TakeSlot();
  if (write_index_ == redo_limit_) RedoEmpty = true;
  UndoEmpty = false;
  return taken;
}

void TUndoBuffer::ClearRedo() {
  redo_limit_ = write_index_;
  RedoEmpty = true;
}

void TUndoBuffer::ReplaceHandler(const THandler* handler, THandler* replacement) {
  for (TUndoSnapshot& lines : snapshots_) {
    if (replacement) {
      for (TUndoLine& line : lines)
        if (line.Handler == handler) line.Handler = replacement;
    } else {
      std::erase_if(lines, [&](const TUndoLine& line) { return line.Handler == handler; });
    }
  }
  // The snapshot being replayed keeps its length; a line without handler is passed over.
  for (TUndoLine& line : current_)
    if (line.Handler == handler) line.Handler = replacement;
}

void ReplayUndoLines(const std::function<const TUndoSnapshot*()>& lines,
                     const std::function<const TUndoSnapshot*()>& written,
                     std::vector<std::string>& skipped) {
  // As a setup loads (a line restored before the one that sets its limits back is clamped
  // on the first pass and gets its value on the second). By index and re-checked: a
  // replayed change may re-register a handler (its lines are then retargeted in place) or
  // even stop the ring, and the step's lines with it.
  //
  // A node the step did not change held the same value before and after it, so the replay
  // must leave it as it found it. Yet the rules of a node restored before the one that sets
  // its limits back can clamp it (time scale A restored before B clamps B and the delays):
  // such a node wrote its value among the replay's own lines, and is replayed after the
  // step's lines with that value, as is any node that this in turn moves. Found by handler
  // each time: restoring adds lines there and may retarget or drop some.
  const TUndoSnapshot* step = lines();
  if (!step) return;
  const size_t stepLines = step->size();
  std::vector<const THandler*> outside;
  size_t scanned = 0;  // the replay's own lines looked at so far
  const auto count = [&] {
    const TUndoSnapshot* own = lines();
    const TUndoSnapshot* wrote = own ? written() : nullptr;
    if (wrote) {
      for (scanned = std::min(scanned, wrote->size()); scanned < wrote->size(); ++scanned) {
        const THandler* handler = (*wrote)[scanned].Handler;
        const auto same = [&](const TUndoLine& l) { return l.Handler == handler; };
        if (handler && std::none_of(own->begin(), own->end(), same) &&
            std::find(outside.begin(), outside.end(), handler) == outside.end())
          outside.push_back(handler);
      }
    }
    return stepLines + outside.size();
  };
  std::vector<bool> named;
  std::vector<std::string> passedOver;
  ReplayRecallLines(count, [&](size_t i, int) {
    const TUndoSnapshot* own = lines();
    if (!own) return;
    if (named.size() <= i) named.resize(i + 1);
    std::vector<std::string>& skips = named[i] ? passedOver : skipped;
    named[i] = true;
    if (i < stepLines) {
      Restore((*own)[i], skips);
      return;
    }
    const TUndoSnapshot* wrote = written();
    if (!wrote) return;
    const THandler* handler = outside[i - stepLines];
    const auto found =
        std::find_if(wrote->begin(), wrote->end(), [&](const TUndoLine& l) { return l.Handler == handler; });
    if (found != wrote->end()) Restore(TUndoLine(*found), skips);  // a copy: restoring adds lines
  });
}

void ReplayUndoStep(bool redo) {
  if (!UndoBuffer || !UndoBuffer->Enabled) return;
  if (redo ? UndoBuffer->RedoEmpty : UndoBuffer->UndoEmpty) return;
  // A step sets settings, as a setup does, and nothing else (a line's handler may have
  // been replaced by a command since it was written).
  RecallSettings([redo](std::vector<std::string>& skipped) {
    TUndoBuffer* ring = UndoBuffer.get();
    const TUndoSnapshot& taken = redo ? ring->Redo() : ring->Undo();
    // The replay writes the values it replaces into the slot just taken.
    ReplayUndoLines([&] { return UndoBuffer.get() == ring ? &taken : nullptr; },
                    [&] { return UndoBuffer.get() == ring ? &ring->WriteList() : nullptr; }, skipped);
  });
}

}  // namespace norv
