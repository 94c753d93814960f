#include "controls/look.h"

#include <QFontMetrics>

namespace norv {

QPalette::ColorRole SysColorRole(TSysColor color) {
  switch (color) {
    case TSysColor::BtnFace:
      return QPalette::Button;
    case TSysColor::BtnHighlight:
      return QPalette::Light;
    case TSysColor::BtnShadow:
      return QPalette::Dark;
    case TSysColor::ActiveCaption:
      return QPalette::Highlight;
    // The darkest grey of the palette: the white caption text stays readable on it, and a
    // greyed text on a button face stands out.
    case TSysColor::InactiveCaption:
      return QPalette::Shadow;
    case TSysColor::CaptionText:
      return QPalette::HighlightedText;
    case TSysColor::Highlight:
      return QPalette::Highlight;
    case TSysColor::HighlightText:
      return QPalette::HighlightedText;
  }
  return QPalette::Button;
}

QColor SysColor(const QPalette& palette, TSysColor color) {
  return palette.color(QPalette::Active, SysColorRole(color));
}

QFont ProgramFont() {
  QFont font("Liberation Sans");
  font.setPixelSize(11);
  font.setStyleStrategy(QFont::NoAntialias);
  return font;
}

QFont NarrowFont(const QFont& font) {
  QFont narrow = font;
  narrow.setFamily("Liberation Sans Narrow");
  return narrow;
}

QFont FittingFont(const QFont& font, const QString& text, int room) {
  if (text.isEmpty() || QFontMetrics(font).horizontalAdvance(text) <= room) return font;
  QFont narrow = NarrowFont(font);
  if (font.pixelSize() <= 0) return narrow;  // sized in points: the narrow face alone
  for (int pixels = font.pixelSize();; --pixels) {
    narrow.setPixelSize(pixels);
    if (pixels <= kSmallestFittingPixels || QFontMetrics(narrow).horizontalAdvance(text) <= room)
      return narrow;
  }
}

int TitleBarWidth(const QString& title) {
  constexpr int kIconAndButtons = 4 * 28;
  QFont bar = ProgramFont();
  bar.setPixelSize(14);
  bar.setBold(true);
  return QFontMetrics(bar).horizontalAdvance(title) + kIconAndButtons;
}

void KeepTitleWhole(QWidget& window) {
  const int needed = TitleBarWidth(window.windowTitle());
  if (window.maximumWidth() < needed) window.setMaximumWidth(needed);
  if (window.minimumWidth() < needed) window.setMinimumWidth(needed);
}

QIcon ProgramIcon() { return QIcon(QStringLiteral(":/vexilor-norv.png")); }

QColor ColorFromBgr(uint32_t color) {
  return QColor(static_cast<int>(color & 0xFF), static_cast<int>((color >> 8) & 0xFF),
                static_cast<int>((color >> 16) & 0xFF));
}

}  // namespace norv
