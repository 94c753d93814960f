#include "display/top_text.h"

#include <stdexcept>
#include <string>

#include "framework/language/hint_stack.h"
#include "framework/language/language.h"
#include "framework/settings/value_text.h"
#include "framework/traces/display_sources.h"
#include "framework/util/numeric_utils.h"

namespace norv {

namespace {

std::string Eng(double value, int digits) {
  return FloatToEngStr(vfEngineering, static_cast<uint8_t>(digits), false, value, false);
}

// "%g" of a small whole number of GHz.
std::string Gigahertz(double value) {
  std::string text = std::to_string(static_cast<int>(value));
  return text + " GHz  ";
}

constexpr TColorRef kWhite = 0xFFFFFF;

}  // namespace

TVerhText::TVerhText(const ITextRasteriser* text) : TScanLinesTextScreen(text) {}

TRect TVerhText::GetTopTextCellRect(int column, int line) {
  static constexpr int kEdges[] = {10, 135, 260, 385, 465};
  if (line < 1 || line > 2) throw std::out_of_range("status line " + std::to_string(line));
  const int top = (line - 1) * 16;
  if (column == kWideColumn) return TRect{10, top, 260, top + 16};
  if (column < 0 || column > 3) throw std::out_of_range("status column " + std::to_string(column));
  return TRect{kEdges[column], top, kEdges[column + 1], top + 16};
}

void TVerhText::Cell(int column, int line, const std::string& text, TColorRef colour) {
  SetFontColor(colour);
  TextRectOut(GetTopTextCellRect(column, line), 0, text, 0);
}

bool TVerhText::ChannelCellsFree() const {
  return source_->SettingsReady() && !source_->DatabaseRecording() && !source_->DatabaseShown();
}

TColorRef TVerhText::ChannelColour(int slot) const {
  return GetDisplaySourceRGB(slot == 3 ? TTraceId::Ch2 : TTraceId::Ch1);
}

void TVerhText::ShowSamplingRate(int slot) {
  if (slot != 2 && slot != 3) return;
  if (!ChannelCellsFree()) return;
  std::string text;
  if (source_->ChannelOn(slot)) {
    double scale = source_->TimeScale();
    const double ratio = source_->PeakRatio(slot);
    if (source_->AcqMode(slot) == TAcqModeKind::Peak && ratio > 2.2) scale = 2 * scale / ratio;
    const int recLen = source_->RecordLength(slot);
    const double rate = recLen < 1 ? 0 : 1 / (scale / (recLen / 512.0 * 50));
    text = Gigahertz(source_->BandFull(slot) ? 12 : 8) + Eng(rate, 3) + GetLangStr("Sampl_s");
  }
  Cell(slot - 2, 1, text, ChannelColour(slot));
}

void TVerhText::ShowAcqStatus(int slot, bool stopped) {
  if (slot != 2 && slot != 3) return;
  if (!ChannelCellsFree()) return;
  std::string text;
  if (source_->ChannelOn(slot)) {
    const int from = source_->CommonAcquisition() ? 2 : slot;
    if (stopped) {
      text = GetLangStr("Stopped_") + Eng(source_->AcqCount(from), 6);
    } else {
      switch (source_->AcqMode(from)) {
        case TAcqModeKind::Sample:
          text = GetLangStr("Sample");
          break;
        case TAcqModeKind::AvgStab:
          text = GetLangStr("NAverages") + Eng(source_->AveragedSoFar(from), 6);
          break;
        case TAcqModeKind::AvgMult:
        case TAcqModeKind::AvgMedian:
          text = GetLangStr("NAverages") + Eng(source_->NAverages(from), 6);
          break;
        case TAcqModeKind::EnvMinMax:
        case TAcqModeKind::EnvMax:
        case TAcqModeKind::EnvMin: {
          const double count = source_->EnvelopeCount(from);
          text = count >= 6000 ? GetLangStr("Continuously") : GetLangStr("NAcquisions") + Eng(count, 6);
          break;
        }
        case TAcqModeKind::Peak:
          text = GetLangStr("NPeakDet") + Eng(source_->PeakInterval(from), 3) + "s";
          break;
      }
    }
  }
  const TColorRef colour = ChannelColour(slot);
  const int column = slot - 2;
  // The colour is kept with the text: a changed channel colour redraws the same text.
  if (text == lastStateText_[column] && colour == lastStateColour_[column]) return;
  lastStateText_[column] = text;
  lastStateColour_[column] = colour;
  Cell(column, 2, text, colour);
}

void TVerhText::ShowChannelStatus(int slot) {
  ShowSamplingRate(slot);
  ShowAcqStatus(slot, false);
}

void TVerhText::ShowSamplingRates() {
  ShowSamplingRate(2);
  ShowSamplingRate(3);
}

void TVerhText::ShowAllChannelStatus() {
  ShowChannelStatus(2);
  ShowChannelStatus(3);
}

void TVerhText::ShowDisplayStyle() {
  // A shown database keeps its vertical scale in this cell.
  if (source_->DatabaseShown()) return;
  static const char* const kStyleKeys[] = {"Dots",      "Vectors",   "Persist",    "Persist",
                                           "GrayScale", "GrayScale", "ColorGrade", "ColorGrade"};
  const int style = source_->SelectedTraceStyle();
  const std::string text = style >= 0 && style < 8 ? GetLangStr(kStyleKeys[style]) : "??";
  const TColorRef colour = source_->AllLocked() ? kWhite : GetDisplaySourceRGB(source_->SelectedTrace());
  Cell(2, 1, text, colour);
}

void TVerhText::ShowTriggerSource() {
  std::string text;
  switch (source_->TriggerSource()) {
    case 0:
      text = GetLangStr("External");
      break;
    case 1:
      text = GetLangStr("ExternalHF");
      break;
    case 2:
      text = GetLangStr("IntRate") + Eng(source_->TriggerIntRate(), 3) + "s";
      break;
    case 3:
      text = GetLangStr("ClockRecovery");
      break;
    case 4:
      text = "Advanced";
      break;
    default:
      break;
  }
  Cell(3, 1, text, ContrastTextColor(Color()));
}

void TVerhText::ShowMaskState() {
  std::string text;
  if (source_->MaskLoaded()) {
    switch (source_->MaskKind()) {
      case 1:
      case 2:
        text = source_->MaskName();
        break;
      case 3:
        text = GetLangStr("Automask");
        break;
      case 4:
        text = GetLangStr("Usermask");
        break;
      default:
        break;
    }
  }
  Cell(2, 2, text, ContrastTextColor(Color()));
}

void TVerhText::ShowTriggerState(int state) {
  if (state == triggerState_) return;
  triggerState_ = state;
  switch (state) {
    case 0:
      Cell(3, 2, "", 0x00FF00);
      break;
    case 1:
      Cell(3, 2, GetLangStr("Trig_d"), 0x00FF00);
      break;
    case 2:
      Cell(3, 2, GetLangStr("NotTrig"), 0x8080FF);
      break;
    case 3:
      Cell(3, 2, GetLangStr("Freerun"), 0x00FFFF);
      break;
    default:
      Cell(3, 2, "", 0x00FFFF);
      break;
  }
}

void TVerhText::DrawFitIcon(bool single) {
  // Our own pictures: one waveform for a single record that fits the screen, three
  // stacked ones for many.
  const TRect box{kIconLeft, kIconTop, kIconLeft + kIconSize, kIconTop + kIconSize};
  Image().FillRect(box, Color());
  const TColorRef ink = ContrastTextColor(Color());
  const auto wave = [&](int base, int height) {
    for (int i = 1; i < kIconSize - 1; ++i) {
      const int y = base - ((i / 3) % 2 == 0 ? 0 : height);
      if (y >= 0 && y < Height() && kIconLeft + i < Width()) Image().SetPixel(kIconLeft + i, y, ink);
    }
  };
  if (single) {
    wave(kIconTop + 11, 6);
  } else {
    for (int k = 0; k < 3; ++k) wave(kIconTop + 4 + 5 * k, 3);
  }
}

void TVerhText::ShowFitToIcon() {
  source_->ApplyFitTo();
  const int single = source_->FitToMulti() ? 0 : 1;
  if (single == fitIconState_) return;
  fitIconState_ = single;
  DrawFitIcon(single != 0);
  // Shown from where it was drawn.
  PaintRect(kIconLeft, kIconTop, kIconTop + kIconSize - 1, kIconLeft + kIconSize - 1);
}

void TVerhText::ForgetStateTexts() {
  lastStateText_ = {};
  lastStateColour_ = {};
}

void TVerhText::ShowWaveformCount(int count) {
  // Written over both state cells.
  ForgetStateTexts();
  Cell(kWideColumn, 2, GetLangStr("nWaveforms_") + std::to_string(count), kWhite);
}

void TVerhText::ShowDatabaseProgress(bool acquiring, const std::string& countText) {
  const std::string text = GetLangStr("DatabaseOf_") + countText +
                           (acquiring ? GetLangStr("_Acquised___") : std::string(" Finished"));
  PushHint(text, 5, THintKeep::Drop, THintStyle::Normal);
}

void TVerhText::ShowDatabaseInfo() {
  const TDatabaseHeader h = source_->DatabaseHeader();
  const TColorRef colour = GetDisplaySourceRGB(TTraceId::DB);
  ForgetStateTexts();
  Cell(0, 1, GetLangStr("Database_") + GetTraceShortName(h.Source), colour);
  Cell(0, 2, GetLangStr("nWfm_") + Eng(h.WaveformCount, 6), colour);
  Cell(1, 2, Eng(h.HorizontalValue, 5) + h.HorizontalUnit, colour);
  Cell(2, 1, Eng(50 * h.VerticalScale, 6) + h.VerticalUnit + "div", colour);
  Cell(2, 2, Eng(h.VerticalOffset, 6) + h.VerticalUnit, colour);
}

void TVerhText::RefreshTopText() {
  if (!source_->SettingsReady()) return;
  ShowAllChannelStatus();
  ShowDisplayStyle();
  ShowTriggerSource();
  ShowMaskState();
  if (source_->DatabaseShown()) ShowDatabaseInfo();
  ShowFitToIcon();
}

void TVerhText::ResetTopText() {
  ForgetStateTexts();
  triggerState_ = 0;
  fitIconState_ = 55;
}

void TVerhText::ColorChanged() {
  TScanLinesTextScreen::ColorChanged();
  ResetTopText();
  RefreshTopText();
}

}  // namespace norv
