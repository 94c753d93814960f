#include "instrument/simulator/simulator_nodes.h"

#include <cmath>
#include <string>

#include "framework/language/language.h"
#include "framework/settings/choice_handlers.h"
#include "framework/settings/numeric_handlers.h"
#include "framework/settings/program_objects.h"
#include "framework/settings/settings_tree.h"
#include "instrument/link/instrument_identity.h"
#include "instrument/link/link_state.h"
#include "instrument/settings/setting_senders.h"
#include "instrument/settings/timebase_settings.h"
#include "instrument/settings/trigger_settings.h"
#include "instrument/simulator/simulator.h"

namespace norv {

namespace {

TSimulatorNodesState State;
const TProgramUnit StateUnit("simulator settings", [] { State = {}; });

constexpr char GeneratorLetters[] = "ABCD";
constexpr uint32_t TdrItemMask = 1u << gwTdr;
constexpr uint32_t TdtItemMask = 1u << gwTdt;
constexpr uint32_t OffItemMask = 1;
constexpr uint8_t DefaultStdFreq = 24;

TGssGeneratorNodes& Nodes(int g) { return State.Generators[g]; }
bool Programmatic(const THandler& h) { return h.GetWhoChangedRaw() == wcvProgram; }

// The generator's nodes as the simulator takes them.
TSimGenerator ReadGenerator(int g) {
  const TGssGeneratorNodes& n = Nodes(g);
  TSimGenerator s;
  s.Waveform = static_cast<TSimWaveform>(n.Waveform->GetIndex());
  s.Amplitude = n.Amplitude->Value();
  s.Frequency = n.Frequency->Value();
  s.TDROvershot = n.TDROvershot->Value();
  s.TDRSkol = n.TDRSkol->Value();
  s.TDRCircuit = static_cast<TSimTdrCircuit>(n.TDRCircuit->GetIndex());
  s.TDTCircuit = static_cast<TSimTdtCircuit>(n.TDTCircuit->GetIndex());
  s.Jitter = n.Jitter->Value();
  s.PulseWidth = n.PulseWidth->Value();
  s.RiseTime = n.RiseTime->Value();
  s.FallTime = n.FallTime->Value();
  s.Phase = n.Phase->Value();
  s.DeltaPhase = n.DeltaPhase->Value();
  s.Offset = n.Offset->Value();
  s.Noise = n.Noise->Value();
  s.PosOvershot = n.PosOvershot->Value();
  s.NegOvershot = n.NegOvershot->Value();
  s.Droop = n.Droop->Value();
  s.PrbsRz = n.PrbsMode->GetIndex() == 1;
  s.PrbsTrigger = static_cast<TSimPrbsTrigger>(n.PrbsTrigger->GetIndex());
  s.PrbsLength = n.PrbsLength->GetIndex();
  s.PrbsPowerOfTwo = n.PrbsLenMode->GetIndex() == 1;
  s.PeriodJitter = n.PeriodJitter->Value();
  s.InterSymbIJ = n.InterSymbIJ->Value();
  s.DutyCycleDist = n.DutyCycleDist->Value();
  s.SubRateJit = n.SubRateJit->Value();
  s.SubRateDiv = n.SubRateDiv->Value();
  return s;
}

void PushGenerator(int g) { ProgramSimulator().SimSetGenerator(g + 1, ReadGenerator(g)); }

void PushChannelSources() {
  for (int slot = 0; slot < 2; ++slot)
    ProgramSimulator().SimSetChannelSource(slot + 2, State.Channel[slot]->GetIndex());
}

void PushCalibrationSource() {
  TSimCalibrationSource source;
  source.Mode = static_cast<TSimCalMode>(State.VCalMode->GetIndex());
  source.Volt = State.VCalVolt->Value();
  source.Period = State.ClcPeriod->Value();
  ProgramSimulator().SimSetCalibrationSource(source);
}

void Rebuild() { ProgramSimulator().BuildPrbsGenerators(); }

// The change of any generator node: the simulator takes the generator anew.
THandlerEvent Pushes(int g, bool rebuild) {
  return [g, rebuild](THandler&) {
    PushGenerator(g);
    if (rebuild) Rebuild();
  };
}

void OnWaveformChange(int g) {
  TGssGeneratorNodes& n = Nodes(g);
  const int w = n.Waveform->GetIndex();
  const bool pulse = w == gwPulse, prbs = w == gwPrbs, step = w == gwTdr || w == gwTdt;
  n.PulseWidth->SetDisabled(!pulse);
  for (TDoubleEditHandler* h : {n.RiseTime, n.FallTime, n.PosOvershot, n.NegOvershot, n.Droop})
    h->SetDisabled(!pulse && !prbs);
  // The standard frequencies are only for the pattern generators C and D.
  n.StdFreq->SetDisabled(!prbs || g < 2);
  n.PrbsMode->SetDisabled(!prbs);
  n.PrbsTrigger->SetDisabled(!prbs);
  n.PrbsLength->SetDisabled(!prbs);
  n.Amplitude->SetDisabled(step);
  n.Frequency->SetDisabled(step);
  State.RefreshGssWaveformPage();
  PushGenerator(g);
  Rebuild();
}

void OnFrequencyChange(int g, const THandler& h) {
  PushGenerator(g);
  Rebuild();
  if (!Programmatic(h)) Nodes(g).StdFreq->SetIndexByProgram(0);
}

void OnStdFreqChange(int g) {
  TGssGeneratorNodes& n = Nodes(g);
  if (n.StdFreq->IsDisabled()) return;
  const int item = n.StdFreq->GetIndex();
  if (item >= 1) n.Frequency->SetValueByProgram(BitRateValue().GetRate(item - 1));
}

void OnGssChannelChange(int slot) {
  const int source = State.Channel[slot]->GetIndex();
  if (source >= 1 && source <= kSimGeneratorCount) State.GssSelect->SetIndexByProgram(source - 1);
  PushChannelSources();
  Rebuild();
}

void OnVCalModeChange() {
  TDoubleEditHandler& volt = *State.VCalVolt;
  const int mode = State.VCalMode->GetIndex();
  volt.SetDisabled(mode == vcmOff);
  if (mode == vcmBiMeander) {
    if (volt.Value() < 0) volt.SetValueByProgram(-volt.Value());
    volt.SetMin(0);
    volt.SetMid(0.1);
    volt.SetOnGetText([](const TEditHandler&, std::string& text, double value) {
      text = "\xC2\xB1" + FloatToEngStr(vfEngineering, 4, false, value, false) + "V";
    });
  } else {
    volt.SetMin(-1);
    volt.SetMid(0);
    volt.SetOnGetText({});
  }
  PushCalibrationSource();
}

void OnCalibrWhenChange() {
  const uint32_t mask = State.CalibrWhen->GetMask();
  State.CalPeriod->SetDisabled(!(mask & CalibrWhenPeriod));
  State.TempChange->SetDisabled(!(mask & CalibrWhenTemperat));
}

double SnapClockPeriod(double period, bool up) {
  double lower = 8e-8;
  if (period <= lower + 1e-9) return lower;
  // 8e-8, 2e-7, 4e-7, 1e-6, then 1-2-5 up to the largest period and one beyond it.
  for (double upper : {2e-7, 4e-7, 1e-6}) {
    if (std::abs(period - upper) <= 1e-9) return upper;
    if (period < upper) return up ? upper : lower;
    lower = upper;
  }
  for (double decade = 1e-6; decade < 1; decade *= 10) {
    for (double factor : {2.0, 5.0, 10.0}) {
      const double upper = decade * factor;
      if (std::abs(period - upper) <= 1e-9) return upper;
      if (period < upper) return up ? upper : lower;
      lower = upper;
    }
  }
  return lower;
}

bool StepClockPeriod(double& value, TStepMode mode, bool up) {
  if (mode != smCoarse) return false;
  const TDoubleEditHandler& h = *State.ClcPeriod;
  const double stepped = StepByRule(h.GetCoarseRule(), h.GetCoarseStep(), value, up, h.GetTolerance(),
                                    h.GetFineStep(), h.QuantisesToFine());
  value = SnapClockPeriod(stepped, up);
  return true;
}

void OnClcPeriodChange(THandler& h) {
  PushCalibrationSource();
  if (Programmatic(h)) return;
  const double period = State.ClcPeriod->Value();
  if (TriggerSourceIndex() != TrigSourceIntClock) {
    SendTrigIntRate(period);
  } else if (TriggerSettings().IntRate) {
    TriggerSettings().IntRate->SetValueByProgram(period);
  }
}

void RegisterUtilityNodes(TSpider& root) {
  // clang-format off
  State.Lang = root.AddRadioSw(0, "Shadow:Lang", "1", [](THandler&) { State.LanguageChangePending = true; });
  State.Lang->SetDisabled(!Languages || Languages->Count == 0);
  // One item per language found, the loaded one chosen (no switch is pending for it).
  if (Languages && Languages->Count > 0) {
    std::string names;
    for (int i = 0; i < Languages->Count; ++i) names += (i ? "," : "") + Languages->GetLanguageName(i);
    State.Lang->SetItems(names);
    State.Lang->SetIndexByProgram(Languages->CurrentIndex);
    State.LanguageChangePending = false;
  }
  State.VCalMode = root.AddRadioSw(0, "Util:VCalMode", "Off,DC,UniMeander,BiMeander",
                                   [](THandler&) { OnVCalModeChange(); });
  State.VCalVolt = root.AddDoubleEdit({
      .Path = "Util:VCalVolt", .Value = 0, .Unit = "V", .Digits = 4,
      .Min = -1, .Mid = 0, .Max = 1,
      .CoarseRule = srLinear, .CoarseStep = 0.025, .FineRule = srQuantised, .FineStep = 0.001, .Tolerance = 0.0001,
      .OnChange = [](THandler&) { PushCalibrationSource(); }});
  State.HCalMode = root.AddRadioSw(0, "Util:HCalMode", "Off,Clock,IntChan,IntChShift",
                                   [](THandler&) { OnHCalModeChange(); });
  State.ClcPeriod = root.AddDoubleEdit({
      .Path = "Util:ClcPeriod", .Value = 8e-8, .Unit = "s", .Digits = 6,
      .Min = 8e-8, .Mid = 1e-5, .Max = 0.002,
      .CoarseRule = srQuantised, .CoarseStep = 4e-8, .FineRule = srQuantised, .FineStep = 4e-8, .Tolerance = 4e-8,
      .OnChange = OnClcPeriodChange});
  State.ClcPeriod->OnStep = StepClockPeriod;
  const uint32_t calibrWhen = IsRealInstrument() ? CalibrWhenPowerOn | CalibrWhenTemperat : 0;
  State.CalibrWhen = root.AddCheckSw(calibrWhen, "Util:CalibrWhen", "PowerOn,Period,Temperat",
                                     [](THandler&) { OnCalibrWhenChange(); });
  State.CalPeriod = root.AddDoubleEdit({
      .Path = "Util:CalPeriod", .Value = 1, .Unit = "h", .FormatMode = vfGeneral, .Digits = 4,
      .Min = 0.25, .Mid = 4, .Max = 16,
      .CoarseRule = srPowerOfTwo, .Tolerance = 0.01});
  State.TempChange = root.AddDoubleEdit({
      .Path = "Util:TempChange", .Value = 3, .Unit = "\xC2\xB0" "C", .FormatMode = vfGeneral, .Digits = 4,
      .Min = 0.5, .Mid = 3, .Max = 10,
      .CoarseRule = srQuantised, .CoarseStep = 1, .FineRule = srQuantised, .FineStep = 0.5, .Tolerance = 0.01});
  // clang-format on
}

void RegisterChannelNodes(TSpider& root) {
  const bool real = IsRealInstrument();
  for (int slot = 0; slot < 2; ++slot) {
    const std::string path = slot == 0 ? "GSS:Ch1" : "GSS:Ch2";
    State.Channel[slot] = root.AddRadioSw(
        real ? 0 : slot + 1, path, "Off,A,B,C,D", [slot](THandler&) { OnGssChannelChange(slot); }, {}, false,
        real ? 0 : OffItemMask);
  }
  State.GssSelect = root.AddRadioSw(0, "SHADOW:GssSelect", "A,B,C,D");
  // The trigger's own jitter, common to both channels (what a low-jitter reference removes).
  State.TrigJitter = root.AddDoubleEdit(
      {.Path = "GSS:TrigJitter",
       .Value = 0,
       .Unit = "s",
       .Digits = 3,
       .Min = 0,
       .Mid = 1e-11,
       .Max = 1e-10,
       .CoarseRule = srQuantised,
       .CoarseStep = 1e-12,
       .FineRule = srQuantised,
       .FineStep = 1e-13,
       .Tolerance = 1e-15,
       .OnChange = [](THandler&) { ProgramSimulator().SimSetTriggerJitter(State.TrigJitter->Value()); }});
}

void RegisterGenerator(TSpider& root, int g) {
  const TSimGenerator d = DefaultSimGenerator(g + 1);
  const std::string p = std::string("GSS:") + GeneratorLetters[g];
  TGssGeneratorNodes& n = Nodes(g);
  const auto at = [&](const char* suffix) { return p + suffix; };
  const THandlerEvent push = Pushes(g, false), rebuild = Pushes(g, true);
  // The pattern generators start at their standard frequency, as they are after an apply.
  const double frequency = g < 2 ? d.Frequency : BitRateValue().GetRate(DefaultStdFreq - 1);
  const std::string degree = "\xC2\xB0";

  // clang-format off
  n.Waveform = root.AddRadioSw(static_cast<uint8_t>(d.Waveform), at(":Waweform"), "Sinewave,Pulse,PRBS,TDR,TDT",
                               [g](THandler&) { OnWaveformChange(g); });
  n.Amplitude = root.AddDoubleEdit({
      .Path = at(":Amplitude"), .Value = d.Amplitude, .Unit = "V", .Digits = 4,
      .Min = 0.001, .Mid = 1, .Max = 2,
      .CoarseRule = sr1_2_5, .FineRule = srRelative, .FineStep = 0.005, .Tolerance = 0.0005,
      .OnChange = push});
  n.Frequency = root.AddDoubleEdit({
      .Path = at(":Frequency"), .Value = frequency, .Unit = "Hz", .Digits = 4,
      .Min = 50, .Mid = 1e9, .Max = 5e10,
      .CoarseRule = sr1_2_5, .FineRule = srRelative, .FineStep = 0.005, .Tolerance = 1,
      .OnChange = [g](THandler& h) { OnFrequencyChange(g, h); }});
  n.TDROvershot = root.AddIntEdit({
      .Path = at(":TDROvershot"), .Value = d.TDROvershot, .Unit = "%",
      .Min = 0, .Mid = 10, .Max = 50,
      .CoarseRule = srQuantised, .CoarseStep = 5, .FineRule = srQuantised, .FineStep = 1,
      .OnChange = push});
  n.TDRSkol = root.AddIntEdit({
      .Path = at(":TDRSkol"), .Value = d.TDRSkol, .Unit = "%",
      .Min = -20, .Mid = 0, .Max = 20,
      .CoarseRule = srQuantised, .CoarseStep = 5, .FineRule = srQuantised, .FineStep = 1,
      .OnChange = push});
  n.TDRCircuit = root.AddRadioSw(static_cast<uint8_t>(d.TDRCircuit), at(":TDRCircuit"),
                                 "Off,Open,Short,R50,Rx,RR5015050,Lx,Cx", push);
  n.TDTCircuit = root.AddRadioSw(static_cast<uint8_t>(d.TDTCircuit), at(":TDTCircuit"),
                                 "Off,Stimul,DB6NS3,RR5015050,Lx,Cx", push);
  n.Jitter = root.AddDoubleEdit({
      .Path = at(":Jitter"), .Value = d.Jitter, .Unit = "s", .Digits = 3,
      .Min = 1e-14, .Mid = 1e-12, .Max = 5e-5,
      .CoarseRule = srRelative, .CoarseStep = 0.1, .FineRule = srRelative, .FineStep = 0.01, .Tolerance = 1e-14,
      .OnChange = push});
  const auto timing = [&](const char* suffix, double value, double min, double mid, double max) {
    return root.AddDoubleEdit({
        .Path = at(suffix), .Value = value, .Unit = "s",
        .Min = min, .Mid = mid, .Max = max,
        .CoarseRule = sr1_2_5, .FineRule = srRelative, .FineStep = 0.01, .Tolerance = 1e-12,
        .OnChange = rebuild});
  };
  n.PulseWidth = timing(":PulseWidth", d.PulseWidth, 2e-11, 1e-9, 5e-4);
  n.RiseTime = timing(":RiseTime", d.RiseTime, 1e-11, 1e-10, 1e-4);
  n.FallTime = timing(":FallTime", d.FallTime, 1e-11, 1e-10, 1e-4);
  n.Phase = root.AddDoubleEdit({
      .Path = at(":Phase"), .Value = d.Phase, .Unit = degree, .FormatMode = vfGeneral, .Digits = 4,
      .Min = -180, .Mid = 0, .Max = 180,
      .CoarseRule = srQuantised, .CoarseStep = 15, .FineRule = srQuantised, .FineStep = 0.5, .Tolerance = 0.1,
      .OnChange = push});
  n.DeltaPhase = root.AddDoubleEdit({
      .Path = at(":DeltaPhase"), .Value = d.DeltaPhase, .Unit = degree,
      .Min = -5, .Mid = 0, .Max = 5,
      .CoarseRule = srQuantised, .CoarseStep = 0.05, .FineRule = srQuantised, .FineStep = 0.001, .Tolerance = 0.0001,
      .OnChange = push});
  n.Offset = root.AddDoubleEdit({
      .Path = at(":Offset"), .Value = d.Offset, .Unit = "V", .Digits = 4,
      .Min = -1, .Mid = 0, .Max = 1,
      .CoarseRule = srQuantised, .CoarseStep = 0.01, .FineRule = srQuantised, .FineStep = 0.0005, .Tolerance = 0.0001,
      .OnChange = push});
  n.Noise = root.AddDoubleEdit({
      .Path = at(":Noise"), .Value = d.Noise, .Unit = "V", .Digits = 3,
      .Min = 1e-4, .Mid = 0.001, .Max = 0.1,
      .CoarseRule = srRelative, .CoarseStep = 0.1, .FineRule = srRelative, .FineStep = 0.01, .Tolerance = 0.0001,
      .OnChange = push});
  const auto shape = [&](const char* suffix, double min, double max) {
    return root.AddDoubleEdit({
        .Path = at(suffix), .Value = 0, .Unit = "%", .FormatMode = vfGeneral, .Digits = 3,
        .Min = min, .Mid = 0, .Max = max,
        .CoarseRule = srQuantised, .CoarseStep = 5, .FineRule = srQuantised, .FineStep = 0.1, .Tolerance = 0.01,
        .OnChange = rebuild});
  };
  n.PosOvershot = shape(":PosOvershot", -70, 300);
  n.NegOvershot = shape(":NegOvershot", -29, 300);
  n.Droop = shape(":Droop", -10, 70);
  n.StdFreq = root.AddRadioSw(DefaultStdFreq, at(":StdFreq"), "Custom," + BitRateValue().MnemonicList(),
                              [g](THandler&) { OnStdFreqChange(g); });
  n.StdFreq->SetDisabled(g < 2);
  n.PrbsMode = root.AddRadioSw(d.PrbsRz ? 1 : 0, at(":PrbsMode"), "NRZ,RZ", rebuild);
  n.PrbsTrigger = root.AddRadioSw(0, at(":PrbsTrigger"), "Takt,Kadr", push);
  n.PrbsLength = root.AddRadioSw(0, at(":PrbsLength"), "5,7,11,15", rebuild);
  n.PrbsLenMode = root.AddRadioSw(0, at(":PrbsLenMode"), "2NMinus1,2PowerN", rebuild);
  const auto jitter = [&](const char* suffix, double min, double mid, double max, double coarse,
                          const THandlerEvent& change) {
    return root.AddDoubleEdit({
        .Path = at(suffix), .Value = 0, .Unit = "%", .Digits = 3,
        .Min = min, .Mid = mid, .Max = max,
        .CoarseRule = srQuantised, .CoarseStep = coarse, .FineRule = srQuantised, .FineStep = 0.1, .Tolerance = 0.05,
        .OnChange = change});
  };
  n.PeriodJitter = jitter(":PeriodJitter", 0, 5, 50, 1, push);
  n.InterSymbIJ = jitter(":InterSymbIJ", -25, 0, 25, 1, rebuild);
  n.DutyCycleDist = jitter(":DutyCycleDist", -20, 0, 20, 2, rebuild);
  n.SubRateJit = jitter(":SubRateJit", 0, 5, 25, 1, rebuild);
  n.SubRateDiv = root.AddIntEdit({
      .Path = at(":SubRateDiv"), .Value = 2,
      .Min = 2, .Mid = 8, .Max = 32,
      .CoarseRule = srQuantised, .CoarseStep = 1, .FineRule = srQuantised, .FineStep = 1,
      .OnChange = rebuild});
  // clang-format on
}

}  // namespace

TSimulatorNodesState& SimulatorNodes() { return State; }

void RegisterSimulatorCommands() {
  TSpider& root = *RootSpider;
  RegisterUtilityNodes(root);
  RegisterChannelNodes(root);
  for (int g = 0; g < kSimGeneratorCount; ++g) RegisterGenerator(root, g);
  // The simulator starts from the registered values.
  for (int g = 0; g < kSimGeneratorCount; ++g) PushGenerator(g);
  PushChannelSources();
  PushCalibrationSource();
  Rebuild();
}

void OnHCalModeChange() {
  if (!State.ClcPeriod) return;
  TDoubleEditHandler& period = *State.ClcPeriod;
  const int mode = State.HCalMode->GetIndex();
  period.SetDisabled(mode != hcmClock);
  if (TriggerSourceIndex() != TrigSourceIntClock) {
    period.SetMin(8e-8);
  } else if (mode == hcmClock) {
    period.SetMin(1e-5);
    if (TriggerSettings().IntRate) period.SetValueByProgram(TriggerSettings().IntRate->Value());
  }
}

void ApplySimulatorSettings() {
  OnVCalModeChange();
  OnHCalModeChange();
  OnCalibrWhenChange();
  for (int g = 0; g < kSimGeneratorCount; ++g) {
    TRadioSwHandler& waveform = *Nodes(g).Waveform;
    const uint32_t mask = waveform.GetDisabledMask();
    waveform.SetDisabledMask(HasTDROption() ? mask & ~TdrItemMask : mask | TdrItemMask);
    OnWaveformChange(g);
    OnStdFreqChange(g);
  }
  PushChannelSources();
  if (SignalsOn.IsOn(TTraceId::Ch1)) State.GssSelect->SetIndexByProgram(0);
}

void AssignSimulatorGenerators() {
  if (!State.CalibrWhen) return;  // not registered
  const bool real = IsRealInstrument();
  if (!real) State.CalibrWhen->SetMaskByProgram(0);
  for (int slot = 0; slot < 2; ++slot) {
    State.Channel[slot]->SetDisabledMask(real ? 0 : OffItemMask);
    State.Channel[slot]->SetIndexByProgram(real ? 0 : slot + 1);
  }
}

void SyncSimulatorWithTdrMode(int mode) {
  for (int g = 0; g < kSimGeneratorCount; ++g) {
    TRadioSwHandler& waveform = *Nodes(g).Waveform;
    const uint32_t noTdr = HasTDROption() ? 0 : TdrItemMask;
    if (mode == 1) {
      if (waveform.GetIndex() == gwTdt) waveform.SetIndexByProgram(gwTdr);
      waveform.SetDisabledMask(TdtItemMask | noTdr);
    } else if (mode == 2) {
      if (waveform.GetIndex() == gwTdr) waveform.SetIndexByProgram(gwTdt);
      waveform.SetDisabledMask(TdrItemMask);
    } else {
      waveform.SetDisabledMask(noTdr);
    }
  }
}

int GetSelectedGeneratorWaveform() { return Nodes(GetIndex(State.GssSelect)).Waveform->GetIndex(); }

}  // namespace norv
