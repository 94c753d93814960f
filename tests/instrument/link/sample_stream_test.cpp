#include "instrument/link/sample_stream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "framework/util/errors.h"
#include "instrument/link/transport/usb_transport.h"
#include "instrument/link_fixture.h"
#include "support/fake_clock.h"
#include "support/fake_usb_pipe.h"

namespace norv {
namespace {

using test::FakeClock;
using test::FakeInstrument;
using Commands = std::vector<std::string>;

// A record of that many codes (none of them a marker) with the fillers spread among them.
std::vector<uint16_t> RecordWithFillers(size_t codes, size_t fillers) {
  std::vector<uint16_t> record;
  size_t placed = 0;
  for (size_t i = 0; i < codes; ++i) {
    for (; placed < fillers && placed * codes <= i * fillers; ++placed) record.push_back(FillerWord);
    record.push_back(static_cast<uint16_t>(static_cast<int16_t>(i % 4000) - 2000));
  }
  record.insert(record.end(), fillers - placed, FillerWord);
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

  // Reads the stream as the acquisition cycle does, until the end word or (with
  // untilFailure) until the stream fails; gives every word handed out. Never waits on
  // the test's clock, only on the fake instrument, for a few seconds at most.
  std::vector<uint16_t> ReadStream(bool untilFailure = false) {
    std::vector<uint16_t> all;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while ((Acquiring || untilFailure) && std::chrono::steady_clock::now() < until) {
      std::span<const uint16_t> words;
      if (!GetWaveData(words)) {
        if (!untilFailure) ADD_FAILURE() << "stream failed after " << all.size() << " words";
        return all;
      }
      all.insert(all.end(), words.begin(), words.end());
      if (!words.empty() && words.back() == EndOfRecordWord) Acquiring = false;
      if (words.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (untilFailure) ADD_FAILURE() << "the stream did not fail";
    return all;
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
  const std::vector<uint16_t> record = RecordWithFillers(292, 8);
  instrument.SetRecord(record, 64);  // parts of 64, 64, 64, 64 and 44 words + end word
  std::vector<std::vector<int>> settings;
  LinkHooks.SendRecordSettings.Set([&](uint8_t kind, uint16_t len, uint16_t nAvg, double) {
    settings.push_back({kind, len, nAvg});
  });

  Start();
  Start();  // while a record runs: only a beep
  EXPECT_EQ(beeps, 1);
  EXPECT_EQ(settings, (std::vector<std::vector<int>>{{ReadKindBoth, 512, 1}}));
  std::vector<uint16_t> expected = record;
  expected.push_back(EndOfRecordWord);
  EXPECT_EQ(ReadStream(), expected);

  Sync();
  EXPECT_EQ(instrument.Continuations(), 4);  // none after the part with the end word
  EXPECT_EQ(instrument.Commands(), (Commands{"ACQ:GO", "Sync?"}));
  EXPECT_FALSE(CommFailure);

  // The next record starts from an empty buffer.
  instrument.SetRecord({1, 2, 3}, 64);
  Start();
  EXPECT_EQ(ReadStream(), (std::vector<uint16_t>{1, 2, 3, EndOfRecordWord}));
}

TEST_F(SampleStreamTest, ACommandStopsARunningRecordUnlessItKeepsTheAcquisition) {
  Connect();
  // The record ends only with the break: one read may bring all its parts when the
  // instrument answers each continuation at once, and a reader that has read the end
  // word is no longer acquiring.
  instrument.SetFault(FakeInstrument::TFault::NoEndWord);
  instrument.SetRecord(RecordWithFillers(1950, 50), 100);
  Start();
  std::span<const uint16_t> words;
  ASSERT_TRUE(GetWaveData(words));
  SendCommand("TB:DELAY 1E-9", true);
  EXPECT_TRUE(Acquiring);
  SendCommand("Acq:RecLen 1024", false);
  EXPECT_EQ(std::tuple(Acquiring, BreakingAcquisition, CommFailure, acqStartedCleared, timerEnabled),
            std::tuple(false, false, false, 1, 1));
  // The drain has read to the end word: nothing of the record spoils the next reply.
  Sync();
  EXPECT_EQ(instrument.Commands(),
            (Commands{"ACQ:GO", "TB:DELAY 1E-9", "ACQ:BREAK", "Acq:RecLen 1024", "Sync?"}));
}

TEST_F(SampleStreamTest, ASilentPeerFailsTheStreamAndBoundsTheDrainOfAStop) {
  Connect();
  instrument.SetFault(FakeInstrument::TFault::Silence);
  FakeClock clock;
  SetProgramClock(clock);
  Start();
  std::span<const uint16_t> words;
  EXPECT_TRUE(GetWaveData(words));
  EXPECT_TRUE(words.empty());
  clock.Advance(TcpStreamSilenceLimitMs - 1);
  EXPECT_TRUE(GetWaveData(words));
  clock.Advance(1);
  EXPECT_FALSE(GetWaveData(words));
  EXPECT_FALSE(CommFailure);

  // The stop waits so long for the end word, then fails the link.
  int64_t start = clock.NowMs();
  BreakAcquisition(false);
  EXPECT_EQ(std::tuple(CommFailure, Acquiring, BreakingAcquisition), std::tuple(true, false, false));
  EXPECT_GE(clock.NowMs() - start, BreakDrainLimitMs);
  EXPECT_LE(clock.NowMs() - start, BreakDrainLimitMs + 10);

  // While the window closes, or on a break request, it stops after a pass or three.
  CommFailure = false;
  for (bool* flag : {&ClosingFlag, &BreakRequest}) {
    *flag = true;
    start = clock.NowMs();
    Start();
    BreakAcquisition(false);
    EXPECT_LE(clock.NowMs() - start, 3);
    EXPECT_FALSE(CommFailure);
    *flag = false;
  }
}

TEST_F(SampleStreamTest, FillersNeverOverflowTheBufferButAnOverlongRecordFails) {
  Connect();
  // 4096 points of both channels with many fillers, and the most codes that fit the
  // buffer with their end word.
  for (auto [codes, fillers] : {std::pair<size_t, size_t>{8192, 3000}, {SampleBufferWords - 1, 9}}) {
    std::vector<uint16_t> record = RecordWithFillers(codes, fillers);
    instrument.SetRecord(record, 1000);
    Start();
    record.push_back(EndOfRecordWord);
    EXPECT_EQ(ReadStream(), record) << codes << " codes";
    EXPECT_FALSE(CommFailure);
  }

  // One code more fails, without a word beyond the record's start being made up.
  const std::vector<uint16_t> record = RecordWithFillers(SampleBufferWords, 9);
  instrument.SetRecord(record, 1000);
  Start();
  const std::vector<uint16_t> got = ReadStream(true);
  EXPECT_LT(got.size(), record.size());
  EXPECT_TRUE(std::equal(got.begin(), got.end(), record.begin()));
  // A stop still drains the rest of it, on the same connection.
  SendCommand("Acq:RecLen 512", false);
  EXPECT_FALSE(CommFailure);
  Sync();
  EXPECT_EQ(instrument.Connections(), 1);
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
  EXPECT_EQ(instrument.Commands(), (Commands{"Sync?"}));
}

TEST_F(SampleStreamTest, ThePatternLockRateIsCheckedOnEveryFiftyFirstStartWithTheLockOn) {
  LinkKind = TLinkKind::Demo;
  bool lockOn = true;
  int checks = 0;
  LinkHooks.PatternLockOn.Set([&] { return lockOn; });
  LinkHooks.CheckPatternLockRate.Set([&] { ++checks; });
  auto starts = [](int n) {
    for (int i = 0; i < n; ++i) {
      StartAcquisition(ReadKindCh1, 512, 1, 0.0, false);
      Acquiring = false;
    }
  };
  for (int guard = 0; checks == 0 && guard < 60; ++guard) starts(1);
  ASSERT_EQ(checks, 1);
  lockOn = false;
  starts(1);  // not counted
  lockOn = true;
  starts(50);
  EXPECT_EQ(checks, 1);
  starts(1);
  EXPECT_EQ(checks, 2);
  EXPECT_EQ(PatternLockCheckCount(), 0);
}

TEST_F(SampleStreamTest, AStopRefreshesTheStatisticsOnlyWhenAskedWhileAnAcquisitionGoesOn) {
  bool running = true;
  LinkHooks.AcquisitionOn.Set([&] { return running; });
  std::vector<std::string> calls;
  auto record = [&](const char* name) { return [&calls, name] { calls.push_back(name); }; };
  LinkHooks.ResetPointStore.Set(record("points"));
  LinkHooks.MeasDisplayOn.Set([] { return true; });
  LinkHooks.ResetHisticons.Set(record("histicons"));
  LinkHooks.ResetMeasStatistics.Set(record("meas"));
  bool eyeOn = false;
  LinkHooks.EyeMeasureOn.Set([&] { return eyeOn; });
  LinkHooks.ClearEyeMeasurement.Set(record("eye"));

  BreakAcquisition(true);  // before the GUI is ready
  GuiReady = true;
  BreakAcquisition(false);
  EXPECT_TRUE(calls.empty());
  EXPECT_EQ(acqStartedCleared, 2);
  BreakAcquisition(true);
  EXPECT_EQ(calls, (Commands{"points", "histicons", "meas"}));

  calls.clear();
  eyeOn = true;
  NoTimerRestart = true;
  BreakAcquisition(true);
  EXPECT_TRUE(calls.empty());
  NoTimerRestart = false;
  BreakAcquisition(true);
  EXPECT_EQ(calls, (Commands{"points", "histicons", "meas", "eye"}));

  // Stopped, a command breaks nothing: what was gathered stays.
  calls.clear();
  running = false;
  BreakAcquisition(true);
  EXPECT_TRUE(calls.empty());
  EXPECT_EQ(acqStartedCleared, 6);
}

TEST_F(SampleStreamTest, OverUsbTheStreamComesInTimedBlocks) {
  test::FakeUsbPipe pipe;
  ASSERT_TRUE(test::ConnectUsb(pipe));
  pipe.OnWrite = [&](std::string_view bytes) {
    if (bytes == "ACQ:BREAK\r\n") pipe.QueueInWords({0x0102, EndOfRecordWord});
  };

  Start();
  pipe.QueueInWords({0x0010, FillerWord, 0xFFF0});
  std::span<const uint16_t> words;
  ASSERT_TRUE(GetWaveData(words));
  EXPECT_EQ(std::vector<uint16_t>(words.begin(), words.end()),
            (std::vector<uint16_t>{0x0010, FillerWord, 0xFFF0}));
  pipe.QueueInTimeout();
  EXPECT_FALSE(GetWaveData(words));

  pipe.ClearOut();
  BreakAcquisition(false);
  EXPECT_EQ(pipe.OutText(), "ACQ:BREAK\r\n");
  EXPECT_FALSE(CommFailure);
}

}  // namespace
}  // namespace norv
