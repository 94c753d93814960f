#include "instrument/link/link_recovery.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/language/hint_stack.h"
#include "framework/language/language.h"
#include "framework/settings/handler.h"
#include "instrument/link_fixture.h"
#include "support/fake_clock.h"
#include "support/fake_usb_pipe.h"

namespace norv {
namespace {

class LinkRecoveryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FreshProgramState();
    SetProgramClock(clock);
    InstallHintStack(std::make_unique<THintStack>(clock, clock));
  }
  void TearDown() override { FreshProgramState(); }

  // The texts on the status-message stack, checking that each stays until removed.
  static std::vector<std::string> Notices() {
    std::vector<std::string> texts;
    for (const auto& entry : HintStack()->Entries()) {
      EXPECT_LT(entry.timeoutMs, 1);
      EXPECT_EQ(entry.keep, THintKeep::Keep);
      EXPECT_EQ(entry.style, THintStyle::Warning);
      texts.push_back(entry.text);
    }
    return texts;
  }

  test::FakeClock clock;
  const std::string notice = GetLangStr("CommunicationErr");
};

TEST_F(LinkRecoveryTest, TheNoticeComesOnceAfterTheFailureHasLastedFiveSeconds) {
  ReportCommFailure(" on start");
  clock.Advance(CommFailureNoticeDelayMs - 1);
  ReportCommFailure("");
  EXPECT_TRUE(Notices().empty());
  clock.Advance(1);
  ReportCommFailure("");
  clock.Advance(60'000);
  ReportCommFailure("");
  EXPECT_EQ(Notices(), (std::vector<std::string>{notice}));

  ClearCommFailure();
  EXPECT_TRUE(Notices().empty());
  ClearCommFailure();

  // A new failure counts its five seconds afresh, so a short one shows nothing.
  ReportCommFailure(" on start");
  clock.Advance(CommFailureNoticeDelayMs - 1);
  ReportCommFailure(" on start");
  EXPECT_TRUE(Notices().empty());
  clock.Advance(1);
  ReportCommFailure(" on start");
  EXPECT_EQ(Notices(), (std::vector<std::string>{notice + " on start"}));
}

TEST_F(LinkRecoveryTest, AFailedStartIsReportedAndStartsNothing) {
  test::FakeUsbPipe pipe;
  ASSERT_TRUE(test::ConnectUsb(pipe));
  pipe.FailWrites("stalled");
  StartAcquisition(ReadKindCh1, 512, 1, 0.0, true);
  EXPECT_FALSE(Acquiring);
  EXPECT_TRUE(CommFailure);
  clock.Advance(CommFailureNoticeDelayMs);
  StartAcquisition(ReadKindCh1, 512, 1, 0.0, true);
  EXPECT_EQ(Notices(), (std::vector<std::string>{notice + " on start"}));
}

TEST_F(LinkRecoveryTest, TheResyncSendsEverythingAgainWithForcedNotification) {
  std::vector<std::string> calls;
  auto record = [&](const char* name) { return [&calls, name] { calls.push_back(name); }; };
  LinkHooks.ResyncTrigger.Set(record("trigger"));
  LinkHooks.RefreshAcqSettings.Set(record("acq"));
  LinkHooks.RefreshSysInfo.Set(record("sysinfo"));
  LinkHooks.RegisterAllCommandsSkip.Set(
      [&] { calls.push_back(ForceNotify ? "register forced" : "register"); });
  LinkHooks.UpdateHelpMenuCaption.Set(record("help"));
  LinkHooks.ApplyAllSettings.Set(record("apply"));
  LinkHooks.UpdateOptionButtons.Set(record("buttons"));
  ResyncAfterLinkRecovery();
  EXPECT_EQ(calls, (std::vector<std::string>{"trigger", "acq", "sysinfo", "register forced", "help", "apply",
                                             "buttons"}));
  EXPECT_FALSE(ForceNotify);

  calls.clear();
  LinkHooks.ApplyAllSettings.Set([] { throw std::runtime_error("apply failed"); });
  EXPECT_THROW(ResyncAfterLinkRecovery(), std::runtime_error);
  EXPECT_FALSE(ForceNotify);
}

}  // namespace
}  // namespace norv
