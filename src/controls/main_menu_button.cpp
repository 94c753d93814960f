#include "controls/main_menu_button.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPainter>

#include "controls/controls_state.h"
#include "controls/look.h"

namespace norv {

namespace {

const QColor kFrameGrey(128, 128, 128);

}  // namespace

TButtonOfMainMenu::TButtonOfMainMenu(QWidget* parent, const QString& caption)
    : QWidget(parent), caption_(caption) {
  setFont(ProgramFont());
  setAttribute(Qt::WA_OpaquePaintEvent);
  resize(74, 23);
}

void TButtonOfMainMenu::SetState(TButtonOfMainMenuState state) {
  state_ = state;
  update();
}

void TButtonOfMainMenu::SetCaption(const QString& caption) {
  caption_ = caption;
  update();
}

QFont TButtonOfMainMenu::CaptionFont() const { return FittingFont(font(), caption_, width() - 4); }

bool TButtonOfMainMenu::LeftMenuOn() const {
  return isEnabled() && (state_ == bmmsLeft || state_ == bmmsBoth);
}
bool TButtonOfMainMenu::RightMenuOn() const {
  return isEnabled() && (state_ == bmmsRight || state_ == bmmsBoth);
}

void TButtonOfMainMenu::SetLeftMenuOn(bool on) {
  if (on && state_ == bmmsOff) SetState(bmmsLeft);
  if (on && state_ == bmmsRight) SetState(bmmsBoth);
  if (!on && state_ == bmmsLeft) SetState(bmmsOff);
  if (!on && state_ == bmmsBoth) SetState(bmmsRight);
}

void TButtonOfMainMenu::SetRightMenuOn(bool on) {
  if (on && state_ == bmmsOff) SetState(bmmsRight);
  if (on && state_ == bmmsLeft) SetState(bmmsBoth);
  if (!on && state_ == bmmsRight) SetState(bmmsOff);
  if (!on && state_ == bmmsBoth) SetState(bmmsLeft);
}

QColor TButtonOfMainMenu::FaceColor(TButtonOfMainMenuState state, bool enabled) {
  if (!enabled) return QColor(192, 192, 192);
  switch (state) {
    case bmmsOff:
      return QColor(208, 208, 208);
    case bmmsLeft:
      return QColor(255, 255, 179);
    case bmmsRight:
      return QColor(202, 251, 187);
    case bmmsBoth:
      return QColor(204, 255, 255);
  }
  return QColor(208, 208, 208);
}

void TButtonOfMainMenu::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const int w = width(), h = height();
  painter.setPen(kFrameGrey);
  painter.drawRect(0, 0, w - 1, h - 1);
  const QRect inner(1, 1, w - 2, h - 2);
  painter.fillRect(inner, FaceColor(state_, isEnabled()));
  const QFont face = CaptionFont();
  painter.setFont(face);
  painter.setPen(isEnabled() ? QColor(Qt::black) : kFrameGrey);
  const QFontMetrics metrics(face);
  const int x = (w - metrics.horizontalAdvance(caption_)) / 2;
  const int y = (h - metrics.height()) / 2;
  painter.setClipRect(inner);
  painter.drawText(QRect(x, y, w, metrics.height()), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                   caption_);
  painter.setClipping(false);
  painter.setPen(kFrameGrey);
  // Blunt corners: each inner corner pixel and its neighbour towards the middle.
  for (const QPoint& corner : {QPoint(1, 1), QPoint(w - 2, 1), QPoint(1, h - 2), QPoint(w - 2, h - 2)}) {
    const int towardsMiddle = corner.y() == 1 ? 1 : -1;
    painter.drawPoint(corner);
    painter.drawPoint(corner + QPoint(0, towardsMiddle));
  }
}

void TButtonOfMainMenu::mousePressEvent(QMouseEvent* event) {
  if (OnMouseDown) GuardedCall([&] { OnMouseDown(*this, event->button()); });
}

void TButtonOfMainMenu::changeEvent(QEvent* event) {
  if (event->type() == QEvent::EnabledChange) update();
  QWidget::changeEvent(event);
}

}  // namespace norv
