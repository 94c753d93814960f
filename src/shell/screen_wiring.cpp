#include "shell/screen_wiring.h"

#include <array>

#include "display/display_hooks.h"
#include "display/scope_crt.h"
#include "framework/settings/handler.h"
#include "framework/settings/program_objects.h"
#include "framework/settings/settings_tree.h"
#include "instrument/acquisition/acquisition_cycle.h"
#include "instrument/acquisition/acquisition_hooks.h"
#include "instrument/link/sample_stream.h"
#include "instrument/record/signal_obj.h"
#include "instrument/settings/acquisition_settings.h"
#include "instrument/settings/channel_settings.h"
#include "instrument/settings/settings_hooks.h"
#include "instrument/settings/timebase_settings.h"
#include "instrument/settings/trigger_settings.h"
#include "shell/shell_state.h"

namespace norv {

namespace {

// A trace's layer as the acquisition stores into it; refreshed every record, since the
// screen control may have made a new layer in the meantime.
class TAcqLayerAdapter final : public IAcqLayer {
 public:
  TParentSignalLayer* Layer = nullptr;
  void SetSignalScale(int pointCount, double offset, double unitsPerDiv) override {
    Layer->SetSignalScale(pointCount, offset, unitsPerDiv);
  }
  void PutSample(int index, double value) override { Layer->PutSample(index, value); }
};

// The status line's values, from the settings nodes.
class TSettingsTopText final : public ITopTextSource {
 public:
  bool SettingsReady() const override { return CommandsRegistered; }
  bool ChannelOn(int slot) const override { return IsChannelAcquired(slot); }
  double TimeScale() const override { return GetActiveTimeScale(); }
  TAcqModeKind AcqMode(int slot) const override { return static_cast<TAcqModeKind>(GetAcqMode(slot)); }
  int RecordLength(int slot) const override { return GetAcqRecLen(slot); }
  bool CommonAcquisition() const override { return UseCommonAcqSettings(); }
  int TriggerSource() const override { return TriggerSourceIndex(); }
  bool FitToMulti() const override { return IsAcqFitToMulti(); }
  void ApplyFitTo() override { ApplyAcqFitTo(); }
};

struct TScreenWiringState {
  TScopeCRT* Crt = nullptr;
  std::array<TAcqLayerAdapter, kRecordTraceCount> Layers;
  TSettingsTopText TopTextSource;
};

TScreenWiringState Wiring;
const TProgramUnit ScreenWiringUnit("screen wiring", [] {
  if (Wiring.Crt != nullptr) Wiring.Crt->TopText().SetSource(nullptr);
  Wiring.Crt = nullptr;
  Wiring.Layers = {};
});

IAcqLayer* TraceLayer(TTraceId id, TAcqLayerKind kind) {
  TScopeCRT* crt = Wiring.Crt;
  const auto index = static_cast<size_t>(id);
  if (crt == nullptr || index >= Wiring.Layers.size()) return nullptr;
  TParentSignalLayer* layer = nullptr;
  switch (kind) {
    case TAcqLayerKind::Vectors:
      layer = crt->GetVectorLayer(id);
      break;
    case TAcqLayerKind::Persistence:
      layer = crt->GetPersistLayer(id);
      break;
    case TAcqLayerKind::ColourGrade:
      layer = crt->GetColorGradeLayer(id);
      break;
    default:
      layer = crt->GetDotLayer(id);
      break;
  }
  if (layer == nullptr) return nullptr;
  Wiring.Layers[index].Layer = layer;
  return &Wiring.Layers[index];
}

// Screens made while updates were held have none to give back.
void ForEachScreen(void (TScanLinesScreen::*call)(), bool onlyHeld) {
  if (Wiring.Crt == nullptr) return;
  for (int n = 1; n <= Wiring.Crt->ScreenCount(); ++n) {
    TSignalScreen* screen = Wiring.Crt->Screen(n);
    if (screen != nullptr && (!onlyHeld || screen->UpdateCount() > 0)) (screen->*call)();
  }
}

void DeleteChannelLayers(int channel) {
  if (Wiring.Crt == nullptr) return;
  const bool ch1 = channel == 2;
  Wiring.Crt->DeleteSignalLayer(ch1 ? TTraceId::Ch1 : TTraceId::Ch2);
  Wiring.Crt->DeleteSignalLayer(ch1 ? TTraceId::Ch1B2 : TTraceId::Ch2B2);
}

template <typename F>
void WithCrt(F&& f) {
  if (Wiring.Crt != nullptr) f(*Wiring.Crt);
}

}  // namespace

TScopeCRT* ProgramScopeCRT() { return Wiring.Crt; }

void InstallScreenHooks(TScopeCRT& crt) {
  Wiring.Crt = &crt;
  crt.TopText().SetSource(&Wiring.TopTextSource);

  AcqHooks.TraceLayer.Set(TraceLayer);
  AcqHooks.SuspendScreenUpdates.Set([] { ForEachScreen(&TScanLinesScreen::BeginUpdate, false); });
  AcqHooks.ResumeScreenUpdates.Set([] { ForEachScreen(&TScanLinesScreen::EndUpdate, true); });
  AcqHooks.ShowAcqStatus.Set([](int slot, bool stopped) {
    WithCrt([&](TScopeCRT& c) { c.TopText().ShowAcqStatus(slot, stopped); });
  });
  AcqHooks.DisplayFormatHasXY.Set([] { return Wiring.Crt != nullptr && Wiring.Crt->XYScreenNo() != 0; });
  AcqHooks.DisplayFormatIndex.Set(
      [] { return Wiring.Crt != nullptr ? static_cast<int>(Wiring.Crt->Format()) : 0; });
  ShellHooks.ShowAcqStatus.Set(AcqHooks.ShowAcqStatus);

  SettingsHooks.ShowTriggerState.Set(
      [](int state) { WithCrt([&](TScopeCRT& c) { c.TopText().ShowTriggerState(state); }); });
  SettingsHooks.RefreshTriggerCell.Set(
      [] { WithCrt([](TScopeCRT& c) { c.TopText().ShowTriggerSource(); }); });
  SettingsHooks.RefreshChannelStatus.Set(
      [] { WithCrt([](TScopeCRT& c) { c.TopText().ShowAllChannelStatus(); }); });
  SettingsHooks.RefreshSamplingRateCells.Set(
      [] { WithCrt([](TScopeCRT& c) { c.TopText().ShowSamplingRates(); }); });
  SettingsHooks.RedrawFitToIcon.Set([] { WithCrt([](TScopeCRT& c) { c.TopText().ShowFitToIcon(); }); });
  SettingsHooks.GraticuleSplit.Set([] { return Wiring.Crt != nullptr ? Wiring.Crt->GraticuleSplit() : 1; });
  SettingsHooks.ShowTimeBaseWindows.Set([](int start1, int start2, int width, bool dual) {
    WithCrt([&](TScopeCRT& c) { c.SetXWindow(width, start1, start2, dual ? width : 0); });
  });
  SettingsHooks.DeleteChannelLayers.Set(DeleteChannelLayers);

  DisplayHooks.BreakAcquisition.Set([] { BreakAcquisition(true); });
  DisplayHooks.SuspendAcquisition.Set([] { SuspendAcquisition(); });
  DisplayHooks.ResumeAcquisition.Set([] { ResumeAcquisition(); });
  DisplayHooks.TimeBaseMode.Set([] {
    switch (GetTimeBaseMode()) {
      case tbmB:
        return 1;
      case tbmAB:
        return 2;
      default:
        return 0;
    }
  });
  DisplayHooks.ShiftTimeBaseDelay.Set([](bool second, double fx) { ShiftTimeBaseDelay(second, fx); });
  DisplayHooks.TraceIsSpectrum.Set([](TTraceId id) {
    return static_cast<size_t>(id) < kRecordTraceCount && SignalObjs()[id].IsSpectrum();
  });
}

void RemoveScreenHooks() {
  if (Wiring.Crt != nullptr) Wiring.Crt->TopText().SetSource(nullptr);
  Wiring.Crt = nullptr;
  for (TAcqLayerAdapter& adapter : Wiring.Layers) adapter.Layer = nullptr;
  AcqHooks.TraceLayer.Reset();
  AcqHooks.SuspendScreenUpdates.Reset();
  AcqHooks.ResumeScreenUpdates.Reset();
  AcqHooks.ShowAcqStatus.Reset();
  ShellHooks.ShowAcqStatus.Reset();
  SettingsHooks.DeleteChannelLayers.Reset();
}

}  // namespace norv
