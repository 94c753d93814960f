// The start-up questions: which dialog each failed attempt shows, what it offers, and the
// answer of each button.

#include "instrument/ui/startup_dialogs.h"

#include <gtest/gtest.h>

#include <QPushButton>

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

}  // namespace
}  // namespace norv::test
