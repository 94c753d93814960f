#include "controls/switcher.h"

#include <QApplication>
#include <QChildEvent>
#include <QFocusEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QResizeEvent>

#include "controls/controls_state.h"
#include "framework/settings/settings_tree.h"

namespace norv {

namespace {

constexpr int kCaptionBottom = 18;  // the caption strip covers rows 2 .. 17
constexpr int kCaptionTextIndent = 4;

}  // namespace

void DrawFrame3D(QPainter& painter, QRect& r, const QColor& topLeft, const QColor& bottomRight) {
  if (r.width() <= 0 || r.height() <= 0) return;
  const int left = r.left(), top = r.top(), right = r.right(), bottom = r.bottom();
  painter.fillRect(QRect(left, top, right - left, 1), topLeft);  // top, not its last pixel
  painter.fillRect(QRect(left, top, 1, bottom - top), topLeft);  // left, not its last pixel
  painter.fillRect(QRect(right, top, 1, bottom - top + 1), bottomRight);
  painter.fillRect(QRect(left, bottom, right - left + 1, 1), bottomRight);
  r.adjust(1, 1, -1, -1);
}

// ---------------------------------------------------------------------------------------
// TRC_Switcher

TRC_Switcher::TRC_Switcher(QWidget* parent) : QWidget(parent) {
  setFont(ProgramFont());
  setFocusPolicy(Qt::ClickFocus);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setGeometry(4, 0, 103, 65);
}

TRC_Switcher::~TRC_Switcher() {
  if (!handler_) return;
  THandler* handler = std::exchange(handler_, nullptr);
  if (handler->IsBound(this)) handler->UnregisterSwitcher(this);
}

std::string TRC_Switcher::GetFullMnemonic() const {
  const std::string& m = mnemonics_;
  if (m.empty()) return {};
  if (m.front() == ':') return m.substr(1);
  if (auto* panel = qobject_cast<TRC_RightMenuPanel*>(parentWidget())) {
    const std::string& group = panel->GroupMnemonics();
    if (group == "*") return "*" + m;
    if (!group.empty()) return group + ":" + m;
  }
  return m;
}

void TRC_Switcher::RegisterInHandler(bool checkRepeat) {
  if (checkRepeat && handler_) throw EAssertion(kRegistrationRepeated);
  if (mnemonics_ == kNoneHandler) return;
  const std::string path = GetFullMnemonic();
  if (path.empty()) throw EAssertion("RS Switcher " + caption_.toStdString() + " No mnemonic");
  THandler* handler = RootSpider ? RootSpider->FindHandler(path) : nullptr;
  if (handler == handler_) return;
  UnregisterFromHandler();
  handler_ = handler;
  if (!handler) return;
  handler->RegisterSwitcher(this);
  HandlerBound();
}

void TRC_Switcher::UnregisterFromHandler() {
  if (!handler_) return;
  THandler* handler = std::exchange(handler_, nullptr);
  handler->UnregisterSwitcher(this);
}

void TRC_Switcher::SetMnemonics(const std::string& mnemonics) {
  mnemonics_ = mnemonics;
  if (handler_) RegisterInHandler(false);
}

void TRC_Switcher::SetCaption(const QString& caption) {
  if (caption == caption_) return;
  caption_ = caption;
  update();
}

void TRC_Switcher::SetWithHot(bool withHot) {
  with_hot_ = withHot;
  LayoutContent();
  update();
}

void TRC_Switcher::SetNoFrame(bool noFrame) {
  no_frame_ = noFrame;
  LayoutContent();
  update();
}

void TRC_Switcher::SetHelpContext(int helpContext) {
  help_context_ = helpContext;
  update();
}

QColor TRC_Switcher::Color() const { return color_ ? *color_ : Sys(TSysColor::BtnFace); }

void TRC_Switcher::SetColor(const QColor& color) {
  color_ = color;
  update();
}

QFont TRC_Switcher::CaptionFont() const {
  // The strip runs from 2 to width - 3.
  return FittingFont(font(), caption_, width() - 4 - kCaptionTextIndent);
}

QRect TRC_Switcher::ContentRect() const {
  if (no_frame_) return rect();
  const int top = with_hot_ ? kCaptionBottom : 2;
  return QRect(QPoint(2, top), QPoint(width() - 3, height() - 3));
}

void TRC_Switcher::UpdateFromHandler() {
  if (!handler_) return;
  setEnabled(!handler_->IsDisabled());
  if (OnUpdateMe) OnUpdateMe(*this);
}

void TRC_Switcher::Apply(const TSwitcherFields& fields) {
  if (!fields.Name.empty()) setObjectName(QString::fromStdString(fields.Name));
  if (!fields.Hint.isEmpty()) setToolTip(fields.Hint);
  RunTimeItems = RunTimeItems || fields.RunTimeItems;
  if (!fields.Mnemonics.empty()) SetMnemonics(fields.Mnemonics);
  if (!fields.Caption.isEmpty()) SetCaption(fields.Caption);
  if (fields.HelpContext) SetHelpContext(fields.HelpContext);
  if (fields.WithHot) SetWithHot(*fields.WithHot);
  QRect r = geometry();
  if (fields.Left >= 0) r.moveLeft(fields.Left);
  if (fields.Top >= 0) r.moveTop(fields.Top);
  if (fields.Width > 0) r.setWidth(fields.Width);
  if (fields.Height > 0) r.setHeight(fields.Height);
  setGeometry(r);
  LayoutContent();
}

void TRC_Switcher::PaintContent(QPainter& painter, const QRect& content) {
  painter.fillRect(content, Color());
}

void TRC_Switcher::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setFont(font());
  if (!no_frame_) {
    const QColor light = Sys(TSysColor::BtnHighlight), shadow = Sys(TSysColor::BtnShadow), flat = Color();
    const bool raisedOuter = with_hot_ || focused_;
    const bool sunkenInner = with_hot_ && isEnabled() && focused_;
    QRect r = rect();
    DrawFrame3D(painter, r, raisedOuter ? light : flat, raisedOuter ? shadow : flat);
    DrawFrame3D(painter, r, sunkenInner ? shadow : flat, sunkenInner ? light : flat);
    if (with_hot_) {
      const QRect strip(QPoint(2, 2), QPoint(width() - 3, kCaptionBottom - 1));
      const QColor fill = !isEnabled() ? Sys(TSysColor::BtnFace)
                          : focused_   ? Sys(TSysColor::ActiveCaption)
                                       : Sys(TSysColor::InactiveCaption);
      painter.fillRect(strip, fill);
      QString text = caption_;
      if (IsHelpContextMode()) text = QString::number(help_context_) + " " + caption_;
      painter.setFont(FittingFont(font(), text, strip.width() - kCaptionTextIndent));
      const int h = painter.fontMetrics().height();
      const QRect textRect(strip.left() + kCaptionTextIndent, (2 + kCaptionBottom - h) / 2,
                           strip.width() - kCaptionTextIndent, h);
      const int flags = Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine | Qt::TextExpandTabs;
      painter.save();
      painter.setClipRect(strip);
      if (isEnabled()) {
        painter.setPen(Sys(TSysColor::CaptionText));
      } else {
        painter.setPen(Qt::white);
        painter.drawText(textRect.translated(1, 1), flags, text);
        painter.setPen(Sys(TSysColor::InactiveCaption));
      }
      painter.drawText(textRect, flags, text);
      painter.restore();
    }
  }
  painter.setFont(font());
  PaintContent(painter, ContentRect());
}

void TRC_Switcher::FollowFocus() {
  QWidget* focus = QApplication::focusWidget();
  const bool focused = focus && (focus == this || isAncestorOf(focus)) && focus->hasFocus();
  if (focused == focused_) return;
  focused_ = focused;
  update();
}

void TRC_Switcher::focusInEvent(QFocusEvent* event) {
  FollowFocus();
  QWidget::focusInEvent(event);
}

void TRC_Switcher::focusOutEvent(QFocusEvent* event) {
  FollowFocus();
  QWidget::focusOutEvent(event);
}

void TRC_Switcher::mousePressEvent(QMouseEvent* event) {
  QWidget::mousePressEvent(event);
  setFocus(Qt::MouseFocusReason);
}

void TRC_Switcher::changeEvent(QEvent* event) {
  if (event->type() == QEvent::EnabledChange) update();
  QWidget::changeEvent(event);
}

void TRC_Switcher::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  LayoutContent();
}

void TRC_Switcher::childEvent(QChildEvent* event) {
  if (event->added() && event->child()->isWidgetType()) event->child()->installEventFilter(this);
  QWidget::childEvent(event);
}

bool TRC_Switcher::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut) FollowFocus();
  return QWidget::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------------------
// TRC_RightMenuPanel

TRC_RightMenuPanel::TRC_RightMenuPanel(QWidget* parent, const std::string& groupMnemonics,
                                       const QString& caption)
    : QGroupBox(caption, parent), group_(groupMnemonics) {
  setFont(ProgramFont());
  setGeometry(522, 27, 111, 426);
  hide();
}

TRC_RightMenuPanel::~TRC_RightMenuPanel() { UnregisterSwitchers(); }

QFont TRC_RightMenuPanel::TitleFont() const {
  // From the caption's left, 2 pixels before the text, to the frame's right edge.
  return FittingFont(font(), title(), width() - 2 - kCaptionLeft - 2);
}

std::vector<TRC_Switcher*> TRC_RightMenuPanel::Switchers() const {
  std::vector<TRC_Switcher*> result;
  for (QObject* child : children())
    if (auto* switcher = qobject_cast<TRC_Switcher*>(child)) result.push_back(switcher);
  return result;
}

TRC_Switcher& TRC_RightMenuPanel::AddMade(const TMakeSwitcher& make, TSwitcherFields fields) {
  if (fields.Top < 0) fields.Top = next_top_;
  TRC_Switcher* switcher = make(this, fields);
  next_top_ = switcher->y() + switcher->height() + kSwitcherGap;
  return *switcher;
}

void TRC_RightMenuPanel::SetGroupMnemonics(const std::string& group) {
  if (group == group_) return;
  group_ = group;
  RebindSwitchers();
}

void TRC_RightMenuPanel::SetWithoutFrame(bool withoutFrame) {
  without_frame_ = withoutFrame;
  update();
}

void TRC_RightMenuPanel::SetHelpContext(int helpContext) {
  help_context_ = helpContext;
  update();
}

void TRC_RightMenuPanel::RegisterSwitchers() {
  for (TRC_Switcher* switcher : Switchers())
    if (!switcher->GetHandler()) switcher->RegisterInHandler(true);
}

void TRC_RightMenuPanel::RebindSwitchers() {
  for (TRC_Switcher* switcher : Switchers()) switcher->RegisterInHandler(false);
}

void TRC_RightMenuPanel::UnregisterSwitchers() {
  for (TRC_Switcher* switcher : Switchers()) switcher->UnregisterFromHandler();
}

void TRC_RightMenuPanel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setFont(font());
  painter.fillRect(rect(), palette().color(QPalette::Window));
  if (!without_frame_) {
    // The classic etched frame, its top line through the middle of the caption, and the
    // caption on a gap in it, clear of the edge.
    painter.setFont(TitleFont());
    const QFontMetrics metrics(painter.font());
    const int top = QFontMetrics(font()).height() / 2;
    painter.setPen(SysColor(palette(), TSysColor::BtnShadow));
    painter.drawRect(QRect(0, top, width() - 2, height() - top - 2));
    painter.setPen(SysColor(palette(), TSysColor::BtnHighlight));
    painter.drawRect(QRect(1, top + 1, width() - 2, height() - top - 2));
    if (!title().isEmpty()) {
      const QRect caption(kCaptionLeft, 0, metrics.horizontalAdvance(title()) + 4, metrics.height());
      painter.fillRect(caption, palette().color(QPalette::Window));
      painter.setPen(palette().color(QPalette::WindowText));
      painter.drawText(caption.adjusted(2, 0, 0, 0), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                       title());
    }
  }
  if (!IsHelpContextMode()) return;
  painter.setFont(font());
  painter.setPen(QColor(255, 0, 0));
  painter.drawText(QRect(0, 0, width() - 4, 18), Qt::AlignRight | Qt::AlignVCenter | Qt::TextSingleLine,
                   QString::number(help_context_));
}

}  // namespace norv
