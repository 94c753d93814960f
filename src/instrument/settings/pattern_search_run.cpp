#include "instrument/settings/pattern_search_run.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "framework/language/language.h"
#include "framework/settings/choice_handlers.h"
#include "framework/settings/numeric_handlers.h"
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
const TProgramUnit RunUnit("pattern search", [] { State = {}; });

THandler* Node(const std::string& path) { return RootSpider ? RootSpider->FindHandler(path) : nullptr; }

// By program, for the nodes that exist: the program may run without the upper subsystems.
void SetItem(const std::string& path, std::string_view item) {
  if (auto* h = dynamic_cast<TRadioSwHandler*>(Node(path))) {
    const int index = FindItem(h->Items(), item);
    if (index >= 0) h->SetIndexByProgram(static_cast<uint8_t>(index));
  }
}
void SetIndex(const std::string& path, uint8_t index) {
  if (auto* h = dynamic_cast<TRadioSwHandler*>(Node(path)); h && index < h->GetCount())
    h->SetIndexByProgram(index);
}
void SetOn(const std::string& path, bool on) {
  if (auto* h = dynamic_cast<TOnOffHandler*>(Node(path))) h->SetOnByProgram(on);
}
void SetInt(const std::string& path, int32_t value) {
  if (auto* h = dynamic_cast<TIntEditHandler*>(Node(path))) h->SetValueByProgram(value);
}
void SetDouble(const std::string& path, double value) {
  if (auto* h = dynamic_cast<TDoubleEditHandler*>(Node(path))) h->SetValueByProgram(value);
}
// "Off" of a choice, or an on/off setting off.
void SetOff(const std::string& path) {
  SetItem(path, "Off");
  SetOn(path, false);
}
bool IsOnAt(const std::string& path) {
  auto* h = dynamic_cast<TOnOffHandler*>(Node(path));
  return h != nullptr && h->IsOn();
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
    for (const char* ch : {"Acq:Ch1:", "Acq:Ch2:"}) {
      SetItem(std::string(ch) + "Mode", "AvgMult");
      SetInt(std::string(ch) + "NAvg", 32);
    }
  }
  void SetPatternLength(int32_t length) override { SetInt("Trig:PattLen", length); }
  void SetAddDelay(bool on) override { SetOn("Trig:PattAddDelay", on); }
  void SetTimeScales(double scaleA, double scaleB) override {
    SetDouble("TB:ScaleA", scaleA);
    SetDouble("TB:ScaleB", scaleB);
  }
  void ShowLockedStyle() override {
    SetIndex("Ch1:Style", 1);
    SetIndex("Ch2:Style", 1);
  }

 private:
  TTraceId channel_;
};

void Prepare() {
  if (!IsOnAt("Ch2:Display")) SetOn("Ch1:Display", true);
  State.Channel = IsOnAt("Ch1:Display") ? TTraceId::Ch1 : TTraceId::Ch2;
  State.SavedRun = AcquisitionState.RunFlag;
  SettingsHooks.StopRunAndSingle();
  BreakAcquisition(true);
  for (const char* ch : {"Acq:Ch1:", "Acq:Ch2:"}) {
    SetItem(std::string(ch) + "Mode", "Sample");
    SetInt(std::string(ch) + "RecLen", 1024);
  }
  for (const char* trace : {"S1", "S2", "F1", "F2", "F3", "F4"})
    SetOn(std::string(trace) + ":Display", false);
  SetItem("Save:Memo:On", "None");
  SetItem("Displ:TraceMode", "PerTrace");
  SetIndex("Ch1:Style", 0);
  SetIndex("Ch2:Style", 0);
  SetItem("Displ:Gratic", "Grid");
  SetItem("Displ:Format", "YT");
  for (const char* off : {"Eye:Measure", "Hist:Axis", "Limit:TestOn", "Meas:Display", "Mark:Type",
                          "Mask:Test", "Util:VCalMode"})
    SetOff(off);
  SetItem("TB:Units", "Time");
  SetItem("TB:Mode", "B");
  SetDouble("TB:Delay", 0.0);
  SetOn("TB:DualDel", false);
  SetItem("Acq:FitTo", "Multi");
}

void Progress(int position) { SettingsHooks.PatternSearchProgress(position); }

void Finish() {
  TPatternSearch& search = *State.Search;
  State.SearchActive = false;
  // The settings of the search go back to what they were before it.
  ReplayUndoStep(false);
  if (UndoBuffer) UndoBuffer->ClearRedo();
  if (!State.SavedRun) SettingsHooks.StopRunAndSingle();
  Progress(-1);
  if (search.Found()) {
    SetInt("Trig:PattLen", search.Length());
    SetOn("Trig:PattAddDelay", search.AddDelay());
    SetInt("Trig:ExtDivider", search.Divider());
  } else {
    if (search.State() == TPatternSearchState::NotFound)
      Dialogs().Inform(TMessageKind::Information, GetLangStr("PatternNOTFound"));
    SetItem("Trig:PatternLockMode", "Off");
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
    SetItem("Trig:PatternLockMode", "Off");
    return;
  }
  UndoBuffer->BeginStep();
  Prepare();
  State.Target = std::make_unique<TSettingsTarget>(State.Channel);
  State.Search = std::make_unique<TPatternSearch>(*State.Target, TriggerSettings().PatternLengthList, rate);
  State.SearchActive = true;
  Progress(0);
  if (State.Search->Finished()) {
    Finish();
    return;
  }
  if (Node("*Run") != nullptr) RootSpider->ExecCommandLine("*Run", false);
}

void PatternSearchStep() {
  if (!State.SearchActive || !State.Search) return;
  State.Search->Step();
  Progress(State.Search->Progress());
  if (State.Search->Finished()) Finish();
}

void AbortPatternSearch() {
  if (State.SearchActive && State.Search) Finish();
}

void InstallPatternSearch() {
  SettingsHooks.StartPatternSearch.Set(StartPatternSearch);
  AcqHooks.PatternSearchStep.Set(PatternSearchStep);
}

}  // namespace norv
