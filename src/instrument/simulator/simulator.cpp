#include "instrument/simulator/simulator.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>

#include "framework/settings/program_objects.h"
#include "framework/util/errors.h"
#include "instrument/link/sample_stream.h"

namespace norv {

namespace {

constexpr double kCodesPerVolt = 16000;
// Codes of a generator sample stay inside this, clear of the stream markers.
constexpr int kMaxCode = 32760;
// The calibration source's converter codes are a quarter of the stream's.
constexpr int kMaxCalibrationCode = kMaxCode / 4;
constexpr double kFineCodeSeconds = 1.5e-13;
constexpr double kStrobeJitterSigma = 1e-14;
constexpr double kInterleaveError = 0.0002;
constexpr double kPhaseDriftStep = 0.03;
// Step generator: fixed output of the TDR/TDT head in codes.
constexpr double kStepAmplitudeCodes = 6720;
constexpr double kStepOffsetCodes = -368;
constexpr double kStepNoiseCodes = 16;
constexpr double kCalibrationNoiseCodes = 2;
// Pattern step while the pattern is not locked.
constexpr int kUnlockedPatternStep = 977;
constexpr double kTwoPi = 2 * std::numbers::pi;

// x reduced into [0, period).
double PositiveMod(double x, double period) {
  const double r = std::fmod(x, period);
  return r < 0 ? r + period : r;
}

uint16_t StreamWord(int64_t code) { return static_cast<uint16_t>(static_cast<int16_t>(code)); }

}  // namespace

TSimGenerator DefaultSimGenerator(int generator) {
  TSimGenerator g;
  switch (generator) {
    case 2:
      g.Waveform = TSimWaveform::Pulse;
      break;
    case 3:
    case 4:
      g.Waveform = TSimWaveform::Prbs;
      g.Jitter = 5e-12;
      g.Offset = -0.25;
      g.Noise = 0.005;
      g.PrbsRz = generator == 4;
      break;
    default:
      break;
  }
  return g;
}

int PrbsOrderFromIndex(int index) {
  static constexpr int kOrders[] = {5, 7, 11, 15};
  return index >= 0 && index < 4 ? kOrders[index] : kOrders[0];
}

TSimCalibrationNodes DefaultSimCalibrationNodes(TSimModelFamily family) {
  TSimCalibrationNodes nodes;
  if (family == TSimModelFamily::K) nodes.FineTB = 36387;
  return nodes;
}

TSimulator::TSimulator(TRandomSource& random) : random_(random), prbs_{TPSP(random), TPSP(random)} {
  for (int g = 0; g < kSimGeneratorCount; ++g) generators_[g] = DefaultSimGenerator(g + 1);
  LoadSimulatorTiming(false);
  BuildPrbsGenerators();
}

void TSimulator::SimSetRecLen(int recLen) { recLen_ = std::max(recLen, 1); }
void TSimulator::SimSetNAvg(int nAvg) { nAvg_ = std::clamp(nAvg, 1, 65535); }
void TSimulator::SimSetTimeDiv(double secondsPerDiv) {
  if (std::isfinite(secondsPerDiv) && secondsPerDiv >= 0) timeDiv_ = secondsPerDiv;
}
void TSimulator::SimSetDelay(double seconds) {
  if (std::isfinite(seconds)) delay_ = seconds;
}
void TSimulator::SimSetChannels(int channelSet) {
  channelSet_ = channelSet == 3 || channelSet == 4 ? channelSet : 2;
}

void TSimulator::SimSetPatternSpan(int span) {
  patternSpan_ = std::max(span, 1);
  patternStart_ = random_.UniformInt(patternSpan_);
  SimSetPatternOffset(patternOffset_);
  SetModelPatternSteps();
}

void TSimulator::SimSetPatternOffset(int offset) {
  patternOffset_ = offset;
  patternPosition_ = static_cast<int64_t>(patternStart_) + offset;
}

void TSimulator::SimSetPatternOn(bool on) {
  patternOn_ = on;
  patternStart_ = random_.UniformInt(patternSpan_);
  SimSetPatternOffset(patternOffset_);
  SetModelPatternSteps();
}

// The sub-rate jitter of a model moves by the step; a rebuild alone would leave it stale
// until the next one.
void TSimulator::SetModelPatternSteps() {
  for (TPSP& model : prbs_) model.SetPatternStep(PatternStep());
}

void TSimulator::SimSetGenerator(int generator, const TSimGenerator& settings) {
  if (IsGenerator(generator)) generators_[generator - 1] = settings;
}

const TSimGenerator& TSimulator::SimGenerator(int generator) const {
  return generators_[IsGenerator(generator) ? generator - 1 : 0];
}

void TSimulator::SimSetChannelSource(int channel, int source) {
  channelSource_[SlotOf(channel)] = source >= 0 && source <= kSimSourceCalibration ? source : kSimSourceNone;
}

int TSimulator::SimChannelSource(int channel) const { return channelSource_[SlotOf(channel)]; }

void TSimulator::SimSetChannelOffset(int channel, double volts) {
  channelOffset_[SlotOf(channel)] = std::isfinite(volts) ? volts : 0;
}

bool TSimulator::ChannelActive(int slot) const { return slot == 0 ? channelSet_ != 3 : channelSet_ != 2; }

double TSimulator::SampleInterval() const { return timeDiv_ * 512 / (50.0 * recLen_); }

void TSimulator::SimStartRecord() {
  if (*acquiring_) throw EAssertion("ERROR!  Simulated record already running");
  *acquiring_ = true;
  calibration_ = SimCalibrationNodesHook();
  family_ = SimModelFamilyHook();
  stepDelay_ = calibration_.CoarseTB * stepDelaySteps_ - 6.5e-9;
  phaseDrift_ += kPhaseDriftStep;
  if (phaseDrift_ >= kTwoPi) phaseDrift_ = 0;
  for (int slot = 0; slot < 2; ++slot)
    if (ChannelActive(slot)) SimSetupChannel(slot + 2);

  pointIndex_ = 1;
  pendingWord_.reset();
  const double dX = SampleInterval();
  waitTarget_ = nAvg_ + static_cast<int>(RoundClamped(dX / 1e-8, 0, 10000000));
  waitCounter_ = 1;
  PlaceStrobe();
}

// Each point's strobe is split from its exact time, delay + (point - 1) dX: adding an
// interval rounded to whole fine codes would let the points drift off the record's time
// axis.
void TSimulator::PlaceStrobe() {
  strobe_ = SplitTime(delay_ + (pointIndex_ - 1) * SampleInterval());
  strobe_.Coarse += calibration_.CoarseDelay;
  instant_ = StrobeSeconds(strobe_);
}

bool TSimulator::SimRecordReady() {
  const int target = pendingWord_ ? 2 : waitTarget_;
  if (waitCounter_ < target) {
    ++waitCounter_;
    return false;
  }
  waitCounter_ = 1;
  return true;
}

uint16_t TSimulator::SimNextSample() {
  if (pendingWord_) {
    const uint16_t word = *pendingWord_;
    pendingWord_.reset();
    return word;
  }
  if (pointIndex_ > recLen_) return EndOfRecordWord;

  const bool active[2] = {ChannelActive(0), ChannelActive(1)};
  int64_t sums[2] = {0, 0};
  for (int sub = 0; sub < nAvg_; ++sub) {
    strobeJitter_ = random_.Normal(0, kStrobeJitterSigma);
    if (triggerJitter_ > 0) strobeJitter_ += random_.Normal(0, triggerJitter_);
    for (int slot = 0; slot < 2; ++slot)
      if (active[slot]) sums[slot] += SimChannelSample(slot + 2);
  }
  const int64_t codes[2] = {sums[0] / nAvg_, sums[1] / nAvg_};

  ++pointIndex_;
  PlaceStrobe();

  if (channelSet_ == 3) return StreamWord(codes[1]);
  if (channelSet_ == 4) pendingWord_ = StreamWord(codes[1]);
  return StreamWord(codes[0]);
}

int TSimulator::PatternStep() const { return patternOn_ ? patternSpan_ : kUnlockedPatternStep; }

void TSimulator::AdvancePhase(TChannelState& c, const TSimGenerator& g) const {
  if (g.DeltaPhase == 0) {
    c.Phase = g.Phase / 360;
    return;
  }
  c.Phase += g.DeltaPhase / 360;
  if (c.Phase >= 1) c.Phase -= 1;
  if (c.Phase < -1) c.Phase += 1;
}

void TSimulator::SimSetupChannel(int channel) {
  TChannelState& c = channels_[SlotOf(channel)];
  c.Source = channelSource_[SlotOf(channel)];
  c.OffsetCodes = channelOffset_[SlotOf(channel)] * kCodesPerVolt;
  c.Optical = optical_[SlotOf(channel)];
  if (!IsGenerator(c.Source)) return;

  const TSimGenerator& g = generators_[c.Source - 1];
  c.Settings = g;
  if (g.Waveform == TSimWaveform::Tdr || g.Waveform == TSimWaveform::Tdt) {
    c.AmplitudeCodes = kStepAmplitudeCodes;
    c.GeneratorOffsetCodes = kStepOffsetCodes;
    c.NoiseCodes = kStepNoiseCodes;
    c.Edge = TStepEdge(g.TDROvershot, g.TDRSkol);
  } else {
    c.AmplitudeCodes = g.Amplitude * kCodesPerVolt;
    c.GeneratorOffsetCodes = g.Offset * kCodesPerVolt;
    c.NoiseCodes = g.Noise * kCodesPerVolt;
  }
  c.Period = g.Frequency > 0 && std::isfinite(g.Frequency) ? 1 / g.Frequency : 1e-8;
  AdvancePhase(c, g);
  c.PeriodJitter = g.PeriodJitter * c.Period / 200;
  if (g.Waveform == TSimWaveform::Pulse)
    c.Pulse = TPulseShape(g.RiseTime, g.FallTime, g.PulseWidth, g.PosOvershot, g.NegOvershot, g.Droop);
}

int TSimulator::SimChannelSample(int channel) {
  const int slot = SlotOf(channel);
  TChannelState& c = channels_[slot];
  if (c.Source == kSimSourceNone) return -1;
  double t = instant_ + strobeJitter_;
  if (c.Source == kSimSourceCalibration) return CalibrationSample(c, t);
  if (autoscaleMode_) t += random_.Uniform() * c.Period;
  const double y = GeneratorValue(c, slot, t);
  const double signal = c.Optical.On ? OpticalSignal(c, y) : c.GeneratorOffsetCodes + c.AmplitudeCodes * y;
  const double code = c.OffsetCodes + signal + random_.Normal(0, c.NoiseCodes);
  return static_cast<int>(RoundClamped(code, -kMaxCode, kMaxCode));
}

double TSimulator::OpticalSignal(const TChannelState& c, double y) const {
  // Light is never negative: the swing counts from its waveform's lowest level, an offset
  // only adds a steady light (a negative one, which centres an electrical trace, has no
  // light to take away), and an overshoot below the lowest level is darkness.
  const double lift = -LowestLevel(c.Settings.Waveform);
  const double light =
      c.Optical.LightConnected
          ? std::max(0.0, std::max(0.0, c.GeneratorOffsetCodes) + c.AmplitudeCodes * (y + lift))
          : 0;
  return light * kSimOpticalWattsPerVolt * c.Optical.Gain +
         (opticalDarkZero_ - c.Optical.DarkLevel) * kSimDarkVoltsPerPercent * kCodesPerVolt;
}

double TSimulator::GeneratorValue(TChannelState& c, int slot, double t) {
  const TSimGenerator& g = c.Settings;
  switch (g.Waveform) {
    case TSimWaveform::Sinewave:
      return 0.5 * std::sin(kTwoPi * (t + random_.Normal(0, g.Jitter)) / c.Period + kTwoPi * c.Phase);
    case TSimWaveform::Pulse: {
      const double shifted = random_.Normal(0, g.Jitter) + 2 * c.Period + t + c.Phase * c.Period;
      return c.Pulse.At(PositiveMod(shifted, c.Period));
    }
    case TSimWaveform::Prbs:
      return PrbsValue(c, slot, t);
    case TSimWaveform::Tdr:
      return TdrResponse(c.Edge, g.TDRCircuit, t - stepDelay_);
    case TSimWaveform::Tdt:
      return TdtResponse(c.Edge, g.TDTCircuit, t - stepDelay_);
  }
  return 0;
}

double TSimulator::PrbsValue(TChannelState& c, int slot, double t) {
  TPSP& model = prbs_[slot];
  const int length = model.GetPatternLength();
  double shifted =
      t + random_.Normal(0, c.Settings.Jitter) + c.PeriodJitter * std::sin(kTwoPi * random_.Uniform());
  if (c.Settings.PrbsTrigger == TSimPrbsTrigger::Takt) {
    // Triggered by the bit clock, a sample lands on some bit of the pattern: a random one,
    // or with the pattern locked the kept position moved by whole pattern steps.
    int64_t bit;
    if (patternOn_) {
      patternPosition_ = (patternPosition_ + random_.UniformInt(3) * int64_t{PatternStep()}) % length;
      if (patternPosition_ < 0) patternPosition_ += length;
      bit = patternPosition_ + (patternAddDelay_ ? 1 : 0);
    } else {
      bit = random_.UniformInt(length);
    }
    shifted += static_cast<double>(bit) * c.Period;
  }
  return model.Value(PositiveMod(shifted, length * c.Period) / c.Period);
}

int TSimulator::CalibrationSample(const TChannelState& c, double t) {
  const TSimCalibrationSource& s = calibrationSource_;
  double level = 0;
  const bool firstHalf = s.Period > 0 && PositiveMod(t / s.Period + phaseDrift_ / kTwoPi, 1.0) < 0.5;
  switch (s.Mode) {
    case TSimCalMode::Off:
      break;
    case TSimCalMode::DC:
      level = s.Volt;
      break;
    case TSimCalMode::UniMeander:
      level = firstHalf ? s.Volt : 0;
      break;
    case TSimCalMode::BiMeander:
      level = firstHalf ? s.Volt : -s.Volt;
      break;
  }
  const double code = (c.OffsetCodes + level * kCodesPerVolt) / 4 + random_.Normal(0, kCalibrationNoiseCodes);
  return static_cast<int>(RoundClamped(code, -kMaxCalibrationCode, kMaxCalibrationCode)) * 4;
}

TSimulator::TStrobe TSimulator::SplitTime(double seconds) const {
  TStrobe strobe;
  const double coarse = std::trunc(seconds / timing_.CoarseStep);
  strobe.Coarse = RoundClamped(coarse, INT32_MIN, INT32_MAX);
  const double remainder = seconds - static_cast<double>(strobe.Coarse) * timing_.CoarseStep;
  strobe.Fine = RoundClamped(remainder / kFineCodeSeconds, INT32_MIN, INT32_MAX);
  Normalize(strobe);
  return strobe;
}

void TSimulator::Normalize(TStrobe& strobe) const {
  const int64_t perCoarse = std::max<int64_t>(1, std::llround(timing_.CoarseStep / kFineCodeSeconds));
  int64_t carry = strobe.Fine / perCoarse;
  strobe.Fine -= carry * perCoarse;
  if (strobe.Fine < 0) {
    strobe.Fine += perCoarse;
    --carry;
  }
  strobe.Coarse += carry;
}

double TSimulator::StrobeSeconds(const TStrobe& strobe) const {
  // Each of the four interleaved strobe phases is off by a fixed fraction of a step.
  const int64_t phase = ((strobe.Coarse % 4) + 4) % 4;
  const double interleave = (static_cast<double>(phase) - 1.5) * kInterleaveError * timing_.CoarseStep;
  const double odd = (strobe.Coarse & 1) ? timing_.OddOffset : 0;
  return static_cast<double>(strobe.Coarse) * timing_.CoarseStep + interleave + FineDelay(strobe.Fine) + odd;
}

double TSimulator::FineDelay(int64_t fine) const {
  switch (family_) {
    case TSimModelFamily::L: {
      const double code = std::nearbyint(static_cast<double>(fine) / 26667 * calibration_.FineTB);
      return code * 4e-9 / timing_.FirstCode;
    }
    case TSimModelFamily::K: {
      // The fine delay line counts in units of 1/65535 of the coarse step.
      const double fineUnit = timing_.CoarseStep / 65535;
      const double units = static_cast<double>(fine) * kFineCodeSeconds / fineUnit;
      return std::nearbyint(units * calibration_.FineTB / timing_.SecondCode) * fineUnit;
    }
    case TSimModelFamily::Other:
      break;
  }
  return 0;
}

void TSimulator::BuildPrbsGenerators() {
  for (int slot = 0; slot < 2; ++slot) {
    const TSimGenerator* fed = FedGenerator(slot + 2);
    if (!fed || fed->Waveform != TSimWaveform::Prbs) continue;
    const TSimGenerator& g = *fed;
    TPSP& model = prbs_[slot];
    model.SetOrder(PrbsOrderFromIndex(g.PrbsLength), !g.PrbsPowerOfTwo);
    model.SetNrz(!g.PrbsRz);
    model.SetDutyCycleDist(g.DutyCycleDist / 100);
    model.SetInterSymbol(g.InterSymbIJ / 100);
    model.SetPosOvershot(g.PosOvershot / 100);
    model.SetNegOvershot(g.NegOvershot / 100);
    model.SetDroop(g.Droop / 100);
    model.SetSubRateJit(g.SubRateJit / 100);
    model.SetRiseTime(g.RiseTime * g.Frequency);
    model.SetFallTime(g.FallTime * g.Frequency);
    model.SetPulseWidth(g.PulseWidth * g.Frequency);
    model.SetSubRateDiv(g.SubRateDiv);
    model.SetPatternStep(PatternStep());
  }
}

void TSimulator::LoadSimulatorTiming(bool fromSettings) {
  TTiming timing;
  if (fromSettings) {
    const TSimCalibrationNodes nodes = SimCalibrationNodesHook();
    // Constants from the instrument or a file are used only when plausible.
    if (std::isfinite(nodes.CoarseTB) && nodes.CoarseTB >= 1e-10 && nodes.CoarseTB <= 1e-7)
      timing.CoarseStep = nodes.CoarseTB;
    if (nodes.FineTB > 0) timing.FirstCode = timing.SecondCode = nodes.FineTB;
    timing.OddOffset = 0;
  }
  timing_ = timing;
}

TSimGenerator* TSimulator::FedGenerator(int channel) {
  const int source = channelSource_[SlotOf(channel)];
  return IsGenerator(source) ? &generators_[source - 1] : nullptr;
}

double TSimulator::SimChannelFrequency(int channel) const {
  const int source = channelSource_[SlotOf(channel)];
  return generators_[IsGenerator(source) ? source - 1 : 0].Frequency;
}

void TSimulator::SetSimTDRCircuit(int channel, TSimTdrCircuit circuit) {
  if (TSimGenerator* g = FedGenerator(channel)) {
    g->TDRCircuit = circuit;
    SimGeneratorEditedHook(SimChannelSource(channel), *g);
  }
}

void TSimulator::SetSimTDTCircuit(int channel, TSimTdtCircuit circuit) {
  if (TSimGenerator* g = FedGenerator(channel)) {
    g->TDTCircuit = circuit;
    SimGeneratorEditedHook(SimChannelSource(channel), *g);
  }
}

TSimulatorHooks SimulatorHooks;

namespace {
const TProgramUnit SimulatorHooksUnit("simulator hooks", [] { SimulatorHooks = {}; });
constinit TOwned<TSimulator> ProgramSim;
}  // namespace

TSimulator& ProgramSimulator() {
  if (!ProgramSim) ProgramSim = std::make_unique<TSimulator>(ProgramRandom());
  return *ProgramSim;
}

}  // namespace norv
