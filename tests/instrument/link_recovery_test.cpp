#include "instrument/link_recovery.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "instrument/link_fixture.h"
#include "support/fake_clock.h"
#include "support/fake_usb_pipe.h"

namespace norv {
namespace {

class LinkRecoveryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::ResetLinkState();
    ClearCommFailure();
    SetLinkClock(clock);
    LinkHooks.LangText.Set([](const std::string& key) { return "<" + key + ">"; });
    LinkHooks.PushHint.Set([this](const std::string& text, int timeoutMs, bool keep, int style) {
      pushed.push_back(text);
      EXPECT_LT(timeoutMs, 1);  // stays until the failure is over
      EXPECT_TRUE(keep);
      EXPECT_EQ(style, 1);
      return 70 + static_cast<int>(pushed.size());
    });
    LinkHooks.RemoveHint.Set([this](int id) { removed.push_back(id); });
  }
  void TearDown() override {
    ClearCommFailure();
    test::ResetLinkState();
  }

  test::FakeClock clock;
  std::vector<std::string> pushed;
  std::vector<int> removed;
};

TEST_F(LinkRecoveryTest, TheNoticeComesOnceAfterTheFailureHasLastedFiveSeconds) {
  ReportCommFailure(" on start");
  clock.Advance(CommFailureNoticeDelayMs - 1);
  ReportCommFailure("");
  EXPECT_TRUE(pushed.empty());
  clock.Advance(1);
  ReportCommFailure("");
  clock.Advance(60'000);
  ReportCommFailure("");
  EXPECT_EQ(pushed, (std::vector<std::string>{"<CommunicationErr>"}));

  ClearCommFailure();
  EXPECT_EQ(removed, (std::vector<int>{71}));
  ClearCommFailure();
  EXPECT_EQ(removed.size(), 1u);

  // A new failure counts its five seconds afresh.
  ReportCommFailure(" on start");
  clock.Advance(CommFailureNoticeDelayMs);
  ReportCommFailure(" on start");
  EXPECT_EQ(pushed.back(), "<CommunicationErr> on start");
}

TEST_F(LinkRecoveryTest, AShortFailureShowsNothing) {
  ReportCommFailure("");
  clock.Advance(4000);
  ClearCommFailure();
  clock.Advance(4000);
  ReportCommFailure("");
  EXPECT_TRUE(pushed.empty());
  EXPECT_TRUE(removed.empty());
}

TEST_F(LinkRecoveryTest, AFailedStartIsReportedAndStartsNothing) {
  test::FakeUsbPipe pipe;
  pipe.OnWrite = [&](std::string_view bytes) {
    if (bytes == "Info:IndivData?\r\n") pipe.QueueIn("1 255 251 9 1234\r\n");
  };
  ASSERT_TRUE(ConnectInstrument(true, TIPv4Addr{}));
  pipe.FailWrites("stalled");
  StartAcquisition(ReadKindCh1, 512, 1, 0.0, true);
  EXPECT_FALSE(Acquiring);
  EXPECT_TRUE(CommFailure);
  clock.Advance(CommFailureNoticeDelayMs);
  StartAcquisition(ReadKindCh1, 512, 1, 0.0, true);
  EXPECT_EQ(pushed, (std::vector<std::string>{"<CommunicationErr> on start"}));
}

TEST_F(LinkRecoveryTest, TheResyncSendsEverythingAgainWithForcedNotification) {
  std::vector<std::string> calls;
  auto record = [&](const char* name) { return [&calls, name] { calls.push_back(name); }; };
  LinkHooks.ResyncTrigger.Set(record("trigger"));
  LinkHooks.RefreshAcqSettings.Set(record("acq"));
  LinkHooks.RefreshSysInfo.Set(record("sysinfo"));
  LinkHooks.SetForceNotify.Set([&](bool on) { calls.push_back(on ? "force on" : "force off"); });
  LinkHooks.RegisterAllCommandsSkip.Set(record("register"));
  LinkHooks.UpdateHelpMenuCaption.Set(record("help"));
  LinkHooks.ApplyAllSettings.Set(record("apply"));
  LinkHooks.UpdateOptionButtons.Set(record("buttons"));
  ResyncAfterLinkRecovery();
  EXPECT_EQ(calls, (std::vector<std::string>{"trigger", "acq", "sysinfo", "force on", "register", "help", "apply",
                                             "buttons", "force off"}));

  calls.clear();
  LinkHooks.ApplyAllSettings.Set([] { throw std::runtime_error("apply failed"); });
  EXPECT_THROW(ResyncAfterLinkRecovery(), std::runtime_error);
  EXPECT_EQ(calls.back(), "force off");
}

}  // namespace
}  // namespace norv
