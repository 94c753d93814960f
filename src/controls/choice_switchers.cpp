#include "controls/choice_switchers.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionButton>
#include <algorithm>
#include <numeric>

#include "controls/controls_state.h"
#include "framework/settings/choice_handlers.h"
#include "framework/text/dot_number.h"

namespace norv {

template <class Button>
void TPushLikeButton<Button>::paintEvent(QPaintEvent* event) {
  if (!view_as_button_) return Button::paintEvent(event);
  QPainter painter(this);
  QStyleOptionButton option;
  option.initFrom(this);
  option.text = this->text();
  option.state |= this->isChecked() ? QStyle::State_On : QStyle::State_Off;
  if (this->isDown() || this->isChecked()) option.state |= QStyle::State_Sunken;
  this->style()->drawControl(QStyle::CE_PushButton, &option, &painter, this);
}

template class TPushLikeButton<QRadioButton>;
template class TPushLikeButton<QCheckBox>;

TMyRadioButton::TMyRadioButton(QWidget* parent) : TPushLikeButton<QRadioButton>(parent) {
  // The switcher keeps one button checked itself, and may check none.
  setAutoExclusive(false);
}

std::vector<THelpItem> SeparateHelpNumbers(int base, const QStringList& items) {
  std::vector<THelpItem> result;
  int number = base + 1;
  for (QString caption : items) {
    if (caption.startsWith('_')) {
      qsizetype end = 1;
      while (end < caption.size() && (caption[end].isDigit() || caption[end] == '_')) ++end;
      QString digits = caption.mid(1, end - 1);
      digits.remove('_');
      number = digits.toInt();
      caption = caption.mid(end);
    } else {
      while (caption.startsWith('~')) {
        caption.remove(0, 1);
        --number;
      }
      while (caption.startsWith('*')) {
        caption.remove(0, 1);
        ++number;
      }
    }
    result.push_back({number, caption});
    ++number;
  }
  return result;
}

// ---------------------------------------------------------------------------------------
// TRC_PolyButtonSwitcher

TRC_PolyButtonSwitcher::TRC_PolyButtonSwitcher(QWidget* parent) : TRC_Switcher(parent) {}

void TRC_PolyButtonSwitcher::Apply(const TSwitcherFields& fields) {
  if (fields.Columns > 0) columns_ = fields.Columns;
  // The help number first: the buttons' own numbers count from it.
  if (fields.HelpContext) SetHelpContext(fields.HelpContext);
  help_separate_ = help_separate_ || fields.HelpSeparate;
  if (!fields.Items.isEmpty()) {
    SetItems(fields.Items);
  } else if (fields.HelpSeparate) {
    ItemsChanged();
  }
  if (fields.ViewAsButton) SetViewAsButton(true);
  TRC_Switcher::Apply(fields);
}

void TRC_PolyButtonSwitcher::SetItems(const QStringList& items) {
  items_ = items;
  ItemsChanged();
}

void TRC_PolyButtonSwitcher::SetColumns(int columns) {
  columns = std::max(1, columns);
  if (columns == columns_) return;
  columns_ = columns;
  LayoutButtons();
  update();
}

void TRC_PolyButtonSwitcher::SetViewAsButton(bool value) {
  view_as_button_ = value;
  for (QAbstractButton* button : buttons_) {
    if (auto* radio = dynamic_cast<TMyRadioButton*>(button)) radio->SetViewAsButton(value);
    if (auto* check = dynamic_cast<TMyCheckBox*>(button)) check->SetViewAsButton(value);
  }
}

void TRC_PolyButtonSwitcher::SetHelpSeparate(bool value) {
  help_separate_ = value;
  ItemsChanged();
}

void TRC_PolyButtonSwitcher::SetDisabledMask(uint32_t mask) {
  if (mask == disabled_mask_) return;
  const int count = std::min(ButtonCount(), 32);
  for (int i = 0; i < count; ++i)
    if (((mask ^ disabled_mask_) >> i) & 1) buttons_[static_cast<size_t>(i)]->setEnabled(!((mask >> i) & 1));
  disabled_mask_ = mask;
}

void TRC_PolyButtonSwitcher::SetButtonCount(int count) {
  while (ButtonCount() < count) {
    QAbstractButton* button = NewButton();
    const int index = ButtonCount();
    connect(button, &QAbstractButton::clicked, this, [this, index] {
      GuardedCall([&] {
        if (!updating_) ButtonClicked(index);
      });
    });
    buttons_.push_back(button);
  }
  while (ButtonCount() > count) {
    delete buttons_.back();
    buttons_.pop_back();
  }
  // New buttons start enabled: greying follows the mask again.
  const uint32_t mask = disabled_mask_;
  disabled_mask_ = 0;
  for (QAbstractButton* button : buttons_) button->setEnabled(true);
  SetDisabledMask(mask);
}

void TRC_PolyButtonSwitcher::ItemsChanged() {
  SetButtonCount(static_cast<int>(items_.size()));
  const std::vector<THelpItem> help = SeparateHelpNumbers(HelpContext(), items_);
  updating_ = true;
  for (int i = 0; i < ButtonCount(); ++i) {
    QAbstractButton* button = buttons_[static_cast<size_t>(i)];
    const THelpItem& item = help[static_cast<size_t>(i)];
    button->setText(help_separate_ ? item.Caption : items_[i]);
    const int helpContext = help_separate_ ? item.HelpContext : 0;
    if (auto* radio = dynamic_cast<TMyRadioButton*>(button)) radio->HelpContext = helpContext;
    if (auto* check = dynamic_cast<TMyCheckBox*>(button)) check->HelpContext = helpContext;
    button->setChecked(CheckedAfterItemsChange(i));
  }
  updating_ = false;
  LayoutButtons();
  update();
}

void TRC_PolyButtonSwitcher::CheckButtons(const std::function<bool(int)>& checked) {
  updating_ = true;
  for (int i = 0; i < ButtonCount(); ++i) buttons_[static_cast<size_t>(i)]->setChecked(checked(i));
  updating_ = false;
}

void TRC_PolyButtonSwitcher::CheckButtonCount(int handlerCount) const {
  if (handlerCount == ButtonCount()) return;
  throw EAssertion("Incorrect Number of Buttons in " + GetFullMnemonic() +
                   Format_Dot("\r\rHandler: %d btns; Switcher: %d btns", handlerCount, ButtonCount()));
}

std::vector<int> TRC_PolyButtonSwitcher::ColumnNeeds(const QFont& face, int gap) const {
  std::vector<int> needs(static_cast<size_t>(columns_), 0);
  const int rows = (ButtonCount() + columns_ - 1) / columns_;
  const QFontMetrics metrics(face);
  for (int i = 0; i < ButtonCount(); ++i) {
    const QAbstractButton& button = *buttons_[static_cast<size_t>(i)];
    const int column = i / rows;
    int& need = needs[static_cast<size_t>(column)];
    need = std::max(need, metrics.horizontalAdvance(button.text()) + MarkWidth(button) +
                              (column < columns_ - 1 ? gap : 0));
  }
  return needs;
}

int TRC_PolyButtonSwitcher::NeededWidth() const {
  const std::vector<int> needs = ColumnNeeds(font(), kColumnGap);
  return std::accumulate(needs.begin(), needs.end(), 4 + width() - ContentRect().width());
}

std::vector<int> TRC_PolyButtonSwitcher::ColumnWidths(int room) const {
  const auto columns = static_cast<size_t>(columns_);
  const int share = room / columns_;
  std::vector<int> widths(columns, share);
  const std::vector<int> needs = ColumnNeeds(font(), kColumnGap);
  if (std::ranges::all_of(needs, [share](int need) { return need <= share; })) return widths;
  // A long text beside short ones: the regular face if the columns can hold it, else the
  // narrow one, else the narrow one without the gap; squeezed further only when none fits.
  const QFont narrow = NarrowFont(font());
  for (const auto& [face, gap] :
       {std::pair{font(), kColumnGap}, std::pair{narrow, kColumnGap}, std::pair{narrow, 0}}) {
    const std::vector<int> wanted = ColumnNeeds(face, gap);
    const int spare = room - std::accumulate(wanted.begin(), wanted.end(), 0);
    if (spare < 0) continue;
    for (size_t c = 0; c < columns; ++c) widths[c] = wanted[c] + spare / columns_;
    return widths;
  }
  return widths;
}

void TRC_PolyButtonSwitcher::LayoutButtons() {
  const int count = ButtonCount();
  if (count == 0) return;
  const QRect content = ContentRect();
  const int w = content.width(), h = content.height();
  const std::vector<int> widths = ColumnWidths(w - 4);
  const int rows = (count + columns_ - 1) / columns_;
  const int rowHeight = h / rows;
  const int leftMargin = (w - 4 - std::accumulate(widths.begin(), widths.end(), 0) + 1) / 2;
  const int topMargin = (h - rows * rowHeight) / 2;
  int left = content.left() + leftMargin;
  for (int i = 0; i < count; ++i) {
    QAbstractButton* button = buttons_[static_cast<size_t>(i)];
    const int columnWidth = widths[static_cast<size_t>(i / rows)];
    button->setGeometry(left, content.top() + topMargin + i % rows * rowHeight, columnWidth, rowHeight);
    button->setFont(FittingFont(font(), button->text(), columnWidth - MarkWidth(*button)));
    button->show();
    if (i % rows == rows - 1) left += columnWidth;
  }
}

int TRC_PolyButtonSwitcher::MarkWidth(const QAbstractButton& button) const {
  if (view_as_button_) return 4;  // the push button's frame
  const QStyle* s = style();
  if (qobject_cast<const QRadioButton*>(&button) != nullptr)
    return s->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, nullptr, &button) +
           s->pixelMetric(QStyle::PM_RadioButtonLabelSpacing, nullptr, &button);
  return s->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, &button) +
         s->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, &button);
}

// ---------------------------------------------------------------------------------------
// Radio family

QAbstractButton* TRC_CustomRadioSwitcher::NewButton() {
  auto* button = new TMyRadioButton(this);
  button->SetViewAsButton(ViewAsButton());
  return button;
}

void TRC_CustomRadioSwitcher::SetItemIndex(int index) {
  index = std::clamp(index, -1, ButtonCount() - 1);
  if (index == item_index_) return;
  item_index_ = index;
  CheckButtons([index](int i) { return i == index; });
}

void TRC_CustomRadioSwitcher::ButtonClicked(int index) {
  item_index_ = index;
  CheckButtons([index](int i) { return i == index; });
  ApplyToHandler();
}

TRC_RadioSwitcher::TRC_RadioSwitcher(QWidget* parent, const TSwitcherFields& fields)
    : TRC_CustomRadioSwitcher(parent) {
  Apply(fields);
}

void TRC_RadioSwitcher::UpdateFromHandler() {
  if (!GetHandler()) return;
  auto& handler = HandlerAs<TRadioSwHandler>("Handler not TRadioSwHandler");
  SetItemIndex(handler.GetIndex());
  SetDisabledMask(handler.GetDisabledMask());
  TRC_Switcher::UpdateFromHandler();
}

void TRC_RadioSwitcher::HandlerBound() {
  CheckButtonCount(HandlerAs<TRadioSwHandler>("Handler not TRadioSwHandler").GetCount());
}

void TRC_RadioSwitcher::ApplyToHandler() {
  if (!GetHandler()) return;
  HandlerAs<TRadioSwHandler>("Handler not TRadioSwHandler")
      .SetIndexBySwitcher(static_cast<uint8_t>(item_index_));
}

TRC_OnOffSwitch::TRC_OnOffSwitch(QWidget* parent, const TSwitcherFields& fields)
    : TRC_CustomRadioSwitcher(parent) {
  resize(width(), 37);
  SetColumns(2);
  SetItems({"On", "Off"});
  Apply(fields);
}

void TRC_OnOffSwitch::UpdateFromHandler() {
  if (!GetHandler()) return;
  SetItemIndex(HandlerAs<TOnOffHandler>("Handler not TOnOffHandler").IsOn() ? 0 : 1);
  TRC_Switcher::UpdateFromHandler();
}

void TRC_OnOffSwitch::ApplyToHandler() {
  if (!GetHandler()) return;
  HandlerAs<TOnOffHandler>("Handler not TOnOffHandler").SetOnBySwitcher(item_index_ == 0);
}

// ---------------------------------------------------------------------------------------
// Check family

QAbstractButton* TRC_CustomCheckSwitcher::NewButton() {
  auto* button = new TMyCheckBox(this);
  button->SetViewAsButton(ViewAsButton());
  tab_button_ = -1;
  return button;
}

void TRC_CustomCheckSwitcher::SetMask(uint32_t mask) {
  if (mask == mask_) return;
  mask_ = mask;
  CheckButtons([mask](int i) { return i < 32 && ((mask >> i) & 1); });
}

void TRC_CustomCheckSwitcher::SetDisabledMask(uint32_t mask) {
  TRC_PolyButtonSwitcher::SetDisabledMask(mask);
  ChooseTabButton(-1);
}

void TRC_CustomCheckSwitcher::ChooseTabButton(int clicked) {
  auto enabled = [this](int i) { return i >= 32 || !((DisabledMask() >> i) & 1); };
  if (tab_button_ < 0 || tab_button_ >= ButtonCount())
    for (int i = 0; i < ButtonCount(); ++i) Button(i)->setFocusPolicy(Qt::ClickFocus);
  int chosen = -1;
  if (clicked >= 0 && enabled(clicked)) {
    chosen = clicked;
  } else if (tab_button_ >= 0 && tab_button_ < ButtonCount() && enabled(tab_button_)) {
    chosen = tab_button_;
  } else {
    for (int i = 0; i < ButtonCount() && chosen < 0; ++i)
      if (enabled(i)) chosen = i;
  }
  if (tab_button_ >= 0 && tab_button_ < ButtonCount() && tab_button_ != chosen)
    Button(tab_button_)->setFocusPolicy(Qt::ClickFocus);
  if (chosen >= 0) Button(chosen)->setFocusPolicy(Qt::StrongFocus);
  tab_button_ = chosen;
}

void TRC_CustomCheckSwitcher::ButtonClicked(int index) {
  item_index_ = index;
  last_checked_ = Button(index)->isChecked();
  ChooseTabButton(index);
  if (index < 32) {
    if (last_checked_)
      mask_ |= 1u << index;
    else
      mask_ &= ~(1u << index);
  }
  ApplyToHandler();
}

TRC_CheckSwitcher::TRC_CheckSwitcher(QWidget* parent, const TSwitcherFields& fields)
    : TRC_CustomCheckSwitcher(parent) {
  Apply(fields);
}

void TRC_CheckSwitcher::UpdateFromHandler() {
  if (!GetHandler()) return;
  auto& handler = HandlerAs<TCheckSwHandler>("Handler not TCheckSwHandler");
  SetMask(handler.GetMask());
  SetDisabledMask(handler.GetDisabledMask());
  TRC_Switcher::UpdateFromHandler();
}

void TRC_CheckSwitcher::HandlerBound() {
  CheckButtonCount(HandlerAs<TCheckSwHandler>("Handler not TCheckSwHandler").GetCount());
}

void TRC_CheckSwitcher::ApplyToHandler() {
  if (!GetHandler()) return;
  HandlerAs<TCheckSwHandler>("Handler not TCheckSwHandler").SetButtonBySwitcher(item_index_, LastChecked());
}

TRC_OnOffCheckSwitcher::TRC_OnOffCheckSwitcher(QWidget* parent, const TSwitcherFields& fields)
    : TRC_CustomCheckSwitcher(parent) {
  resize(21, 18);
  SetWithHot(false);
  SetItems({"  On"});
  Apply(fields);
}

void TRC_OnOffCheckSwitcher::SetButtomsCaption(const QString& caption) {
  QStringList items = Items();
  if (items.isEmpty())
    items << caption;
  else
    items[0] = caption;
  SetItems(items);
}

void TRC_OnOffCheckSwitcher::UpdateFromHandler() {
  if (!GetHandler()) return;
  SetMask(HandlerAs<TOnOffHandler>("Handler not TOnOffHandler").IsOn() ? 1 : 0);
  TRC_Switcher::UpdateFromHandler();
}

void TRC_OnOffCheckSwitcher::ApplyToHandler() {
  if (!GetHandler()) return;
  HandlerAs<TOnOffHandler>("Handler not TOnOffHandler").SetOnBySwitcher(Mask() & 1);
}

}  // namespace norv
