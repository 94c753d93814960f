#pragma once
// The two-line status strip above the screens: sampling rate and acquisition state of
// both channels, the display style, the trigger source and state, the mask and an icon of
// the acquisition fit mode; while a colour-grade database is shown, the database's
// description in place of the channel cells. The values come from a source the settings
// units fill; unchanged acquisition and trigger states are not drawn again.

#include <array>
#include <cstdint>
#include <string>

#include "display/scan_lines.h"
#include "framework/traces/trace_names.h"

namespace norv {

// Acquisition modes in the order of the acquisition setting.
enum class TAcqModeKind : uint8_t { Sample, AvgStab, AvgMult, AvgMedian, EnvMinMax, EnvMax, EnvMin, Peak };

// The header of the colour-grade database on the screen.
struct TDatabaseHeader {
  TTraceId Source = TTraceId::Ch1;
  double WaveformCount = 0;
  double HorizontalValue = 0;
  std::string HorizontalUnit;
  double VerticalScale = 0;
  double VerticalOffset = 0;
  std::string VerticalUnit;
};

// What the status line shows, read from the settings. Channel slots are 2 (Ch1) and 3
// (Ch2). The defaults stand for an instrument at its default setup.
class ITopTextSource {
 public:
  virtual ~ITopTextSource() = default;
  virtual bool SettingsReady() const { return true; }
  virtual bool DatabaseRecording() const { return false; }
  virtual bool DatabaseShown() const { return false; }
  virtual TDatabaseHeader DatabaseHeader() const { return {}; }
  virtual bool ChannelOn(int /*slot*/) const { return true; }
  // "TB:ScaleA", or "TB:ScaleB" in time-base mode B.
  virtual double TimeScale() const { return 1e-9; }
  virtual TAcqModeKind AcqMode(int /*slot*/) const { return TAcqModeKind::Sample; }
  virtual double PeakRatio(int /*slot*/) const { return 1; }
  virtual int RecordLength(int /*slot*/) const { return 512; }
  virtual bool BandFull(int /*slot*/) const { return true; }
  virtual bool CommonAcquisition() const { return true; }
  virtual double AcqCount(int /*slot*/) const { return 0; }
  virtual double AveragedSoFar(int /*slot*/) const { return 0; }
  virtual double NAverages(int /*slot*/) const { return 16; }
  virtual double EnvelopeCount(int /*slot*/) const { return 0; }
  virtual double PeakInterval(int /*slot*/) const { return 0; }
  // Style index of the trace selected on the display page (0 Dots .. 7 IColorGrad).
  virtual int SelectedTraceStyle() const { return 2; }
  virtual bool AllLocked() const { return true; }
  virtual TTraceId SelectedTrace() const { return TTraceId::Ch1; }
  // "Trig:Source" index and "Trig:IntRate".
  virtual int TriggerSource() const { return 0; }
  virtual double TriggerIntRate() const { return 1e-5; }
  virtual bool MaskLoaded() const { return false; }
  // 0 none, 1 and 2 standard masks, 3 automask, 4 user mask.
  virtual int MaskKind() const { return 0; }
  virtual std::string MaskName() const { return {}; }
  virtual bool FitToMulti() const { return true; }
  // Sends "Acq:FitTo" to the instrument when it changed.
  virtual void ApplyFitTo() {}
};

class TVerhText : public TScanLinesTextScreen {
 public:
  static constexpr int kWideColumn = 10;
  static constexpr int kIconLeft = 468;
  static constexpr int kIconTop = 1;
  static constexpr int kIconSize = 16;

  explicit TVerhText(const ITextRasteriser* text = nullptr);

  // Without a source the defaults of ITopTextSource are shown.
  void SetSource(ITopTextSource* source) { source_ = source != nullptr ? source : &defaults_; }

  // Column 0..3 or 10 (columns 0 and 1 together), line 1 or 2.
  static TRect GetTopTextCellRect(int column, int line);

  void ShowSamplingRate(int slot);
  void ShowAcqStatus(int slot, bool stopped);
  void ShowChannelStatus(int slot);
  void ShowSamplingRates();
  void ShowAllChannelStatus();
  // Not while a database is shown: the cell then holds its vertical scale.
  void ShowDisplayStyle();
  void ShowTriggerSource();
  void ShowMaskState();
  // 0 none, 1 triggered, 2 not triggered, 3 free run.
  void ShowTriggerState(int state);
  void ShowFitToIcon();
  void ShowWaveformCount(int count);
  void ShowDatabaseProgress(bool acquiring, const std::string& countText);
  void ShowDatabaseInfo();
  void RefreshTopText();
  void ResetTopText();

 protected:
  void ColorChanged() override;

 private:
  void Cell(int column, int line, const std::string& text, TColorRef colour);
  bool ChannelCellsFree() const;
  TColorRef ChannelColour(int slot) const;
  void DrawFitIcon(bool single);
  // The state cells now show something else: the next state is drawn whatever it is.
  void ForgetStateTexts();

  ITopTextSource defaults_;
  ITopTextSource* source_ = &defaults_;
  std::array<std::string, 2> lastStateText_;
  std::array<TColorRef, 2> lastStateColour_{};
  int triggerState_ = 0;
  int fitIconState_ = 55;
};

}  // namespace norv
