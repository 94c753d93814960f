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

TEST_F(AdjustAccessFormTest, ThreeAttemptsAWayOutWithoutCostThenOnlyABeep) {
  struct Case {
    const char* name;
    std::vector<const char*> codes;  // nullptr: Cancel
    bool granted;
    std::vector<bool> openAfter;
    int beepsAfter;  // by a further request
  };
  const Case cases[] = {
      // The first code with its letters in lower case is wrong.
      {"three wrong codes", {"kr4-62m", "Zolbrink2", "nothing"}, false, {true, true, false}, 1},
      {"right at the third attempt", {"a", "b", "Zolbrink"}, true, {true, true, false}, 0},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    ResetAdjustAccess();
    beeps = 0;
    std::vector<bool> open;
    EXPECT_EQ(Request([&](TAdjustAccess& d) {
                for (const char* code : k.codes) open.push_back(Attempt(d, code));
              }),
              k.granted);
    EXPECT_TRUE(opened);
    EXPECT_FALSE(stillOpen);
    EXPECT_EQ(open, k.openAfter);
    EXPECT_EQ(Request([](TAdjustAccess&) {}), k.granted);
    EXPECT_FALSE(opened) << "granted, or the attempts used up: no dialog";
    EXPECT_EQ(beeps, k.beepsAfter);
  }
  // Two wrong codes and Cancel leave one attempt, and it decides.
  ResetAdjustAccess();
  EXPECT_FALSE(Request([](TAdjustAccess& d) {
    EXPECT_TRUE(Attempt(d, "abc"));
    EXPECT_TRUE(Attempt(d, "def"));
    Click(d.CancBtn(), d.CancBtn()->rect().center());
  }));
  EXPECT_FALSE(stillOpen);
  EXPECT_TRUE(Request([](TAdjustAccess& d) { EXPECT_FALSE(Attempt(d, "KR4-62M")); }));
  EXPECT_TRUE(opened);
}

}  // namespace
}  // namespace norv::test
