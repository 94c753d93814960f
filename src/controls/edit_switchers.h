#pragma once
// Numeric settings (TEditHandler): a label shows the handler's value text in a sunken
// box; an edit adds two arrow zones that step the value (with auto-repeat), arrow, page
// and limit keys, typed entry with prefix letters, and a pop-up menu.

#include <QMenu>
#include <QPointer>
#include <QString>
#include <array>
#include <cstdint>
#include <memory>
#include <optional>

#include "controls/switcher.h"
#include "framework/util/clock.h"

namespace norv {

class TEditHandler;

class TRC_LabelSwitcher : public TRC_Switcher {
  Q_OBJECT
 public:
  explicit TRC_LabelSwitcher(QWidget* parent, const TSwitcherFields& fields = {});

  // The text shown: the handler's value text ("MEG" shown as "M").
  const QString& ValueText() const { return value_text_; }
  const QString& TypedText() const { return typed_text_; }
  bool IsTyping() const { return typing_; }
  // The inside of the sunken value box.
  QRect ValueRect() const;
  // Where the value text goes, and the font it is drawn in there: the control's, or a
  // narrower one for a long text.
  QRect TextRect() const;
  QFont ValueFont() const;
  // The control's width that shows `value` whole in the control's font.
  int WidthFor(const QString& value) const;
  // A colour (0x00BBGGRR) in place of the handler's text colour; nothing: the handler's.
  void SetValueColor(std::optional<uint32_t> color);

  void UpdateFromHandler() override;

 protected:
  // The value box's left edge from the content's left, and its right edge from the
  // content's left plus the control's width, with and without the caption strip.
  virtual int BoxLeft() const { return WithHot() ? 10 : 0; }
  virtual int BoxRightShort() const { return WithHot() ? 23 : 8; }
  QRect ValueBox() const;
  // The text the box shows: the value, or what is being typed into the enabled control.
  const QString& ShownText() const { return typing_ && isEnabled() ? typed_text_ : value_text_; }
  TEditHandler& Edit() const;
  void PaintContent(QPainter& painter, const QRect& content) override;

  QString typed_text_;
  bool typing_ = false;

 private:
  QString value_text_;
  uint32_t text_color_ = 0xFFFFFF;
  uint32_t back_color_ = 0;
  std::optional<uint32_t> value_color_;
};

class TRC_EditSwitcher : public TRC_LabelSwitcher {
  Q_OBJECT
 public:
  explicit TRC_EditSwitcher(QWidget* parent, const TSwitcherFields& fields = {});
  ~TRC_EditSwitcher() override;

  bool FineAllowed() const { return fine_allowed_; }
  bool Fine() const { return fine_; }
  void SetFine(bool fine);
  // Arrow zone 0 (up) or 1 (down); a point on its edge is inside.
  QRect ArrowRect(int zone) const;
  bool ArrowPressed(int zone) const { return arrow_pressed_[static_cast<size_t>(zone)]; }
  // One key of the on-screen keypad ('z' Backspace, 'y' Escape, others as typed); true
  // while entry goes on.
  bool KeyInput(QChar key);
  // A number typed stays when the control loses the focus (the keypad's edit, typed into
  // by keys that take no focus, until its OK, Enter or Cancel); otherwise it is dropped.
  void SetTypingOutlivesFocus(bool outlives) { typing_outlives_focus_ = outlives; }
  QMenu* PopupMenu() const { return popup_; }

 protected:
  int BoxLeft() const override { return WithHot() ? 2 : 0; }
  int BoxRightShort() const override { return WithHot() ? 30 : 20; }
  void HandlerBound() override;
  void PaintContent(QPainter& painter, const QRect& content) override;

  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  // The arrow zone under a point: 0, 1, or 2 for none.
  int ZoneAt(const QPoint& pos) const;
  void DrawArrow(QPainter& painter, int zone);
  void SetArrowPressed(int zone, bool pressed);
  void StartRepeat(int zone);
  void StopRepeat();
  void RepeatTick();
  void OneStep(bool up);
  void EndKeyStepping();
  void StepCommand(uint8_t code);
  // Typed entry.
  void KeyChar(QChar key);
  void TypeEdit(const QString& candidate, bool asWord);
  void Commit(double multiplier);
  void CommitWord();
  void EndTyping();
  void MenuItemClick(const QString& name);

  bool fine_allowed_ = true;
  bool fine_ = false;
  std::array<bool, 2> arrow_pressed_{false, false};
  int pressed_zone_ = 2;
  bool key_stepping_ = false;
  std::unique_ptr<ITimer> repeat_timer_;
  bool off_arrows_ = false;
  bool mouse_down_ = false;
  // Typing a word: MIN, MID, MAX, or a number, a blank and its prefix ("2.5 MEG").
  bool word_ = false;
  bool typing_outlives_focus_ = false;
  QPointer<QMenu> popup_;
};

}  // namespace norv
