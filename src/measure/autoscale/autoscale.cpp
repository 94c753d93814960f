#include "measure/autoscale/autoscale.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <string>
#include <utility>

#include "display/scope_crt.h"
#include "framework/language/language.h"
#include "framework/settings/node_access.h"
#include "framework/settings/program_objects.h"
#include "framework/settings/settings_tree.h"
#include "framework/settings/step_rules.h"
#include "framework/settings/undo_ring.h"
#include "framework/util/close_signal.h"
#include "framework/util/dialog_service.h"
#include "framework/util/errors.h"
#include "instrument/acquisition/acquisition_cycle.h"
#include "instrument/acquisition/acquisition_hooks.h"
#include "instrument/acquisition/acquisition_state.h"
#include "instrument/acquisition/procedures.h"
#include "instrument/link/link_hooks.h"
#include "instrument/link/link_state.h"
#include "instrument/link/sample_stream.h"
#include "instrument/record/signal_obj.h"
#include "instrument/settings/settings_hooks.h"
#include "instrument/settings/timebase_settings.h"
#include "instrument/settings/trigger_level_search.h"
#include "instrument/settings/trigger_settings.h"
#include "instrument/simulator/simulator.h"
#include "measure/hist/hist_objects.h"
#include "shell/program_shell.h"
#include "shell/shell_state.h"

namespace norv {

TAutoscaleHooks AutoscaleHooks;

namespace {

TAutoscaleRunState State;
// What it sets: one undo step after a success, given back after a failure or a cancel.
TProcedureLife Life(TProcedure::Autoscale);
const TProgramUnit AutoscaleUnit("autoscale", [] {
  Life.Abandon();
  State = {};
  AutoscaleHooks = {};
});

// The kind sets of the "*Autoscale" items.
constexpr uint8_t kKindMasks[] = {31, 7, 8, 16};
constexpr int kSamplesPerLook = 1024;
constexpr double kStartScale = 0.5;        // V/div
constexpr double kSmallestScale = 0.002;   // V/div
constexpr double kFinestLookScale = 0.01;  // V/div: no closer look below it
constexpr double kLargestZoom = 8;
constexpr double kFirstPeriodScale = 5e-11;
constexpr double kLevelFinderLimit = 1e-7;  // s/div

// A failure of the phase machine, raised inside a step and caught by it.
struct TAutoscaleFailure {
  const char* Key;
};
[[noreturn]] void Fail(const char* key) { throw TAutoscaleFailure{key}; }

// Settings are reached by path (node_access.h): the program may run without some units.

std::string Ch(int code) { return code == 2 ? "Ch1" : "Ch2"; }
int Slot(int code) { return code == 2 ? 0 : 1; }
bool ChannelShown(int code) { return IsOnAt(Ch(code) + ":Display"); }
const TSignalObj& ChannelRecord(int code) { return SignalObjs()[code == 2 ? TTraceId::Ch1 : TTraceId::Ch2]; }

double RoundTo(double value, double step) { return std::round(value / step) * step; }

void SetProgress(int position) {
  State.Progress = std::clamp(position, 0, 100);
  AutoscaleHooks.ShowProgress(State.Progress);
}

void SetSimMode(bool on) { ProgramSimulator().SimSetAutoscaleMode(on); }
bool SimMode() { return ProgramSimulator().SimAutoscaleMode(); }

// One acquisition after the other, each ending in a phase step.
void SetSingleOn() {
  StopRun();
  SingleFlag = true;
  AcqHooks.NotifyStopSingleSwitchers();
}

void RestoreTriggerSource() { SetIndexAt("Trig:Source", State.SavedTrigSource); }

// --- start ------------------------------------------------------------------------------

// What the start changes outside the set-up's own restore: given back in every case.
void SaveAndQuietAnalyses() {
  State.SavedPatternLock = IndexAt("Trig:PatternLockMode");
  State.SavedMeasDisplay = IndexAt("Meas:Display");
  SetIndexAt("Trig:PatternLockMode", 0);
  SetIndexAt("Meas:Display", 0);
  for (int code : {2, 3}) {
    const std::string mode = "Acq:" + Ch(code) + ":Mode";
    State.SavedAcqMode[Slot(code)] = IndexAt(mode);
    SetIndexAt(mode, 0);
  }
  State.SavedHistWeight = FullHist().Weight();
  FullHist().SetWeight(0);
}

void InitAutoscale() {
  for (int code : {2, 3}) {
    const int s = Slot(code);
    State.SavedAttenUnit[s] = IndexAt(Ch(code) + ":Atten:Unit");
    SetIndexAt(Ch(code) + ":Atten:Unit", 0);
  }
  State.SavedTrigSource = IndexAt("Trig:Source");
  State.SavedTrigMode = IndexAt("Trig:Mode");
  SetIndexAt("TB:Units", 0);
  SetTimeBaseScale(false, 5e-7);
  SetIndexAt("TB:Mode", 0);
  SetValueAt("Trig:Holdoff", 2e-5);
  for (int code : {2, 3}) {
    const int s = Slot(code);
    SetIndexAt("Acq:" + Ch(code) + ":Mode", 0);
    State.SavedStyle[s] = IndexAt("Displ:" + Ch(code) + ":Style");
    SetIndexAt("Displ:" + Ch(code) + ":Style", 0);
    SetValueAt("Acq:" + Ch(code) + ":RecLen", 1024);
  }
  const bool both = ChannelShown(2) && ChannelShown(3);
  SetIndexAt("Displ:Format", both ? 1 : 0);
  if (both) {
    SetIndexAt("Displ:Screen2:Ch1", 0);
    SetIndexAt("Displ:Screen2:Ch2", 1);
  }
  for (int code : {2, 3}) {
    if (!ChannelShown(code)) continue;
    State.SavedScale[Slot(code)] = ValueAt(Ch(code) + ":Scale");
    State.SavedOffset[Slot(code)] = ValueAt(Ch(code) + ":Offset");
    SetValueAt(Ch(code) + ":Scale", kStartScale);
    SetValueAt(Ch(code) + ":Offset", 0.0);
  }
  State.TriggerChannel = ChannelShown(2) ? 2 : 3;
  SetSimMode(true);
  SetTriggerIntClockDefault();
  SetSingleOn();
  State.Done = {};
  State.Flat = {};
  FullHist().Clear();
  State.CyclesInPhase = 0;
  State.AutoscaleState = kAutoscaleAmplitude;
}

// --- phase 1: amplitude -----------------------------------------------------------------

// The spread of the channel's record on its screen; false with too few points on screen.
bool MeasureAmplitude(int code, double& amplitude, double& centre) {
  const TSignalObj& record = ChannelRecord(code);
  TAxisHist& hist = *State.ChannelHist[Slot(code)];
  hist.Clear();
  hist.StartWaveform(kSamplesPerLook, record.GetX0(), record.GetDX(), record.GetVertOffset(),
                     record.GetVertScale());
  const int n = std::min<int>(record.GetRecLen(), kSamplesPerLook);
  for (int i = 0; i < n; ++i) hist.AddSample(i, record.GetY(i));
  hist.CalcStatistics(false);
  if (hist.TotalHits() < 10) return false;
  amplitude = hist.MaxValue() - hist.MinValue();
  centre = hist.MiddleValue();
  return true;
}

void ScaleChannel(int code) {
  double amplitude = 0, centre = 0;
  if (!MeasureAmplitude(code, amplitude, centre)) return;
  const std::string scalePath = Ch(code) + ":Scale";
  const double voltsPerDiv = ChannelRecord(code).GetVertScale();
  const double scale = ValueAt(scalePath);
  const double offset = -RoundTo(centre, 1e-3);
  // Every point in one bin: a signal narrower than a bin looks as flat as no signal, so
  // the channel is looked at closer first. Flat at the finest look, it has no spread to
  // divide by and keeps the scale and offset it had.
  const bool flat = !(amplitude > 0);
  double newScale;
  if (amplitude < voltsPerDiv && scale > kFinestLookScale) {
    const double factor = flat ? kLargestZoom : std::min(6 * voltsPerDiv / amplitude, kLargestZoom);
    newScale = RoundTo(scale / factor, 1.0 / 500);
    if (newScale < kSmallestScale) Fail("AmplitudeVerySmall");
    SetProgress(State.Progress + 5);
  } else if (flat) {
    SetValueAt(scalePath, State.SavedScale[Slot(code)]);
    SetValueAt(Ch(code) + ":Offset", State.SavedOffset[Slot(code)]);
    State.Done[Slot(code)] = true;
    State.Flat[Slot(code)] = true;
    return;
  } else {
    newScale = std::min(RoundTo(amplitude / 6, 1e-4), kStartScale);
    if (newScale < kSmallestScale) Fail("AmplitudeVerySmall");
    State.Done[Slot(code)] = true;
  }
  SetValueAt(scalePath, newScale);
  SetValueAt(Ch(code) + ":Offset", offset);
}

void AutoscaleAmplitude() {
  for (int code : {2, 3}) {
    if (!ChannelShown(code)) State.Done[Slot(code)] = true;
    if (!State.Done[Slot(code)]) ScaleChannel(code);
  }
  if (State.Done[0] && State.Done[1]) {
    // A flat channel is left as it was; without a channel that has a signal there is
    // nothing to scale or trigger on.
    const bool signal1 = ChannelShown(2) && !State.Flat[0];
    const bool signal2 = ChannelShown(3) && !State.Flat[1];
    if (!signal1 && !signal2) Fail("AmplitudeVerySmall");
    if (signal1 && signal2)
      State.TriggerChannel = ValueAt("Ch1:Scale") > ValueAt("Ch2:Scale") ? 2 : 3;
    else
      State.TriggerChannel = signal1 ? 2 : 3;
    SetProgress(25);
    RestoreTriggerSource();
    SetSimMode(false);
    State.AutoscaleState = kAutoscaleTrigger;
    State.CyclesInPhase = 0;
    return;
  }
  if (++State.CyclesInPhase > kAmplitudeCycleLimit) Fail("AmplitudeVerySmall");
  if (SimMode()) ScaleTriggerIntRate();
}

// --- phase 2: trigger level -------------------------------------------------------------

void AutoscaleTrigger() {
  double level = 0;
  if (!TriggerLevelSearch(level)) Fail("TriggerNotFound");
  SetProgress(50);
  State.AutoscaleState = kAutoscalePeriod;
  State.PeriodSubStep = 0;
  State.RequiredWaveforms = 16;
  State.CyclesInPhase = 0;
  SetSimMode(true);
  SetTriggerIntClockDefault();
  FullHist().Clear();
  SetSingleOn();
}

// --- phase 3: period and time base ------------------------------------------------------

bool KindIsEye() { return (State.KindMask & kKindUniform) != 0; }

// A look that found no two clean edges: the screen widens by 5 (nothing periodic seen)
// or by 2, as far as the time base goes.
void WidenTimeBase(int result) {
  State.TestScale *= result == 0 ? 5 : 2;
  if (State.TestScale > TimeBaseSettings().ScaleAMax) Fail("PeriodNotFound");
  SetTimeBaseScale(false, State.TestScale);
}

void ApplyFinding() {
  const TLevelFinding& f = State.Finding;
  const bool pattern = (State.KindMask & (kKindUniform | kKindRz)) != 0;
  const double divisions = pattern ? 4 : 6;
  const double perScreen = pattern ? 6 : 3;
  const std::string ch = Ch(State.TriggerChannel);
  const double scale = RoundTo((f.HighLevel - f.LowLevel) / divisions, 1e-3);
  if (scale < kSmallestScale) Fail("AmplitudeVerySmall");
  SetValueAt(ch + ":Scale", scale);
  SetValueAt(ch + ":Offset", -RoundTo((f.HighLevel + f.LowLevel) / 2, 1e-3));
  const double scaleB = std::max(f.Period / perScreen, 1e-11);
  const double scaleA = CorrectNewVal1_2_5(4 * scaleB);
  SetValueAt("TB:ScaleA", scaleA);
  SetValueAt("TB:ScaleB", scaleB);
  SetIndexAt("TB:Mode", 2);
  double edge = f.FirstEdgeTime;
  if (edge < 2 * scaleB) edge += f.Period;
  SetValueAt("TB:Delay", (edge - 2 * scaleB) / scaleA);
}

// One evaluation of the accumulated looks; the result R of the finder (2: done).
int EvaluateLook() {
  TLevelFinding& found = State.Finding;
  switch (State.PeriodSubStep) {
    case 1: {
      uint8_t uniformity = 0;
      if (!HistCheckSignalUniform(State.KindMask, uniformity)) Fail("PeriodNotFound");
      int result = uniformity;
      if (KindIsEye()) {
        if (!HistFindLevels(found)) Fail("PeriodNotFound");
        result = found.Kind;
        if (result != 2) State.PeriodSubStep = 2;
      } else if (result == 2) {
        if (!HistFindPeriod(found, State.KindMask)) Fail("PeriodNotFound");
        result = found.Kind;
      } else {
        State.PeriodSubStep = 3;
      }
      return result;
    }
    case 2:
      if (!HistFindLevels(found)) Fail("PeriodNotFound");
      if (found.Kind != 2 && State.TestScale > kLevelFinderLimit) Fail("PeriodNotFound");
      return found.Kind;
    default:
      if (!HistFindPeriod(found, State.KindMask)) Fail("PeriodNotFound");
      return found.Kind;
  }
}

void AutoscalePeriod() {
  if (++State.CyclesInPhase > kPeriodCycleLimit) Fail("PeriodNotFound");
  AccumulateRecordIntoHist(FullHist(), ChannelRecord(State.TriggerChannel));
  if (SimMode()) ScaleTriggerIntRate();
  if (FullHist().WaveformCount() < State.RequiredWaveforms) return;
  if (State.PeriodSubStep == 0) {
    HistParamsFillAll();
    SetSimMode(false);
    RestoreTriggerSource();
    State.RequiredWaveforms = 8;
    FullHist().Clear();
    State.TestScale = kFirstPeriodScale;
    SetTimeBaseScale(false, State.TestScale);
    State.PeriodSubStep = 1;
    return;
  }
  const int result = EvaluateLook();
  if (result == 2) {
    State.PeriodSubStep = 4;
    ApplyFinding();
    State.AutoscaleState = kAutoscaleFinish;
    return;
  }
  // The stored summary stays the one of the unsynchronised looks (the whole signal's
  // levels): a narrow screen differs from it until it holds enough periods, and its rare
  // level and bands are the ones the finders slice by.
  FullHist().Clear();
  WidenTimeBase(result);
}

// --- end --------------------------------------------------------------------------------

void EndPhaseMachine(std::string failure) {
  State.Ended = true;
  State.Failure = std::move(failure);
  SetSimMode(false);
  AutoscaleHooks.CloseProgressWindow();
}

void EndAutoscale(bool success) {
  // Ended once: by its own end, or by a way out (the window then closes on an ended one).
  if (!Life.Running()) return;
  SetSimMode(false);
  State.AutoscaleState = kAutoscaleIdle;
  if (success) {
    {
      const TProcedureScope own(Life.Setup());
      for (int code : {2, 3}) {
        const int s = Slot(code);
        SetIndexAt(Ch(code) + ":Atten:Unit", State.SavedAttenUnit[s]);
        SetIndexAt("Displ:" + Ch(code) + ":Style", State.SavedStyle[s]);
      }
      RestoreTriggerSource();
      SetIndexAt("Trig:Mode", State.SavedTrigMode);
    }
    Life.End(true);
  } else {
    BreakAcquisition(true);
    Life.End();
  }
  // What it quietened comes back as part of it, in no undo step of its own.
  const TProcedureScope own(Life.Setup());
  SingleFlag = false;
  AcqHooks.NotifyStopSingleSwitchers();
  RunFlag = true;
  AcqHooks.NotifyRunSwitchers();
  LinkHooks.ResetPointStore();
  LinkHooks.ClearAcqStarted();
  SetIndexAt("Meas:Display", State.SavedMeasDisplay);
  SetIndexAt("Trig:PatternLockMode", State.SavedPatternLock);
  for (int code : {2, 3}) SetIndexAt("Acq:" + Ch(code) + ":Mode", State.SavedAcqMode[Slot(code)]);
  FullHist().Clear();
  FullHist().SetWeight(State.SavedHistWeight);
  State.ChannelHist = {};
  // The analysis it ended runs again on the lock given back; a close leaves it off.
  if (std::exchange(State.JitterEnded, false) && !ClosingFlag) AutoscaleHooks.RestartJitterAnalysis();
  // Program changes leave the status line alone; it shows the restored settings now.
  if (ScopeCRT) ScopeCRT->TopText().RefreshTopText();
}

// Drives the acquisition until the phase machine ends.
void RunWithoutWindow() {
  if (IdleStepsUntil([] { return State.Ended; })) return;
  const uint8_t phase = State.AutoscaleState;
  // Cut short by the close, it found nothing missing: its client is told so.
  EndPhaseMachine(CloseSignalled                 ? kLineStoppedByClose
                  : phase == kAutoscaleAmplitude ? GetLangStr("AmplitudeVerySmall")
                  : phase == kAutoscaleTrigger   ? GetLangStr("TriggerNotFound")
                                                 : GetLangStr("PeriodNotFound"));
}

}  // namespace

TAutoscaleRunState& AutoscaleRun() { return State; }

bool AutoscaleRunning() { return State.AutoscaleState != kAutoscaleIdle; }

void StartAutoscale(int item) {
  if (RefusedBesideProcedure(TProcedure::Autoscale)) return;
  if (!ChannelShown(2) && !ChannelShown(3)) {
    FailCommand(GetLangStr("AutoscaleNoChannelShown"));
    return;
  }
  // Only while work with an instrument runs (the undo ring records), as every procedure.
  if (!UndoBuffer || !UndoBuffer->Enabled) return;
  const TAutoscaleRunState fresh;
  State.KindMask = kKindMasks[std::clamp(item, 0, 3)];
  State.Ended = false;
  State.Failure.clear();
  State.Progress = 0;
  State.TestScale = fresh.TestScale;
  State.PeriodSubStep = 0;
  State.RequiredWaveforms = fresh.RequiredWaveforms;
  for (auto& hist : State.ChannelHist) hist = std::make_unique<TAxisHist>(true);

  // The jitter analysis runs on the pattern lock, which the autoscale switches off: it ends
  // first, as its own end, and starts again once the autoscale has given the lock back.
  TProcedureLife* jitter = RunningLife();
  const bool jitterOn = jitter && jitter->Kind() == TProcedure::JitterAnalysis;
  if (jitterOn) jitter->Cancel({});
  if (!Life.Start()) return;
  State.JitterEnded = jitterOn;
  // Every way out ends it as its window's Cancel does; a client's command fails with why
  // (the user is told in a box).
  Life.OnCancel = [] {
    EndPhaseMachine(Life.ForClient() && !Life.CancelReason().empty()
                        ? CancelledText(TProcedure::Autoscale, Life.CancelReason())
                        : std::string());
    EndAutoscale(false);
  };
  bool success = false;
  try {
    {
      const TProcedureScope own(Life.Setup());
      SaveAndQuietAnalyses();
      InitAutoscale();
      SetProgress(0);
    }
    const bool withWindow = AutoscaleHooks.ShowProgressWindow.IsSet() && !DialogsSuppressed();
    bool cancelled = false;
    if (withWindow) {
      cancelled = !AutoscaleHooks.ShowProgressWindow() && !State.Ended;
      if (cancelled) EndPhaseMachine({});
    } else {
      RunWithoutWindow();
    }
    success = !cancelled && State.Ended && State.Failure.empty();
  } catch (const std::exception& e) {
    State.Failure = e.what();
  }
  const std::string failure = State.Failure;
  EndAutoscale(success);
  if (!failure.empty()) throw EAssertion(failure);
}

void AutoscaleStep() {
  if (!AutoscaleRunning() || State.Ended) return;
  const TProcedureScope own(Life.Setup());
  try {
    switch (State.AutoscaleState) {
      case kAutoscaleAmplitude:
        AutoscaleAmplitude();
        break;
      case kAutoscaleTrigger:
        AutoscaleTrigger();
        break;
      case kAutoscalePeriod:
        AutoscalePeriod();
        break;
      default:
        break;
    }
    if (State.AutoscaleState == kAutoscaleFinish) {
      SetProgress(100);
      EndPhaseMachine({});
    }
  } catch (const TAutoscaleFailure& failure) {
    EndPhaseMachine(GetLangStr(failure.Key));
  } catch (const std::exception& e) {
    EndPhaseMachine(e.what());
  }
}

void InstallAutoscale() {
  AcqHooks.AutoscaleRunning.Set(AutoscaleRunning);
  AcqHooks.AutoscaleStep.Set(AutoscaleStep);
  SettingsHooks.AutoscaleRunning.Set(AutoscaleRunning);
  SettingsHooks.AutoscaleProgress.Set(SetProgress);
  ShellHooks.StartAutoscale.Set(StartAutoscale);
}

}  // namespace norv
