#include "shell/screen_wiring.h"

#include "display/display_hooks.h"
#include "display/scope_crt.h"
#include "display/settings/display_settings.h"
#include "framework/settings/choice_handlers.h"
#include "framework/settings/handler.h"
#include "framework/settings/numeric_handlers.h"
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
#include "shell/save/save_recall.h"
#include "shell/shell_state.h"

namespace norv {

namespace {

// The status line's values, from the settings nodes and the acquisition cycle. Channel
// slots are 2 (Ch1) and 3 (Ch2).
class TSettingsTopText final : public ITopTextSource {
 public:
  bool SettingsReady() const override { return CommandsRegistered; }
  bool DatabaseRecording() const override { return SaveState.DatabaseRecording; }
  bool DatabaseShown() const override { return SaveState.DatabaseShown; }
  TDatabaseHeader DatabaseHeader() const override { return ShownDatabaseHeader(); }
  // The channel's trace, not whether it is acquired: an acquired channel that is not
  // displayed leaves its column empty.
  bool ChannelOn(int slot) const override { return IsSourceShown(TraceIndex(ChannelTrace(slot))); }
  double TimeScale() const override { return GetActiveTimeScale(); }
  TAcqModeKind AcqMode(int slot) const override { return static_cast<TAcqModeKind>(GetAcqMode(slot)); }
  double PeakRatio(int slot) const override { return PeakIntervalRatio(slot); }
  int RecordLength(int slot) const override { return GetAcqRecLen(slot); }
  bool BandFull(int slot) const override { return GetIndex(ChannelSettings().Nodes[Index(slot)].Band) == 0; }
  bool CommonAcquisition() const override { return UseCommonAcqSettings(); }
  double AcqCount(int slot) const override { return AcquisitionCycle().AcqCycleCount(slot); }
  double AveragedSoFar(int slot) const override {
    return AcquisitionCycle().PointStore().AcqAverageCount(TraceIndex(ChannelTrace(slot)));
  }
  double NAverages(int slot) const override { return GetAcqNAvg(slot); }
  // Asked in the envelope modes only, where the records per acquisition are the
  // envelope's count (beyond 6000 an endless one).
  double EnvelopeCount(int slot) const override { return GetAcqCount(slot); }
  double PeakInterval(int slot) const override { return GetAcqPkInterval(slot); }
  int SelectedTraceStyle() const override { return static_cast<int>(GetTraceStyle(SelectedDisplayTrace())); }
  bool AllLocked() const override { return AllTracesLocked(); }
  TTraceId SelectedTrace() const override { return SelectedDisplayTrace(); }
  int TriggerSource() const override { return TriggerSourceIndex(); }
  double TriggerIntRate() const override { return GetFloatValue(TriggerSettings().IntRate); }
  bool MaskLoaded() const override { return DisplayHooks.MaskLoaded(); }
  int MaskKind() const override { return DisplayHooks.MaskKind(); }
  std::string MaskName() const override { return DisplayHooks.MaskName(); }
  bool FitToMulti() const override { return IsAcqFitToMulti(); }
  void ApplyFitTo() override { ApplyAcqFitTo(); }

 private:
  static TTraceId ChannelTrace(int slot) { return slot == 3 ? TTraceId::Ch2 : TTraceId::Ch1; }
  static size_t Index(int slot) { return slot == 3 ? 1 : 0; }
};

TSettingsTopText TopTextSource;

// Screens made while updates were held have none to give back.
void ForEachScreen(void (TScanLinesScreen::*call)(), bool onlyHeld) {
  if (!ScopeCRT) return;
  for (int n = 1; n <= ScopeCRT->ScreenCount(); ++n) {
    TSignalScreen* screen = ScopeCRT->Screen(n);
    if (screen != nullptr && (!onlyHeld || screen->UpdateCount() > 0)) (screen->*call)();
  }
}

void DeleteChannelLayers(int channel) {
  if (!ScopeCRT) return;
  const bool ch1 = channel == 2;
  ScopeCRT->DeleteSignalLayer(ch1 ? TTraceId::Ch1 : TTraceId::Ch2);
  ScopeCRT->DeleteSignalLayer(ch1 ? TTraceId::Ch1B2 : TTraceId::Ch2B2);
}

template <typename F>
void WithCrt(F&& f) {
  if (ScopeCRT) f(*ScopeCRT);
}

}  // namespace

void ConnectTopText() {
  if (ScopeCRT) ScopeCRT->TopText().SetSource(&TopTextSource);
}

void InstallScreenHooks() {
  InstallDisplaySettings();
  AcqHooks.SuspendScreenUpdates.Set([] { ForEachScreen(&TScanLinesScreen::BeginUpdate, false); });
  AcqHooks.ResumeScreenUpdates.Set([] { ForEachScreen(&TScanLinesScreen::EndUpdate, true); });
  AcqHooks.ShowAcqStatus.Set([](int slot, bool stopped) {
    WithCrt([&](TScopeCRT& c) { c.TopText().ShowAcqStatus(slot, stopped); });
  });

  SettingsHooks.ShowTriggerState.Set(
      [](int state) { WithCrt([&](TScopeCRT& c) { c.TopText().ShowTriggerState(state); }); });
  SettingsHooks.RefreshTriggerCell.Set(
      [] { WithCrt([](TScopeCRT& c) { c.TopText().ShowTriggerSource(); }); });
  SettingsHooks.RefreshChannelStatus.Set(
      [] { WithCrt([](TScopeCRT& c) { c.TopText().ShowAllChannelStatus(); }); });
  SettingsHooks.RefreshSamplingRateCells.Set(
      [] { WithCrt([](TScopeCRT& c) { c.TopText().ShowSamplingRates(); }); });
  // Each new record: the rate cells follow the record length and time base it was taken with.
  AcqHooks.RefreshTimeBaseReadouts.Set(
      [] { WithCrt([](TScopeCRT& c) { c.TopText().ShowSamplingRates(); }); });
  SettingsHooks.RedrawFitToIcon.Set([] { WithCrt([](TScopeCRT& c) { c.TopText().ShowFitToIcon(); }); });
  SettingsHooks.GraticuleSplit.Set([] { return ScopeCRT ? ScopeCRT->GraticuleSplit() : 1; });
  SettingsHooks.ShowTimeBaseWindows.Set([](int start1, int start2, int width, bool dual) {
    WithCrt([&](TScopeCRT& c) { c.SetXWindow(width, start1, start2, dual ? width : 0); });
  });
  SettingsHooks.DeleteChannelLayers.Set(DeleteChannelLayers);
  // A trace switched off gives its layer up; switched on again it is drawn afresh.
  OnSignalSwitchedOff.Set([](TTraceId id) { WithCrt([id](TScopeCRT& c) { c.SignalSwitchedOff(id); }); });

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

}  // namespace norv
