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

QFont FittingFont(const QFont& font, const QString& text, int room) {
  if (QFontMetrics(font).horizontalAdvance(text) <= room) return font;
  QFont narrow = font;
  narrow.setFamily("Liberation Sans Narrow");
  if (font.pixelSize() <= 0) return narrow;  // sized in points: the narrow face alone
  for (int pixels = font.pixelSize();; --pixels) {
    narrow.setPixelSize(pixels);
    if (pixels <= kSmallestFittingPixels || QFontMetrics(narrow).horizontalAdvance(text) <= room)
      return narrow;
  }
}

QColor ColorFromBgr(uint32_t color) {
  return QColor(static_cast<int>(color & 0xFF), static_cast<int>((color >> 8) & 0xFF),
                static_cast<int>((color >> 16) & 0xFF));
}

}  // namespace norv
