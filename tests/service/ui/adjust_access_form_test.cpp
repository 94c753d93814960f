// The adjustment access dialog driven through its widgets: three attempts, a masked field
// that empties after each, Cancel that costs no attempt, then only a beep.

#include "service/ui/adjust_access_form.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <functional>
#include <string>
#include <vector>

#include "controls/controls_state.h"
#include "framework/settings/program_objects.h"
#include "service/adjust_access.h"
#include "support/qt/qt_harness.h"

namespace norv::test {
namespace {

class AdjustAccessFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FreshProgramState();
    ControlsState.OnBeep.Set([this] { ++beeps; });
  }
  void TearDown() override {
    ControlsState.OnBeep.Reset();
    FreshProgramState();
  }

  // ShowAdjustAccess, with `user` acting on the dialog once it is open (not called when
  // none opens).
  bool Request(const std::function<void(TAdjustAccess&)>& user) {
    opened = false;
    QTimer::singleShot(0, [&] {
      auto* dialog = qobject_cast<TAdjustAccess*>(QApplication::activeModalWidget());
      if (!dialog) return;
      opened = true;
      MaybeWritePng(Grab(dialog), "AdjustAccess");
      user(*dialog);
      // A dialog the user left open is closed, so that the test goes on.
      if (dialog->isVisible()) {
        stillOpen = true;
        dialog->reject();
      }
    });
    const bool granted = ShowAdjustAccess();
    QApplication::processEvents();
    return granted;
  }
  // Types the code and presses OK; true when the dialog stays open with an empty field.
  static bool Attempt(TAdjustAccess& dialog, const QString& code) {
    dialog.PassEnter()->clear();
    TypeText(dialog.PassEnter(), code);
    EXPECT_EQ(dialog.PassEnter()->displayText(), QString(code.size(), '*'));
    Click(dialog.OKBtn(), dialog.OKBtn()->rect().center());
    return dialog.isVisible() && dialog.PassEnter()->text().isEmpty();
  }

  int beeps = 0;
  bool opened = false;
  bool stillOpen = false;
};

TEST_F(AdjustAccessFormTest, ThreeWrongCodesCloseTheDialogAndLaterRequestsOnlyBeep) {
  std::vector<bool> open;
  EXPECT_FALSE(Request([&](TAdjustAccess& d) {
    for (const char* code : {"kr4-62m", "Zolbrink2", "nothing"}) open.push_back(Attempt(d, code));
  }));
  EXPECT_TRUE(opened);
  EXPECT_EQ(open, (std::vector<bool>{true, true, false}));
  EXPECT_FALSE(stillOpen);
  EXPECT_EQ(beeps, 0);
  for (int request = 1; request <= 2; ++request) {
    EXPECT_FALSE(Request([](TAdjustAccess&) {}));
    EXPECT_FALSE(opened) << "no dialog once the attempts are used up";
    EXPECT_EQ(beeps, request);
  }
}

TEST_F(AdjustAccessFormTest, CancelCostsNoAttemptAndTheLastAttemptDecides) {
  // Two wrong codes, then Cancel.
  EXPECT_FALSE(Request([](TAdjustAccess& d) {
    EXPECT_TRUE(Attempt(d, "abc"));
    EXPECT_TRUE(Attempt(d, "def"));
    Click(d.CancBtn(), d.CancBtn()->rect().center());
  }));
  EXPECT_TRUE(opened);
  EXPECT_FALSE(stillOpen);
  EXPECT_EQ(AdjustAccess().Attempts, 2);
  // The third attempt, with the right code, grants access and closes the dialog.
  EXPECT_TRUE(Request([](TAdjustAccess& d) { EXPECT_FALSE(Attempt(d, "KR4-62M")); }));
  EXPECT_TRUE(opened);
  // From now on the request is granted at once, without a dialog or a beep.
  EXPECT_TRUE(Request([](TAdjustAccess&) {}));
  EXPECT_FALSE(opened);
  EXPECT_EQ(beeps, 0);
}

}  // namespace
}  // namespace norv::test
