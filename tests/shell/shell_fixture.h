#pragma once
// The program's units without a window, on a fake clock: the settings of every unit that
// exists registered in the program's order, the demo instrument, and the shell's questions
// answered from a script and recorded.

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "framework/settings/program_objects.h"
#include "framework/settings/settings_tree.h"
#include "instrument/link/link_state.h"
#include "shell/program_dispatch.h"
#include "shell/program_shell.h"
#include "shell/shell_state.h"
#include "support/fake_clock.h"
#include "support/temp_home.h"

namespace norv::test {

class ShellTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FreshProgramState();
    saved_home_ = std::getenv("VEXILOR_NORV_HOME");
    setenv("VEXILOR_NORV_HOME", MakeTempDir("shell").c_str(), 1);
    SetProgramClock(clock);
    PrepareProgramUnits(clock, clock);
    CurrentInstrumentName = kDemoInstrument;
    LinkKind = TLinkKind::Demo;
    RegisterAllCommandsAtStart();
    ShellHooks.Ask.Set([this](const std::string& text, TQuestion, TAnswer defaultAnswer) {
      asked.push_back(text);
      if (answers.empty()) return defaultAnswer;
      const TAnswer a = answers.front();
      answers.pop_front();
      return a;
    });
    ShellHooks.Log.Set([this](const std::string& text) { logged.push_back(text); });
  }
  void TearDown() override {
    FreshProgramState();
    SetProgramClock(SystemClock());
    setenv("VEXILOR_NORV_HOME", saved_home_.c_str(), 1);
  }

  FakeClock clock;
  std::deque<TAnswer> answers;
  std::vector<std::string> asked;
  std::vector<std::string> logged;
  std::string saved_home_;
};

}  // namespace norv::test
