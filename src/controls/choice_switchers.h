#pragma once
// Choices shown as buttons: one of N (radio), on/off, and a set of up to 32 flags (check).
// A click writes into the handler as a control's change; the handler's notification
// comes back through UpdateFromHandler and sets the buttons.

#include <QCheckBox>
#include <QRadioButton>
#include <QStringList>
#include <cstdint>
#include <vector>

#include "controls/switcher.h"

namespace norv {

// A radio or check button that can look like a push button staying down.
template <class Button>
class TPushLikeButton : public Button {
 public:
  explicit TPushLikeButton(QWidget* parent) : Button(parent) {}
  bool ViewAsButton() const { return view_as_button_; }
  void SetViewAsButton(bool value) {
    view_as_button_ = value;
    this->update();
  }
  // The button's own help number (see HelpSeparate).
  int HelpContext = 0;

 protected:
  void paintEvent(QPaintEvent* event) override;
  bool hitButton(const QPoint& pos) const override {
    return view_as_button_ ? this->rect().contains(pos) : Button::hitButton(pos);
  }

 private:
  bool view_as_button_ = false;
};

class TMyRadioButton final : public TPushLikeButton<QRadioButton> {
 public:
  explicit TMyRadioButton(QWidget* parent);

 protected:
  // A click never unchecks a radio button.
  void nextCheckState() override {
    if (!isChecked()) setChecked(true);
  }
};

class TMyCheckBox final : public TPushLikeButton<QCheckBox> {
 public:
  explicit TMyCheckBox(QWidget* parent) : TPushLikeButton<QCheckBox>(parent) {}
};

// Help numbers and captions of buttons with their own help numbers: numbering starts at
// base + 1 and goes up by one per item; an item "_250_D" takes the number 250 and the
// caption "D"; each leading "~" lowers the number by one, each leading "*" raises it.
struct THelpItem {
  int HelpContext = 0;
  QString Caption;
};
std::vector<THelpItem> SeparateHelpNumbers(int base, const QStringList& items);

class TRC_PolyButtonSwitcher : public TRC_Switcher {
  Q_OBJECT
 public:
  explicit TRC_PolyButtonSwitcher(QWidget* parent);

  const QStringList& Items() const { return items_; }
  void SetItems(const QStringList& items);
  int Columns() const { return columns_; }
  void SetColumns(int columns);
  bool ViewAsButton() const { return view_as_button_; }
  void SetViewAsButton(bool value);
  bool HelpSeparate() const { return help_separate_; }
  void SetHelpSeparate(bool value);
  uint32_t DisabledMask() const { return disabled_mask_; }
  // Greys button i for bit i (the first 32 buttons; the others follow the switcher).
  virtual void SetDisabledMask(uint32_t mask);
  // Radio: the chosen button; check: the button clicked last (-1 none).
  int ItemIndex() const { return item_index_; }

  int ButtonCount() const { return static_cast<int>(buttons_.size()); }
  QAbstractButton* Button(int index) const { return buttons_.at(static_cast<size_t>(index)); }
  // The part of a button's width its mark (and the gap after it) takes from the text.
  int MarkWidth(const QAbstractButton& button) const;
  // The width that shows every text in the control's font, the columns side by side.
  int NeededWidth() const;

  void Apply(const TSwitcherFields& fields) override;

 protected:
  virtual QAbstractButton* NewButton() = 0;
  // The state a button takes when the items change.
  virtual bool CheckedAfterItemsChange(int index) const = 0;
  virtual void ButtonClicked(int index) = 0;
  virtual void ApplyToHandler() = 0;
  void ItemsChanged();
  void CheckButtons(const std::function<bool(int)>& checked);
  // The handler's item count must equal the button count.
  void CheckButtonCount(int handlerCount) const;
  void LayoutContent() override { LayoutButtons(); }

  int item_index_ = -1;
  bool updating_ = false;

 private:
  void SetButtonCount(int count);
  void LayoutButtons();
  // Per column: its widest text in `face` beside the mark, and the gap before the next column.
  std::vector<int> ColumnNeeds(const QFont& face, int gap) const;
  // A text keeps a few pixels from the mark of the column after it, where there is room.
  static constexpr int kColumnGap = 4;
  // The columns' widths within `room`: equal while each text fits its share, else as the
  // texts need, with what is left shared out.
  std::vector<int> ColumnWidths(int room) const;

  std::vector<QAbstractButton*> buttons_;
  QStringList items_;
  uint32_t disabled_mask_ = 0;
  int columns_ = 1;
  bool view_as_button_ = false;
  bool help_separate_ = false;
};

class TRC_CustomRadioSwitcher : public TRC_PolyButtonSwitcher {
  Q_OBJECT
 public:
  explicit TRC_CustomRadioSwitcher(QWidget* parent) : TRC_PolyButtonSwitcher(parent) {}
  // Checks button `index` (limited to -1 .. count - 1) without telling the handler.
  void SetItemIndex(int index);

 protected:
  QAbstractButton* NewButton() override;
  bool CheckedAfterItemsChange(int index) const override { return index == item_index_; }
  void ButtonClicked(int index) override;
};

// One of N options of a TRadioSwHandler.
class TRC_RadioSwitcher : public TRC_CustomRadioSwitcher {
  Q_OBJECT
 public:
  explicit TRC_RadioSwitcher(QWidget* parent, const TSwitcherFields& fields = {});
  void UpdateFromHandler() override;

 protected:
  void HandlerBound() override;
  void ApplyToHandler() override;
};

// A TOnOffHandler as two buttons, "On" (0) and "Off" (1).
class TRC_OnOffSwitch : public TRC_CustomRadioSwitcher {
  Q_OBJECT
 public:
  explicit TRC_OnOffSwitch(QWidget* parent, const TSwitcherFields& fields = {});
  void UpdateFromHandler() override;

 protected:
  void ApplyToHandler() override;
};

class TRC_CustomCheckSwitcher : public TRC_PolyButtonSwitcher {
  Q_OBJECT
 public:
  explicit TRC_CustomCheckSwitcher(QWidget* parent) : TRC_PolyButtonSwitcher(parent) {}
  uint32_t Mask() const { return mask_; }
  // Checks the buttons of the set bits without telling the handler.
  void SetMask(uint32_t mask);
  void SetDisabledMask(uint32_t mask) override;
  bool LastChecked() const { return last_checked_; }
  // The button that carries the tab stop (-1 none).
  int TabButton() const { return tab_button_; }

 protected:
  QAbstractButton* NewButton() override;
  bool CheckedAfterItemsChange(int index) const override { return index < 32 && (mask_ >> index & 1); }
  void ButtonClicked(int index) override;

 private:
  void ChooseTabButton(int clicked);

  uint32_t mask_ = 0;
  bool last_checked_ = false;
  int tab_button_ = -1;
};

// The buttons of a TCheckSwHandler.
class TRC_CheckSwitcher : public TRC_CustomCheckSwitcher {
  Q_OBJECT
 public:
  explicit TRC_CheckSwitcher(QWidget* parent, const TSwitcherFields& fields = {});
  void UpdateFromHandler() override;

 protected:
  void HandlerBound() override;
  void ApplyToHandler() override;
};

// A TOnOffHandler as one small check button.
class TRC_OnOffCheckSwitcher : public TRC_CustomCheckSwitcher {
  Q_OBJECT
 public:
  explicit TRC_OnOffCheckSwitcher(QWidget* parent, const TSwitcherFields& fields = {});
  QString ButtomsCaption() const { return Items().value(0); }
  void SetButtomsCaption(const QString& caption);
  void UpdateFromHandler() override;

 protected:
  void ApplyToHandler() override;
};

}  // namespace norv
