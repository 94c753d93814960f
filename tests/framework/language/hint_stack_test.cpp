#include "framework/language/hint_stack.h"

#include <gtest/gtest.h>

#include "framework/util/errors.h"
#include "support/fake_clock.h"

namespace norv {
namespace {

// Records the texts the windows show and how many windows are alive.
struct TWindowLog {
  std::vector<std::string> shown;
  int alive = 0;
};

class FakeWindow : public IHintWindow {
 public:
  explicit FakeWindow(TWindowLog& log) : log_(log) { ++log_.alive; }
  ~FakeWindow() override { --log_.alive; }
  void ShowText(const std::string& text, uint32_t, uint32_t, int, int, int) override {
    log_.shown.push_back(text);
  }

 private:
  TWindowLog& log_;
};

class FakeParent : public IHintParent {
 public:
  std::unique_ptr<IHintWindow> CreateHintWindow() override { return std::make_unique<FakeWindow>(log); }
  TWindowLog log;
};

class HintStackTest : public ::testing::Test {
 protected:
  // The texts on the stack, bottom first.
  std::string Texts() const {
    std::string out;
    for (const auto& e : stack.Entries()) out += (out.empty() ? "" : ",") + e.text;
    return out;
  }

  test::FakeClock clock;
  THintStack stack{clock, clock};
  FakeParent parent;
};

using K = THintKeep;
using S = THintStyle;

TEST_F(HintStackTest, NewerMessageReplacesOneNotKept) {
  stack.SetHintPlace(&parent, 10, 20, 300);
  EXPECT_EQ(stack.PushHint("A", 5000, K::Drop, S::Normal), 1u);
  EXPECT_EQ(stack.PushHint("B", 5000, K::Drop, S::Warning), 2u);
  EXPECT_EQ(Texts(), "B");
  EXPECT_EQ(parent.log.alive, 1);
  EXPECT_EQ(parent.log.shown.back(), "B");
  clock.Advance(4999);
  EXPECT_EQ(Texts(), "B");
  clock.Advance(1);
  EXPECT_EQ(Texts(), "");
  EXPECT_EQ(parent.log.alive, 0);
  EXPECT_FALSE(stack.TimerArmed());
}

TEST_F(HintStackTest, KeptMessageReturnsWithItsRemainingTime) {
  stack.SetHintPlace(&parent, 0, 0, 200);
  uint32_t a = stack.PushHint("A", 5000, K::Keep, S::Normal);
  clock.Advance(1000);
  stack.PushHint("B", 1000, K::Drop, S::Normal);
  EXPECT_EQ(Texts(), "A,B");
  EXPECT_EQ(parent.log.alive, 2);  // A's window stays under B's
  clock.Advance(1000);
  EXPECT_EQ(Texts(), "A");
  EXPECT_EQ(stack.Entries()[0].id, a);
  EXPECT_EQ(stack.TimerIntervalMs(), 4000);
  EXPECT_EQ(parent.log.shown.size(), 2u);  // A's window was not drawn again
  clock.Advance(3999);
  EXPECT_EQ(Texts(), "A");
  clock.Advance(1);
  EXPECT_EQ(Texts(), "");
}

TEST_F(HintStackTest, KeptMessageAlmostOverIsDropped) {
  stack.PushHint("A", 5000, K::Keep, S::Normal);
  clock.Advance(4901);  // 99 ms left
  stack.PushHint("B", 1000, K::Drop, S::Normal);
  EXPECT_EQ(Texts(), "B");

  stack.PushHint("C", 5000, K::Keep, S::Normal);  // B is dropped, C kept ...
  clock.Advance(4900);                            // ... with exactly 100 ms left
  stack.PushHint("D", 0, K::Drop, S::Normal);
  EXPECT_EQ(Texts(), "C,D");
  EXPECT_EQ(stack.Entries()[0].timeoutMs, 100);
  EXPECT_FALSE(stack.TimerArmed());  // D has no time-out

  // D gone, C shows its last 100 ms.
  stack.RemoveHint(stack.Entries()[1].id);
  EXPECT_EQ(stack.TimerIntervalMs(), 100);
  clock.Advance(100);
  EXPECT_EQ(Texts(), "");

  // Kept without a time-out: stays under anything.
  stack.PushHint("E", 0, K::Keep, S::Normal);
  clock.Advance(100000);
  stack.PushHint("F", 10, K::Drop, S::Normal);
  EXPECT_EQ(Texts(), "E,F");
}

TEST_F(HintStackTest, SameTextPushedAgain) {
  uint32_t a = stack.PushHint("Lost link", 5000, K::Drop, S::Warning);
  clock.Advance(3000);
  // Again on top, with time-out 0: the time-out stops, the id stays.
  EXPECT_EQ(stack.PushHint("LOST LINK", 0, K::Drop, S::Warning), a);
  EXPECT_FALSE(stack.TimerArmed());
  clock.Advance(100000);
  EXPECT_EQ(Texts(), "Lost link");
  EXPECT_EQ(stack.PushHint("lost link", 2000, K::Drop, S::Warning), a);
  EXPECT_EQ(stack.TimerIntervalMs(), 2000);
  // Keep or style differing from the message on top is a design error.
  EXPECT_THROW(stack.PushHint("Lost link", 2000, K::Keep, S::Warning), EAssertion);
  EXPECT_THROW(stack.PushHint("Lost link", 2000, K::Drop, S::Normal), EAssertion);
}

TEST_F(HintStackTest, TextLowerInTheStackComesToTheTopUnderItsOldId) {
  stack.SetHintPlace(&parent, 0, 0, 200);
  uint32_t a = stack.PushHint("A", 0, K::Keep, S::Normal);
  uint32_t b = stack.PushHint("B", 0, K::Drop, S::Normal);
  EXPECT_EQ(stack.PushHint("a", 0, K::Keep, S::Normal), a);
  auto entries = stack.Entries();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].id, b);  // B stays under it although not kept
  EXPECT_EQ(entries[1].id, a);
  EXPECT_EQ(entries[1].text, "a");
  EXPECT_EQ(parent.log.alive, 2);
  EXPECT_EQ(stack.PushHint("C", 0, K::Drop, S::Normal), 3u);  // ids keep counting
}

TEST_F(HintStackTest, RemovingMessages) {
  uint32_t a = stack.PushHint("A", 3000, K::Keep, S::Normal);
  uint32_t b = stack.PushHint("B", 0, K::Keep, S::Normal);
  uint32_t c = stack.PushHint("C", 1000, K::Drop, S::Normal);
  stack.RemoveHint(b);  // not on top: just gone
  EXPECT_EQ(Texts(), "A,C");
  EXPECT_EQ(stack.TimerIntervalMs(), 1000);
  stack.RemoveHint(999);  // unknown: nothing
  stack.RemoveHint(c);    // on top: A shows again with its own time-out
  EXPECT_EQ(Texts(), "A");
  EXPECT_TRUE(stack.TimerArmed());
  EXPECT_EQ(stack.TimerIntervalMs(), 3000);
  stack.RemoveHint(a);
  EXPECT_EQ(Texts(), "");
  EXPECT_FALSE(stack.TimerArmed());
  stack.TimerTick();  // a stale tick on an empty stack is harmless
}

TEST_F(HintStackTest, ReplaceChangesTheCallersTopMessageElsePushes) {
  stack.SetHintPlace(&parent, 0, 0, 200);
  uint32_t id = stack.PushHint("Database of 10 acquired...", 5, K::Drop, S::Normal);
  EXPECT_EQ(stack.ReplaceHint(id, "Database of 20 acquired...", 5, K::Drop, S::Normal), id);
  EXPECT_EQ(parent.log.alive, 1);
  EXPECT_EQ(parent.log.shown.back(), "Database of 20 acquired...");
  EXPECT_EQ(Texts(), "Database of 20 acquired...");

  // Another style, or an id that is not on top: a new push.
  uint32_t other = stack.ReplaceHint(id, "Finished", 5, K::Drop, S::Warning);
  EXPECT_NE(other, id);
  EXPECT_EQ(Texts(), "Finished");
  EXPECT_EQ(stack.ReplaceHint(id, "Again", 0, K::Drop, S::Normal), other + 1);

  // Hidden and shown again: the window shows the replaced text, not the first one.
  stack.ReplaceHint(other + 1, "Current", 0, K::Drop, S::Normal);
  stack.SetHintPlace(nullptr, 0, 0, 0);
  stack.SetHintPlace(&parent, 0, 0, 200);
  EXPECT_EQ(parent.log.shown.back(), "Current");
}

TEST_F(HintStackTest, PlaceHidesAndShowsTheWholeStack) {
  stack.PushHint("A", 0, K::Keep, S::Normal);
  stack.PushHint("B", 3000, K::Keep, S::Warning);
  stack.PushHint("C", 0, K::Drop, S::Normal);
  EXPECT_EQ(parent.log.alive, 0);  // no place: nothing drawn, the stack still works
  stack.SetHintPlace(&parent, 5, 6, 100);
  EXPECT_EQ(parent.log.alive, 3);
  // Bottom first, so windows stack in order.
  EXPECT_EQ(parent.log.shown, (std::vector<std::string>{"A", "B", "C"}));
  // The top has no time-out, so nothing may time out: B's time-out must not delete C.
  EXPECT_FALSE(stack.TimerArmed());
  clock.Advance(10000);
  EXPECT_EQ(Texts(), "A,B,C");

  stack.SetHintPlace(nullptr, 0, 0, 0);
  EXPECT_EQ(parent.log.alive, 0);
  EXPECT_EQ(Texts(), "A,B,C");
}

TEST(ProgramHintStack, CallsDoNothingUntilInstalled) {
  EXPECT_EQ(PushHint("x", 100, THintKeep::Drop, THintStyle::Normal), 0u);
  RemoveHint(1);
  test::FakeClock clock;
  InstallHintStack(std::make_unique<THintStack>(clock, clock));
  EXPECT_EQ(PushHint("x", 100, THintKeep::Drop, THintStyle::Normal), 1u);
  EXPECT_EQ(ReplaceHint(1, "y", 100, THintKeep::Drop, THintStyle::Normal), 1u);
  InstallHintStack(nullptr);
}

}  // namespace
}  // namespace norv
