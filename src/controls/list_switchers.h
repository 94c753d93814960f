#pragma once
// Choices shown as a drop-down list: free item texts of a TRadioSwHandler, and the signal
// sources of a TSignalSourceSwHandler, whose entries carry their trace's colour and whose
// unavailable sources vanish from the open list.

#include <QComboBox>
#include <QStringList>
#include <array>
#include <cstdint>
#include <functional>

#include "controls/switcher.h"

namespace norv {

// A combo box with a text colour, a back colour and a disabled flag per item. Disabled
// items take no room in the open list, and keys and clicks never choose one: only
// accepted choices reach OnValidChange.
class TColorComboBox : public QComboBox {
  Q_OBJECT
 public:
  static constexpr int kItemSlots = 51;

  explicit TColorComboBox(QWidget* parent);

  QColor ItemTextColor(int index) const;
  QColor ItemBackColor(int index) const;
  bool ItemDisabled(int index) const;
  void SetItemTextColor(int index, const QColor& color);
  void SetItemBackColor(int index, const QColor& color);
  // Bit i disables item i (the first 32 items); the list is measured again on a change.
  void SetDisabledMask(uint32_t mask);
  void RefreshItems();
  // The open list shows at most n rows, and never more than the enabled items (at least one).
  void FitDropDownCount(int n);
  int LastValid() const { return last_valid_; }
  void SetLastValid(int index);
  // Keeps the choice on enabled items after the user moved it to `index`; an accepted new
  // choice fires OnValidChange. With every item disabled the choice stays where it was.
  void ValidateChoice(int index);

  // Where the chosen item's text is drawn, and item i's font there: the list's, or a narrower
  // one for a long text.
  QRect TextRect() const;
  QFont ItemFont(int index) const;

  std::function<void(TColorComboBox&)> OnValidChange;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::array<QColor, kItemSlots> text_colors_;
  std::array<QColor, kItemSlots> back_colors_;
  std::array<bool, kItemSlots> disabled_{};
  int last_valid_ = -1;
};

// A TRadioSwHandler as a drop-down list of free texts.
class TRC_ListBoxSwitcher : public TRC_Switcher {
  Q_OBJECT
 public:
  explicit TRC_ListBoxSwitcher(QWidget* parent, const TSwitcherFields& fields = {});

  TColorComboBox* ListBox() const { return list_; }
  QStringList Items() const;
  void SetItems(const QStringList& items);
  int ItemIndex() const { return list_->currentIndex(); }
  void SetItemIndex(int index) { list_->SetLastValid(index); }
  int DropDownCount() const { return list_->maxVisibleItems(); }
  void SetDropDownCount(int count) { list_->setMaxVisibleItems(count); }
  // Back and text colour of the entries (item slots 0-40).
  void SetFonColor(const QColor& color);
  void SetTextColor(const QColor& color);

  void UpdateFromHandler() override;
  void Apply(const TSwitcherFields& fields) override;

 protected:
  void HandlerBound() override;
  void LayoutContent() override;

 private:
  void ApplyToHandler();

  TColorComboBox* list_;
  uint32_t disabled_mask_ = 0;
  QColor fon_color_ = Qt::black;
  QColor text_color_ = Qt::white;
};

// A choice of source (TSourceSwHandler) as a drop-down list.
class TRC_SourceSwitcher : public TRC_Switcher {
  Q_OBJECT
 public:
  explicit TRC_SourceSwitcher(QWidget* parent);

  TColorComboBox* ListBox() const { return list_; }
  int DropDownCount() const { return drop_down_count_; }
  void SetDropDownCount(int count);

 protected:
  virtual void LoadItemNames() = 0;
  virtual void ColourItems() = 0;
  void HandlerBound() override;
  void LayoutContent() override;
  // Hides the sources the handler does not offer.
  void ApplyEnabledMask();

 private:
  void ApplyToHandler();

  TColorComboBox* list_;
  int drop_down_count_ = 8;
};

// A trace chosen as signal source (TSignalSourceSwHandler): the installed source names,
// each in its trace's colour.
class TRC_SignalSourceSwitcher : public TRC_SourceSwitcher {
  Q_OBJECT
 public:
  explicit TRC_SignalSourceSwitcher(QWidget* parent, const TSwitcherFields& fields = {});
  void UpdateFromHandler() override;

 protected:
  void LoadItemNames() override;
  void ColourItems() override;
};

}  // namespace norv
