#include "measure/limits/limit_testing.h"

#include <algorithm>
#include <bitset>
#include <cmath>
#include <limits>

#include "framework/language/language.h"
#include "framework/settings/choice_handlers.h"
#include "framework/settings/node_path.h"
#include "framework/settings/numeric_handlers.h"
#include "framework/settings/program_objects.h"
#include "framework/settings/settings_tree.h"
#include "framework/settings/step_rules.h"
#include "framework/settings/value_text.h"
#include "framework/text/dot_number.h"
#include "framework/text/text_case.h"
#include "framework/text/text_encoding.h"
#include "framework/traces/display_sources.h"
#include "framework/util/dialog_service.h"
#include "framework/util/errors.h"
#include "instrument/acquisition/acquisition_cycle.h"
#include "instrument/link/link_hooks.h"
#include "measure/meas_settings.h"
#include "measure/meas_state.h"

namespace norv {

TLimitHooks LimitHooks;

namespace {

TLimitState State;
const TProgramUnit StateUnit("limit tests", ResetLimitState);
const TProgramUnit HooksUnit("limit test hooks", [] { LimitHooks = {}; });

constexpr const char* kPassive = "LIMIT TEST FOR PARAMETER IS PASSIVE";
// Statistics-line columns of the tested and failure counts.
constexpr int kTestedColumn = 4;
constexpr int kFailColumn = 5;

uint32_t Saturated(uint32_t n) { return n == std::numeric_limits<uint32_t>::max() ? n : n + 1; }

TLimitTestNodes& Test(int n) { return State.Tests.at(static_cast<size_t>(n)); }
bool ActionSet(TLimitAction a) { return State.Action && (State.Action->GetMask() >> a & 1u) != 0; }
bool AnyTestActive() {
  return std::any_of(State.Tests.begin(), State.Tests.end(),
                     [](const TLimitTestNodes& t) { return IsOn(t.Activ); });
}

// --- the bottom strip ---

void WriteCount(int slot, int column, uint32_t count) {
  const TParameterOfMeas* p = MeasSlot(slot);
  if (p && MeasState.Global.Display == mdStatistic) WriteLimitCount(slot, column, count, p->Source);
}

// --- node follow-ups ---

void UpdateLimitRunUntilControls() {
  const bool any = AnyTestActive();
  const auto until = GetIndex(State.RunUntil);
  State.Failures->SetDisabled(!any || until != lruFailures);
  State.NWfms->SetDisabled(!any || until != lruWfm);
}

void UpdateFileControls() {
  const bool save = AnyTestActive() && ActionSet(laSave);
  State.FileFormat->SetDisabled(!save);
  State.FileName->SetDisabled(!save);
}

void LimitCenterModeChanged(int n) {
  TLimitTestNodes& t = Test(n);
  const bool center = IsOn(t.Activ) && GetIndex(t.Mode) == lmCenter;
  t.CenterVal->SetDisabled(!center || GetIndex(t.CenterMode) != lcUserDef);
}

void LimitDeltaChanged(int n) {
  TLimitTestNodes& t = Test(n);
  const bool center = IsOn(t.Activ) && GetIndex(t.Mode) == lmCenter;
  const auto delta = GetIndex(t.Delta);
  t.StdDev->SetDisabled(!center || delta != ldStdDev);
  t.UserDef->SetDisabled(!center || delta != ldUserDef);
  t.UserPerc->SetDisabled(!center || delta != ldUserPerc);
}

void LimitModeChanged(int n) {
  TLimitTestNodes& t = Test(n);
  const bool active = IsOn(t.Activ);
  const bool limit = GetIndex(t.Mode) == lmLimit;
  t.UpLimit->SetDisabled(!active || !limit);
  t.LowLimit->SetDisabled(!active || !limit);
  t.CenterMode->SetDisabled(!active || limit);
  t.Delta->SetDisabled(!active || limit);
  LimitCenterModeChanged(n);
  LimitDeltaChanged(n);
}

// The upper limit stays a fine step above the lower one. Until statistics range the editors
// their fine step knows nothing of the measurement: limits closer than it (nanoseconds) would
// each block the other for good, so they only stay in order.
void LimitBoundChanged(int n) {
  TLimitTestNodes& t = Test(n);
  const double step = t.Ranged ? t.LowLimit->GetFineStep() : 0;
  t.UpLimit->SetMin(t.LowLimit->Value() + step);
  t.LowLimit->SetMax(t.UpLimit->Value() - step);
}

void SetMeasDisplayStatistic() {
  if (MeasState.Global.Display == mdStatistic) return;
  if (auto* display =
          dynamic_cast<TRadioSwHandler*>(RootSpider ? RootSpider->FindHandler("Meas:Display"_node) : nullptr))
    display->SetIndexByProgram(mdStatistic);
  else
    MeasState.Global.Display = mdStatistic;
  LimitHooks.ShowMeasurementLines();
}

void LimitActivChanged(int n) {
  TLimitTestNodes& t = Test(n);
  const bool on = IsOn(t.Activ);
  if (on) SetMeasDisplayStatistic();
  const bool any = AnyTestActive();
  if (!any && IsOn(State.TestOn)) State.TestOn->SetOnByProgram(false);
  for (THandler* node :
       std::initializer_list<THandler*>{State.TestOn, State.RunUntil, State.Action, State.If})
    node->SetDisabled(!any);
  UpdateLimitRunUntilControls();
  UpdateFileControls();
  t.Mode->SetDisabled(!on);
  t.FailWhen->SetDisabled(!on);
  t.NotFound->SetDisabled(!on);
  LimitModeChanged(n);
  if (!on) return;
  ReconfigureLimitEditors(n);
  if (const TParameterOfMeas* p = MeasSlot(n)) {
    const auto colour = static_cast<uint8_t>(p->Source);
    for (TDoubleEditHandler* e : {t.UpLimit, t.LowLimit, t.CenterVal, t.StdDev, t.UserDef, t.UserPerc})
      e->SetColorSource(colour);
  }
}

void LimitTestOnChanged(const THandler& h) {
  if (IsOn(State.TestOn)) {
    for (int i = 0; i < kMeasStatSlotCount; ++i) {
      TParameterOfMeas* p = MeasSlot(i);
      if (!p) continue;
      SetLimitMark(*p, 1);
      p->TestedCount = 0;
      p->FailCount = 0;
    }
    State.TestedCount = 0;
    State.FailCount = 0;
    // The header shows the tested and failure columns while the test is on.
    LimitHooks.ShowMeasurementLines();
    return;
  }
  // Switched off by the user the lines turn back at once; a test the program ends (run
  // until, no active test left) leaves its final counts until the next run.
  if (h.GetWhoChangedRaw() != wcvProgram) RestoreMeasurementLines();
}

void LimitActionChanged(THandler& h) {
  TCheckSwHandler& action = *State.Action;
  if (action.GetLastButton() == laSave && action.GetLastState()) {
    if (h.GetWhoChangedRaw() == wcvSwitcher) {
      const std::filesystem::path stem = LimitFileStem();
      const auto chosen = Dialogs().ChooseFile(
          {.Save = true,
           .Title = GetLangStr("SaveWaveformAs"),
           .Filter =
               "Binary format (*.wfm)|*.wfm|Verbose format (*.txt)|*.txt|Y values formats (*.txty)|*.txty",
           .FilterIndex = GetIndex(State.FileFormat),
           .FileName = stem.filename().string(),
           .Folder = stem.parent_path().string()});
      if (chosen) {
        std::filesystem::path name(chosen->FileName);
        State.Folder = name.has_parent_path() ? name.parent_path() : std::filesystem::path(chosen->Folder);
        State.FileStem = (State.Folder / name.filename()).replace_extension().string();
        State.SaveCounter = 0;
        State.FileFormat->SetIndexByProgram(static_cast<uint8_t>(std::clamp(chosen->FilterIndex, 0, 2)));
        LinkHooks.SystemBeep();
      } else {
        action.SetButtonByProgram(laSave, false);
      }
    } else if (State.FileStem.empty()) {
      State.FileStem = LimitFileStem();
    }
  }
  UpdateFileControls();
}

// --- remote queries ---

void ResReply(int n, const std::string& rawParam, bool isQuery, std::string& reply) {
  if (!isQuery) return;
  const std::string param(TrimBlanks(rawParam));
  if (HeaderOn()) reply += ":" + EchoedInput(param) + " ";
  const TParameterOfMeas* p = MeasSlot(n);
  if (p && n < LimitSlotCount() && LimitTestActive(n) && LimitTestOn()) {
    reply += SlotResultText(*p, param);
  } else {
    reply += kPassive;
  }
}

// --- registration ---

// A factor typed with more digits than its edit shows keeps the digits shown, so the band
// is the one on the screen and a query answers what the page shows.
void KeepShownDigits(double& value, TEditHandler& edit) {
  if (const auto shown =
          ReadEngineeringNumber(FloatToEngStr(edit.GetFormatMode(), edit.GetDigits(), false, value, true)))
    value = *shown;
}

TDoubleEditHandler* AddLimitEdit(const std::string& path, double value, double min, double max, double fine,
                                 double coarse, double tolerance, uint8_t digits = 5,
                                 std::string_view unit = {}, double mid = 0, THandlerEvent onChange = {}) {
  // The wide bounds keep every digit typed; the three-digit factors what they show.
  TEditBeforeSet beforeSet = digits <= 3 ? TEditBeforeSet(KeepShownDigits) : TEditBeforeSet();
  return RootSpider->AddDoubleEdit({.Path = path,
                                    .Value = value,
                                    .Unit = unit,
                                    .Digits = digits,
                                    .Min = min,
                                    .Mid = mid,
                                    .Max = max,
                                    .CoarseRule = srLinear,
                                    .CoarseStep = coarse,
                                    .FineRule = srLinear,
                                    .FineStep = fine,
                                    .Tolerance = tolerance,
                                    .OnChange = std::move(onChange),
                                    .OnBeforeSet = std::move(beforeSet)});
}

void RegisterTest(int n) {
  TSpider& root = *RootSpider;
  TLimitTestNodes& t = Test(n);
  const std::string prefix = Format_Dot("Limit%d:", n + 1);
  const auto path = [&](const char* key) { return prefix + key; };
  t.Activ = root.AddOnOff(false, path("Activ"), [n](THandler&) { LimitActivChanged(n); });
  t.Mode = root.AddRadioSw(lmCenter, path("Mode"), "Center,Limit", [n](THandler&) { LimitModeChanged(n); });
  const auto bound = [n](THandler&) { LimitBoundChanged(n); };
  // As fine as the centre's: before statistics range them they hold any measurement's value.
  t.UpLimit =
      AddLimitEdit(path("UpLimit"), UndefinedValue, UndefinedValue, 1e32, 0.1, 1.0, 1e-35, 5, {}, 0, bound);
  t.LowLimit =
      AddLimitEdit(path("LowLimit"), UndefinedValue, UndefinedValue, 1e32, 0.1, 1.0, 1e-35, 5, {}, 0, bound);
  t.CenterMode = root.AddRadioSw(lcCurrMean, path("CenterMode"), "CurrMean,UserDef",
                                 [n](THandler&) { LimitCenterModeChanged(n); });
  t.CenterVal = AddLimitEdit(path("CenterVal"), 0, -1e32, 1e32, 0.1, 1.0, 1e-35);
  t.Delta = root.AddRadioSw(ldStdDev, path("Delta"), "StdDev,UserDef,UserPerc",
                            [n](THandler&) { LimitDeltaChanged(n); });
  t.StdDev = AddLimitEdit(path("StdDev"), 3, 0.1, 100, 0.05, 0.5, 0.01, 3, "StdDev", 3);
  t.UserDef = AddLimitEdit(path("UserDef"), 0, -1e32, 1e32, 0.1, 1.0, 1e-30);
  t.UserPerc = AddLimitEdit(path("UserPerc"), 20, 0.01, 90, 0.01, 0.5, 0.005, 3, "%", 10);
  // Their unit is the measurement's, known to a start only once statistics range them.
  for (TDoubleEditHandler* e : {t.UpLimit, t.LowLimit, t.CenterVal, t.UserDef}) e->SetUnitFromSetup(true);
  t.FailWhen = root.AddRadioSw(lfwOutside, path("FailWhen"), "Outside,Inside,Always");
  t.NotFound = root.AddRadioSw(lnfIgnore, path("NotFound"), "Ignore,Fail,Pass");
  t.Res = root.AddGpibString(path("Res"), [n](const std::string& param, bool isQuery, uint8_t,
                                              std::string& reply) { ResReply(n, param, isQuery, reply); });
}

}  // namespace

TLimitState& LimitSettings() { return State; }
void ResetLimitState() { State = {}; }

bool LimitTestOn() { return IsOn(State.TestOn); }
bool LimitTestActive(int test) { return test >= 0 && test < kLimitTestCount && IsOn(Test(test).Activ); }

int LimitSlotCount() {
  if (MeasState.Global.Display == mdOff) return 0;
  return std::clamp<int>(MeasState.MeasParamCount, 0, kLimitTestCount);
}

int LimitTestOfHandler(const THandler& handler) {
  for (int n = 0; n < kLimitTestCount; ++n) {
    const TLimitTestNodes& t = Test(n);
    for (const THandler* node : std::initializer_list<const THandler*>{
             t.Activ, t.Mode, t.UpLimit, t.LowLimit, t.CenterMode, t.CenterVal, t.Delta, t.StdDev, t.UserDef,
             t.UserPerc, t.FailWhen, t.NotFound, t.Res})
      if (node == &handler) return n;
  }
  throw EAssertion("UNKNOWN Handler");
}

TLimitBand LimitBand(int test) {
  const TLimitTestNodes& t = Test(test);
  if (GetIndex(t.Mode) == lmLimit) return {t.LowLimit->Value(), t.UpLimit->Value()};
  const TParameterOfMeas* p = MeasSlot(test);
  const TStat* stats = p && p->Statistics && p->Statistics->Count() > 0 ? p->Statistics.get() : nullptr;
  const double centre = GetIndex(t.CenterMode) == lcCurrMean && stats ? stats->Mean() : t.CenterVal->Value();
  double delta = 0;
  switch (GetIndex(t.Delta)) {
    case ldStdDev:
      delta = t.StdDev->Value() * (stats ? stats->StdDev() : 0);
      break;
    case ldUserDef:
      delta = t.UserDef->Value();
      break;
    default:
      delta = std::fabs(centre) * t.UserPerc->Value() / 100;
      break;
  }
  return {centre - delta, centre + delta};
}

TLimitResult JudgeLimitValue(int test, double value, const TLimitBand& band) {
  const TLimitTestNodes& t = Test(test);
  const auto failWhen = GetIndex(t.FailWhen);
  if (failWhen == lfwAlways) return TLimitResult::Fail;
  if (IsUndefined(value)) {
    switch (GetIndex(t.NotFound)) {
      case lnfFail:
        return TLimitResult::Fail;
      case lnfPass:
        return TLimitResult::Pass;
      default:
        return TLimitResult::Ignored;
    }
  }
  const bool inside = band.Low <= value && value <= band.High;
  return inside != (failWhen == lfwInside) ? TLimitResult::Pass : TLimitResult::Fail;
}

void RunLimitTest() {
  // A procedure's acquisitions are not the user's run's: neither counted, saved nor stopped.
  if (!LimitTestOn() || ProcedureRunning()) return;
  State.TestedCount = Saturated(State.TestedCount);
  const auto condition = GetIndex(State.If);
  bool trigger = condition == liAllPass || condition == liAllFail;
  bool judged = false;
  std::bitset<kSignalObjCount> toSave;
  const auto save = [&](const TParameterOfMeas& p) {
    if (IsRecordTrace(p.Source)) toSave.set(TraceIndex(p.Source));
  };
  const int slots = LimitSlotCount();
  for (int i = 0; i < slots; ++i) {
    TParameterOfMeas* p = MeasSlot(i);
    // A slot that has not measured yet leaves the others to be judged.
    if (!p || !p->Statistics || !LimitTestActive(i)) continue;
    p->TestedCount = Saturated(p->TestedCount);
    WriteCount(i, kTestedColumn, p->TestedCount);
    if (p->TestedCount == 1) WriteCount(i, kFailColumn, p->FailCount);
    const TLimitResult result = JudgeLimitValue(i, p->Value, LimitBand(i));
    if (result == TLimitResult::Ignored) continue;
    judged = true;
    if (result == TLimitResult::Fail) {
      p->FailCount = Saturated(p->FailCount);
      State.FailCount = Saturated(State.FailCount);
      if (condition == liAnyFail || condition == liAllFail) save(*p);
      if (condition == liAllPass) trigger = false;
      if (condition == liAnyFail) trigger = true;
      WriteCount(i, kFailColumn, p->FailCount);
    } else {
      if (condition == liAllFail) trigger = false;
      if (condition == liAnyPass) trigger = true;
      if (condition == liAllPass || condition == liAnyPass) save(*p);
    }
  }
  // "All" of nothing judged is no reason to act.
  if (trigger && judged) {
    if (ActionSet(laBeep)) LinkHooks.SystemBeep();
    if (ActionSet(laStop)) StopRunAndSingle();
    if (ActionSet(laSave))
      for (int s = 0; s < kSignalObjCount; ++s)
        if (toSave.test(static_cast<size_t>(s))) LimitSaveWaveform(static_cast<TTraceId>(s));
  }
  const auto until = GetIndex(State.RunUntil);
  if ((until == lruWfm && static_cast<uint32_t>(State.NWfms->Value()) <= State.TestedCount) ||
      (until == lruFailures && static_cast<uint32_t>(State.Failures->Value()) <= State.FailCount)) {
    StopRunAndSingle();
    State.TestOn->SetOnByProgram(false);
  }
}

void UpdateLimitTestSlots() {
  const int n = LimitSlotCount();
  uint32_t disabledItems = 0;
  for (int i = n; i < kLimitTestCount; ++i) disabledItems |= 1u << i;
  State.NPar->SetDisabledMask(disabledItems);
  State.NPar->SetDisabled(n == 0);
  if (n > 0 && GetIndex(State.NPar) > n - 1) State.NPar->SetIndexByProgram(static_cast<uint8_t>(n - 1));
  for (int i = 0; i < kLimitTestCount; ++i) {
    if (i < n && LimitTestActive(i)) ReconfigureLimitEditors(i);
    Test(i).Activ->SetDisabled(i >= n);
  }
}

void CopyLimitSettings(int from, int to) {
  const TLimitTestNodes& a = Test(from);
  TLimitTestNodes& b = Test(to);
  b.Activ->SetOnByProgram(IsOn(a.Activ));
  for (auto member : {&TLimitTestNodes::UpLimit, &TLimitTestNodes::LowLimit, &TLimitTestNodes::CenterVal,
                      &TLimitTestNodes::StdDev, &TLimitTestNodes::UserDef, &TLimitTestNodes::UserPerc}) {
    TDoubleEditHandler& target = *(b.*member);
    const TDoubleEditHandler& source = *(a.*member);
    // The limits of the other editor must not clamp the copy.
    target.SetMin(std::min(target.GetMin(), source.Value()));
    target.SetMax(std::max(target.GetMax(), source.Value()));
    target.SetValueByProgram(source.Value());
  }
  for (auto member : {&TLimitTestNodes::Mode, &TLimitTestNodes::CenterMode, &TLimitTestNodes::Delta,
                      &TLimitTestNodes::FailWhen, &TLimitTestNodes::NotFound})
    (b.*member)->SetIndexByProgram(GetIndex(a.*member));
}

void ReconfigureLimitEditors(int slot) {
  const TParameterOfMeas* p = MeasSlot(slot);
  if (!p || slot >= kLimitTestCount || !p->Statistics || p->Statistics->Count() == 0) return;
  TLimitTestNodes& t = Test(slot);
  const bool neverSet = t.UpLimit->Value() == UndefinedValue;
  const TStat& stats = *p->Statistics;
  double m = stats.Mean();
  double s = stats.Count() > 1 ? stats.StdDev() : 0;
  if (std::fabs(m) + std::fabs(s) < 1e-32) m = 1.0;
  s = std::max(s, std::fabs(m) * 0.001);
  double fine = CorrectNewVal1_2_5(s / 4);
  const double span = CorrectNewVal1_2_5((std::fabs(m) + 3 * s) * 10);
  double min = -span, max = span;
  switch (MeasRangeKind(*p)) {
    case 1:
      min = span / 100;
      break;
    case 2:
      min = 0;
      max = 100;
      break;
    default:
      break;
  }
  TStepRule coarseRule = srLinear;
  double coarse = fine * 10;
  const TMeasEntry* entry = FindMeasEntry(p->Group, p->Index);
  if (entry && entry->Unit == TMeasUnit::DB) {
    min = -100;
    max = 100;
    coarseRule = srDb;
    coarse = 1;
  } else if (entry && entry->Unit == TMeasUnit::Degree) {
    fine = std::max(fine, 0.1);
    coarse = fine * 10;
  } else if (p->Group == mgTime && p->Index == tmCycles) {
    min = 0;
    fine = coarse = 1;
  }
  const std::string unit = MeasUnitText(*p);
  for (TDoubleEditHandler* e : {t.UpLimit, t.LowLimit, t.CenterVal})
    e->Reconfigure(unit, vfEngineering, min, m, max, coarseRule, coarse, srLinear, fine, {}, {});
  const double delta = CorrectNewVal1_2_5(10 * 3 * s);
  t.UserDef->Reconfigure(unit, vfEngineering, 0, 3 * s, delta, srLinear, fine * 10, srLinear, fine, {}, {});
  if (neverSet) {
    t.UpLimit->SetValueByProgram(m + 3 * s);
    t.LowLimit->SetValueByProgram(m - 3 * s);
    t.CenterVal->SetValueByProgram(m);
    t.UserDef->SetValueByProgram(3 * s);
  }
  t.Ranged = true;
  LimitBoundChanged(slot);
}

void RegisterLimitHandlers() {
  TSpider& root = *RootSpider;
  State.TestedCount = State.FailCount = 0;
  State.NPar = root.AddRadioSw(0, "Shadow:NPar", "1,2,3,4");
  State.NPar->SetInternal(true);
  State.TestOn = root.AddOnOff(false, "Limit:TestOn", LimitTestOnChanged);
  State.RunUntil = root.AddRadioSw(lruStopBtn, "Limit:RunUntil", "StopBtn,Failur,Wfm",
                                   [](THandler&) { UpdateLimitRunUntilControls(); });
  const auto count = [&](const char* path, int32_t value, double mid, double max, const std::string& unit) {
    return root.AddIntEdit({.Path = path,
                            .Value = value,
                            .Unit = unit,
                            .Min = 1,
                            .Mid = mid,
                            .Max = max,
                            .CoarseRule = sr1_2_5,
                            .CoarseStep = 1,
                            .FineRule = srLinear,
                            .FineStep = 1});
  };
  State.Failures = count("Limit:Failures", 10, 10, 10000, GetLangStr("Lowfailures"));
  State.NWfms = count("Limit:NWfms", 200, 200, 1000000, GetLangStr("wfm"));
  State.Action = root.AddCheckSw(0, "Limit:Action", "Beep,Save,Stop", LimitActionChanged);
  State.If = root.AddRadioSw(liAnyFail, "Limit:If", "AnyFail,AllPass,AllFail,AnyPass");
  State.FileFormat = root.AddRadioSw(lfBinary, "Limit:FileFormat", "Binary,Verbose,YOnly");
  State.FileName = root.AddGpibString("Limit:FileName", LimitFileNameCommand);
  for (int n = 0; n < kLimitTestCount; ++n) RegisterTest(n);
  for (int n = 0; n < kLimitTestCount; ++n) LimitActivChanged(n);
}

void ApplyLimitSettings() {
  UpdateLimitTestSlots();
  for (int n = 0; n < kLimitTestCount; ++n) LimitActivChanged(n);
}

void ResetLimitTest(int test) {
  TLimitTestNodes& t = Test(test);
  if (!t.Activ) return;
  t.Activ->SetOnByProgram(false);
  t.Mode->SetIndexByProgram(lmCenter);
  // The lower limit first: the upper one may not go below it.
  t.LowLimit->SetMin(UndefinedValue);
  t.LowLimit->SetValueByProgram(UndefinedValue);
  t.UpLimit->SetMin(UndefinedValue);
  t.UpLimit->SetValueByProgram(UndefinedValue);
  t.CenterMode->SetIndexByProgram(lcCurrMean);
  t.Delta->SetIndexByProgram(ldStdDev);
  t.StdDev->SetValueByProgram(3.0);
  t.UserDef->SetValueByProgram(0);
  t.UserPerc->SetValueByProgram(20.0);
  t.FailWhen->SetIndexByProgram(lfwOutside);
  t.NotFound->SetIndexByProgram(lnfIgnore);
}

void LimitSlotRemoved(int slot) {
  if (!State.TestOn) return;
  // Slot n now holds what was slot n + 1; a test whose slot came from beyond the tested
  // four, or went, starts afresh.
  const int count = MeasState.MeasParamCount;
  for (int n = std::max(slot, 0); n < kLimitTestCount; ++n) {
    if (n + 1 < kLimitTestCount && n < count)
      CopyLimitSettings(n + 1, n);
    else
      ResetLimitTest(n);
  }
  UpdateLimitTestSlots();
}

void RestoreMeasurementLines() {
  if (LimitTestOn()) return;
  bool marked = false;
  for (int i = 0; i < kMeasStatSlotCount; ++i) {
    TParameterOfMeas* p = MeasSlot(i);
    if (!p || !p->LimitMark) continue;
    marked = true;
    SetLimitMark(*p, 0);
  }
  if (marked) LimitHooks.ShowMeasurementLines();
}

void SwitchOffLimitTests() {
  if (!State.TestOn) return;
  State.TestOn->SetOnByProgram(false);
  for (int n = 0; n < kLimitTestCount; ++n) Test(n).Activ->SetOnByProgram(false);
}

void InstallLimitTests() {
  MeasSettingsHooks.LimitTestOn.Set(LimitTestOn);
  MeasSettingsHooks.LimitActive.Set(LimitTestActive);
  MeasSettingsHooks.ResetLimitTest.Set(ResetLimitTest);
  MeasSettingsHooks.LimitSlotRemoved.Set(LimitSlotRemoved);
  MeasSettingsHooks.SwitchOffLimitTests.Set(SwitchOffLimitTests);
  LimitHooks.ShowMeasurementLines.Set(ShowMeasurementLines);
  MeasHooks.RunLimitTest.Set(RunLimitTest);
  MeasHooks.ResultsBecameValid.Set([](int slot) {
    if (LimitTestActive(slot)) ReconfigureLimitEditors(slot);
  });
}

}  // namespace norv
