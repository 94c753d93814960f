// Numeric settings on screen: arrows with auto-repeat on the fake timer, keys, typed
// entry, the pop-up menu, and the value box as it is painted.

#include "controls/edit_switchers.h"

#include <gtest/gtest.h>

#include <QAction>

#include "controls_fixture.h"

namespace norv::test {
namespace {

class EditSwitchersTest : public ControlsTest {
 protected:
  void SetUp() override {
    ControlsTest::SetUp();
    count = RootSpider->AddIntEdit({.Path = "Acq:NAcq",
                                    .Min = 0,
                                    .Mid = 500,
                                    .Max = 1000,
                                    .CoarseRule = srLinear,
                                    .CoarseStep = 10,
                                    .FineRule = srLinear,
                                    .FineStep = 1});
    rate = RootSpider->AddDoubleEdit({.Path = "Tb:Rate",
                                      .Value = 3,
                                      .Unit = "Hz",
                                      .Min = 0,
                                      .Mid = 1e3,
                                      .Max = 1e9,
                                      .CoarseRule = srLinear,
                                      .CoarseStep = 1,
                                      .Tolerance = 1e-15});
  }
  TRC_EditSwitcher* NewEdit(const char* path, TSwitcherFields fields = {}) {
    fields.Mnemonics = path;
    auto* edit = new TRC_EditSwitcher(&window, fields);
    edit->RegisterInHandler(true);
    return edit;
  }
  void TriggerMenu(TRC_EditSwitcher* edit, const char* name) {
    edit->PopupMenu()->findChild<QAction*>(name)->trigger();
  }

  TIntEditHandler* count = nullptr;
  TDoubleEditHandler* rate = nullptr;
};

TEST_F(EditSwitchersTest, ArrowsStepAndRepeatOnTheTimerKeysStepAndJump) {
  TRC_EditSwitcher* edit = NewEdit("Acq:NAcq");
  window.ShowActive();
  const QRect up = edit->ArrowRect(0);
  // Arrow zones of a 103 x 49 edit, by hand: the value box ends at 2 + 103 - 30 = 75, its
  // inside at 74; zones from 74 + 3 to 101 - 4, 11 high from 18 + 3, the down zone 12 lower.
  EXPECT_EQ(up, QRect(QPoint(77, 21), QPoint(97, 32)));
  EXPECT_EQ(edit->ArrowRect(1), QRect(QPoint(77, 33), QPoint(97, 44)));

  MousePress(edit, up.center());
  EXPECT_EQ(count->Value(), 10);
  EXPECT_EQ(PixelOf(edit, up.left(), up.top()), Sys(TSysColor::BtnShadow));  // drawn pressed
  clock.Advance(249);
  EXPECT_EQ(count->Value(), 10);
  clock.Advance(1);
  EXPECT_EQ(count->Value(), 20);  // 250 ms after the press
  clock.Advance(120);
  EXPECT_EQ(count->Value(), 50);  // then every 40 ms
  MouseMove(edit, {20, 30});      // off the arrow: paused
  EXPECT_EQ(PixelOf(edit, up.left(), up.top()), Sys(TSysColor::BtnHighlight));
  clock.Advance(200);
  EXPECT_EQ(count->Value(), 50);
  MouseMove(edit, up.center());  // back: going on
  clock.Advance(40);
  EXPECT_EQ(count->Value(), 60);
  MouseRelease(edit, up.center());
  clock.Advance(500);
  EXPECT_EQ(count->Value(), 60);
  Click(edit, edit->ArrowRect(1).bottomRight());  // the zone's edge is inside
  EXPECT_EQ(count->Value(), 50);

  // Up and Down step coarse, Left and Right fine; a held key repeats; End, Home and the
  // page keys jump to Min, Max and Mid.
  struct Step {
    int key;
    int value;
    bool fine;
  };
  for (const Step& s : {Step{Qt::Key_Up, 60, false},
                        {Qt::Key_Left, 59, true},
                        {Qt::Key_Right, 60, true},
                        {Qt::Key_Down, 50, false},
                        {Qt::Key_End, 0, false},
                        {Qt::Key_Home, 1000, false},
                        {Qt::Key_PageUp, 500, false},
                        {Qt::Key_PageDown, 500, false}}) {
    PressKey(edit, s.key);
    EXPECT_EQ(count->Value(), s.value) << s.key;
    EXPECT_EQ(edit->Fine(), s.fine) << s.key;
  }
  KeyDown(edit, Qt::Key_Up);
  KeyDown(edit, Qt::Key_Up, {}, true);
  KeyUp(edit, Qt::Key_Up);
  EXPECT_EQ(count->Value(), 520);

  // Without a fine step Left steps down coarse, and the menu offers no Fine.
  TRC_EditSwitcher* coarse = NewEdit("Tb:Rate");
  PressKey(coarse, Qt::Key_Left);
  EXPECT_DOUBLE_EQ(rate->Value(), 2);
  EXPECT_FALSE(coarse->Fine());
  EXPECT_FALSE(coarse->PopupMenu()->findChild<QAction*>("Fine")->isEnabled());
}

TEST_F(EditSwitchersTest, TypedEntry) {
  TRC_EditSwitcher* edit = NewEdit("Tb:Rate");
  struct Case {
    const char* keys;
    double value;       // afterwards
    const char* typed;  // still typed; nullptr: typing ended
    int beeps;
  };
  for (const Case& c : {
           Case{"100n", 100e-9, nullptr, 0},  // a prefix letter commits at once
           {"2a", 2e6, nullptr, 0},
           {"5\r", 5, nullptr, 0},
           {"1x", 1, nullptr, 0},             // x acts as Enter
           {"2.5 MEG\r", 2.5e6, nullptr, 0},  // a blank opens a prefix word, read as commands read it
           {"2.5 k\r", 2.5e3, nullptr, 0},
           {"MAX\r", 1e9, nullptr, 0},  // the limits by name
           {"mid\r", 1e3, nullptr, 0},
           {"1q", 3, "1", 0},         // q is ignored
           {"1-", 3, "1", 1},         // no number goes on like that
           {"-\r", 3, "-", 0},        // an unfinished number is not committed
           {"M\r", 3, "M", 1},        // nor a word that is no number
           {"7\b\r", 3, nullptr, 0},  // rubbed out: Enter ends without a change
           {"4\x1b", 3, nullptr, 0},  // Escape ends without a change
       }) {
    rate->SetValueByProgram(3);
    beeps = 0;
    TypeText(edit, c.keys);
    EXPECT_DOUBLE_EQ(rate->Value(), c.value) << c.keys;
    EXPECT_EQ(edit->IsTyping(), c.typed != nullptr) << c.keys;
    EXPECT_EQ(edit->TypedText(), c.typed ? c.typed : "") << c.keys;
    EXPECT_EQ(beeps, c.beeps) << c.keys;
    // Typing shows black on white, the value its handler's colours (white on black).
    const QPoint probe = edit->ValueRect().bottomRight() - QPoint(1, 1);
    EXPECT_EQ(PixelOf(edit, probe.x(), probe.y()), c.typed ? QColor(Qt::white) : QColor(Qt::black)) << c.keys;
    PressKey(edit, Qt::Key_Delete);  // ends any typing without a change
  }
  // The keypad's keys: z rubs out, y escapes.
  EXPECT_TRUE(edit->KeyInput('9'));
  EXPECT_TRUE(edit->KeyInput('z'));
  EXPECT_EQ(edit->TypedText(), "");
  EXPECT_FALSE(edit->KeyInput('y'));
}

TEST_F(EditSwitchersTest, ValueTextKeypadMenuAndWideBoxes) {
  TRC_EditSwitcher* edit = NewEdit("Tb:Rate");
  auto* label = new TRC_LabelSwitcher(&window, {.Mnemonics = "Tb:Rate"});
  label->RegisterInHandler(true);
  const QImage before = Grab(label);
  Exec("TB:RATE 2.5K");
  EXPECT_EQ(edit->ValueText(), "2.5 kHz");
  EXPECT_EQ(label->ValueText(), "2.5 kHz");
  EXPECT_NE(Grab(label), before);
  rate->SetOnGetText([](const TEditHandler&, std::string& text, double) { text = "1.5 MEG"; });
  EXPECT_EQ(label->ValueText(), "1.5 M");

  // The keypad opens on a click on the value, not on an arrow, nor for a negative tag;
  // the menu opens it too, and sets the limits and the fine mode.
  std::vector<TRC_EditSwitcher*> keypad;
  ControlsState.EditKeypadHook.Set([&](TRC_EditSwitcher& e) { keypad.push_back(&e); });
  window.ShowActive();
  Click(edit, edit->ValueRect().center());
  Click(edit, edit->ArrowRect(0).center());
  edit->Tag = -1;
  Click(edit, edit->ValueRect().center());
  TriggerMenu(edit, "Calc");
  EXPECT_EQ(keypad, (std::vector<TRC_EditSwitcher*>{edit, edit}));
  for (const auto& [item, value] :
       std::vector<std::pair<const char*, double>>{{"Max", 1e9}, {"Min", 0}, {"Mid", 1e3}}) {
    TriggerMenu(edit, item);
    EXPECT_DOUBLE_EQ(rate->Value(), value) << item;
  }
  TRC_EditSwitcher* fine = NewEdit("Acq:NAcq");
  TriggerMenu(fine, "Fine");
  EXPECT_TRUE(fine->Fine());

  // Boxes of wide switchers reach their right edge: a label's at width - 23, an edit's at
  // width - 30, from the content's left edge 2 (the sunken frame's last column is light).
  for (auto* wide : {static_cast<TRC_LabelSwitcher*>(new TRC_LabelSwitcher(&window, {.Width = 300})),
                     static_cast<TRC_LabelSwitcher*>(new TRC_EditSwitcher(&window, {.Width = 400}))}) {
    const int lastColumn = 2 + wide->width() - (dynamic_cast<TRC_EditSwitcher*>(wide) ? 30 : 23) - 1;
    EXPECT_EQ(wide->ValueRect().right(), lastColumn - 1);
    EXPECT_EQ(PixelOf(wide, lastColumn, 30), Sys(TSysColor::BtnHighlight)) << wide->width();
    EXPECT_EQ(PixelOf(wide, lastColumn + 1, 30), Sys(TSysColor::BtnFace)) << wide->width();
  }
}

}  // namespace
}  // namespace norv::test
