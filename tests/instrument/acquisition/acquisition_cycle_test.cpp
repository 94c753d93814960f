#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "instrument/acquisition_fixture.h"

namespace norv::test {
namespace {

constexpr double V = kVoltsPerCode;

using CycleTest = AcquisitionTest;

// Remembers the scale it was given and the last point drawn.
class ScaleLayer final : public IAcqLayer {
 public:
  void SetSignalScale(int count, double zero, double unitsPerDiv) override {
    pointCount = count;
    offset = zero;
    scale = unitsPerDiv;
  }
  void PutSample(int, double value) override { last = value; }
  int pointCount = 0;
  double offset = 0, scale = 0, last = 0;
};

TEST_F(CycleTest, SingleFillsBothChannelsWithTheirAxesAndVolts) {
  for (auto& ch : settings().Channels) {
    ch.RecLen = 4;
    ch.Deskew = 1e-10;
  }
  settings().ModeB = true;
  settings().ScaleA = 2e-9;
  settings().ScaleB = 5e-10;
  settings().Delay = 3;  // divisions of A
  settings().Channels[1].Attenuation = 10;
  settings().Channels[1].Scales.Offset = 0.01;
  sim.Add(Pairs({1600, -1600, 32767, 0}, {100, 200, 300, 400}));
  int stopSingleNotices = 0;
  AcqHooks.NotifyStopSingleSwitchers.Set([&] { ++stopSingleNotices; });
  Single();

  // One record of both channels.
  EXPECT_EQ(requests, (std::vector<RecordRequest>{{4, 4, 1, 2e-9 * 3 + 1e-10}}));
  EXPECT_EQ(stopSingleNotices, 1);
  const TSignalObj& ch1 = record(TTraceId::Ch1);
  EXPECT_EQ(ch1.GetRecLen(), 4);
  // 10.24 divisions of time base B over 4 points; X0 leaves out the deskew.
  EXPECT_DOUBLE_EQ(ch1.GetDX(), 5e-10 * 10.24 / 4);
  EXPECT_NEAR(ch1.GetX0(), 6e-9, 1e-22);
  EXPECT_DOUBLE_EQ(ch1.GetStoredY(1), -0.1);
  EXPECT_DOUBLE_EQ(ch1.GetStoredY(2), 2.0479375);
  EXPECT_DOUBLE_EQ(ch1.GetVertScale(), 0.1);
  // Ch2 at attenuation 10 and offset setting 0.01: code x 0.000625 - 0.1.
  const TSignalObj& ch2 = record(TTraceId::Ch2);
  EXPECT_NEAR(ch2.GetStoredY(3), 400 * 6.25e-4 - 0.1, 1e-12);
  EXPECT_EQ(std::pair(ch2.GetVertScale(), ch2.GetVertOffset()), std::pair(1.0, -0.1));
  EXPECT_EQ(DerivedSignalStates[TraceIndex(TTraceId::Ch1)], dssDrawn);
  EXPECT_EQ(DerivedSignalStates[TraceIndex(TTraceId::Ch1B2)], dssOff);
}

TEST_F(CycleTest, CountedRunStopsAfterItsCountAndNamesEachSavedFile) {
  settings().RunUntilCount = true;
  settings().NAcq = 3;
  settings().ReactSave = true;
  settings().ReactBeep = true;
  settings().FileBaseName = "/data/run";
  settings().FileFormat = TAcqFileFormat::Verbose;
  for (auto& ch : settings().Channels) ch.RecLen = 2;
  sim.Add(Pairs({1, 2}, {3, 4}));
  std::vector<std::string> saved;
  AcqHooks.SaveWaveformText.Set([&](int index, const std::string& name, bool yOnly) {
    saved.push_back(std::to_string(index) + " " + name + (yOnly ? " y" : ""));
    return true;
  });
  int runNotices = 0;
  AcqHooks.NotifyRunSwitchers.Set([&] { ++runNotices; });
  RunFlag = true;
  StepUntilStopped();
  EXPECT_EQ(saved, (std::vector<std::string>{"0 /data/run_00001_Ch1.txt", "2 /data/run_00001_Ch2.txt",
                                             "0 /data/run_00002_Ch1.txt", "2 /data/run_00002_Ch2.txt",
                                             "0 /data/run_00003_Ch1.txt", "2 /data/run_00003_Ch2.txt"}));
  EXPECT_EQ(beeps, 1);
  EXPECT_EQ(runNotices, 1);
  // Stopped: the counts start again and the flag register is polled once more.
  EXPECT_EQ(cycle.AcqCycleCount(2), 0);
  EXPECT_TRUE(cycle.FlagRegisterReadingTimer().Enabled());

  // Values only go to ".txty"; a channel that is off saves nothing.
  saved.clear();
  settings().FileFormat = TAcqFileFormat::YOnly;
  settings().NAcq = 1;
  SignalsOn.SetOn(TTraceId::Ch1, false);
  RunFlag = true;
  StepUntilStopped();
  EXPECT_EQ(saved, (std::vector<std::string>{"2 /data/run_00001_Ch2.txty y"}));
}

TEST_F(CycleTest, StableAverageReadsItsCountOfRecordsAndAveragesThem) {
  settings().Channels[0].Mode = TAcqMode::AvgStab;
  settings().Channels[0].NAvg = 4;
  for (auto& ch : settings().Channels) ch.RecLen = 1;
  for (int code : {100, 200, 300, 500}) sim.Add(Pairs({code}, {-code}));
  Single();
  EXPECT_EQ(requests.size(), 4u);
  // Running average: 100, 150, 200, then 200 + (500 - 200) / 4 = 275.
  EXPECT_NEAR(record(TTraceId::Ch1).GetStoredY(0), 275 * V, 1e-12);
  EXPECT_NEAR(record(TTraceId::Ch2).GetStoredY(0), -275 * V, 1e-12);
  EXPECT_EQ(cycle.PointStore().AcqAverageCount(0), 4);

  // The average goes on across cycles at its full count, also over a command sent while
  // stopped, until a break of a running acquisition resets it.
  sim.Add(Pairs({1100}, {0}));
  Single();
  double expected = 275;
  for (int i = 0; i < 4; ++i) expected += (1100 - expected) / 4;
  EXPECT_NEAR(record(TTraceId::Ch1).GetStoredY(0), expected * V, 1e-12);
  BreakAcquisition(true);
  EXPECT_EQ(cycle.PointStore().AcqAverageCount(0), 4);
  RunFlag = true;
  BreakAcquisition(true);
  EXPECT_EQ(cycle.PointStore().AcqAverageCount(0), 0);
  RunFlag = false;
}

TEST_F(CycleTest, DualDelayFillsTheSecondRecordsEachWithItsOwnAverage) {
  settings().ModeB = true;
  settings().DualDelay = true;
  settings().ScaleA = 1e-9;
  settings().Delay = 2;
  settings().DeltaDelay = 3;
  settings().Channels[0].Mode = TAcqMode::AvgStab;
  settings().Channels[0].NAvg = 2;
  for (auto& ch : settings().Channels) ch.RecLen = 1;
  // Pass 1: A, then B; pass 2: A, then B.
  for (auto [ch1, ch2] : {std::pair{100, 1}, {1000, 2}, {300, 3}, {3000, 4}}) sim.Add(Pairs({ch1}, {ch2}));
  Single();

  ASSERT_EQ(requests.size(), 4u);
  EXPECT_DOUBLE_EQ(requests[0].TbDelay, 2e-9);
  EXPECT_DOUBLE_EQ(requests[1].TbDelay, 5e-9);
  EXPECT_NEAR(record(TTraceId::Ch1).GetStoredY(0), 200 * V, 1e-12);
  EXPECT_NEAR(record(TTraceId::Ch1B2).GetStoredY(0), 2000 * V, 1e-12);
  EXPECT_NEAR(record(TTraceId::Ch2).GetStoredY(0), 2 * V, 1e-12);
  EXPECT_NEAR(record(TTraceId::Ch2B2).GetStoredY(0), 3 * V, 1e-12);
  EXPECT_DOUBLE_EQ(record(TTraceId::Ch1B2).GetX0(), 5e-9);
}

TEST_F(CycleTest, SeparateSettingsReadChannelOneThenChannelTwoEachWithItsMode) {
  settings().SimultaneousSampling = false;
  settings().Channels[0].RecLen = 2;
  settings().Channels[1].RecLen = 3;
  settings().Channels[1].Mode = TAcqMode::EnvMax;
  settings().Channels[1].NEnv = 2;
  for (const std::vector<int>& codes : {std::vector<int>{1, 2}, {7, 8, 9}, {9, 1, 1}}) sim.Add(Codes(codes));
  Single();
  EXPECT_EQ(requests, (std::vector<RecordRequest>{{2, 2, 1, 0}, {3, 3, 1, 0}, {3, 3, 1, 0}}));
  EXPECT_DOUBLE_EQ(record(TTraceId::Ch1).GetStoredY(1), 2 * V);
  EXPECT_DOUBLE_EQ(record(TTraceId::Ch2).GetStoredY(0), 9 * V);
  EXPECT_DOUBLE_EQ(record(TTraceId::Ch2).GetStoredY(2), 9 * V);
  EXPECT_EQ(cycle.AcqCycleCount(2), 0) << "reset when the single run ended";

  // Only the channel that is on is read, and the envelope of a new cycle starts plainly:
  // its first record replaces the maxima.
  requests.clear();
  SignalsOn.SetOn(TTraceId::Ch1, false);
  sim.Add(Codes({1, 1, 1}));
  Single();
  EXPECT_EQ(requests, (std::vector<RecordRequest>(2, {3, 3, 1, 0})));
  EXPECT_DOUBLE_EQ(record(TTraceId::Ch2).GetStoredY(0), 1 * V);

  // Neither channel on: nothing is requested and no cycle opens.
  requests.clear();
  SignalsOn.SetOn(TTraceId::Ch2, false);
  SingleFlag = true;
  for (int i = 0; i < 20; ++i) cycle.AcquisitionIdleStep();
  EXPECT_TRUE(requests.empty());
  EXPECT_FALSE(cycle.AcqStarted());
}

TEST_F(CycleTest, AnOverlongRecordDropsItsExtraPointsButEnds) {
  for (auto& ch : settings().Channels) ch.RecLen = 2;
  // 700 points of garbage arrive over several blocks of the stream.
  std::vector<int> garbage(700);
  std::iota(garbage.begin(), garbage.end(), 1);
  sim.Add(Pairs(garbage, garbage));
  sim.Add(Pairs({7, 8, 9}, {7, 8, 9}));
  Single();
  EXPECT_EQ(beeps, 1) << "one per record";
  EXPECT_DOUBLE_EQ(record(TTraceId::Ch1).GetStoredY(1), 2 * V);
  EXPECT_DOUBLE_EQ(record(TTraceId::Ch1).GetStoredY(2), 0.0);
  // The next overlong record beeps again.
  Single();
  EXPECT_EQ(beeps, 2);
  EXPECT_DOUBLE_EQ(record(TTraceId::Ch1).GetStoredY(1), 8 * V);
}

// A record cut short by a stop is not published: the record holds what it held (nothing
// before the first), unchanged for the measurements and on the screen.
TEST_F(CycleTest, ARecordCutShortLeavesTheRecordAsItWas) {
  ScaleLayer layer;
  AcqHooks.TraceLayer.Set([&](TTraceId id, TAcqLayerKind) { return id == TTraceId::Ch1 ? &layer : nullptr; });
  TSignalObj& ch1 = record(TTraceId::Ch1);
  const auto cut = [&](int code) {
    sim.Add(Pairs(std::vector<int>(512, code), std::vector<int>(512, code)));
    SingleFlag = true;
    for (int step = 0; step < 2; ++step) cycle.AcquisitionIdleStep();  // one block of it
    layer.last = 0;
    StopRunAndSingle();
    BreakAcquisition(true);
    return std::tuple(ch1.HasLength(), ch1.GetStoredY(0), ch1.GetChangedA(), layer.pointCount, layer.last);
  };
  EXPECT_EQ(cut(1), std::tuple(false, 0.0, false, 0, 0.0));
  Single();  // the record whole, then measured
  ch1.ClearChangedA();
  EXPECT_EQ(cut(-1), std::tuple(true, 1 * V, false, 512, 1 * V));
}

TEST_F(CycleTest, TheWaitAfterARequestGrowsWhileInactiveAndWithHoldoff) {
  for (auto& ch : settings().Channels) ch.RecLen = 1000;
  settings().Holdoff = 0;
  sim.Add(Pairs({0}, {0}));
  auto sleptForOneRecord = [&] {
    const int64_t before = clock.SleptMs();
    Single();
    return clock.SleptMs() - before;
  };
  EXPECT_EQ(sleptForOneRecord(), 5);
  AcqHooks.ApplicationActive.Set([] { return false; });
  EXPECT_EQ(sleptForOneRecord(), 25);
  settings().Holdoff = 0.01;  // 7 ms more
  EXPECT_EQ(sleptForOneRecord(), 32);
}

TEST_F(CycleTest, FinishRunsTheAfterAcquisitionWorkInOrder) {
  std::vector<std::string> log;
  auto logged = [&](const char* name) { return [&log, name](auto&&...) { log.push_back(name); }; };
  AcqHooks.AutocalChannelsCheckInputs.Set(logged("autocal"));
  AcqHooks.TDRChannelCalibrationStep.Set(logged("tdrcal"));
  AcqHooks.NormalizationStep.Set(logged("normalize"));
  AcqHooks.OEAutoCalStep.Set(logged("oecal"));
  AcqHooks.PatternSearchStep.Set(logged("patternsearch"));
  AcqHooks.LowJitterAfterAcquisition.Set(logged("lowjitter"));
  AcqHooks.SostaritjIliOtklFuncSpectrGdeNado.Set(logged("switchfunc"));
  AcqHooks.ReCalculateFuncAndSpectrGdeNado.Set(logged("recalc"));
  AcqHooks.DisplayFormatHasXY.Set([] { return true; });
  AcqHooks.CalcDerivedSignal.Set(logged("xy"));
  AcqHooks.RedrawXYScreen.Set(logged("redrawxy"));
  AcqHooks.MarkType.Set([] { return 3; });
  AcqHooks.ShowMarker.Set(logged("marker"));
  AcqHooks.ShowTDRExcessLC.Set(logged("excesslc"));
  AcqHooks.HistogramActive.Set([] { return true; });
  AcqHooks.UpdateHistogram.Set(logged("histogram"));
  AcqHooks.EyeMeasurementPass.Set(logged("eye"));
  AcqHooks.MaskTestAfterAcquisition.Set(logged("mask"));
  AcqHooks.DatabaseRecording.Set([] { return true; });
  AcqHooks.AccumulateDatabaseRecord.Set(logged("dbaccumulate"));
  AcqHooks.SaveDatabaseFile.Set(logged("dbsave"));
  AcqHooks.NotifyChannelScales.Set(logged("channelscales"));
  AcqHooks.RefreshZoomControls.Set(logged("zoomcontrols"));
  LinkHooks.SystemBeep.Set(logged("countreached"));
  AcqHooks.PatternScanStep.Set(logged("eyelinescan"));
  AcqHooks.RefreshMaskDisplay.Set(logged("maskdisplay"));
  AcqHooks.MeasurementPass.Set(logged("measure"));
  AcqHooks.UpdateMarkerReadout.Set(logged("readout"));
  settings().LowJitter = true;
  settings().RunUntilCount = true;
  settings().NAcq = 1;
  settings().ReactBeep = true;
  settings().PatternLock = settings().PattEyeLine = true;
  InstrumentIdentity.ModelCode = 1;
  InstrumentIdentity.Options = OptPatSyncTrig;
  for (auto& ch : settings().Channels) ch.RecLen = 1;
  sim.Add(Pairs({1}, {1}));

  RunFlag = true;
  for (int i = 0; i < 200 && std::count(log.begin(), log.end(), "readout") == 0; ++i)
    cycle.AcquisitionIdleStep();
  const std::vector<std::string> expected{
      "autocal",      "tdrcal",       "normalize",   "oecal",    "patternsearch", "lowjitter",
      "switchfunc",   "recalc",       "xy",          "redrawxy", "marker",        "marker",
      "excesslc",     "histogram",    "eye",         "mask",     "dbaccumulate",  "channelscales",
      "zoomcontrols", "countreached", "eyelinescan", "dbsave",   "maskdisplay",   "marker",
      "marker",       "measure",      "readout"};
  EXPECT_EQ(log, expected);
  EXPECT_EQ(XYSignalState, dssDrawn);

  // The counted run's end above wrote the database; a single cycle adds its waveform and
  // then writes it.
  log.clear();
  settings().RunUntilCount = false;
  Single();
  std::erase_if(log, [](const std::string& s) { return !s.starts_with("db"); });
  EXPECT_EQ(log, (std::vector<std::string>{"dbaccumulate", "dbsave"}));
}

TEST_F(CycleTest, EarlyExitsOfTheFinishLeaveNothingBlocking) {
  for (auto& ch : settings().Channels) ch.RecLen = 1;
  sim.Add(Pairs({1}, {1}));
  bool autoscaleRunning = true;
  int autoscaleSteps = 0;
  int eyePasses = 0;
  AcqHooks.AutoscaleRunning.Set([&] { return autoscaleRunning; });
  AcqHooks.AutoscaleStep.Set([&] {
    ++autoscaleSteps;
    autoscaleRunning = false;
  });
  AcqHooks.EyeMeasurementPass.Set([&] { ++eyePasses; });

  // An autoscale keeps a single run going; its step ends the cycle's processing.
  SingleFlag = true;
  for (int i = 0; i < 100 && autoscaleSteps == 0; ++i) cycle.AcquisitionIdleStep();
  EXPECT_EQ(std::tuple(autoscaleSteps, eyePasses, cycle.CycleOpen(), AcqCycleRunning,
                       cycle.AutoscalePending(), SingleFlag),
            std::tuple(1, 0, false, false, false, true));
  StepUntilStopped();
  EXPECT_EQ(eyePasses, 1) << "the next cycle runs in full";

  // With a jitter measurement every cycle ends early, yet a counted run still stops.
  int jitterSteps = 0;
  AcqHooks.JitterMeasurementExists.Set([] { return true; });
  AcqHooks.JitterMeasurementStep.Set([&] { ++jitterSteps; });
  settings().RunUntilCount = true;
  settings().NAcq = 2;
  RunFlag = true;
  EXPECT_LT(StepUntilStopped(), 10000);
  EXPECT_EQ(jitterSteps, 2);
  EXPECT_FALSE(cycle.CycleOpen());
  EXPECT_EQ(cycle.AcqCycleCount(2), 0);
}

TEST_F(CycleTest, ThePatternLockCheckDoesNotBreakACycle) {
  settings().Channels[0].Mode = TAcqMode::EnvMax;
  settings().Channels[0].NEnv = 60;
  for (auto& ch : settings().Channels) ch.RecLen = 1;
  sim.Add(Pairs({1}, {1}));
  LinkHooks.PatternLockOn.Set([] { return true; });
  int checks = 0;
  LinkHooks.CheckPatternLockRate.Set([&] {
    ++checks;
    BreakAcquisition(true);  // as when the check drops the lock
  });

  // The check comes with every 51st start; whenever it comes, each cycle still reads all
  // its records.
  for (int cycles = 1; cycles <= 3; ++cycles) {
    Single();
    EXPECT_EQ(requests.size(), 60u * cycles) << "cycle " << cycles;
  }
  EXPECT_GE(checks, 3);

  // A stop from outside a record start still starts the cycle again.
  SingleFlag = true;
  cycle.AcquisitionIdleStep();
  ASSERT_TRUE(cycle.AcqStarted());
  BreakAcquisition(true);
  EXPECT_FALSE(cycle.AcqStarted());
}

TEST_F(CycleTest, StoppedWorkServesRequestsAndTheCalibrationTimer) {
  std::vector<std::string> log;
  AcqHooks.ApplyPendingLanguage.Set([&] { log.push_back("language"); });
  AcqHooks.CopySelectedSourceToMemory.Set([&] { log.push_back("memo"); });
  AcqHooks.SaveWaveformToDisk.Set([&] { log.push_back("save"); });
  AcqHooks.LoadWaveformFromDisk.Set([&] { log.push_back("load"); });
  AcqHooks.MeasurementPass.Set([&] { log.push_back("measure"); });
  AcqHooks.CheckAutoCalibration.Set([&] { log.push_back("autocal"); });
  TProcedureLife calibration(TProcedure::AutoCalibration);
  ASSERT_TRUE(calibration.Start());

  MemoCopyRequest = DiskLoadRequest = true;
  AutoCalibrationDue = true;
  EXPECT_FALSE(cycle.AcquisitionIdleStep()) << "stopped: the idle handler may rest";
  EXPECT_EQ(log, (std::vector<std::string>{"language", "memo", "load"}))
      << "a calibration's records: no measure";
  EXPECT_FALSE(MemoCopyRequest);
  EXPECT_TRUE(AutoCalibrationDue) << "waits while a calibration runs";

  log.clear();
  calibration.End();
  cycle.AcquisitionIdleStep();
  EXPECT_EQ(log, (std::vector<std::string>{"language", "measure", "autocal"}));
  EXPECT_FALSE(AutoCalibrationDue);
  EXPECT_TRUE(cycle.AutoCalTimer().Enabled());
  clock.Advance(kAutoCalIntervalMs);
  EXPECT_TRUE(AutoCalibrationDue);
  EXPECT_FALSE(cycle.AutoCalTimer().Enabled()) << "one shot";

  // Suspended (a trace is dragged), nothing happens at all.
  log.clear();
  cycle.SuspendAcquisition();
  EXPECT_TRUE(cycle.FlagRegisterReadingTimer().Enabled());
  cycle.AcquisitionIdleStep();
  EXPECT_TRUE(log.empty());
  cycle.ResumeAcquisition();
  EXPECT_FALSE(cycle.FlagRegisterReadingTimer().Enabled());
}

TEST_F(CycleTest, RecordsTakeTheUnitsOfTheirAxes) {
  // Bits across, reflection up: Ch1 in rho through the TDR unit, drawn persistent.
  settings().ModeB = true;
  settings().ScaleA = 1e-9;
  settings().ScaleB = 1e-10;
  settings().Delay = 2;
  settings().HorUnit = huBit;
  settings().BitRate = 1e9;
  for (auto& ch : settings().Channels) ch.RecLen = 512;
  settings().Channels[0].TDRVertUnit = 1;
  AcqHooks.TdrChannelSettings.Set([](int channel) {
    TTdrChannelSettings s;
    if (channel == 2) {
      s.Mode = TTdrMode::TDR;
      s.PolarPositive = false;
      s.RefAmpl = 0.25;
      s.BaseLine = 0.01;
    }
    return s;
  });
  settings().Channels[0].Scales.RhoScale = 0.1;
  settings().Channels[0].Scales.RhoOffset = 0.3;
  ScaleLayer layer;
  std::vector<TAcqLayerKind> kinds;
  AcqHooks.TraceStyle.Set(
      [](TTraceId id) { return id == TTraceId::Ch1 ? std::string("VarPersist") : "Vectors"; });
  AcqHooks.TraceLayer.Set([&](TTraceId id, TAcqLayerKind kind) -> IAcqLayer* {
    kinds.push_back(kind);
    return id == TTraceId::Ch1 ? &layer : nullptr;
  });
  sim.Add(Pairs(std::vector<int>(512, -1600), std::vector<int>(512, 0)));  // Ch1 at -0.1 V
  Single();

  const TSignalObj& r = record(TTraceId::Ch1);
  EXPECT_EQ(r.GetHorUnit(), "Bit");
  EXPECT_NEAR(r.GetX0(), 2.0, 1e-9);  // 2 divisions of 1 ns at 1 Gb/s
  EXPECT_NEAR(r.GetDX(), 1e-10 * 10.24 / 512 * 1e9, 1e-12);
  EXPECT_EQ(std::tuple(r.GetTdrUnitKind(), r.GetTdrAmplitude(), r.GetTdrBase(), r.GetVertScale(),
                       r.GetVertOffset()),
            std::tuple(tukRho, -0.25, 0.01, 0.1, -0.3));
  EXPECT_EQ(kinds, (std::vector<TAcqLayerKind>{TAcqLayerKind::Persistence, TAcqLayerKind::Vectors}));
  EXPECT_EQ(std::tuple(layer.pointCount, layer.scale), std::tuple(512, 0.1));
  // Stored in volts, drawn in rho: (-0.1 - 0.01) / -0.25.
  EXPECT_DOUBLE_EQ(r.GetStoredY(511), -0.1);
  EXPECT_DOUBLE_EQ(layer.last, 0.44);
  EXPECT_EQ(record(TTraceId::Ch2).GetTdrUnitKind(), tukNone);
}

// A distance axis carries the line's dielectric constant in the record, so a saved record
// still converts its distances back to time and the excess L/C readout can integrate it.
TEST_F(CycleTest, DistanceRecordsCarryTheLinePropagationThroughAWaveformFile) {
  struct Case {
    THorizontalUnit unit;
    double factor, propagation;
  };
  for (const Case c : {Case{huMetre, 0.5, 4.0}, Case{huFoot, 0.8, 1.5625}, Case{huInch, 1.0, 1.0}}) {
    SCOPED_TRACE(c.unit);
    settings().HorUnit = c.unit;
    settings().PropagationFactor = c.factor;
    record(TTraceId::Ch1).SetPropagation(0);
    sim.Add(Pairs(std::vector<int>(512, 100), std::vector<int>(512, 0)));
    Single();
    std::stringstream file;
    ASSERT_TRUE(record(TTraceId::Ch1).SaveToBinaryFile(file));
    TSignalObj loaded;
    ASSERT_TRUE(loaded.LoadFromBinaryFile(file));
    EXPECT_DOUBLE_EQ(loaded.GetPropagation(), c.propagation);
  }
}

// Nothing on the instrument fills a peak record over a doubled time base, so every Peak
// record is requested as a plain one at the set time base: what is drawn is always what
// was just acquired.
TEST_F(CycleTest, PeakRecordsAreRequestedAtTheSetTimeBase) {
  settings().ScaleA = 1e-9;
  settings().Channels[0].Mode = TAcqMode::Peak;
  // Ratios 1 ns / 25 / interval: 4 (above the doubling ratio of 2.2), then 0.4.
  for (double interval : {1e-11, 1e-10}) {
    requests.clear();
    settings().Channels[0].PkInterval = interval;
    const int code = interval < 5e-11 ? 1600 : -3200;
    sim.Add(Pairs(std::vector<int>(512, code), std::vector<int>(512, 0)));
    Single();
    EXPECT_EQ(requests, (std::vector<RecordRequest>{{4, 512, 1, 0}})) << interval;
    const TSignalObj& r = record(TTraceId::Ch1);
    EXPECT_DOUBLE_EQ(r.GetDX(), 1e-9 * 10.24 / 512);
    EXPECT_DOUBLE_EQ(r.GetStoredY(511), code * V);
  }
}

}  // namespace
}  // namespace norv::test
