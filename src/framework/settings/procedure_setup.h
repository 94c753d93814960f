#pragma once
// A procedure's set-up (autoscale, a calibration, the pattern search): the settings it
// changes for its own use, each with the value it had before, held apart from the undo
// ring. While the procedure's own code runs (a TProcedureScope), its changes are written
// here and never into the newest undo step, so that a command a client sends meanwhile
// forms its own steps and the procedure's later changes never ride in them. At its end the
// procedure gives back its own set-up, whatever came after it: every setting it changed
// that nobody else has set since (a client's command, a recall, the user) goes back.
//
//   setup.Begin();
//   { const TProcedureScope own(setup); SetValueAt("TB:ScaleA", 1e-8); }
//   ...one acquisition after another, each step in a scope of its own...
//   setup.GiveBack();

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "framework/settings/handler.h"
#include "framework/settings/undo_ring.h"

namespace norv {

class TProcedureSetup {
 public:
  TProcedureSetup();
  ~TProcedureSetup();
  TProcedureSetup(TProcedureSetup&& other) noexcept;
  TProcedureSetup& operator=(TProcedureSetup&& other) noexcept;
  TProcedureSetup(const TProcedureSetup&) = delete;
  TProcedureSetup& operator=(const TProcedureSetup&) = delete;

  // Starts a set-up, holding `taken` already (the lines of an undo step it takes over).
  // Changes made after it (and after its end) outside the procedure form undo steps of
  // their own.
  void Begin(TUndoSnapshot taken = {});
  // Sets back every setting it holds that nobody else has set meanwhile, as an undo step
  // is replayed (a setting the rules move on the way keeps its value), without an undo step
  // of its own and without telling anyone: it starts nothing that it holds back.
  void GiveBack();
  // The present values stay: the set-up becomes one undo step that gives them back.
  void Keep();
  // Forgets the set-up; the present values stay and no undo step holds it.
  void Drop();

  // Any procedure's set-up is running.
  static bool AnyRunning();

  // --- told by THandler of every change of a setting ---
  // In a procedure's scope its first change of a setting is recorded there: true, the
  // change is no undo step.
  static bool RecordChange(THandler& handler, const std::function<std::string()>& oldText);
  // A setting changed or set outside every procedure (a client's command, a recall, what
  // the rules make of them) is no running procedure's to give back any more; `begunBy`
  // limits that to the procedures begun by then (a command that starts one has set its
  // setting before). When the value it replaces is a running procedure's own, the value
  // from before that procedure: an undo step keeps it as the old value, so that no undo
  // brings back what the procedure set for itself.
  static std::optional<std::string> NoteChangedMeanwhile(const THandler& handler,
                                                         uint64_t begunBy = UINT64_MAX);
  // Counts the set-ups begun so far.
  static uint64_t BegunCount();
  // Lines of `handler` now belong to `replacement`, or to nobody when it is nullptr.
  static void ReplaceHandler(const THandler* handler, THandler* replacement);

 private:
  friend class TProcedureScope;
  void Link();
  void Unlink();
  // The lines nobody else has set meanwhile; the set-up ends.
  TUndoSnapshot TakeOwnLines();
  // The changes after a procedure's start or end form undo steps of their own.
  static void OpenNextStep();

  TUndoSnapshot lines_;
  std::vector<const THandler*> moved_;  // set by someone else since the procedure set them
  bool running_ = false;
  uint64_t begun_ = 0;  // its place in the count of set-ups begun
  TProcedureSetup* prev_ = nullptr;
  TProcedureSetup* next_ = nullptr;
};

// For its scope the changes of settings belong to `setup`: the procedure's own code runs.
// In the scope of a set-up already ended they form no undo step and nothing is given back
// (a procedure's outcome, set after its set-up went back).
class TProcedureScope {
 public:
  explicit TProcedureScope(TProcedureSetup& setup) : TProcedureScope(&setup) {}
  ~TProcedureScope();
  TProcedureScope(const TProcedureScope&) = delete;
  TProcedureScope& operator=(const TProcedureScope&) = delete;

 protected:
  explicit TProcedureScope(TProcedureSetup* setup);

 private:
  TProcedureSetup* saved_;
};

// For its scope no procedure's code runs, even inside one (a box it waits on): an idle
// step, a client's command.
class TOutsideProcedures : public TProcedureScope {
 public:
  TOutsideProcedures() : TProcedureScope(nullptr) {}
};

}  // namespace norv
