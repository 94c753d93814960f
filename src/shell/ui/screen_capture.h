#pragma once
// Pictures of the main window for "*Copy" and "*Print": the whole screen, the window, its
// client area or the scope screen, the last two also inverted against the screen's
// background so that the background prints white.

#include <QImage>
#include <QPrinter>
#include <QWidget>
#include <filesystem>

namespace norv {

// By the items of "*Copy"; a null image for an item outside the list. `scope` may be null
// (the whole client area stands for it). `background`: the scope screen's background.
QImage CaptureMainWindow(QWidget& window, QWidget* scope, int item, QRgb background);
// Each pixel of `rect` combined with the background by exclusive-or and then inverted.
void InvertAgainstBackground(QImage& image, const QRect& rect, QRgb background);

// Prints the picture on the printer chosen in the printer set-up, or into a new PDF file in
// `pdfFolder` when there is no printer; returns the PDF file's path (empty when it went to
// a printer). Throws std::runtime_error when the picture cannot be printed.
std::filesystem::path PrintPicture(const QImage& picture, QPrinter& printer,
                                   const std::filesystem::path& pdfFolder);

}  // namespace norv
