#include "controls/hint_window.h"

#include <QFontMetrics>
#include <QImage>
#include <gtest/gtest.h>

#include "support/fake_clock.h"

namespace norv {
namespace {

// Every character 6 pixels wide: a line of width W holds W / 6 characters.
THintLines Split(const QString& text, int chars) {
  return SplitHintText(text, chars * 6, [](QChar) { return 6; });
}

TEST(SplitHintText, BreakRules) {
  auto one = Split("fits exactly", 12);
  EXPECT_EQ(one.count, 1);
  EXPECT_EQ(one.first, "fits exactly");

  // A backslash wins over a blank further right.
  auto path = Split("C:\\Data\\wave file1", 15);
  EXPECT_EQ(path.first, "C:\\Data\\");
  EXPECT_EQ(path.second, "wave file1");

  // No backslash: the rightmost blank.
  auto blank = Split("one two three four", 15);
  EXPECT_EQ(blank.first, "one two three ");
  EXPECT_EQ(blank.second, "four");

  // Only a hyphen.
  auto hyphen = Split("abcdef-ghijklmnop", 12);
  EXPECT_EQ(hyphen.first, "abcdef-");
  EXPECT_EQ(hyphen.second, "ghijklmnop");

  // None of the three: after the last character that fits.
  auto hard = Split("abcdefghijklmnop", 10);
  EXPECT_EQ(hard.first, "abcdefghij");
  EXPECT_EQ(hard.second, "klmnop");

  // A break so far left that line 2 would overflow is not taken.
  auto farLeft = Split("ab cdefghijklmnopqrs", 10);
  EXPECT_EQ(farLeft.first, "ab cdefghi");
  EXPECT_EQ(farLeft.second, "jklmnopqrs");

  // The rest does not fit on line 2 anyway: hard break, line 2 clipped when drawn.
  auto tooLong = Split("aa bbbbbbbbbbbbbbbbbbbbbbbbbbb", 10);
  EXPECT_EQ(tooLong.first, "aa bbbbbbb");
  EXPECT_EQ(tooLong.count, 2);

  // A window narrower than one character still shows one on line 1.
  auto narrow = SplitHintText("ab", 3, [](QChar) { return 6; });
  EXPECT_EQ(narrow.first, "a");
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
    for (int x = 0; x < image.width() && !yellowText; ++x) yellowText = image.pixelColor(x, y) == QColor(255, 255, 0);
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
