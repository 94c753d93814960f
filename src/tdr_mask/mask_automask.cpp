// The automask: a two-polygon user mask kept a margin away from the shown waveform of one
// trace, below its lower and above its upper envelope.

#include <algorithm>
#include <cmath>
#include <vector>

#include "display/scope_crt.h"
#include "framework/language/language.h"
#include "framework/settings/choice_handlers.h"
#include "framework/settings/numeric_handlers.h"
#include "framework/settings/value_text.h"
#include "framework/traces/trace_names.h"
#include "framework/util/dialog_service.h"
#include "instrument/record/signal_obj.h"
#include "tdr_mask/mask_files.h"
#include "tdr_mask/mask_object.h"
#include "tdr_mask/mask_testing.h"

namespace norv {

namespace {

constexpr int kLast = kMaskColumns - 1;  // 4000
constexpr int kLeftOut = -555;

// The record's shown points per screen column, gaps interpolated; empty without points.
std::vector<int> SampleColumns(const TSignalObj& r) {
  std::vector<int> column(kMaskColumns, kLeftOut);
  const int shown = r.GetShownCount();
  for (int i = 0; i < shown; ++i) {
    const double sx = std::nearbyint(r.ShownIndexToScreenX(i));
    if (!(sx >= 0 && sx <= kLast)) continue;
    const double sy = std::clamp(std::nearbyint(r.ValueToScreenY(r.GetDisplayValue(i))), 1.0, 1023.0);
    column[static_cast<size_t>(sx)] = static_cast<int>(sy);
  }
  int previous = -1;
  for (int x = 0; x <= kLast; ++x) {
    if (column[x] == kLeftOut) continue;
    if (previous < 0) {
      std::fill(column.begin(), column.begin() + x, column[x]);
    } else {
      for (int k = previous + 1; k < x; ++k)
        column[k] = static_cast<int>(std::lround(column[previous] + double(column[x] - column[previous]) *
                                                                        (k - previous) / (x - previous)));
    }
    previous = x;
  }
  if (previous < 0) return {};
  std::fill(column.begin() + previous + 1, column.end(), column[previous]);
  return column;
}

void BuildPass(const std::vector<int>& sampled, int dX, int dY, bool upper, TMaskSlot& slot) {
  std::vector<int> shifted(kMaskColumns);
  for (int x = 0; x <= kLast; ++x) shifted[x] = std::clamp(sampled[x] + (upper ? dY : -dY), 1, 1023);
  std::vector<int> v = shifted;
  for (int k = -dX; k <= dX; ++k) {
    if (k == 0) continue;
    for (int x = std::abs(k); x <= kLast - std::abs(k); ++x) {
      const int other = shifted[x + k];
      v[x] = upper ? std::max(v[x], other) : std::min(v[x], other);
    }
  }
  std::vector<bool> out(kMaskColumns, false);
  for (int x = 0; x < dX; ++x) out[x] = out[kLast - x] = true;
  const int end = kLast - dX;
  // Flat stretches keep their ends only.
  for (int x = dX; x < 3900 - dX;) {
    int differs = -1;
    for (int k = x + 1; k <= x + 100; ++k)
      if (v[k] != v[x]) {
        differs = k;
        break;
      }
    if (differs >= 0) {
      x = differs;
      continue;
    }
    int last = x + 100;
    while (last + 1 <= end && v[last + 1] == v[x]) ++last;
    for (int k = x + 1; k < last; ++k) out[k] = true;
    x = last + 1;
  }
  // Straight runs keep their ends only.
  const double tol = std::max(0.53, std::min(dX, dY) / 10.0);
  std::vector<int> kept;
  for (int x = dX; x <= end; ++x)
    if (!out[x]) kept.push_back(x);
  // The thinning works on the columns still in the polygon.
  std::vector<int> values;
  for (int x : kept) values.push_back(v[x]);
  std::vector<bool> drop(kept.size(), false);
  size_t s = 0;
  while (s + 1 < kept.size()) {
    size_t best = s;
    size_t length = 0;
    for (size_t step = 256; step >= 1; step /= 2) {
      const size_t tryLength = length + step;
      const size_t e = s + tryLength;
      if (e < kept.size() && kept[e] - kept[s] <= 512) {
        bool fits = true;
        for (size_t m = s + 1; m < e && fits; ++m) {
          const double line =
              values[s] + double(values[e] - values[s]) * (kept[m] - kept[s]) / (kept[e] - kept[s]);
          fits = std::fabs(values[m] - line) <= tol;
        }
        if (fits) {
          length = tryLength;
          best = e;
        }
      }
    }
    if (best == s) {
      ++s;
      continue;
    }
    for (size_t m = s + 1; m < best; ++m) drop[m] = true;
    s = best;
  }
  slot = TMaskSlot{};
  const double edge = upper ? 1023 : 1;
  slot.X.push_back(dX);
  slot.Y.push_back(edge);
  for (size_t i = 0; i < kept.size(); ++i) {
    if (drop[i]) continue;
    slot.X.push_back(kept[i]);
    slot.Y.push_back(values[i]);
  }
  slot.X.push_back(end);
  slot.Y.push_back(edge);
}

}  // namespace

int AutomaskDX(double deltaX) { return static_cast<int>(std::lround(deltaX * 400)); }
int AutomaskDY(double deltaY) { return static_cast<int>(std::lround(deltaY * 1024 / 8)); }

void BuildAutomask(int source, int dX, int dY) {
  if (source < 0 || source >= kRecordTraceCount) return;
  const std::vector<int> sampled = SampleColumns(SignalObjs().At(source));
  if (sampled.empty()) return;
  dX = std::clamp(dX, 0, 1000);
  dY = std::clamp(dY, 0, 1023);
  ClearCurrentMask();
  TCurrentMask& mask = CurrentMask();
  mask.Kind = mkUser;
  mask.SetMarginPercent(0);
  mask.MarginsType = mtNone;
  mask.MaskName.clear();
  BuildPass(sampled, dX, dY, false, mask.Slots[0]);
  BuildPass(sampled, dX, dY, true, mask.Slots[1]);
  mask.PolygonCount = 2;
  mask.Kind = mkAutomask;
  BuildMaskObjFromCurrent();
}

void BuildAutomaskFromSettings() {
  const TMaskState& s = MaskSettings();
  const int source = s.AutoSource ? s.AutoSource->GetSourceIndex() : 0;
  // A trace not shown, or without a record of its own yet, has no waveform to build on.
  if (source < 0 || source >= kRecordTraceCount || !ShownRecord(static_cast<TTraceId>(source))) {
    FailCommand(GetLangStr("SignalIsAbsent"));
    return;
  }
  SaveMaskUndo();
  BuildAutomask(source, AutomaskDX(s.AutoDeltaX ? s.AutoDeltaX->Value() : 0.2),
                AutomaskDY(s.AutoDeltaY ? s.AutoDeltaY->Value() : 0.25));
  if (ScopeCRT) ScopeCRT->TopText().ShowMaskState();
}

bool AutomaskInSourceUnits() {
  const TMaskState& s = MaskSettings();
  return GetIndex(s.AutoUnit) == 1 && s.AutoSource != nullptr && s.AutoSource->GetSourceIndex() >= 0 &&
         s.AutoSource->GetSourceIndex() < kRecordTraceCount;
}

// Source units per division of the automask source: horizontal or vertical.
double AutomaskUnitsPerDivision(bool vertical) {
  const TSignalObj& r = SignalObjs().At(MaskSettings().AutoSource->GetSourceIndex());
  return vertical ? r.GetEffScale() : r.GetTimePerDiv();
}

void AutomaskDeltaText(bool vertical, std::string& text, double divisions) {
  const TSignalObj& r = SignalObjs().At(MaskSettings().AutoSource->GetSourceIndex());
  text = FloatToEngStr(vfEngineering, vertical ? 3 : 5, false, divisions * AutomaskUnitsPerDivision(vertical),
                       false) +
         (vertical ? r.GetVertUnitText() : r.GetHorUnit());
}

void AutomaskDeltaEntered(bool vertical, double& value) {
  const double perDivision = AutomaskUnitsPerDivision(vertical);
  // A flat or empty source leaves the entry in divisions.
  if (perDivision > 0 && std::isfinite(perDivision)) value /= perDivision;
}

void RefreshAutomaskControls() {
  const TMaskState& s = MaskSettings();
  if (!s.AutoSource) return;
  const auto colour = static_cast<uint8_t>(s.AutoSource->GetSourceIndex());
  const bool current = AutomaskInSourceUnits();
  for (TDoubleEditHandler* edit : {s.AutoDeltaX, s.AutoDeltaY}) {
    const bool vertical = edit == s.AutoDeltaY;
    edit->SetColorSource(colour);
    if (current) {
      edit->SetOnGetText([vertical](const TEditHandler&, std::string& text, double value) {
        AutomaskDeltaText(vertical, text, value);
      });
      edit->SetOnBeforeSet([vertical](double& value, TEditHandler&) {
        if (AutomaskInSourceUnits()) AutomaskDeltaEntered(vertical, value);
      });
    } else {
      // Also shows the text anew: it follows the source's scales.
      edit->SetOnGetText({});
      edit->SetOnBeforeSet({});
    }
  }
}

}  // namespace norv
