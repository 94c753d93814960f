#include "tdr_mask/generator_settings.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <utility>

#include "framework/settings/choice_handlers.h"
#include "framework/settings/numeric_handlers.h"
#include "framework/settings/program_objects.h"
#include "instrument/link/command_link.h"
#include "instrument/link/instrument_identity.h"
#include "instrument/settings/setting_senders.h"
#include "instrument/settings/settings_hooks.h"
#include "instrument/settings/trigger_settings.h"

namespace norv {

namespace {

constinit TGeneratorSettingsState State;
const TProgramUnit StateUnit("generator settings", ResetGeneratorSettingsState);
const TProgramUnit HooksUnit("generator hooks", [] { GeneratorHooks = {}; });

constexpr double kMaxGenTime = 0.000524;
constexpr double kMinWidth = 1.6e-8;
// The coarse strobe step the step delay is shown in until the flash constant exists.
constexpr double kDefaultCoarseTB = 4.6e-9;

bool Registered() { return State.Mode != nullptr; }

TGenMode ModeIndex() { return static_cast<TGenMode>(State.Mode->GetIndex()); }
bool IsPattern(TGenMode m) { return m == gmNRZ || m == gmRZ; }
bool IsPulseOrPattern(TGenMode m) { return m == gmPulse || IsPattern(m); }

int32_t Steps(double seconds) { return static_cast<int32_t>(std::lround(seconds / kGenTimeStep)); }

// The clock node of a mode, or nullptr in the modes without one.
TDoubleEditHandler* ClockNode(TGenMode m) {
  switch (m) {
    case gmPulse:
      return State.PulsePeriod;
    case gmNRZ:
      return State.NrzClock;
    case gmRZ:
      return State.RzClock;
    default:
      return nullptr;
  }
}

// The instrument counts a period of n steps as n - 2; the shortest period (one step)
// would give -1, which it does not take: its smallest count is 0.
void SendPeriod(int32_t n) { SendGenPeriod(std::max(n - 2, 0)); }

std::string EngText(double value, const char* unit) {
  return FloatToEngStr(vfEngineering, 4, false, value, false) + unit;
}

// An integer setting shown as origin-free units: (n - origin) x scale, 4 digits.
struct TScaledCount {
  double Origin, Scale;
  const char* Unit;
  void Text(std::string& text, double n) const { text = EngText((n - Origin) * Scale, Unit); }
  // A typed value that reads as the current one does (an answer sent back) keeps it; the
  // four digits shown do not tell the counts apart.
  void Typed(double& value, const TEditHandler& h) const {
    std::string current;
    Text(current, h.GetValue());
    value = current == EngText(value, Unit) ? h.GetValue() : value / Scale + Origin;
  }
};
constexpr TScaledCount kDeskewText{1300, 100 / 51128.0, "%"};
constexpr TScaledCount kOffsetText{0, 5 / 65535.0, "V"};

void WidthEnabling() {
  const TGenMode m = ModeIndex();
  const int32_t n = GeneratorPeriodCount();
  State.PulseWidth->SetDisabled(m < gmPulse || IsPattern(m) || (m == gmPulse && n < 5));
}

void DelayEnabling() {
  const TGenMode m = ModeIndex();
  const int32_t n = GeneratorPeriodCount();
  const bool pattern = State.TrigPRBS->GetIndex() == 1;
  State.Delay->SetDisabled(m < gmPulse || n < 4 || (IsPattern(m) && pattern));
}

void SendWidth() {
  if (ModeIndex() != gmRZ) SendGenWidth(Steps(State.PulseWidth->GetValue()) - 1);
}

void PeriodChanged() {
  if (ModeIndex() != gmPulse) return;
  const int32_t n = GeneratorPeriodCount();
  WidthEnabling();
  DelayEnabling();
  State.PulseWidth->SetMax(std::max(n * kGenTimeStep - kMinWidth, kMinWidth));
  State.Delay->SetMax(std::max(n * kGenTimeStep - kMinWidth, 0.0));
  SendPeriod(n);
}

void PatternClockChanged(TGenMode mode) {
  if (ModeIndex() != mode) return;
  const int32_t n = GeneratorPeriodCount();
  State.Delay->SetMax(std::max((n - 2) * kGenTimeStep, 0.0));
  DelayEnabling();
  SendPeriod(n);
  if (mode == gmRZ) SendGenWidth(n / 2 - 1);
}

// Without the option the generator drives nothing, so the trigger stays free.
void LinkTrigger(TGenMode m) {
  const TTriggerSettingsState& trig = TriggerSettings();
  if (!trig.Source) return;
  if (IsPulseOrPattern(m)) {
    for (THandler* h : std::initializer_list<THandler*>{trig.Source, trig.ExtLevel, trig.IntRate, trig.Slope})
      h->SetDisabled(true);
    return;
  }
  trig.Source->SetDisabled(false);
  OnTrigSourceChange();
  if (m == gmStep || m == gmCoarseTB) trig.Source->SetIndexByProgram(TrigSourceIntClock);
}

void ModeChanged() {
  const TGenMode m = ModeIndex();
  SendGenMode(m);
  State.PulsePeriod->SetDisabled(m < gmPulse);
  State.StepsDelay->SetDisabled(m != gmStep);
  DelayEnabling();
  WidthEnabling();
  State.Length->SetDisabled(!IsPattern(m));
  State.TrigPRBS->SetDisabled(!IsPattern(m));
  LinkTrigger(GetGeneratorMode());
  if (m == gmPulse) PeriodChanged();
  if (IsPattern(m)) PatternClockChanged(m);
  if (m == gmPulse || m == gmNRZ) SendWidth();
  if (m == gmStep && State.StepsDelay->GetIntValue() < 2) State.StepsDelay->SetValueByProgram(2);
}

int OutputOf(const THandler& h) {
  for (int output = 0; output < 2; ++output) {
    const TGenOutputNodes& o = State.Outputs[static_cast<size_t>(output)];
    if (&h == o.Polarity || &h == o.Deskew || &h == o.ModeOffset || &h == o.Offset || &h == o.PositiveZero ||
        &h == o.NegativeZero)
      return output;
  }
  return 0;
}

void OffsetModeChanged(int output) {
  const TGenOutputNodes& o = State.Outputs[static_cast<size_t>(output)];
  const uint8_t mode = o.ModeOffset->GetIndex();
  SendGenOffsetMode(output, mode);
  const bool enabled = !o.ModeOffset->IsDisabled();
  o.Offset->SetDisabled(!(enabled && mode == 2));
  o.PositiveZero->SetDisabled(!(enabled && mode == 0));
  o.NegativeZero->SetDisabled(!(enabled && mode == 1));
}

bool AnsweringZero = false;  // the node is being set to the instrument's answer

void ZeroChanged(THandler& h) {
  GeneratorHooks.SetCalibrationChanged();
  if (AnsweringZero || !IsInstrumentConnected()) return;
  const int output = OutputOf(h);
  auto& node = static_cast<TIntEditHandler&>(h);
  const bool negative = &h == State.Outputs[static_cast<size_t>(output)].NegativeZero;
  const int32_t value = node.GetIntValue();
  const std::optional<int32_t> answer = QueryGenZero(output, negative, value);
  if (!answer || std::abs(static_cast<double>(*answer) - value) <= 0.001) return;
  AnsweringZero = true;
  struct TClear {
    ~TClear() { AnsweringZero = false; }
  } clear;
  node.SetValueByProgram(*answer);
}

double CoarseTimeBaseStep() {
  if (RootSpider)
    if (auto* h = dynamic_cast<TEditHandler*>(RootSpider->FindHandler("FLASH:Calibr:CoarseTB")))
      return h->GetValue();
  return kDefaultCoarseTB;
}

TDoubleEditHandler* AddTime(const char* path, double value, double min, double mid, double fine,
                            THandlerEvent onChange) {
  // The resolution lies below the fine step, so that every fine step is a change.
  return RootSpider->AddDoubleEdit({.Path = path,
                                    .Value = value,
                                    .Unit = "s",
                                    .Digits = 4,
                                    .Min = min,
                                    .Mid = mid,
                                    .Max = kMaxGenTime,
                                    .CoarseRule = sr1_2_5OnFineGrid,
                                    .CoarseStep = 1,
                                    .FineRule = srQuantised,
                                    .FineStep = fine,
                                    .Tolerance = 1e-12,
                                    .OnChange = std::move(onChange)});
}

void RegisterOutput(int output) {
  TSpider& root = *RootSpider;
  const std::string prefix = GetGenOutPrefix(output);
  TGenOutputNodes& o = State.Outputs[static_cast<size_t>(output)];
  o.Polarity = root.AddRadioSw(0, prefix + "Polarity", "Pos,Neg", [](THandler& h) {
    SendGenPolarity(OutputOf(h), static_cast<TRadioSwHandler&>(h).GetIndex() == 1);
  });
  const std::string deskew = prefix + "Deskew", offset = prefix + "Offset";
  o.Deskew = root.AddIntEdit(
      {.Path = deskew,
       .Value = 26864,
       .Min = 1300,
       .Mid = 26864,
       .Max = 52428,
       .CoarseRule = srLinear,
       .CoarseStep = 100,
       .FineRule = srLinear,
       .FineStep = 1,
       .OnChange =
           [](THandler& h) { SendGenDeskew(OutputOf(h), static_cast<TIntEditHandler&>(h).GetIntValue()); },
       .OnGetText = [](const TEditHandler&, std::string& text, double n) { kDeskewText.Text(text, n); },
       .OnBeforeSet = [](double& p, TEditHandler& h) { kDeskewText.Typed(p, h); }});
  o.ModeOffset = root.AddRadioSw(0, prefix + "ModeOffset", "Pos,Neg,Var",
                                 [](THandler& h) { OffsetModeChanged(OutputOf(h)); });
  o.Offset = root.AddIntEdit(
      {.Path = offset,
       .Value = 1500,
       .Min = 1250,
       .Mid = 1500,
       .Max = 52428,
       .CoarseRule = srLinear,
       .CoarseStep = 250,
       .FineRule = srLinear,
       .FineStep = 1,
       .OnChange =
           [](THandler& h) { SendGenOffset(OutputOf(h), static_cast<TIntEditHandler&>(h).GetIntValue()); },
       .OnGetText = [](const TEditHandler&, std::string& text, double n) { kOffsetText.Text(text, n); },
       .OnBeforeSet = [](double& v, TEditHandler& h) { kOffsetText.Typed(v, h); }});
  const auto zero = [&](const char* name) {
    const std::string path = "FLASH:" + prefix + name;
    return root.AddIntEdit({.Path = path,
                            .Min = 0,
                            .Mid = 0,
                            .Max = 65535,
                            .CoarseRule = srLinear,
                            .CoarseStep = 250,
                            .FineRule = srLinear,
                            .FineStep = 1,
                            .OnChange = ZeroChanged});
  };
  o.PositiveZero = zero("PositiveZero");
  o.NegativeZero = zero("NegativeZero");
}

}  // namespace

TGeneratorSettingsState& GeneratorSettings() { return State; }
void ResetGeneratorSettingsState() {
  State = {};
  AnsweringZero = false;
}

TGenZeroConstants GeneratorZeroConstants() {
  TGenZeroConstants zeros{};
  for (size_t o = 0; o < 2; ++o)
    if (const TGenOutputNodes& n = State.Outputs[o]; n.PositiveZero) {
      zeros[2 * o] = n.PositiveZero->GetIntValue();
      zeros[2 * o + 1] = n.NegativeZero->GetIntValue();
    }
  return zeros;
}

void SetGeneratorZeroConstants(const TGenZeroConstants& zeros) {
  const bool was = std::exchange(AnsweringZero, true);
  for (size_t o = 0; o < 2; ++o) {
    const TGenOutputNodes& n = State.Outputs[o];
    if (!n.PositiveZero) continue;
    n.PositiveZero->SetValueByProgram(std::clamp<int32_t>(zeros[2 * o], 0, 65535));
    n.NegativeZero->SetValueByProgram(std::clamp<int32_t>(zeros[2 * o + 1], 0, 65535));
  }
  AnsweringZero = was;
}

std::string GetGenOutPrefix(int output) { return output == 0 ? "Gen:Out1:" : "Gen:Out2:"; }

TGenMode GetGeneratorMode() { return Registered() && HasGeneratorsOption() ? ModeIndex() : gmOff; }

bool IsGeneratorPulseOrPattern() { return IsPulseOrPattern(GetGeneratorMode()); }

int32_t GeneratorPeriodCount() {
  if (!Registered()) return 0;
  const TDoubleEditHandler* clock = ClockNode(ModeIndex());
  return clock ? Steps(clock->GetValue()) : 0;
}

void RegisterGeneratorHandlers() {
  if (!RootSpider || RootSpider->FindHandler("Gen:Mode")) return;
  TSpider& root = *RootSpider;
  State.Mode =
      root.AddRadioSw(0, "Gen:Mode", "Off,Step,CoarseTB,Pulse,NRZ,RZ", [](THandler&) { ModeChanged(); });
  State.PulsePeriod = AddTime("Gen:PulsePeriod", 3.2e-8, kGenTimeStep, 1e-6, kGenTimeStep,
                              [](THandler&) { PeriodChanged(); });
  State.NrzClock = AddTime("Gen:NrzClock", kGenTimeStep, kGenTimeStep, 1e-6, kGenTimeStep,
                           [](THandler&) { PatternClockChanged(gmNRZ); });
  State.RzClock =
      AddTime("Gen:RzClock", 1.6e-8, 1.6e-8, 1e-6, 1.6e-8, [](THandler&) { PatternClockChanged(gmRZ); });
  State.StepsDelay =
      root.AddIntEdit({.Path = "Gen:StepsDelay",
                       .Value = 3,
                       .Min = 0,
                       .Mid = 2,
                       .Max = 15,
                       .CoarseRule = srQuantised,
                       .CoarseStep = 1,
                       .OnChange = [](THandler&) { SendGenStepDly(State.StepsDelay->GetIntValue()); },
                       .OnGetText = [](const TEditHandler&, std::string& text,
                                       double n) { text = EngText(n * CoarseTimeBaseStep(), "s"); },
                       .OnBeforeSet = [](double& t, TEditHandler&) { t /= CoarseTimeBaseStep(); }});
  State.Delay = AddTime("Gen:Delay", 0, 0, kGenTimeStep, kGenTimeStep,
                        [](THandler&) { SendGenDelay(Steps(State.Delay->GetValue())); });
  State.PulseWidth = RootSpider->AddDoubleEdit(
      {.Path = "Gen:PulseWidth",
       .Value = kMinWidth,
       .Digits = 4,
       .Min = kMinWidth,
       .Mid = 1e-6,
       .Max = kMaxGenTime,
       .CoarseRule = sr1_2_5OnFineGrid,
       .CoarseStep = 1,
       .FineRule = srQuantised,
       .FineStep = kGenTimeStep,
       .Tolerance = 1e-12,
       .OnChange = [](THandler&) { SendWidth(); },
       .OnGetText = [](const TEditHandler&, std::string& text,
                       double w) { text = EngText(Steps(w) * kGenTimeStep + 2e-9, "s"); }});
  State.Length = root.AddRadioSw(0, "Gen:Length", "p2e7m1,p2e10m1,p2e11m1,p2e15m1",
                                 [](THandler&) { SendGenLength(State.Length->GetIndex()); });
  State.TrigPRBS = root.AddRadioSw(0, "Gen:TrigPRBS", "Clock,Pattern", [](THandler&) {
    DelayEnabling();
    SendGenTrigger(State.TrigPRBS->GetIndex() == 1);
  });
  for (int output = 0; output < 2; ++output) RegisterOutput(output);
}

void SendAllGeneratorSettings() {
  if (!Registered()) return;
  ModeChanged();
  SendGenStepDly(State.StepsDelay->GetIntValue());
  SendGenDelay(Steps(State.Delay->GetValue()));
  SendWidth();
  SendGenLength(State.Length->GetIndex());
  DelayEnabling();
  SendGenTrigger(State.TrigPRBS->GetIndex() == 1);
  for (int output = 0; output < 2; ++output) {
    const TGenOutputNodes& o = State.Outputs[static_cast<size_t>(output)];
    SendGenPolarity(output, o.Polarity->GetIndex() == 1);
    SendGenDeskew(output, o.Deskew->GetIntValue());
    OffsetModeChanged(output);
    SendGenOffset(output, o.Offset->GetIntValue());
  }
}

void InstallGenerators() { SettingsHooks.GeneratorPulseOrPattern.Set(IsGeneratorPulseOrPattern); }

}  // namespace norv
