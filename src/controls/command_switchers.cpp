#include "controls/command_switchers.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionButton>
#include <QStyleOptionFocusRect>

#include "controls/controls_state.h"
#include "framework/settings/choice_handlers.h"

namespace norv {

namespace {

constexpr const char* kDelimiter = "~Delimiter";

}  // namespace

// ---------------------------------------------------------------------------------------
// TRC_CustomCmmandSwitcher

TRC_CustomCmmandSwitcher::TRC_CustomCmmandSwitcher(QWidget* parent) : TRC_Switcher(parent) {
  setFocusPolicy(Qt::StrongFocus);
}

void TRC_CustomCmmandSwitcher::Apply(const TSwitcherFields& fields) {
  if (!fields.Items.isEmpty()) {
    SetButtonCount(static_cast<int>(std::min<qsizetype>(fields.Items.size(), 2)));
    for (int i = 0; i < button_count_; ++i) SetButtonCaption(i, fields.Items[i]);
  } else if (!fields.Caption.isEmpty() && captions_[0].isEmpty()) {
    SetButtonCaption(0, fields.Caption);
  }
  TRC_Switcher::Apply(fields);
}

void TRC_CustomCmmandSwitcher::SetButtonCount(int count) {
  button_count_ = std::clamp(count, 1, 2);
  update();
}

QRect TRC_CustomCmmandSwitcher::ButtonRect(int index) const {
  if (NoFrame()) return ContentRect();
  // Fixed places below the caption strip (right and bottom edge outside).
  if (button_count_ == 1) return QRect(QPoint(4, 20), QPoint(68, 37));
  return index == 0 ? QRect(QPoint(4, 20), QPoint(51, 37)) : QRect(QPoint(52, 20), QPoint(98, 37));
}

QFont TRC_CustomCmmandSwitcher::ButtonFont(int index) const {
  // The text has the button less its 3-pixel border and a pixel of air on either side: a
  // text that fills the border's inside touches the bevel and looks cut.
  return FittingFont(font(), captions_[static_cast<size_t>(index)], ButtonRect(index).width() - 8);
}

void TRC_CustomCmmandSwitcher::SetButtonCaption(int index, const QString& caption) {
  captions_[static_cast<size_t>(index)] = caption;
  update();
}

void TRC_CustomCmmandSwitcher::SetColorOfText(const QColor& color) {
  color_of_text_ = color;
  update();
}

void TRC_CustomCmmandSwitcher::SetButtonState(int index, TCommandButtonState state) {
  if (states_[static_cast<size_t>(index)] == state) return;
  states_[static_cast<size_t>(index)] = state;
  update();
}

int TRC_CustomCmmandSwitcher::ButtonAt(const QPoint& pos) const {
  for (int i = 0; i < button_count_; ++i)
    if (ButtonRect(i).contains(pos)) return i;
  return -1;
}

void TRC_CustomCmmandSwitcher::PaintContent(QPainter& painter, const QRect& content) {
  TRC_Switcher::PaintContent(painter, content);
  if (!isEnabled()) focus_button_ = -1;
  for (int i = 0; i < button_count_; ++i) DrawButton(painter, i);
}

void TRC_CustomCmmandSwitcher::DrawButton(QPainter& painter, int index) {
  const TCommandButtonState state = isEnabled() ? states_[static_cast<size_t>(index)] : cbsDisabled;
  QStyleOptionButton option;
  option.initFrom(this);
  option.rect = ButtonRect(index);
  option.state &= ~QStyle::State_HasFocus;
  if (state == cbsPressed) option.state |= QStyle::State_Sunken;
  if (state == cbsLatched) option.state |= QStyle::State_On | QStyle::State_Sunken;
  if (state != cbsPressed && state != cbsLatched) option.state |= QStyle::State_Raised;
  style()->drawPrimitive(QStyle::PE_PanelButtonCommand, &option, &painter, this);

  QRect textRect = ButtonRect(index).adjusted(3, 3, -3, -3);
  const QRect inner = textRect;
  textRect.translate(0, -1);
  if (state == cbsPressed || state == cbsLatched) textRect.translate(2, 2);
  const int flags = Qt::AlignCenter | Qt::TextSingleLine;
  const QString& text = captions_[static_cast<size_t>(index)];
  painter.save();
  painter.setFont(ButtonFont(index));
  if (state == cbsDisabled) {
    painter.setPen(Qt::white);
    painter.drawText(textRect.translated(2, 2), flags, text);
    painter.setPen(Sys(TSysColor::InactiveCaption));
  } else {
    painter.setPen(color_of_text_);
  }
  painter.drawText(textRect, flags, text);
  painter.restore();
  if (index == focus_button_) {
    QStyleOptionFocusRect focus;
    focus.initFrom(this);
    focus.rect = inner;
    focus.backgroundColor = Sys(TSysColor::BtnFace);
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
  }
}

void TRC_CustomCmmandSwitcher::mousePressEvent(QMouseEvent* event) {
  TRC_Switcher::mousePressEvent(event);
  if (event->button() != Qt::LeftButton || key_pressed_ >= 0) return;
  const int index = ButtonAt(event->position().toPoint());
  if (index < 0) return;
  mouse_pressed_ = index;
  if (states_[static_cast<size_t>(index)] != cbsLatched) SetButtonState(index, cbsPressed);
}

void TRC_CustomCmmandSwitcher::mouseMoveEvent(QMouseEvent* event) {
  if (mouse_pressed_ < 0 || !(event->buttons() & Qt::LeftButton)) return;
  if (states_[static_cast<size_t>(mouse_pressed_)] == cbsLatched) return;
  const bool inside = ButtonRect(mouse_pressed_).contains(event->position().toPoint());
  SetButtonState(mouse_pressed_, inside ? cbsPressed : cbsUp);
}

void TRC_CustomCmmandSwitcher::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || mouse_pressed_ < 0) return;
  const int index = std::exchange(mouse_pressed_, -1);
  GuardedCall([&] { CompletePress(index); });
}

void TRC_CustomCmmandSwitcher::CompletePress(int index) {
  const TCommandButtonState state = states_[static_cast<size_t>(index)];
  if (state == cbsLatched && !latch_releasable_) return;
  const TCommandButtonState next = state == cbsPressed && latching_ ? cbsLatched : cbsUp;
  if (next == state) return;
  SetButtonState(index, next);
  ExecuteCommand(index);
}

void TRC_CustomCmmandSwitcher::keyPressEvent(QKeyEvent* event) {
  if (mouse_pressed_ >= 0 || event->isAutoRepeat()) return;
  switch (event->key()) {
    case Qt::Key_Left:
      focus_button_ = 0;
      update();
      break;
    case Qt::Key_Right:
      if (button_count_ == 2) focus_button_ = 1;
      update();
      break;
    case Qt::Key_Space:
      if (focus_button_ < 0) break;
      key_pressed_ = focus_button_;
      if (states_[static_cast<size_t>(key_pressed_)] != cbsLatched) SetButtonState(key_pressed_, cbsPressed);
      break;
    default:
      TRC_Switcher::keyPressEvent(event);
  }
}

void TRC_CustomCmmandSwitcher::keyReleaseEvent(QKeyEvent* event) {
  if (event->isAutoRepeat() || key_pressed_ < 0) return;
  const int index = std::exchange(key_pressed_, -1);
  GuardedCall([&] { CompletePress(index); });
}

void TRC_CustomCmmandSwitcher::focusInEvent(QFocusEvent* event) {
  focus_button_ = 0;
  TRC_Switcher::focusInEvent(event);
  update();
}

void TRC_CustomCmmandSwitcher::focusOutEvent(QFocusEvent* event) {
  focus_button_ = -1;
  TRC_Switcher::focusOutEvent(event);
  update();
}

// ---------------------------------------------------------------------------------------
// TRC_MainCommandSwitcher

TRC_MainCommandSwitcher::TRC_MainCommandSwitcher(QWidget* parent, const TSwitcherFields& fields)
    : TRC_CustomCmmandSwitcher(parent) {
  resize(50, 20);
  SetNoFrame(true);
  Apply(fields);
}

void TRC_MainCommandSwitcher::Apply(const TSwitcherFields& fields) {
  // The caption is the button's; the items are the menu's lines.
  if (!fields.Caption.isEmpty()) SetTextBtn(fields.Caption);
  if (!fields.Items.isEmpty()) SetMenuItems(fields.Items);
  TSwitcherFields common = fields;
  common.Items.clear();
  TRC_Switcher::Apply(common);
}

void TRC_MainCommandSwitcher::SetMenuItems(const QStringList& items) {
  menu_items_ = items;
  if (popup_) {
    delete popup_.data();
    BuildPopup();
  }
}

void TRC_MainCommandSwitcher::HandlerBound() {
  const TMainCommandHandler::TState state = HandlerAs<TMainCommandHandler>("HANDLER ERROR").GetState();
  SetLatching(state.BoundToBool);
  SetLatchReleasable(state.HasOnOffPair);
  show_checks_ = state.HasDefault;
  if (!menu_items_.isEmpty() && !popup_) BuildPopup();
  // The first update ran before the latching was known.
  UpdateFromHandler();
}

void TRC_MainCommandSwitcher::BuildPopup() {
  popup_ = new QMenu(this);
  item_lines_.clear();
  for (int line = 0; line < menu_items_.size(); ++line) {
    if (menu_items_[line] == kDelimiter) {
      popup_->addSeparator();
      continue;
    }
    const int item = static_cast<int>(item_lines_.size());
    QAction* action = popup_->addAction(menu_items_[line]);
    action->setObjectName(QString("Item%1").arg(item));
    action->setCheckable(show_checks_);
    action->setChecked(show_checks_ && item == current_item_);
    if (item == menu_default_item_) {
      QFont bold = action->font();
      bold.setBold(true);
      action->setFont(bold);
      popup_->setDefaultAction(action);
    }
    connect(action, &QAction::triggered, this,
            [this, action] { GuardedCall([&] { MenuItemClick(action->objectName().mid(4).toInt()); }); });
    item_lines_.push_back(line);
  }
  if (GetHandler() && HandlerAs<TMainCommandHandler>("HANDLER ERROR").GetState().MenuCount !=
                          static_cast<int>(item_lines_.size()))
    throw EAssertion("Incorrent Number of Menu Items");
}

void TRC_MainCommandSwitcher::MoveCheckMark() {
  if (!popup_ || !show_checks_) return;
  for (QAction* action : popup_->actions())
    if (action->objectName().startsWith("Item"))
      action->setChecked(action->objectName().mid(4).toInt() == current_item_);
}

void TRC_MainCommandSwitcher::MenuItemClick(int item) {
  current_item_ = item;
  MoveCheckMark();
  if (GetHandler()) HandlerAs<TMainCommandHandler>("HANDLER ERROR").SetBySwitcher(item);
  if (OnUpdateMe) OnUpdateMe(*this);
}

void TRC_MainCommandSwitcher::contextMenuEvent(QContextMenuEvent* event) {
  if (popup_) popup_->popup(event->globalPos());
}

void TRC_MainCommandSwitcher::ExecuteCommand(int) {
  if (!GetHandler()) return;
  auto& handler = HandlerAs<TMainCommandHandler>("HANDLER ERROR");
  handler.SetBySwitcher(!Latching() ? -1 : ButtonState(0) == cbsLatched ? 1 : 0);
}

void TRC_MainCommandSwitcher::UpdateFromHandler() {
  if (!GetHandler()) return;
  auto& handler = HandlerAs<TMainCommandHandler>("HANDLER ERROR");
  if (Latching()) SetButtonState(0, handler.GetBool() ? cbsLatched : cbsUp);
  if (current_item_ != handler.GetDefaultItem()) {
    current_item_ = handler.GetDefaultItem();
    MoveCheckMark();
  }
  TRC_Switcher::UpdateFromHandler();
}

// ---------------------------------------------------------------------------------------
// Side-menu commands

TRC_RightCommandSwitcher::TRC_RightCommandSwitcher(QWidget* parent, const TSwitcherFields& fields)
    : TRC_CustomCmmandSwitcher(parent) {
  resize(width(), 41);
  Apply(fields);
}

void TRC_RightCommandSwitcher::UpdateFromHandler() {
  if (!GetHandler()) return;
  if (auto* handler = dynamic_cast<TRightCommandHandler*>(GetHandler()))
    SetButtonState(0, handler->IsBusy() ? cbsLatched : cbsUp);
  TRC_Switcher::UpdateFromHandler();
}

void TRC_RightCommandSwitcher::ExecuteCommand(int) {
  if (!GetHandler()) throw EAssertion("HANDLER UNDEFINED");
  GetHandler()->ExecuteBySwitcher();
}

TRC_RightPassiveCommandSwitcher::TRC_RightPassiveCommandSwitcher(QWidget* parent,
                                                                 const TSwitcherFields& fields)
    : TRC_CustomCmmandSwitcher(parent) {
  resize(width(), 41);
  SetMnemonics(kNoneHandler);
  Apply(fields);
}

void TRC_RightPassiveCommandSwitcher::ExecuteCommand(int) {
  if (OnUpdateMe) OnUpdateMe(*this);
}

}  // namespace norv
