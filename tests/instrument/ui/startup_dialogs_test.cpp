// The start-up questions: which dialog each failed attempt shows, what it offers, and the
// answer of each button.

#include "instrument/ui/startup_dialogs.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>

#include "instrument/link/link_hooks.h"
#include "instrument/ui/splash.h"
#include "support/qt/qt_harness.h"

namespace norv::test {
namespace {

using enum TStartupAnswer;

TEST(StartupDialogsTest, EachAttemptOffersItsAnswers) {
  struct Case {
    TStartupOffer offer;
    const char* dialog;
    std::vector<TStartupAnswer> enabled, absent;
  };
  const Case cases[] = {
      {{.Attempt = 1, .Retry = true, .Demo = true}, "Dialog1", {Retry, Demo, WithoutInstrument, Exit}, {}},
      {{.Attempt = 1, .Retry = false, .Demo = false}, "Dialog1", {WithoutInstrument, Exit}, {}},
      {{.Attempt = 2, .Retry = true}, "Dialog2", {Retry, WithoutInstrument, Exit}, {Demo}},
      // The last notice also lets the user go on without an instrument.
      {{.Attempt = 3}, "Dialog3", {WithoutInstrument, Exit}, {Retry, Demo}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.dialog);
    for (TStartupAnswer answer : {Retry, Demo, WithoutInstrument, Exit}) {
      TStartupDialog dialog(c.offer);
      EXPECT_EQ(dialog.objectName(), c.dialog);
      QPushButton* button = dialog.ButtonOf(answer);
      const bool offered = std::ranges::count(c.enabled, answer) > 0;
      if (std::ranges::count(c.absent, answer)) {
        EXPECT_EQ(button, nullptr);
        continue;
      }
      ASSERT_NE(button, nullptr);
      EXPECT_EQ(button->isEnabled(), offered);
      if (!offered) continue;
      dialog.show();
      Click(button, button->rect().center());
      EXPECT_EQ(dialog.Answer(), answer);
      EXPECT_EQ(dialog.result(), answer == Exit ? QDialog::Rejected : QDialog::Accepted);
    }
  }
}

TEST(StartupDialogsTest, SplashShowsTheStatusTextsOnlyWhileItStands) {
  SetSplashStatus("before");  // no splash: nothing
  ShowSplash("1.2.3.4");
  ASSERT_NE(SplashForm(), nullptr);
  QLabel* status = SplashForm()->StatusLabel();
  EXPECT_EQ(status->text(), "Initializing...");
  LinkHooks.SplashStatus("Looking for the instrument");
  EXPECT_EQ(status->text(), "Looking for the instrument");
  // White inside a black border.
  EXPECT_EQ(PixelOf(SplashForm(), 0, 0), QColor(Qt::black));
  EXPECT_EQ(PixelOf(SplashForm(), 3, 3), QColor(Qt::white));
  MaybeWritePng(Grab(SplashForm()), "splash");
  FreeSplash();
  EXPECT_EQ(SplashForm(), nullptr);
  LinkHooks.SplashStatus("after");
  SetSplashStatus("after");
}

}  // namespace
}  // namespace norv::test
