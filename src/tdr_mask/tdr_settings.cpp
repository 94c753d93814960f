#include "tdr_mask/tdr_settings.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>

#include "analysis/derived_settings.h"
#include "display/layers_of_signals.h"
#include "display/scope_crt.h"
#include "framework/language/language.h"
#include "framework/settings/choice_handlers.h"
#include "framework/settings/numeric_handlers.h"
#include "framework/settings/program_objects.h"
#include "framework/text/dot_number.h"
#include "framework/util/dialog_service.h"
#include "instrument/acquisition/acquisition_hooks.h"
#include "instrument/acquisition/acquisition_state.h"
#include "instrument/acquisition/procedures.h"
#include "instrument/link/instrument_identity.h"
#include "instrument/link/sample_stream.h"
#include "instrument/record/signal_obj.h"
#include "instrument/settings/acquisition_settings.h"
#include "instrument/settings/channel_settings.h"
#include "instrument/settings/settings_hooks.h"
#include "instrument/settings/timebase_settings.h"
#include "instrument/simulator/simulator.h"
#include "instrument/simulator/simulator_nodes.h"
#include "instrument/simulator/simulator_settings.h"
#include "tdr_mask/generator_settings.h"
#include "tdr_mask/tdr_measure.h"
#include "tdr_mask/tdr_normalization.h"
#include "tdr_mask/tdr_readout.h"

namespace norv {

namespace {

constinit TTdrSettingsState State;
const TProgramUnit StateUnit("TDR settings", ResetTdrSettingsState);
const TProgramUnit HooksUnit("TDR hooks", [] { TdrHooks = {}; });

constexpr const char* kSourceNames[kTdrSourceCount] = {"Ch1", "Ch2", "NormCh1", "NormCh2"};
constexpr int kMarginMax = 4000;

bool Registered() { return State.Mode != nullptr; }
uint8_t ModeIndex() { return Registered() ? State.Mode->GetIndex() : uint8_t{tmOff}; }
int Slot(int channel) { return channel == 3 ? 1 : 0; }
int ChannelCode(int slot) { return slot == 1 ? 3 : 2; }
bool IsG(uint8_t destination) { return destination == tdG1 || destination == tdG2; }

void ForEach(std::initializer_list<THandler*> nodes, bool disabled) {
  for (THandler* h : nodes) h->SetDisabled(disabled);
}

// --- vertical scale ---

void VertScaleChanged(int slot) {
  BindChannelScaleControls(ChannelCode(slot));
  UpdateTDRMarkerUnits();
}

// --- destination rules ---

bool ChannelAvailable(int slot) {
  return IsTDRActive() && (State.ChSelect->GetDisabledMask() & (1u << slot)) == 0;
}

void DestinationRule(int slot) {
  TTdrChannelNodes& n = State.Channels[static_cast<size_t>(slot)];
  TTdrChannelNodes& other = State.Channels[static_cast<size_t>(1 - slot)];
  const bool available = ChannelAvailable(slot);
  const uint8_t destination = n.Destination->GetIndex();
  other.Destination->SetDisabledMask(0);
  // One generator output serves one channel.
  if (available && IsG(destination)) {
    other.Destination->SetDisabledMask(1u << destination);
    if (other.Destination->GetIndex() == destination) other.Destination->SetIndexByProgram(tdOff);
  }
  n.Destination->SetDisabled(!available);
  const bool inUse = available && destination != tdOff;
  ForEach({n.NormTime, n.Normalize, n.DoVertCalibr, n.RefPlane}, !inUse);
  n.Polar->SetDisabled(!(inUse && destination == tdExternal));
  n.InternalGenerator = IsG(destination);
  if (inUse && n.InternalGenerator) n.Polar->SetIndexByProgram(1);
  const bool tdr = ModeIndex() == tmTDR;
  ForEach({n.VertScale, n.RefAmpl, n.BaseLine}, !(inUse && tdr));
  ForEach({n.VertTDTScale, n.RefTDTAmpl, n.RefTDTZero}, !(inUse && !tdr));
  VertScaleChanged(slot);
  // F1 (F2) is fixed to the corrected trace only while the channel is corrected.
  UpdateFunctionMenuEnabling(slot);
}

// The generator outputs a TDR channel uses are driven as a step of negative polarity.
void GeneratorSide() {
  if (!HasTDROption()) return;
  const TGeneratorSettingsState& gen = GeneratorSettings();
  if (!gen.Mode) return;
  const bool active = IsTDRActive();
  const auto uses = [&](uint8_t g) {
    return active && std::any_of(State.Channels.begin(), State.Channels.end(),
                                 [g](const TTdrChannelNodes& n) { return n.Destination->GetIndex() == g; });
  };
  const bool g1 = uses(tdG1), g2 = uses(tdG2);
  gen.Mode->SetDisabled(g1 || g2);
  if (g1 || g2) gen.Mode->SetIndexByProgram(gmStep);
  for (int output = 0; output < 2; ++output) {
    const bool used = output == 0 ? g1 : g2;
    TRadioSwHandler* polarity = gen.Outputs[static_cast<size_t>(output)].Polarity;
    polarity->SetDisabled(used);
    if (used) polarity->SetIndexByProgram(1);
  }
}

void DestinationRules() {
  if (!Registered()) return;
  for (int slot = 0; slot < 2; ++slot) DestinationRule(slot);
  GeneratorSide();
}

// --- horizontal unit and propagation ---

void PropagationEnabling() {
  const bool distance = IsTDRActive() && State.HorScale->GetIndex() != thTime;
  const bool byDielectric = State.Unit->GetIndex() == 1;
  State.Velos->SetDisabled(!(distance && !byDielectric));
  State.DielConst->SetDisabled(!(distance && byDielectric));
}

void HorizontalUnitSequence() {
  ApplyHorizontalUnits(true);
  State.Unit->SetDisabled(State.HorScale->IsDisabled() || State.HorScale->GetIndex() == thTime);
  PropagationEnabling();
}

// Velocity factor and dielectric constant are held to their own digits, so the choice between
// them moves the factor slightly: the length scales follow it as they follow a new velocity.
void PropagationUnitChanged() {
  PropagationEnabling();
  RecalcTimeBaseScales();
}

void PropagationChanged(THandler& h) {
  if (h.GetWhoChangedRaw() == wcvProgram) return;
  if (&h == State.DielConst) {
    State.Velos->SetValueByProgram(1 / std::sqrt(State.DielConst->GetValue()));
  } else {
    const double v = State.Velos->GetValue();
    State.DielConst->SetValueByProgram(1 / (v * v));
  }
  RecalcTimeBaseScales();
}

// --- mode ---

void ModeChanged() {
  for (TTdrChannelNodes& n : State.Channels) n.Calibrated = n.Warned = false;
  TdrHooks.ResetTdrMenuPage();
  // The time base keeps its scales in time units; the length scales follow the new path
  // (halved in TDR mode), or they would change only at the next start.
  const uint8_t hor = State.HorScale->GetIndex();
  State.HorScale->SetIndexByProgram(thTime);
  RecalcTimeBaseScales();
  State.HorScale->SetIndexByProgram(hor);
  DestinationRules();
  HorizontalUnitSequence();
  if (IsTDRActive()) {
    if (AcquisitionSettings().FitTo) AcquisitionSettings().FitTo->SetIndexByProgram(1);  // Single
  } else {
    TdrHooks.ResetTdrMenuPage();
  }
  GeneratorSide();
  UpdateTDRMarkerUnits();
  SimulatorNodes().RefreshGssWaveformPage();
  TdrMeasureChanged();
  SyncSimulatorWithTdrMode(ModeIndex());
}

// --- vertical calibration ---

void DoVertCalibr(int slot, const THandler& command) {
  if (RefusedBesideProcedure(TProcedure::TdrChannelCalibration)) return;
  TTdrChannelNodes& n = State.Channels[static_cast<size_t>(slot)];
  const bool tdr = ModeIndex() == tmTDR;
  if (tdr)
    ProgramSimulator().SetSimTDRCircuit(ChannelCode(slot), TSimTdrCircuit::R50);
  else
    ProgramSimulator().SetSimTDTCircuit(ChannelCode(slot), TSimTdtCircuit::Stimul);
  // From a control the calibration's window asks the user before it starts.
  const bool fromControl = command.GetWhoChangedRaw() == wcvSwitcher;
  BreakAcquisition(false);
  const TTraceId trace = slot == 0 ? TTraceId::Ch1 : TTraceId::Ch2;
  // Only a calibration that succeeds stores its values: a failed or cancelled one leaves the
  // references as they are, with what someone else set meanwhile.
  RunFailingCommand([&] {
    if (!TdrHooks.RunChannelCalibration(ChannelCode(slot), trace, tdr, !fromControl)) return false;
    n.Calibrated = true;
    return true;
  });
}

// --- margins ---

TSignalObj& SourceRecord(int source) { return SignalObjs()[TdrSourceTrace(source)]; }

int SourceOf(const THandler& h) {
  for (int s = 0; s < kTdrSourceCount; ++s) {
    const TTdrSourceNodes& n = State.Sources[static_cast<size_t>(s)];
    if (&h == n.LeftMargins || &h == n.RightMargins || &h == n.TdrParams || &h == n.TdtParams) return s;
  }
  return 0;
}

void MarginText(const TEditHandler& h, std::string& text, double sx) {
  const TSignalObj& r = SourceRecord(SourceOf(h));
  text = FloatToEngStr(vfEngineering, 5, false, r.ScreenXToX(sx), false) + r.GetHorUnit();
}

// A typed axis value; one the record cannot place is no value. A value that reads as the
// current one (an answer sent back, or any value of a record without an axis yet) keeps it.
void MarginTyped(double& value, TEditHandler& h) {
  const TSignalObj& r = SourceRecord(SourceOf(h));
  std::string current;
  MarginText(h, current, h.GetValue());
  if (FloatToEngStr(vfEngineering, 5, false, value, false) + r.GetHorUnit() == current) {
    value = h.GetValue();
    return;
  }
  const double sx = r.IndexToScreenX(r.XToIndex(value));
  value = std::isfinite(sx) ? sx : std::nan("");
}

void LeftMarginChanged(THandler& h) {
  const TTdrSourceNodes& n = State.Sources[static_cast<size_t>(SourceOf(h))];
  const int left = n.LeftMargins->GetIntValue();
  if (n.RightMargins->GetIntValue() <= left) n.RightMargins->SetValueByProgram(left + 1);
}

void RightMarginChanged(THandler& h) {
  const TTdrSourceNodes& n = State.Sources[static_cast<size_t>(SourceOf(h))];
  const int right = n.RightMargins->GetIntValue();
  if (n.LeftMargins->GetIntValue() >= right) n.LeftMargins->SetValueByProgram(right - 1);
}

// --- measurement source ---

// A source whose trace has no layer on the screen cannot be measured. The source leaves it
// only once the trace is hidden: a shown trace lacks its layer just until its next draw
// (the screens rebuilt, its style changed, the first draw), and the user's choice stays.
void SourceMaskRule(const TLayersOfSignals& layers) {
  if (!Registered()) return;
  uint32_t mask = 0;
  for (int source = 0; source < kTdrSourceCount; ++source)
    if (!layers.GetLayer(TdrSourceTrace(source))) mask |= 1u << source;
  State.Source->SetDisabledMask(mask);
  const auto gone = [mask](int source) {
    return (mask & (1u << source)) != 0 && !IsSourceShown(TraceIndex(TdrSourceTrace(source)));
  };
  if (gone(State.Source->GetIndex())) State.Source->SetIndexByProgram(gone(1) ? 0 : 1);
}

// --- registration ---

TDoubleEditHandler* AddLevel(const std::string& path, double value, double min, double mid, double max,
                             double coarse, double fine, double tolerance, const char* unit = "V") {
  return RootSpider->AddDoubleEdit({.Path = path,
                                    .Value = value,
                                    .Unit = unit,
                                    .Digits = 5,
                                    .Min = min,
                                    .Mid = mid,
                                    .Max = max,
                                    .CoarseRule = srQuantised,
                                    .CoarseStep = coarse,
                                    .FineRule = srQuantised,
                                    .FineStep = fine,
                                    .Tolerance = tolerance});
}

void RegisterChannel(int slot) {
  TSpider& root = *RootSpider;
  const std::string base = slot == 0 ? "TDR:Ch1:" : "TDR:Ch2:";
  TTdrChannelNodes& n = State.Channels[static_cast<size_t>(slot)];
  n.Destination = root.AddRadioSw(0, base + "Destination", "Off,G1,G2,External", [slot](THandler&) {
    DestinationRule(slot);
    GeneratorSide();
  });
  n.Polar = root.AddRadioSw(0, base + "Polar", "Pos,Neg");
  n.VertScale =
      root.AddRadioSw(0, base + "VertScale", "Volt,Rho,Ohm", [slot](THandler&) { VertScaleChanged(slot); });
  n.VertTDTScale = root.AddRadioSw(0, base + "VertTDTScale", "Volt,Gain", [slot](THandler& h) {
    if (!h.IsDisabled()) VertScaleChanged(slot);
  });
  n.DoVertCalibr =
      root.AddRightCommand(base + "DoVertCalibr", [slot](THandler& h) { DoVertCalibr(slot, h); });
  n.RefAmpl = AddLevel(base + "RefAmpl", 0.1, 0.01, 0.2, 0.5, 0.01, 0.001, 0.0001);
  n.RefTDTAmpl = AddLevel(base + "RefTDTAmpl", 0.4, 0.01, 0.2, 0.5, 0.01, 0.001, 0.0001);
  n.RefTDTZero = AddLevel(base + "RefTDTZero", 0, -1, 0, 1, 0.01, 0.0005, 0.00005);
  n.BaseLine = AddLevel(base + "BaseLine", -0.2, -1, 0, 1, 0.01, 0.0005, 0.00005);
  n.RefPlane = AddLevel(base + "RefPlane", 2e-9, 0, 2e-9, 1e-7, 1e-10, 1e-12, 1e-13, "s");
  n.NormTime = root.AddDoubleEdit({.Path = base + "NormTime",
                                   .Value = 5e-11,
                                   .Unit = "s",
                                   .Digits = 4,
                                   .Min = 1e-11,
                                   .Mid = 5e-11,
                                   .Max = 1e-8,
                                   .CoarseRule = sr1_2_5,
                                   .CoarseStep = 1,
                                   .FineRule = srRelative,
                                   .FineStep = 0.05,
                                   .Tolerance = 5e-13,
                                   .OnChange = [slot](THandler&) { NormTimeChanged(ChannelCode(slot)); }});
  n.Normalize = root.AddOnOff(
      false, base + "Normalize", [slot](THandler& h) { NormalizeChanged(ChannelCode(slot), h); },
      [slot](THandler&) { NormalizeBeforeChange(ChannelCode(slot)); });
}

void RegisterSource(int source) {
  TSpider& root = *RootSpider;
  const std::string base = std::string("TDR:") + kSourceNames[source] + ":";
  const auto colour = static_cast<uint8_t>(TraceIndex(TdrSourceTrace(source)));
  TTdrSourceNodes& n = State.Sources[static_cast<size_t>(source)];
  n.TdrParams = root.AddCheckSw(0, base + "TdrParams", "MinReflect,MaxReflect", TdrParamsChanged);
  n.TdtParams = root.AddCheckSw(0, base + "TdtParams", "PropDelay,Gain,DbGain", TdrParamsChanged);
  const auto margin = [&](const char* name, int value, int min, int mid, int max, THandlerEvent onChange) {
    return root.AddIntEdit({.Path = base + name,
                            .Value = value,
                            .ColourSource = colour,
                            .Min = static_cast<double>(min),
                            .Mid = static_cast<double>(mid),
                            .Max = static_cast<double>(max),
                            .CoarseRule = srLinear,
                            .CoarseStep = 80,
                            .FineRule = srLinear,
                            .FineStep = 1,
                            .OnChange = std::move(onChange),
                            .OnGetText = MarginText,
                            .OnBeforeSet = MarginTyped});
  };
  // The left margin starts at its own minimum, not at 0 below it.
  n.LeftMargins = margin("LeftMargins", 1, 1, 2000, kMarginMax - 1, LeftMarginChanged);
  // The right margin stays above the smallest left one, so that its minimum keeps the order.
  n.RightMargins = margin("RightMargins", kMarginMax, 2, 2001, kMarginMax, RightMarginChanged);
}

}  // namespace

TTdrSettingsState& TdrSettings() { return State; }
void ResetTdrSettingsState() { State = {}; }

TTdrChannelNodes& TdrChannel(int channel) { return State.Channels[static_cast<size_t>(Slot(channel))]; }

TTraceId TdrSourceTrace(int source) {
  static constexpr TTraceId traces[kTdrSourceCount] = {TTraceId::Ch1, TTraceId::Ch2, TTraceId::F1,
                                                       TTraceId::F2};
  return traces[std::clamp(source, 0, kTdrSourceCount - 1)];
}
std::string TdrSourceName(int source) { return kSourceNames[std::clamp(source, 0, kTdrSourceCount - 1)]; }

bool IsTDRActive(int) { return HasTDROption() && ModeIndex() != tmOff; }
bool IsTDRMode(int) { return HasTDROption() && ModeIndex() == tmTDR; }
double GetTDRDivisor(int channel) { return TdrPathDivisor(IsTDRMode(channel)); }
std::string GetTDRModeText() { return IsTDRMode() ? "TDR" : "TDT"; }

double GetPropagationFactor() {
  if (!Registered()) return 1.0;
  return PropagationFactor(State.Unit->GetIndex() == 1, State.DielConst->GetValue(), State.Velos->GetValue());
}

TTdrVertUnit GetTDRVertUnit(int channel, bool raw) {
  if (!IsTDRActive(channel)) return tvuVolt;
  // A channel being corrected is shown in volts.
  if (!raw && NormalizationDialogChannel() == channel) return tvuVolt;
  const TTdrChannelNodes& n = TdrChannel(channel);
  if (n.Destination->GetIndex() == tdOff) return tvuVolt;
  if (IsTDRMode(channel)) return static_cast<TTdrVertUnit>(n.VertScale->GetIndex());
  return n.VertTDTScale->GetIndex() == 1 ? tvuGain : tvuVolt;
}

void UpdateTDRChannelSelect() {
  if (!Registered()) return;
  uint32_t mask = 0;
  if (!SignalsOn.IsOn(TTraceId::Ch1)) mask |= 1;
  if (!SignalsOn.IsOn(TTraceId::Ch2)) mask |= 2;
  State.ChSelect->SetDisabledMask(mask);
  const uint8_t chosen = State.ChSelect->GetIndex();
  if ((mask & (1u << chosen)) != 0 && (mask & (1u << (1 - chosen))) == 0)
    State.ChSelect->SetIndexByProgram(static_cast<uint8_t>(1 - chosen));
  DestinationRules();
}

void RegisterTDRHandlers() {
  if (!RootSpider || RootSpider->FindHandler("TDR:Mode")) return;
  TSpider& root = *RootSpider;
  State.Mode = root.AddRadioSw(0, "TDR:Mode", "Off,TDR,TDT", [](THandler&) { ModeChanged(); });
  State.ChSelect = root.AddRadioSw(0, "Shadow:TDRChSelect", "Ch1,Ch2");
  for (int slot = 0; slot < 2; ++slot) RegisterChannel(slot);
  State.HorScale =
      root.AddRadioSw(0, "TDR:HorScale", "Time,Meter,Foot,Inch", [](THandler&) { HorizontalUnitSequence(); });
  State.Unit =
      root.AddRadioSw(0, "TDR:Unit", "Velocity, DielConst", [](THandler&) { PropagationUnitChanged(); });
  State.Velos = root.AddDoubleEdit({.Path = "TDR:Velos",
                                    .Value = 1,
                                    .Digits = 4,
                                    .Min = 0.1,
                                    .Mid = 0.3,
                                    .Max = 1,
                                    .CoarseRule = srQuantised,
                                    .CoarseStep = 0.05,
                                    .FineRule = srQuantised,
                                    .FineStep = 0.005,
                                    .Tolerance = 1e-7,
                                    .OnChange = PropagationChanged});
  State.DielConst = root.AddDoubleEdit({.Path = "TDR:DielConst",
                                        .Value = 1,
                                        .Digits = 4,
                                        .Min = 1,
                                        .Mid = 10,
                                        .Max = 100,
                                        .CoarseRule = srQuantised,
                                        .CoarseStep = 5,
                                        .FineRule = srQuantised,
                                        .FineStep = 0.01,
                                        .Tolerance = 1e-6,
                                        .OnChange = PropagationChanged});
  State.Measure = root.AddOnOff(false, "TDR:Measure", [](THandler&) { TdrMeasureChanged(); });
  State.Source = root.AddRadioSw(0, "TDR:Source", "Ch1,Ch2,NormCh1,NormCh2");
  State.ViewMargins = root.AddOnOff(true, "TDR:ViewMargins", [](THandler&) { TdrViewMarginsChanged(); });
  for (int source = 0; source < kTdrSourceCount; ++source) RegisterSource(source);
}

void ApplyTDRSettings() {
  if (!Registered()) return;
  if (ScopeCRT) ScopeCRT->LayersOfSignals().SetOnChange(SourceMaskRule);
  ModeChanged();
  for (int slot = 0; slot < 2; ++slot) VertScaleChanged(slot);
  UpdateTDRChannelSelect();
  GeneratorSide();
}

void InstallTdr() {
  SettingsHooks.TDRVertUnit.Set([](int channel) { return static_cast<int>(GetTDRVertUnit(channel, false)); });
  SettingsHooks.TDRActive.Set([] { return IsTDRActive(); });
  SettingsHooks.TDRHorizontalScale.Set(
      [] { return Registered() ? static_cast<int>(State.HorScale->GetIndex()) : 0; });
  SettingsHooks.TDRPropagationFactor.Set(GetPropagationFactor);
  SettingsHooks.TDRPathDivisor.Set([] { return GetTDRDivisor(); });
  SettingsHooks.UpdateTDRChannelSelect.Set(UpdateTDRChannelSelect);
  AcqHooks.TdrChannelSettings.Set([](int channel) {
    TTdrChannelSettings s;
    if (!IsTDRActive(channel)) return s;
    const TTdrChannelNodes& n = TdrChannel(channel);
    s.Mode = IsTDRMode(channel) ? TTdrMode::TDR : TTdrMode::TDT;
    s.PolarPositive = n.Polar->GetIndex() == 0;
    s.RefAmpl = n.RefAmpl->GetValue();
    s.RefTDTAmpl = n.RefTDTAmpl->GetValue();
    s.RefTDTZero = n.RefTDTZero->GetValue();
    s.BaseLine = n.BaseLine->GetValue();
    return s;
  });
  InstallTdrReadout();
  InstallTdrMeasure();
  InstallTdrNormalization();
}

}  // namespace norv
