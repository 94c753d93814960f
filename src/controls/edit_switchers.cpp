#include "controls/edit_switchers.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPolygon>
#include <charconv>
#include <cmath>

#include "controls/controls_state.h"
#include "controls/look.h"
#include "framework/settings/numeric_handlers.h"
#include "framework/settings/value_text.h"

namespace norv {

namespace {

constexpr int kValueBoxHeight = 20;
constexpr int kFirstRepeatMs = 250;
constexpr int kRepeatMs = 40;

// Whether a typed text can still grow into a decimal number: "", "-", ".", "1e" and "1e-"
// can; "1-", "e5" and "1.5." cannot.
bool IsNumberPrefix(const QString& text) {
  const qsizetype n = text.size();
  qsizetype i = 0;
  bool digits = false;
  auto skipDigits = [&] {
    while (i < n && text[i].isDigit()) {
      ++i;
      digits = true;
    }
  };
  if (i < n && text[i] == '-') ++i;
  skipDigits();
  if (i < n && text[i] == '.') {
    ++i;
    skipDigits();
  }
  if (i < n && text[i] == 'e') {
    if (!digits) return false;
    ++i;
    if (i < n && text[i] == '-') ++i;
    while (i < n && text[i].isDigit()) ++i;
  }
  return i == n;
}

// The whole text as a finite number; nothing for an unfinished or other text.
std::optional<double> ParseWhole(const QString& text) {
  const std::string s = text.toStdString();
  double value = 0;
  const auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (error != std::errc() || end != s.data() + s.size() || !std::isfinite(value)) return std::nullopt;
  return value;
}

struct TPrefixKey {
  char key;
  double multiplier;
};
constexpr TPrefixKey kPrefixKeys[] = {{'a', 1e6},  {'g', 1e9},   {'k', 1e3},  {'m', 1e-3},
                                      {'n', 1e-9}, {'p', 1e-12}, {'t', 1e12}, {'u', 1e-6}};

}  // namespace

// ---------------------------------------------------------------------------------------
// TRC_LabelSwitcher

TRC_LabelSwitcher::TRC_LabelSwitcher(QWidget* parent, const TSwitcherFields& fields) : TRC_Switcher(parent) {
  resize(width(), 49);
  Apply(fields);
}

TEditHandler& TRC_LabelSwitcher::Edit() const { return HandlerAs<TEditHandler>("Handler not TEditHandler"); }

QRect TRC_LabelSwitcher::ValueBox() const {
  const QRect content = ContentRect();
  const int left = content.left() + BoxLeft();
  const int right = content.left() + width() - BoxRightShort();  // first pixel outside
  const int top = content.top() + (WithHot() ? 4 : 0);
  return QRect(left, top, right - left, kValueBoxHeight);
}

QRect TRC_LabelSwitcher::ValueRect() const { return ValueBox().adjusted(1, 1, -1, -1); }

QRect TRC_LabelSwitcher::TextRect() const { return ValueBox().adjusted(4, 0, -1, 0); }

QFont TRC_LabelSwitcher::ValueFont() const { return FittingFont(font(), ShownText(), TextRect().width()); }

int TRC_LabelSwitcher::WidthFor(const QString& value) const {
  return QFontMetrics(font()).horizontalAdvance(value) + width() - TextRect().width();
}

void TRC_LabelSwitcher::SetValueColor(std::optional<uint32_t> color) {
  if (color == value_color_) return;
  value_color_ = color;
  update();
}

void TRC_LabelSwitcher::UpdateFromHandler() {
  if (!GetHandler()) return;
  TEditHandler& handler = Edit();
  QString text = QString::fromStdString(handler.GetValueText(false));
  if (const qsizetype mega = text.indexOf("MEG"); mega >= 0) text.remove(mega + 1, 2);
  if (text != value_text_ || handler.GetTextColor() != text_color_ || handler.GetBackColor() != back_color_) {
    value_text_ = text;
    text_color_ = handler.GetTextColor();
    back_color_ = handler.GetBackColor();
    update();
  }
  TRC_Switcher::UpdateFromHandler();
}

void TRC_LabelSwitcher::PaintContent(QPainter& painter, const QRect& content) {
  TRC_Switcher::PaintContent(painter, content);
  QRect box = ValueBox();
  DrawFrame3D(painter, box, Sys(TSysColor::BtnShadow), Sys(TSysColor::BtnHighlight));
  QColor text, back;
  if (!isEnabled()) {
    text = QColor(128, 128, 128);
    back = Sys(TSysColor::BtnFace);
  } else if (typing_) {
    text = Qt::black;
    back = Qt::white;
  } else {
    text = ColorFromBgr(value_color_ ? *value_color_ : text_color_);
    back = ColorFromBgr(back_color_);
  }
  painter.fillRect(box, back);
  painter.setPen(text);
  painter.save();
  painter.setClipRect(box);
  painter.setFont(ValueFont());
  painter.drawText(TextRect(), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, ShownText());
  painter.restore();
}

// ---------------------------------------------------------------------------------------
// TRC_EditSwitcher

TRC_EditSwitcher::TRC_EditSwitcher(QWidget* parent, const TSwitcherFields& fields)
    : TRC_LabelSwitcher(parent) {
  setFocusPolicy(Qt::StrongFocus);
  setMouseTracking(true);
  popup_ = new QMenu(this);
  auto add = [this](const char* name, const char* caption) {
    QAction* action = popup_->addAction(caption);
    action->setObjectName(name);
    connect(action, &QAction::triggered, this,
            [this, action] { GuardedCall([&] { MenuItemClick(action->objectName()); }); });
    return action;
  };
  QAction* calc = add("Calc", "Calculator");
  QFont bold = calc->font();
  bold.setBold(true);
  calc->setFont(bold);
  popup_->setDefaultAction(calc);
  popup_->addSeparator();
  add("Fine", "Fine")->setCheckable(true);
  popup_->addSeparator();
  add("Max", "Max");
  add("Mid", "Mid");
  add("Min", "Min");
  Apply(fields);
}

TRC_EditSwitcher::~TRC_EditSwitcher() = default;

QRect TRC_EditSwitcher::ArrowRect(int zone) const {
  const QRect content = ContentRect();
  const int a = WithHot() ? 3 : 1, b = WithHot() ? 4 : 1, c = WithHot() ? 3 : 0, d = WithHot() ? 12 : 10,
            e = WithHot() ? 11 : 10;
  const int left = ValueRect().right() + 1 + a;
  const int right = content.right() + 1 - b;
  const int top = content.top() + c + zone * d;
  return QRect(QPoint(left, top), QPoint(right, top + e));
}

int TRC_EditSwitcher::ZoneAt(const QPoint& pos) const {
  for (int zone = 0; zone < 2; ++zone)
    if (ArrowRect(zone).contains(pos)) return zone;
  return 2;
}

void TRC_EditSwitcher::SetFine(bool fine) {
  fine_ = fine;
  for (QAction* action : popup_->actions())
    if (action->objectName() == "Fine") action->setChecked(fine);
  update();
}

void TRC_EditSwitcher::HandlerBound() {
  fine_allowed_ = Edit().HasFineStep();
  for (QAction* action : popup_->actions())
    if (action->objectName() == "Fine") action->setEnabled(fine_allowed_);
}

void TRC_EditSwitcher::PaintContent(QPainter& painter, const QRect& content) {
  TRC_LabelSwitcher::PaintContent(painter, content);
  for (int zone = 0; zone < 2; ++zone) DrawArrow(painter, zone);
}

void TRC_EditSwitcher::DrawArrow(QPainter& painter, int zone) {
  const QRect hit = ArrowRect(zone);
  QRect r(hit.left(), hit.top(), hit.width() - 1, hit.height() - 1);  // right and bottom edge outside
  const bool pressed = arrow_pressed_[static_cast<size_t>(zone)];
  painter.fillRect(r, Sys(TSysColor::BtnFace));
  const QColor light = Sys(TSysColor::BtnHighlight), shadow = Sys(TSysColor::BtnShadow);
  QRect frame = r;
  DrawFrame3D(painter, frame, pressed ? shadow : light, pressed ? light : shadow);
  int x = (r.left() + r.left() + r.width()) / 2;
  int y = r.top() + (r.height() + 1) / 4;
  if (pressed) {
    ++x;
    ++y;
  }
  const QColor colour = isEnabled() ? QColor(Qt::black) : Sys(TSysColor::InactiveCaption);
  painter.save();
  painter.setPen(colour);
  painter.setBrush(colour);
  const bool up = zone == 0;
  if (!fine_) {
    QPolygon triangle = up ? QPolygon({QPoint(x - 3, y + 3), QPoint(x, y), QPoint(x + 3, y + 3)})
                           : QPolygon({QPoint(x - 3, y), QPoint(x, y + 3), QPoint(x + 3, y)});
    painter.drawPolygon(triangle);
  } else {
    // An open line; the last point is not drawn.
    const QPoint p0 = up ? QPoint(x - 3, y + 3) : QPoint(x - 3, y);
    const QPoint p1 = up ? QPoint(x, y) : QPoint(x, y + 3);
    const QPoint p2 = up ? QPoint(x + 4, y + 4) : QPoint(x + 4, y - 1);
    painter.drawLine(p0, p1);
    painter.drawLine(p1, p2 - QPoint(1, up ? 1 : -1));
  }
  painter.restore();
}

void TRC_EditSwitcher::SetArrowPressed(int zone, bool pressed) {
  if (arrow_pressed_[static_cast<size_t>(zone)] == pressed) return;
  arrow_pressed_[static_cast<size_t>(zone)] = pressed;
  update();
}

void TRC_EditSwitcher::StepCommand(uint8_t code) {
  if (GetHandler()) Edit().StepCommand(code);
}

void TRC_EditSwitcher::OneStep(bool up) {
  const uint8_t command = up ? (fine_ ? scFineUp : scCoarseUp) : (fine_ ? scFineDown : scCoarseDown);
  SetArrowPressed(up ? 0 : 1, true);
  StepCommand(command);
}

void TRC_EditSwitcher::StartRepeat(int zone) {
  pressed_zone_ = zone;
  OneStep(zone == 0);
  if (repeat_timer_) throw EAssertion("Taimer uze estj!");
  if (!ControlsState.TimerFactory) return;
  repeat_timer_ = ControlsState.TimerFactory->CreateTimer();
  repeat_timer_->OnTimer = [this] { GuardedCall([this] { RepeatTick(); }); };
  repeat_timer_->SetInterval(kFirstRepeatMs);
  repeat_timer_->SetEnabled(true);
}

void TRC_EditSwitcher::RepeatTick() {
  if (!repeat_timer_) return;
  repeat_timer_->SetEnabled(false);
  StepCommand(scRepeat);
  // The step may have ended the repeat (a callback taking the focus away).
  if (!repeat_timer_) return;
  repeat_timer_->SetInterval(kRepeatMs);
  repeat_timer_->SetEnabled(true);
}

void TRC_EditSwitcher::StopRepeat() {
  if (pressed_zone_ == 2) return;
  pressed_zone_ = 2;
  SetArrowPressed(0, false);
  SetArrowPressed(1, false);
  repeat_timer_.reset();
  off_arrows_ = false;
  StepCommand(scRelease);
}

void TRC_EditSwitcher::EndKeyStepping() {
  if (!key_stepping_) return;
  key_stepping_ = false;
  SetArrowPressed(0, false);
  SetArrowPressed(1, false);
  StepCommand(scRelease);
}

void TRC_EditSwitcher::mousePressEvent(QMouseEvent* event) {
  TRC_Switcher::mousePressEvent(event);
  if (event->button() != Qt::LeftButton) return;
  mouse_down_ = true;
  const int zone = ZoneAt(event->position().toPoint());
  off_arrows_ = zone == 2;
  if (zone != 2 && !key_stepping_) GuardedCall([&] { StartRepeat(zone); });
}

void TRC_EditSwitcher::mouseMoveEvent(QMouseEvent* event) {
  const int zone = ZoneAt(event->position().toPoint());
  off_arrows_ = zone == 2;
  if (pressed_zone_ == 2) return;
  const bool inside = zone == pressed_zone_;
  if (inside == arrow_pressed_[static_cast<size_t>(pressed_zone_)]) return;
  SetArrowPressed(pressed_zone_, inside);
  if (repeat_timer_) repeat_timer_->SetEnabled(inside);
}

void TRC_EditSwitcher::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  const bool click = std::exchange(mouse_down_, false) && rect().contains(event->position().toPoint());
  GuardedCall([&] {
    // The click comes before the end of the press, as the pointer left it.
    if (click && off_arrows_ && Tag >= 0 && ControlsState.EditKeypadHook.IsSet())
      ControlsState.EditKeypadHook(*this);
    StopRepeat();
  });
}

void TRC_EditSwitcher::focusOutEvent(QFocusEvent* event) {
  GuardedCall([&] {
    StopRepeat();
    EndKeyStepping();
  });
  if (!typing_outlives_focus_) EndTyping();
  TRC_LabelSwitcher::focusOutEvent(event);
}

void TRC_EditSwitcher::contextMenuEvent(QContextMenuEvent* event) { popup_->popup(event->globalPos()); }

void TRC_EditSwitcher::MenuItemClick(const QString& name) {
  if (name == "Max" || name == "Mid" || name == "Min") {
    if (GetHandler()) Edit().SetToLimitBySwitcher(name == "Max" ? lcMax : name == "Mid" ? lcMid : lcMin);
  } else if (name == "Fine") {
    SetFine(!fine_);
  } else if (name == "Calc") {
    if (ControlsState.EditKeypadHook.IsSet()) ControlsState.EditKeypadHook(*this);
  } else {
    throw EAssertion("Unknovn Menu Item");
  }
}

void TRC_EditSwitcher::keyPressEvent(QKeyEvent* event) {
  GuardedCall([&] {
    const int key = event->key();
    const bool arrow =
        key == Qt::Key_Up || key == Qt::Key_Down || key == Qt::Key_Left || key == Qt::Key_Right;
    if (!typing_) {
      if (arrow) {
        if (key_stepping_) return StepCommand(scRepeat);
        if (key == Qt::Key_Up || key == Qt::Key_Down) SetFine(false);
        if ((key == Qt::Key_Left || key == Qt::Key_Right) && fine_allowed_) SetFine(true);
        StopRepeat();
        key_stepping_ = true;
        return OneStep(key == Qt::Key_Up || key == Qt::Key_Right);
      }
      EndKeyStepping();
      std::optional<TLimitChoice> limit;
      if (key == Qt::Key_End) limit = lcMin;
      if (key == Qt::Key_Home) limit = lcMax;
      if (key == Qt::Key_Clear || key == Qt::Key_PageUp || key == Qt::Key_PageDown) limit = lcMid;
      if (limit) {
        StopRepeat();
        if (GetHandler()) Edit().SetToLimitBySwitcher(*limit);
        return;
      }
    }
    if (key == Qt::Key_Delete) return EndTyping();
    QChar typed;
    if (key == Qt::Key_Backspace) typed = '\b';
    if (key == Qt::Key_Return || key == Qt::Key_Enter) typed = '\r';
    if (key == Qt::Key_Escape) typed = QChar(0x1B);
    if (typed.isNull() && !event->text().isEmpty() && event->text()[0].isPrint()) typed = event->text()[0];
    if (!typed.isNull()) KeyChar(typed);
  });
}

void TRC_EditSwitcher::keyReleaseEvent(QKeyEvent* event) {
  if (event->isAutoRepeat()) return;
  const int key = event->key();
  if (key == Qt::Key_Up || key == Qt::Key_Down || key == Qt::Key_Left || key == Qt::Key_Right)
    GuardedCall([&] { EndKeyStepping(); });
}

bool TRC_EditSwitcher::KeyInput(QChar key) {
  GuardedCall([&] {
    if (key == 'z') return KeyChar('\b');
    if (key == 'y') return KeyChar(QChar(0x1B));
    KeyChar(key);
  });
  return typing_;
}

void TRC_EditSwitcher::KeyChar(QChar key) {
  key = key.toLower();
  if (key == '\b') return TypeEdit(typed_text_.chopped(typed_text_.isEmpty() ? 0 : 1), word_);
  if (key == QChar(0x1B)) return EndTyping();
  if (word_) {
    if (key == '\r') return CommitWord();
    if (key.isLetter()) return TypeEdit(typed_text_ + key.toUpper(), true);
    return Beep();
  }
  if (key == '\r' || key == 'x') return Commit(1);
  if (key.isDigit() || key == '-' || key == '.' || key == 'e') return TypeEdit(typed_text_ + key, false);
  // A blank after a number opens a prefix word ("2.5 MEG"); an 'm' on an empty entry a
  // limit word (MIN, MID, MAX).
  if (key == ' ' && typing_ && ParseWhole(typed_text_)) return TypeEdit(typed_text_ + ' ', true);
  if (key == 'm' && typed_text_.isEmpty()) return TypeEdit("M", true);
  for (const TPrefixKey& prefix : kPrefixKeys)
    if (key == QChar(prefix.key)) return Commit(prefix.multiplier);
}

void TRC_EditSwitcher::TypeEdit(const QString& candidate, bool asWord) {
  StopRepeat();
  if (!typing_) {
    typing_ = true;
    typed_text_.clear();
  }
  if (!asWord && !IsNumberPrefix(candidate)) return Beep();
  typed_text_ = candidate;
  // Rubbing out the blank or the whole word goes back to a number.
  word_ = asWord && (candidate.contains(' ') || (!candidate.isEmpty() && candidate[0].isLetter()));
  update();
}

void TRC_EditSwitcher::EndTyping() {
  typing_ = false;
  word_ = false;
  typed_text_.clear();
  update();
}

void TRC_EditSwitcher::Commit(double multiplier) {
  if (typed_text_.isEmpty()) return EndTyping();
  const std::optional<double> number = ParseWhole(typed_text_);
  if (!number) return;
  EndTyping();
  if (GetHandler()) Edit().SetValueBySwitcher(*number * multiplier);
}

void TRC_EditSwitcher::CommitWord() {
  const QString word = typed_text_.trimmed();
  std::optional<TLimitChoice> limit;
  if (word == "MIN") limit = lcMin;
  if (word == "MID") limit = lcMid;
  if (word == "MAX") limit = lcMax;
  if (limit) {
    EndTyping();
    if (GetHandler()) Edit().SetToLimitBySwitcher(*limit);
    return;
  }
  const std::string unit = GetHandler() ? Edit().GetUnitText() : std::string();
  const std::optional<double> number = ReadEngineeringNumber(word.toStdString(), unit);
  if (!number) return Beep();
  EndTyping();
  if (GetHandler()) Edit().SetValueBySwitcher(*number);
}

}  // namespace norv
