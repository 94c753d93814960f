#pragma once
// The registry of the layers that show the display signals (trace layers of Ch1..S2 and
// XY, the histogram's bar layer), and the way other layers refer to one of them: by trace
// id and the serial number the registry gave the layer, so a reference to a layer that has
// since been freed or replaced finds nothing instead of a dangling object.

#include <array>
#include <cstdint>
#include <functional>
#include <memory>

#include "display/screen_layer.h"
#include "framework/traces/trace_names.h"

namespace norv {

class TParentSignalLayer;
class TSignalScreen;

// Display signals 0..16: Ch1..S2, XY, DB, Hist.
inline constexpr int kDisplaySignalCount = 17;

class TLayersOfSignals {
 public:
  using TOnChange = std::function<void(TLayersOfSignals&)>;

  // The layer of the signal, or nullptr (also for ids beyond Hist).
  TScreenLayer* GetLayer(TTraceId signal) const;
  // The trace layer of Ch1..S2 or XY, or nullptr.
  TParentSignalLayer* GetTraceLayer(TTraceId signal) const;
  // The serial number of the signal's present layer; 0 when it has none.
  uint64_t Serial(TTraceId signal) const;
  // Holds Layer for the signal (the one held before is freed) and tells OnChange.
  void SetLayer(TTraceId signal, std::unique_ptr<TScreenLayer> layer);
  void ClearLayer(TTraceId signal);
  // Frees the signal's layer only when it lies on Screen.
  void ForgetLayerOnScreen(TTraceId signal, const TSignalScreen* screen);
  void SetOnChange(TOnChange onChange) { onChange_ = std::move(onChange); }

 private:
  static int Slot(TTraceId signal);
  void Changed();

  std::array<std::unique_ptr<TScreenLayer>, kDisplaySignalCount> layers_;
  std::array<uint64_t, kDisplaySignalCount> serials_{};
  uint64_t nextSerial_ = 1;
  TOnChange onChange_;
};

// A reference to a signal's layer as it was when the reference was taken.
struct TLinkedLayer {
  const TLayersOfSignals* Registry = nullptr;
  TTraceId Signal = TTraceId::None;
  uint64_t Serial = 0;

  static TLinkedLayer To(const TLayersOfSignals& registry, TTraceId signal) {
    return {&registry, signal, registry.Serial(signal)};
  }
  // The layer while it is still the one referred to; nullptr once it is gone.
  TScreenLayer* Get() const {
    if (Registry == nullptr || Serial == 0 || Registry->Serial(Signal) != Serial) return nullptr;
    return Registry->GetLayer(Signal);
  }
  // Both refer to the same layer, or both to no layer of the same signal.
  bool SameAs(const TLinkedLayer& other) const { return Serial == other.Serial && Signal == other.Signal; }
};

}  // namespace norv
