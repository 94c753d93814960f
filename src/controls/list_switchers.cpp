#include "controls/list_switchers.h"

#include <QAbstractItemView>
#include <QPainter>
#include <QStyleOptionComboBox>
#include <QStylePainter>
#include <QStyledItemDelegate>
#include <algorithm>

#include "controls/controls_state.h"
#include "controls/look.h"
#include "framework/settings/choice_handlers.h"
#include "framework/text/dot_number.h"

namespace norv {

namespace {

const QColor kSilver(192, 192, 192);
const QColor kGrey(128, 128, 128);
constexpr int kListHeight = 22;
constexpr int kTextIndent = 2;      // of an item's text in its row and in the closed box
constexpr int kColouredSlots = 41;  // the list switcher's colours reach the first 41 slots
constexpr uint32_t kUncolouredSource = 0x025FA3;

// Draws the rows of the open list in their own colours; disabled rows take no room.
class TColorItemDelegate final : public QStyledItemDelegate {
 public:
  explicit TColorItemDelegate(TColorComboBox& list) : QStyledItemDelegate(&list), list_(list) {}

  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    const int height = list_.ItemDisabled(index.row()) ? 0 : list_.height() - 6;
    return QSize(QStyledItemDelegate::sizeHint(option, index).width(), height);
  }

  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    const int row = index.row();
    QColor back = list_.ItemBackColor(row), text = list_.ItemTextColor(row);
    if (option.state & (QStyle::State_Selected | QStyle::State_HasFocus)) {
      back = option.palette.color(QPalette::Highlight);
      text = Qt::white;
    } else if (list_.ItemDisabled(row) || !(option.state & QStyle::State_Enabled)) {
      back = kSilver;
      text = kGrey;
    }
    painter->fillRect(option.rect, back);
    painter->setPen(text);
    painter->drawText(option.rect.adjusted(kTextIndent, 0, 0, 0),
                      Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, index.data().toString());
  }

 private:
  TColorComboBox& list_;
};

}  // namespace

// ---------------------------------------------------------------------------------------
// TColorComboBox

TColorComboBox::TColorComboBox(QWidget* parent) : QComboBox(parent) {
  text_colors_.fill(Qt::white);
  back_colors_.fill(Qt::black);
  setItemDelegate(new TColorItemDelegate(*this));
  resize(width(), kListHeight);
  connect(this, &QComboBox::activated, this,
          [this](int index) { GuardedCall([&] { ValidateChoice(index); }); });
}

QColor TColorComboBox::ItemTextColor(int index) const {
  return index >= 0 && index < kItemSlots ? text_colors_[static_cast<size_t>(index)] : QColor(Qt::white);
}

QColor TColorComboBox::ItemBackColor(int index) const {
  return index >= 0 && index < kItemSlots ? back_colors_[static_cast<size_t>(index)] : QColor(Qt::black);
}

bool TColorComboBox::ItemDisabled(int index) const {
  return index >= 0 && index < kItemSlots && disabled_[static_cast<size_t>(index)];
}

void TColorComboBox::SetItemTextColor(int index, const QColor& color) {
  if (index >= 0 && index < kItemSlots) text_colors_[static_cast<size_t>(index)] = color;
  update();
}

void TColorComboBox::SetItemBackColor(int index, const QColor& color) {
  if (index >= 0 && index < kItemSlots) back_colors_[static_cast<size_t>(index)] = color;
  update();
}

void TColorComboBox::SetDisabledMask(uint32_t mask) {
  bool changed = false;
  const int n = std::min(count(), 32);
  for (int i = 0; i < n; ++i) {
    const bool disabled = (mask >> i) & 1;
    if (disabled_[static_cast<size_t>(i)] == disabled) continue;
    disabled_[static_cast<size_t>(i)] = disabled;
    changed = true;
  }
  if (changed) RefreshItems();
}

void TColorComboBox::RefreshItems() {
  // Every row is measured again; the choice stays.
  const int index = currentIndex();
  QStringList items;
  for (int i = 0; i < count(); ++i) items << itemText(i);
  const QSignalBlocker quiet(this);
  clear();
  addItems(items);
  setCurrentIndex(index);
  update();
}

void TColorComboBox::FitDropDownCount(int n) {
  int enabled = 0;
  for (int i = 0; i < count(); ++i)
    if (!ItemDisabled(i)) ++enabled;
  setMaxVisibleItems(std::max(1, std::min(enabled, n)));
}

void TColorComboBox::SetLastValid(int index) {
  last_valid_ = index;
  const QSignalBlocker quiet(this);
  setCurrentIndex(index);
}

void TColorComboBox::ValidateChoice(int index) {
  if (index >= 0 && ItemDisabled(index) && index != last_valid_) {
    auto firstAfter = [&] {
      for (int i = index + 1; i < count(); ++i)
        if (!ItemDisabled(i)) return i;
      return -1;
    };
    auto lastBefore = [&] {
      for (int i = index - 1; i >= 0; --i)
        if (!ItemDisabled(i)) return i;
      return -1;
    };
    int found = index > last_valid_ ? firstAfter() : lastBefore();
    if (found < 0) found = index > last_valid_ ? lastBefore() : firstAfter();
    // Nothing enabled: the choice stays where it was.
    if (found < 0) found = last_valid_;
    const QSignalBlocker quiet(this);
    setCurrentIndex(found);
  }
  if (currentIndex() == last_valid_) return;
  last_valid_ = currentIndex();
  if (OnValidChange) OnValidChange(*this);
}

QRect TColorComboBox::TextRect() const {
  QStyleOptionComboBox option;
  initStyleOption(&option);
  return style()
      ->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this)
      .adjusted(kTextIndent, 0, 0, 0);
}

QFont TColorComboBox::ItemFont(int index) const {
  return FittingFont(font(), itemText(index), TextRect().width());
}

void TColorComboBox::paintEvent(QPaintEvent*) {
  QStylePainter painter(this);
  QStyleOptionComboBox option;
  initStyleOption(&option);
  option.currentText.clear();
  painter.drawComplexControl(QStyle::CC_ComboBox, option);
  const int index = currentIndex();
  if (index < 0) return;
  QColor back = ItemBackColor(index), text = ItemTextColor(index);
  if (!isEnabled() || ItemDisabled(index)) {
    back = kSilver;
    text = kGrey;
  } else if (hasFocus()) {
    back = palette().color(QPalette::Highlight);
    text = Qt::white;
  }
  const QRect textRect = TextRect();
  painter.fillRect(textRect.adjusted(-kTextIndent, 0, 0, 0), back);
  painter.setPen(text);
  painter.setFont(ItemFont(index));
  painter.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, itemText(index));
}

// ---------------------------------------------------------------------------------------
// TRC_ListBoxSwitcher

TRC_ListBoxSwitcher::TRC_ListBoxSwitcher(QWidget* parent, const TSwitcherFields& fields)
    : TRC_Switcher(parent), list_(new TColorComboBox(this)) {
  setGeometry(4, 16, 103, 45);
  list_->setMaxVisibleItems(8);
  list_->OnValidChange = [this](TColorComboBox&) { ApplyToHandler(); };
  LayoutContent();
  Apply(fields);
}

void TRC_ListBoxSwitcher::Apply(const TSwitcherFields& fields) {
  if (!fields.Items.isEmpty()) SetItems(fields.Items);
  TRC_Switcher::Apply(fields);
}

QStringList TRC_ListBoxSwitcher::Items() const {
  QStringList items;
  for (int i = 0; i < list_->count(); ++i) items << list_->itemText(i);
  return items;
}

void TRC_ListBoxSwitcher::SetItems(const QStringList& items) {
  const QSignalBlocker quiet(list_);
  list_->clear();
  // A list holds only the items that have colour slots.
  list_->addItems(items.mid(0, TColorComboBox::kItemSlots));
  list_->SetLastValid(-1);
}

void TRC_ListBoxSwitcher::SetFonColor(const QColor& color) {
  if (color == fon_color_) return;
  fon_color_ = color;
  for (int i = 0; i < kColouredSlots; ++i) list_->SetItemBackColor(i, color);
}

void TRC_ListBoxSwitcher::SetTextColor(const QColor& color) {
  if (color == text_color_) return;
  text_color_ = color;
  for (int i = 0; i < kColouredSlots; ++i) list_->SetItemTextColor(i, color);
}

void TRC_ListBoxSwitcher::LayoutContent() {
  const QRect place = WithHot() ? QRect(4, 20, width() - 8, kListHeight) : QRect(0, 0, width(), kListHeight);
  if (list_->geometry() != place) list_->setGeometry(place);
}

void TRC_ListBoxSwitcher::ApplyToHandler() {
  if (!GetHandler()) return;
  HandlerAs<TRadioSwHandler>("Handler not TRadioSwHandler")
      .SetIndexBySwitcher(static_cast<uint8_t>(list_->LastValid()));
}

void TRC_ListBoxSwitcher::UpdateFromHandler() {
  if (!GetHandler()) return;
  auto& handler = HandlerAs<TRadioSwHandler>("Handler not TRadioSwHandler");
  SetItemIndex(handler.GetIndex());
  if (handler.GetDisabledMask() != disabled_mask_) {
    disabled_mask_ = handler.GetDisabledMask();
    list_->SetDisabledMask(disabled_mask_);
  }
  TRC_Switcher::UpdateFromHandler();
}

void TRC_ListBoxSwitcher::HandlerBound() {
  const int handlerCount = HandlerAs<TRadioSwHandler>("Handler not TRadioSwHandler").GetCount();
  if (handlerCount == list_->count()) return;
  Beep();
  throw EAssertion("Incorrect Number of Items in " + GetFullMnemonic() +
                   Format_Dot("\r\rHandler: %d itms; Switcher: %d itms", handlerCount, list_->count()));
}

// ---------------------------------------------------------------------------------------
// Source switchers

TRC_SourceSwitcher::TRC_SourceSwitcher(QWidget* parent)
    : TRC_Switcher(parent), list_(new TColorComboBox(this)) {
  setGeometry(4, 16, 103, 45);
  list_->setMaxVisibleItems(drop_down_count_);
  list_->OnValidChange = [this](TColorComboBox&) { ApplyToHandler(); };
  LayoutContent();
}

void TRC_SourceSwitcher::SetDropDownCount(int count) {
  drop_down_count_ = std::clamp(count, 1, 255);
  list_->FitDropDownCount(drop_down_count_);
}

void TRC_SourceSwitcher::LayoutContent() {
  const QRect place = WithHot() ? QRect(4, 20, width() - 8, kListHeight) : QRect(0, 0, width(), kListHeight);
  if (list_->geometry() != place) list_->setGeometry(place);
}

void TRC_SourceSwitcher::HandlerBound() {
  ApplyEnabledMask();
  ColourItems();
}

void TRC_SourceSwitcher::ApplyEnabledMask() {
  auto& handler = HandlerAs<TSourceSwHandler>("Handler not TSourceSwHandler");
  list_->SetDisabledMask(~handler.GetEnabledMask());
  list_->FitDropDownCount(drop_down_count_);
  list_->update();
}

void TRC_SourceSwitcher::ApplyToHandler() {
  if (!GetHandler()) return;
  HandlerAs<TSourceSwHandler>("Handler not TSourceSwHandler").SetSourceBySwitcher(list_->LastValid());
}

TRC_SignalSourceSwitcher::TRC_SignalSourceSwitcher(QWidget* parent, const TSwitcherFields& fields)
    : TRC_SourceSwitcher(parent) {
  LoadItemNames();
  Apply(fields);
}

void TRC_SignalSourceSwitcher::LoadItemNames() {
  TColorComboBox* list = ListBox();
  const QSignalBlocker quiet(list);
  list->clear();
  for (int i = 0; i <= ControlsState.LastSourceIndex; ++i)
    list->addItem(QString::fromStdString(ControlsState.SourceNames[static_cast<size_t>(i)]));
}

void TRC_SignalSourceSwitcher::ColourItems() {
  TColorComboBox* list = ListBox();
  const auto& lookup = ControlsState.SourceColorLookup;
  const QColor back = lookup ? ColorFromBgr(ControlsState.SourceBackColor) : QColor(Qt::black);
  const int last = ControlsState.LastSourceIndex;
  for (int i = 0; i < last; ++i) {
    list->SetItemBackColor(i, back);
    list->SetItemTextColor(i, ColorFromBgr(lookup ? lookup(i) : kUncolouredSource));
  }
  if (last >= 0) {
    list->SetItemBackColor(last, QColor(255, 0, 0));
    list->SetItemTextColor(last, QColor(255, 255, 0));
  }
  list->update();
}

void TRC_SignalSourceSwitcher::UpdateFromHandler() {
  if (!GetHandler()) return;
  auto& handler = HandlerAs<TSignalSourceSwHandler>("Handler not TSourceSwHandler");
  ListBox()->SetLastValid(handler.GetSourceIndex());
  if (handler.GetEnabledChanged()) ApplyEnabledMask();
  if (handler.GetColoursChanged()) ColourItems();
  TRC_Switcher::UpdateFromHandler();
}

}  // namespace norv
