#pragma once
// The window side of a scan-line surface: presents the rectangles the surface reports
// changed. All drawing happens in the surface's own picture.

#include <QImage>
#include <QWidget>

#include "display/scan_lines.h"

namespace norv {

// A read-only view of the picture (valid while the picture keeps its size).
QImage SurfaceImage(const TSLBMP& image);

class TScanLinesWidget : public QWidget, public IScreenWindow {
  Q_OBJECT
 public:
  TScanLinesWidget(TScanLinesScreen& screen, QWidget* parent = nullptr);
  ~TScanLinesWidget() override;

  // Places the widget and resizes the surface's picture with it.
  void SetBounds(int left, int top, int width, int height);
  void setVisible(bool visible) override;
  void PresentRect(int left, int top, int right, int bottom) override;
  TScanLinesScreen& Screen() { return screen_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  TScanLinesScreen& screen_;
};

}  // namespace norv
