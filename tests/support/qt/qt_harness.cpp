#include "support/qt/qt_harness.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QStyle>
#include <QStyleFactory>
#include <QTest>
#include <cstdlib>

#include "controls/look.h"

namespace norv::test {

namespace {

// The target of the press in progress and the buttons held.
QPointer<QWidget> grabber;
Qt::MouseButtons held;

QWidget* DeepestAt(QWidget* widget, QPoint pos) {
  QWidget* child = widget->childAt(pos);
  return child ? child : widget;
}

void SendMouse(QWidget* target, QEvent::Type type, QPoint local, Qt::MouseButton button) {
  const QPointF global = target->mapToGlobal(QPointF(local));
  const QPointF scene = target->window()->mapFromGlobal(global);
  QMouseEvent event(type, QPointF(local), scene, global, button, held, Qt::NoModifier);
  QApplication::sendEvent(target, &event);
}

}  // namespace

void SetUpQtLook() {
  QApplication::setStyle(QStyleFactory::create("Fusion"));
  QApplication::setPalette(QApplication::style()->standardPalette());
  QApplication::setFont(ProgramFont());
  QApplication::setEffectEnabled(Qt::UI_AnimateMenu, false);
  QApplication::setEffectEnabled(Qt::UI_AnimateCombo, false);
}

TestWindow::TestWindow() { resize(640, 480); }

void TestWindow::ShowActive() {
  show();
  activateWindow();
  QApplication::setActiveWindow(this);
  (void)QTest::qWaitForWindowActive(this);
}

void MousePress(QWidget* widget, QPoint pos, Qt::MouseButton button) {
  QWidget* target = DeepestAt(widget, pos);
  grabber = target;
  held |= button;
  SendMouse(target, QEvent::MouseButtonPress, target->mapFrom(widget, pos), button);
}

void MouseMove(QWidget* widget, QPoint pos) {
  QWidget* target = grabber ? grabber.data() : DeepestAt(widget, pos);
  SendMouse(target, QEvent::MouseMove, target->mapFrom(widget, pos), Qt::NoButton);
}

void MouseRelease(QWidget* widget, QPoint pos, Qt::MouseButton button) {
  QWidget* target = grabber ? grabber.data() : DeepestAt(widget, pos);
  held &= ~Qt::MouseButtons(button);
  // Released before the event goes out: a click that opens a modal dialog runs its loop
  // inside this call, and clicks there must find their own targets.
  if (!held) grabber = nullptr;
  SendMouse(target, QEvent::MouseButtonRelease, target->mapFrom(widget, pos), button);
}

void Click(QWidget* widget, QPoint pos, Qt::MouseButton button) {
  MouseMove(widget, pos);
  MousePress(widget, pos, button);
  MouseRelease(widget, pos, button);
}

void Drag(QWidget* widget, QPoint from, QPoint to) {
  MouseMove(widget, from);
  MousePress(widget, from);
  constexpr int kSteps = 4;
  for (int i = 1; i <= kSteps; ++i) MouseMove(widget, from + (to - from) * i / kSteps);
  MouseRelease(widget, to);
}

void KeyDown(QWidget* widget, int key, const QString& text, bool autoRepeat) {
  QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier, text, autoRepeat);
  QApplication::sendEvent(widget, &event);
}

void KeyUp(QWidget* widget, int key, const QString& text) {
  QKeyEvent event(QEvent::KeyRelease, key, Qt::NoModifier, text);
  QApplication::sendEvent(widget, &event);
}

void PressKey(QWidget* widget, int key, const QString& text) {
  KeyDown(widget, key, text);
  KeyUp(widget, key, text);
}

void TypeText(QWidget* widget, const QString& text) {
  for (QChar c : text) {
    int key = c.toUpper().unicode();
    if (c == '\r') key = Qt::Key_Return;
    if (c == '\b') key = Qt::Key_Backspace;
    if (c == QChar(0x1B)) key = Qt::Key_Escape;
    PressKey(widget, key, QString(c));
  }
}

QImage Grab(QWidget* widget) { return widget->grab().toImage(); }

QColor PixelOf(QWidget* widget, int x, int y) { return Grab(widget).pixelColor(x, y); }

int CountPixels(const QImage& image, const QRect& area, const QColor& colour) {
  int count = 0;
  const QRect inside = area & image.rect();
  for (int y = inside.top(); y <= inside.bottom(); ++y)
    for (int x = inside.left(); x <= inside.right(); ++x)
      if (image.pixelColor(x, y) == colour) ++count;
  return count;
}

void MaybeWritePng(const QImage& image, const std::string& name) {
  const char* dir = std::getenv("NORV_PNG_DIR");
  if (dir == nullptr || *dir == '\0') return;
  image.save(QString::fromStdString(std::string(dir) + "/" + name + ".png"), "PNG");
}

}  // namespace norv::test
