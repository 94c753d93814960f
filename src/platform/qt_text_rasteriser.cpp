#include "platform/qt_text_rasteriser.h"

#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QString>

namespace norv {

static QString ToQString(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

TQtTextRasteriser::TQtTextRasteriser() : font_(QStringLiteral("Liberation Sans")) {
  font_.setPixelSize(11);
  font_.setStyleStrategy(QFont::NoAntialias);
  font_.setHintingPreference(QFont::PreferFullHinting);
}

TTextExtent TQtTextRasteriser::Measure(std::string_view text) const {
  const QFontMetrics metrics(font_);
  return {metrics.horizontalAdvance(ToQString(text)), metrics.height()};
}

int TQtTextRasteriser::CharAdvance(char32_t c) const {
  const QFontMetrics metrics(font_);
  return metrics.horizontalAdvance(QString::fromUcs4(&c, 1));
}

TTextMask TQtTextRasteriser::RenderMask(std::string_view text) const {
  const TTextExtent size = Measure(text);
  TTextMask mask;
  mask.Width = size.Width;
  mask.Height = size.Height;
  mask.Bits.assign(static_cast<size_t>(size.Width) * size.Height, 0);
  if (size.Width <= 0 || size.Height <= 0) return mask;
  QImage image(size.Width, size.Height, QImage::Format_Grayscale8);
  image.fill(0);
  {
    QPainter painter(&image);
    painter.setRenderHint(QPainter::TextAntialiasing, false);
    painter.setFont(font_);
    painter.setPen(Qt::white);
    painter.drawText(0, QFontMetrics(font_).ascent(), ToQString(text));
  }
  for (int y = 0; y < size.Height; ++y) {
    const uchar* row = image.constScanLine(y);
    for (int x = 0; x < size.Width; ++x) {
      mask.Bits[static_cast<size_t>(y) * size.Width + x] = row[x] >= 128 ? 1 : 0;
    }
  }
  return mask;
}

}  // namespace norv
