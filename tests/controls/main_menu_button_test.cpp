// The main-menu button's states and how it paints them.

#include "controls/main_menu_button.h"

#include <gtest/gtest.h>

#include "controls_fixture.h"

namespace norv::test {
namespace {

TEST(MainMenuButton, SidesSwitchIndependently) {
  TestWindow window;
  TButtonOfMainMenu button(&window, "Trigger");
  struct Case {
    TButtonOfMainMenuState from;
    bool left;  // else right
    bool on;
    TButtonOfMainMenuState to;
  };
  for (const Case& c : {
           Case{bmmsOff, true, true, bmmsLeft},
           {bmmsRight, true, true, bmmsBoth},
           {bmmsLeft, true, false, bmmsOff},
           {bmmsBoth, true, false, bmmsRight},
           {bmmsLeft, true, true, bmmsLeft},
           {bmmsOff, true, false, bmmsOff},
           {bmmsOff, false, true, bmmsRight},
           {bmmsLeft, false, true, bmmsBoth},
           {bmmsRight, false, false, bmmsOff},
           {bmmsBoth, false, false, bmmsLeft},
           {bmmsRight, false, true, bmmsRight},
           {bmmsLeft, false, false, bmmsLeft},
       }) {
    button.SetState(c.from);
    c.left ? button.SetLeftMenuOn(c.on) : button.SetRightMenuOn(c.on);
    EXPECT_EQ(button.State(), c.to) << c.from << (c.left ? " left " : " right ") << c.on;
  }
  EXPECT_TRUE(button.LeftMenuOn() && !button.RightMenuOn());
}

TEST(MainMenuButton, PaintsItsStateFramedWithBluntCorners) {
  TestWindow window;
  TButtonOfMainMenu button(&window, "Trigger");
  const QColor grey(128, 128, 128);
  const QRect face(2, 3, 70, 17);
  for (const auto& [state, colour] :
       std::vector<std::pair<TButtonOfMainMenuState, QColor>>{{bmmsOff, {208, 208, 208}},
                                                              {bmmsLeft, {255, 255, 179}},
                                                              {bmmsRight, {202, 251, 187}},
                                                              {bmmsBoth, {204, 255, 255}}}) {
    button.SetState(state);
    const QImage image = Grab(&button);
    EXPECT_EQ(image.pixelColor(2, 3), colour) << state;
    EXPECT_EQ(image.pixelColor(0, 10), grey);  // frame
    for (const QPoint& p : {QPoint(1, 1), QPoint(1, 2), QPoint(72, 21), QPoint(72, 20)})
      EXPECT_EQ(image.pixelColor(p), grey) << p.x() << "," << p.y();
    EXPECT_GT(CountPixels(image, face, Qt::black), 0);  // the caption
  }
  button.setEnabled(false);
  const QImage image = Grab(&button);
  EXPECT_EQ(image.pixelColor(2, 3), QColor(192, 192, 192));
  EXPECT_EQ(CountPixels(image, face, Qt::black), 0);
  EXPECT_GT(CountPixels(image, face, grey), 0);
  EXPECT_FALSE(button.LeftMenuOn() || button.RightMenuOn());
  button.setEnabled(true);
  EXPECT_EQ(PixelOf(&button, 2, 3), QColor(204, 255, 255));
  EXPECT_TRUE(button.LeftMenuOn() && button.RightMenuOn());
}

}  // namespace
}  // namespace norv::test
