#include "shell/ui/screen_capture.h"

#include <QBuffer>
#include <QDateTime>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <QScreen>
#include <stdexcept>
#include <string>

#include "framework/util/file_io.h"
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

namespace {

// The picture as large as the page allows, in its own proportions.
bool DrawOnPage(QPaintDevice& device, const QImage& picture) {
  QPainter painter;
  if (!painter.begin(&device)) return false;
  const QRect page = painter.viewport();
  QSize size = picture.size();
  size.scale(page.size(), Qt::KeepAspectRatio);
  painter.drawImage(QRect(page.topLeft(), size), picture);
  return painter.end();
}

}  // namespace

std::filesystem::path PrintPicture(const QImage& picture, QPrinter& printer,
                                   const std::filesystem::path& pdfFolder) {
  if (picture.isNull()) throw std::runtime_error("Nothing to print");
  printer.setPageOrientation(picture.width() > picture.height() ? QPageLayout::Landscape
                                                                : QPageLayout::Portrait);
  if (printer.outputFormat() != QPrinter::PdfFormat && !printer.printerName().isEmpty()) {
    if (!DrawOnPage(printer, picture)) throw std::runtime_error("The printer cannot be opened");
    return {};
  }
  // The PDF is made in memory with the printer's page and written as every file is.
  QBuffer bytes;
  bytes.open(QIODevice::WriteOnly);
  {
    QPdfWriter pdf(&bytes);
    pdf.setResolution(printer.resolution());
    pdf.setPageLayout(printer.pageLayout());
    if (!DrawOnPage(pdf, picture)) throw std::runtime_error("The PDF file cannot be made");
  }
  const QString stamp = QDateTime::currentDateTime().toString("yyyyMMdd-HHmmss-zzz");
  const std::filesystem::path file = pdfFolder / ("Screen-" + stamp.toStdString() + ".pdf");
  std::string why;
  if (!WriteFileAtomically(
          file, std::string_view(bytes.data().constData(), static_cast<size_t>(bytes.size())), true, &why))
    throw std::runtime_error("Cannot write the file \"" + file.string() + "\": " + why);
  return file;
}

}  // namespace norv
