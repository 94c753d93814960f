#include "analysis/low_jitter.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>
#include <string_view>
#include <utility>

#include "analysis/derived_settings.h"
#include "analysis/derived_signals.h"
#include "analysis/math_functions.h"
#include "analysis/zoom.h"
#include "display/scope_crt.h"
#include "framework/language/language.h"
#include "framework/settings/choice_handlers.h"
#include "framework/settings/numeric_handlers.h"
#include "framework/settings/procedure_setup.h"
#include "framework/settings/program_objects.h"
#include "framework/settings/settings_recall.h"
#include "framework/settings/step_rules.h"
#include "framework/util/dialog_service.h"
#include "instrument/acquisition/acquisition_hooks.h"
#include "instrument/acquisition/procedures.h"
#include "instrument/link/link_state.h"
#include "instrument/link/sample_stream.h"
#include "instrument/record/signal_obj.h"
#include "instrument/settings/acquisition_settings.h"
#include "instrument/settings/channel_settings.h"
#include "instrument/settings/setting_senders.h"
#include "instrument/settings/settings_hooks.h"
#include "instrument/settings/timebase_settings.h"
#include "instrument/settings/trigger_settings.h"
#include "instrument/simulator/simulator.h"
#include "instrument/startup/instrument_list.h"

namespace norv {

namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kTwoPi = 2 * std::numbers::pi;
// Within 60 degrees of a zero crossing: |sin| below sqrt(3)/2.
constexpr double kSteepSine = 0.8660254037844386;
constexpr int kF4 = 3;
constexpr int kFitToMulti = 0;
constexpr int kBandNarrow = 1;

TLowJitterState State;
// The reference run, from its start to the sine built (or its cancel).
TProcedureLife Life(TProcedure::LowJitterReference);
const TProgramUnit StateUnit("low-jitter reference", [] {
  Life.Abandon();
  State = {};
});

// p brought into [-pi/2, 3 pi/2).
double IntoFitRange(double p) { return p - kTwoPi * std::floor((p + kPi / 2) / kTwoPi); }

bool OnSteepPart(double p) {
  return (p >= -kPi / 3 && p <= kPi / 3) || (p >= 2 * kPi / 3 && p <= 4 * kPi / 3);
}

TFunctionNodes& F4Nodes() { return DerivedSettings().Functions[kF4]; }
TChannelNodes& ChannelNodes(int slot) { return ChannelSettings().Nodes[static_cast<size_t>(slot)]; }
TDoubleEditHandler* ScaleANode() { return TimeBaseSettings().ScaleA[huTime]; }
TIntEditHandler* Ch2RecLenNode() { return AcquisitionSettings().ChannelNodes[1].RecLen; }

void RebuildScreens() {
  if (ScopeCRT) ScopeCRT->RecreateSignalScreens();
}

// The measured trigger frequency (Hz) as the instrument's counter reports it, or the
// reply's failure value.
double MeasureTriggerFrequency() {
  SendPatternOn(true);
  const double f = QueryPatternTrigFreq(false);
  SendPatternOn(false);
  return f;
}

// The new "Trig:RefFreq": from the instrument, or in demo mode the clock the simulated
// reference sine on channel 2 is divided from; nothing without an instrument. False when
// the instrument's reply cannot be read.
bool MeasureReferenceFrequency() {
  TTriggerSettingsState& trigger = TriggerSettings();
  if (IsRealInstrument()) {
    const double measured = MeasureTriggerFrequency();
    if (!(measured > 0) || !std::isfinite(measured)) return false;
    const double factor = TriggerSourceFactor(TriggerSourceIndex());
    trigger.RefFreq->SetValueByProgram(measured * GetPrescalerFromCommandLine() * factor);
  } else if (LinkKind == TLinkKind::Demo) {
    trigger.RefFreq->SetValueByProgram(ProgramSimulator().SimChannelFrequency(3) *
                                       GetIntValue(trigger.RefDivider));
  }
  return true;
}

// The run's end without a sine: its settings went back, and the switch goes off.
void Refuse(std::string_view key) {
  Life.Tell(TMessageKind::Error, GetLangStr(key));
  TriggerSettings().LowJitter->SetOnByProgram(false);
}

// The reference record is complete: the settings go back and the sine is fitted; a flat
// record gives no sine to fit.
void FinishRun() {
  RebuildScreens();
  State.Running = false;
  // The axis of the records it summed: its end puts the user's records back.
  const TSignalObj& reference = SignalObjs()[TTraceId::Ch2];
  const double dx = reference.GetDX(), x0 = reference.GetX0();
  Life.End();
  for (double& v : State.Accumulator) v /= State.Count;
  auto sine = std::make_unique<TRefSine>(State.Accumulator, dx, x0, GetReferenceFrequency());
  if (!(sine->Amplitude > 0)) {
    Refuse("LowJitterFlatReference");
    return;
  }
  State.RefSineObj = std::move(sine);
  F4Nodes().Display->SetOnByProgram(true);
  F4Nodes().Operat->SetIndexByProgram(moLowJitter);
}

void LowJitterStep() {
  const TSignalObj& reference = SignalObjs()[TTraceId::Ch2];
  // A record of another length was not taken for the run; once no record of its length
  // can come (the rules moved it), the run would wait forever: it ends as its Cancel does.
  if (reference.GetRecLen() != kReferencePoints) {
    if (GetIntValue(Ch2RecLenNode()) != kReferencePoints) Life.Cancel(MovedText(*Ch2RecLenNode()));
    return;
  }
  for (int i = 0; i < kReferencePoints; ++i) State.Accumulator[static_cast<size_t>(i)] += reference.GetY(i);
  if (++State.Count >= kReferenceRecords) FinishRun();
}

}  // namespace

TRefSine::TRefSine(std::span<const double> values, double stepX, double firstX, double frequency)
    : Omega(kTwoPi * frequency), FirstX(firstX), StepX(stepX), values_(values.begin(), values.end()) {
  double lowest = 1e15, highest = -1e15;
  for (double v : values_) {
    lowest = std::min(lowest, v);
    highest = std::max(highest, v);
  }
  Amplitude = (highest - lowest) / 2;
  Offset = (highest + lowest) / 2;
  Phase = EstimatePhase();
}

double TRefSine::FitError(double phase) const {
  double sum = 0;
  for (size_t i = 0; i < values_.size(); ++i) {
    const double p = IntoFitRange(Omega * (FirstX + static_cast<double>(i) * StepX) + phase);
    if (!OnSteepPart(p)) continue;
    const double d = Amplitude * std::sin(p) + Offset - values_[i];
    sum += d * d;
  }
  return sum;
}

double TRefSine::ScanPhase(double from, double to, double step) const {
  double best = from, bestError = FitError(from);
  if (!(step > 0)) return best;
  // Multiples of the step, so that a long scan does not drift.
  for (int k = 1; from + (k - 1) * step < to; ++k) {
    const double phase = from + k * step;
    const double error = FitError(phase);
    if (error < bestError) {
      best = phase;
      bestError = error;
    }
  }
  return best;
}

double TRefSine::EstimatePhase() const {
  const double p1 = ScanPhase(-kPi / 8, kTwoPi, kPi / 8);
  const double p2 = ScanPhase(p1 - kPi / 8, p1 + kPi / 8, kPi / 64);
  return ScanPhase(p2 - kPi / 64, p2 + kPi / 64, kPi / 512);
}

bool TRefSine::CorrectTime(double& t, double v) const {
  if (!(Amplitude > 0) || !(Omega > 0)) return false;
  const double s = (v - Offset) / Amplitude;
  if (!(s > -kSteepSine && s < kSteepSine)) return false;
  const double p = Omega * t + Phase;
  if (!std::isfinite(p)) return false;
  // The half-period of t: p - k pi within [-pi/2, pi/2].
  double k = 0;
  if (p > kPi / 2) k = std::ceil((p - kPi / 2) / kPi);
  if (p < -kPi / 2) k = -std::ceil((-kPi / 2 - p) / kPi);
  double a = std::asin(s);
  if (std::fmod(k, 2.0) != 0) a = -a;
  t = (k * kPi + a - Phase) / Omega;
  return true;
}

bool CorrectByReference(const TRefSine& sine, const TSignalObj& data, const TSignalObj& reference,
                        TSignalObj& result) {
  const int n = data.GetRecLen();
  if (reference.GetRecLen() != n || n < 1 || n > kMaxRecLen) return false;
  result.AssignHeader(data);
  result.SetRaw(true);
  result.SetVertUnit(data.GetVertUnitText());
  for (int i = 0; i < n; ++i) {
    double t = result.IndexToX(i);
    if (!sine.CorrectTime(t, reference.GetY(i))) {
      result.SetY(i, data.GetY(i));
      continue;
    }
    const double j = std::round(result.XToIndex(t));
    if (j >= 0 && j < n) result.SetY(static_cast<int>(j), data.GetY(i));
  }
  return true;
}

TLowJitterState& LowJitterState() { return State; }

int GetPrescalerFromCommandLine() {
  static constexpr std::pair<const char*, int> kPrescalers[] = {
      {"Div2", 2}, {"Div4", 4}, {"Div8", 8}, {"Div16", 16}};
  for (const auto& [name, prescaler] : kPrescalers)
    if (IsCommandLineParam(name)) return prescaler;
  return 1;
}

double GetReferenceFrequency() {
  const TTriggerSettingsState& trigger = TriggerSettings();
  return GetFloatValue(trigger.RefFreq) / std::max(1, GetIntValue(trigger.RefDivider));
}

void SetupLowJitterReference() {
  TOnOffHandler& lowJitter = *TriggerSettings().LowJitter;
  // A run switched on again before it ended goes on as it was.
  if (RecallHoldsBack(lowJitter) || Life.Running()) return;
  const auto switchOff = [&] { lowJitter.SetOnByProgram(false); };
  if (RefusedBesideProcedure(TProcedure::LowJitterReference, switchOff)) return;
  BreakAcquisition(true);
  // What the reference needs from now on stays after its run: held apart until the run has
  // started, so that a start that does not take gives it back.
  TProcedureSetup needs;
  needs.Begin();
  const auto giveBack = [&] {
    needs.GiveBack();
    switchOff();
  };
  bool measured = false;
  {
    const TProcedureScope own(needs);
    ZoomNodes(TTraceId::F4).Offset->SetValueByProgram(1.0);
    RebuildScreens();
    measured = MeasureReferenceFrequency();
    if (measured) {
      ChannelNodes(0).Display->SetOnByProgram(true);
      ChannelNodes(1).Display->SetOnByProgram(true);
      AcquisitionSettings().FitTo->SetIndexByProgram(kFitToMulti);
      ChannelNodes(0).Deskew->SetValueByProgram(0);
      ChannelNodes(1).Deskew->SetValueByProgram(0);
      ChannelNodes(1).Band->SetIndexByProgram(kBandNarrow);
    }
  }
  if (!measured) {
    giveBack();
    FailCommand(GetLangStr("LowJitterNoFrequency"));
    return;
  }

  // The run's own set-up goes back at its end; the switch is off after a Cancel.
  if (!Life.Start(giveBack)) return;
  Life.HoldSwitch(&lowJitter, "OFF");
  Life.OnCancel = [] {
    State.Running = false;
    Life.End();
    // Its outcome, as its run's own: no undo step holds the switch going off.
    const TProcedureScope own(Life.Setup());
    TriggerSettings().LowJitter->SetOnByProgram(false);
  };
  // Ch1 hidden, the rules may force the generator that drives it, and the trigger source
  // with it: a new source ends the reference.
  const bool started = Life.SetUp(
      [] {
        // Two periods of the reference on the ten divisions.
        ScaleANode()->SetValueByProgram(CorrectNewVal1_2_5(2 / GetReferenceFrequency() / 10));
        Ch2RecLenNode()->SetValueByProgram(kReferencePoints);
        ChannelNodes(0).Display->SetOnByProgram(false);
        ChannelNodes(0).Acquire->SetOnByProgram(false);
        TimeBaseSettings().Mode->SetIndexByProgram(tbmA);
      },
      giveBack, *TriggerSettings().Source);
  if (!started) return;
  needs.Keep();
  State.Accumulator.fill(0);
  State.Count = 0;
  State.Running = true;
}

void CancelLowJitterReference() {
  State.RefSineObj.reset();
  State.Running = false;
  Life.End();
  // F4 is given back only when the reference had taken it.
  TFunctionNodes& f4 = F4Nodes();
  if (f4.Operat && GetIndex(f4.Operat) == moLowJitter) {
    f4.Display->SetOnByProgram(false);
    f4.Operat->SetIndexByProgram(moAdd);
  }
}

void LowJitterAfterAcquisition() {
  if (State.Running) {
    const TProcedureScope own(Life.Setup());
    LowJitterStep();
  }
}

bool LowJitter(int, const TSignalObj&, TSignalObj& result) {
  if (!State.RefSineObj) return false;
  return CorrectByReference(*State.RefSineObj, SignalObjs()[TTraceId::Ch1], SignalObjs()[TTraceId::Ch2],
                            result);
}

void InstallLowJitter() {
  SettingsHooks.SetupLowJitterReference.Set(SetupLowJitterReference);
  SettingsHooks.CancelLowJitterReference.Set(CancelLowJitterReference);
  AcqHooks.LowJitterAfterAcquisition.Set(LowJitterAfterAcquisition);
  MathHooks.LowJitter.Set(LowJitter);
}

}  // namespace norv
