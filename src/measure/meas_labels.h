#pragma once
// Annotation labels: the marks a measurement leaves on the signal screen at the features
// it used (crossings, extremes, levels, spectrum peaks). Every slot owns a set of eight;
// one owner at a time (SelectedParamLine) has its set drawn. Drawing goes through
// MeasHooks (meas_state.h), which does nothing until the screen control is wired.

#include <array>
#include <cstdint>
#include <string>

#include "display/annotation_layer.h"
#include "framework/traces/trace_names.h"

namespace norv {

inline constexpr int kAnnLabelCount = 8;
// AnchorX of a label that has not been placed; anything below -100 counts as such.
inline constexpr int32_t kAnnNotPlaced = -1000000;

// A label is the screen's annotation record (display/annotation_layer.h), filled as:
// Kind the annotation layer it goes to (1 the source's screen, 2 the second source's, 0
// none), Style the trace id whose screen and scaling it uses, AnchorX / AnchorY / SecondX
// its positions (screen X 0..4000, screen code 0..1024, the end of a marked span),
// LineColour the colour index 1 (set by the edge measurements when one item was averaged),
// LeaderStyle its placement 0..7 and TextHighlight the auxiliary labels (the width labels
// of the duty cycles, the spectrum fundamental).

// Labels 1..8; every operation takes the label number n (1..8) as the system numbers
// them, and refuses any other with std::out_of_range.
class TAnnSet {
 public:
  TAnnLabelParam& operator[](int n);
  const TAnnLabelParam& operator[](int n) const;
  void Clear() { labels_ = {}; }

 private:
  std::array<TAnnLabelParam, kAnnLabelCount> labels_{};
};

// Unit-level state of the labels (held in MeasState).
struct TAnnState {
  int SelectedParamLine = -1;  // owning slot, -1 none (eye and TDR lines use it too)
  bool AnnotationsShown = false;
  uint8_t HighestLabel = 0;  // highest label defined since the last clear, all sets
};

void DefineAnnLabel(TAnnSet& set, int n, uint8_t layer, TTraceId signal, uint8_t option,
                    const std::string& text, uint8_t placement);
void SetAnnAnchor(TAnnSet& set, int n, int32_t x, int32_t y);
void SetAnnAnchorX(TAnnSet& set, int n, int32_t x);
void SetAnnAnchorY(TAnnSet& set, int n, int32_t y);
void SetAnnExtent(TAnnSet& set, int n, int32_t x);
int32_t GetAnnAnchorX(const TAnnSet& set, int n);
int32_t GetAnnAnchorY(const TAnnSet& set, int n);
int32_t GetAnnExtent(const TAnnSet& set, int n);
void CopyAnnAnchor(TAnnSet& set, int destination, int source);
void SetAnnText(TAnnSet& set, int n, const std::string& text);
// The text, followed by " (count)" when count > 1.
void SetAnnTextCounted(TAnnSet& set, int n, const std::string& text, int count);
void SetAnnColor(TAnnSet& set, int n, uint8_t colour);
void SetAnnColorFirst4(TAnnSet& set, uint8_t colour);
void SetAnnColor3And4(TAnnSet& set, uint8_t colour);
void SetAnnActive(TAnnSet& set, int n, bool active);
// Active of labels 1..HighestLabel; nothing while no label is defined.
void SetAnnVisible(TAnnSet& set, bool active);
// Hands every label on layer 1 or 2 to the screen's annotation layers.
void ShowAnnotations(const TAnnSet& set);
// Deletes both annotation layers; no label is defined any more.
void ClearAllAnnotations();
// A slot at or below the owner is going away: one below moves the owner down by one, the
// owner itself gives the labels up.
void ReleaseAnnotations(int slot);
// The slot takes the labels (unless it holds them already) and defines its set.
void SetupSlotAnnotations(int slot);
// After a language change: the owner defines its labels again in the new language.
void RelabelMeasurements();
void AnnotationsNoOp();

// Defines the labels of measurement (group, index) in `set` (texts from the language
// table), for a slot whose sources are `source` and `source2`.
void DefineMeasLabels(TAnnSet& set, uint8_t group, uint8_t index, TTraceId source, TTraceId source2);

}  // namespace norv
