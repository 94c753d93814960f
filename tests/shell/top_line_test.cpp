// The status line above the screens as the program fills it: every cell follows its
// setting when a command changes it, the run state counts the acquisitions made, and a
// line hidden by a low panel comes back whole. Cells are read from the line's picture.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "display/display_test_support.h"
#include "display/scope_crt.h"
#include "framework/settings/undo_ring.h"
#include "framework/traces/display_sources.h"
#include "instrument/acquisition/acquisition_cycle.h"
#include "instrument/acquisition/acquisition_state.h"
#include "shell/remote/remote_control.h"
#include "shell/screen_wiring.h"
#include "shell/shell_fixture.h"

namespace norv::test {
namespace {

constexpr TColorRef kWhite = 0xFFFFFF;

class TopLineTest : public ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    ScopeCRT = std::make_unique<TScopeCRT>(&font, &clock, clock);
    ConnectTopText();
    PlaceWithHeight(504);  // panel 800 x 500: the line has room
    ExecCommand("Header Off");
  }
  static void PlaceWithHeight(int height) { ScopeCRT->PlaceScreen(0, 0, height, 804); }
  static TCellText Cell(int column, int line) {
    return ReadCell(ScopeCRT->TopText(), TVerhText::GetTopTextCellRect(column, line));
  }
  static bool FitIconDrawn() {
    const TVerhText& top = ScopeCRT->TopText();
    for (int y = TVerhText::kIconTop; y < TVerhText::kIconTop + TVerhText::kIconSize; ++y)
      for (int x = TVerhText::kIconLeft; x < TVerhText::kIconLeft + TVerhText::kIconSize; ++x)
        if (top.Image().Pixel(x, y) != top.Color()) return true;
    return false;
  }
  TReadableFont font;
};

TEST_F(TopLineTest, EveryCellFollowsItsSetting) {
  GuiReady = true;  // a locked style spreads to every trace only once the start is over
  UndoBuffer = std::make_unique<TUndoBuffer>();
  UndoBuffer->Enabled = true;
  const TColorRef ch1 = GetDisplaySourceRGB(TTraceId::Ch1), ch2 = GetDisplaySourceRGB(TTraceId::Ch2);
  // Rate: 2048 points over 10.24 divisions of 10 ns are 2048 / 102.4 ns = 20 GSa/s.
  struct Case {
    const char* commands[3];
    int column, line;
    std::string text;
    TColorRef ink;
  };
  // Counts are in engineering notation: a blank where a prefix would stand.
  const Case cases[] = {
      {{"TB:ScaleA 10n", "Acq:Ch1:RecLen 2048", "Ch1:Band Narrow"}, 0, 1, "8 GHz  20 GSa/s", ch1},
      {{"Ch1:Band Full"}, 0, 1, "12 GHz  20 GSa/s", ch1},
      {{"Trig:Source IntClock", "Trig:IntRate 20u"}, 3, 1, "Int. Rate 20 \xC2\xB5s", kWhite},
      {{"Trig:Source ExtHF"}, 3, 1, "External HF", kWhite},
      {{"Acq:Ch1:Mode AvgMult", "Acq:Ch1:NAvg 64"}, 0, 2, "Avg N = 64 ", ch1},
      {{"Acq:Ch1:Mode EnvMax", "Acq:Ch1:NEnv 128"}, 0, 2, "Env = 128 ", ch1},
      {{"Acq:Ch1:NEnv 6000"}, 0, 2, "Continuously", ch1},
      {{"Displ:Ch1:Style Dots"}, 2, 1, "Dots", kWhite},
      // Per trace, the style of the selected trace in its colour.
      {{"Displ:TraceMode PerTrace", "Displ:TraceSel Ch2", "Displ:Ch2:Style VColorGrad"},
       2,
       1,
       "Color Grade",
       ch2},
      {{"Displ:TraceSel Ch1"}, 2, 1, "Dots", ch1},
      // A style given back by an undo step, which spreads nothing, shows all the same.
      {{"Displ:Ch1:Style VarPersist", "*Undo"}, 2, 1, "Dots", ch1},
  };
  for (const Case& c : cases) {
    for (const char* command : c.commands)
      if (command != nullptr) ExecCommand(command);
    const TCellText cell = Cell(c.column, c.line);
    EXPECT_EQ(cell.Text, c.text) << c.commands[0];
    EXPECT_EQ(cell.Ink, c.ink) << c.commands[0];
  }
  // A channel whose trace is off has an empty column, though it is still acquired.
  ASSERT_EQ(Cell(1, 1).Ink, ch2);
  ExecCommand("Ch2:Display Off");
  ASSERT_EQ(ExecCommand("Ch2:Acquire?"), "ON");
  EXPECT_EQ(Cell(1, 1).Text, "");
  EXPECT_EQ(Cell(1, 2).Text, "");
}

TEST_F(TopLineTest, RunStateCountsTheAveragesAndTheAcquisitions) {
  GuiReady = true;
  ExecCommand("Acq:Ch1:Mode AvgStab");
  ExecCommand("Acq:Ch1:NAvg 4");
  ExecCommand("Acq:RunUntil NAcq");
  ExecCommand("Acq:NAcq 3");
  ExecCommand("*Run");
  // Each of the three cycles averages four records; the count keeps at four.
  std::vector<std::string> shown{Cell(0, 2).Text};
  for (int i = 0; i < 200000 && RunFlag; ++i) {
    AcquisitionIdleStep();
    if (const std::string text = Cell(0, 2).Text; text != shown.back()) shown.push_back(text);
  }
  ASSERT_FALSE(RunFlag);
  EXPECT_EQ(shown, (std::vector<std::string>{"Avg N =  0 ", "Avg N = 1 ", "Avg N = 2 ", "Avg N = 3 ",
                                             "Avg N = 4 ", "Stopped 3 "}));
  EXPECT_EQ(Cell(1, 2).Text, "Stopped 3 ");
}

TEST_F(TopLineTest, HiddenLineComesBackWhole) {
  // Drawn when the panel first has room, before any setting changes.
  EXPECT_EQ(Cell(0, 2).Text, "Sample");
  EXPECT_EQ(Cell(3, 1).Text, "External");
  EXPECT_TRUE(FitIconDrawn());
  // Changed while a low panel hides the line, shown as it is now when it comes back.
  PlaceWithHeight(304);
  ASSERT_FALSE(ScopeCRT->Layout().TopTextVisible);
  ExecCommand("Trig:Source IntClock");
  ExecCommand("Acq:Ch1:Mode AvgMult");
  ExecCommand("Acq:Ch1:NAvg 8");
  PlaceWithHeight(504);
  EXPECT_EQ(Cell(3, 1).Text, "Int. Rate 10 \xC2\xB5s");
  EXPECT_EQ(Cell(0, 2).Text, "Avg N = 8 ");
  EXPECT_TRUE(FitIconDrawn());
}

}  // namespace
}  // namespace norv::test
