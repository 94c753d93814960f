#pragma once
// A fresh settings tree, a shown window for the controls, the fake clock behind the
// arrows' auto-repeat, and a record of beeps and of failures inside control events.

#include <QApplication>
#include <string>
#include <vector>

#include "controls/controls_state.h"
#include "controls/look.h"
#include "framework/settings/numeric_handlers.h"
#include "support/fake_clock.h"
#include "support/qt/qt_harness.h"
#include "support/settings_tree_fixture.h"

namespace norv::test {

class ControlsTest : public SettingsTreeTest {
 protected:
  void SetUp() override {
    SettingsTreeTest::SetUp();
    ControlsState.TimerFactory = &clock;
    ControlsState.OnBeep.Set([this] { ++beeps; });
    ControlsState.OnException.Set([this](const std::string& text) { failures.push_back(text); });
  }

  // As 8-bit RGB, the way pixels read back.
  static QColor Sys(TSysColor colour) { return QColor(SysColor(QApplication::palette(), colour).rgb()); }

  FakeClock clock;  // outlives the window, whose edits hold its timers
  TestWindow window;
  int beeps = 0;
  std::vector<std::string> failures;
};

}  // namespace norv::test
