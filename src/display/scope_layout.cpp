#include "display/scope_layout.h"

#include <algorithm>

namespace norv {

namespace {

struct TFormatShape {
  int Count;
  int XYScreenNo;
  std::array<int, kMaxScreens> Eighths;
};

constexpr std::array<TFormatShape, kScreenFormatCount> kShapes = {{
    {1, 0, {8, 0, 0, 0}},  // YT
    {2, 0, {4, 4, 0, 0}},  // 2YT
    {4, 0, {2, 2, 2, 2}},  // 4YT
    {1, 1, {8, 0, 0, 0}},  // XY
    {2, 2, {4, 4, 0, 0}},  // CombYTXY
    {3, 3, {2, 2, 4, 0}},  // Comb2YTXY
}};

// Divides S among the screens by their eighths in steps of S / 32; what a whole step per
// eighth leaves over goes, in order, to each screen that still fits another step.
int DistributeHeights(int s, const TFormatShape& shape, TScreenLayout& layout) {
  const int unit = std::max(2, s / 32);
  int rest = std::max(0, s - 32 * unit);
  int used = 0;
  for (int i = 0; i < shape.Count; ++i) {
    const int step = 4 * shape.Eighths[i];
    int height = step * unit;
    if (step < rest) {
      height += step;
      rest -= step;
    }
    layout.Screens[i].Height = height;
    used += height;
  }
  return used;
}

}  // namespace

TScreenLayout ComputeLayout(TScreenFormat format, int panelWidth, int panelHeight) {
  const TFormatShape& shape = kShapes[static_cast<int>(format)];
  TScreenLayout layout;
  layout.Count = shape.Count;
  layout.XYScreenNo = shape.XYScreenNo;
  layout.TopTextVisible = panelHeight > 300;
  const int top = layout.TopTextVisible ? 34 : 1;
  const int room = panelHeight - top - 2 * shape.Count;

  int gap = 0;
  int extra = 0;
  if (room >= 273) {
    // Large: the bottom strip has a room of its own below.
    const int used = DistributeHeights(room - 81, shape, layout);
    gap = std::max(0, (room - 81 - used) / (shape.Count + 2));
  } else if (room >= 208) {
    const int s = 192 + (room - 192) % 16;
    const int left = std::max(0, s - DistributeHeights(s, shape, layout));
    gap = left / (shape.Count + 1);
    extra = left % (shape.Count + 1);
  } else {
    int left = std::max(0, room - DistributeHeights(room, shape, layout));
    if (left >= 16) {
      left -= 16;
      gap = left / (shape.Count + 1);
      extra = left % (shape.Count + 1);
    } else {
      layout.BottomStripVisible = false;
      gap = left / shape.Count;
    }
  }

  int y = top + gap;
  for (int i = 0; i < shape.Count; ++i) {
    layout.Screens[i].Top = y;
    y += layout.Screens[i].Height + 2 + gap;
  }
  layout.BottomStripTop = y + extra;

  const int plot = std::max(0, (panelWidth - 22) / 50 * 50);
  const int spare = panelWidth - 22 - plot;
  const int margin = spare > 10 ? (spare - 10) / 2 : 0;
  for (int i = 0; i < shape.Count; ++i) {
    TScreenRect& r = layout.Screens[i];
    r.Eighths = shape.Eighths[i];
    r.Height += 1;
    if (i + 1 == shape.XYScreenNo) {
      r.Width = r.Height;
      r.Left = std::max(0, (panelWidth - r.Width) / 2);
    } else {
      r.Width = plot + 22;
      r.Left = margin;
    }
  }
  return layout;
}

int GraticuleSplitOf(TScreenFormat format) {
  switch (format) {
    case TScreenFormat::YT:
    case TScreenFormat::XY:
      return 1;
    case TScreenFormat::YT2:
    case TScreenFormat::CombYTXY:
      return 2;
    default:
      return 4;
  }
}

int GraticuleSplitAltOf(TScreenFormat format) { return format == TScreenFormat::XY ? 1 : 2; }

}  // namespace norv
