#include "measure/meas_labels.h"

#include <algorithm>
#include <stdexcept>

#include "framework/language/language.h"
#include "measure/meas_state.h"

namespace norv {

namespace {

size_t LabelIndex(int n) {
  if (n < 1 || n > kAnnLabelCount) throw std::out_of_range("annotation label " + std::to_string(n));
  return static_cast<size_t>(n - 1);
}

}  // namespace

TAnnLabelParam& TAnnSet::operator[](int n) { return labels_[LabelIndex(n)]; }
const TAnnLabelParam& TAnnSet::operator[](int n) const { return labels_[LabelIndex(n)]; }

void DefineAnnLabel(TAnnSet& set, int n, uint8_t layer, TTraceId signal, uint8_t option,
                    const std::string& text, uint8_t placement) {
  TAnnLabelParam& l = set[n];
  l.Kind = layer;
  l.Active = true;
  l.Style = static_cast<uint8_t>(signal);
  l.TextHighlight = option != 0;
  l.Text = text;
  l.LeaderStyle = placement;
  MeasState.Ann.HighestLabel = std::max<uint8_t>(MeasState.Ann.HighestLabel, static_cast<uint8_t>(n));
}

void SetAnnAnchor(TAnnSet& set, int n, int32_t x, int32_t y) {
  set[n].AnchorX = x;
  set[n].AnchorY = y;
}
void SetAnnAnchorX(TAnnSet& set, int n, int32_t x) { set[n].AnchorX = x; }
void SetAnnAnchorY(TAnnSet& set, int n, int32_t y) { set[n].AnchorY = y; }
void SetAnnExtent(TAnnSet& set, int n, int32_t x) { set[n].SecondX = x; }
int32_t GetAnnAnchorX(const TAnnSet& set, int n) { return set[n].AnchorX; }
int32_t GetAnnAnchorY(const TAnnSet& set, int n) { return set[n].AnchorY; }
int32_t GetAnnExtent(const TAnnSet& set, int n) { return set[n].SecondX; }

void CopyAnnAnchor(TAnnSet& set, int destination, int source) {
  const TAnnLabelParam& s = set[source];
  TAnnLabelParam& d = set[destination];
  d.AnchorX = s.AnchorX;
  d.AnchorY = s.AnchorY;
  d.SecondX = s.SecondX;
}

void SetAnnText(TAnnSet& set, int n, const std::string& text) { set[n].Text = text; }

void SetAnnTextCounted(TAnnSet& set, int n, const std::string& text, int count) {
  set[n].Text = count > 1 ? text + " (" + std::to_string(count) + ")" : text;
}

void SetAnnColor(TAnnSet& set, int n, uint8_t colour) { set[n].LineColour = colour != 0; }
void SetAnnColorFirst4(TAnnSet& set, uint8_t colour) {
  for (int n = 1; n <= 4; ++n) set[n].LineColour = colour != 0;
}
void SetAnnColor3And4(TAnnSet& set, uint8_t colour) {
  set[3].LineColour = colour != 0;
  set[4].LineColour = colour != 0;
}
void SetAnnActive(TAnnSet& set, int n, bool active) { set[n].Active = active; }

void SetAnnVisible(TAnnSet& set, bool active) {
  for (int n = 1; n <= MeasState.Ann.HighestLabel; ++n) set[n].Active = active;
}

void ShowAnnotations(const TAnnSet& set) {
  for (int n = 1; n <= kAnnLabelCount; ++n) {
    const TAnnLabelParam& l = set[n];
    if (l.Kind == 1 || l.Kind == 2) MeasHooks.DrawAnnotation(l.Kind, static_cast<TTraceId>(l.Style), n, l);
  }
}

void ClearAllAnnotations() {
  MeasHooks.DeleteAnnotationLayers();
  MeasState.Ann.HighestLabel = 0;
  MeasState.Ann.AnnotationsShown = false;
}

void ReleaseAnnotations(int slot) {
  int& owner = MeasState.Ann.SelectedParamLine;
  if (slot < 0 || slot > owner) return;
  if (slot < owner) {
    --owner;
  } else {
    ClearAllAnnotations();
    owner = -1;
  }
}

void SetupSlotAnnotations(int slot) {
  TParameterOfMeas* p = MeasSlot(slot);
  if (!p || MeasState.Ann.SelectedParamLine == slot) return;
  ClearAllAnnotations();
  MeasState.Ann.SelectedParamLine = slot;
  MeasState.Ann.AnnotationsShown = true;
  p->Annotations.Clear();
  DefineMeasLabels(p->Annotations, p->Group, p->Index, p->Source, p->Source2);
}

void RelabelMeasurements() {
  const int owner = MeasState.Ann.SelectedParamLine;
  if (MeasState.Global.Display == mdOff || !MeasSlot(owner)) return;
  ReleaseAnnotations(owner);
  SetupSlotAnnotations(owner);
}

void AnnotationsNoOp() {}

void DefineMeasLabels(TAnnSet& set, uint8_t group, uint8_t index, TTraceId source, TTraceId source2) {
  const auto def = [&](int n, const std::string& key, uint8_t placement, uint8_t layer = 1,
                       uint8_t option = 0, const std::string& suffix = "") {
    DefineAnnLabel(set, n, layer, layer == 2 ? source2 : source, option, GetLangStr(key) + suffix, placement);
  };
  const auto crossPair = [&] {
    def(1, "an_L_Cross", 0);
    def(2, "an_R_Cross", 1);
  };
  const auto topBase = [&](const char* top, const char* base, uint8_t layer, int first) {
    def(first, top, 4, layer);
    def(first + 1, base, 4, layer);
  };
  const auto fundamental = [&] { DefineAnnLabel(set, 3, 1, source, 1, "F1", 0); };
  switch (group) {
    case mgTime:
      if (index == tmPosDuty || index == tmNegDuty) {
        crossPair();
        const std::string sign = index == tmPosDuty ? " + " : " - ";
        def(3, "anWidth", 2, 1, 1, sign);
        def(4, "anWidth", 3, 1, 1, sign);
      } else if (index == tmPosCrossing || index == tmNegCrossing) {
        def(1, "an_Cross", 0, 1, 0, index == tmPosCrossing ? " + " : " - ");
      } else if (index == tmTimeOfMax || index == tmTimeOfMin) {
        def(1, "an_Peak", 0, 1, 0, index == tmTimeOfMax ? " + " : " - ");
      } else if (index >= tmPosJitterPp) {
        def(1, "an_L", 6);
        def(2, "an_R", 7);
      } else {
        crossPair();
      }
      break;
    case mgSpectrumX:
      def(1, "anPeakL_Ques", 1);
      fundamental();
      if (index == 1) def(2, "anPeakR_Ques", 1);
      break;
    case mgDualX:
      def(1, "an_L_Cross", 0);
      def(2, "an_R_Cross", 1, 2);
      if (index >= dmPhaseDeg) def(3, "an_Cross2", 0);
      break;
    case mgAmplitude: {
      static constexpr const char* kLevelKeys[] = {"Max", "Min",       "",           "an_Top",    "an_Base",
                                                   "",    "Middle",    "Mean",       "dcRMS",     "acRMS",
                                                   "",    "CycleMean", "CycleDcRMS", "CycleAcRMS"};
      if (index == amPeakPeak) {
        topBase("Max", "Min", 1, 1);
      } else if (index == amAmplitude) {
        topBase("an_Top", "an_Base", 1, 1);
      } else if (index == amCycleArea) {
        crossPair();
      } else if (index == amPosOvershoot || index == amNegOvershoot) {
        topBase("an_Top", "an_Base", 1, 1);
        def(3, "an_Peak", 0, 1, 0, index == amPosOvershoot ? " + " : " - ");
      } else if (index < std::size(kLevelKeys) && *kLevelKeys[index] != '\0') {
        def(1, kLevelKeys[index], index <= amMinimum ? 0 : 4);
      }
      break;
    }
    case mgSpectrumY:
      fundamental();
      if (index <= 1) def(1, "anPeakL_Ques", 1);
      if (index == 1) def(2, "anPeakR_Ques", 1);
      break;
    case mgDualY:
      topBase("an_Top1", "an_Base1", 1, 1);
      topBase("an_Top2", "an_Base2", 2, 3);
      break;
    default:
      break;
  }
}

}  // namespace norv
