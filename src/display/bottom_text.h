#pragma once
// The text strip below the screens: five rows of readout cells written by the measurement,
// marker, histogram, mask, eye and TDR features. It fixes where every cell lies, limits
// how often one line is redrawn (a write within the throttle interval of the previous one
// is held and drawn when the interval ends, later writes replacing it), and opens the
// pop-up menu of a readout line on a right click.

#include <array>
#include <memory>
#include <string>
#include <string_view>

#include "display/popup_menu.h"
#include "display/scan_lines.h"
#include "framework/util/clock.h"

namespace norv {

enum class TMouseButton : uint8_t { Left, Right, Middle };

class TNizText : public TScanLinesTextScreen {
 public:
  static constexpr int kLines = 15;
  // The column argument of GetLineCellRect for the merged cell.
  static constexpr int kMergedColumn = '-';

  // Without a timer factory every write is drawn at once.
  explicit TNizText(const ITextRasteriser* text = nullptr, ITimerFactory* timers = nullptr);
  ~TNizText() override;

  void SetTimerFactory(ITimerFactory* timers);
  double ThrottleInterval() const { return throttleInterval_; }

  // Empties every line (no pending text is drawn later), blanks the strip and forgets the
  // captions and readouts shown.
  void Clear() override;
  // Line -1 (or any outside 0..14): drawn at once; else throttled per line.
  void WriteLine(const std::string& text, TRect rect, int line, TColorRef color);

  // The cells; arguments outside the table throw std::out_of_range.
  static TRect GetMarkCellRect(int row, int column, bool caption);
  // The marker table's caption cells were sized for a narrower face: a caption wider than
  // its cell runs on into the value cell, and the value begins after it.
  TRect MarkCaptionRect(int row, int column, std::string_view caption) const;
  TRect MarkValueRect(int row, int column, std::string_view caption) const;
  static TRect GetMeasCellRect(int n, bool caption);
  static TRect GetJitterCellRect(int n, bool caption);
  static TRect GetLineCellRect(int line, int column);
  static TRect GetHistCellRect(int column, int row, bool caption);
  static TRect GetMaskCellRect(int column, int row, bool caption);

  bool GetCaptionsShown(int group) const { return captionsShown_.at(group - 1); }
  void SetCaptionsShown(int group, bool value) { captionsShown_.at(group - 1) = value; }
  bool ReadoutsShown() const { return readoutsShown_; }
  void SetReadoutsShown(bool value) { readoutsShown_ = value; }

  // A press on the strip; a right click on a readout line leaves its menu in PopupMenu.
  void MouseDown(TMouseButton button, int x, int y);
  const TPopupMenu* PopupMenu() const { return popup_ ? popup_.get() : nullptr; }
  int PopupIndex() const { return popupIndex_; }
  // The user chose an item of the open menu: the feature gets it, the menu goes.
  void ChoosePopupItem(const std::string& name);
  void ClosePopupMenu() { popup_.reset(); }

 private:
  struct TLine {
    std::string Text;
    bool Pending = false;
    TRect Rect;
    TColorRef Color = 0;
    std::unique_ptr<ITimer> Timer;
    bool Throttled() const { return Timer != nullptr && Timer->Enabled(); }
  };
  void Draw(const std::string& text, TRect rect, TColorRef color);
  void LineTimerFired(int line);
  void OpenMenu(int index, TPopupMenu menu, void (*command)(const std::string&, int));

  ITimerFactory* timers_;
  std::array<TLine, kLines> lines_;
  double throttleInterval_ = 0.5;
  std::array<bool, 2> captionsShown_{};
  bool readoutsShown_ = false;
  std::unique_ptr<TPopupMenu> popup_;
  int popupIndex_ = 0;
};

}  // namespace norv
