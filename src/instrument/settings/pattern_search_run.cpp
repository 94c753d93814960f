#include "instrument/settings/pattern_search_run.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "framework/language/language.h"
#include "framework/settings/choice_handlers.h"
#include "framework/settings/node_access.h"
#include "framework/settings/node_path.h"
#include "framework/settings/numeric_handlers.h"
#include "framework/settings/procedure_setup.h"
#include "framework/settings/program_objects.h"
#include "framework/settings/settings_tree.h"
#include "framework/settings/undo_ring.h"
#include "framework/util/dialog_service.h"
#include "instrument/acquisition/acquisition_hooks.h"
#include "instrument/acquisition/acquisition_state.h"
#include "instrument/link/link_hooks.h"
#include "instrument/record/signal_obj.h"
#include "instrument/settings/setting_senders.h"
#include "instrument/settings/settings_hooks.h"
#include "instrument/settings/trigger_settings.h"
#include "instrument/simulator/simulator.h"

namespace norv {

namespace {

TPatternSearchRunState State;
TProcedureLife Life(TProcedure::PatternSearch);
const TProgramUnit RunUnit("pattern search", [] {
  Life.Abandon();
  State = {};
});

// By program, for the nodes that exist: the program may run without the upper subsystems.
void SetItem(std::string_view path, std::string_view item) {
  if (auto* h = dynamic_cast<TRadioSwHandler*>(NodeAt(path))) {
    const int index = FindItem(h->Items(), item);
    if (index >= 0) h->SetIndexByProgram(static_cast<uint8_t>(index));
  }
}
void SetNone(std::string_view path) {
  if (auto* h = dynamic_cast<TCheckSwHandler*>(NodeAt(path))) h->SetMaskByProgram(0);
}
// "Off" of a choice, or an on/off setting off.
void SetOff(std::string_view path) {
  SetItem(path, "Off");
  SetOnAt(path, false);
}

// The searched channel's record and the settings the search turns.
class TSettingsTarget final : public IPatternSearchTarget {
 public:
  explicit TSettingsTarget(TTraceId channel) : channel_(channel) {}
  std::vector<double> Record() override {
    const TSignalObj& record = SignalObjs()[channel_];
    const int n = std::min<int>(record.GetRecLen(), kMaxRecLen);
    std::vector<double> points(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) points[static_cast<size_t>(i)] = record.GetStoredY(i);
    return points;
  }
  void StartPatternLock() override {
    SendPatternOn(true);
    ProgramSimulator().SimSetPatternOn(true);
    for (const std::string_view mode : {"Acq:Ch1:Mode"_node, "Acq:Ch2:Mode"_node}) SetItem(mode, "AvgMult");
    for (const std::string_view count : {"Acq:Ch1:NAvg"_node, "Acq:Ch2:NAvg"_node}) SetValueAt(count, 32);
  }
  void SetPatternLength(int32_t length) override { SetValueAt("Trig:PattLen"_node, length); }
  void SetAddDelay(bool on) override { SetOnAt("Trig:PattAddDelay"_node, on); }
  void SetTimeScales(double scaleA, double scaleB) override {
    SetValueAt("TB:ScaleA"_node, scaleA);
    SetValueAt("TB:ScaleB"_node, scaleB);
  }
  void ShowLockedStyle() override {
    SetIndexAt("Displ:Ch1:Style"_node, 1);
    SetIndexAt("Displ:Ch2:Style"_node, 1);
  }

 private:
  TTraceId channel_;
};

void Prepare() {
  if (!IsOnAt("Ch2:Display"_node)) SetOnAt("Ch1:Display"_node, true);
  State.Channel = IsOnAt("Ch1:Display"_node) ? TTraceId::Ch1 : TTraceId::Ch2;
  SettingsHooks.StopRunAndSingle();
  BreakAcquisition(true);
  for (const std::string_view mode : {"Acq:Ch1:Mode"_node, "Acq:Ch2:Mode"_node}) SetItem(mode, "Sample");
  for (const std::string_view display : {"Spectr1:Display"_node, "Spectr2:Display"_node, "F1:Display"_node,
                                         "F2:Display"_node, "F3:Display"_node, "F4:Display"_node})
    SetOnAt(display, false);
  SetNone("Save:Memo:On"_node);
  SetItem("Displ:TraceMode"_node, "PerTrace");
  SetIndexAt("Displ:Ch1:Style"_node, 0);
  SetIndexAt("Displ:Ch2:Style"_node, 0);
  SetItem("Displ:Gratic"_node, "Grid");
  SetItem("Displ:Format"_node, "YT");
  for (const std::string_view off : {"Eye:Measure"_node, "Hist:Axis"_node, "Limit:TestOn"_node,
                                     "Meas:Display"_node, "Mark:Type"_node, "Mask:Test"_node})
    SetOff(off);
  for (const std::string_view length : {"Acq:Ch1:RecLen"_node, "Acq:Ch2:RecLen"_node})
    SetValueAt(length, 1024);
  SetOff("Util:VCalMode"_node);
  SetItem("TB:Units"_node, "Time");
  SetItem("TB:Mode"_node, "B");
  SetValueAt("TB:Delay"_node, 0.0);
  SetOnAt("TB:DualDel"_node, false);
  SetItem("Acq:FitTo"_node, "Multi");
}

void Progress(int position) { SettingsHooks.PatternSearchProgress(position); }

void Finish() {
  TPatternSearch& search = *State.Search;
  State.SearchActive = false;
  // The settings of the search go back to what they were before it, and the run to where
  // it stood; a failed one also gives back what the lock mode's change set for it (the
  // hold-off at its minimum).
  Life.End();
  if (search.Found())
    State.LockSetup.Drop();
  else
    State.LockSetup.GiveBack();
  Progress(-1);
  // Its outcome, as the end of the lock mode's change: no undo step of its own.
  const TProcedureScope own(Life.Setup());
  if (search.Found()) {
    SetValueAt("Trig:PattLen"_node, search.Length());
    SetOnAt("Trig:PattAddDelay"_node, search.AddDelay());
    SetValueAt("Trig:ExtDivider"_node, search.Divider());
  } else {
    if (search.State() == TPatternSearchState::NotFound)
      Life.Tell(TMessageKind::Information, GetLangStr("PatternNOTFound"));
    // A lock someone switched to another mode meanwhile stays as set.
    if (IndexAt("Trig:PatternLockMode"_node) == plmAutoDetect) SetItem("Trig:PatternLockMode"_node, "Off");
    SettingsHooks.RefreshTriggerCell();
  }
  State.Search.reset();
  State.Target.reset();
}

}  // namespace

TPatternSearchRunState& PatternSearchRun() { return State; }

void StartPatternSearch(double rate) {
  if (State.SearchActive) return;
  if (!UndoBuffer || !UndoBuffer->Enabled) {
    SetItem("Trig:PatternLockMode"_node, "Off");
    return;
  }
  // The lock mode's old value in the step being written: its change starts the search, and
  // a failed search gives that step back (begun first: it holds the values from before).
  THandler* lock = TriggerSettings().PatternLockMode;
  if (lock && lock->GetUndoStamp() == UndoBuffer->Stamp())
    State.LockSetup.Begin(UndoBuffer->WriteList());
  else
    State.LockSetup.Drop();
  if (!Life.Start()) {
    State.LockSetup.Drop();
    SetItem("Trig:PatternLockMode"_node, "Off");
    return;
  }
  Life.AlsoHolds(State.LockSetup);
  // The lock ends the search itself (switched away): no ground of it. A setup saved
  // meanwhile holds its value from before the change that started the search, else Off.
  State.LockSetup.HoldSwitch(lock, {});
  Life.HoldSwitch(lock, "OFF");
  // Every way out ends it as its window's Cancel does.
  Life.OnCancel = [] { AbortPatternSearch(); };
  const TProcedureScope own(Life.Setup());
  Prepare();
  State.Target = std::make_unique<TSettingsTarget>(State.Channel);
  State.Search = std::make_unique<TPatternSearch>(*State.Target, TriggerSettings().PatternLengthList, rate);
  State.SearchActive = true;
  Progress(0);
  if (State.Search->Finished()) {
    Finish();
    return;
  }
  if (NodeAt("*Run"_node) != nullptr) RootSpider->ExecCommandLine("*Run"_node, false);
}

void PatternSearchStep() {
  if (!State.SearchActive || !State.Search) return;
  const TProcedureScope own(Life.Setup());
  State.Search->Step();
  Progress(State.Search->Progress());
  if (State.Search->Finished()) Finish();
}

void AbortPatternSearch() {
  if (!State.SearchActive || !State.Search) return;
  // Switched to another mode, the lock stays as it was set.
  if (IndexAt("Trig:PatternLockMode"_node) != plmAutoDetect)
    State.LockSetup.Forget(TriggerSettings().PatternLockMode);
  Finish();
}

void InstallPatternSearch() {
  SettingsHooks.StartPatternSearch.Set(StartPatternSearch);
  AcqHooks.PatternSearchStep.Set(PatternSearchStep);
}

}  // namespace norv
