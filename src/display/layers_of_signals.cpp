#include "display/layers_of_signals.h"

#include "display/signal_layers.h"
#include "framework/settings/procedure_setup.h"

namespace norv {

int TLayersOfSignals::Slot(TTraceId signal) {
  const int slot = TraceIndex(signal);
  return slot < kDisplaySignalCount ? slot : -1;
}

TScreenLayer* TLayersOfSignals::GetLayer(TTraceId signal) const {
  const int slot = Slot(signal);
  return slot < 0 ? nullptr : layers_[slot].get();
}

TParentSignalLayer* TLayersOfSignals::GetTraceLayer(TTraceId signal) const {
  return dynamic_cast<TParentSignalLayer*>(GetLayer(signal));
}

uint64_t TLayersOfSignals::Serial(TTraceId signal) const {
  const int slot = Slot(signal);
  return slot < 0 || !layers_[slot] ? 0 : serials_[slot];
}

void TLayersOfSignals::SetLayer(TTraceId signal, std::unique_ptr<TScreenLayer> layer) {
  const int slot = Slot(signal);
  if (slot < 0) return;
  // The old layer leaves the slot before it is freed, so that OnChange and the freed
  // layer's references never meet.
  std::unique_ptr<TScreenLayer> old = std::exchange(layers_[slot], std::move(layer));
  serials_[slot] = layers_[slot] ? nextSerial_++ : 0;
  old.reset();
  Changed();
}

void TLayersOfSignals::Changed() {
  if (!onChange_) return;
  // A layer comes or goes when the trace is drawn, after the change that showed or hid it.
  const TFollowingRule rule;
  onChange_(*this);
}

void TLayersOfSignals::ClearLayer(TTraceId signal) {
  if (GetLayer(signal) != nullptr) SetLayer(signal, nullptr);
}

void TLayersOfSignals::ForgetLayerOnScreen(TTraceId signal, const TSignalScreen* screen) {
  const TScreenLayer* layer = GetLayer(signal);
  if (layer != nullptr && layer->GetScreen() == screen) SetLayer(signal, nullptr);
}

}  // namespace norv
