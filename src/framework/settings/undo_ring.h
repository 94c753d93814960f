#pragma once
// The undo ring: the last 100 steps of setting changes as text snapshots. Each step holds
// one line per handler that changed during it: the handler's OLD value text. Replaying a
// step writes the values it replaces into the same slot, which then serves the opposite
// direction.

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "framework/settings/program_objects.h"

namespace norv {

class THandler;

struct TUndoLine {
  std::string Text;
  THandler* Handler = nullptr;
};
using TUndoSnapshot = std::vector<TUndoLine>;

class TUndoBuffer {
 public:
  static constexpr int kSlots = 100;

  TUndoBuffer();

  // Records nothing until the shell has pushed every setting to the instrument.
  bool Enabled = false;
  bool UndoEmpty = true;
  bool RedoEmpty = true;

  // Opens a new step at the next write.
  void BeginStep();
  // Adds a line to the step being written.
  void WriteItem(const std::string& text, THandler* handler);
  // The snapshot to replay (empty when disabled); the replay's own writes go into the
  // slot just taken. Valid until the next Undo or Redo.
  const TUndoSnapshot& Undo();
  const TUndoSnapshot& Redo();
  void ClearRedo();

  static int NextIndex(int i);
  static int PrevIndex(int i);

  // The change counter handlers compare with; it keeps growing across rings, so a
  // handler's stamp from an earlier ring never hides a change in a new one.
  uint64_t Stamp() const { return stamp_counter_; }

  // The lines of the step being written; a replay writes the values it replaces there.
  const TUndoSnapshot& WriteList() const { return snapshots_[write_slot_]; }

  // Lines of `handler` now belong to `replacement`, or are dropped when it is nullptr.
  void ReplaceHandler(const THandler* handler, THandler* replacement);

  int GetWriteIndex() const { return write_index_; }
  // Lines written so far (replays included).
  uint64_t WriteCount() const { return write_count_; }
  int GetOldestIndex() const { return oldest_index_; }

 private:
  const TUndoSnapshot& TakeSlot();

  std::array<TUndoSnapshot, kSlots> snapshots_;
  TUndoSnapshot current_;  // the snapshot handed out by the last Undo or Redo
  bool after_slot_ = true;
  int write_index_ = 0;
  int oldest_index_ = 0;
  int redo_limit_ = 0;
  int write_slot_ = 0;
  bool untouched_ = true;
  bool step_pending_ = true;
  uint64_t write_count_ = 0;
  static uint64_t stamp_counter_;
};

// The ring exists only while work with an instrument runs (the shell creates and frees
// it); while it does not exist no undo is recorded. Held by ProgramObjects.
extern TOwned<TUndoBuffer>& UndoBuffer;

// While the keypad is shown its changes form one step: only the first BeginStep counts.
struct TUndoGroupState {
  bool UndoGroupActive = false;
  bool UndoGroupStepOpened = false;
};
extern TUndoGroupState UndoGroupState;
inline constinit bool& UndoGroupActive = UndoGroupState.UndoGroupActive;
inline constinit bool& UndoGroupStepOpened = UndoGroupState.UndoGroupStepOpened;

// Takes the last step (Redo false) or the next one (Redo true) from UndoBuffer and
// replays every line through its handler inside a settings batch, as a setup loads
// (ReplayRecallLines: every line comes back whatever the order); a node outside the
// step that the replay's rules changed on the way takes back the value it had. Only
// handlers a setup holds (IsSetupHandler) are replayed; the other lines are named in one
// warning. Does nothing without a ring or when that side is empty.
void ReplayUndoStep(bool redo);

// The replay of ReplayUndoStep, inside a recall in force: `lines` are given back, and a
// node outside them that the replay's rules move takes back the value the replay's own
// lines (`written`) hold for it. Each gives nullptr once its lines are gone.
void ReplayUndoLines(const std::function<const TUndoSnapshot*()>& lines,
                     const std::function<const TUndoSnapshot*()>& written, std::vector<std::string>& skipped);

}  // namespace norv
