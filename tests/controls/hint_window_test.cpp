#include "controls/hint_window.h"

#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QImage>

#include "support/fake_clock.h"

namespace norv {
namespace {

// Every character 6 pixels wide: a line of width W holds W / 6 characters.
THintLines Split(const QString& text, int chars) {
  return SplitHintText(text, chars * 6, [](QChar) { return 6; });
}

TEST(SplitHintText, BreakRules) {
  struct Case {
    const char* text;
    int chars;
    const char* first;
    const char* second;
  };
  for (const Case& c : {
           Case{"fits exactly", 12, "fits exactly", ""},
           {"C:\\Data\\wave file1", 15, "C:\\Data\\", "wave file1"},  // a backslash wins over a blank
           {"one two three four", 15, "one two three ", "four"},      // else the rightmost blank
           {"abcdef-ghijklmnop", 12, "abcdef-", "ghijklmnop"},        // else a hyphen
           {"abcdefghijklmnop", 10, "abcdefghij", "klmnop"},          // else after the last that fits
           {"ab cdefghijklmnopqrs", 10, "ab cdefghi", "jklmnopqrs"},  // a break so far left that line 2
                                                                      // would overflow is not taken
       }) {
    const THintLines lines = Split(c.text, c.chars);
    EXPECT_EQ(lines.first, c.first) << c.text;
    EXPECT_EQ(lines.second, c.second) << c.text;
    EXPECT_EQ(lines.count, *c.second ? 2 : 1) << c.text;
  }
  // The rest does not fit on line 2 anyway: hard break, line 2 clipped when drawn.
  EXPECT_EQ(Split("aa bbbbbbbbbbbbbbbbbbbbbbbbbbb", 10).first, "aa bbbbbbb");
  // A window narrower than one character still shows one on line 1.
  EXPECT_EQ(SplitHintText("ab", 3, [](QChar) { return 6; }).first, "a");
}

class HintWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    main_ = std::make_unique<QWidget>();
    main_->resize(600, 300);
    main_->show();
  }
  QColor PixelOf(QWidget* w, int x, int y) { return w->grab().toImage().pixelColor(x, y); }
  std::vector<TMyHintWindow*> Windows() const {
    auto list = main_->findChildren<TMyHintWindow*>();
    return {list.begin(), list.end()};
  }

  std::unique_ptr<QWidget> main_;
  test::FakeClock clock_;
};

TEST_F(HintWindowTest, StackShowsWindowsInTheirColoursAndSizes) {
  TQtHintParent parent(main_.get());
  THintStack stack(clock_, clock_);
  stack.SetHintPlace(&parent, 10, 20, 200);
  uint32_t id = stack.PushHint("Short note", 1000, THintKeep::Keep, THintStyle::Normal);
  ASSERT_EQ(Windows().size(), 1u);
  TMyHintWindow* note = Windows()[0];
  EXPECT_TRUE(note->isVisible());
  EXPECT_EQ(note->geometry(), QRect(10, 20, 200, note->LineHeight() + 3));
  EXPECT_EQ(PixelOf(note, 198, 1), QColor(255, 255, 204));

  // A long warning takes two lines, drawn in yellow on dark red.
  QString longText;
  while (QFontMetrics(note->font()).horizontalAdvance(longText) < 260) longText += "word ";
  stack.PushHint(longText.toStdString(), 500, THintKeep::Drop, THintStyle::Warning);
  ASSERT_EQ(Windows().size(), 2u);
  TMyHintWindow* warning = Windows()[0] == note ? Windows()[1] : Windows()[0];
  EXPECT_EQ(warning->Lines().count, 2);
  EXPECT_EQ(warning->height(), 2 * warning->LineHeight() + 3);
  QImage image = warning->grab().toImage();
  EXPECT_EQ(image.pixelColor(198, 1), QColor(127, 0, 0));
  bool yellowText = false;
  for (int y = 0; y < image.height() && !yellowText; ++y)
    for (int x = 0; x < image.width() && !yellowText; ++x)
      yellowText = image.pixelColor(x, y) == QColor(255, 255, 0);
  EXPECT_TRUE(yellowText);

  // The warning times out, the note stays; removing the note removes its window.
  clock_.Advance(500);
  EXPECT_EQ(Windows().size(), 1u);
  stack.RemoveHint(id);
  EXPECT_TRUE(Windows().empty());
}

TEST_F(HintWindowTest, ReplacedTextKeepsTheSizeWhileTheLineCountStays) {
  TQtHintParent parent(main_.get());
  THintStack stack(clock_, clock_);
  stack.SetHintPlace(&parent, 0, 0, 300);
  uint32_t id = stack.PushHint("10 acquired", 0, THintKeep::Drop, THintStyle::Normal);
  TMyHintWindow* window = Windows().at(0);
  window->move(50, 60);  // moved meanwhile: one line again keeps size and place
  stack.ReplaceHint(id, "20 acquired", 0, THintKeep::Drop, THintStyle::Normal);
  EXPECT_EQ(window->Lines().first, "20 acquired");
  EXPECT_EQ(window->pos(), QPoint(50, 60));
}

TEST_F(HintWindowTest, OverlongTextIsCutAndParentMayGoFirst) {
  TQtHintParent parent(main_.get());
  THintStack stack(clock_, clock_);
  stack.SetHintPlace(&parent, 0, 0, 100);
  stack.PushHint(std::string(5000, 'x'), 0, THintKeep::Drop, THintStyle::Normal);
  const THintLines& lines = Windows().at(0)->Lines();
  EXPECT_EQ(lines.first.size() + lines.second.size(), kHintMaxChars);

  main_.reset();  // the main window closes while the message is still on the stack
  stack.PushHint("after", 0, THintKeep::Drop, THintStyle::Normal);
  stack.SetHintPlace(nullptr, 0, 0, 0);
  EXPECT_EQ(stack.Entries().size(), 1u);
}

}  // namespace
}  // namespace norv
