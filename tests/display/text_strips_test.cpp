#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "display/bottom_text.h"
#include "display/display_hooks.h"
#include "display/top_text.h"
#include "display_test_support.h"
#include "framework/settings/program_objects.h"
#include "framework/traces/display_sources.h"
#include "support/fake_clock.h"

namespace norv {
namespace {

// The block font, remembering every text it drew.
class TRecordingFont final : public ITextRasteriser {
 public:
  TTextExtent Measure(std::string_view text) const override { return font_.Measure(text); }
  int CharAdvance(char32_t c) const override { return font_.CharAdvance(c); }
  TTextMask RenderMask(std::string_view text) const override {
    Drawn.emplace_back(text);
    return font_.RenderMask(text);
  }
  mutable std::vector<std::string> Drawn;

 private:
  test::TBlockFont font_;
};

class TStatusSource final : public ITopTextSource {
 public:
  bool ChannelOn(int slot) const override { return slot == 2 || ch2On; }
  TAcqModeKind AcqMode(int) const override { return mode; }
  double NAverages(int) const override { return averages; }
  double EnvelopeCount(int) const override { return envelopes; }
  bool DatabaseShown() const override { return database; }
  bool FitToMulti() const override { return multi; }
  bool ch2On = true;
  TAcqModeKind mode = TAcqModeKind::Sample;
  double averages = 16;
  double envelopes = 0;
  bool database = false;
  bool multi = true;
};

class TextStripsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FreshProgramState();
    top.SetBounds(10, 2, 530, 31);
    top.SetSource(&source);
    top.AttachWindow(&window);
    bottom.SetBounds(7, 35, 528, 81);
    bottom.AttachWindow(&window);
  }
  void TearDown() override { FreshProgramState(); }
  // Every presented rectangle lies inside its surface.
  void ExpectInside(const TScanLinesScreen& s) const {
    for (const test::TPresented& p : window.Calls) {
      EXPECT_TRUE(p.Left >= 0 && p.Top >= 0 && p.Right < s.Width() && p.Bottom < s.Height())
          << p.Left << "," << p.Top << "," << p.Right << "," << p.Bottom;
    }
  }
  TRecordingFont font;
  test::FakeClock clock;
  test::TRecordingWindow window;
  TStatusSource source;
  TVerhText top{&font};
  TNizText bottom{&font, &clock};
};

TEST_F(TextStripsTest, AcquisitionStateTexts) {
  struct Case {
    TAcqModeKind mode;
    double averages, envelopes;
    std::string text;
  };
  const Case cases[] = {{TAcqModeKind::Sample, 0, 0, "Sample"},
                        {TAcqModeKind::AvgMult, 8192, 0, "Avg N = 8.192 k"},
                        {TAcqModeKind::EnvMax, 0, 5999, "Env = 5.999 k"},
                        {TAcqModeKind::EnvMinMax, 0, 6000, "Continuously"}};
  for (const Case& c : cases) {
    source.mode = c.mode;
    source.averages = c.averages;
    source.envelopes = c.envelopes;
    font.Drawn.clear();
    top.ShowAcqStatus(2, false);
    EXPECT_EQ(font.Drawn, std::vector<std::string>{c.text});
  }
  source.ch2On = false;
  font.Drawn.clear();
  top.ShowChannelStatus(3);
  EXPECT_EQ(font.Drawn, (std::vector<std::string>{"", ""}));
  // While a database is shown the channel cells keep its texts.
  source.database = true;
  font.Drawn.clear();
  top.ShowAllChannelStatus();
  EXPECT_TRUE(font.Drawn.empty());
  ExpectInside(top);
}

TEST_F(TextStripsTest, UnchangedStatesAreNotDrawnAgain) {
  top.ShowAcqStatus(2, false);
  top.ShowTriggerState(2);
  font.Drawn.clear();
  top.ShowAcqStatus(2, false);
  top.ShowTriggerState(2);
  EXPECT_TRUE(font.Drawn.empty());
  // A new channel colour redraws the same text once.
  ColorsReady = true;
  DisplayColorNodeValue.Set([](int index) { return index == 0 ? 0x00123456u : DefaultDisplayColor(index); });
  for (int i = 0; i < 3; ++i) top.ShowAcqStatus(2, false);
  EXPECT_EQ(font.Drawn, std::vector<std::string>{"Sample"});
  EXPECT_EQ(top.GetFontColor(), 0x123456u);
  // The lines of a database and the waveform counter cover both state cells: the state
  // shown before is drawn again afterwards.
  for (const auto& cover : {std::function<void()>([this] { top.ShowDatabaseInfo(); }),
                            std::function<void()>([this] { top.ShowWaveformCount(1053); })}) {
    top.ShowAcqStatus(2, false);
    top.ShowAcqStatus(3, false);
    cover();
    font.Drawn.clear();
    top.ShowAcqStatus(2, false);
    top.ShowAcqStatus(3, false);
    EXPECT_EQ(font.Drawn, (std::vector<std::string>{"Sample", "Sample"}));
  }
}

TEST_F(TextStripsTest, FitIconShownWhereItIsDrawn) {
  top.ShowFitToIcon();
  ASSERT_EQ(window.Calls.size(), 1u);
  const test::TPresented shown = window.Calls[0];
  // Every icon pixel that differs from the background lies in the presented rectangle.
  int ink = 0;
  for (int x = 0; x < top.Width(); ++x) {
    for (int y = 0; y < top.Height(); ++y) {
      if (top.Image().Pixel(x, y) == top.Color()) continue;
      ++ink;
      EXPECT_TRUE(x >= shown.Left && x <= shown.Right && y >= shown.Top && y <= shown.Bottom)
          << x << "," << y;
    }
  }
  EXPECT_GT(ink, 10);
  window.Calls.clear();
  top.ShowFitToIcon();  // unchanged: nothing
  EXPECT_TRUE(window.Calls.empty());
}

TEST_F(TextStripsTest, BottomLinesThrottled) {
  const TRect cell = TNizText::GetLineCellRect(2, 1);
  const auto write = [&](const char* text, int line) { bottom.WriteLine(text, cell, line, 0xFFFFFF); };
  write("a", 2);
  write("b", 2);
  write("c", 2);
  write("x", -1);
  EXPECT_EQ(font.Drawn, (std::vector<std::string>{"a", "x"}));
  clock.Advance(500);
  EXPECT_EQ(font.Drawn.back(), "c");
  write("d", 2);  // after the timer: at once, and a new interval starts
  write("e", 2);
  EXPECT_EQ(font.Drawn.back(), "d");
  bottom.Clear();
  font.Drawn.clear();
  clock.Advance(2000);
  EXPECT_TRUE(font.Drawn.empty());
  // The last cells reach the strip's right edge and its bottom row.
  write("far right", -1);
  bottom.WriteLine("edge", TNizText::GetJitterCellRect(9, false), -1, 0xFFFFFF);
  ExpectInside(bottom);
}

TEST_F(TextStripsTest, CellTables) {
  EXPECT_EQ(TNizText::GetLineCellRect(-1, 3), (TRect{170, 0, 234, 16}));
  EXPECT_EQ(TNizText::GetLineCellRect(2, TNizText::kMergedColumn), (TRect{238, 48, 375, 64}));
  EXPECT_EQ(TNizText::GetMarkCellRect(5, 4, false), (TRect{412, 64, 518, 79}));
  EXPECT_EQ(TNizText::GetMeasCellRect(7, true), (TRect{255, 32, 364, 48}));
  EXPECT_EQ(TNizText::GetHistCellRect(2, 1, false), (TRect{223, 0, 332, 15}));
  EXPECT_EQ(TVerhText::GetTopTextCellRect(10, 2), (TRect{10, 16, 260, 32}));
  EXPECT_THROW(TNizText::GetLineCellRect(4, 1), std::out_of_range);
  EXPECT_THROW(TNizText::GetMaskCellRect(4, 1, true), std::out_of_range);
}

TEST_F(TextStripsTest, RightClicksOpenTheLineMenus) {
  std::vector<std::pair<std::string, int>> chosen;
  DisplayHooks.MeasDisplay.Set([] { return 1; });  // Param
  DisplayHooks.MeasParamCount.Set([] { return 10; });
  DisplayHooks.BuildMeasPopupMenu.Set([](int) { return TPopupMenu{{{"Delete", "Delete"}}, {}}; });
  DisplayHooks.MeasPopupItemClick.Set(
      [&](const std::string& item, int slot) { chosen.emplace_back(item, slot); });
  bottom.MouseDown(TMouseButton::Right, 200, 5);  // value cell of slot 0
  EXPECT_EQ(bottom.PopupMenu(), nullptr);
  bottom.MouseDown(TMouseButton::Right, 300, 20);  // caption of slot 6
  ASSERT_NE(bottom.PopupMenu(), nullptr);
  bottom.ChoosePopupItem("Delete");
  EXPECT_EQ(chosen, (std::vector<std::pair<std::string, int>>{{"Delete", 6}}));
  EXPECT_EQ(bottom.PopupMenu(), nullptr);

  // TDR readouts: lines 0..3 only, however many the feature has.
  DisplayHooks.MeasDisplay.Set([] { return 0; });
  DisplayHooks.TdrMeasureOn.Set([] { return true; });
  DisplayHooks.TdrMeasureLineCount.Set([] { return 12; });
  DisplayHooks.BuildReflectParamPopupMenu.Set([](int) { return TPopupMenu{{{"Z", "Z"}}, {}}; });
  bottom.MouseDown(TMouseButton::Right, 50, 70);
  ASSERT_NE(bottom.PopupMenu(), nullptr);
  EXPECT_EQ(bottom.PopupIndex(), 3);
  bottom.MouseDown(TMouseButton::Right, 50, 90);
  EXPECT_EQ(bottom.PopupMenu(), nullptr);
}

}  // namespace
}  // namespace norv
