#include "analysis/jitter_settings.h"

#include <algorithm>
#include <functional>
#include <string>

#include "analysis/jitter_engine.h"
#include "display/bottom_text.h"
#include "display/scope_crt.h"
#include "framework/language/language.h"
#include "framework/settings/choice_handlers.h"
#include "framework/settings/node_access.h"
#include "framework/settings/node_path.h"
#include "framework/settings/numeric_handlers.h"
#include "framework/settings/procedure_setup.h"
#include "framework/settings/program_objects.h"
#include "framework/settings/settings_recall.h"
#include "framework/settings/settings_tree.h"
#include "framework/settings/value_text.h"
#include "framework/traces/display_sources.h"
#include "framework/util/dialog_service.h"
#include "framework/util/errors.h"
#include "instrument/acquisition/acquisition_hooks.h"
#include "instrument/acquisition/procedures.h"
#include "instrument/settings/pattern_search_run.h"
#include "instrument/settings/trigger_settings.h"
#include "instrument/startup/dispatchers.h"
#include "measure/autoscale/autoscale.h"

namespace norv {

TJitterHooks JitterHooks;

namespace {

TJitterSettingsState State;
// The analysis from its switch on to its switch off: what its engine drives is its set-up.
TProcedureLife Life(TProcedure::JitterAnalysis);
const TProgramUnit JitterUnit("jitter", [] {
  Life.Abandon();
  State.JitterObj.reset();
  State = {};
  JitterHooks = {};
});

constexpr const char* kResultKeys[kJitterResultCount] = {
    "TotalJ",        "PeriodicJss", "PeriodicJrms",     "DeterminJss",
    "DataDependJpp", "RandomJrms",  "DutyCycleDistort", "InterSymbolInterf"};
constexpr const char* kPlotKeys[kJitterPlotKinds] = {
    "RJ_PJ_His", "DDJ_Hist", "TJ_Hist", "CompositeHist", "CompDDJ_Hist", "DDJvsBit", "BER_Bathtub"};

TCheckSwHandler* PlotsNode() { return dynamic_cast<TCheckSwHandler*>(NodeAt("Jitter:JPlots"_node)); }

TNizText* Strip() { return ScopeCRT ? &ScopeCRT->BottomText() : nullptr; }

TColorRef SourceColour() {
  const TTraceId source = State.JitterObj ? State.JitterObj->Source() : PatternSearchRun().Channel;
  return GetDisplaySourceRGB(source);
}

void SwitchOffJitter() { SetOnAt("Jitter:JitterOn"_node, false); }

// The lock must run with its clock measured: the engine reads the data rate from it.
// Without it the switch goes back and `tell` says why.
bool NoPatternSync(const std::function<void(const std::string&)>& tell) {
  if (PatternLockOn() && TriggerSettings().PatternClockRate > 0) return false;
  SwitchOffJitter();
  tell(GetLangStr("ToMkJitterMeas"));
  return true;
}

void JitterOnChanged(THandler& h) {
  const bool on = static_cast<TOnOffHandler&>(h).IsOn();
  if (on && RecallHoldsBack(h)) return;
  if (on && RefusedBesideProcedure(TProcedure::JitterAnalysis, SwitchOffJitter)) return;
  // Told as a refusal beside another procedure is: in a box at the screen, as a client's error.
  if (on && NoPatternSync(FailCommand)) return;
  SwitchJitterMeasurement(on);
}

// Disabled items cannot be chosen, not even by command.
bool DropDisabledItems(TCheckSwHandler& set) {
  const uint32_t disabled = set.GetMask() & set.GetDisabledMask();
  if (disabled == 0) return false;
  set.SetMaskByProgram(set.GetMask() & ~disabled);
  return true;
}

void JitterParamSetChanged(THandler& h) {
  auto& set = static_cast<TCheckSwHandler&>(h);
  if (DropDisabledItems(set)) return;
  const uint32_t mask = set.GetMask();
  for (int index = 0; index < kJitterResultCount; ++index) {
    const uint32_t bit = 1u << index;
    if ((mask & bit) && !(State.ParamMask & bit)) AddJitterResult(index, GetLangStr(kResultKeys[index]));
    if (!(mask & bit) && (State.ParamMask & bit)) RemoveJitterResult(index);
  }
  // While the analysis is off the strip shows the other analyses: the names come with
  // the first results.
  if (State.JitterObj) WriteJitterResultNames();
}

void JitterPlotSetChanged(THandler& h) {
  auto& set = static_cast<TCheckSwHandler&>(h);
  if (DropDisabledItems(set)) return;
  const uint32_t mask = set.GetMask();
  for (int kind = 0; kind < kJitterPlotKinds; ++kind) {
    if (mask & (1u << kind))
      JitterHooks.ShowJitterPlot(kind);
    else
      JitterHooks.FreeJitterPlot(kind);
  }
}

void JitterSamplingLevelChanged(THandler& h) {
  const uint8_t item = static_cast<TRadioSwHandler&>(h).GetIndex();
  if (THandler* percent = NodeAt("Jitter:PercAmpl"_node)) percent->SetDisabled(item != 0);
  if (THandler* level = NodeAt("Jitter:CustLevel"_node)) level->SetDisabled(item != 1);
}

void ShowJitterError(const std::string& text) { Life.Tell(TMessageKind::Error, text); }

// The engine goes and its settings come back.
void EndAnalysis() {
  State.JitterObj.reset();
  Life.End();
}

// An engine that cannot go on learns the changed pattern afresh, or ends as switching it
// off does and tells why: it never waits for an acquisition that cannot come.
void JitterStep() {
  if (!State.JitterObj) return;
  const TProcedureScope own(Life.Setup());
  State.JitterObj->Step();
  switch (State.JitterObj->Stopped()) {
    case TJ_Obj::TStop::None:
      break;
    case TJ_Obj::TStop::PatternChanged:
      EndAnalysis();  // gives the settings back before the new engine takes them
      SwitchJitterMeasurement(true);
      break;
    case TJ_Obj::TStop::EdgesOutOfReach:
    case TJ_Obj::TStop::MapOutOfReach: {
      const bool edges = State.JitterObj->Stopped() == TJ_Obj::TStop::EdgesOutOfReach;
      // Ended before its switch goes off: the switch is no setting it gives back.
      EndAnalysis();
      SetOnAt("Jitter:JitterOn"_node, false);
      ShowJitterError(GetLangStr(edges ? "JitterEdgesOutOfReach" : "JitterMapOutOfReach"));
      break;
    }
  }
}

// Ended by another (the autoscale, which switches its lock off), it starts again with its
// switch on, as the outcome of the life that ended (no undo step); without the lock its
// starter is told why.
void RestartJitterMeasurement() {
  if (NoPatternSync(ShowJitterError)) return;
  const TProcedureScope outcome(Life.Setup());
  SetOnAt("Jitter:JitterOn"_node, true);
}

}  // namespace

TJitterSettingsState& JitterSettings() { return State; }
TJ_Obj* JitterObj() { return State.JitterObj.get(); }

const char* JitterPlotKey(int kind) { return kPlotKeys[std::clamp(kind, 0, kJitterPlotKinds - 1)]; }

void RegisterJitterHandlers() {
  if (State.Registered) return;
  State.Registered = true;
  TSpider& root = *RootSpider;
  root.AddOnOff(false, "Jitter:JitterOn", JitterOnChanged);
  root.AddRadioSw(0, "Jitter:Source", "Ch1,Ch2");
  root.AddCheckSw(0, "Jitter:JParam",
                  "Total,PeriodSs,PeriodRms,Determin,DataDepend,Random,DutyCycleDist,InterSymbol",
                  JitterParamSetChanged, {}, 0x0F);
  root.AddRadioSw(0, "Jitter:Format", "None,Single,Dual,Quard");
  root.AddRadioSw(0, "Jitter:Unit", "Second,Interval");
  root.AddCheckSw(0, "Jitter:JPlots", "RJPJHist,DDJHist,TJHist,CompHist,CompDDJHist,DDJvsBit,BERBathtub",
                  JitterPlotSetChanged, {}, 1u << jpBERBathtub);
  root.AddRadioSw(0, "Jitter:SmplLvl", "AmplPerc, Level, Average", JitterSamplingLevelChanged);
  root.AddDoubleEdit({.Path = "Jitter:PercAmpl",
                      .Value = 50,
                      .Unit = "%",
                      .Min = 30,
                      .Mid = 50,
                      .Max = 70,
                      .CoarseRule = srQuantised,
                      .CoarseStep = 1,
                      .FineRule = srQuantised,
                      .FineStep = 0.1,
                      .Tolerance = 1e-3});
  auto* level = root.AddDoubleEdit({.Path = "Jitter:CustLevel",
                                    .Min = -1,
                                    .Mid = 0,
                                    .Max = 1,
                                    .CoarseRule = srQuantised,
                                    .CoarseStep = 0.01,
                                    .FineRule = srQuantised,
                                    .FineStep = 0.001,
                                    .Tolerance = 1e-4});
  level->SetDisabled(true);
}

void SwitchJitterMeasurement(bool on) {
  if (!on) {
    EndAnalysis();
    return;
  }
  if (State.JitterObj) return;
  // Its own restart on a changed pattern tells its starter.
  if (NoPatternSync(ShowJitterError)) return;
  if (!Life.Start()) return;
  Life.HoldSwitch(NodeAt("Jitter:JitterOn"_node), "OFF");
  // It learns from records of the lengths it sets, whatever they are now.
  Life.HoldGround(NodeAt("Acq:Ch1:RecLen"_node));
  Life.HoldGround(NodeAt("Acq:Ch2:RecLen"_node));
  Life.OnCancel = [] {
    EndAnalysis();
    // Its outcome, as its run's own: no undo step holds the switch going off.
    const TProcedureScope own(Life.Setup());
    SetOnAt("Jitter:JitterOn"_node, false);
  };
  // The engine switches the analyses that share the screen off as it starts.
  const TProcedureScope own(Life.Setup());
  State.JitterObj = std::make_unique<TJ_Obj>(PatternSearchRun().Channel,
                                             TJitterOutputs{JitterPhaseResults, ShowJitterError});
  State.NamesToRewrite = true;
  const uint32_t plots = CheckedJitterPlots();
  for (int kind = 0; kind < kJitterPlotKinds; ++kind)
    if (plots & (1u << kind)) JitterHooks.ShowJitterPlot(kind);
}

void AddJitterResult(int index, const std::string& name) {
  if (index < 0 || index >= kJitterResultCount) return;
  State.ParamMask |= 1u << index;
  if (static_cast<int>(State.JitterResults.size()) >= kJitterResultLines) return;
  State.JitterResults.push_back({name, static_cast<uint8_t>(index), UndefinedValue, {}});
  State.NamesToRewrite = true;
}

void RemoveJitterResult(int index) {
  if (index >= 0 && index < kJitterResultCount) State.ParamMask &= ~(1u << index);
  auto& list = State.JitterResults;
  const auto at = std::find_if(list.begin(), list.end(), [index](const auto& p) { return p.Index == index; });
  if (at == list.end()) {
    if (ForceNotify) return;
    throw EAssertion("Parameter is ABSENT");
  }
  list.erase(at);
  State.NamesToRewrite = true;
}

void WriteJitterResultNames() {
  State.NamesToRewrite = false;
  TNizText* strip = Strip();
  if (!strip) return;
  strip->Clear();
  const TColorRef colour = SourceColour();
  for (size_t n = 0; n < State.JitterResults.size(); ++n)
    strip->WriteLine(State.JitterResults[n].Name, TNizText::GetJitterCellRect(static_cast<int>(n), true), -1,
                     colour);
}

void JitterPhaseResults() {
  TJ_Obj* engine = JitterObj();
  if (!engine) return;
  if (!State.JitterResults.empty()) {
    if (State.NamesToRewrite) WriteJitterResultNames();
    TNizText* strip = Strip();
    const TColorRef colour = SourceColour();
    for (size_t n = 0; n < State.JitterResults.size(); ++n) {
      TParameterOfJtrMeas& p = State.JitterResults[n];
      engine->JitterResult(p.Index, p.Value, p.Unit);
      if (strip)
        strip->WriteLine(FloatToEngStr(vfEngineering, 4, false, p.Value, false) + p.Unit,
                         TNizText::GetJitterCellRect(static_cast<int>(n), false), -1, colour);
    }
  }
  JitterHooks.RedrawJitterPlots();
}

uint32_t CheckedJitterPlots() {
  const TCheckSwHandler* plots = PlotsNode();
  return plots ? plots->GetMask() : 0;
}

void JitterPlotHidden(int kind) {
  if (TCheckSwHandler* plots = PlotsNode(); plots && (plots->GetMask() & (1u << kind)))
    plots->SetButtonByProgram(kind, false);
}

void InstallJitter() {
  AcqHooks.JitterMeasurementExists.Set([] { return State.JitterObj != nullptr; });
  AcqHooks.JitterMeasurementStep.Set(JitterStep);
  AutoscaleHooks.RestartJitterAnalysis.Set(RestartJitterMeasurement);
  SetAnalysisSwitchOff(kJitterMenuId, [] {
    if (IsOnAt("Jitter:JitterOn"_node)) SetOnAt("Jitter:JitterOn"_node, false);
  });
}

}  // namespace norv
