#pragma once
// The measurement unit's process-wide state and the call-outs it makes to the units above
// it (screen, bottom strip, analysis), which do nothing until the program fills them in.

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "framework/util/hook.h"
#include "instrument/record/signal_obj.h"
#include "measure/meas_frame.h"
#include "measure/meas_labels.h"
#include "measure/meas_slots.h"

namespace norv {

enum TMeasDisplay : uint8_t { mdOff = 0, mdParam = 1, mdStatistic = 2 };
enum TMeasMode : uint8_t { mmPermanent = 0, mmSingle = 1 };

// The global "Meas:" settings the engine reads.
struct TMeasGlobalSettings {
  uint8_t Display = mdOff;
  TTraceId DisplSrc = TTraceId::Ch1;
  bool View = true;
  uint8_t Mode = mmPermanent;
  uint8_t StatMode = 0;  // Permanent, Window, Weight
  int Window = 8;
  int Weight = 8;
};

// Time hits of one source's edges over many waveforms (the jitter measurements): per shown
// column and screen code, the samples that fell there.
class TJitterHitMap {
 public:
  void Clear();
  // Starts a waveform; a change of length, time base or vertical scaling clears the map
  // first, and the result says so.
  bool AddWaveform(const TSignalObj& rec, std::span<const double> values);
  uint32_t WaveformCount() const { return waveforms_; }

  struct TStats {
    uint64_t Hits = 0;
    double MinColumn = 0, MaxColumn = 0, MeanColumn = 0, StdDevColumns = 0;
  };
  // Columns colLeft..colRight, codes codeLow..codeHigh (clipped to the map).
  TStats Window(int colLeft, int colRight, int codeLow, int codeHigh) const;

 private:
  static constexpr int kCodes = 1025;
  std::vector<uint32_t> map_;  // column * kCodes + code
  int columns_ = 0;
  double offset_ = 0, scale_ = 0, origin_ = 0, interval_ = 0;
  uint32_t waveforms_ = 0;
};

struct TMeasState {
  std::array<TMeasFrame, kSignalObjCount> Frames;
  std::array<TMeasSourceSettings, kSignalObjCount> Settings;
  TMeasGlobalSettings Global;
  std::array<std::unique_ptr<TParameterOfMeas>, kMeasSlotCount> MeasParams;
  int8_t MeasParamCount = 0;
  bool NewDataForAll = false;
  TAnnState Ann;

  // Jitter: the histogram, the once-per-pass flag, the spread remembered within a pass
  // (samples) and the window bounds (screen X) of rising and falling edges.
  TJitterHitMap JitterHist;
  bool JitterPassPending = false;
  double JitterSpread = 0;
  std::array<int, 2> JitterLeft{4000, 4000};
  std::array<int, 2> JitterRight{0, 0};
};

extern TMeasState MeasState;

// The jitter window bounds start again (with the histogram, or when it restarted itself).
void ResetJitterWindowBounds();
void ClearJitterHistogram();

bool DefaultSourceShown(TTraceId id);

struct TMeasHooks {
  // The window tables of a spectrum record (the analysis subsystem's); spectral
  // measurements are undefined while either is empty.
  THook<double(int signalIndex, int k)> WindowMeasFactor{"MeasHooks.WindowMeasFactor"};
  THook<double(int signalIndex, int k)> WindowCoefficient{"MeasHooks.WindowCoefficient"};
  // Whether a trace is shown; the channel settings' answer unless replaced (tests).
  THook<bool(TTraceId)> SourceShown{Fallback("MeasHooks.SourceShown"), &DefaultSourceShown};
  // The annotation layer `layer` (1 or 2) of the signal's screen draws label n.
  THook<void(int layer, TTraceId signal, int n, const TAnnLabelParam& label)> DrawAnnotation{
      "MeasHooks.DrawAnnotation"};
  THook<void()> DeleteAnnotationLayers{"MeasHooks.DeleteAnnotationLayers"};
  // The source's level, threshold and margin controls after a scale change.
  THook<void(TTraceId)> RefreshLevelControls{"MeasHooks.RefreshLevelControls"};
  // The measurement set-up layer of the displayed source.
  THook<void(TTraceId)> RefreshSetupLayer{"MeasHooks.RefreshSetupLayer"};
  // Writes slot n's result into the bottom strip.
  THook<void(int slot)> ShowSlotResult{"MeasHooks.ShowSlotResult"};
  // Gives a new statistics picture the strip it draws in.
  THook<void(THisticon&)> AttachHisticon{"MeasHooks.AttachHisticon"};
  // Slots 0..3: the statistics just reached ten values.
  THook<void(int slot)> ResultsBecameValid{"MeasHooks.ResultsBecameValid"};
  THook<void()> RunLimitTest{"MeasHooks.RunLimitTest"};
};

extern TMeasHooks MeasHooks;

// The slot n (0..MeasParamCount-1), or nullptr.
TParameterOfMeas* MeasSlot(int n);

}  // namespace norv
