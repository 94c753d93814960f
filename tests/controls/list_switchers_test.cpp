// Drop-down choices: keys skip disabled entries, the source list follows the traces shown
// and their colours.

#include "controls/list_switchers.h"

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QStyleOptionViewItem>

#include "controls_fixture.h"

namespace norv::test {
namespace {

const char* kSources = "Ch1,Ch1B2,Ch2,Ch2B2,F1,F2,F3,F4,M1,M2,M3,M4,S1,S2,XY,DB,Hist,Const,None";

class ListSwitchersTest : public ControlsTest {};

TEST_F(ListSwitchersTest, KeysSkipDisabledEntriesAndNeverLeaveThemAll) {
  auto* mode = RootSpider->AddRadioSw(1, "Acq:Mode", "A,B,C,D,E,F");
  auto* list =
      new TRC_ListBoxSwitcher(&window, {.Mnemonics = "Acq:Mode", .Items = {"A", "B", "C", "D", "E", "F"}});
  list->RegisterInHandler(true);
  TColorComboBox* box = list->ListBox();
  struct Case {
    uint32_t disabled;
    int from;
    int key;
    int to;
  };
  for (const Case& c : {
           Case{0b001100, 1, Qt::Key_Down, 4},
           {0b001100, 4, Qt::Key_Up, 1},
           {0b111100, 1, Qt::Key_Down, 1},  // nothing enabled below: it stays
           {0b111111, 1, Qt::Key_Down, 1},  // nothing enabled at all: it stays too
           {0b111111, 1, Qt::Key_Up, 1},
       }) {
    mode->SetIndexByProgram(static_cast<uint8_t>(c.from));
    mode->SetDisabledMask(c.disabled);
    PressKey(box, c.key);
    EXPECT_EQ(mode->GetIndex(), c.to) << c.disabled << " from " << c.from;
    EXPECT_EQ(list->ItemIndex(), c.to) << c.disabled << " from " << c.from;
  }
  box->FitDropDownCount(8);
  EXPECT_EQ(box->maxVisibleItems(), 1);  // an empty list still opens one row high

  // The list's colours reach the first 41 slots only.
  box->SetItemBackColor(45, Qt::green);
  list->SetFonColor(Qt::blue);
  EXPECT_EQ(box->ItemBackColor(40), QColor(Qt::blue));
  EXPECT_EQ(box->ItemBackColor(45), QColor(Qt::green));
}

TEST_F(ListSwitchersTest, SourcesFollowTheTracesShownAndTheirColours) {
  std::array<std::string, kSourceNameCount> names;
  for (int i = 0; i < kSourceNameCount; ++i) names[static_cast<size_t>(i)] = "T" + std::to_string(i);
  InstallSourceNames(
      names, [](int source) { return 0x010203u * static_cast<uint32_t>(source + 1); }, 0x202020);
  auto* source = RootSpider->AddSignalSourceSw(0, "Meas:Source", kSources, 0);
  auto* list = new TRC_SignalSourceSwitcher(&window, {.Mnemonics = "Meas:Source", .Caption = "Source"});
  list->RegisterInHandler(true);
  TColorComboBox* box = list->ListBox();
  ASSERT_EQ(box->count(), kSourceNameCount);
  EXPECT_EQ(box->itemText(17), "T17");

  // Only Ch1, Ch2, Hist and Const are shown at the start: the other rows take no room.
  auto rowHeight = [&](int row) {
    return box->itemDelegate()->sizeHint(QStyleOptionViewItem(), box->model()->index(row, 0)).height();
  };
  EXPECT_EQ(rowHeight(1), 0);
  EXPECT_EQ(rowHeight(2), box->height() - 6);
  EXPECT_EQ(box->maxVisibleItems(), 4);
  PressKey(box, Qt::Key_Down);
  EXPECT_EQ(source->GetSource(), TTraceId::Ch2);
  SignalsOn.SetOn(TTraceId::M1, true);
  EXPECT_GT(rowHeight(8), 0);
  EXPECT_EQ(box->maxVisibleItems(), 5);
  PressKey(box, Qt::Key_Down);
  EXPECT_EQ(source->GetSource(), TTraceId::M1);

  // Each entry in its trace's colour on the screen colour; the last one yellow on red.
  EXPECT_EQ(box->ItemTextColor(8), ColorFromBgr(0x010203u * 9));
  EXPECT_EQ(box->ItemBackColor(8), ColorFromBgr(0x202020));
  EXPECT_EQ(box->ItemTextColor(17), QColor(255, 255, 0));
  EXPECT_EQ(box->ItemBackColor(17), QColor(255, 0, 0));
  // The closed list shows the chosen entry in its colours, grey when disabled.
  const QPoint field = box->rect().center() - QPoint(10, 0);
  EXPECT_EQ(PixelOf(box, field.x(), field.y()), ColorFromBgr(0x202020));
  source->SetDisabled(true);
  EXPECT_FALSE(box->isEnabled());
  EXPECT_EQ(PixelOf(box, field.x(), field.y()), QColor(192, 192, 192));
}

}  // namespace
}  // namespace norv::test
