#pragma once
// The base of every setting and command held in the settings tree: the bound controls
// to notify, the Disabled and Internal marks, the undo bookkeeping, who is changing the
// value, and the change protocol every value-holding handler follows. Also the settings
// batch and the per-trace on/off flags.

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "framework/settings/program_objects.h"
#include "framework/traces/display_sources.h"
#include "framework/traces/trace_names.h"
#include "framework/util/hook.h"

namespace norv {

class THandler;

// Origin of a settings change; setters with the suffix ByProgram use wcvProgram.
enum TWhoChanged : uint8_t {
  wcvUnknown = 0,
  wcvProgram = 1,
  wcvSwitcher = 2,
  wcvCommand = 3,
  wcvReplay = 4,
};

// Plain procedure taking the handler (OnChange, OnBeforeChange, command actions).
using THandlerEvent = std::function<void(THandler&)>;

// Anything bound to a handler: an on-screen control, or another handler listening to
// this one. The handler calls UpdateFromHandler on every real change of its value, of
// Disabled or of a disabled mask. A bound object must unbind before it is destroyed.
class ISwitcher {
 public:
  virtual ~ISwitcher() = default;
  virtual void UpdateFromHandler() = 0;
  // The handler is going away: its path was registered again with a new handler
  // (replacement, the binding has moved there and UpdateFromHandler follows) or the tree
  // is being freed (nullptr, the binding is gone). Never call back into the old handler.
  virtual void HandlerReplaced(THandler* replacement) = 0;
};

// A binding that runs a function; handlers use it to listen to other handlers.
class TSwitcherLink final : public ISwitcher {
 public:
  explicit TSwitcherLink(std::function<void()> onUpdate) : on_update_(std::move(onUpdate)) {}
  ~TSwitcherLink() override { Unbind(); }
  TSwitcherLink(const TSwitcherLink&) = delete;
  TSwitcherLink& operator=(const TSwitcherLink&) = delete;

  // Binds to `handler` (nullptr: stays unbound); the function runs once at once.
  void Bind(THandler* handler);
  void Unbind();
  THandler* Bound() const { return bound_; }

  void UpdateFromHandler() override { on_update_(); }
  void HandlerReplaced(THandler* replacement) override { bound_ = replacement; }

 private:
  std::function<void()> on_update_;
  THandler* bound_ = nullptr;
};

class THandler {
 public:
  explicit THandler(THandlerEvent onChange = {}, THandlerEvent onBeforeChange = {});
  virtual ~THandler();
  THandler(const THandler&) = delete;
  THandler& operator=(const THandler&) = delete;

  // --- bound controls ---
  void RegisterSwitcher(ISwitcher* switcher);
  void UnregisterSwitcher(ISwitcher* switcher);
  void NotifySwitchers();
  size_t SwitcherCount() const { return switchers_.size(); }
  bool IsBound(const ISwitcher* switcher) const;
  // Moves the bound controls and the undo lines of this handler to `replacement`;
  // used when a path is registered again before this handler is freed.
  void HandOverTo(THandler& replacement);

  // --- marks ---
  bool IsDisabled() const { return disabled_; }
  void SetDisabled(bool disabled);
  bool IsInternal() const { return internal_; }
  void SetInternal(bool internal) { internal_ = internal; }
  bool GetNoUndoStep() const { return no_undo_step_; }
  void SetNoUndoStep(bool value) { no_undo_step_ = value; }

  // --- origin of the change in progress ---
  TWhoChanged GetWhoChanged() const;  // fails while no change is in progress
  TWhoChanged GetWhoChangedRaw() const { return who_changed_; }

  // --- callbacks of the owning subsystem ---
  THandlerEvent OnChange;
  THandlerEvent OnBeforeChange;
  std::function<void(bool disabled)> OnDisabledChange;

  // Executes a command or answers a query; the origin is wcvReplay or wcvCommand for
  // the duration. `param` arrives upper-cased unless KeepsParamCase().
  std::string ExecCmd(const std::string& param, bool isQuery, bool replay);
  // Replays one undo line (a non-query in replay form).
  void RestoreFromText(const std::string& text) { ExecCmd(text, false, true); }
  // Free-text and file-name handlers see their parameter in the case it was typed.
  virtual bool KeepsParamCase() const { return false; }
  // The answer a setup's line holds for the value of an undo line (UndoText).
  virtual std::string SetupAnswerOf(const std::string& undoText) const;

  // A command button's press: opens an undo step and runs OnChange as a control's change.
  void ExecuteBySwitcher();

  // Only edit and source handlers have colours.
  virtual void UpdateMyColors();

  // Records the old value of a change into the undo ring, or into the set-up of the
  // procedure whose code runs (see the change protocol); its text is made only when it is
  // recorded.
  void WriteUndo(const std::function<std::string()>& oldText);
  // The old value of this handler in the undo step being written, unless it has one there.
  void WriteUndoLine(const std::function<std::string()>& oldText);
  uint64_t GetUndoStamp() const { return undo_stamp_; }

 protected:
  // The command itself; the base ExecCmd has set the origin already.
  virtual std::string Execute(const std::string& param, bool isQuery, bool replay);

  // The old value in the form ExecCmd accepts back, for the undo ring.
  virtual std::string UndoText() const { return {}; }

  // The change protocol: nothing when unchanged unless ForceNotify; otherwise
  // OnBeforeChange (only on a real change), undo record of the old value, store, notify
  // (only on a real change), OnChange.
  void ChangeValue(bool changed, const std::function<void()>& store, bool recordUndo = true);

  // Sets the origin for a scope and restores the previous one at its end, also when a
  // callback raises; meanwhile a change is in progress (HandlerState.ChangeDepth).
  class TOriginScope {
   public:
    TOriginScope(THandler& handler, TWhoChanged who);
    ~TOriginScope();
    TOriginScope(const TOriginScope&) = delete;
    TOriginScope& operator=(const TOriginScope&) = delete;

   private:
    THandler& handler_;
    TWhoChanged saved_;
  };

 private:
  std::vector<ISwitcher*> switchers_;
  bool disabled_ = false;
  bool internal_ = false;
  bool no_undo_step_ = false;
  TWhoChanged who_changed_ = wcvUnknown;
  uint64_t undo_stamp_ = 0;
};

// A handler without value; only its binding list is used (the trace-source handlers
// listen to it to learn that a trace was switched on or off).
class THandlerSignalEnablity final : public THandler {};

// --- traces shown ---

class TSignalsOn {
 public:
  TSignalsOn() { Reset(); }
  // At start only Ch1, Ch2, Hist and Const are on.
  void Reset();
  bool IsOn(TTraceId id) const { return on_[TraceIndex(id)]; }
  // Stores the flag (also when it is unchanged) and tells the trace-source handlers and
  // the hooks.
  void SetOn(TTraceId id, bool on);

 private:
  std::array<bool, kTraceIdCount> on_{};
};

// --- the values of the change protocol ---

struct THandlerState {
  // Set by the shell while it pushes every setting to a newly connected instrument and
  // while no link runs: every setter then runs OnChange even without a real change.
  bool ForceNotify = false;

  // Settings batch: costly follow-up work of callbacks is deferred to its end.
  bool SettingsBatchActive = false;
  bool SettingsBatchDeferred = false;  // a callback asked for the follow-up work
  THook<void()> OnSettingsBatchEnd{"HandlerState.OnSettingsBatchEnd"};
  // Batches may nest (an undo replay that loads a setup); the outermost end runs the
  // deferred work.
  int SettingsBatchDepth = 0;
  // Changes of settings in progress, one inside another (what a change's rules set runs
  // inside it); 0 in the program's own moments (an idle pass, a client's line begins).
  int ChangeDepth = 0;

  TSignalsOn SignalsOn;
  THook<void(TTraceId)> OnSignalSwitchedOff{"HandlerState.OnSignalSwitchedOff"};
  THook<void(TTraceId)> OnSignalOnChanged{"HandlerState.OnSignalOnChanged"};

  // The 22 display-colour items, filled by the display settings when they register; source
  // handlers repaint their controls when one changes.
  std::array<THandler*, kDisplaySourceCount> DisplayColorNodes{};
};

extern THandlerState HandlerState;
inline constinit bool& ForceNotify = HandlerState.ForceNotify;
inline constinit bool& SettingsBatchActive = HandlerState.SettingsBatchActive;
inline constinit bool& SettingsBatchDeferred = HandlerState.SettingsBatchDeferred;
inline constinit THook<void()>& OnSettingsBatchEnd = HandlerState.OnSettingsBatchEnd;
inline constinit TSignalsOn& SignalsOn = HandlerState.SignalsOn;
inline constinit THook<void(TTraceId)>& OnSignalSwitchedOff = HandlerState.OnSignalSwitchedOff;
inline constinit THook<void(TTraceId)>& OnSignalOnChanged = HandlerState.OnSignalOnChanged;
inline constinit std::array<THandler*, kDisplaySourceCount>& DisplayColorNodes =
    HandlerState.DisplayColorNodes;

void BeginSettingsBatch();
void EndSettingsBatch();

// Begins a settings batch and ends it when the scope closes, also on an exception.
class TSettingsBatch {
 public:
  TSettingsBatch() { BeginSettingsBatch(); }
  ~TSettingsBatch() { EndSettingsBatch(); }
  TSettingsBatch(const TSettingsBatch&) = delete;
  TSettingsBatch& operator=(const TSettingsBatch&) = delete;
};

// The notifier of trace on/off changes; created with the tree, held by ProgramObjects.
extern TOwned<THandlerSignalEnablity>& HandlerSignalEnablity;

}  // namespace norv
