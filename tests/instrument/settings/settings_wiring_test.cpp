// The settings on the real command link, against the fake instrument over loopback.

#include "instrument/settings/settings_wiring.h"

#include <gtest/gtest.h>

#include <array>
#include <cstddef>
#include <tuple>
#include <vector>

#include "instrument/acquisition/acquisition_cycle.h"
#include "instrument/acquisition/cycle_settings.h"
#include "instrument/link/link_hooks.h"
#include "instrument/link/sample_stream.h"
#include "instrument/link_fixture.h"
#include "instrument/settings/trigger_level_search.h"
#include "instrument/settings_fixture.h"
#include "instrument/simulator/simulator.h"
#include "instrument/startup/program_folders.h"
#include "support/fake_clock.h"

namespace norv::test {
namespace {

using Lines = std::vector<std::string>;

// The link's reply polls run in real time against the loopback instrument; the search's
// settle waits (100 ms) are counted instead of slept.
class TSettleWaits final : public IClock {
 public:
  int64_t NowMs() const override { return SystemClock().NowMs(); }
  void SleepMs(int64_t ms) override {
    if (ms >= 100)
      slept_ += ms;
    else
      SystemClock().SleepMs(ms);
  }
  int64_t SleptMs() const { return slept_; }

 private:
  int64_t slept_ = 0;
};

class SettingsOnLinkTest : public InstrumentSettingsTest {
 protected:
  void SetUp() override {
    InstrumentSettingsTest::SetUp();
    SetSettingsLink(nullptr);  // the command link itself
    InstallInstrumentSettings();
    SetProgramClock(waits);
    instrument.SetReply("Info:IndivData?", "1 255 251 9 1234");
    ASSERT_TRUE(ConnectInstrument(false, Loopback(), instrument.Port()));
    ASSERT_TRUE(instrument.WaitForCommands(1));
    ApplyAll();
    // A query answered proves every earlier line has arrived.
    instrument.SetReply("Sync?", "1");
    ASSERT_EQ(QueryCommand("Sync?"), "1");
    instrument.ClearCommands();
  }

  // The command lines the instrument has received once `count` have come.
  Lines Received(size_t count) {
    EXPECT_TRUE(instrument.WaitForCommands(count));
    return instrument.Commands();
  }

  FakeInstrument instrument;
  TSettleWaits waits;
};

TEST_F(SettingsOnLinkTest, LevelSearchOnTheFakeInstrument) {
  instrument.SetReply("Trig:GetTrigOn?", "TRIG_ON");
  double level = 1;
  ASSERT_TRUE(TriggerLevelSearch(level));
  EXPECT_EQ(level, 0.0);
  // Triggering at -32 mV and +32 mV: two probes of one level and two questions each.
  EXPECT_EQ(Received(8), (Lines{"Trig:Mode Trig", "Trig:Level -0.032", "Trig:GetTrigOn?", "Trig:GetTrigOn?",
                                "Trig:Level 0.032", "Trig:GetTrigOn?", "Trig:GetTrigOn?", "Trig:Level 0"}));
  EXPECT_EQ(waits.SleptMs(), 4 * 100);
}

// Every 51st record start checks the clock of the pattern lock: between records, without
// stopping the acquisition, so the statistics, histograms and eye results go on.
TEST_F(SettingsOnLinkTest, ThePatternLockCheckLeavesTheAcquisitionRunning) {
  InstrumentIdentity.ModelCode = 1;
  InstrumentIdentity.Options = OptPatSyncTrig;
  instrument.SetReply("Pattern:TrigFreq?", "1.25E9");
  Exec("TRIG:PATTERNLOCKMODE MANUAL");
  ASSERT_EQ(GetIndex(TriggerSettings().PatternLockMode), plmManual);
  ASSERT_EQ(QueryCommand("Sync?"), "1");
  instrument.ClearCommands();
  GuiReady = true;
  int resets = 0;
  LinkHooks.MeasDisplayOn.Set([] { return true; });
  LinkHooks.ResetMeasStatistics.Set([&] { ++resets; });
  LinkHooks.CheckPatternLockRate();
  EXPECT_EQ(Received(1), Lines{"Pattern:TrigFreq?"});
  EXPECT_EQ(resets, 0);
  EXPECT_EQ(GetIndex(TriggerSettings().PatternLockMode), plmManual);
}

TEST_F(SettingsOnLinkTest, RecordStartSendsOnlyWhatChanged) {
  LinkHooks.SendRecordSettings(4, 1024, 16, 2e-6);
  LinkHooks.SendRecordSettings(4, 1024, 16, 2e-6);
  LinkHooks.SendRecordSettings(2, 1024, 1, 2e-6);
  // Both channels, and averaging by 2, went out when the settings were applied.
  EXPECT_EQ(Received(5), (Lines{"TB:DELAY 2E-6", "Acq:RecLen 1024", "Acq:NAvg 16", "Acq:Channels Ch1",
                                "Acq:NAvg 1;Mode Norm"}));
}

class AcqSettingsInterfaceTest : public AppliedSettingsTest {};

TEST_F(AcqSettingsInterfaceTest, TheCycleReadsTheNodes) {
  IAcqSettings& s = ProgramAcqSettings();
  Exec(
      "CH2:DESKEW 1N;OFFSET 0.2;:ACQ:CH2:MODE ENVMIN;NENV 64;:ACQ:FILEFORMAT YONLY;:TB:MODE B;DUALDEL ON;"
      ":TRIG:MODE TRIG");
  EXPECT_EQ(
      std::tuple(s.UseCommonAcqSettings(), s.GetAcqMode(3), s.GetAcqCount(3), s.GetAcqMode(2),
                 s.GetChannelScales(3).Offset, s.GetDeskew(3), s.DualDelayActive(), s.GetActiveTimeScale()),
      std::tuple(false, TAcqMode::EnvMin, 64, TAcqMode::Sample, -0.2, 1e-9, true, 2e-9));
  EXPECT_NEAR(s.GetRecordStartTime(3, true), 1e-8 * (2.0 + 3.0) + 1e-9, 1e-20);
  EXPECT_NEAR(s.TimeToHorizontalUnit(1e-8), 1e-8, 1e-20);
  Exec("TB:UNITS BIT");  // entry 7, 51.84 Mb/s
  EXPECT_EQ(s.GetHorizontalUnitKind(), huBit);
  EXPECT_NEAR(s.TimeToHorizontalUnit(1e-8), 0.5184, 1e-12);
  // Mode B with dual delay shows the second window.
  EXPECT_EQ(std::tuple(s.GetAcqFileFormat(), s.AutoSaveBaseName(), s.TriggerStatusFromData(),
                       s.GetTriggerHoldoff(), s.IsSourceShown(TTraceId::Ch1B2)),
            std::tuple(TAcqFileFormat::YOnly, (DataFolders().AcqLimitFilesDir / "Noname").string(), true,
                       Value("Trig:Holdoff"), true));

  // The program's cycle reads these answers.
  FakeClock clock;
  EXPECT_EQ(&CreateAcquisitionCycle(clock, clock).Settings(), &s);
  DestroyAcquisitionCycle();
}

// Demo mode follows the settings that shape the signal: the channel offsets, and the
// pattern lock with its step through the pattern.
TEST_F(AcqSettingsInterfaceTest, TheSimulatorFollowsTheSettings) {
  TSimulator& sim = ProgramSimulator();
  struct TRestore {
    TSimulator& sim;
    ~TRestore() {
      Acquiring = false;
      sim.SimSetGenerator(1, DefaultSimGenerator(1));
      sim.SimSetChannelSource(2, 1);
      sim.SimSetChannelSource(3, 2);
      sim.SimSetChannelOffset(2, 0);
      sim.SimSetChannelOffset(3, 0);
      sim.SimSetPatternOn(false);
      sim.SimSetRecLen(512);
    }
  } restore{sim};
  TSimGenerator level = DefaultSimGenerator(1);  // a steady 50 mV
  level.Amplitude = level.Noise = level.Jitter = 0;
  level.Offset = 0.05;
  sim.SimSetGenerator(1, level);
  sim.SimSetChannelSource(2, 1);
  sim.SimSetChannelSource(3, 1);
  Exec("CH1:OFFSET 0.3;:CH2:OFFSET -0.1");  // shown +0.3 V, stored -0.3
  sim.SimSetChannels(4);
  sim.SimSetRecLen(3);
  sim.SimSetNAvg(1);
  TSimulatorRecordSource source(sim);
  source.SimStartRecord();
  std::vector<uint16_t> words;
  std::array<uint16_t, 16> block{};
  while (words.size() < 100 && (words.empty() || words.back() != EndOfRecordWord)) {
    const size_t n = source.SimReadBlock(block);
    words.insert(words.end(), block.begin(), block.begin() + static_cast<std::ptrdiff_t>(n));
  }
  ASSERT_EQ(words.size(), 7u);
  Acquiring = false;
  // Codes of 16000 per volt that the cycle turns back into the generator's 50 mV:
  // Ch1 (0.05 - 0.3) x 16000, Ch2 (0.05 + 0.1) x 16000.
  const std::vector<int16_t> codes(words.begin(), words.end() - 1);
  EXPECT_EQ(codes, (std::vector<int16_t>{-4000, 2400, -4000, 2400, -4000, 2400}));

  // Locked, the PRBS model of Ch2 steps by whole patterns; unlocked by its free step.
  InstrumentIdentity.ModelCode = 1;
  InstrumentIdentity.Options = OptPatSyncTrig;
  sim.SimSetChannelSource(3, 3);
  Exec("TRIG:PATTLEN 255");
  Exec("TRIG:PATTERNLOCKMODE MANUAL");
  ASSERT_EQ(GetIndex(TriggerSettings().PatternLockMode), plmManual);
  EXPECT_EQ(sim.PrbsModel(3).GetPatternStep(), 255);
  Exec("TRIG:PATTERNLOCKMODE OFF");
  EXPECT_EQ(sim.PrbsModel(3).GetPatternStep(), 977);
}

}  // namespace
}  // namespace norv::test
