#include "display/ui/scan_lines_widget.h"

#include <QPaintEvent>
#include <QPainter>

namespace norv {

QImage SurfaceImage(const TSLBMP& image) {
  if (image.Width() == 0 || image.Height() == 0) return QImage();
  // The fourth byte of every pixel is 0xFF, so the buffer is an opaque RGB32 image.
  return QImage(reinterpret_cast<const uchar*>(image.Data()), image.Width(), image.Height(),
                static_cast<qsizetype>(image.Width()) * 4, QImage::Format_RGB32);
}

TScanLinesWidget::TScanLinesWidget(TScanLinesScreen& screen, QWidget* parent)
    : QWidget(parent), screen_(screen) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAttribute(Qt::WA_NoSystemBackground);
  screen_.AttachWindow(this);
}

TScanLinesWidget::~TScanLinesWidget() { screen_.AttachWindow(nullptr); }

void TScanLinesWidget::SetBounds(int left, int top, int width, int height) {
  screen_.SetBounds(left, top, width, height);
  setGeometry(left, top, width, height);
  update();
}

void TScanLinesWidget::setVisible(bool visible) {
  screen_.SetVisible(visible);
  QWidget::setVisible(visible);
}

void TScanLinesWidget::PresentRect(int left, int top, int right, int bottom) {
  update(QRect(left, top, right - left + 1, bottom - top + 1));
}

void TScanLinesWidget::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  const QImage image = SurfaceImage(screen_.Image());
  if (image.isNull()) return;
  const QRect area = event->rect() & image.rect();
  painter.drawImage(area, image, area);
}

}  // namespace norv
