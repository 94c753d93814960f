// The acquisition cycle and point store on two channels of 4096 points, fed by the
// simulator, with counting layers in place of drawing. Reported per record:
//   BM_SimulatorRecord         the simulator's own signal computation alone;
//   BM_CycleReplay/...         cycle and point store, fed a recorded simulator stream;
//   BM_CycleWithSimulator/...  both together, as in demo mode.
// Baseline of each: decoding the same record's words into volts in a plain loop. Goal of
// the cycle and point store: at most 10 times the baseline (the others are for
// information).

#include "instrument/acquisition/acquisition_cycle.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <memory>
#include <vector>

#include "framework/settings/handler.h"
#include "instrument/link/link_hooks.h"
#include "instrument/link/sample_stream.h"
#include "instrument/simulator/simulator.h"
#include "ratio.h"

namespace norv {
namespace {

constexpr int kPoints = 4096;

class NoWaitClock final : public IClock, public ITimerFactory {
 public:
  int64_t NowMs() const override { return 0; }
  void SleepMs(int64_t) override {}
  std::unique_ptr<ITimer> CreateTimer() override { return std::make_unique<InertTimer>(); }

 private:
  class InertTimer final : public ITimer {
   public:
    void SetInterval(int ms) override { interval_ = ms; }
    int Interval() const override { return interval_; }
    void SetEnabled(bool on) override { enabled_ = on; }
    bool Enabled() const override { return enabled_; }

   private:
    int interval_ = 0;
    bool enabled_ = false;
  };
};

class CountingLayer final : public IAcqLayer {
 public:
  void SetSignalScale(int, double, double) override {}
  void PutSample(int index, double value) override {
    ++points;
    benchmark::DoNotOptimize(index);
    benchmark::DoNotOptimize(value);
  }
  int64_t points = 0;
};

// Replays one recorded record, every slot ready.
class ReplaySource final : public IRecordSimSource {
 public:
  explicit ReplaySource(std::vector<uint16_t> words) : words_(std::move(words)) {}
  void SimStartRecord() override { pos_ = 0; }
  size_t SimReadBlock(std::span<uint16_t> out) override {
    const size_t count = std::min(out.size(), words_.size() - pos_);
    std::copy_n(words_.begin() + static_cast<ptrdiff_t>(pos_), count, out.begin());
    pos_ += count;
    return count;
  }

 private:
  std::vector<uint16_t> words_;
  size_t pos_ = 0;
};

void SetUpSimulator(TSimulator& sim) {
  sim.SimSetChannels(ReadKindBoth);
  sim.SimSetRecLen(kPoints);
  sim.SimSetNAvg(1);
  sim.SimSetTimeDiv(1e-9);
}

// One simulated record's words, end word included.
std::vector<uint16_t> RecordWords(TSimulator& sim) {
  bool acquiring = false;
  sim.BindAcquiringFlag(acquiring);
  sim.SimStartRecord();
  std::vector<uint16_t> words;
  for (;;) {
    if (!sim.SimRecordReady()) continue;
    const uint16_t w = sim.SimNextSample();
    words.push_back(w);
    if (w == EndOfRecordWord) break;
  }
  return words;
}

// The physical limit of a record's points: its words decoded into volts, one array per
// channel, in a plain loop.
class TPlainDecoder {
 public:
  explicit TPlainDecoder(std::vector<uint16_t> words) : words_(std::move(words)) {
    for (auto& v : volts_) v.resize(kPoints);
  }
  void Decode() {
    size_t count[2] = {0, 0};
    int channel = 0;
    for (const uint16_t word : words_) {
      if (word == FillerWord) continue;
      if (word == EndOfRecordWord) break;
      if (count[channel] < kPoints)
        volts_[channel][count[channel]++] = static_cast<int16_t>(word) * kVoltsPerCode;
      channel ^= 1;
    }
    benchmark::DoNotOptimize(volts_[0].data());
    benchmark::DoNotOptimize(volts_[1].data());
  }

 private:
  std::vector<uint16_t> words_;
  std::array<std::vector<double>, 2> volts_;
};

void BM_SimulatorRecord(benchmark::State& state) {
  TRandomSource random(1);
  TSimulator sim(random);
  SetUpSimulator(sim);
  TPlainDecoder plain(RecordWords(sim));
  bench::TRatio::Run(
      state, 0, [&] { benchmark::DoNotOptimize(RecordWords(sim).size()); }, [&] { plain.Decode(); });
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SimulatorRecord)->UseManualTime()->Unit(benchmark::kMicrosecond);

// The cycle acquiring continuously in the given mode; one iteration is one record, from
// its request to the request of the next.
void RunCycle(benchmark::State& state, IRecordSimSource& source, TSimulator* sim, TPlainDecoder& plain,
              double goal) {
  NoWaitClock clock;
  TAcquisitionCycle cycle(clock, clock);
  cycle.SetSimSource(&source);
  cycle.ConnectToLink();
  TDefaultAcqSettings& settings = cycle.DefaultSettings();
  const bool average = state.range(0) != 0;
  for (auto& ch : settings.Channels) {
    ch.RecLen = kPoints;
    ch.Mode = average ? TAcqMode::AvgStab : TAcqMode::Sample;
    ch.NAvg = 16;
  }
  int64_t requests = 0;
  LinkHooks.SendRecordSettings.Set([&](uint8_t kind, uint16_t recLen, uint16_t nAvg, double delay) {
    ++requests;
    if (!sim) return;
    sim->SimSetChannels(kind);
    sim->SimSetRecLen(recLen);
    sim->SimSetNAvg(nAvg);
    sim->SimSetDelay(delay);
  });
  std::vector<CountingLayer> layers(kChannelRecordCount);
  AcqHooks.TraceLayer.Set([&](TTraceId id, TAcqLayerKind) { return &layers[TraceIndex(id)]; });
  int64_t steps = 0;
  GuiReady = true;
  RunFlag = true;

  bench::TRatio::Run(
      state, goal,
      [&] {
        const int64_t until = requests + 1;
        while (requests < until) {
          cycle.AcquisitionIdleStep();
          ++steps;
        }
      },
      [&] { plain.Decode(); });
  RunFlag = false;
  BreakAcquisition(false);
  GuiReady = false;
  AcqHooks = TAcqHooks{};
  int64_t plotted = 0;
  for (const CountingLayer& l : layers) plotted += l.points;
  state.SetItemsProcessed(state.iterations());
  state.counters["points/record"] = benchmark::Counter(static_cast<double>(plotted) / state.iterations());
  state.counters["steps/record"] = benchmark::Counter(static_cast<double>(steps) / state.iterations());
}

void BM_CycleReplay(benchmark::State& state) {
  TRandomSource random(1);
  TSimulator sim(random);
  SetUpSimulator(sim);
  const std::vector<uint16_t> words = RecordWords(sim);
  ReplaySource source(words);
  TPlainDecoder plain(words);
  RunCycle(state, source, nullptr, plain, 10);
}
BENCHMARK(BM_CycleReplay)->ArgName("average")->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMicrosecond);

void BM_CycleWithSimulator(benchmark::State& state) {
  TRandomSource random(1);
  TSimulator sim(random);
  SetUpSimulator(sim);
  TPlainDecoder plain(RecordWords(sim));
  TSimulatorRecordSource source(sim);
  RunCycle(state, source, &sim, plain, 0);
}
BENCHMARK(BM_CycleWithSimulator)
    ->ArgName("average")
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace norv
