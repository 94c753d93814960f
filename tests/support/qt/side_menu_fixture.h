#pragma once
// A side menu as the program opens it: every unit registered and applied, the trace names
// installed as source names, the menus hosted by a test window. A test registers its pages
// in RegisterPages and opens them on the right panel.

#include <QCoreApplication>
#include <string>
#include <vector>

#include "controls/controls_state.h"
#include "controls/menu_pages.h"
#include "controls/side_menu.h"
#include "framework/settings/numeric_handlers.h"
#include "framework/traces/trace_names.h"
#include "support/every_unit.h"
#include "support/fake_clock.h"
#include "support/qt/qt_harness.h"
#include "support/settings_tree_fixture.h"

namespace norv::test {

class SideMenuPageTest : public SettingsTreeTest {
 protected:
  virtual void RegisterPages() = 0;

  void SetUp() override {
    FreshProgramState();
    RegisterEveryUnit();
    ApplyEveryUnit();
    ControlsState.TimerFactory = &clock;
    ControlsState.OnException.Set([this](const std::string& text) { failures.push_back(text); });
    for (int i = 0; i < kSourceNameCount; ++i)
      TraceNames[static_cast<size_t>(i)] = GetTraceShortName(static_cast<TTraceId>(i));
    InstallTraceSourceNames();
    Exec("Header Off");
    SetSideMenuHost(&window);
    RegisterPages();
    window.ShowActive();
  }
  void TearDown() override {
    ShowSideMenu(kNoMenu, kRightPanel);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(failures.empty()) << failures.front();
    SettingsTreeTest::TearDown();
  }

  static TDeclaredSideMenu& Open(int id) {
    EXPECT_TRUE(ShowSideMenu(id, kRightPanel));
    return *static_cast<TDeclaredSideMenu*>(SideMenuForms[kRightPanel].data());
  }
  // A click on the button's mark (a radio button takes clicks on its mark and text only).
  static void Choose(TRC_PolyButtonSwitcher& s, int button) {
    Click(s.Button(button), QPoint(8, s.Button(button)->height() / 2));
  }
  static void Up(TRC_EditSwitcher& e) { Click(&e, e.ArrowRect(0).center()); }
  static THandler* Node(const std::string& path) { return RootSpider->FindHandler(path); }
  static double Value(const char* path) { return dynamic_cast<TEditHandler&>(*Node(path)).GetValue(); }
  static void Picture(TDeclaredSideMenu& menu, const std::string& name) { MaybeWritePng(Grab(&menu), name); }

  FakeClock clock;
  TestWindow window;
  std::vector<std::string> failures;
};

}  // namespace norv::test
