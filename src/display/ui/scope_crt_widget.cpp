#include "display/ui/scope_crt_widget.h"

#include <QAction>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <exception>

#include "platform/entry_guard.h"

namespace norv {

namespace {

TMouseButton ButtonOf(Qt::MouseButton button) {
  switch (button) {
    case Qt::RightButton:
      return TMouseButton::Right;
    case Qt::MiddleButton:
      return TMouseButton::Middle;
    default:
      return TMouseButton::Left;
  }
}

// Errors of the screen's mouse and layout go to the program's one exception report.
void Report(const std::exception& e) { ReportException(e.what()); }

QCursor DrawnCursor(bool zoomIn) {
  QPixmap pixmap(32, 32);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  for (const auto& [colour, width] : {std::pair(QColor(Qt::black), 4), std::pair(QColor(Qt::white), 2)}) {
    p.setPen(QPen(colour, width));
    if (zoomIn) {
      p.drawEllipse(3, 3, 16, 16);
      p.drawLine(17, 17, 28, 28);
      p.drawLine(7, 11, 15, 11);
      p.drawLine(11, 7, 11, 15);
    } else {
      p.drawEllipse(6, 6, 20, 20);
      p.drawLine(9, 23, 23, 9);
    }
  }
  p.end();
  return zoomIn ? QCursor(pixmap, 11, 11) : QCursor(pixmap, 16, 16);
}

}  // namespace

QCursor ScreenCursor(TScreenCursor cursor) {
  switch (cursor) {
    case TScreenCursor::ZoomIn:
      return DrawnCursor(true);
    case TScreenCursor::NotAllowed:
      return DrawnCursor(false);
    default:
      return QCursor(Qt::ArrowCursor);
  }
}

TShiftState ShiftStateOf(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers) {
  TShiftState s;
  s.Left = buttons & Qt::LeftButton;
  s.Right = buttons & Qt::RightButton;
  s.Middle = buttons & Qt::MiddleButton;
  s.Modifier = modifiers & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
  return s;
}

// --- TSignalScreenWidget ---

TSignalScreenWidget::TSignalScreenWidget(TScopeCRT& crt, int number, QWidget* parent)
    : TScanLinesWidget(*crt.Screen(number), parent), crt_(crt), number_(number) {
  setMouseTracking(true);
}

void TSignalScreenWidget::Handle(const std::function<void(TScreenMouse&)>& call) {
  TScreenMouse* mouse = crt_.Mouse(number_);
  if (mouse == nullptr) return;
  const bool ghost = mouse->DragImage() != nullptr;
  try {
    call(*mouse);
  } catch (const std::exception& e) {
    Report(e);
  }
  // The screen may have been rebuilt by what the call set off.
  mouse = crt_.Mouse(number_);
  if (mouse == nullptr) return;
  setCursor(ScreenCursor(mouse->Cursor()));
  if (ghost || mouse->DragImage() != nullptr) update();
}

void TSignalScreenWidget::mousePressEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  const TShiftState shift = ShiftStateOf(event->buttons(), event->modifiers());
  Handle([&](TScreenMouse& m) { m.MouseDown(ButtonOf(event->button()), shift, at.x(), at.y()); });
}

void TSignalScreenWidget::mouseMoveEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  const TShiftState shift = ShiftStateOf(event->buttons(), event->modifiers());
  Handle([&](TScreenMouse& m) { m.MouseMove(shift, at.x(), at.y()); });
}

void TSignalScreenWidget::mouseReleaseEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  const TShiftState shift = ShiftStateOf(event->buttons(), event->modifiers());
  Handle([&](TScreenMouse& m) { m.MouseUp(ButtonOf(event->button()), shift, at.x(), at.y()); });
}

void TSignalScreenWidget::paintEvent(QPaintEvent* event) {
  const TScreenMouse* mouse = crt_.Mouse(number_);
  const TMonoBitmap* ghost = mouse != nullptr ? mouse->DragImage() : nullptr;
  if (ghost == nullptr) {
    TScanLinesWidget::paintEvent(event);
    return;
  }
  // The ghost inverts the picture under it, at the drag's offset.
  QImage frame = SurfaceImage(Screen().Image()).copy();
  const int dx = mouse->DragDX();
  const int dy = mouse->DragDY();
  for (int y = 0; y < ghost->Height; ++y) {
    const int ty = y + dy;
    if (ty < 0 || ty >= frame.height()) continue;
    auto* row = reinterpret_cast<QRgb*>(frame.scanLine(ty));
    for (int x = 0; x < ghost->Width; ++x) {
      const int tx = x + dx;
      if (tx >= 0 && tx < frame.width() && ghost->At(x, y)) row[tx] ^= 0x00FFFFFFu;
    }
  }
  QPainter painter(this);
  painter.drawImage(0, 0, frame);
}

// --- TBottomStripWidget ---

TBottomStripWidget::TBottomStripWidget(TNizText& strip, QWidget* parent)
    : TScanLinesWidget(strip, parent), strip_(strip) {}

void TBottomStripWidget::mousePressEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  try {
    strip_.MouseDown(ButtonOf(event->button()), at.x(), at.y());
  } catch (const std::exception& e) {
    Report(e);
  }
  if (menu_) menu_->deleteLater();
  const TPopupMenu* menu = strip_.PopupMenu();
  if (menu == nullptr) return;
  menu_ = new QMenu(this);
  menu_->setAttribute(Qt::WA_DeleteOnClose);
  for (const TPopupItem& item : menu->Items) {
    if (item.Name == "-") {
      menu_->addSeparator();
      continue;
    }
    QAction* action = menu_->addAction(QString::fromStdString(item.Caption));
    action->setCheckable(item.Checked);
    action->setChecked(item.Checked);
    action->setEnabled(item.Enabled);
    const std::string name = item.Name;
    connect(action, &QAction::triggered, this, [this, name] {
      try {
        strip_.ChoosePopupItem(name);
      } catch (const std::exception& e) {
        Report(e);
      }
    });
  }
  menu_->popup(mapToGlobal(at));
}

// --- TScopeCRTWidget ---

TScopeCRTWidget::TScopeCRTWidget(TScopeCRT& crt, QWidget* parent)
    : QWidget(parent),
      crt_(crt),
      top_(new TScanLinesWidget(crt.TopText(), this)),
      bottom_(new TBottomStripWidget(crt.BottomText(), this)) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  crt_.SetView(this);
  crt_.SetHintParent(&hintParent_);
  LayoutChanged();
}

TScopeCRTWidget::~TScopeCRTWidget() {
  crt_.SetHintParent(nullptr);
  crt_.SetView(nullptr);
  for (TSignalScreenWidget*& w : screens_) {
    delete w;
    w = nullptr;
  }
}

TSignalScreenWidget* TScopeCRTWidget::ScreenWidget(int n) const {
  return n >= 1 && n <= kMaxScreens ? screens_[n - 1] : nullptr;
}

void TScopeCRTWidget::ScreenDestroying(int n) {
  delete screens_[n - 1];
  screens_[n - 1] = nullptr;
}

void TScopeCRTWidget::LayoutChanged() {
  for (int n = 1; n <= kMaxScreens; ++n) {
    TSignalScreen* screen = crt_.Screen(n);
    if (screen == nullptr) continue;
    if (screens_[n - 1] == nullptr) screens_[n - 1] = new TSignalScreenWidget(crt_, n, this);
    screens_[n - 1]->setGeometry(kBorder + screen->Left(), kBorder + screen->Top(), screen->Width(),
                                 screen->Height());
    screens_[n - 1]->show();
    screens_[n - 1]->update();
  }
  for (TScanLinesWidget* strip : {top_, static_cast<TScanLinesWidget*>(bottom_)}) {
    const TScanLinesScreen& s = strip->Screen();
    strip->setGeometry(kBorder + s.Left(), kBorder + s.Top(), s.Width(), s.Height());
    strip->setVisible(s.Visible());
  }
  update();
}

void TScopeCRTWidget::BackgroundChanged() { update(); }

void TScopeCRTWidget::resizeEvent(QResizeEvent*) {
  try {
    crt_.PlaceScreen(x(), y(), height(), width());
  } catch (const std::exception& e) {
    Report(e);
  }
}

void TScopeCRTWidget::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const TColorRef c = crt_.ScreenColor();
  painter.fillRect(rect(), QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF));
}

}  // namespace norv
