#pragma once
// The screen area as a widget: one view per surface of the screen control (signal
// screens, status line, bottom strip), placed where the layout puts them. Qt mouse events
// become the screens' and the strip's mouse calls; the ghost of a trace drag is shown
// inverted over the picture, and the strip's pop-up menus appear as QMenus.

#include <QCursor>
#include <QMenu>
#include <QPointer>
#include <QWidget>
#include <array>
#include <functional>

#include "controls/hint_window.h"
#include "display/scope_crt.h"
#include "display/ui/scan_lines_widget.h"

namespace norv {

// Our own cursor shapes for the zoom frame: a magnifier with a plus (inside) and a barred
// circle (outside).
QCursor ScreenCursor(TScreenCursor cursor);
// The buttons and modifier keys of a Qt mouse event.
TShiftState ShiftStateOf(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers);

class TSignalScreenWidget : public TScanLinesWidget {
  Q_OBJECT
 public:
  TSignalScreenWidget(TScopeCRT& crt, int number, QWidget* parent);
  int Number() const { return number_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  // Runs a mouse call; what it throws is reported, never passed to the event loop.
  void Handle(const std::function<void(TScreenMouse&)>& call);

  TScopeCRT& crt_;
  int number_;
};

class TBottomStripWidget : public TScanLinesWidget {
  Q_OBJECT
 public:
  TBottomStripWidget(TNizText& strip, QWidget* parent);
  // The menu of the last right click while it is open.
  QMenu* OpenMenu() const { return menu_; }

 protected:
  void mousePressEvent(QMouseEvent* event) override;

 private:
  TNizText& strip_;
  QPointer<QMenu> menu_;
};

class TScopeCRTWidget : public QWidget, public IScopeView {
  Q_OBJECT
 public:
  // The border around the screen area.
  static constexpr int kBorder = 2;
  explicit TScopeCRTWidget(TScopeCRT& crt, QWidget* parent = nullptr);
  ~TScopeCRTWidget() override;

  TScopeCRT& Crt() { return crt_; }
  TSignalScreenWidget* ScreenWidget(int n) const;
  TScanLinesWidget* TopTextWidget() const { return top_; }
  TBottomStripWidget* BottomStripWidget() const { return bottom_; }

  void ScreenDestroying(int n) override;
  void LayoutChanged() override;
  void BackgroundChanged() override;

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  TScopeCRT& crt_;
  std::array<TSignalScreenWidget*, kMaxScreens> screens_{};
  TScanLinesWidget* top_;
  TQtHintParent hintParent_{this};
  TBottomStripWidget* bottom_;
};

}  // namespace norv
