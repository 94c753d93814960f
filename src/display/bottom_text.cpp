#include "display/bottom_text.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>

#include "display/display_hooks.h"
#include "framework/settings/undo_ring.h"

namespace norv {

namespace {

[[noreturn]] void OutOfTable(const char* what, int a, int b) {
  throw std::out_of_range(std::string("bottom strip ") + what + " cell (" + std::to_string(a) + ", " +
                          std::to_string(b) + ") outside its table");
}

// Lines 0..3 lie below the header row -1; the strip has no further line rows.
constexpr int kLastLine = 3;

bool Inside(const TRect& r, int x, int y) {
  return r.Left <= x && x <= r.Right && r.Top <= y && y <= r.Bottom;
}

}  // namespace

TNizText::TNizText(const ITextRasteriser* text, ITimerFactory* timers)
    : TScanLinesTextScreen(text), timers_(timers) {}

TNizText::~TNizText() = default;

void TNizText::SetTimerFactory(ITimerFactory* timers) {
  for (TLine& line : lines_) line.Timer.reset();
  timers_ = timers;
}

void TNizText::Clear() {
  for (TLine& line : lines_) {
    line.Timer.reset();
    line.Pending = false;
    line.Text.clear();
  }
  throttleInterval_ = 0.5;
  TScanLinesTextScreen::Clear();
  captionsShown_ = {};
  readoutsShown_ = false;
}

void TNizText::Draw(const std::string& text, TRect rect, TColorRef color) {
  SetFontColor(color);
  TextRectOut(rect, 0, text, 0);
}

void TNizText::WriteLine(const std::string& text, TRect rect, int line, TColorRef color) {
  if (line < 0 || line >= kLines || timers_ == nullptr) {
    Draw(text, rect, color);
    return;
  }
  TLine& l = lines_[line];
  if (l.Throttled()) {
    l.Text = text;
    l.Rect = rect;
    l.Color = color;
    l.Pending = true;
    return;
  }
  Draw(text, rect, color);
  if (!l.Timer) {
    l.Timer = timers_->CreateTimer();
    l.Timer->OnTimer = [this, line] { LineTimerFired(line); };
  }
  l.Timer->SetInterval(static_cast<int>(std::lround(throttleInterval_ * 1000)));
  l.Timer->SetEnabled(true);
}

void TNizText::LineTimerFired(int line) {
  TLine& l = lines_[line];
  // One-shot: the next write of the line is drawn at once.
  l.Timer->SetEnabled(false);
  if (!l.Pending) return;
  l.Pending = false;
  Draw(l.Text, l.Rect, l.Color);
  l.Text.clear();
}

TRect TNizText::GetMarkCellRect(int row, int column, bool caption) {
  static constexpr int kCaption[] = {3, 118, 233, 348};
  static constexpr int kValue[] = {37, 152, 267, 412};
  if (row < 1 || row > 5 || column < 1 || column > 4) OutOfTable("marker", row, column);
  const int top = (row - 1) * 16;
  const int c = column - 1;
  if (caption) return TRect{kCaption[c], top, kValue[c] - 1, top + 15};
  return TRect{kValue[c], top, c == 3 ? 518 : kCaption[c + 1] - 1, top + 15};
}

TRect TNizText::MarkCaptionRect(int row, int column, std::string_view caption) const {
  TRect r = GetMarkCellRect(row, column, true);
  r.Right = std::max(r.Right, r.Left + TextWidth(caption) + 1);
  return r;
}

TRect TNizText::MarkValueRect(int row, int column, std::string_view caption) const {
  TRect r = GetMarkCellRect(row, column, false);
  r.Left = std::max(r.Left, MarkCaptionRect(row, column, caption).Right + 1);
  return r;
}

TRect TNizText::GetMeasCellRect(int n, bool caption) {
  if (n < 0 || n > 9) OutOfTable("measurement", n, 0);
  const int top = (n % 5) * 16;
  const bool second = n >= 5;
  if (caption) return second ? TRect{255, top, 364, top + 16} : TRect{3, top, 112, top + 16};
  return second ? TRect{365, top, 518, top + 16} : TRect{113, top, 254, top + 16};
}

TRect TNizText::GetJitterCellRect(int n, bool caption) {
  if (n < 0 || n > 9) OutOfTable("jitter", n, 0);
  const int top = (n % 5) * 16;
  const bool second = n >= 5;
  if (caption) return second ? TRect{275, top, 434, top + 16} : TRect{3, top, 182, top + 16};
  return second ? TRect{435, top, 528, top + 16} : TRect{183, top, 274, top + 16};
}

TRect TNizText::GetLineCellRect(int line, int column) {
  static constexpr int kHeader[] = {3, 113, 170, 234, 306, 376, 446, 518};
  static constexpr int kLine[] = {3, 113, 176, 238, 306, 376, 446, 518};
  if (line < -1 || line > kLastLine) OutOfTable("line", line, column);
  const int top = (line + 1) * 16;
  if (column == kMergedColumn) return TRect{238, top, 375, top + 16};
  if (column < 1 || column > 7) OutOfTable("line", line, column);
  const int* edges = line < 0 ? kHeader : kLine;
  return TRect{edges[column - 1], top, edges[column], top + 16};
}

TRect TNizText::GetHistCellRect(int column, int row, bool caption) {
  static constexpr int kCaption[][2] = {{3, 67}, {168, 222}, {333, 422}};
  static constexpr int kValue[][2] = {{68, 167}, {223, 332}, {423, 512}};
  if (column < 1 || column > 3 || row < 1 || row > 5) OutOfTable("histogram", column, row);
  const int top = (row - 1) * 16;
  const int* edges = caption ? kCaption[column - 1] : kValue[column - 1];
  return TRect{edges[0], top, edges[1], top + 15};
}

TRect TNizText::GetMaskCellRect(int column, int row, bool caption) {
  static constexpr int kCaption[][2] = {{3, 77}, {173, 247}, {343, 417}};
  static constexpr int kValue[][2] = {{78, 172}, {248, 342}, {418, 512}};
  if (column < 1 || column > 3 || row < 1 || row > 5) OutOfTable("mask", column, row);
  const int top = (row - 1) * 16;
  const int* edges = caption ? kCaption[column - 1] : kValue[column - 1];
  return TRect{edges[0], top, edges[1], top + 15};
}

void TNizText::OpenMenu(int index, TPopupMenu menu, void (*command)(const std::string&, int)) {
  popupIndex_ = index;
  menu.OnChosen = [this, command](const std::string& name) {
    // A choice is the user's own change: one undo takes back it alone, not the step before.
    if (UndoBuffer) UndoBuffer->BeginStep();
    command(name, popupIndex_);
  };
  popup_ = std::make_unique<TPopupMenu>(std::move(menu));
}

void TNizText::ChoosePopupItem(const std::string& name) {
  if (!popup_) return;
  // The menu goes before the feature acts, which may open another.
  const std::unique_ptr<TPopupMenu> menu = std::move(popup_);
  menu->Choose(name);
}

void TNizText::MouseDown(TMouseButton button, int x, int y) {
  const bool right = button == TMouseButton::Right;
  const int display = DisplayHooks.MeasDisplay();
  if (display != 0) {
    popup_.reset();
    const bool statistic = display == 2;
    // The statistic display has one slot per line row.
    const int slots = std::min(DisplayHooks.MeasParamCount(), statistic ? kLastLine + 1 : 10);
    for (int k = 0; k < slots; ++k) {
      if (!Inside(statistic ? GetLineCellRect(k, 1) : GetMeasCellRect(k, true), x, y)) continue;
      if (statistic && button == TMouseButton::Left && DisplayHooks.HisticonsAvailable()) {
        DisplayHooks.ToggleHisticon(k);
      } else if (right) {
        OpenMenu(k, DisplayHooks.BuildMeasPopupMenu(k),
                 [](const std::string& item, int slot) { DisplayHooks.MeasPopupItemClick(item, slot); });
      }
      break;
    }
  }
  if (DisplayHooks.EyeMeasureOn()) {
    popup_.reset();
    const int lines = std::min(DisplayHooks.EyeParamLineCount(), kLastLine + 1);
    for (int k = 1; k <= lines; ++k) {
      if (!Inside(GetLineCellRect(k - 1, 1), x, y)) continue;
      if (right) {
        OpenMenu(k, DisplayHooks.BuildEyeParamPopupMenu(k),
                 [](const std::string& item, int line) { DisplayHooks.EyeParamPopupCommand(item, line); });
      }
      break;
    }
  }
  if (DisplayHooks.TdrMeasureOn()) {
    popup_.reset();
    const int lines = std::min(DisplayHooks.TdrMeasureLineCount(), kLastLine + 1);
    for (int k = 0; k < lines; ++k) {
      if (!Inside(GetLineCellRect(k, 1), x, y)) continue;
      if (right) {
        OpenMenu(k, DisplayHooks.BuildReflectParamPopupMenu(k), [](const std::string& item, int line) {
          DisplayHooks.ReflectParamPopupCommand(item, line);
        });
      }
      break;
    }
  }
}

}  // namespace norv
