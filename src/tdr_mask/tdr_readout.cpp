#include "tdr_mask/tdr_readout.h"

#include <algorithm>
#include <cmath>

#include "display/bottom_text.h"
#include "display/scope_crt.h"
#include "framework/language/language.h"
#include "framework/settings/program_objects.h"
#include "framework/settings/value_text.h"
#include "framework/traces/display_sources.h"
#include "instrument/acquisition/acquisition_hooks.h"
#include "instrument/record/signal_obj.h"
#include "measure/markers/markers.h"
#include "tdr_mask/tdr_settings.h"
#include "units/tdr_units.h"

namespace norv {

namespace {

constinit THeterogeneity State;
const TProgramUnit StateUnit("TDR excess readout", [] { State = {}; });

// The readout's row of the marker strip, below the markers' own four.
constexpr int kReadoutRow = 5;
constexpr int kReadoutColumn = 1;

// The time step of the record; on a distance axis the time the step takes the reflection
// (there and back) to travel.
double TimeStep(const TSignalObj& r) {
  double dt = r.GetDX();
  const std::string& unit = r.GetHorUnit();
  if (unit == "s") return dt;
  dt = std::sqrt(r.GetPropagation()) * 2 * dt / kTdrSpeedOfLight;
  if (unit == "ft") dt *= kMetresPerFoot;
  if (unit == "in") dt *= kMetresPerInch;
  return dt;
}

bool IsChannelTrace(TTraceId id) {
  return id == TTraceId::Ch1 || id == TTraceId::Ch1B2 || id == TTraceId::Ch2 || id == TTraceId::Ch2B2;
}

// The value begins a blank after the label, which may run on past its cell.
void PutText(std::string& cached, const std::string& text, bool caption) {
  if (text == cached) return;
  cached = text;
  if (!ScopeCRT) return;
  TNizText& strip = ScopeCRT->BottomText();
  const std::string label = State.LabelText.empty() ? "" : State.LabelText + " ";
  const TRect rect = caption ? strip.MarkCaptionRect(kReadoutRow, kReadoutColumn, label)
                             : strip.MarkValueRect(kReadoutRow, kReadoutColumn, label);
  strip.WriteLine(text, rect, -1, GetDisplaySourceRGB(State.Source));
}

}  // namespace

THeterogeneity& Heterogeneity() { return State; }

TExcessLC ComputeExcessLC(const TSignalObj& record, int a, int b, bool ohm) {
  TExcessLC result;
  const int last = static_cast<int>(record.GetRecLen()) - 1;
  if (last < 0) return result;
  if (a > b) std::swap(a, b);
  a = std::clamp(a, 0, last);
  b = std::clamp(b, 0, last);
  const auto reflection = [&](int i) {
    const double y = record.GetY(i);
    return ohm ? OhmsToReflection(y) : y;
  };
  const double y0 = reflection(a);
  const double z1 = ReflectionToOhms(y0);
  double sum = 0;
  for (int i = a; i <= b; ++i) sum += reflection(i) - y0;
  sum *= TimeStep(record);
  if (!(std::abs(z1) > 1e-10)) return result;
  const double k = (z1 + kTdrReferenceOhms) * (z1 + kTdrReferenceOhms) / 4 / kTdrReferenceOhms / z1;
  result.Valid = true;
  result.Capacitive = sum < 0;
  result.Value = result.Capacitive ? -2 * sum / z1 * k : 2 * sum * z1 * k;
  return result;
}

void UpdateTDRMarkerUnits() {
  const bool wasShown = State.Shown;
  State.Shown = false;
  State.Ohm = false;
  const TMarkType type = GetMarkType();
  if (IsTDRActive() && (type == mtMX || type == mtXY) && MarkerSource(1) == MarkerSource(2)) {
    State.Source = static_cast<TTraceId>(TraceIndex(MarkerSource(1)) & 0x7F);
    if (IsChannelTrace(State.Source)) {
      const int channel = State.Source == TTraceId::Ch1 || State.Source == TTraceId::Ch1B2 ? 2 : 3;
      const TTdrVertUnit unit = GetTDRVertUnit(channel, false);
      State.Shown = unit == tvuRho || unit == tvuOhm;
      State.Ohm = unit == tvuOhm;
    }
  }
  if (State.Shown != wasShown) ShowTDRExcessLC();
}

void ShowTDRExcessLC() {
  std::string label, value;
  if (State.Shown) {
    // Between the two markers.
    const TExcessLC lc =
        ComputeExcessLC(SignalObjs()[State.Source], MarkerPointIndex(1), MarkerPointIndex(2), State.Ohm);
    if (!lc.Valid) return;
    label = GetLangStr("Excess") + (lc.Capacitive ? " C" : " L");
    value = FloatToEngStr(vfEngineering, 3, false, lc.Value, false) + (lc.Capacitive ? "F" : "H");
  }
  PutText(State.LabelText, label, true);
  PutText(State.ValueText, value, false);
}

void InstallTdrReadout() {
  MarkHooks.UpdateTDRMarkerUnits.Set(UpdateTDRMarkerUnits);
  MarkHooks.ShowTDRExcessLC.Set(ShowTDRExcessLC);
  AcqHooks.ShowTDRExcessLC.Set(ShowTDRExcessLC);
}

}  // namespace norv
