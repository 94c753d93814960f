// The level finder on waveforms of the simulated instrument (a sine, a pulse train and an
// NRZ pattern seen with the bit clock as trigger) and on a hand-made pulse train.

#include "measure/hist/hist_levels.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/settings/program_objects.h"
#include "instrument/link/sample_stream.h"
#include "instrument/record/signal_obj.h"
#include "instrument/simulator/simulator.h"
#include "measure/hist/hist_objects.h"

namespace norv {
namespace {

constexpr int kRecLen = 1024;
constexpr double kDelay = 30e-9;
constexpr uint8_t kAllKinds = 0x1F;

// Records of channel 1 fed by generator A with `g`, as the acquisition stores them
// (16000 codes per volt), accumulated into FullHist. The first record, which the
// simulator starts late, is left out.
void AccumulateSimulated(const TSimGenerator& g, double timeDiv, double voltsPerDiv, double offset,
                         int records) {
  TRandomSource random(9);
  TSimulator sim(random);
  bool acquiring = false;
  sim.BindAcquiringFlag(acquiring);
  sim.SimSetGenerator(1, g);
  sim.SimSetChannelSource(2, 1);
  sim.SimSetChannels(2);
  sim.SimSetRecLen(kRecLen);
  sim.SimSetTimeDiv(timeDiv);
  sim.SimSetDelay(kDelay);
  sim.BuildPrbsGenerators();
  TSignalObj record;
  record.SetRecLen(kRecLen);
  record.SetX0(kDelay);
  record.SetDX(timeDiv * 512 / (50.0 * kRecLen));
  record.SetVertScale(voltsPerDiv);
  record.SetVertOffset(offset);
  for (int r = 0; r <= records; ++r) {
    sim.SimStartRecord();
    int i = 0;
    for (int guard = 0; guard < 100000000; ++guard) {
      if (!sim.SimRecordReady()) continue;
      const uint16_t word = sim.SimNextSample();
      if (word == EndOfRecordWord) break;
      record.SetY(i++, static_cast<int16_t>(word) / 16000.0);
    }
    acquiring = false;
    ASSERT_EQ(i, kRecLen);
    if (r > 0) AccumulateRecordIntoHist(FullHist(), record);
  }
}

class HistLevelsTest : public ::testing::Test {
 protected:
  void SetUp() override { FreshProgramState(); }
  void TearDown() override { FreshProgramState(); }
};

TEST_F(HistLevelsTest, SineSquareAndNrzOfTheSimulator) {
  struct TCase {
    std::string Name;
    TSimWaveform Waveform;
    double Amplitude, Offset, VoltsPerDiv, ScreenOffset;
    bool Uniform;
    double Low, High;  // the generator's levels
  };
  // 10 ns periods (bits), four of them on the screen.
  const double timeDiv = 40e-9 / 10.24;
  const TCase cases[] = {
      {"sine", TSimWaveform::Sinewave, 1.0, 0.0, 0.15, 0.0, false, -0.5, 0.5},
      {"pulse", TSimWaveform::Pulse, 1.0, 0.0, 0.15, 0.5, false, 0.0, 1.0},
      {"nrz", TSimWaveform::Prbs, 0.5, -0.25, 0.1, 0.0, true, -0.25, 0.25},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    FreshProgramState();
    TSimGenerator g = DefaultSimGenerator(1);
    g.Waveform = c.Waveform;
    g.Frequency = 1e8;
    g.Amplitude = c.Amplitude;
    g.Offset = c.Offset;
    g.PulseWidth = 4e-9;
    g.Jitter = 2e-12;
    AccumulateSimulated(g, timeDiv, c.VoltsPerDiv, c.ScreenOffset, c.Uniform ? 40 : 20);
    HistParamsFillAll();

    uint8_t kinds = kAllKinds, state = 9;
    EXPECT_TRUE(HistCheckSignalUniform(kinds, state));
    EXPECT_EQ(state, 2);
    const uint8_t periodicKinds = kKindPeriodic | kKindRareHigh | kKindRareLow | kKindRz;
    EXPECT_EQ(kinds, c.Uniform ? kKindUniform : periodicKinds);

    TLevelFinding found;
    if (c.Uniform) {
      // An eye: the period is the bit's, from one crossing to the next.
      ASSERT_TRUE(HistFindLevels(found));
    } else {
      // From one appearance of the rare level to the next.
      ASSERT_TRUE(HistFindPeriod(found, kinds));
      EXPECT_EQ(kinds, kKindPeriodic);
    }
    EXPECT_EQ(found.Kind, 2);
    EXPECT_NEAR(found.Period, 10e-9, 0.2e-9);
    EXPECT_GE(found.FirstEdgeTime, kDelay);
    EXPECT_LT(found.FirstEdgeTime, kDelay + 12e-9);
    EXPECT_NEAR(found.LowLevel, c.Low, 0.03);
    EXPECT_NEAR(found.HighLevel, c.High, 0.03);
  }
}

TEST_F(HistLevelsTest, AChangedSignalIsNoLongerTheStoredOne) {
  TSimGenerator g = DefaultSimGenerator(1);
  g.Amplitude = 1.0;
  AccumulateSimulated(g, 4e-9, 0.15, 0, 5);
  HistParamsFillAll();
  FullHist().Clear();
  g.Amplitude = 0.6;
  AccumulateSimulated(g, 4e-9, 0.15, 0, 5);
  uint8_t kinds = kKindUniform | kKindPeriodic, state = 9;
  EXPECT_TRUE(HistCheckSignalUniform(kinds, state));
  EXPECT_EQ(state, 0);
  EXPECT_EQ(kinds, kKindPeriodic);
  TLevelFinding found;
  found.Kind = 5;
  EXPECT_TRUE(HistFindPeriod(found, kinds));
  EXPECT_EQ(found.Kind, 0);
}

// Mostly low with two short high pulses 400 columns apart, the first with a slow rise, the
// second with sharp edges, so only the first leaves hits between the levels.
TEST_F(HistLevelsTest, PeriodFromTheRareLevelWhenOneEdgeHasNoTransitions) {
  constexpr int kColumns = 1024;
  constexpr double kDx = 1e-10;
  TSignalObj record;
  record.SetRecLen(kColumns);
  record.SetX0(kDelay);
  record.SetDX(kDx);
  record.SetVertScale(0.125);  // 1024 codes per volt
  for (int wfm = 0; wfm < 8; ++wfm) {
    for (int i = 0; i < kColumns; ++i) {
      double level = 0;  // low at 0 V, high at 0.4 V
      if (i >= 170 && i < 200) level = 0.4 * (i - 170) / 30.0;
      if ((i >= 200 && i < 240) || (i >= 600 && i < 640)) level = 0.4;
      record.SetY(i, level + ((i + wfm) % 5 - 2) * 2 / 1024.0);
    }
    AccumulateRecordIntoHist(FullHist(), record);
  }
  HistParamsFillAll();
  ASSERT_TRUE(StoredHistParams().TwoLevels);
  ASSERT_TRUE(StoredHistParams().MostlyLow);
  TLevelFinding found;
  uint8_t kinds = kAllKinds;
  ASSERT_TRUE(HistFindPeriod(found, kinds));
  EXPECT_EQ(kinds, kKindRareHigh);
  EXPECT_EQ(found.Kind, 2);
  // From where the first pulse reaches the rare level to where the second begins.
  EXPECT_GT(found.Period, (600 - 200) * kDx);
  EXPECT_LT(found.Period, (600 - 170) * kDx);
}

}  // namespace
}  // namespace norv
