#pragma once
// A procedure's set-up (autoscale, a calibration, the pattern search): the settings it
// changes for its own use, each with the value it had before, held apart from the undo
// ring. While the procedure's own code runs (a TProcedureScope), its changes are written
// here and never into the newest undo step, so that a command a client sends meanwhile
// forms its own steps and the procedure's later changes never ride in them. At its end the
// procedure gives back its own set-up.
//
// Those settings, and the ground it names besides (its destination, its mode), are what it
// works on: when someone else (a client's command, a recall, the user) sets one of them,
// the procedure ends first (OnGroundMoved), and the change then comes on the settings from
// before it. So a procedure never runs on a moved ground, and its give-back never
// overwrites anyone's change. A setting the rules move on the way (another setting's
// change moved it) is no one's choice: it comes back with the set-up, also when the rule
// runs at a later moment of its own (TFollowingRule).
//
//   setup.Begin();
//   { const TProcedureScope own(setup); SetValueAt("TB:ScaleA", 1e-8); }
//   ...one acquisition after another, each step in a scope of its own...
//   setup.GiveBack();

#include <functional>
#include <optional>
#include <string>

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
  // their own. `followed`: a procedure's own set-up, which also holds what the following
  // rules move while it runs.
  void Begin(TUndoSnapshot taken = {}, bool followed = false);
  // Sets back every setting it holds, as an undo step is replayed (a setting the rules move
  // on the way keeps its value), without an undo step of its own and without telling
  // anyone: it starts nothing that it holds back.
  void GiveBack();
  // The present values stay: the set-up becomes one undo step that gives them back.
  void Keep();
  // Forgets the set-up; the present values stay and no undo step holds it.
  void Drop();
  bool Running() const { return running_; }

  // A setting the procedure works on without setting it itself (its destination, its
  // mode). It is never given back.
  void HoldGround(THandler* handler);
  // The switch that started the procedure and ends it (through its own callback, not as
  // its ground): a setup saved meanwhile holds it as `savedAs` (unless empty), the value a
  // Cancel leaves it at.
  void HoldSwitch(THandler* handler, std::string savedAs);
  // Its line of `handler` is not given back: someone has set it since.
  void Forget(const THandler* handler);
  // Nor are the lines of the switches it holds (a start undone: they go off instead).
  void ForgetSwitches();
  // Told once, before someone else sets a setting it holds: the procedure ends (its set-up
  // ends with it). Without it the set-up simply goes on.
  std::function<void(const THandler& moved)> OnGroundMoved;

  // A procedure's own code runs (inside a TProcedureScope of a set-up).
  static bool ProcedureCodeRuns();

  // --- told by THandler of every change of a setting ---
  // In a procedure's scope its first change of a setting is recorded there: true, the
  // change is no undo step.
  static bool RecordChange(THandler& handler, const std::function<std::string()>& oldText);
  // Someone else is about to set `handler` (outside every procedure's code): the procedures
  // working on it end first.
  static void BeforeSetByOther(const THandler& handler);
  // The value `handler` had before the running procedures set it, when they did: what
  // they give back. An undo step written meanwhile keeps it as the old value, so that no
  // undo brings back what a procedure set for itself, and a setup saved meanwhile holds it.
  static std::optional<std::string> ValueBeforeProcedures(const THandler& handler);
  // Lines of `handler` now belong to `replacement`, or to nobody when it is nullptr.
  static void ReplaceHandler(const THandler* handler, THandler* replacement);

 private:
  friend class TProcedureScope;
  friend class TFollowingRule;
  // Where a following rule's changes go now.
  static TProcedureSetup* FollowedSetup();
  void Link();
  void Unlink();
  bool Holds(const THandler* handler) const;
  // The lines it holds; the set-up ends.
  TUndoSnapshot TakeLines();
  // The changes after a procedure's start or end form undo steps of their own.
  static void OpenNextStep();

  TUndoSnapshot lines_;
  TUndoSnapshot ground_;    // texts unused
  TUndoSnapshot switches_;  // with the texts a setup holds
  bool running_ = false;
  bool followed_ = false;
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

// For its scope no procedure's code runs, even inside one (a box it waits on), and no
// change is in progress: an idle step, a client's command.
class TOutsideProcedures : public TProcedureScope {
 public:
  TOutsideProcedures();
  ~TOutsideProcedures();

 private:
  int savedDepth_;
};

// For its scope a rule runs at a moment of its own, after the changes it follows (a trace's
// layer drawn or freed once the trace's display changed). Run outside every change and
// every procedure's code, what it moves while a procedure runs followed that procedure's
// settings: it is held in the set-up of the one begun last and comes back with it. Inside
// a change it belongs where that change does.
class TFollowingRule : public TProcedureScope {
 public:
  TFollowingRule() : TProcedureScope(TProcedureSetup::FollowedSetup()) {}
};

}  // namespace norv
