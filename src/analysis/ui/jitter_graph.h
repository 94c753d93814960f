#pragma once
// The jitter plot windows: one per plot kind, owned by the main window, each with its
// drawing surface, the sample count, three combination buttons for the composite plots
// and "DDJ vs Bit", and Close. A window tells the jitter unit directly when it closes,
// when it wants a redraw and where its surface was clicked.

#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>

#include "display/scan_lines.h"
#include "platform/qt_text_rasteriser.h"

class QFrame;
class QLabel;
class QPushButton;
class QTimer;

namespace norv {

class TJ_Obj;

// Makes the widget that presents a surface (the display's own; the program's pages give
// it). Without one the windows draw into their surfaces unseen.
using TSurfaceWidgetFactory = std::function<QWidget*(TScanLinesScreen& screen, QWidget* parent)>;
void SetJitterSurfaceFactory(TSurfaceWidgetFactory factory);

class TJitterGraphFrm : public QWidget {
  Q_OBJECT
 public:
  TJitterGraphFrm(int kind, QWidget* owner);
  ~TJitterGraphFrm() override;

  // The resize timer runs: the surface is about to be rebuilt.
  bool ResizePending() const;
  // The combination given to the plot: the selected button for a clickable window, else
  // selection x 16 + previous x 4 + third.
  int Combination() const;
  int Selection() const { return options_[0]; }
  TScanLinesScreen& Screen() { return screen_; }
  QWidget* DrawingWidget() const;
  QFrame* ComboButton(int i) const { return comboButtons_.at(static_cast<size_t>(i)); }
  QLabel* SamplesLabel() const { return lblNSamples_; }
  QPushButton* CloseButton() const { return button1_; }

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Timer1Timer();
  void ComboButtonDown(int i);
  void ComboButtonUp(int i);

  int kind_;
  bool clickable_;
  // The selected button, the previous one, and the third.
  std::array<uint8_t, 3> options_{2, 1, 0};
  TQtTextRasteriser text_;
  TScanLinesScreen screen_;
  QWidget* drawing_ = nullptr;  // deleted before the surface it shows
  QLabel* lblNSamples_ = nullptr;
  QPushButton* button1_ = nullptr;
  QWidget* pnlComboPanel_ = nullptr;
  std::array<QLabel*, 3> comboLabels_{};
  std::array<QFrame*, 3> comboButtons_{};
  QTimer* timer1_ = nullptr;
};

// The window of a kind, or nullptr.
TJitterGraphFrm* JitterGraphWindow(int kind);
void ShowJitterPlot(int kind);
void FreeJitterPlot(int kind);
// Nothing when the kind has no window or its resize timer runs. mode 2: a click at
// `position` (surface X) into "DDJ vs Bit" zooms in; mode 1 with position 1 after its
// "UNDO ZOOM" button zooms out.
void DrawJitterPlot(TJ_Obj* engine, int kind, int mode, int position);
// What a window tells: code 0 closed, 1 redraw (value 1 after a button, else -1), 2 click
// with its X in value.
void JitterGraphMessage(int kind, int code, int value);

// Fills JitterHooks.
void InstallJitterWindows();

}  // namespace norv
