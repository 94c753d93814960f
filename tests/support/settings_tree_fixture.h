#pragma once
// A fresh program state with a fresh settings tree (and no undo ring) for each test, and a
// control stand-in that records what its handler tells it. Derive a fixture from
// SettingsTreeTest, register the items under test on RootSpider in SetUp, and drive them
// with Exec("PATH VALUE") or the handlers' setters.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <string_view>

#include "framework/settings/choice_handlers.h"
#include "framework/settings/handler.h"
#include "framework/settings/program_objects.h"
#include "framework/settings/settings_tree.h"
#include "framework/settings/undo_ring.h"
#include "support/assertion_text.h"

namespace norv::test {

class SettingsTreeTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetAll(); }
  // The tree goes while the fixture's controls still stand.
  void TearDown() override { FreshProgramState(); }

  static void ResetAll() {
    FreshProgramState();
    CreateRootSpider();
  }

  static std::string Exec(std::string_view line, bool replay = false) {
    return RootSpider->ExecCommandLine(line, replay);
  }

  // A ring that records from now on.
  static void StartUndo() {
    UndoBuffer = std::make_unique<TUndoBuffer>();
    UndoBuffer->Enabled = true;
  }
};

class TRecordingSwitcher : public ISwitcher {
 public:
  int updates = 0;
  THandler* handler = nullptr;
  std::function<void()> onUpdate;
  std::function<void()> onReplaced;  // runs when the handler goes away or is replaced

  void Bind(THandler* h) {
    handler = h;
    h->RegisterSwitcher(this);
  }
  void UpdateFromHandler() override {
    ++updates;
    if (onUpdate) onUpdate();
  }
  void HandlerReplaced(THandler* replacement) override {
    handler = replacement;
    if (onReplaced) onReplaced();
  }
};

}  // namespace norv::test
