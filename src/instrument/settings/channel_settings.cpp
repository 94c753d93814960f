#include "instrument/settings/channel_settings.h"

#include <algorithm>

#include "framework/language/language.h"
#include "framework/settings/choice_handlers.h"
#include "framework/settings/numeric_handlers.h"
#include "framework/settings/program_objects.h"
#include "framework/settings/settings_tree.h"
#include "framework/traces/trace_names.h"
#include "instrument/link/sample_stream.h"
#include "instrument/settings/acquisition_settings.h"
#include "instrument/settings/setting_rules.h"
#include "instrument/settings/setting_senders.h"
#include "instrument/settings/settings_hooks.h"
#include "instrument/settings/timebase_settings.h"

namespace norv {

namespace {

enum TUnitSystem : int { usVolt = 0, usRho = 1, usOhm = 2, usGain = 3 };
enum TAttenUnit : uint8_t { auOff = 0, auRatio = 1, auDB = 2 };

const char* const UnitPrefixes[] = {"", "Rho", "Ohm", "Gain"};

constinit TChannelSettingsState State;
const TProgramUnit StateUnit("channel settings", ResetChannelSettingsState);

int Slot(int channel) { return channel == 2 ? 0 : 1; }
int CodeOf(int slot) { return slot == 0 ? 2 : 3; }
TChannelNodes& Nodes(int channel) { return State.Nodes[Slot(channel)]; }
TTraceId FirstTrace(int channel) { return channel == 2 ? TTraceId::Ch1 : TTraceId::Ch2; }
TTraceId SecondTrace(int channel) { return channel == 2 ? TTraceId::Ch1B2 : TTraceId::Ch2B2; }

int UnitSystem(int channel) {
  const int unit = SettingsHooks.TDRVertUnit(channel);
  return unit >= usVolt && unit <= usGain ? unit : usVolt;
}

void Stop() { BreakAcquisition(true); }

bool Hidden(int channel) { return !SignalsOn.IsOn(FirstTrace(channel)); }

void AttenuationChanged(int channel) {
  Stop();
  TChannelNodes& n = Nodes(channel);
  if (!IsOn(n.Display)) SettingsHooks.DeleteChannelLayers(channel);
  const bool shown = !Hidden(channel);
  const uint8_t unit = n.AttenUnit->GetIndex();
  n.AttenRatio->SetDisabled(!shown || unit != auRatio);
  n.AttenDB->SetDisabled(!shown || unit != auDB);
  n.AttenDimens->SetDisabled(!shown || unit == auOff);
  n.Scale[usVolt]->NotifySwitchers();
  n.Offset[usVolt]->NotifySwitchers();
}

void ApplyEnabling(int channel) {
  TChannelNodes& n = Nodes(channel);
  const bool hidden = Hidden(channel);
  const int unit = UnitSystem(channel);
  for (int u = usVolt; u <= usGain; ++u) {
    n.Scale[u]->SetDisabled(hidden || unit != u);
    n.Offset[u]->SetDisabled(hidden || unit != u);
  }
  n.Band->SetDisabled(hidden);
  n.Deskew->SetDisabled(hidden);
  n.AttenUnit->SetDisabled(hidden);
  AttenuationChanged(channel);
  SettingsHooks.RefreshChannelStatus();
}

// The scale shown is per division of the stacked graticules in the probed quantity.
double ScaleFactor(int channel) { return GetAttenuationFactor(channel) * GetGraticuleSplit(); }

std::string VertUnitText(int channel) { return GetChannelVertUnit(channel, false); }

void SendCompensation(int channel) {
  SendChannelComp(channel, -Nodes(channel).Offset[usVolt]->GetFloatValue());
}

void ScaleChanged(THandler& h) {
  const int channel = ChannelOfHandler(h);
  auto& scale = *Nodes(channel).Scale[usVolt];
  if (SettingsHooks.OEOutputOnChannel(channel)) {
    if (h.GetWhoChangedRaw() == wcvSwitcher && scale.GetMode() == smCoarse) {
      const double v = scale.GetFloatValue();
      const double att = GetAttenuationFactor(channel);
      double snapped;
      if (v < scale.GetMin() + 1e-10) {
        snapped = scale.GetMin();
      } else if (v > scale.GetMax() - 1e-10) {
        snapped = scale.GetMax();
      } else {
        snapped = CorrectNewVal1_2_5(v * att) / att;
      }
      scale.SetValueByProgram(snapped);
    }
    // The zero level three divisions below the centre.
    Nodes(channel).Offset[usVolt]->SetValueByProgram(-3.0 * scale.GetFloatValue());
  }
  Stop();
}

void OffsetChanged(THandler& h) {
  Stop();
  SendCompensation(ChannelOfHandler(h));
}

void BandChanged(THandler& h) {
  const int channel = ChannelOfHandler(h);
  SendChannelBand(channel, Nodes(channel).Band->GetIndex() == 1);
  SettingsHooks.RefreshChannelStatus();
  Stop();
}

void DeskewChanged(THandler&) {
  ApplySamplingOrderRule();
  Stop();
}

void ScaleText(const TEditHandler& h, std::string& text, double value) {
  const int channel = ChannelOfHandler(h);
  text = FloatToEngStr(vfEngineering, 4, false, value * ScaleFactor(channel), false) + VertUnitText(channel) +
         GetLangStr("ByDiv");
}

void ScaleEntry(double& value, TEditHandler& h) {
  const double factor = ScaleFactor(ChannelOfHandler(h));
  if (factor != 0) value /= factor;
}

void OffsetText(const TEditHandler& h, std::string& text, double value) {
  const int channel = ChannelOfHandler(h);
  text = FloatToEngStr(vfEngineering, 4, false, -value * GetAttenuationFactor(channel), false) +
         VertUnitText(channel);
}

void OffsetEntry(double& value, TEditHandler& h) {
  const double factor = GetAttenuationFactor(ChannelOfHandler(h));
  value = -value / (factor != 0 ? factor : 1.0);
}

void RegisterChannel(int slot) {
  TSpider& root = *RootSpider;
  TChannelNodes& n = State.Nodes[slot];
  const int channel = CodeOf(slot);
  const std::string base = slot == 0 ? "Ch1:" : "Ch2:";
  const auto colour = static_cast<uint8_t>(TraceIndex(FirstTrace(channel)));
  const auto rule = [](THandler& h) { ApplyDisplayAcquireRule(ChannelOfHandler(h)); };
  const auto stop = [](THandler&) { Stop(); };
  const auto notifyScales = [](THandler& h) {
    TChannelNodes& nodes = Nodes(ChannelOfHandler(h));
    nodes.Scale[usVolt]->NotifySwitchers();
    nodes.Offset[usVolt]->NotifySwitchers();
  };
  // clang-format off
  n.Display = root.AddOnOff(true, base + "Display", rule);
  n.Acquire = root.AddOnOff(true, base + "Acquire", rule);
  n.Scale[usVolt] = root.AddDoubleEdit({
      .Path = base + "Scale", .Value = 0.2, .Unit = "V", .Digits = 4, .ColourSource = colour,
      .Min = 0.002, .Mid = 0.05, .Max = 0.5,
      .CoarseRule = sr1_2_5, .FineRule = srRelative, .FineStep = 0.005, .Tolerance = 1e-7,
      .OnChange = ScaleChanged, .OnGetText = ScaleText, .OnBeforeSet = ScaleEntry});
  n.Offset[usVolt] = root.AddDoubleEdit({
      .Path = base + "Offset", .Value = 0.0, .Unit = "V", .Digits = 4, .ColourSource = colour,
      .Min = -1.0, .Mid = 0.0, .Max = 1.0,
      .CoarseRule = srQuantised, .CoarseStep = 0.025,
      .FineRule = srQuantised, .FineStep = 0.001, .Tolerance = 1e-4,
      .OnChange = OffsetChanged, .OnGetText = OffsetText, .OnBeforeSet = OffsetEntry});
  n.Offset[usVolt]->SetShownReversed(true);
  n.Scale[usRho] = root.AddDoubleEdit({
      .Path = base + "RhoScale", .Value = 0.5, .Unit = "Rho/div", .Digits = 4, .ColourSource = colour,
      .Min = 0.01, .Mid = 0.5, .Max = 2.0,
      .CoarseRule = sr1_2_5, .FineRule = srRelative, .FineStep = 0.001, .Tolerance = 1e-6,
      .OnChange = stop});
  n.Offset[usRho] = root.AddDoubleEdit({
      .Path = base + "RhoOffset", .Value = 0.0, .Unit = "Rho", .Digits = 4, .ColourSource = colour,
      .Min = -8.0, .Mid = 0.0, .Max = 8.0,
      .CoarseRule = srLinear, .CoarseStep = 0.5, .FineRule = srLinear, .FineStep = 0.1, .Tolerance = 1e-3,
      .OnChange = stop});
  n.Scale[usOhm] = root.AddDoubleEdit({
      .Path = base + "OhmScale", .Value = 20.0, .Unit = "Ohm/div", .Digits = 4, .ColourSource = colour,
      .Min = 1.0, .Mid = 20.0, .Max = 100.0,
      .CoarseRule = sr1_2_5, .FineRule = srRelative, .FineStep = 0.1, .Tolerance = 0.1,
      .OnChange = stop});
  n.Offset[usOhm] = root.AddDoubleEdit({
      .Path = base + "OhmOffset", .Value = 0.0, .Unit = "Ohm", .Digits = 4, .ColourSource = colour,
      .Min = -400.0, .Mid = 0.0, .Max = 400.0,
      .CoarseRule = srLinear, .CoarseStep = 10.0, .FineRule = srLinear, .FineStep = 1.0, .Tolerance = 0.1,
      .OnChange = stop});
  n.Scale[usGain] = root.AddDoubleEdit({
      .Path = base + "GainScale", .Value = 0.5, .Unit = "/div", .Digits = 4, .ColourSource = colour,
      .Min = 0.01, .Mid = 0.5, .Max = 100.0,
      .CoarseRule = sr1_2_5, .FineRule = srRelative, .FineStep = 0.005, .Tolerance = 1e-4,
      .OnChange = stop});
  n.Offset[usGain] = root.AddDoubleEdit({
      .Path = base + "GainOffset", .Value = 0.0, .Digits = 4, .ColourSource = colour,
      .Min = -400.0, .Mid = 0.0, .Max = 400.0,
      .CoarseRule = srQuantised, .CoarseStep = 0.1,
      .FineRule = srQuantised, .FineStep = 0.001, .Tolerance = 1e-4,
      .OnChange = stop});
  n.Band = root.AddRadioSw(0, base + "Band", "Full,Narrow", BandChanged);
  n.AttenUnit = root.AddRadioSw(auOff, base + "Atten:Unit", " Off , Ratio , DB",
                                [](THandler& h) { AttenuationChanged(ChannelOfHandler(h)); });
  n.AttenRatio = root.AddDoubleEdit({
      .Path = base + "Atten:Ratio", .Value = 1.0, .Unit = ":1", .FormatMode = vfGeneral, .Digits = 7,
      .ColourSource = colour,
      .Min = 0.0001, .Mid = 1.0, .Max = 1000000.0,
      .CoarseRule = sr1_2_5, .FineRule = srRelative, .FineStep = 0.0001, .Tolerance = 1e-6,
      .OnChange = notifyScales});
  n.AttenDB = root.AddDoubleEdit({
      .Path = base + "Atten:DB", .Value = 0.0, .Unit = "dB", .FormatMode = vfGeneral, .ColourSource = colour,
      .Min = -80.0, .Mid = 0.0, .Max = 120.0,
      .CoarseRule = srDb, .FineRule = srQuantised, .FineStep = 0.2, .Tolerance = 0.05,
      .OnChange = notifyScales});
  n.AttenDimens = root.AddRadioSw(0, base + "Atten:Dimens", "Volt, Watt, Ampere, Unknown", notifyScales);
  n.Deskew = root.AddDoubleEdit({
      .Path = base + "Deskew", .Value = 0.0, .Unit = "s", .ColourSource = colour,
      .Min = 0.0, .Mid = 1e-8, .Max = 1e-7,
      .CoarseRule = srLinear, .CoarseStep = 1e-9,
      .FineRule = srQuantised, .FineStep = 1e-12, .Tolerance = 1e-13,
      .OnChange = DeskewChanged});
  // clang-format on
}

}  // namespace

TChannelSettingsState& ChannelSettings() { return State; }
void ResetChannelSettingsState() { State = {}; }

void RegisterChannelCommands() {
  State = {};
  State.MenuSelectL = RootSpider->AddRadioSw(0, "SHADOW:MenuSelectL", "Ch1,Ch2");
  State.MenuSelectR = RootSpider->AddRadioSw(1, "SHADOW:MenuSelectR", "Ch1,Ch2");
  RegisterChannel(0);
  RegisterChannel(1);
}

void ApplyChannelSettings() {
  for (int channel : {2, 3}) {
    OffsetChanged(*Nodes(channel).Offset[usVolt]);
    BindChannelScaleControls(channel);
    ApplyDisplayAcquireRule(channel);
    BandChanged(*Nodes(channel).Band);
  }
}

void ApplyDisplayAcquireRule(int channel) {
  TChannelNodes& n = Nodes(channel);
  n.Acquire->SetDisabled(IsOn(n.Display));
  const bool acquired = IsChannelAcquired(channel);
  SignalsOn.SetOn(FirstTrace(channel), acquired);
  SignalsOn.SetOn(SecondTrace(channel),
                  acquired && GetTimeBaseMode() == tbmB && IsOn(TimeBaseSettings().DualDel));
  const int other = channel == 2 ? 3 : 2;
  if (!acquired && !IsChannelAcquired(other)) {
    // At least one channel is always acquired.
    Nodes(other).Acquire->SetOnByProgram(true);
    SignalsOn.SetOn(FirstTrace(other), true);
  }
  ApplyEnabling(channel);
  if (channel == 3) ApplyHorizontalUnits(false);
  ApplySamplingOrderRule();
  Stop();
  SettingsHooks.UpdateTDRChannelSelect();
  SendAcqChannels(AcquiredSetCode(IsChannelAcquired(2), IsChannelAcquired(3)), false);
}

bool IsChannelAcquired(int channel) {
  const TChannelNodes& n = Nodes(channel);
  return IsOn(n.Display) || IsOn(n.Acquire);
}

bool IsSourceShown(int traceId) {
  const auto id = TraceIdFromInt(traceId);
  if (!id || !SignalsOn.IsOn(*id)) return false;
  if (traceId <= 1) return IsOn(State.Nodes[0].Display);
  if (traceId <= 3) return IsOn(State.Nodes[1].Display);
  return true;
}

std::string GetChannelVertUnit(int channel, bool useTDR) {
  const int unit = UnitSystem(channel);
  if (useTDR && unit != usVolt) return unit == usGain ? "" : UnitPrefixes[unit];
  const TChannelNodes& n = Nodes(channel);
  if (GetIndex(n.AttenUnit) == auOff) return "V";
  static const char* const dimensions[] = {"V", "W", "A", "?"};
  return dimensions[std::min<int>(GetIndex(n.AttenDimens), 3)];
}

double GetAttenuationFactor(int channel) {
  if (UnitSystem(channel) != usVolt) return 1.0;
  const TChannelNodes& n = Nodes(channel);
  return AttenuationFactor(GetIndex(n.AttenUnit), GetFloatValue(n.AttenRatio), GetFloatValue(n.AttenDB));
}

std::string GetChannelUnitPrefix(int channel) { return UnitPrefixes[UnitSystem(channel)]; }

void BindChannelScaleControls(int channel) {
  Stop();
  ApplyEnabling(channel);
  const std::string base = std::string(channel == 2 ? "Ch1:" : "Ch2:") + GetChannelUnitPrefix(channel);
  SettingsHooks.BindMainChannelControls(channel, base + "Scale", base + "Offset");
  SettingsHooks.RefreshChannelPages();
}

int GetGraticuleSplit() { return std::max(1, SettingsHooks.GraticuleSplit()); }

void NotifyChannelScales() {
  for (TChannelNodes& n : State.Nodes) {
    if (n.Scale[usVolt]) n.Scale[usVolt]->NotifySwitchers();
    if (n.Offset[usVolt]) n.Offset[usVolt]->NotifySwitchers();
  }
}

int ChannelOfHandler(const THandler& handler) {
  const TChannelNodes& n = State.Nodes[0];
  const THandler* own[] = {n.Display,     n.Acquire,   n.Band,      n.AttenUnit, n.AttenRatio, n.AttenDB,
                           n.AttenDimens, n.Deskew,    n.Scale[0],  n.Scale[1],  n.Scale[2],   n.Scale[3],
                           n.Offset[0],   n.Offset[1], n.Offset[2], n.Offset[3]};
  return std::find(std::begin(own), std::end(own), &handler) != std::end(own) ? 2 : 3;
}

double GetChannelDeskew(int channel) { return GetFloatValue(Nodes(channel).Deskew); }

}  // namespace norv
