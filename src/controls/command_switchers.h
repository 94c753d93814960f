#pragma once
// Command buttons: one or two self-painted push buttons that may latch down. The main
// commands (Run, Stop/Single, ...) may carry a pop-up menu of choices; the side-menu
// commands show their handler's busy state; passive buttons only tell their page.

#include <QColor>
#include <QMenu>
#include <QPointer>
#include <QStringList>
#include <array>
#include <vector>

#include "controls/switcher.h"

namespace norv {

enum TCommandButtonState : uint8_t { cbsUp = 0, cbsPressed = 1, cbsLatched = 2, cbsDisabled = 3 };

class TRC_CustomCmmandSwitcher : public TRC_Switcher {
  Q_OBJECT
 public:
  explicit TRC_CustomCmmandSwitcher(QWidget* parent);

  int ButtonCount() const { return button_count_; }
  void SetButtonCount(int count);  // 1 or 2
  // The rectangle of button i in the control.
  QRect ButtonRect(int index) const;
  TCommandButtonState ButtonState(int index) const { return states_[static_cast<size_t>(index)]; }
  QString ButtonCaption(int index) const { return captions_[static_cast<size_t>(index)]; }
  void SetButtonCaption(int index, const QString& caption);
  // The font of button i's caption: the control's, or a narrower one for a long caption.
  QFont ButtonFont(int index) const;
  QColor ColorOfText() const { return color_of_text_; }
  void SetColorOfText(const QColor& color);
  // The button with the focus rectangle (-1 none).
  int FocusButton() const { return focus_button_; }
  bool Latching() const { return latching_; }
  void SetLatching(bool value) { latching_ = value; }
  bool LatchReleasable() const { return latch_releasable_; }
  void SetLatchReleasable(bool value) { latch_releasable_ = value; }

  // Caption of button 0 (the declared Caption is the strip's), then the common fields.
  void Apply(const TSwitcherFields& fields) override;

 protected:
  virtual void ExecuteCommand(int index) = 0;
  void SetButtonState(int index, TCommandButtonState state);
  void PaintContent(QPainter& painter, const QRect& content) override;

  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  int ButtonAt(const QPoint& pos) const;
  void DrawButton(QPainter& painter, int index);
  // Ends a press of button i by the mouse or a key.
  void CompletePress(int index);

  int button_count_ = 1;
  std::array<TCommandButtonState, 2> states_{cbsUp, cbsUp};
  std::array<QString, 2> captions_;
  int focus_button_ = -1;
  QColor color_of_text_ = Qt::black;
  int mouse_pressed_ = -1;
  int key_pressed_ = -1;
  bool latching_ = false;
  bool latch_releasable_ = false;
};

// A main command (TMainCommandHandler): latches when bound to a Boolean; with a menu of
// choices it offers them in a pop-up menu (right click).
class TRC_MainCommandSwitcher : public TRC_CustomCmmandSwitcher {
  Q_OBJECT
 public:
  explicit TRC_MainCommandSwitcher(QWidget* parent, const TSwitcherFields& fields = {});

  QString TextBtn() const { return ButtonCaption(0); }
  void SetTextBtn(const QString& text) { SetButtonCaption(0, text); }
  const QStringList& MenuItems() const { return menu_items_; }
  // New menu lines ("~Delimiter" is a separator); a menu built already is built again, so
  // a language switch reaches it.
  void SetMenuItems(const QStringList& items);
  int MenuDefaultItem() const { return menu_default_item_; }
  void SetMenuDefaultItem(int item) { menu_default_item_ = item; }
  int CurrentItem() const { return current_item_; }
  bool ShowChecks() const { return show_checks_; }
  // The pop-up menu; nullptr until a bound switcher with menu lines builds it.
  QMenu* PopupMenu() const { return popup_; }

  void UpdateFromHandler() override;
  void Apply(const TSwitcherFields& fields) override;

 protected:
  void HandlerBound() override;
  void ExecuteCommand(int index) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  void BuildPopup();
  void MenuItemClick(int item);
  void MoveCheckMark();

  QStringList menu_items_;
  bool show_checks_ = false;
  int current_item_ = -1;
  int menu_default_item_ = -1;
  std::vector<int> item_lines_;  // menu item number -> line of menu_items_
  QPointer<QMenu> popup_;
};

// A side-menu command (TRightCommandHandler), drawn down while its action runs.
class TRC_RightCommandSwitcher : public TRC_CustomCmmandSwitcher {
  Q_OBJECT
 public:
  explicit TRC_RightCommandSwitcher(QWidget* parent, const TSwitcherFields& fields = {});
  void UpdateFromHandler() override;

 protected:
  void ExecuteCommand(int index) override;
};

// A button bound to nothing: a press fires OnUpdateMe and the page does the work.
class TRC_RightPassiveCommandSwitcher : public TRC_CustomCmmandSwitcher {
  Q_OBJECT
 public:
  explicit TRC_RightPassiveCommandSwitcher(QWidget* parent, const TSwitcherFields& fields = {});

 protected:
  void ExecuteCommand(int index) override;
};

}  // namespace norv
