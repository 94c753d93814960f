#include "instrument/sample_stream.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "framework/errors.h"
#include "instrument/link_fixture.h"
#include "instrument/usb_transport.h"
#include "support/fake_clock.h"
#include "support/fake_usb_pipe.h"

namespace norv {
namespace {

using test::FakeClock;
using test::FakeInstrument;

// A record of codes of both signs, with fillers among them.
std::vector<uint16_t> MakeRecord(size_t words) {
  std::vector<uint16_t> record;
  for (size_t i = 0; i < words; ++i) {
    record.push_back(i % 37 == 5 ? FillerWord : static_cast<uint16_t>(static_cast<int16_t>(i * 7 - 1000)));
  }
  return record;
}

class SampleStreamTest : public test::LinkTest {
 protected:
  void SetUp() override {
    LinkTest::SetUp();
    LinkHooks.SystemBeep.Set([this] { ++beeps; });
    LinkHooks.ClearAcqStarted.Set([this] { ++acqStartedCleared; });
    LinkHooks.EnableFlagRegisterTimer.Set([this] { ++timerEnabled; });
  }

  void Start() { StartAcquisition(ReadKindBoth, 512, 1, 0.0, true); }

  // Reads the stream as the acquisition cycle does until the end word; gives every word
  // handed out. Stops (failing the test) when the stream fails or takes too long.
  std::vector<uint16_t> ReadRecord() {
    std::vector<uint16_t> all;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (Acquiring && std::chrono::steady_clock::now() < until) {
      std::span<const uint16_t> words;
      if (!GetWaveData(words)) {
        ADD_FAILURE() << "stream failed after " << all.size() << " words";
        break;
      }
      all.insert(all.end(), words.begin(), words.end());
      if (!words.empty() && words.back() == EndOfRecordWord) Acquiring = false;
      if (words.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return all;
  }

  // Reads until the stream fails; gives the number of words handed out before.
  size_t ReadUntilFailure() {
    size_t count = 0;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    std::span<const uint16_t> words;
    while (std::chrono::steady_clock::now() < until && GetWaveData(words)) {
      count += words.size();
      if (words.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return count;
  }

  // A round trip to the instrument: everything sent before has arrived there.
  void Sync() {
    instrument.SetReply("Sync?", "ok");
    ASSERT_EQ(QueryCommand("Sync?"), "ok");
  }

  int beeps = 0;
  int acqStartedCleared = 0;
  int timerEnabled = 0;
};

TEST_F(SampleStreamTest, ARecordArrivesPartByPartOnContinuationRequests) {
  Connect();
  const std::vector<uint16_t> record = MakeRecord(300);
  instrument.SetRecord(record, 64);  // parts of 64, 64, 64, 64 and 44 words + end word
  std::vector<int> settings;
  LinkHooks.SendRecordSettings.Set([&](uint8_t kind, uint16_t len, uint16_t nAvg, double) {
    settings = {kind, len, nAvg};
  });

  Start();
  EXPECT_TRUE(Acquiring);
  EXPECT_EQ(settings, (std::vector<int>{ReadKindBoth, 512, 1}));
  std::vector<uint16_t> expected = record;
  expected.push_back(EndOfRecordWord);
  EXPECT_EQ(ReadRecord(), expected);

  Acquiring = false;
  Sync();
  EXPECT_EQ(instrument.Continuations(), 4);  // none after the part with the end word
  EXPECT_EQ(instrument.Commands().front(), "ACQ:GO");
  EXPECT_FALSE(CommFailure);

  // The next record starts from an empty buffer.
  instrument.SetRecord({1, 2, 3}, 64);
  Start();
  EXPECT_EQ(ReadRecord(), (std::vector<uint16_t>{1, 2, 3, EndOfRecordWord}));
}

TEST_F(SampleStreamTest, AStartWhileARecordRunsOnlyBeeps) {
  Connect();
  instrument.SetRecord(MakeRecord(2000), 100);
  int settingsSent = 0;
  LinkHooks.SendRecordSettings.Set([&](uint8_t, uint16_t, uint16_t, double) { ++settingsSent; });
  Start();
  Start();
  EXPECT_EQ(beeps, 1);
  EXPECT_EQ(settingsSent, 1);
  Sync();
  EXPECT_EQ(instrument.Commands(), (std::vector<std::string>{"ACQ:GO", "ACQ:BREAK", "Sync?"}));
}

TEST_F(SampleStreamTest, ABreakDrainsTheStreamToItsEndWord) {
  Connect();
  instrument.SetRecord(MakeRecord(2000), 100);
  Start();
  std::span<const uint16_t> words;
  ASSERT_TRUE(GetWaveData(words));

  BreakAcquisition(false);
  EXPECT_FALSE(Acquiring);
  EXPECT_FALSE(BreakingAcquisition);
  EXPECT_FALSE(CommFailure);
  EXPECT_EQ(acqStartedCleared, 1);
  EXPECT_EQ(timerEnabled, 1);
  // Nothing of the record is left to spoil the next reply.
  Sync();
  EXPECT_EQ(instrument.Commands(), (std::vector<std::string>{"ACQ:GO", "ACQ:BREAK", "Sync?"}));
}

TEST_F(SampleStreamTest, ACommandStopsARunningRecordUnlessItKeepsTheAcquisition) {
  Connect();
  instrument.SetRecord(MakeRecord(2000), 100);
  Start();
  SendCommand("TB:DELAY 1E-9", true);
  EXPECT_TRUE(Acquiring);
  SendCommand("Acq:RecLen 1024", false);
  EXPECT_FALSE(Acquiring);
  Sync();
  EXPECT_EQ(instrument.Commands(),
            (std::vector<std::string>{"ACQ:GO", "TB:DELAY 1E-9", "ACQ:BREAK", "Acq:RecLen 1024", "Sync?"}));
}

TEST_F(SampleStreamTest, ADrainWithoutEndWordIsBoundedAndFailsTheLink) {
  Connect();
  instrument.SetFault(FakeInstrument::TFault::Silence);
  Start();
  FakeClock clock;
  SetLinkClock(clock);
  BreakAcquisition(false);
  EXPECT_TRUE(CommFailure);
  EXPECT_FALSE(Acquiring);
  EXPECT_FALSE(BreakingAcquisition);
  EXPECT_GE(clock.NowMs() - 1'000'000, BreakDrainLimitMs);
  EXPECT_LE(clock.NowMs() - 1'000'000, BreakDrainLimitMs + 10);
}

TEST_F(SampleStreamTest, WhileClosingOrOnRequestTheDrainStopsEarly) {
  Connect();
  instrument.SetFault(FakeInstrument::TFault::Silence);
  FakeClock clock;
  SetLinkClock(clock);

  ClosingFlag = true;
  Start();
  BreakAcquisition(false);
  EXPECT_LE(clock.NowMs() - 1'000'000, 3);  // three passes
  EXPECT_FALSE(CommFailure);

  ClosingFlag = false;
  BreakRequest = true;
  Start();
  BreakAcquisition(false);
  EXPECT_LE(clock.NowMs() - 1'000'000, 4);
  EXPECT_FALSE(CommFailure);
}

TEST_F(SampleStreamTest, AnOverlongRecordFailsWithoutOverrunningTheBuffer) {
  Connect();
  instrument.SetRecord(MakeRecord(SampleBufferWords + 800), 1000);
  Start();
  EXPECT_EQ(ReadUntilFailure(), SampleBufferWords);
  // A stop still drains the rest of it, on the same connection.
  SendCommand("Acq:RecLen 512", false);
  EXPECT_FALSE(CommFailure);
  Sync();
  EXPECT_EQ(instrument.Connections(), 1);
}

TEST_F(SampleStreamTest, APeerThatClosesOrFallsSilentFailsTheStream) {
  Connect();
  instrument.SetFault(FakeInstrument::TFault::Silence);
  FakeClock clock;
  SetLinkClock(clock);
  Start();
  std::span<const uint16_t> words;
  EXPECT_TRUE(GetWaveData(words));
  EXPECT_TRUE(words.empty());
  clock.Advance(TcpStreamSilenceLimitMs - 1);
  EXPECT_TRUE(GetWaveData(words));
  clock.Advance(1);
  EXPECT_FALSE(GetWaveData(words));

  Acquiring = false;
  SetLinkClock(SystemClock());
  instrument.SetFault(FakeInstrument::TFault::None);
  instrument.SetRecord(MakeRecord(2000), 100);
  Start();
  instrument.DropConnection();
  ReadUntilFailure();
  EXPECT_FALSE(GetWaveData(words));
}

TEST_F(SampleStreamTest, ASimulatedRecordSendsNeitherStartNorBreak) {
  Connect();
  int simulated = 0;
  LinkHooks.StartSimulatedRecord.Set([&] { ++simulated; });
  StartAcquisition(ReadKindCh1, 512, 1, 0.0, false);
  EXPECT_TRUE(Acquiring);
  EXPECT_EQ(simulated, 1);
  BreakAcquisition(false);
  EXPECT_FALSE(Acquiring);
  EXPECT_FALSE(CommFailure);
  Sync();
  EXPECT_EQ(instrument.Commands(), (std::vector<std::string>{"Sync?"}));
}

TEST_F(SampleStreamTest, ThePatternLockRateIsCheckedAfterEveryFiftyFirstStart) {
  LinkKind = TLinkKind::Demo;
  bool lockOn = false;
  int checks = 0;
  LinkHooks.PatternLockOn.Set([&] { return lockOn; });
  LinkHooks.CheckPatternLockRate.Set([&] { ++checks; });
  auto startAndEnd = [] {
    StartAcquisition(ReadKindCh1, 512, 1, 0.0, false);
    Acquiring = false;
  };
  lockOn = true;
  for (int guard = 0; checks == 0 && guard < 60; ++guard) startAndEnd();
  ASSERT_EQ(checks, 1);
  EXPECT_EQ(PatternLockCheckCount(), 0);

  lockOn = false;
  startAndEnd();  // not counted
  lockOn = true;
  for (int i = 0; i < 50; ++i) startAndEnd();
  EXPECT_EQ(checks, 1);
  EXPECT_EQ(PatternLockCheckCount(), 50);
  startAndEnd();
  EXPECT_EQ(checks, 2);
  EXPECT_EQ(PatternLockCheckCount(), 0);
}

TEST_F(SampleStreamTest, AStopRefreshesTheStatisticsOnlyWhenAsked) {
  std::vector<std::string> calls;
  LinkHooks.ResetPointStore.Set([&] { calls.push_back("points"); });
  LinkHooks.MeasDisplayOn.Set([] { return true; });
  LinkHooks.ResetHisticons.Set([&] { calls.push_back("histicons"); });
  LinkHooks.ResetMeasStatistics.Set([&] { calls.push_back("meas"); });
  LinkHooks.HistAxisOn.Set([] { return true; });
  bool eyeOn = false;
  LinkHooks.EyeMeasureOn.Set([&] { return eyeOn; });
  LinkHooks.ClearEyeMeasurement.Set([&] { calls.push_back("eye"); });

  BreakAcquisition(true);  // before the GUI is ready
  EXPECT_TRUE(calls.empty());
  EXPECT_EQ(acqStartedCleared, 1);

  GuiReady = true;
  BreakAcquisition(false);
  EXPECT_TRUE(calls.empty());
  BreakAcquisition(true);
  EXPECT_EQ(calls, (std::vector<std::string>{"points", "histicons", "meas"}));

  calls.clear();
  eyeOn = true;
  NoTimerRestart = true;
  BreakAcquisition(true);
  EXPECT_TRUE(calls.empty());
  NoTimerRestart = false;
  BreakAcquisition(true);
  EXPECT_EQ(calls, (std::vector<std::string>{"points", "histicons", "meas", "eye"}));
}

TEST_F(SampleStreamTest, OverUsbTheStreamComesInTimedBlocks) {
  test::FakeUsbPipe pipe;
  pipe.OnWrite = [&](std::string_view bytes) {
    if (bytes == "Info:IndivData?\r\n") pipe.QueueIn("1 255 251 9 1234\r\n");
    if (bytes == "ACQ:BREAK\r\n") pipe.QueueInWords({0x0102, EndOfRecordWord});
  };
  ASSERT_TRUE(ConnectInstrument(true, TIPv4Addr{}));

  Start();
  pipe.QueueInWords({0x0010, FillerWord, 0xFFF0});
  std::span<const uint16_t> words;
  ASSERT_TRUE(GetWaveData(words));
  EXPECT_EQ(std::vector<uint16_t>(words.begin(), words.end()), (std::vector<uint16_t>{0x0010, FillerWord, 0xFFF0}));
  EXPECT_EQ(pipe.Reads().back().Length, SampleBufferWords * 2);
  EXPECT_EQ(pipe.Reads().back().TimeoutMs, UsbWaveTimeoutMs);

  pipe.QueueInTimeout();
  EXPECT_FALSE(GetWaveData(words));
  EXPECT_TRUE(CommFailure);

  Acquiring = false;
  CommFailure = false;
  Start();
  pipe.ClearOut();
  BreakAcquisition(false);
  EXPECT_EQ(pipe.OutText(), "ACQ:BREAK\r\n");
  EXPECT_FALSE(CommFailure);
}

}  // namespace
}  // namespace norv
