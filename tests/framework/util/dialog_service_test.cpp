// The dialog service as callers see it: scripted answers while dialogs may be shown,
// default answers and a log while they are suppressed.

#include "framework/util/dialog_service.h"

#include <gtest/gtest.h>

#include "framework/settings/program_objects.h"
#include "framework/util/errors.h"
#include "framework/util/idle_pass.h"
#include "support/fake_dialogs.h"

namespace norv::test {
namespace {

class DialogServiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FreshProgramState();
    DialogState.OnSuppressedText.Set([this](const std::string& line) { told.push_back(line); });
  }
  void TearDown() override { FreshProgramState(); }
  std::vector<std::string> told;
};

// One round of every dialog; returns what the caller learnt, as text.
std::string AskEverything() {
  const std::vector<TAnswer> yesNoCancel{TAnswer::Yes, TAnswer::No, TAnswer::Cancel};
  std::string result;
  result += std::to_string(static_cast<int>(
      Dialogs().Ask(TMessageKind::Confirmation, "Store New Value?", yesNoCancel, TAnswer::No)));
  result += " " + std::to_string(Dialogs().AskCustom(TMessageKind::Warning, "No instrument",
                                                     {"Absent", "Retry", "Demo", "Exit"}, 3));
  Dialogs().Inform(TMessageKind::Error, "Signal is absent");
  const auto file =
      Dialogs().ChooseFile({.Save = true, .Title = "Save Setup As", .Filter = "Setup File (*.set)|*.set"});
  result += file ? " " + file->FileName : " -";
  const auto colour = Dialogs().ChooseColour(0x00FF00);
  result += colour ? " " + std::to_string(*colour) : " -";
  result += Dialogs().PrinterSetup() ? " printer" : " -";
  return result;
}

TEST_F(DialogServiceTest, ShownWhenAllowedAnsweredByDefaultWhenSuppressed) {
  const std::vector<std::string> texts{"[question] Store New Value?", "[warning] No instrument",
                                       "[error] Signal is absent",    "[question] Save Setup As",
                                       "[question] colour",           "[question] printer set-up"};
  // No service installed: nothing can be shown, so everything is suppressed.
  EXPECT_EQ(AskEverything(), "3 3 - - -");
  EXPECT_EQ(told, texts);

  FakeDialogs fake;
  fake.answers = {TAnswer::Cancel};
  fake.customAnswers = {2};
  fake.files = {TFileChoice{"/home/u/a.set", "/home/u", 0}};
  fake.colours = {0x0000FF};
  fake.printers = {true};
  EXPECT_EQ(AskEverything(), "1 2 /home/u/a.set 255 printer");
  EXPECT_EQ(fake.shown, texts);
  EXPECT_TRUE(fake.answers.empty() && fake.printers.empty());

  // Suppressed for a remote command: the defaults at once, the texts logged, the fake
  // asked nothing; afterwards dialogs show again.
  told.clear();
  fake.shown.clear();
  {
    TDialogsSuppressed remote;
    EXPECT_EQ(AskEverything(), "3 3 - - -");
  }
  EXPECT_TRUE(fake.shown.empty());
  EXPECT_EQ(told, texts);
  EXPECT_EQ(DialogState.SuppressedLog.size(), 2 * texts.size());
  EXPECT_FALSE(DialogState.Suppressed);

  // The clipboard never blocks; a picture without pixels is refused.
  const uint32_t pixels[2] = {0xFFFF0000, 0xFF00FF00};
  {
    TDialogsSuppressed remote;
    EXPECT_TRUE(Dialogs().CopyImageToClipboard({2, 1, pixels}));
  }
  EXPECT_FALSE(Dialogs().CopyImageToClipboard({0, 1, pixels}));
  ASSERT_EQ(fake.clipboard.size(), 1u);
  EXPECT_EQ(fake.clipboard[0], (std::vector<uint32_t>{0xFFFF0000, 0xFF00FF00}));
}

TEST_F(DialogServiceTest, ADefaultOutsideTheButtonsIsADesignErrorAndTheLogStaysBounded) {
  EXPECT_THROW(Dialogs().Ask(TMessageKind::Confirmation, "q", {TAnswer::Yes, TAnswer::No}, TAnswer::Cancel),
               EAssertion);
  EXPECT_THROW(Dialogs().AskCustom(TMessageKind::Confirmation, "q", {"A"}, 1), EAssertion);
  // No buttons: OK alone.
  EXPECT_EQ(Dialogs().Ask(TMessageKind::Information, "note", {}, TAnswer::OK), TAnswer::OK);
  for (size_t i = 0; i < kSuppressedLogSize + 5; ++i)
    Dialogs().Inform(TMessageKind::Information, std::to_string(i));
  ASSERT_EQ(DialogState.SuppressedLog.size(), kSuppressedLogSize);
  EXPECT_EQ(DialogState.SuppressedLog.front(), "[information] 5");
  // The program's log (standard error) names the kind on each line of a text.
  DialogState.OnSuppressedText.Reset();
  testing::internal::CaptureStderr();
  Dialogs().Inform(TMessageKind::Error, "\nCannot read\r\n\r\nthe file");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "[error] Cannot read\n[error] the file\n");
  EXPECT_EQ(DialogState.SuppressedLog.back(), "[error] \nCannot read\r\n\r\nthe file");
}

// A message told inside an idle pass opens once the pass has ended, after the work queued
// before it; the passes go on behind its box, and none runs inside another.
TEST_F(DialogServiceTest, AMessageToldInsideAnIdlePassOpensAfterItWithPassesBehindIt) {
  FakeDialogs fake;
  std::vector<std::string> order;
  int passes = 0;
  fake.idlePass = [&] {
    ++passes;
    EXPECT_TRUE(RunIdlePass([] { return false; })) << "a pass inside a pass ran";
    return true;
  };
  fake.idlePasses = 2;
  fake.whileShown = [&] { order.push_back("box open, passes " + std::to_string(passes)); };
  const bool done = RunIdlePass([&] {
    OutsideIdlePass([&] { order.push_back("queued first"); });
    Dialogs().Inform(TMessageKind::Warning, "Cancelled");
    order.push_back("pass ends, shown " + std::to_string(fake.shown.size()));
    return false;
  });
  EXPECT_FALSE(done);
  EXPECT_EQ(order, (std::vector<std::string>{"pass ends, shown 0", "queued first", "box open, passes 2"}));
  EXPECT_EQ(fake.shown, std::vector<std::string>{"[warning] Cancelled"});
  EXPECT_EQ(passes, 4);
  EXPECT_FALSE(IdlePassRuns());
  // Outside a pass it opens at once.
  Dialogs().Inform(TMessageKind::Information, "now");
  EXPECT_EQ(fake.shown.back(), "[information] now");
}

}  // namespace
}  // namespace norv::test
