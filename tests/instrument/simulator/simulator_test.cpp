#include "instrument/simulator/simulator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <numeric>
#include <optional>
#include <utility>
#include <vector>

#include "framework/settings/program_objects.h"
#include "framework/util/errors.h"
#include "instrument/link/sample_stream.h"

namespace norv {
namespace {

// Interleave error, odd-sample offset and fine-code steps keep the simulated strobe
// within a few picoseconds of the ideal instant.
constexpr double kStrobeTolerance = 5e-12;
// The strobe steps in whole fine codes of 1.5e-13 s: a time base whose point interval is
// 133 codes, and a sine with four periods in its 512 points.
constexpr double kDx = 133 * 1.5e-13;
constexpr double kTimeDiv = kDx * 50;
constexpr double kPeriod = 128 * kDx;

struct TRecord {
  std::vector<uint16_t> Words;  // without the end word
  int ReadyCalls = 0;
  bool Ended = false;

  int16_t Code(size_t i) const { return static_cast<int16_t>(Words[i]); }
  std::vector<double> Codes() const {
    std::vector<double> codes;
    for (size_t i = 0; i < Words.size(); ++i) codes.push_back(Code(i));
    return codes;
  }
  double MeanCode() const {
    const std::vector<double> codes = Codes();
    return std::accumulate(codes.begin(), codes.end(), 0.0) / static_cast<double>(codes.size());
  }
};

// Reads one record as the acquisition cycle does: a word per ready slot until $8000.
TRecord ReadRecord(TSimulator& sim, bool& acquiring) {
  TRecord record;
  sim.SimStartRecord();
  while (record.ReadyCalls < 10000000) {
    ++record.ReadyCalls;
    if (!sim.SimRecordReady()) continue;
    const uint16_t word = sim.SimNextSample();
    if (word == EndOfRecordWord) {
      record.Ended = true;
      break;
    }
    record.Words.push_back(word);
  }
  acquiring = false;
  return record;
}

// Quiet generator: no noise, no jitter.
TSimGenerator Quiet(TSimWaveform waveform) {
  TSimGenerator g = DefaultSimGenerator(1);
  g.Waveform = waveform;
  g.Amplitude = 1.0;
  g.Noise = 0;
  g.Jitter = 0;
  g.Offset = 0;
  return g;
}

// Times at which the codes cross Level, interpolated between points; point k lies at
// Start + k * Dx.
std::vector<double> Crossings(const std::vector<double>& codes, double level, double start, double dx) {
  std::vector<double> times;
  for (size_t k = 1; k < codes.size(); ++k) {
    const double a = codes[k - 1] - level, b = codes[k] - level;
    if ((a < 0) != (b < 0)) times.push_back(start + dx * (k - 1 + a / (a - b)));
  }
  return times;
}

class SimulatorTest : public ::testing::Test {
 protected:
  TRandomSource random{5};
  TSimulator sim{random};
  bool acquiring = false;

  void SetUp() override { sim.BindAcquiringFlag(acquiring); }
  void TearDown() override { FreshProgramState(); }

  // Channel 1 alone, fed by generator A with Settings.
  void FeedChannel1(const TSimGenerator& settings, int recLen, double timeDiv, double delay, int nAvg = 1) {
    sim.SimSetGenerator(1, settings);
    sim.SimSetChannelSource(2, 1);
    sim.SimSetChannels(2);
    sim.SimSetRecLen(recLen);
    sim.SimSetNAvg(nAvg);
    sim.SimSetTimeDiv(timeDiv);
    sim.SimSetDelay(delay);
  }
};

TEST_F(SimulatorTest, StreamShapeAndPacing) {
  sim.SimSetRecLen(64);
  sim.SimSetNAvg(2);
  // dX = 1.875e-7 * 512 / (50 * 64) = 3e-8 s: a wait of NAvg + 3 = 5 slots per point.
  sim.SimSetTimeDiv(1.875e-7);
  sim.SimSetChannels(4);
  TRecord both = ReadRecord(sim, acquiring);
  ASSERT_TRUE(both.Ended);
  EXPECT_EQ(both.Words.size(), 128u);
  // Per point 5 slots, 2 for the pending channel-2 word; 5 more for the end word.
  EXPECT_EQ(both.ReadyCalls, 64 * (5 + 2) + 5);

  sim.SimSetChannels(3);
  TRecord second = ReadRecord(sim, acquiring);
  EXPECT_EQ(second.Words.size(), 64u);
  EXPECT_EQ(second.ReadyCalls, 64 * 5 + 5);

  sim.SimSetChannels(2);
  sim.SimSetRecLen(512);
  sim.SimSetNAvg(1);
  sim.SimSetTimeDiv(1e-9);
  TRecord first = ReadRecord(sim, acquiring);
  EXPECT_EQ(first.Words.size(), 512u);
  EXPECT_EQ(sim.SimNextSample(), EndOfRecordWord);  // stays at the end

  sim.SimStartRecord();
  EXPECT_TRUE(acquiring);
  EXPECT_THROW(sim.SimStartRecord(), EAssertion);
}

TEST_F(SimulatorTest, PairRecordsCarryChannel1First) {
  TSimGenerator high = Quiet(TSimWaveform::Sinewave);
  high.Amplitude = 0.001;
  high.Offset = 0.5;
  TSimGenerator low = high;
  low.Offset = -0.25;
  sim.SimSetGenerator(1, high);
  sim.SimSetGenerator(2, low);
  sim.SimSetChannelSource(2, 1);
  sim.SimSetChannelSource(3, 2);
  sim.SimSetChannelOffset(3, 0.125);
  sim.SimSetChannels(4);
  sim.SimSetRecLen(32);
  TRecord r = ReadRecord(sim, acquiring);
  ASSERT_EQ(r.Words.size(), 64u);
  for (size_t i = 0; i < 64; ++i) EXPECT_NEAR(r.Code(i), i % 2 ? -4000 + 2000 : 8000, 9) << i;
  // A channel without a source reads -1.
  sim.SimSetChannelSource(3, kSimSourceNone);
  sim.SimSetChannels(3);
  EXPECT_EQ(ReadRecord(sim, acquiring).Words, std::vector<uint16_t>(32, 0xFFFF));
}

TEST_F(SimulatorTest, SineCrossingsLieOnTheStrobeInstantsOfEachFamily) {
  // Four whole periods in the record; phase 90 degrees gives a cosine.
  TSimGenerator g = Quiet(TSimWaveform::Sinewave);
  g.Frequency = 1 / kPeriod;
  g.Phase = 90;
  FeedChannel1(g, 512, kTimeDiv, 0, 4);
  // sin(2 pi (t / P + phase)) = 0  <=>  t / P + phase = m / 2.
  auto expectCrossings = [&](const TRecord& record, double phaseTurns) {
    const std::vector<double> times = Crossings(record.Codes(), 0, 0, kDx);
    ASSERT_GE(times.size(), 7u);
    for (double t : times) {
      const double m = std::round((t / kPeriod + phaseTurns) * 2);
      EXPECT_NEAR(t, (m / 2 - phaseTurns) * kPeriod, kStrobeTolerance);
    }
  };
  TRecord r = ReadRecord(sim, acquiring);
  ASSERT_EQ(r.Words.size(), 512u);
  const std::vector<double> codes = r.Codes();
  EXPECT_NEAR(*std::max_element(codes.begin(), codes.end()), 8000, 10);
  EXPECT_NEAR(*std::min_element(codes.begin(), codes.end()), -8000, 10);
  expectCrossings(r, 0.25);
  // A delta phase moves the wave of the next record by 36 degrees.
  g.DeltaPhase = 36;
  sim.SimSetGenerator(1, g);
  expectCrossings(ReadRecord(sim, acquiring), 0.35);

  // Each family's calibrated strobe, and the uncalibrated one far from the strobe's
  // origin, keep the interleave error as small.
  g.Phase = g.DeltaPhase = 0;
  const struct {
    TSimModelFamily Family;
    bool Calibrated;
    double Delay;
  } cases[] = {
      {TSimModelFamily::L, true, 3.65e-8},
      {TSimModelFamily::K, true, 3.65e-8},
      {TSimModelFamily::L, false, 1e-4},
  };
  for (const auto& c : cases) {
    const TSimModelFamily family = c.Family;
    SimModelFamilyHook.Set([family] { return family; });
    if (c.Calibrated)
      SimCalibrationNodesHook.Set([] { return TSimCalibrationNodes{5e-9, 20000, 0}; });
    else
      SimCalibrationNodesHook.Reset();
    sim.LoadSimulatorTiming(c.Calibrated);
    FeedChannel1(g, 512, kTimeDiv, c.Delay);
    const std::vector<double> times = Crossings(ReadRecord(sim, acquiring).Codes(), 0, 0, kDx);
    ASSERT_GE(times.size(), 7u);
    for (double t : times) {
      const double absolute = c.Delay + t;
      EXPECT_LT(std::abs(absolute - std::round(absolute / (kPeriod / 2)) * kPeriod / 2), kStrobeTolerance)
          << c.Delay << " " << static_cast<int>(family);
    }
  }
}

// Point k of a record taken at time-base delay D and point interval dX lies at
// D + k dX (+ the record offset): every point of a quiet sine and pulse, from the first
// on, is the generator's closed-form value there, whatever the delay and the interval.
TEST_F(SimulatorTest, EveryPointIsTheSignalAtItsInstant) {
  constexpr int kPoints = 1000;
  const double period = 1e-8;
  const double twoPi = 2 * std::numbers::pi;
  // A raised-cosine pulse of 1 ns edges (10-90 %) and 4 ns width, starting at t = 0.
  const double rise = 1e-9 / 0.590334471;
  auto pulse = [&](double t) {
    const double x = t - std::floor(t / period) * period;
    const double fallStart = 4e-9 - rise / 2 + rise / 2;
    if (x < rise) return 0.5 - 0.5 * std::cos(std::numbers::pi * x / rise);
    if (x < fallStart) return 1.0;
    if (x < fallStart + rise) return 0.5 + 0.5 * std::cos(std::numbers::pi * (x - fallStart) / rise);
    return 0.0;
  };
  auto sine = [&](double t) { return 0.5 * std::sin(twoPi * t / period); };
  for (const double dx : {4e-11, 2e-11, 1.234e-11, 1e-10}) {
    for (const double delay : {0.0, 3e-9, 2e-8, 1.7e-7, -5e-9}) {
      for (const bool isPulse : {false, true}) {
        TSimGenerator g = Quiet(isPulse ? TSimWaveform::Pulse : TSimWaveform::Sinewave);
        g.Frequency = 1 / period;
        g.RiseTime = g.FallTime = 1e-9;
        g.PulseWidth = 4e-9;
        FeedChannel1(g, kPoints, dx * 50 * kPoints / 512, delay);
        for (int record = 0; record < 2; ++record) {
          const std::vector<double> codes = ReadRecord(sim, acquiring).Codes();
          ASSERT_EQ(codes.size(), static_cast<size_t>(kPoints));
          // The code error over the steepest slope: at least the strobe's time error.
          const double slope = isPulse ? 16000 * std::numbers::pi / 2 / rise : 8000 * twoPi / period;
          double worst = 0;
          for (int k = 0; k < kPoints; ++k) {
            const double t = delay + k * dx;
            worst = std::max(worst, std::abs(codes[k] - 16000 * (isPulse ? pulse(t) : sine(t))) / slope);
          }
          EXPECT_LT(worst, kStrobeTolerance)
              << (isPulse ? "pulse" : "sine") << " dX " << dx << " delay " << delay << " record " << record;
        }
      }
    }
  }
}

TEST_F(SimulatorTest, PulseRiseTimeAndDutyCycle) {
  TSimGenerator g = Quiet(TSimWaveform::Pulse);
  g.Frequency = 1e8;
  g.RiseTime = 1e-9;
  g.FallTime = 1e-9;
  g.PulseWidth = 3e-9;
  g.Noise = 0.0001;
  g.Phase = -90;  // the pulse starts a quarter period into the record
  FeedChannel1(g, 512, kTimeDiv, 0, 4);
  const std::vector<double> codes = ReadRecord(sim, acquiring).Codes();
  // Levels 0 and 16000 codes.
  std::vector<double> at10, at90, at50;
  for (auto [level, at] : {std::pair{1600, &at10}, {14400, &at90}, {8000, &at50}}) {
    *at = Crossings(codes, level, 0, kDx);
    ASSERT_EQ(at->size(), 2u) << level;
  }
  EXPECT_NEAR(at90[0] - at10[0], 1e-9, 2e-11);
  EXPECT_NEAR(at10[1] - at90[1], 1e-9, 2e-11);
  // Width at half height = the set width: a duty cycle of 3 ns in 10 ns.
  EXPECT_NEAR((at50[1] - at50[0]) * g.Frequency, 0.3, 0.003);
}

// Settled level y of the TDR/TDT head (E = -1 everywhere) as codes: -368 + 6720 y.
double StepCodes(double y) { return -368 + 6720 * y; }

TEST_F(SimulatorTest, SettledLevelOfEveryTdrAndTdtCircuit) {
  // 100 ns after the step every reflection has died out.
  auto settled = [&](TSimWaveform waveform, TSimTdrCircuit tdr, TSimTdtCircuit tdt) {
    TSimGenerator g = DefaultSimGenerator(1);
    g.Waveform = waveform;
    g.TDRCircuit = tdr;
    g.TDTCircuit = tdt;
    FeedChannel1(g, 32, 1e-10, 1e-7, 8);
    return ReadRecord(sim, acquiring).MeanCode();
  };
  const double rhoOpen = (1e10 - 50) / (1e10 + 50);
  const std::pair<TSimTdrCircuit, double> tdrCases[] = {
      {TSimTdrCircuit::Open, -0.5 - 0.25 * rhoOpen},
      {TSimTdrCircuit::Short, -0.25},
      {TSimTdrCircuit::R50, -0.5},
      {TSimTdrCircuit::Rx, -0.5 - 0.25 * 35.0 / 135.0},
      // Two sections ending in 50 ohms settle like a matched line.
      {TSimTdrCircuit::RR5015050, -0.5},
      {TSimTdrCircuit::Lx, -0.5},
      {TSimTdrCircuit::Cx, -0.5},
      {TSimTdrCircuit::Off, 0},
  };
  for (const auto& [circuit, level] : tdrCases)
    EXPECT_NEAR(settled(TSimWaveform::Tdr, circuit, TSimTdtCircuit::Off), StepCodes(level), 4)
        << static_cast<int>(circuit);
  // Everything arrives through a line (F 1), half through the attenuator.
  const std::pair<TSimTdtCircuit, double> tdtCases[] = {
      {TSimTdtCircuit::Stimul, -1}, {TSimTdtCircuit::DB6NS3, -0.5}, {TSimTdtCircuit::RR5015050, -1},
      {TSimTdtCircuit::Lx, -1},     {TSimTdtCircuit::Cx, -1},       {TSimTdtCircuit::Off, 0},
  };
  for (const auto& [circuit, level] : tdtCases)
    EXPECT_NEAR(settled(TSimWaveform::Tdt, TSimTdrCircuit::Off, circuit), StepCodes(level), 4)
        << static_cast<int>(circuit);
}

TEST_F(SimulatorTest, ReflectionArrivesAfterTheTwoWayDelay) {
  // Step 2 coarse steps late: 2 x 4.6 ns - 6.5 ns = 2.7 ns after the record start.
  sim.SimSetStepDly(2);
  const double dx = 1e-9 * 10.24 / 512;
  // Both edges are timed where the elementary edge has reached 40 %: the incident one at
  // 0.5 x -0.4, the reflection at -0.5 + 0.25 rho x -0.4.
  const struct {
    TSimTdrCircuit Circuit;
    double Rho;
  } cases[] = {{TSimTdrCircuit::Open, 1}, {TSimTdrCircuit::Short, -1}, {TSimTdrCircuit::Rx, 35.0 / 135.0}};
  for (const auto& c : cases) {
    TSimGenerator g = DefaultSimGenerator(1);
    g.Waveform = TSimWaveform::Tdr;
    g.TDRCircuit = c.Circuit;
    g.TDRSkol = 0;
    FeedChannel1(g, 512, 1e-9, 0, 16);
    TRecord r = ReadRecord(sim, acquiring);
    const std::vector<double> incident = Crossings(r.Codes(), StepCodes(-0.2), 0, dx);
    ASSERT_FALSE(incident.empty());
    EXPECT_NEAR(incident[0], 2.7e-9, 2e-10);
    std::optional<double> reflected;
    for (double t : Crossings(r.Codes(), StepCodes(-0.5 - 0.1 * c.Rho), 0, dx))
      if (t > incident[0] + 1e-9 && !reflected) reflected = t;
    ASSERT_TRUE(reflected);
    // D = 1.5 ns each way.
    EXPECT_NEAR(*reflected - incident[0], 3e-9, 1e-11) << static_cast<int>(c.Circuit);
  }
}

// The O/E converter shows light, which is never negative: each waveform's swing from its
// lowest level up, 1 mW per generator volt, times the gain; a positive generator offset is
// steady light under it. Gain 200 V/W: 1 mW of light is 0.2 V, 3200 codes; the dark level
// one percent below the converter's zero lifts everything by 2 mV, 32 codes.
TEST_F(SimulatorTest, OpticalChannelCarriesLightFromDarknessUp) {
  struct Case {
    const char* Name;
    TSimGenerator Generator;
    double LowMilliwatts, HighMilliwatts;
  };
  auto generator = [](TSimWaveform waveform, double amplitude, double offset) {
    TSimGenerator g = Quiet(waveform);
    g.Amplitude = amplitude;
    g.Offset = offset;
    return g;
  };
  // The TDR/TDT head's step is 6720 codes, 0.42 V, whatever the amplitude.
  TSimGenerator tdt = DefaultSimGenerator(1);
  tdt.Waveform = TSimWaveform::Tdt;  // overshoot 10 %: its ring below the settled level is dark
  // Triggered at the pattern start: twenty bits of 1 ns, the ones it starts with and zeros.
  TSimGenerator prbs = generator(TSimWaveform::Prbs, 1, -0.25);
  prbs.Frequency = 1e9;
  prbs.PrbsTrigger = TSimPrbsTrigger::Kadr;
  TSimGenerator tdr = tdt;
  tdr.Waveform = TSimWaveform::Tdr;  // the open end reflects the step back up to a quarter
  tdr.TDROvershot = 0;
  tdr.TDRSkol = 0;
  const Case cases[] = {
      {"sine", generator(TSimWaveform::Sinewave, 1, 0), 0, 1},
      {"sine over steady light", generator(TSimWaveform::Sinewave, 0.5, 0.1), 0.1, 0.6},
      {"pulse", generator(TSimWaveform::Pulse, 1, 0), 0, 1},
      {"PRBS centred by its offset", prbs, 0, 1},
      {"TDT", tdt, 0, 0.42},
      {"TDR open", tdr, 0.42 * 0.25, 0.42},
  };
  sim.SimSetStepDly(2);  // the step 2.7 ns into the record
  sim.SimSetOpticalDarkZero(kSimDefaultDarkZero);
  sim.SimSetOpticalInput(2, {.On = true, .Gain = 200, .DarkLevel = kSimDefaultDarkZero - 1});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    FeedChannel1(c.Generator, 512, 2e-9, 0, 16);  // 20 ns: two sine periods
    sim.BuildPrbsGenerators();
    const std::vector<double> codes = ReadRecord(sim, acquiring).Codes();
    const auto [low, high] = std::minmax_element(codes.begin(), codes.end());
    // The step head's own noise of 16 codes, a quarter of it after 16 sub-samples.
    EXPECT_NEAR(*low, 32 + 3200 * c.LowMilliwatts, 20);
    EXPECT_NEAR(*high, 32 + 3200 * c.HighMilliwatts, 20);
  }
}

TEST_F(SimulatorTest, NoSampleWordIsAStreamMarker) {
  // Every source driven far past full scale in both directions.
  auto expectClear = [](const TRecord& r, int extreme) {
    ASSERT_TRUE(r.Ended);
    for (size_t i = 0; i < r.Words.size(); ++i) {
      ASSERT_NE(r.Words[i], 0x8000);
      ASSERT_NE(r.Words[i], 0x8001);
    }
    EXPECT_EQ(std::abs(r.Code(0)), extreme);
  };
  for (double volts : {-2.0, 2.0}) {
    sim.SimSetChannelSource(2, kSimSourceCalibration);
    sim.SimSetChannelOffset(2, volts);
    sim.SimSetCalibrationSource({TSimCalMode::DC, volts / 2, 8e-8});
    sim.SimSetChannels(2);
    sim.SimSetRecLen(64);
    expectClear(ReadRecord(sim, acquiring), 32760);

    TSimGenerator g = Quiet(TSimWaveform::Sinewave);
    g.Offset = volts / 2;
    g.Noise = 0.1;
    FeedChannel1(g, 64, 1e-9, 0, 3);
    sim.SimSetChannelOffset(2, volts);
    expectClear(ReadRecord(sim, acquiring), 32760);
  }
}

TEST_F(SimulatorTest, CalibrationSourceLevels) {
  sim.SimSetChannelSource(2, kSimSourceCalibration);
  sim.SimSetChannels(2);
  sim.SimSetRecLen(256);
  sim.SimSetNAvg(4);
  sim.SimSetCalibrationSource({TSimCalMode::DC, 0.25, 8e-8});
  EXPECT_NEAR(ReadRecord(sim, acquiring).MeanCode(), 4000, 2);
  sim.SimSetChannelOffset(2, -0.1);
  EXPECT_NEAR(ReadRecord(sim, acquiring).MeanCode(), 4000 - 1600, 2);

  // A bipolar square wave of 8 ns period over 102.4 ns: half the points at each level.
  sim.SimSetChannelOffset(2, 0);
  sim.SimSetCalibrationSource({TSimCalMode::BiMeander, 0.5, 8e-9});
  sim.SimSetTimeDiv(1e-8);
  TRecord r = ReadRecord(sim, acquiring);
  int high = 0, low = 0;
  for (size_t i = 0; i < r.Words.size(); ++i) {
    if (std::abs(r.Code(i) - 8000) <= 12) ++high;
    if (std::abs(r.Code(i) + 8000) <= 12) ++low;
  }
  EXPECT_EQ(high + low, 256);
  EXPECT_NEAR(high, 128, 8);
}

TEST_F(SimulatorTest, SameSeedSameRecord) {
  auto record = [](uint32_t seed) {
    TRandomSource source(seed);
    TSimulator simulator(source);
    bool flag = false;
    simulator.BindAcquiringFlag(flag);
    simulator.SimSetChannelSource(2, 3);  // PRBS, all jitter kinds on
    simulator.SimSetChannelSource(3, 4);
    TSimGenerator g = simulator.SimGenerator(3);
    g.PeriodJitter = 5;
    g.SubRateJit = 5;
    g.SubRateDiv = 8;
    simulator.SimSetGenerator(3, g);
    simulator.BuildPrbsGenerators();
    simulator.SimSetChannels(4);
    simulator.SimSetRecLen(256);
    simulator.SimSetNAvg(2);
    std::vector<uint16_t> words = ReadRecord(simulator, flag).Words;
    const std::vector<uint16_t> next = ReadRecord(simulator, flag).Words;
    words.insert(words.end(), next.begin(), next.end());
    return words;
  };
  const std::vector<uint16_t> a = record(42);
  EXPECT_EQ(a.size(), 1024u);
  EXPECT_EQ(a, record(42));
  EXPECT_NE(a, record(43));
}

TEST_F(SimulatorTest, PrbsPatternTriggeredOrLockedShowsTheModelBits) {
  // PRBS7, one point per bit near the middle of each bit.
  TSimGenerator g = Quiet(TSimWaveform::Prbs);
  g.Frequency = 1e9;
  g.PrbsLength = 1;  // order 7
  g.PrbsTrigger = TSimPrbsTrigger::Kadr;
  g.Offset = -0.25;
  const int bits = 127;
  FeedChannel1(g, bits, 1e-9 * 50 * bits / 512, 0.3e-9);
  sim.BuildPrbsGenerators();
  TRandomSource unused;
  TPSP reference(unused);
  reference.SetOrder(7, true);
  // Triggered at the pattern start.
  TRecord r = ReadRecord(sim, acquiring);
  ASSERT_EQ(r.Words.size(), static_cast<size_t>(bits));
  for (int k = 0; k < bits; ++k) EXPECT_NEAR(r.Code(k), -4000 + 16000 * reference.Bit(k), 2) << k;

  // Triggered by the bit clock with the pattern locked: a kept rotation of the pattern
  // that follows the pattern delay.
  g.PrbsTrigger = TSimPrbsTrigger::Takt;
  sim.SimSetGenerator(1, g);
  sim.SimSetPatternSpan(bits);
  sim.SimSetPatternOn(true);
  sim.BuildPrbsGenerators();
  auto rotation = [&](const TRecord& record) {  // -1 when none
    for (int shift = 0; shift < bits; ++shift) {
      bool match = true;
      for (int k = 0; k < bits && match; ++k)
        match = (record.Code(k) > 4000) == (reference.Bit((k + shift) % bits) == 1);
      if (match) return shift;
    }
    return -1;
  };
  const int start = rotation(ReadRecord(sim, acquiring));
  ASSERT_GE(start, 0);
  EXPECT_EQ(rotation(ReadRecord(sim, acquiring)), start);
  sim.SimSetPatternOffset(5);
  EXPECT_EQ(rotation(ReadRecord(sim, acquiring)), (start + 5) % bits);
  sim.SimSetPatternAddDelay(true);
  EXPECT_EQ(rotation(ReadRecord(sim, acquiring)), (start + 6) % bits);

  // Without the lock each sample lands on a random bit: both levels, in no kept order.
  sim.SimSetPatternOn(false);
  r = ReadRecord(sim, acquiring);
  int high = 0;
  for (int k = 0; k < bits; ++k) {
    ASSERT_TRUE(std::abs(r.Code(k) + 4000) <= 2 || std::abs(r.Code(k) - 12000) <= 2) << r.Code(k);
    high += r.Code(k) > 4000;
  }
  EXPECT_GT(high, 30);
  EXPECT_LT(high, 97);
  EXPECT_EQ(rotation(r), -1);
}

TEST_F(SimulatorTest, ChannelFrequencyAndCircuitEdits) {
  TSimGenerator c = sim.SimGenerator(3);
  c.Frequency = 2.5e9;
  sim.SimSetGenerator(3, c);
  sim.SimSetChannelSource(3, 3);
  EXPECT_DOUBLE_EQ(sim.SimChannelFrequency(3), 2.5e9);
  sim.SimSetChannelSource(2, kSimSourceNone);
  EXPECT_DOUBLE_EQ(sim.SimChannelFrequency(2), sim.SimGenerator(1).Frequency);

  std::vector<int> edited;
  SimGeneratorEditedHook.Set([&](int generator, const TSimGenerator&) { edited.push_back(generator); });
  sim.SetSimTDRCircuit(3, TSimTdrCircuit::Lx);
  sim.SetSimTDTCircuit(3, TSimTdtCircuit::DB6NS3);
  sim.SetSimTDRCircuit(2, TSimTdrCircuit::Short);  // no generator: nothing
  EXPECT_EQ(sim.SimGenerator(3).TDRCircuit, TSimTdrCircuit::Lx);
  EXPECT_EQ(sim.SimGenerator(3).TDTCircuit, TSimTdtCircuit::DB6NS3);
  EXPECT_EQ(edited, (std::vector<int>{3, 3}));
}

}  // namespace
}  // namespace norv
