#include "shell/ui/screen_capture.h"

#include <QDateTime>
#include <QPainter>
#include <QPrinter>
#include <QScreen>
#include <stdexcept>
#include <system_error>

#include "shell/main_commands.h"

namespace norv {

void InvertAgainstBackground(QImage& image, const QRect& rect, QRgb background) {
  const QRect area = rect.intersected(image.rect());
  const QRgb mask = background & 0x00FFFFFFu;
  for (int y = area.top(); y <= area.bottom(); ++y) {
    auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = area.left(); x <= area.right(); ++x) row[x] = 0xFF000000u | (~(row[x] ^ mask) & 0x00FFFFFFu);
  }
}

QImage CaptureMainWindow(QWidget& window, QWidget* scope, int item, QRgb background) {
  const auto grab = [](QWidget& w) { return w.grab().toImage().convertToFormat(QImage::Format_RGB32); };
  QImage image;
  switch (item) {
    case kCopyFullScreen:
    case kCopyFullWindow: {
      // Copied from the screen where the display system allows it; else the window's own
      // picture.
      if (QScreen* screen = window.screen()) {
        const QRect frame = window.frameGeometry();
        image = item == kCopyFullScreen
                    ? screen->grabWindow(0).toImage()
                    : screen->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height()).toImage();
      }
      if (image.isNull() || image.width() <= 1) image = grab(window);
      return image.convertToFormat(QImage::Format_RGB32);
    }
    case kCopyClientPart:
    case kCopyInvClientPart:
      image = grab(window);
      if (item == kCopyInvClientPart) {
        const QRect area =
            scope != nullptr ? QRect(scope->mapTo(&window, QPoint(0, 0)), scope->size()) : image.rect();
        InvertAgainstBackground(image, area, background);
      }
      return image;
    case kCopyScopeScreen:
    case kCopyInvScopeScr:
      image = grab(scope != nullptr ? *scope : window);
      if (item == kCopyInvScopeScr) InvertAgainstBackground(image, image.rect(), background);
      return image;
    default:
      return {};
  }
}

std::filesystem::path PrintPicture(const QImage& picture, QPrinter& printer,
                                   const std::filesystem::path& pdfFolder) {
  if (picture.isNull()) throw std::runtime_error("Nothing to print");
  std::filesystem::path pdf;
  if (printer.outputFormat() == QPrinter::PdfFormat || printer.printerName().isEmpty()) {
    std::error_code ec;
    std::filesystem::create_directories(pdfFolder, ec);
    const QString stamp = QDateTime::currentDateTime().toString("yyyyMMdd-HHmmss-zzz");
    pdf = pdfFolder / ("Screen-" + stamp.toStdString() + ".pdf");
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString(pdf.string()));
  }
  printer.setPageOrientation(picture.width() > picture.height() ? QPageLayout::Landscape
                                                                : QPageLayout::Portrait);
  QPainter painter;
  if (!painter.begin(&printer)) throw std::runtime_error("The printer cannot be opened");
  const QRect page = painter.viewport();
  QSize size = picture.size();
  size.scale(page.size(), Qt::KeepAspectRatio);
  painter.drawImage(QRect(page.topLeft(), size), picture);
  painter.end();
  return pdf;
}

}  // namespace norv
