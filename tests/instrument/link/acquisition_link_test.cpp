// The cycle against its real neighbours: the simulator, the sample stream over TCP from
// the fake instrument, and the link's failure recovery.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "framework/language/hint_stack.h"
#include "framework/util/numeric_utils.h"
#include "instrument/acquisition_fixture.h"
#include "instrument/link/instrument_identity.h"
#include "instrument/link/link_recovery.h"
#include "instrument/link_fixture.h"
#include "instrument/simulator/simulator.h"
#include "support/fake_instrument.h"

namespace norv::test {
namespace {

TEST_F(AcquisitionTest, TheSimulatorFillsBothChannels) {
  TRandomSource random(7);
  TSimulator simulator(random);
  TSimulatorRecordSource source(simulator);
  cycle.SetSimSource(&source);
  int requestsSeen = 0;
  // What the setting senders pass on to the simulator.
  LinkHooks.SendRecordSettings.Set([&](uint8_t kind, uint16_t recLen, uint16_t nAvg, double delay) {
    simulator.SimSetChannels(kind);
    simulator.SimSetRecLen(recLen);
    simulator.SimSetNAvg(nAvg);
    simulator.SimSetDelay(delay);
    ++requestsSeen;
  });
  simulator.SimSetTimeDiv(settings().ScaleA);
  for (auto& ch : settings().Channels) ch.RecLen = 256;

  SingleFlag = true;
  StepUntilStopped();

  EXPECT_EQ(requestsSeen, 1);
  EXPECT_EQ(beeps, 0) << "the record has exactly its points";
  for (TTraceId id : {TTraceId::Ch1, TTraceId::Ch2}) {
    const TSignalObj& r = record(id);
    EXPECT_EQ(r.GetRecLen(), 256);
    EXPECT_DOUBLE_EQ(r.GetDX(), 1e-9 * 10.24 / 256);
    std::vector<double> ys;
    for (int i = 0; i < 256; ++i) ys.push_back(r.GetStoredY(i));
    const auto [lo, hi] = std::minmax_element(ys.begin(), ys.end());
    // Generator A is a 0.5 V sine, B a 0.5 V pulse: a swing of about half a volt each.
    EXPECT_GT(*hi - *lo, 0.3) << GetTraceShortName(id);
    EXPECT_LT(*hi - *lo, 0.7) << GetTraceShortName(id);
  }
}

TEST_F(AcquisitionTest, ALinkFailureWaitsItsPassesThenRecovers) {
  InstallHintStack(std::make_unique<THintStack>(clock, clock));
  auto notices = [] { return HintStack()->Entries().size(); };
  int resent = 0;
  AcqHooks.SendStateAfterConnect.Set([&] { ++resent; });
  for (auto& ch : settings().Channels) ch.RecLen = 1;
  sim.Add(Pairs({1}, {1}));

  CommFailure = true;  // as a failed block read leaves it
  RunFlag = true;
  EXPECT_FALSE(cycle.AcquisitionIdleStep()) << "no busy idling while the link is down";
  for (int pass = 2; pass <= kRecoveryWaitPasses; ++pass) {
    if (pass == kRecoveryWaitPasses) clock.Advance(CommFailureNoticeDelayMs);
    cycle.AcquisitionIdleStep();
  }
  EXPECT_EQ(notices(), 1u) << "the waiting passes report the failure";
  EXPECT_EQ(resent, 0);
  cycle.AcquisitionIdleStep();  // the probe and the recovery
  EXPECT_EQ(resent, 1);
  EXPECT_FALSE(CommFailure);
  EXPECT_EQ(notices(), 0u) << "taken away";
  EXPECT_TRUE(requests.empty());
  cycle.AcquisitionIdleStep();
  EXPECT_EQ(requests.size(), 1u) << "the cycle goes on";

  // A second failure waits its passes again.
  CommFailure = true;
  cycle.AcquisitionIdleStep();
  EXPECT_EQ(cycle.RecoveryWait(), 1);
  InstallHintStack(nullptr);
}

// The cycle over loopback TCP.
class AcquisitionTcpTest : public AcquisitionTest {
 protected:
  void SetUp() override {
    AcquisitionTest::SetUp();
    SetProgramClock(SystemClock());  // the stream arrives in real time
    instrument.SetReply("Info:IndivData?", "1 255 251 9 1234");
    instrument.SetReply("Info:GetVer:SW?", "1.2.3");
    instrument.SetReply("Info:GetVer:FPGAFW?", "5");
    instrument.SetReply("Info:TCPIP:GETMAC?", "0 1 2 3 4 5");
    ASSERT_TRUE(ConnectInstrument(false, Loopback(), instrument.Port()));
    ASSERT_TRUE(instrument.WaitForCommands(1));
    instrument.ClearCommands();
  }
  void TearDown() override {
    DisconnectInstrument(true);
    AcquisitionTest::TearDown();
  }
  // Idle passes until done(); the bound is generous, for a machine under load.
  bool StepUntil(const std::function<bool()>& done) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!done()) {
      if (std::chrono::steady_clock::now() > until) return false;
      cycle.AcquisitionIdleStep();
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
  }
  int CountOf(const std::string& command) const {
    const auto commands = instrument.Commands();
    return static_cast<int>(std::count(commands.begin(), commands.end(), command));
  }

  FakeInstrument instrument;
};

TEST_F(AcquisitionTcpTest, ASettingChangedDuringARecordBreaksItAndTheCycleStartsAgain) {
  for (auto& ch : settings().Channels) ch.RecLen = 200;
  std::vector<int> ch1(200, 800), ch2(200, -1600);
  instrument.SetRecord(Pairs(ch1, ch2), 16);
  RunFlag = true;
  cycle.AcquisitionIdleStep();  // the cycle opens and asks for a record
  ASSERT_TRUE(Acquiring);
  ASSERT_TRUE(cycle.AcqStarted());

  SendCommand("TB:TIMEDIV 2E-9", false);
  EXPECT_FALSE(Acquiring);
  EXPECT_FALSE(cycle.AcqStarted());
  ASSERT_TRUE(instrument.WaitForCommands(3));
  EXPECT_EQ(instrument.Commands(), (std::vector<std::string>{"ACQ:GO", "ACQ:BREAK", "TB:TIMEDIV 2E-9"}));

  // The next passes start a new cycle with a new record and fill both channels from it.
  StopRun();
  SingleFlag = true;
  ASSERT_TRUE(StepUntil([] { return !SingleFlag; }));
  EXPECT_EQ(CountOf("ACQ:GO"), 2);
  EXPECT_DOUBLE_EQ(record(TTraceId::Ch1).GetStoredY(199), 0.05);
  EXPECT_DOUBLE_EQ(record(TTraceId::Ch2).GetStoredY(199), -0.1);
  EXPECT_FALSE(CommFailure);
}

TEST_F(AcquisitionTcpTest, ALostConnectionIsAFailureAndTheLinkComesBack) {
  for (auto& ch : settings().Channels) ch.RecLen = 100;
  instrument.SetRecord(Pairs(std::vector<int>(100, 1), std::vector<int>(100, 2)), 8);
  int resent = 0;
  AcqHooks.SendStateAfterConnect.Set([&] { ++resent; });
  RunFlag = true;
  cycle.AcquisitionIdleStep();
  ASSERT_TRUE(Acquiring);
  instrument.DropConnection();
  ASSERT_TRUE(StepUntil([] { return CommFailure; }));
  EXPECT_FALSE(Acquiring);
  ASSERT_TRUE(StepUntil([&] { return resent == 1; }));
  EXPECT_FALSE(CommFailure);
  EXPECT_EQ(instrument.Connections(), 2);
  ASSERT_TRUE(StepUntil([&] { return CountOf("ACQ:GO") >= 2; })) << "acquiring again";
}

}  // namespace
}  // namespace norv::test
